#include "TightDecoder.h"

#include "FrameWriter.h"
#include "TightJpeg.h"
#include "TightPixels.h"
#include "TightStream.h"

#include <algorithm>
#include <bit>
#include <cstring>

namespace dova {

namespace {

constexpr unsigned FillType = 0x8;
constexpr unsigned JpegType = 0x9;
constexpr uint8_t ExplicitFilter = 0x40;
constexpr uint8_t CopyFilter = 0;
constexpr uint8_t PaletteFilter = 1;
constexpr uint8_t GradientFilter = 2;
// Basic data shorter than this comes as it is, without a length or zlib.
constexpr size_t MinToCompress = 12;
// Inflated bytes decoded at a time (at least one row).
constexpr size_t RowBand = 64 * 1024;

// A pixel value whose bytes are given in memory order (lowest first) as the Pixel type holds it.
template <typename Pixel> Pixel Native(uint32_t memoryValue) {
    if constexpr (std::endian::native == std::endian::little) {
        return Pixel(memoryValue);
    } else {
        uint8_t bytes[4] = {uint8_t(memoryValue), uint8_t(memoryValue >> 8), uint8_t(memoryValue >> 16),
                            uint8_t(memoryValue >> 24)};
        Pixel value;
        std::memcpy(&value, bytes, sizeof value);
        return value;
    }
}

// Turns the rows of one basic rectangle into pixels and writes them, row by row.
template <typename Pixel> class CBasicRows {
public:
    CBasicRows(const CTightPixels& pixels, CFrameWriter& writer, const RectangleHeader& rect, uint8_t filter,
               const uint32_t* palette, int paletteSize)
        : Pixels(pixels), Writer(writer), Rect(rect), Filter(filter), Palette(palette),
          PaletteSize(paletteSize), Out(rect.Width),
          Previous(filter == GradientFilter ? size_t(rect.Width) * 3 : 0, 0), Current(Previous.size(), 0) {}

    void Row(int r, const uint8_t* data) {
        const int w = Rect.Width;
        if (Filter == CopyFilter) {
            if (!Pixels.Packed24()) {
                Writer.Put<Pixel>(Rect.X, Rect.Y + r, w, 1, data, size_t(w) * sizeof(Pixel));
                return;
            }
            // Three bytes a pixel: straight into the bitmap's row.
            uint8_t* to = Writer.At(Rect.X, Rect.Y + r, sizeof(Pixel));
            for (int x = 0; x < w; ++x, data += 3, to += sizeof(Pixel)) {
                const Pixel pixel = Native<Pixel>(Pixels.Compose(data[0], data[1], data[2]));
                std::memcpy(to, &pixel, sizeof pixel);
            }
            return;
        } else if (Filter == PaletteFilter) {
            UnpackIndexes(data);
        } else {
            Gradient(data);
        }
        Writer.Put<Pixel>(Rect.X, Rect.Y + r, w, 1, reinterpret_cast<const uint8_t*>(Out.data()),
                          size_t(w) * sizeof(Pixel));
    }

private:
    void UnpackIndexes(const uint8_t* data) {
        const int w = Rect.Width;
        if (PaletteSize == 2) {
            for (int x = 0; x < w; ++x)
                Out[size_t(x)] = Native<Pixel>(Palette[(data[x >> 3] >> (7 - (x & 7))) & 1]);
            return;
        }
        unsigned wrong = 0;
        for (int x = 0; x < w; ++x) {
            const unsigned index = data[x];
            wrong |= index >= unsigned(PaletteSize) ? 1u : 0u;
            Out[size_t(x)] = Native<Pixel>(Palette[index]); // the palette has 256 entries
        }
        if (wrong)
            RaiseMalformed();
    }

    // Each channel is predicted from the left, upper and upper-left neighbours (clamped to the channel's
    // range); the data is the difference, modulo the range.
    void Gradient(const uint8_t* data) {
        const int w = Rect.Width;
        const size_t bytes = Pixels.WireBytes();
        const unsigned max[3] = {Pixels.Max(0), Pixels.Max(1), Pixels.Max(2)};
        for (int x = 0; x < w; ++x, data += bytes) {
            unsigned diff[3];
            if (Pixels.Packed24()) {
                diff[0] = data[0], diff[1] = data[1], diff[2] = data[2];
            } else {
                Pixels.Split(Pixels.ValueAt(data), diff);
            }
            unsigned value[3];
            for (int c = 0; c < 3; ++c) {
                const size_t at = size_t(x) * 3 + size_t(c);
                const int left = x > 0 ? int(Current[at - 3]) : 0;
                const int upLeft = x > 0 ? int(Previous[at - 3]) : 0;
                const int predicted = std::clamp(left + int(Previous[at]) - upLeft, 0, int(max[c]));
                value[c] = (unsigned(predicted) + diff[c]) & max[c];
                Current[at] = uint16_t(value[c]);
            }
            Out[size_t(x)] = Native<Pixel>(Pixels.Packed24() ? Pixels.Compose(value[0], value[1], value[2])
                                                             : Pixels.MemoryOrder(Pixels.Join(value)));
        }
        Previous.swap(Current);
    }

    const CTightPixels& Pixels;
    CFrameWriter& Writer;
    const RectangleHeader& Rect;
    const uint8_t Filter;
    const uint32_t* Palette;
    const int PaletteSize;
    std::vector<Pixel> Out;
    std::vector<uint16_t> Previous; // channels of the row above (zero above the first row)
    std::vector<uint16_t> Current;
};

} // namespace

uint32_t ReadCompactLength(CByteSource& input, CFrameWriter& writer) {
    uint32_t part = *TakeReleasing(input, writer, 1);
    uint32_t length = part & 0x7F;
    if (part & 0x80) {
        part = *TakeReleasing(input, writer, 1);
        length |= (part & 0x7F) << 7;
        if (part & 0x80)
            length |= uint32_t(*TakeReleasing(input, writer, 1)) << 14;
    }
    return length;
}

CTightDecoder::CTightDecoder() = default;
CTightDecoder::~CTightDecoder() = default;

void CTightDecoder::Decode(CByteSource& input, CFrameBuffer& frame, const RectangleHeader& rect,
                           DecodeSettings& settings) {
    CLockGuard reading(input.ReadLock()); // until the rectangle is done
    CFrameWriter writer(frame);
    const CTightPixels pixels(frame.Format());
    const uint8_t control = *TakeReleasing(input, writer, 1);
    for (size_t i = 0; i < Streams.size(); ++i) {
        if (!(control & (1u << i)))
            continue;
        if (Streams[i])
            Streams[i]->Reset();
    }
    const unsigned type = control >> 4;
    if (type == FillType) {
        const uint32_t pixel = pixels.Read(TakeReleasing(input, writer, pixels.WireBytes()));
        ForPixelType(frame.BytesPerPixel(), [&](auto p) {
            using Pixel = decltype(p);
            writer.Fill<Pixel>(rect.X, rect.Y, rect.Width, rect.Height, Native<Pixel>(pixel));
        });
    } else if (type == JpegType && settings.Reduced) {
        DecodeReducedJpeg(input, writer, rect, pixels, settings);
    } else if (type == JpegType) {
        DecodeJpeg(input, writer, rect, pixels);
    } else if (type < FillType) {
        DecodeBasic(control, input, writer, rect, pixels);
    } else {
        RaiseMalformed(); // 0xA and up: not a Tight type this viewer asked for
    }
}

void CTightDecoder::DecodeJpeg(CByteSource& input, CFrameWriter& writer, const RectangleHeader& rect,
                               const CTightPixels& pixels) {
    const uint32_t length = ReadCompactLength(input, writer);
    const uint8_t* data = TakeReleasing(input, writer, length);
    if (!Jpeg)
        Jpeg = std::make_unique<CTightJpeg>();
    Jpeg->Draw(data, length, rect.X, rect.Y, rect.Width, rect.Height, pixels, writer);
}

// A thumbnail's frame: the image is decompressed at the reduced size (most of the work of a JPEG
// decoder is in what this skips) and blended in, without touching the full-size scratch frame.
void CTightDecoder::DecodeReducedJpeg(CByteSource& input, CFrameWriter& writer, const RectangleHeader& rect,
                                      const CTightPixels& pixels, DecodeSettings& settings) {
    const uint32_t length = ReadCompactLength(input, writer);
    const uint8_t* data = TakeReleasing(input, writer, length);
    if (!Jpeg)
        Jpeg = std::make_unique<CTightJpeg>();
    writer.Release();
    Jpeg->DrawReduced(data, length, settings.ReducedX + rect.X, settings.ReducedY + rect.Y, rect.Width,
                      rect.Height, pixels, *settings.Reduced);
    settings.WroteReduced = true;
}

void CTightDecoder::DecodeBasic(uint8_t control, CByteSource& input, CFrameWriter& writer,
                                const RectangleHeader& rect, const CTightPixels& pixels) {
    const size_t streamId = (control >> 4) & 3;
    const uint8_t filter = (control & ExplicitFilter) ? *TakeReleasing(input, writer, 1) : CopyFilter;
    const size_t w = rect.Width;
    uint32_t palette[256] = {};
    int paletteSize = 0;
    size_t rowBytes = w * pixels.WireBytes();
    if (filter == PaletteFilter) {
        paletteSize = int(*TakeReleasing(input, writer, 1)) + 1;
        const uint8_t* at = TakeReleasing(input, writer, size_t(paletteSize) * pixels.WireBytes());
        for (int i = 0; i < paletteSize; ++i, at += pixels.WireBytes())
            palette[i] = pixels.Read(at);
        rowBytes = paletteSize == 2 ? (w + 7) / 8 : w;
    } else if (filter != CopyFilter && filter != GradientFilter) {
        RaiseMalformed(); // no filter above 2
    }
    const size_t total = rowBytes * rect.Height;

    ForPixelType(pixels.Format().BitsPerPixel / 8, [&](auto p) {
        using Pixel = decltype(p);
        CBasicRows<Pixel> rows(pixels, writer, rect, filter, palette, paletteSize);
        if (total < MinToCompress) {
            uint8_t raw[MinToCompress];
            if (total > 0) // an empty rectangle has no data
                std::memcpy(raw, TakeReleasing(input, writer, total), total);
            for (int r = 0; r < rect.Height; ++r)
                rows.Row(r, raw + size_t(r) * rowBytes);
            return;
        }
        const uint32_t length = ReadCompactLength(input, writer);
        auto& stream = Streams[streamId];
        if (!stream)
            stream = std::make_unique<CTightStream>();
        stream->BeginRectangle(length);
        // Rows are inflated in bands: zlib's fast loop stops short of the end of its output, so one
        // call per narrow row would run the slow one for the end of every row.
        const int band = int(std::max<size_t>(1, RowBand / rowBytes));
        Rows.resize(rowBytes * size_t(std::min<int>(band, rect.Height)));
        for (int r = 0; r < rect.Height; r += band) {
            const int count = std::min(band, rect.Height - r);
            stream->Read(Rows.data(), rowBytes * size_t(count), input, writer);
            for (int k = 0; k < count; ++k)
                rows.Row(r + k, Rows.data() + size_t(k) * rowBytes);
        }
        stream->EndRectangle(input, writer);
    });
}

} // namespace dova
