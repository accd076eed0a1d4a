#pragma once
// A screen as plain 8-bit RGB, and reading one from an xwd dump or a PPM picture.

#include <cstdint>
#include <string>
#include <vector>

namespace latis_test {

struct RgbImage {
    int Width = 0;
    int Height = 0;
    std::vector<uint8_t> Pixels; // rows top-down, 3 bytes per pixel (R, G, B), no padding

    // 0xRRGGBB of pixel (x, y).
    uint32_t At(int x, int y) const {
        const uint8_t* p = &Pixels[(size_t(y) * size_t(Width) + size_t(x)) * 3];
        return (uint32_t(p[0]) << 16) | (uint32_t(p[1]) << 8) | p[2];
    }
};

// Decodes the output of `xwd` (ZPixmap, true colour of 16, 24 or 32 bits per pixel, or 8 bits with
// its colour map); throws std::runtime_error on anything else.
RgbImage DecodeXwd(const std::string& dump);
// Decodes a binary PPM (P6, 8 bits a channel), as QEMU's screendump and grim write; throws
// std::runtime_error on anything else.
RgbImage DecodePpm(const std::string& data);

} // namespace latis_test
