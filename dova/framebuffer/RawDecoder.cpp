#include "RawDecoder.h"

#include "../base/WireOrder.h"
#include "FrameWriter.h"

namespace dova {

namespace {
template <typename Pixel>
void DecodeRaw(CByteSource& input, CFrameBuffer& frame, const RectangleHeader& rect) {
    const size_t rowBytes = size_t(rect.Width) * sizeof(Pixel);
    if (rowBytes == 0 || rect.Height == 0)
        return;
    // One read of the whole rectangle unless it is larger than MaxPayloadRead.
    const int band = int(std::clamp<size_t>(MaxPayloadRead / rowBytes, 1, rect.Height));
    CFrameWriter writer(frame);
    for (int row = 0; row < rect.Height; row += band) {
        const int rows = std::min(band, rect.Height - row);
        const uint8_t* data = TakeReleasing(input, writer, rowBytes * size_t(rows));
        writer.Put<Pixel>(rect.X, rect.Y + row, rect.Width, rows, data, rowBytes);
    }
}
} // namespace

void CRawDecoder::Decode(CByteSource& input, CFrameBuffer& frame, const RectangleHeader& rect,
                         DecodeSettings&) {
    ForPixelType(frame.BytesPerPixel(), [&](auto pixel) { DecodeRaw<decltype(pixel)>(input, frame, rect); });
}

} // namespace dova
