#pragma once
// Tight (encoding 7). Each rectangle starts with a control byte: its low four bits reset zlib streams
// 0 to 3, its high four bits choose fill (8: one pixel for the whole rectangle), JPEG (9: a compact
// length and a JPEG image) or basic compression (0 to 7: bits 4 and 5 pick the stream, bit 6 says a
// filter byte follows: copy, palette or gradient). Basic data shorter than 12 bytes comes as it is,
// longer data as a compact length and that much of the chosen stream.
//
// Holds the four streams, so there is one decoder per connection. Data is inflated a band at a time:
// memory stays bounded whatever lengths the server announces. Anything that does not add up is error
// 1298.

#include "RectangleDecoder.h"

#include <array>
#include <memory>
#include <vector>

namespace dova {

namespace encodings {
inline constexpr int32_t Tight = 7;
// Pseudo-encodings: JPEG quality 0 to 9 and compression level 0 to 9.
inline constexpr int32_t QualityLevel0 = -32;
inline constexpr int32_t CompressLevel0 = -256;
} // namespace encodings

class CTightStream;
class CTightJpeg;
class CTightPixels;
class CFrameWriter;

class CTightDecoder : public IRectangleDecoder {
public:
    CTightDecoder();
    ~CTightDecoder() override;
    CTightDecoder(const CTightDecoder&) = delete;
    CTightDecoder& operator=(const CTightDecoder&) = delete;

    void Decode(CByteSource& input, CFrameBuffer& frame, const RectangleHeader& rect,
                DecodeSettings& settings) override;

private:
    void DecodeJpeg(CByteSource& input, CFrameWriter& writer, const RectangleHeader& rect,
                    const CTightPixels& pixels);
    void DecodeReducedJpeg(CByteSource& input, CFrameWriter& writer, const RectangleHeader& rect,
                           const CTightPixels& pixels, DecodeSettings& settings);
    void DecodeBasic(uint8_t control, CByteSource& input, CFrameWriter& writer, const RectangleHeader& rect,
                     const CTightPixels& pixels);

    std::array<std::unique_ptr<CTightStream>, 4> Streams;
    std::unique_ptr<CTightJpeg> Jpeg;
    std::vector<uint8_t> Rows; // a band of inflated rows (64 KiB, or one row when rows are longer)
};

// 1 to 3 bytes, 7 bits each, lowest first; a set high bit says another byte follows (the third byte
// gives all its 8 bits). At most 4 MiB - 1.
uint32_t ReadCompactLength(CByteSource& input, CFrameWriter& writer);

} // namespace dova
