#pragma once
// The RFB pixel format record, and the three formats the viewer asks servers for. The formats are
// chosen so that the bytes a server sends are exactly the bytes of the local framebuffer.

#include <array>
#include <cstdint>

namespace dova {

struct PixelFormat {
    uint8_t BitsPerPixel = 0;
    uint8_t Depth = 0;
    uint8_t BigEndian = 0;
    uint8_t TrueColour = 0;
    uint16_t RedMax = 0; // host order in memory, big-endian on the wire
    uint16_t GreenMax = 0;
    uint16_t BlueMax = 0;
    uint8_t RedShift = 0;
    uint8_t GreenShift = 0;
    uint8_t BlueShift = 0;
    uint8_t Padding[3] = {0, 0, 0};

    bool operator==(const PixelFormat&) const = default;

    // 16 bytes as they travel (maxima big-endian).
    std::array<uint8_t, 16> ToWire() const;
    static PixelFormat FromWire(const uint8_t* bytes);

    // The requested format for 8, 16 or 32 bits per pixel; false for any other value.
    static bool ForBitsPerPixel(int bitsPerPixel, PixelFormat& out);
};

static_assert(sizeof(PixelFormat) == 16, "the pixel format record is 16 bytes");

// The 256-entry colour table of the 8-bit format: entry i is 0x00RRGGBB.
std::array<uint32_t, 256> ColourTableFor(const PixelFormat& format);

} // namespace dova
