#pragma once
// Direct writes into the bitmap for the decoders. A writer waits for the draw gate and takes the
// framebuffer lock the first time it writes, and keeps holding it while the decoder's next bytes are
// already in memory; before a read that may wait for the network the decoder releases it
// (TakeReleasing), so the user-interface thread never waits on the network for a paint. Callers keep
// every write inside the bitmap: the rectangle loop checks rectangles, decoders clip subrectangles.
//
// Pixels are written in the type of their size (uint8_t, uint16_t, uint32_t) with the bytes as received;
// one template per operation covers all three formats.

#include "../base/ByteSource.h"
#include "FrameBuffer.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <type_traits>

namespace dova {

template <typename Pixel> inline Pixel LoadPixel(const uint8_t* at) {
    Pixel value;
    std::memcpy(&value, at, sizeof value);
    return value;
}

// Rows at least this wide are filled by copying a finished first row (one block copy per row).
inline constexpr int TemplateRowMinWidth = 256;

// Sixteen pixels of one value, stored with a few vector moves instead of sixteen scalar ones.
template <typename Pixel> struct SixteenPixelRow;
template <> struct SixteenPixelRow<uint8_t> { typedef uint8_t Type __attribute__((vector_size(16))); };
template <> struct SixteenPixelRow<uint16_t> { typedef uint16_t Type __attribute__((vector_size(32))); };
template <> struct SixteenPixelRow<uint32_t> { typedef uint32_t Type __attribute__((vector_size(64))); };

template <typename Pixel> struct SixteenPixels {
    using Row = typename SixteenPixelRow<Pixel>::Type;
    static_assert(sizeof(Row) == 16 * sizeof(Pixel));
    Row Value;
    explicit SixteenPixels(Pixel pixel) : Value(Row{} + pixel) {}
    void StoreTo(void* at) const { std::memcpy(at, &Value, sizeof Value); }
    // The first count (1 to 16) pixels: two fixed-size moves that may overlap, no loop and no call.
    void StoreFirst(void* at, int count) const {
        const size_t n = size_t(count) * sizeof(Pixel);
        const auto* from = reinterpret_cast<const uint8_t*>(&Value);
        auto* to = static_cast<uint8_t*>(at);
        auto both = [&](auto chunk) {
            constexpr size_t size = decltype(chunk)::value;
            std::memcpy(to, from, size);
            std::memcpy(to + n - size, from, size);
        };
        if (n >= 32)
            both(std::integral_constant<size_t, 32>{});
        else if (n >= 16)
            both(std::integral_constant<size_t, 16>{});
        else if (n >= 8)
            both(std::integral_constant<size_t, 8>{});
        else if (n >= 4)
            both(std::integral_constant<size_t, 4>{});
        else if (n >= 2)
            both(std::integral_constant<size_t, 2>{});
        else if (n == 1)
            *to = *from;
    }
};

template <typename Pixel> inline void FillRows(uint8_t* origin, size_t stride, int w, int h, Pixel pixel) {
    if (w <= 0 || h <= 0)
        return;
    if constexpr (sizeof(Pixel) == 1) {
        for (int r = 0; r < h; ++r)
            std::memset(origin + r * stride, pixel, size_t(w));
    } else if (w == 16) { // a whole Hextile tile row: fixed size, vector stores
        const SixteenPixels<Pixel> row(pixel);
        for (int r = 0; r < h; ++r)
            row.StoreTo(origin + r * stride);
    } else if (w >= TemplateRowMinWidth) {
        std::fill_n(reinterpret_cast<Pixel*>(origin), w, pixel);
        const size_t bytes = size_t(w) * sizeof(Pixel);
        for (int r = 1; r < h; ++r)
            std::memcpy(origin + r * stride, origin, bytes);
    } else {
        for (int r = 0; r < h; ++r)
            std::fill_n(reinterpret_cast<Pixel*>(origin + r * stride), w, pixel);
    }
}

template <typename Pixel>
inline void CopyRows(uint8_t* origin, size_t stride, const uint8_t* source, size_t sourceStride, int w,
                     int h) {
    const size_t bytes = size_t(w) * sizeof(Pixel);
    if (bytes == 16 * sizeof(Pixel)) { // fixed size copies for whole tiles
        for (int r = 0; r < h; ++r)
            std::memcpy(origin + r * stride, source + r * sourceStride, 16 * sizeof(Pixel));
    } else if (bytes == stride && bytes == sourceStride) {
        std::memcpy(origin, source, bytes * size_t(h));
    } else {
        for (int r = 0; r < h; ++r)
            std::memcpy(origin + r * stride, source + r * sourceStride, bytes);
    }
}

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
