#pragma once
// ZRLE (encoding 16): a u32 length and that much of one zlib stream that runs for the whole
// connection; inflated, the rectangle is 64 x 64 tiles, each raw, solid, packed-palette, plain RLE or
// palette RLE, with pixels in their compact form (CPIXEL: three bytes for a 32-bit true-colour format
// whose colours fit in three of its bytes).
//
// Holds the stream, so there is one decoder per connection. Compressed bytes are taken from the input
// as tiles need them: memory stays bounded whatever length the server announces. Anything that does
// not add up (unknown subencoding, palette index or run past the tile, the stream ending or failing,
// bytes left over after the last tile, a length beyond what any tiles of the rectangle could need)
// is error 1298.

#include "RectangleDecoder.h"

#include <memory>
#include <vector>

namespace dova {

namespace encodings {
inline constexpr int32_t ZRLE = 16;
} // namespace encodings

namespace zrle {
inline constexpr int TileSize = 64;
} // namespace zrle

class CZrleInflater;

class CZrleDecoder : public IRectangleDecoder {
public:
    CZrleDecoder();
    ~CZrleDecoder() override;
    CZrleDecoder(const CZrleDecoder&) = delete;
    CZrleDecoder& operator=(const CZrleDecoder&) = delete;

    void Decode(CByteSource& input, CFrameBuffer& frame, const RectangleHeader& rect,
                DecodeSettings& settings) override;

private:
    std::unique_ptr<CZrleInflater> Stream;
};

struct PixelFormat;
// Where the three bytes of a compact pixel go in the four bytes of the pixel as it lies in memory
// (0 or 1); -1 when pixels of this format travel whole.
int CompactPixelOffset(const PixelFormat& format);

} // namespace dova
