#include "Pictures.h"

#include <cstddef>

namespace busy {

namespace {

uint32_t Hash(uint32_t v) {
    v ^= v >> 16;
    v *= 0x7feb352dU;
    v ^= v >> 15;
    v *= 0x846ca68bU;
    v ^= v >> 16;
    return v;
}

} // namespace

std::vector<uint32_t> DesktopPicture(int width, int height, int frame) {
    std::vector<uint32_t> rgb(size_t(width) * size_t(height));
    const int photoEnd = height / 3, textEnd = 2 * height / 3;
    for (int y = 0; y < height; ++y) {
        uint32_t* row = rgb.data() + size_t(y) * size_t(width);
        for (int x = 0; x < width; ++x) {
            uint32_t c;
            if (y < photoEnd) {
                const uint32_t grain = Hash(uint32_t(x * 7919 + y * 104729 + frame * 15485863)) & 0x0F;
                const uint32_t r = uint32_t(x + frame * 37) & 0xFF, g = uint32_t(y * 2 + frame * 11) & 0xFF;
                const uint32_t b = uint32_t((x + y) / 2 + frame * 53) & 0xFF;
                c = ((r ^ grain) << 16) | ((g ^ grain) << 8) | (b ^ grain);
            } else if (y < textEnd) {
                // Glyph-like strokes: a cell of 8 x 14 with a few bars chosen per cell and frame.
                const uint32_t cell = Hash(uint32_t((x / 8) * 131 + (y / 14) * 977 + frame * 7));
                const int cx = x % 8, cy = y % 14;
                const bool stroke = cy > 1 && cy < 12 && cx < 6 &&
                                    (((cell >> cx) & 1) != 0 || (((cell >> 8) >> (cy % 8)) & 1) != 0) &&
                                    (cell & 0x30000) != 0;
                c = stroke ? 0x202020u + uint32_t(frame & 3) * 0x080808u : 0xF0F0E8u;
            } else {
                const int panel = (x / 240) + (y / 90) * 8;
                const uint32_t base = Hash(uint32_t(panel * 31 + frame * 101)) & 0x7F7F7F;
                const bool button = (x % 240) > 40 && (x % 240) < 120 && (y % 90) > 30 && (y % 90) < 52;
                c = button ? base + 0x404040u : base;
            }
            row[x] = c;
        }
    }
    return rgb;
}

} // namespace busy
