#include "SurfacePresenter.h"

#include "ViewerState.h"

#include <algorithm>
#include <bit>
#include <cstring>

namespace dova {

CSurfacePresenter::CSurfacePresenter(CViewerState& state, CBackSurface& surface)
    : State(state), Surface(surface) {}

bool CSurfacePresenter::ShowsFrameDirectly(const CFrameBuffer& frame, bool stretch) {
    if (stretch || !frame.HasBitmap() || frame.BitsPerPixel() != 32)
        return false;
    if constexpr (std::endian::native != std::endian::little)
        return false;
    PixelFormat screen;
    PixelFormat::ForBitsPerPixel(32, screen);
    const PixelFormat& f = frame.Format();
    return f.BigEndian == 0 && f.TrueColour != 0 && f.RedMax == screen.RedMax &&
           f.GreenMax == screen.GreenMax && f.BlueMax == screen.BlueMax && f.RedShift == screen.RedShift &&
           f.GreenShift == screen.GreenShift && f.BlueShift == screen.BlueShift;
}

Area CSurfacePresenter::WindowAreaFor(const StretchRatio& ratio, bool stretch, int frameWidth,
                                      int frameHeight, int x, int y, int width, int height) {
    if (!stretch) {
        const int left = std::max(0, x), top = std::max(0, y);
        const int right = std::min(frameWidth, x + width), bottom = std::min(frameHeight, y + height);
        if (right <= left || bottom <= top)
            return Area{};
        return Area{left, top, right - left, bottom - top};
    }
    Edges e = ScaleRectOutward(ratio, x, y, x + width, y + height);
    e.Left = std::max(0, e.Left);
    e.Top = std::max(0, e.Top);
    e.Right = std::min(e.Right, ScaleX(ratio, frameWidth));
    e.Bottom = std::min(e.Bottom, ScaleY(ratio, frameHeight));
    if (e.Right <= e.Left || e.Bottom <= e.Top)
        return Area{};
    return Area{e.Left, e.Top, e.Right - e.Left, e.Bottom - e.Top};
}

void CSurfacePresenter::Present(const CFrameBuffer& frame, int x, int y, int width, int height) {
    if (!frame.HasBitmap() || width <= 0 || height <= 0)
        return;
    StretchRatio ratio;
    bool stretch;
    StretchFilter filter;
    {
        CLockGuard hold(State); // framebuffer lock first (our caller's), state lock second
        ratio = StretchRatio{State.StretchXNum, State.StretchXDen, State.StretchYNum, State.StretchYDen};
        stretch = State.Stretch;
        filter = State.StretchMode == 4 ? StretchFilter::Halftone : StretchFilter::ColourOnColour;
    }
    // A reduced frame's pixels each stand for Reduction() remote pixels a side.
    ratio.NumX *= frame.Reduction();
    ratio.NumY *= frame.Reduction();
    const int frameWidth = frame.Width(), frameHeight = frame.Height();
    const Area window = WindowAreaFor(ratio, stretch, frameWidth, frameHeight, x, y, width, height);
    if (window.Width <= 0 || window.Height <= 0)
        return;

    if (ShowsFrameDirectly(frame, stretch)) {
        {
            std::lock_guard<std::mutex> hold(Surface.Mutex());
            if (Surface.Width() != 0) // left from stretching or another format
                Surface.Clear();
        }
        State.Post(HostMessage::RepaintWindow, PackWords(uint32_t(window.X), uint32_t(window.Y)),
                   PackWords(uint32_t(window.Width), uint32_t(window.Height)));
        return;
    }

    SourcePixels source;
    source.Data = frame.Data();
    source.Width = frameWidth;
    source.Height = frameHeight;
    source.Stride = frame.Stride();
    source.BitsPerPixel = frame.BitsPerPixel();
    source.Format = frame.Format();
    source.Colours = &frame.ColourTable();
    if (stretch && size_t(window.Width) * size_t(window.Height) <= ScratchMaxPixels) {
        // Scaled outside the surface's lock, so a paint never waits for the filter, only for the copy.
        const Area from = UnscaleRect(ratio, window.X, window.Y, window.Width, window.Height);
        // Never more than the whole scaled image: what a larger ratio left is given back, and growth
        // stops there.
        const size_t whole = size_t(ScaleX(ratio, frameWidth)) * size_t(ScaleY(ratio, frameHeight));
        const size_t needed = size_t(window.Width) * size_t(window.Height);
        if (Scratch.capacity() > whole)
            std::vector<uint32_t>().swap(Scratch);
        if (needed > Scratch.capacity())
            Scratch.reserve(std::min(whole, std::max(needed, 2 * Scratch.capacity())));
        Scratch.resize(needed);
        TargetPixels scaled{Scratch.data(), window.Width, window.Height, window.Width};
        StretchConverted(source, from, scaled, Area{0, 0, window.Width, window.Height}, filter);
        std::lock_guard<std::mutex> hold(Surface.Mutex());
        Surface.EnsureSize(ScaleX(ratio, frameWidth), ScaleY(ratio, frameHeight));
        TargetPixels target = Surface.Target();
        const int rows = std::min(window.Height, target.Height - window.Y);
        const int columns = std::min(window.Width, target.Width - window.X);
        for (int r = 0; r < rows && columns > 0; ++r)
            std::memcpy(target.Data + size_t(window.Y + r) * size_t(target.Stride) + size_t(window.X),
                        Scratch.data() + size_t(r) * size_t(window.Width), size_t(columns) * 4);
    } else {
        std::lock_guard<std::mutex> hold(Surface.Mutex());
        if (stretch) {
            Surface.EnsureSize(ScaleX(ratio, frameWidth), ScaleY(ratio, frameHeight));
            TargetPixels target = Surface.Target();
            const Area from = UnscaleRect(ratio, window.X, window.Y, window.Width, window.Height);
            StretchConverted(source, from, target, window, filter);
        } else {
            Surface.EnsureSize(frameWidth, frameHeight);
            TargetPixels target = Surface.Target();
            CopyConverted(source, window.X, window.Y, window.Width, window.Height, target, window.X,
                          window.Y);
        }
    }
    State.Post(HostMessage::RepaintWindow, PackWords(uint32_t(window.X), uint32_t(window.Y)),
               PackWords(uint32_t(window.Width), uint32_t(window.Height)));
}

} // namespace dova
