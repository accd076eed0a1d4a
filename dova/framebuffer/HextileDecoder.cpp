#include "HextileDecoder.h"

#include "FrameWriter.h"
#include "HextileTilePainter.h"

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
            int tx = rect.X;
            if (th == TileSize) // whole tiles: sizes known at compile time, no clip arithmetic left
                for (; tx + TileSize <= right; tx += TileSize)
                    DecodeTile<true>(tx, ty, TileSize, TileSize);
            for (; tx < right; tx += TileSize)
                DecodeTile<false>(tx, ty, std::min(TileSize, right - tx), th);
        }
    }

private:
    template <bool Whole> void DecodeTile(int tx, int ty, int tw, int th) {
        if constexpr (Whole)
            tw = th = TileSize;
        const uint8_t mask = *TakeReleasing(Input, Writer, 1);
        if (mask & Raw) {
            const size_t rowBytes = size_t(tw) * sizeof(Pixel);
            Writer.Put<Pixel>(tx, ty, tw, th, TakeReleasing(Input, Writer, rowBytes * size_t(th)), rowBytes);
            RepaintIfProgressive(tx, ty, tw, th);
            return;
        }
        // The colours and the count in one read; they are kept before the next read moves the window.
        const size_t headBytes = ((mask & BackgroundSpecified) ? sizeof(Pixel) : 0) +
                                 ((mask & ForegroundSpecified) ? sizeof(Pixel) : 0) +
                                 ((mask & AnySubrects) ? 1 : 0);
        unsigned count = 0;
        if (headBytes) {
            const uint8_t* head = TakeReleasing(Input, Writer, headBytes);
            if (mask & BackgroundSpecified) {
                Background = LoadPixel<Pixel>(head);
                head += sizeof(Pixel);
            }
            if (mask & ForegroundSpecified) {
                Foreground = LoadPixel<Pixel>(head);
                head += sizeof(Pixel);
            }
            if (mask & AnySubrects)
                count = *head;
        }
        if (!(mask & AnySubrects)) {
            Writer.Fill<Pixel>(tx, ty, tw, th, Background);
            RepaintIfProgressive(tx, ty, tw, th);
            return;
        }
        const size_t recordSize = (mask & SubrectsColoured) ? sizeof(Pixel) + 2 : 2;
        const uint8_t* record = TakeReleasing(Input, Writer, count * recordSize);
        uint8_t* const tile = Writer.At(tx, ty, sizeof(Pixel)); // takes the bitmap: the stride is known after
        PaintSubrectTile<Pixel>(tile, Writer.RowStride(), tw, th, Background, Foreground,
                                SubrectList{record, count, bool(mask & SubrectsColoured)});
        // A change of ProgressiveDrawing takes effect here, in the middle of an update.
        Settings.Refresh();
        RepaintIfProgressive(tx, ty, tw, th);
    }

    void RepaintIfProgressive(int tx, int ty, int tw, int th) {
        if (Settings.Progressive)
            Frame.Repaint(tx, ty, tw, th);
    }

    DecodeSettings& Settings;
    CByteSource& Input;
    CFrameBuffer& Frame;
    CFrameWriter Writer;
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
