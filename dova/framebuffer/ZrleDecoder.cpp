#include "ZrleDecoder.h"

#include "FrameWriter.h"
#include "PixelFormat.h"
#include "ZrleInflater.h"

#include <bit>
#include <cstring>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace dova {

namespace {
using zrle::TileSize;

namespace subencodings {
constexpr uint8_t Raw = 0;
constexpr uint8_t Solid = 1;
constexpr uint8_t LargestPackedPalette = 16;
constexpr uint8_t PlainRle = 128;
constexpr uint8_t PaletteRle = 130; // up to 255: palette of (subencoding - 128) entries
} // namespace subencodings

// The most a run (a pixel of up to 4 bytes, then its length bytes) can take: a length is cut off by
// the tile's end after 17 bytes. With this many bytes ready a run is parsed without checks per byte.
constexpr size_t LongestRun = 4 + 17 + 1;
static_assert(LongestRun <= CZrleInflater::ReadSlack);

// Pixels as they travel: whole, or compact (three bytes placed at Offset of the four in memory).
// A compact pixel is loaded as a word with the byte after it, which is always there: the inflater's
// slack follows its last byte.
template <typename Pixel, int Offset> struct WirePixel {
    static constexpr size_t Bytes = Offset < 0 ? sizeof(Pixel) : 3;
    static Pixel Read(const uint8_t* at) {
        if constexpr (Offset < 0) {
            return LoadPixel<Pixel>(at);
        } else if constexpr (std::endian::native == std::endian::little) {
            return Pixel((LoadPixel<uint32_t>(at) & 0x00FFFFFFu) << (8 * Offset));
        } else {
            return Pixel((LoadPixel<uint32_t>(at) & 0xFFFFFF00u) >> (8 * Offset));
        }
    }
};

// The pixel repeated over 16 bytes, for run fills.
#if defined(__SSE2__)
using RunPattern = __m128i;
template <typename Pixel> RunPattern Repeated(Pixel pixel) {
    if constexpr (sizeof(Pixel) == 1) // spread by a multiplication: SSE2's byte broadcast takes more steps
        return _mm_set1_epi32(int(uint32_t(pixel) * 0x01010101u));
    else if constexpr (sizeof(Pixel) == 2)
        return _mm_set1_epi16(short(pixel));
    else
        return _mm_set1_epi32(int(pixel));
}
inline void Store16(uint8_t* to, RunPattern pattern) {
    _mm_storeu_si128(reinterpret_cast<__m128i*>(to), pattern);
}
#else
struct RunPattern {
    uint64_t Word;
};
template <typename Pixel> RunPattern Repeated(Pixel pixel) {
    constexpr uint64_t Lanes = sizeof(Pixel) == 1   ? 0x0101010101010101u
                               : sizeof(Pixel) == 2 ? 0x0001000100010001u
                                                    : 0x0000000100000001u;
    return RunPattern{uint64_t(pixel) * Lanes};
}
inline void Store16(uint8_t* to, RunPattern pattern) {
    std::memcpy(to, &pattern.Word, 8);
    std::memcpy(to + 8, &pattern.Word, 8);
}
#endif

template <size_t Bytes> inline void CopyRow(uint8_t* to, const uint8_t* from) {
    static_assert(Bytes % 16 == 0);
    for (size_t i = 0; i < Bytes; i += 16) {
#if defined(__SSE2__)
        _mm_storeu_si128(reinterpret_cast<__m128i*>(to + i),
                         _mm_loadu_si128(reinterpret_cast<const __m128i*>(from + i)));
#else
        std::memcpy(to + i, from + i, 16);
#endif
    }
}

// Fills a run 64 bytes at a time, so that the runs of most screens take one round and the loop's end
// is rarely mispredicted; the last stores may reach up to 63 bytes past the run, into pixels a later
// run or the tile buffer's slack takes.
constexpr size_t RunFillStep = 64;
inline void FillRun(void* at, size_t bytes, RunPattern pattern) {
    uint8_t* to = static_cast<uint8_t*>(at);
    uint8_t* const end = to + bytes;
    do {
        Store16(to, pattern);
        Store16(to + 16, pattern);
        Store16(to + 32, pattern);
        Store16(to + 48, pattern);
        to += RunFillStep;
    } while (to < end);
}

template <typename Pixel, int Offset> class CTileDecoder {
    using Wire = WirePixel<Pixel, Offset>;

public:
    CTileDecoder(CZrleInflater& stream, CByteSource& input, CFrameBuffer& frame)
        : Stream(stream), Input(input), Writer(frame) {}

    void Decode(const RectangleHeader& rect) {
        const int right = rect.X + rect.Width, bottom = rect.Y + rect.Height;
        for (int ty = rect.Y; ty < bottom; ty += TileSize) {
            const int th = std::min(TileSize, bottom - ty);
            for (int tx = rect.X; tx < right; tx += TileSize)
                DecodeTile(tx, ty, std::min(TileSize, right - tx), th);
        }
        Stream.EndRectangle(Input, Writer);
    }

private:
    const uint8_t* Need(size_t n) { return Stream.Need(n, Input, Writer); }

    void ReadPalette(int size) {
        const uint8_t* at = Need(size_t(size) * Wire::Bytes);
        for (int i = 0; i < size; ++i, at += Wire::Bytes)
            Palette[i] = Wire::Read(at);
        PaletteSize = size;
    }

    void DecodeTile(int tx, int ty, int tw, int th) {
        const uint8_t kind = *Need(1);
        const int count = tw * th;
        if (kind == subencodings::Raw) {
            const uint8_t* at = Need(size_t(count) * Wire::Bytes);
            if constexpr (Offset < 0) {
                PutTile(at, tx, ty, tw, th);
                return;
            }
            for (int i = 0; i < count; ++i, at += Wire::Bytes)
                Tile[i] = Wire::Read(at);
        } else if (kind == subencodings::Solid) {
            Writer.Fill<Pixel>(tx, ty, tw, th, Wire::Read(Need(Wire::Bytes)));
            return;
        } else if (kind <= subencodings::LargestPackedPalette) {
            ReadPalette(kind);
            if (kind == 2)
                UnpackIndexes<1>(tw, th);
            else if (kind <= 4)
                UnpackIndexes<2>(tw, th);
            else
                UnpackIndexes<4>(tw, th);
        } else if (kind == subencodings::PlainRle) {
            DecodePlainRle(count);
        } else if (kind >= subencodings::PaletteRle) {
            ReadPalette(kind - 128);
            DecodePaletteRle(count);
        } else {
            RaiseMalformed(); // 17 to 127 and 129 are not used
        }
        PutTile(reinterpret_cast<const uint8_t*>(Tile), tx, ty, tw, th);
    }

    // Rows of tw packed pixels into the bitmap; rows of a whole tile width are copied with a fixed size,
    // as plain moves rather than a string instruction or a library call for each row.
    void PutTile(const uint8_t* from, int tx, int ty, int tw, int th) {
        uint8_t* to = Writer.At(tx, ty, sizeof(Pixel));
        const size_t stride = Writer.RowStride();
        const size_t rowBytes = size_t(tw) * sizeof(Pixel);
        if (tw == TileSize) {
            for (int r = 0; r < th; ++r, to += stride, from += rowBytes)
                CopyRow<TileSize * sizeof(Pixel)>(to, from);
        } else {
            for (int r = 0; r < th; ++r, to += stride, from += rowBytes)
                std::memcpy(to, from, rowBytes);
        }
    }

    // Runs are parsed straight from the inflated bytes. Only when fewer than LongestRun bytes are left
    // in the rectangle can a run read past them (into the slack); it is then refused before it is used.
    void DecodePlainRle(int count) {
        const uint8_t* at = Stream.Cursor();
        const uint8_t* end = Stream.Limit();
        for (int i = 0; i < count;) {
            if (size_t(end - at) < LongestRun)
                Top(at, end);
            const Pixel pixel = Wire::Read(at);
            at += Wire::Bytes;
            const int run = RunLength(at, count - i);
            if (at > end)
                RaiseMalformed(); // the tiles want more than the rectangle holds
            FillRun(Tile + i, size_t(run) * sizeof(Pixel), Repeated(pixel));
            i += run;
        }
        Stream.Advance(at);
    }

    void DecodePaletteRle(int count) {
        for (int i = 0; i < PaletteSize; ++i)
            Patterns[i] = Repeated(Palette[i]);
        const uint8_t* at = Stream.Cursor();
        const uint8_t* end = Stream.Limit();
        for (int i = 0; i < count;) {
            if (size_t(end - at) < LongestRun)
                Top(at, end);
            const unsigned code = *at++;
            const unsigned index = code & 0x7F;
            if (int(index) >= PaletteSize)
                RaiseMalformed();
            if (code & 0x80) {
                const int run = RunLength(at, count - i);
                if (at > end)
                    RaiseMalformed();
                FillRun(Tile + i, size_t(run) * sizeof(Pixel), Patterns[index]);
                i += run;
            } else {
                if (at > end)
                    RaiseMalformed();
                Tile[i++] = Palette[index];
            }
        }
        Stream.Advance(at);
    }

    // Makes at least LongestRun bytes ready at at..end, or all the rectangle has left.
    void Top(const uint8_t*& at, const uint8_t*& end) {
        Stream.Advance(at);
        Stream.Reserve(LongestRun, Input, Writer);
        at = Stream.Cursor();
        end = Stream.Limit();
    }

    // 1 + the sum of bytes up to and including the first that is not 255; never past the tile.
    static int RunLength(const uint8_t*& at, int room) {
        unsigned part = *at++;
        int run = 1 + int(part);
        while (part == 255) { // lengths over 255 are rare
            if (run > room)
                RaiseMalformed();
            part = *at++;
            run += int(part);
        }
        if (run > room)
            RaiseMalformed();
        return run;
    }

    // Bits (1, 2 or 4) an index, rows padded to whole bytes, most significant bits first. Indexes are
    // below 16, so a wrong one reads a stale palette entry; it is refused once the tile is unpacked.
    template <int Bits> void UnpackIndexes(int tw, int th) {
        constexpr int PerByte = 8 / Bits;
        constexpr unsigned Mask = (1u << Bits) - 1;
        const int rowBytes = (tw * Bits + 7) / 8;
        const uint8_t* at = Need(size_t(rowBytes) * size_t(th));
        const int last = PaletteSize - 1;
        int wrong = 0; // negative once an index is past the palette
        Pixel* out = Tile;
        for (int y = 0; y < th; ++y, out += tw) {
            const uint8_t* row = at + size_t(y) * size_t(rowBytes);
            int x = 0;
            for (; x + PerByte <= tw; x += PerByte) {
                const unsigned byte = *row++;
                for (int k = 0; k < PerByte; ++k) {
                    const unsigned index = (byte >> (8 - Bits * (k + 1))) & Mask;
                    wrong |= last - int(index);
                    out[x + k] = Palette[index];
                }
            }
            for (int k = 0; x < tw; ++x, ++k) { // a part of the last byte
                const unsigned index = (unsigned(*row) >> (8 - Bits * (k + 1))) & Mask;
                wrong |= last - int(index);
                out[x] = Palette[index];
            }
        }
        if (wrong < 0)
            RaiseMalformed();
    }

    CZrleInflater& Stream;
    CByteSource& Input;
    CFrameWriter Writer;
    Pixel Palette[127] = {};
    int PaletteSize = 0;
    RunPattern Patterns[127];
    // Room for the overreach of the last run fill.
    Pixel Tile[TileSize * TileSize + RunFillStep / sizeof(Pixel)];
};

template <typename Pixel, int Offset>
void DecodeTiles(CZrleInflater& stream, CByteSource& input, CFrameBuffer& frame,
                 const RectangleHeader& rect) {
    CTileDecoder<Pixel, Offset> tiles(stream, input, frame);
    tiles.Decode(rect);
}

// The most compressed bytes a rectangle can take. Its tile data is largest with palette RLE of 127
// entries in runs of one pixel each written as a run, or plain RLE likewise (a pixel and a length
// byte each); zlib's bound for that much, with room for a deflater that never stores blocks (fixed
// codes: 9 bits a byte at worst) and for the sync flush that ends the rectangle.
uint64_t LargestCompressedLength(const RectangleHeader& rect, int bytesPerPixel) {
    const uint64_t pixel = uint64_t(bytesPerPixel);
    const uint64_t tilesAcross = (uint64_t(rect.Width) + TileSize - 1) / TileSize;
    const uint64_t tilesDown = (uint64_t(rect.Height) + TileSize - 1) / TileSize;
    const uint64_t pixels = uint64_t(rect.Width) * rect.Height;
    const uint64_t tiles = tilesAcross * tilesDown * (1 + 127 * pixel) + pixels * (pixel + 1);
    const uint64_t zlibBound = tiles + (tiles >> 12) + (tiles >> 14) + (tiles >> 25) + 13;
    return zlibBound + tiles / 8 + 64;
}

} // namespace

