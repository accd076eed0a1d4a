#pragma once
// CSurfacePresenter: shows framebuffer areas by converting (and, while stretching, scaling) them
// into the viewer's back surface, then telling the host which window area changed
// (HostMessage::RepaintWindow, window units). It runs with the framebuffer lock held, on the session
// thread after decoding or on the user-interface thread when the whole image must be rebuilt; the
// host's paint handler then copies from the back surface and never scales.
//
// An unstretched 32 bpp frame is already in the screen's layout (x-8-8-8, host order): then nothing is
// converted, the back surface stays empty and the paint handler copies from the framebuffer itself,
// under its lock. (16 bpp must be converted for the screen anyway; doing it here keeps it off the
// user-interface thread.)

#include "../framebuffer/BackSurface.h"
#include "../framebuffer/FrameBuffer.h"

#include <vector>

namespace dova {

class CViewerState;

class CSurfacePresenter : public IFramePresenter {
public:
    CSurfacePresenter(CViewerState& state, CBackSurface& surface);

    void Present(const CFrameBuffer& frame, int x, int y, int width, int height) override;

    // The window area a frame rectangle draws into under the given settings (cell-aligned while
    // stretching, cut at the frame's scaled size); empty when nothing would be drawn.
    // True when the paint handler should draw straight from the framebuffer (see above). Called with
    // the framebuffer lock held.
    static bool ShowsFrameDirectly(const CFrameBuffer& frame, bool stretch);

    static Area WindowAreaFor(const StretchRatio& ratio, bool stretch, int frameWidth, int frameHeight, int x,
                              int y, int width, int height);

private:
    // Stretched areas up to this size (a full-screen image) are scaled into Scratch first.
    static constexpr size_t ScratchMaxPixels = size_t(1) << 21;

    CViewerState& State;
    CBackSurface& Surface;
    std::vector<uint32_t> Scratch; // guarded by the framebuffer lock, which every caller holds
};

} // namespace dova
