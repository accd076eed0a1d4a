#pragma once
// Pixels as Tight sends them. For a 32-bit true-colour format of 24 significant bits and 8-bit
// channels a pixel (TPIXEL) travels as three bytes, red, green, blue; in any other format it travels
// whole, with the bytes it has in the bitmap. Gradient prediction and JPEG work on the channels, so
// this also splits pixels into red, green and blue and puts them together again.

#include "PixelFormat.h"

#include <cstddef>
#include <cstdint>

namespace dova {

class CTightPixels {
public:
    explicit CTightPixels(const PixelFormat& format);

    // Bytes a pixel takes on the wire: 3 or the format's bytes per pixel.
    size_t WireBytes() const { return Packed ? 3 : Bytes; }
    bool Packed24() const { return Packed; }
    const PixelFormat& Format() const { return F; }

    // A wire pixel as the value whose bytes, in memory order, the bitmap holds.
    uint32_t Read(const uint8_t* at) const {
        if (Packed)
            return Compose(at[0], at[1], at[2]);
        uint32_t value = 0;
        for (size_t i = 0; i < Bytes; ++i)
            value |= uint32_t(at[i]) << (8 * i);
        return value; // little-endian assembly of memory bytes: Store puts them back in order
    }

    // Channels of a pixel in the format's own value (not memory order); at most 16 bits each.
    void Split(uint32_t value, unsigned rgb[3]) const {
        rgb[0] = (value >> F.RedShift) & F.RedMax;
        rgb[1] = (value >> F.GreenShift) & F.GreenMax;
        rgb[2] = (value >> F.BlueShift) & F.BlueMax;
    }
    uint32_t Join(const unsigned rgb[3]) const {
        return (uint32_t(rgb[0]) << F.RedShift) | (uint32_t(rgb[1]) << F.GreenShift) |
               (uint32_t(rgb[2]) << F.BlueShift);
    }
    // A whole wire pixel's value as the format defines it (byte order applied).
    uint32_t ValueAt(const uint8_t* at) const;
    // The memory-order value (as Read returns) of a format value.
    uint32_t MemoryOrder(uint32_t value) const;
    // 8-bit red, green, blue to the memory-order value, scaled to the format's channel sizes.
    uint32_t Compose(unsigned r, unsigned g, unsigned b) const {
        if (Packed && !F.BigEndian) // 8-bit channels: nothing to scale
            return (r << F.RedShift) | (g << F.GreenShift) | (b << F.BlueShift);
        return ComposeScaled(r, g, b);
    }
    unsigned Max(int channel) const {
        return channel == 0 ? F.RedMax : channel == 1 ? F.GreenMax : F.BlueMax;
    }

private:
    uint32_t ComposeScaled(unsigned r, unsigned g, unsigned b) const;

    PixelFormat F;
    size_t Bytes;
    bool Packed;
};

} // namespace dova
