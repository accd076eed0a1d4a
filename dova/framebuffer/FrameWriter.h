#pragma once
// Direct writes into the bitmap for the decoders. A writer waits for the draw gate and takes the
// framebuffer lock the first time it writes, and keeps holding it while the decoder's next bytes are
// already in memory; before a read that may wait for the network the decoder releases it
// (TakeReleasing), so the user-interface thread never waits on the network for a paint. Callers keep
// every write inside the bitmap: the rectangle loop checks rectangles, decoders clip subrectangles.
//
// Pixels are written in the type of their size (uint8_t, uint16_t, uint32_t) with the bytes as received;
// one template per operation covers all three formats (PixelRows.h).

#include "../base/ByteSource.h"
#include "FrameBuffer.h"
#include "PixelRows.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>

namespace dova {

class CFrameWriter {
public:
    explicit CFrameWriter(CFrameBuffer& frame) : Frame(frame) {}
    ~CFrameWriter() { Release(); }
    CFrameWriter(const CFrameWriter&) = delete;
    CFrameWriter& operator=(const CFrameWriter&) = delete;

    void Acquire() {
        if (Held)
            return;
        Frame.WaitForDrawGate();
        Frame.Lock();
        Held = true;
        Base = Frame.Data();
        Stride = size_t(Frame.Stride());
    }
    void Release() {
        if (!Held)
            return;
        Held = false;
        Frame.Unlock();
    }

    template <typename Pixel> void Fill(int x, int y, int w, int h, Pixel pixel) {
        Acquire();
        FillRows<Pixel>(Base + size_t(y) * Stride + size_t(x) * sizeof(Pixel), Stride, w, h, pixel);
    }
    // Rows of w packed pixels, sourceStride bytes apart.
    template <typename Pixel> void Put(int x, int y, int w, int h, const uint8_t* data, size_t sourceStride) {
        Acquire();
        CopyRows<Pixel>(Base + size_t(y) * Stride + size_t(x) * sizeof(Pixel), Stride, data, sourceStride, w,
                        h);
    }

    // Where pixel (x, y) starts, for a run of writes the caller clips itself; valid until Release.
    uint8_t* At(int x, int y, size_t pixelBytes) {
        Acquire();
        return Base + size_t(y) * Stride + size_t(x) * pixelBytes;
    }
    size_t RowStride() const { return Stride; }

    CFrameBuffer& Target() { return Frame; }

private:
    CFrameBuffer& Frame;
    uint8_t* Base = nullptr;
    size_t Stride = 0;
    bool Held = false;
};

// The next n bytes of input; when they are not in memory yet, the framebuffer is let go first.
inline const uint8_t* TakeReleasing(CByteSource& input, CFrameWriter& writer, size_t n) {
    if (!input.HasBuffered(n))
        writer.Release();
    return input.Take(n);
}

} // namespace dova
