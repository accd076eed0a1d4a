#include "RgbImage.h"

#include <sstream>
#include <stdexcept>

namespace latis_test {

namespace {
constexpr size_t XwdHeaderFields = 25;
constexpr size_t XwdColourSize = 12;
constexpr uint32_t ZPixmap = 2;

uint32_t BigEndian32(const std::string& s, size_t at) {
    return (uint32_t(uint8_t(s[at])) << 24) | (uint32_t(uint8_t(s[at + 1])) << 16) |
           (uint32_t(uint8_t(s[at + 2])) << 8) | uint32_t(uint8_t(s[at + 3]));
}

// Scales a masked colour field to 0..255.
uint8_t Channel(uint32_t pixel, uint32_t mask) {
    if (mask == 0)
        return 0;
    int shift = 0;
    while (!((mask >> shift) & 1u))
        ++shift;
    const uint32_t max = mask >> shift;
    return uint8_t(((pixel & mask) >> shift) * 255u / max);
}
} // namespace

RgbImage DecodeXwd(const std::string& dump) {
    if (dump.size() < XwdHeaderFields * 4)
        throw std::runtime_error("xwd dump too short");
    uint32_t h[XwdHeaderFields];
    for (size_t i = 0; i < XwdHeaderFields; ++i)
        h[i] = BigEndian32(dump, i * 4);
    const uint32_t headerSize = h[0], format = h[2], width = h[4], height = h[5], byteOrder = h[7];
    const uint32_t bitsPerPixel = h[11], bytesPerLine = h[12];
    const uint32_t redMask = h[14], greenMask = h[15], blueMask = h[16], colours = h[19];
    if (format != ZPixmap ||
        (bitsPerPixel != 8 && bitsPerPixel != 16 && bitsPerPixel != 32 && bitsPerPixel != 24))
        throw std::runtime_error("unsupported xwd layout");
    const size_t mapAt = headerSize;
    const size_t imageAt = mapAt + size_t(colours) * XwdColourSize;
    if (width > 65536 || height > 65536 || dump.size() < imageAt + size_t(bytesPerLine) * height)
        throw std::runtime_error("xwd dump truncated");

    RgbImage image;
    image.Width = int(width);
    image.Height = int(height);
    image.Pixels.resize(size_t(width) * height * 3);
    const size_t bytes = bitsPerPixel / 8;
    // Colour map entries: pixel u32, red, green, blue u16 (high byte first), flags, pad.
    uint32_t palette[256] = {};
    for (uint32_t c = 0; bitsPerPixel == 8 && c < colours; ++c) {
        const size_t e = mapAt + size_t(c) * XwdColourSize;
        const uint32_t index = BigEndian32(dump, e);
        if (index < 256)
            palette[index] = (uint32_t(uint8_t(dump[e + 4])) << 16) | (uint32_t(uint8_t(dump[e + 6])) << 8) |
                             uint8_t(dump[e + 8]);
    }
    for (uint32_t y = 0; y < height; ++y) {
        const size_t row = imageAt + size_t(y) * bytesPerLine;
        for (uint32_t x = 0; x < width; ++x) {
            uint32_t pixel = 0;
            for (size_t b = 0; b < bytes; ++b) {
                const uint32_t byte = uint8_t(dump[row + x * bytes + b]);
                pixel |= byteOrder == 0 ? byte << (8 * b) : byte << (8 * (bytes - 1 - b));
            }
            uint8_t* out = &image.Pixels[(size_t(y) * width + x) * 3];
            if (bitsPerPixel == 8) {
                const uint32_t rgb = palette[pixel & 0xFF];
                out[0] = uint8_t(rgb >> 16);
                out[1] = uint8_t(rgb >> 8);
                out[2] = uint8_t(rgb);
            } else {
                out[0] = Channel(pixel, redMask);
                out[1] = Channel(pixel, greenMask);
                out[2] = Channel(pixel, blueMask);
            }
        }
    }
    return image;
}

RgbImage DecodePpm(const std::string& data) {
    std::istringstream in(data);
    std::string magic;
    int width = 0, height = 0, max = 0;
    in >> magic >> width >> height >> max;
    in.get();
    RgbImage image;
    if (magic != "P6" || max != 255 || width <= 0 || height <= 0)
        throw std::runtime_error("not a binary PPM (P6) picture");
    image.Width = width;
    image.Height = height;
    image.Pixels.resize(size_t(width) * size_t(height) * 3);
    if (!in.read(reinterpret_cast<char*>(image.Pixels.data()), std::streamsize(image.Pixels.size())))
        throw std::runtime_error("PPM picture is short");
    return image;
}

} // namespace latis_test
