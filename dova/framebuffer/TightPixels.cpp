#include "TightPixels.h"

namespace dova {

CTightPixels::CTightPixels(const PixelFormat& format)
    : F(format), Bytes(size_t(format.BitsPerPixel / 8)),
      Packed(format.BitsPerPixel == 32 && format.Depth == 24 && format.TrueColour && format.RedMax == 255 &&
             format.GreenMax == 255 && format.BlueMax == 255) {}

uint32_t CTightPixels::ValueAt(const uint8_t* at) const {
    uint32_t value = 0;
    for (size_t i = 0; i < Bytes; ++i) {
        const size_t k = F.BigEndian ? Bytes - 1 - i : i;
        value |= uint32_t(at[i]) << (8 * k);
    }
    return value;
}

uint32_t CTightPixels::MemoryOrder(uint32_t value) const {
    if (!F.BigEndian)
        return value;
    uint32_t swapped = 0;
    for (size_t i = 0; i < Bytes; ++i)
        swapped |= ((value >> (8 * (Bytes - 1 - i))) & 0xFFu) << (8 * i);
    return swapped;
}

uint32_t CTightPixels::ComposeScaled(unsigned r, unsigned g, unsigned b) const {
    const unsigned rgb[3] = {(r * F.RedMax + 127) / 255, (g * F.GreenMax + 127) / 255,
                             (b * F.BlueMax + 127) / 255};
    return MemoryOrder(Join(rgb));
}

} // namespace dova