int CompactPixelOffset(const PixelFormat& f) {
    // Servers (Xvnc, x11vnc) judge by where the colour bits lie, not by the depth field: the
    // viewer's own 32-bit format says depth 32 and still gets three-byte pixels.
    if (f.BitsPerPixel != 32 || !f.TrueColour)
        return -1;
    const uint32_t bits = (uint32_t(f.RedMax) << f.RedShift) | (uint32_t(f.GreenMax) << f.GreenShift) |
                          (uint32_t(f.BlueMax) << f.BlueShift);
    const bool low = (bits & 0xFF000000u) == 0;
    const bool high = (bits & 0x000000FFu) == 0;
    if (!low && !high)
        return -1;
    // In memory the pixel's bytes are as sent: least significant first unless big-endian.
    return (low != bool(f.BigEndian)) ? 0 : 1;
}

CZrleDecoder::CZrleDecoder() : Stream(std::make_unique<CZrleInflater>()) {}
CZrleDecoder::~CZrleDecoder() = default;

void CZrleDecoder::Decode(CByteSource& input, CFrameBuffer& frame, const RectangleHeader& rect,
                          DecodeSettings&) {
    CLockGuard reading(input.ReadLock()); // until the last tile is done
    const uint32_t length = input.ReadU32();
    // More than any tiles of this rectangle could need: waiting for it would wait for ever.
    if (length > LargestCompressedLength(rect, frame.BytesPerPixel()))
        RaiseMalformed();
    Stream->BeginRectangle(length);
    switch (frame.BytesPerPixel() == 4 ? CompactPixelOffset(frame.Format()) : -1) {
    case 0:
        return DecodeTiles<uint32_t, 0>(*Stream, input, frame, rect);
    case 1:
        return DecodeTiles<uint32_t, 1>(*Stream, input, frame, rect);
    default:
        ForPixelType(frame.BytesPerPixel(),
                     [&](auto pixel) { DecodeTiles<decltype(pixel), -1>(*Stream, input, frame, rect); });
    }
}

} // namespace dova
