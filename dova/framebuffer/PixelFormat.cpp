#include "PixelFormat.h"

namespace dova {

std::array<uint8_t, 16> PixelFormat::ToWire() const {
    return {BitsPerPixel,
            Depth,
            BigEndian,
            TrueColour,
            uint8_t(RedMax >> 8),
            uint8_t(RedMax),
            uint8_t(GreenMax >> 8),
            uint8_t(GreenMax),
            uint8_t(BlueMax >> 8),
            uint8_t(BlueMax),
            RedShift,
            GreenShift,
            BlueShift,
            Padding[0],
            Padding[1],
            Padding[2]};
}

PixelFormat PixelFormat::FromWire(const uint8_t* b) {
    PixelFormat f;
    f.BitsPerPixel = b[0];
    f.Depth = b[1];
    f.BigEndian = b[2];
    f.TrueColour = b[3];
    f.RedMax = uint16_t((b[4] << 8) | b[5]);
    f.GreenMax = uint16_t((b[6] << 8) | b[7]);
    f.BlueMax = uint16_t((b[8] << 8) | b[9]);
    f.RedShift = b[10];
    f.GreenShift = b[11];
    f.BlueShift = b[12];
    f.Padding[0] = b[13];
    f.Padding[1] = b[14];
    f.Padding[2] = b[15];
    return f;
}

bool PixelFormat::ForBitsPerPixel(int bitsPerPixel, PixelFormat& out) {
    PixelFormat f;
    f.TrueColour = 1;
    switch (bitsPerPixel) {
    case 8: // one byte, index into the 3-3-2 colour table; big-endian flag as servers expect it
        f.BitsPerPixel = 8;
        f.Depth = 8;
        f.BigEndian = 1;
        f.RedMax = 7;
        f.GreenMax = 7;
        f.BlueMax = 3;
        f.RedShift = 0;
        f.GreenShift = 3;
        f.BlueShift = 6;
        break;
    case 16: // little-endian 5-5-5 words, bit 15 unused
        f.BitsPerPixel = 16;
        f.Depth = 16;
        f.RedMax = 31;
        f.GreenMax = 31;
        f.BlueMax = 31;
        f.RedShift = 10;
        f.GreenShift = 5;
        f.BlueShift = 0;
        break;
    case 32: // little-endian words: blue, green, red, unused
        f.BitsPerPixel = 32;
        f.Depth = 32;
        f.RedMax = 255;
        f.GreenMax = 255;
        f.BlueMax = 255;
        f.RedShift = 16;
        f.GreenShift = 8;
        f.BlueShift = 0;
        break;
    default:
        return false;
    }
    out = f;
    return true;
}

std::array<uint32_t, 256> ColourTableFor(const PixelFormat& f) {
    std::array<uint32_t, 256> table{};
    auto level = [](unsigned index, unsigned max, unsigned shift) -> uint32_t {
        if (max == 0)
            return 0;
        return ((index & (max << shift)) >> shift) * 255u / max;
    };
    for (unsigned i = 0; i < 256; ++i) {
        const uint32_t r = level(i, f.RedMax, f.RedShift);
        const uint32_t g = level(i, f.GreenMax, f.GreenShift);
        const uint32_t b = level(i, f.BlueMax, f.BlueShift);
        table[i] = (r << 16) | (g << 8) | b;
    }
    return table;
}

} // namespace dova
