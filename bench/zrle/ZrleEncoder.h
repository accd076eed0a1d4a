#pragma once
// The bench's own ZRLE encoder, playing a server: each 64 x 64 tile takes the smallest of raw, solid,
// packed palette, plain RLE and palette RLE, and every update continues one zlib stream, as servers do.
// Pixels are values of the bench's little-endian formats (16 bpp 5-5-5, 32 bpp 8-8-8 in the low bytes,
// sent as three-byte compressed pixels).

#include <zlib.h>

#include <cstdint>
#include <vector>

namespace latis_bench {

class CZrleEncoder {
public:
    explicit CZrleEncoder(int bitsPerPixel, int level = 6);
    ~CZrleEncoder();
    CZrleEncoder(const CZrleEncoder&) = delete;
    CZrleEncoder& operator=(const CZrleEncoder&) = delete;

    // A whole FramebufferUpdate message: one ZRLE rectangle covering the width x height image.
    std::vector<uint8_t> Update(const std::vector<uint32_t>& pixels, int width, int height);

private:
    void Tile(const uint32_t* pixels, int stride, int w, int h);
    void CPixel(uint32_t value);
    void RunLength(int length);

    z_stream Stream{};
    int PixelBytes;
    std::vector<uint8_t> Plain;
};

} // namespace latis_bench
