#pragma once
// Filling and copying rows of pixels in the bitmap, shaped for what decoders write most: areas of a
// 16 x 16 tile or smaller. A row of up to 64 bytes is filled with at most four fixed-size stores of
// the pixel repeated, overlapping where the width is not a power of two, so no per-pixel loop and no
// library call runs for the small subrectangles of Hextile, RRE and CoRRE.
//
// Pixels are of the type of their size (uint8_t, uint16_t, uint32_t) with the bytes as received.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>

namespace dova {

template <typename Pixel> inline Pixel LoadPixel(const uint8_t* at) {
    Pixel value;
    std::memcpy(&value, at, sizeof value);
    return value;
}

// Rows at least this wide are filled by copying a finished first row (one block copy per row).
inline constexpr int TemplateRowMinWidth = 256;
// Rows of at most this many bytes are filled with fixed-size stores.
inline constexpr size_t NarrowRowMaxBytes = 64;

namespace pixelrows {

// The pixel in every lane of 16 bytes; every store below starts a whole number of pixels into its row,
// so any part of the pattern lands on pixel boundaries.
struct Pattern {
    uint8_t Bytes[16];
};

template <typename Pixel> inline Pattern Repeat(Pixel pixel) {
    constexpr uint64_t Lanes = sizeof(Pixel) == 1   ? 0x0101010101010101u
                               : sizeof(Pixel) == 2 ? 0x0001000100010001u
                                                    : 0x0000000100000001u;
    const uint64_t word = uint64_t(pixel) * Lanes;
    Pattern p;
    std::memcpy(p.Bytes, &word, 8);
    std::memcpy(p.Bytes + 8, &word, 8);
    return p;
}

// Each store covers [at, at + Size); the caller keeps it inside the row.
template <size_t Size> inline void Store(uint8_t* at, const Pattern& p) {
    static_assert(Size <= sizeof p.Bytes);
    std::memcpy(at, p.Bytes, Size);
}

// Fills h rows of bytes (1..64, a multiple of the pixel size) with two stores of Size bytes per row
// (four for rows over 32 bytes): one from the start, one ending at the row's end.
template <size_t Size>
inline void FillNarrow(uint8_t* origin, size_t stride, size_t bytes, int h, const Pattern& p) {
    const size_t last = bytes - Size;
    for (int r = 0; r < h; ++r, origin += stride) {
        Store<Size>(origin, p);
        Store<Size>(origin + last, p);
    }
}

inline void FillNarrowWide(uint8_t* origin, size_t stride, size_t bytes, int h, const Pattern& p) {
    const size_t last = bytes - 32;
    for (int r = 0; r < h; ++r, origin += stride) {
        Store<16>(origin, p);
        Store<16>(origin + 16, p);
        Store<16>(origin + last, p);
        Store<16>(origin + last + 16, p);
    }
}

template <typename Pixel>
inline void FillNarrowRows(uint8_t* origin, size_t stride, size_t bytes, int h, Pixel pixel) {
    const Pattern p = Repeat(pixel);
    if (bytes > 32)
        FillNarrowWide(origin, stride, bytes, h, p);
    else if (bytes >= 16)
        FillNarrow<16>(origin, stride, bytes, h, p);
    else if (bytes >= 8)
        FillNarrow<8>(origin, stride, bytes, h, p);
    else if (bytes >= 4)
        FillNarrow<4>(origin, stride, bytes, h, p);
    else if (bytes >= 2)
        FillNarrow<2>(origin, stride, bytes, h, p);
    else
        FillNarrow<1>(origin, stride, bytes, h, p);
}

} // namespace pixelrows

template <typename Pixel> inline void FillRows(uint8_t* origin, size_t stride, int w, int h, Pixel pixel) {
    if (w <= 0 || h <= 0)
        return;
    const size_t bytes = size_t(w) * sizeof(Pixel);
    if (bytes <= NarrowRowMaxBytes) {
        pixelrows::FillNarrowRows<Pixel>(origin, stride, bytes, h, pixel);
    } else if constexpr (sizeof(Pixel) == 1) {
        for (int r = 0; r < h; ++r)
            std::memset(origin + r * stride, pixel, size_t(w));
    } else if (w >= TemplateRowMinWidth) {
        std::fill_n(reinterpret_cast<Pixel*>(origin), w, pixel);
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
    if (w <= 0 || h <= 0)
        return; // an empty rectangle may come with no source at all
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

} // namespace dova
