#include "DisplayMode.h"

#include <QGuiApplication>
#include <QtGui/qguiapplication_platform.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <memory>
#include <vector>
#include <xcb/randr.h>
#include <xcb/xcb.h>

namespace dova {

namespace {

struct FreeReply {
    void operator()(void* reply) const { std::free(reply); }
};
template <typename T> using Reply = std::unique_ptr<T, FreeReply>;

// What a current X screen of depth 24 is called in the bits-per-pixel terms of the callers.
constexpr int32_t TrueColourBits = 32;

xcb_connection_t* X11Connection() {
    const auto* x11 = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    return x11 ? x11->connection() : nullptr;
}

int RefreshOf(const xcb_randr_mode_info_t& mode) {
    const double dots = double(mode.htotal) * double(mode.vtotal);
    return dots > 0 ? int(std::lround(double(mode.dot_clock) / dots)) : 0;
}

// The output the caller names: the primary one, or the display-th connected output.
xcb_randr_output_t ChooseOutput(xcb_connection_t* c, xcb_window_t root,
                                const xcb_randr_get_screen_resources_current_reply_t& resources,
                                int32_t display) {
    const xcb_randr_output_t* outputs = xcb_randr_get_screen_resources_current_outputs(&resources);
    const int count = xcb_randr_get_screen_resources_current_outputs_length(&resources);
    if (display == -1) {
        Reply<xcb_randr_get_output_primary_reply_t> primary(
            xcb_randr_get_output_primary_reply(c, xcb_randr_get_output_primary(c, root), nullptr));
        if (primary && primary->output != XCB_NONE)
            return primary->output;
        display = 1; // no primary set: the first connected output stands for it
    }
    int seen = 0;
    for (int i = 0; i < count; ++i) {
        Reply<xcb_randr_get_output_info_reply_t> info(xcb_randr_get_output_info_reply(
            c, xcb_randr_get_output_info(c, outputs[i], resources.config_timestamp), nullptr));
        if (info && info->connection == XCB_RANDR_CONNECTION_CONNECTED && ++seen == display)
            return outputs[i];
    }
    return XCB_NONE;
}

} // namespace

int32_t ChangeLocalDisplayMode(int32_t width, int32_t height, int32_t bitsPerPixel, int32_t frequency,
                               int32_t flags, int32_t display) {
    xcb_connection_t* c = X11Connection();
    if (!c)
        return display_change::Failed;
    const xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(c)).data;
    const xcb_query_extension_reply_t* randr = xcb_get_extension_data(c, &xcb_randr_id);
    if (!screen || !randr || !randr->present)
        return display_change::Failed;
    const xcb_window_t root = screen->root;

    // Read the output's current mode; an output that cannot be read gives 0, as the original does.
    Reply<xcb_randr_get_screen_resources_current_reply_t> resources(
        xcb_randr_get_screen_resources_current_reply(c, xcb_randr_get_screen_resources_current(c, root),
                                                     nullptr));
    if (!resources)
        return 0;
    const xcb_randr_output_t output = ChooseOutput(c, root, *resources, display);
    if (output == XCB_NONE)
        return 0;
    Reply<xcb_randr_get_output_info_reply_t> outputInfo(xcb_randr_get_output_info_reply(
        c, xcb_randr_get_output_info(c, output, resources->config_timestamp), nullptr));
    if (!outputInfo || outputInfo->crtc == XCB_NONE)
        return 0;
    Reply<xcb_randr_get_crtc_info_reply_t> crtc(xcb_randr_get_crtc_info_reply(
        c, xcb_randr_get_crtc_info(c, outputInfo->crtc, resources->config_timestamp), nullptr));
    if (!crtc || crtc->mode == XCB_NONE)
        return 0;

    if (width <= 0 || height <= 0)
        return display_change::BadMode;
    // X does not change the depth of a running screen.
    if (bitsPerPixel > 0 && bitsPerPixel != screen->root_depth &&
        !(screen->root_depth == 24 && bitsPerPixel == TrueColourBits))
        return display_change::BadMode;
    const xcb_randr_mode_t* offered = xcb_randr_get_output_info_modes(outputInfo.get());
    const int offeredCount = xcb_randr_get_output_info_modes_length(outputInfo.get());
    const xcb_randr_mode_info_t* modes = xcb_randr_get_screen_resources_current_modes(resources.get());
    const int modeCount = xcb_randr_get_screen_resources_current_modes_length(resources.get());
    xcb_randr_mode_t chosen = XCB_NONE;
    for (int i = 0; i < offeredCount && chosen == XCB_NONE; ++i)
        for (int m = 0; m < modeCount; ++m)
            if (modes[m].id == offered[i] && modes[m].width == width && modes[m].height == height &&
                (frequency <= 0 || RefreshOf(modes[m]) == frequency)) {
                chosen = modes[m].id;
                break;
            }
    if (chosen == XCB_NONE)
        return display_change::BadMode;
    if (flags & display_change::TestOnly)
        return display_change::Successful;

    // A larger mode needs a larger screen first; the physical size keeps its pixel density.
    const bool grow = width > screen->width_in_pixels || height > screen->height_in_pixels;
    auto resize = [&](int w, int h) {
        const auto mmW =
            uint32_t(std::lround(double(screen->width_in_millimeters) * w / screen->width_in_pixels));
        const auto mmH =
            uint32_t(std::lround(double(screen->height_in_millimeters) * h / screen->height_in_pixels));
        xcb_randr_set_screen_size(c, root, uint16_t(w), uint16_t(h), mmW, mmH);
    };
    if (grow)
        resize(std::max<int>(width, screen->width_in_pixels),
               std::max<int>(height, screen->height_in_pixels));
    Reply<xcb_randr_set_crtc_config_reply_t> set(xcb_randr_set_crtc_config_reply(
        c,
        xcb_randr_set_crtc_config(c, outputInfo->crtc, XCB_CURRENT_TIME, resources->config_timestamp, crtc->x,
                                  crtc->y, chosen, crtc->rotation,
                                  xcb_randr_get_crtc_info_outputs_length(crtc.get()),
                                  xcb_randr_get_crtc_info_outputs(crtc.get())),
        nullptr));
    if (!set || set->status != XCB_RANDR_SET_CONFIG_SUCCESS)
        return display_change::Failed;
    // With one output the screen is the mode: no area left beyond it.
    if (resources->num_crtcs == 1 && crtc->x == 0 && crtc->y == 0)
        resize(width, height);
    xcb_flush(c);
    return display_change::Successful;
}

} // namespace dova
