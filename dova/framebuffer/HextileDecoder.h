#pragma once
// Hextile (encoding 5): the rectangle in 16 x 16 tiles, each raw or a background with small
// subrectangles. Background and foreground carry over from tile to tile within one rectangle.

#include "RectangleDecoder.h"

namespace dova {

namespace hextile {
inline constexpr uint8_t Raw = 1;
inline constexpr uint8_t BackgroundSpecified = 2;
inline constexpr uint8_t ForegroundSpecified = 4;
inline constexpr uint8_t AnySubrects = 8;
inline constexpr uint8_t SubrectsColoured = 16;
inline constexpr int TileSize = 16;
} // namespace hextile

class CHextileDecoder : public IRectangleDecoder {
public:
    // Subrectangles reaching past their tile are clipped to it. Background and foreground start
    // black in every rectangle, for servers that use them before sending them.
    void Decode(CByteSource& input, CFrameBuffer& frame, const RectangleHeader& rect,
                DecodeSettings& settings) override;
};

} // namespace dova
