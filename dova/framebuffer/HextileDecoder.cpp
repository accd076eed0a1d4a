#include "HextileDecoder.h"

#include "FrameWriter.h"

namespace dova {

namespace {

using namespace hextile;

template <typename Pixel> class CTileReader {
public:
    CTileReader(CByteSource& input, CFrameBuffer& frame, DecodeSettings& settings)
        : Settings(settings), Input(input), Frame(frame), Writer(frame) {}

    void Decode(const RectangleHeader& rect) {
        CLockGuard reading(Input.ReadLock()); // until the last tile is done
        const int right = rect.X + rect.Width;
        const int bottom = rect.Y + rect.Height;
        for (int ty = rect.Y; ty < bottom; ty += TileSize) {
            const int th = std::min(TileSize, bottom - ty);
            for (int tx = rect.X; tx < right; tx += TileSize)
                DecodeTile(tx, ty, std::min(TileSize, right - tx), th);
        }
    }

private:
    void DecodeTile(int tx, int ty, int tw, int th) {
        const uint8_t mask = *TakeReleasing(Input, Writer, 1);
        if (mask & Raw) {
            const size_t rowBytes = size_t(tw) * sizeof(Pixel);
            Writer.Put<Pixel>(tx, ty, tw, th, TakeReleasing(Input, Writer, rowBytes * size_t(th)), rowBytes);
            RepaintIfProgressive(tx, ty, tw, th);
            return;
        }
        if (mask & BackgroundSpecified)
            Background = LoadPixel<Pixel>(TakeReleasing(Input, Writer, sizeof(Pixel)));
        if (mask & ForegroundSpecified)
            Foreground = LoadPixel<Pixel>(TakeReleasing(Input, Writer, sizeof(Pixel)));
        if (!(mask & AnySubrects)) {
            Writer.Fill<Pixel>(tx, ty, tw, th, Background);
            RepaintIfProgressive(tx, ty, tw, th);
            return;
        }
        // Subrectangles are drawn into a tile of our own (fixed stride, in cache) and the tile is
        // copied once: small fills cost a few stores each instead of a framebuffer write each.
        const SixteenPixels<Pixel> background(Background);
        for (int r = 0; r < th; ++r)
            background.StoreTo(Tile + r * TileSize); // whole rows: the copy below takes only tw
        const unsigned count = *TakeReleasing(Input, Writer, 1);
        if (mask & SubrectsColoured) {
            constexpr size_t RecordSize = sizeof(Pixel) + 2;
            const uint8_t* record = TakeReleasing(Input, Writer, count * RecordSize);
            for (unsigned i = 0; i < count; ++i, record += RecordSize) {
                Foreground = LoadPixel<Pixel>(record);
                FillSubrect(SixteenPixels<Pixel>(Foreground), tw, th, record[sizeof(Pixel)],
                            record[sizeof(Pixel) + 1]);
            }
        } else {
            const uint8_t* record = TakeReleasing(Input, Writer, count * 2);
            const SixteenPixels<Pixel> foreground(Foreground);
            for (unsigned i = 0; i < count; ++i, record += 2)
                FillSubrect(foreground, tw, th, record[0], record[1]);
        }
        Writer.Put<Pixel>(tx, ty, tw, th, reinterpret_cast<const uint8_t*>(Tile), TileSize * sizeof(Pixel));
        // A change of ProgressiveDrawing takes effect here, in the middle of an update.
        Settings.Refresh();
        RepaintIfProgressive(tx, ty, tw, th);
    }

    // Position byte: x in the high, y in the low 4 bits; size byte: width - 1 and height - 1.
    [[gnu::always_inline]] void FillSubrect(const SixteenPixels<Pixel>& row, int tw, int th, uint8_t position,
                                            uint8_t size) {
        const int x = position >> 4;
        const int y = position & 15;
        if (x >= tw || y >= th)
            return;
        const int w = std::min((size >> 4) + 1, tw - x);
        const int h = std::min((size & 15) + 1, th - y);
        Pixel* at = Tile + y * TileSize + x;
        for (int r = 0; r < h; ++r, at += TileSize)
            row.StoreFirst(at, w);
    }

    void RepaintIfProgressive(int tx, int ty, int tw, int th) {
        if (Settings.Progressive)
            Frame.Repaint(tx, ty, tw, th);
    }

    DecodeSettings& Settings;
    CByteSource& Input;
    CFrameBuffer& Frame;
    CFrameWriter Writer;
    Pixel Tile[TileSize * TileSize];
    Pixel Background = 0;
    Pixel Foreground = 0;
};

} // namespace

void CHextileDecoder::Decode(CByteSource& input, CFrameBuffer& frame, const RectangleHeader& rect,
                             DecodeSettings& settings) {
    ForPixelType(frame.BytesPerPixel(), [&](auto pixel) {
        CTileReader<decltype(pixel)> reader(input, frame, settings);
        reader.Decode(rect);
    });
}

} // namespace dova
