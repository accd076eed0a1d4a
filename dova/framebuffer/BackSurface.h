#pragma once
// CBackSurface: the drawn image of one viewer in 0x00RRGGBB words, at its window size (the frame
// size, or the stretched size while stretching). The session thread writes converted and scaled
// areas into it; the user-interface thread only copies from it when it paints. Its mutex is the last
// lock taken: nobody holding it waits for the framebuffer lock or the state lock.

#include "Scaler.h"

#include <algorithm>
#include <cstdint>
#include <mutex>
#include <new>
#include <vector>

namespace dova {

class CBackSurface {
public:
    // A side must fit the 16-bit words of HostMessage::RepaintWindow.
    static constexpr int MaxSide = 32767;
    // Enough for a 16384 x 4096 image; a larger stretched image is drawn only up to this.
    static constexpr size_t MaxPixels = size_t(1) << 26;

    // Resizes (all black) when the size differs; true when it did. Sizes beyond the limits are cut.
    bool EnsureSize(int width, int height) {
        width = std::clamp(width, 0, MaxSide);
        height = std::clamp(height, 0, MaxSide);
        if (width > 0 && size_t(width) * size_t(height) > MaxPixels)
            height = int(MaxPixels / size_t(width));
        if (width == SurfaceWidth && height == SurfaceHeight)
            return false;
        try {
            // A fresh vector: a smaller surface gives back the larger one's memory (a tile's first
            // pictures may be drawn before its final ratio is known).
            std::vector<uint32_t>(size_t(width) * size_t(height), 0).swap(Pixels);
        } catch (const std::bad_alloc&) {
            width = height = 0;
            Pixels.clear();
        }
        SurfaceWidth = width;
        SurfaceHeight = height;
        return true;
    }
    void Clear() {
        Pixels.clear();
        Pixels.shrink_to_fit();
        SurfaceWidth = SurfaceHeight = 0;
    }
    TargetPixels Target() { return TargetPixels{Pixels.data(), SurfaceWidth, SurfaceHeight, SurfaceWidth}; }

    int Width() const { return SurfaceWidth; }
    int Height() const { return SurfaceHeight; }
    const uint32_t* Data() const { return Pixels.data(); }
    // Bytes per row.
    int Stride() const { return SurfaceWidth * 4; }

    std::mutex& Mutex() { return Lock; }

private:
    std::mutex Lock;
    std::vector<uint32_t> Pixels;
    int SurfaceWidth = 0;
    int SurfaceHeight = 0;
};

} // namespace dova
