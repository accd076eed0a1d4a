#include "PointerConfinement.h"

#include <QGuiApplication>
#include <QWidget>
#include <QtGui/qguiapplication_platform.h>

#include <cstdlib>
#include <xcb/xcb.h>

namespace dova {

namespace {
xcb_connection_t* X11Connection() {
    const auto* x11 = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    return x11 ? x11->connection() : nullptr;
}

// Events the window still wants while the grab routes the pointer to it.
constexpr uint32_t GrabEvents = XCB_EVENT_MASK_BUTTON_PRESS | XCB_EVENT_MASK_BUTTON_RELEASE |
                                XCB_EVENT_MASK_POINTER_MOTION | XCB_EVENT_MASK_ENTER_WINDOW |
                                XCB_EVENT_MASK_LEAVE_WINDOW;
} // namespace

CPointerConfinement::~CPointerConfinement() {
    Release();
}

bool CPointerConfinement::Confine(QWidget& widget) {
    xcb_connection_t* connection = X11Connection();
    if (!connection || !widget.isVisible())
        return false;
    // The widget's own native window: its rectangle is the one the pointer must stay in.
    const auto window = xcb_window_t(widget.winId());
    const xcb_grab_pointer_cookie_t cookie =
        xcb_grab_pointer(connection, 1, window, GrabEvents, XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC, window,
                         XCB_NONE, XCB_CURRENT_TIME);
    xcb_grab_pointer_reply_t* reply = xcb_grab_pointer_reply(connection, cookie, nullptr);
    Confined = reply && reply->status == XCB_GRAB_STATUS_SUCCESS;
    std::free(reply);
    return Confined;
}

void CPointerConfinement::Release() {
    if (!Confined)
        return;
    Confined = false;
    if (xcb_connection_t* connection = X11Connection()) {
        xcb_ungrab_pointer(connection, XCB_CURRENT_TIME);
        xcb_flush(connection);
    }
}

} // namespace dova
