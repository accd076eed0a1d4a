#include "RreDecoder.h"

#include "../base/WireOrder.h"
#include "FrameWriter.h"

namespace dova {

namespace {

template <typename Pixel, bool Compact>
void DecodeRre(CByteSource& input, CFrameBuffer& frame, const RectangleHeader& rect) {
    constexpr size_t GeometrySize = Compact ? 4 : 8;
    constexpr size_t RecordSize = sizeof(Pixel) + GeometrySize;

    CLockGuard reading(input.ReadLock()); // the payload is read as one unit
    CFrameWriter writer(frame);
    const uint8_t* head = TakeReleasing(input, writer, 4 + sizeof(Pixel));
    uint32_t count = GetU32(head);
    const Pixel background = LoadPixel<Pixel>(head + 4);
    if (count > uint32_t(rect.Width) * uint32_t(rect.Height))
        RaiseMalformed();
    writer.Fill<Pixel>(rect.X, rect.Y, rect.Width, rect.Height, background);

    // Normally one read for the whole list; a list above MaxPayloadRead comes in several.
    const uint32_t perRead = uint32_t(MaxPayloadRead / RecordSize);
    while (count > 0) {
        const uint32_t n = std::min(count, perRead);
        const uint8_t* record = TakeReleasing(input, writer, size_t(n) * RecordSize);
        for (uint32_t i = 0; i < n; ++i, record += RecordSize) {
            const Pixel pixel = LoadPixel<Pixel>(record);
            const uint8_t* g = record + sizeof(Pixel);
            uint32_t x, y, w, h;
            if constexpr (Compact) {
                x = g[0], y = g[1], w = g[2], h = g[3];
            } else {
                x = GetU16(g), y = GetU16(g + 2), w = GetU16(g + 4), h = GetU16(g + 6);
            }
            if (x >= rect.Width || y >= rect.Height)
                continue;
            w = std::min(w, rect.Width - x);
            h = std::min(h, rect.Height - y);
            writer.Fill<Pixel>(int(rect.X + x), int(rect.Y + y), int(w), int(h), pixel);
        }
        count -= n;
    }
}

} // namespace

void CRreDecoder::Decode(CByteSource& input, CFrameBuffer& frame, const RectangleHeader& rect,
                         DecodeSettings&) {
    ForPixelType(frame.BytesPerPixel(), [&](auto pixel) {
        using Pixel = decltype(pixel);
        if (Compact)
            DecodeRre<Pixel, true>(input, frame, rect);
        else
            DecodeRre<Pixel, false>(input, frame, rect);
    });
}

} // namespace dova
