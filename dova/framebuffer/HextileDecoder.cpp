#include "HextileDecoder.h"

#include "CpuVectors.h"
#include "FrameWriter.h"
#include "HextileTilePainter.h"

#include <cstring>

namespace dova {

namespace {

using namespace hextile;

template <typename Pixel> class CTileReader {
public:
    CTileReader(CByteSource& input, CFrameBuffer& frame, DecodeSettings& settings)
        : Settings(settings), Input(input), Frame(frame), Writer(frame) {}

    [[gnu::always_inline]] void Decode(const RectangleHeader& rect) {
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
    template <bool Whole> [[gnu::always_inline]] void DecodeTile(int tx, int ty, int tw, int th) {
        if constexpr (Whole)
            tw = th = TileSize;
        const uint8_t mask = *TakeReleasing(Input, Writer, 1);
        if (mask & Raw) {
            const size_t rowBytes = size_t(tw) * sizeof(Pixel);
            const uint8_t* pixels = TakeReleasing(Input, Writer, rowBytes * size_t(th));
            if constexpr (Whole)
                PutWhole(tx, ty, pixels);
            else
                Writer.Put<Pixel>(tx, ty, tw, th, pixels, rowBytes);
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
            if constexpr (Whole)
                FillWhole(tx, ty);
            else
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

    // A whole tile's row is one vector: a single register where the code is built for wide ones.
    typedef Pixel TileRow __attribute__((vector_size(TileSize * sizeof(Pixel))));

    [[gnu::always_inline]] void FillWhole(int tx, int ty) {
        uint8_t* origin = Writer.At(tx, ty, sizeof(Pixel));
        const size_t stride = Writer.RowStride();
        const TileRow row = TileRow{} + Background;
        for (int r = 0; r < TileSize; ++r)
            std::memcpy(origin + size_t(r) * stride, &row, sizeof row);
    }

    [[gnu::always_inline]] void PutWhole(int tx, int ty, const uint8_t* pixels) {
        uint8_t* origin = Writer.At(tx, ty, sizeof(Pixel));
        const size_t stride = Writer.RowStride();
        for (int r = 0; r < TileSize; ++r) {
            TileRow row;
            std::memcpy(&row, pixels + r * sizeof row, sizeof row);
            std::memcpy(origin + size_t(r) * stride, &row, sizeof row);
        }
    }

    [[gnu::always_inline]] void RepaintIfProgressive(int tx, int ty, int tw, int th) {
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

template <typename Pixel>
[[gnu::always_inline]] inline void DecodeTiles(CByteSource& input, CFrameBuffer& frame,
                                               const RectangleHeader& rect, DecodeSettings& settings) {
    CTileReader<Pixel> reader(input, frame, settings);
    reader.Decode(rect);
}

// Whole-tile fills and copies are most of the stores at 32 bits per pixel: built again for wider
// registers, the tile loop writes a row with one or two stores instead of four.
#ifdef LATIS_X86_VECTORS
__attribute__((target("avx2"))) void DecodeTilesAvx2(CByteSource& input, CFrameBuffer& frame,
                                                     const RectangleHeader& rect, DecodeSettings& settings) {
    DecodeTiles<uint32_t>(input, frame, rect, settings);
}

__attribute__((target("avx512f"))) void DecodeTilesAvx512(CByteSource& input, CFrameBuffer& frame,
                                                          const RectangleHeader& rect,
                                                          DecodeSettings& settings) {
    DecodeTiles<uint32_t>(input, frame, rect, settings);
}
#endif

} // namespace

void CHextileDecoder::Decode(CByteSource& input, CFrameBuffer& frame, const RectangleHeader& rect,
                             DecodeSettings& settings) {
    ForPixelType(frame.BytesPerPixel(), [&](auto pixel) {
        using Pixel = decltype(pixel);
#ifdef LATIS_X86_VECTORS
        if constexpr (sizeof(Pixel) == 4) {
            if (cpu::HasAvx512())
                return DecodeTilesAvx512(input, frame, rect, settings);
            if (cpu::HasAvx2())
                return DecodeTilesAvx2(input, frame, rect, settings);
        }
#endif
        DecodeTiles<Pixel>(input, frame, rect, settings);
    });
}

} // namespace dova
