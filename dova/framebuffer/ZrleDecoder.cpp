#include "ZrleDecoder.h"

#include "../base/WireOrder.h"
#include "FrameWriter.h"
#include "PixelFormat.h"

#include <cstring>
#include <zlib.h>

namespace dova {

namespace {
using zrle::TileSize;
// Compressed bytes taken from the input at a time.
constexpr size_t CompressedChunk = 64 * 1024;
// Room for the largest tile: raw at 4 bytes a pixel, or a palette RLE tile's palette and indexes.
constexpr size_t InflatedCapacity = 4 * TileSize * TileSize + 1024;

namespace subencodings {
constexpr uint8_t Raw = 0;
constexpr uint8_t Solid = 1;
constexpr uint8_t LargestPackedPalette = 16;
constexpr uint8_t PlainRle = 128;
constexpr uint8_t PaletteRle = 130; // up to 255: palette of (subencoding - 128) entries
} // namespace subencodings
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

// The connection's zlib stream, fed from the input as the tiles ask for bytes.
class CZrleDecoder::CInflater {
public:
    CInflater() {
        if (::inflateInit(&Z) != Z_OK)
            throw CErrorException(0, "Out of memory.");
    }
    ~CInflater() { ::inflateEnd(&Z); }

    void BeginRectangle(uint32_t compressedLength) {
        Left = compressedLength;
        At = End = Buffer;
    }

    // The next n inflated bytes (n <= InflatedCapacity); valid until the next call.
    const uint8_t* Need(size_t n, CByteSource& input, CFrameWriter& writer) {
        if (size_t(End - At) < n)
            Refill(n, input, writer);
        const uint8_t* at = At;
        At += n;
        return at;
    }

    // After the last tile: the rest of the rectangle's compressed bytes (a flush marker) must
    // inflate to nothing.
    void EndRectangle(CByteSource& input, CFrameWriter& writer) {
        if (At != End)
            RaiseMalformed();
        while (Left > 0 || Z.avail_in > 0) {
            At = End = Buffer;
            Inflate(input, writer);
            if (End != Buffer)
                RaiseMalformed();
        }
    }

private:
    void Refill(size_t n, CByteSource& input, CFrameWriter& writer) {
        const size_t kept = size_t(End - At);
        std::memmove(Buffer, At, kept);
        At = Buffer;
        End = Buffer + kept;
        while (size_t(End - At) < n)
            Inflate(input, writer);
    }

    // One inflate call into the free part of the buffer, with more input when it has none.
    void Inflate(CByteSource& input, CFrameWriter& writer) {
        if (Z.avail_in == 0) {
            if (Left == 0)
                RaiseMalformed(); // the tiles want more than the rectangle holds
            const size_t take = std::min<size_t>(Left, CompressedChunk);
            Z.next_in = const_cast<Bytef*>(TakeReleasing(input, writer, take));
            Z.avail_in = uInt(take);
            Left -= uint32_t(take);
        }
        Z.next_out = End;
        Z.avail_out = uInt(Buffer + sizeof Buffer - End);
        const int result = ::inflate(&Z, Z_SYNC_FLUSH);
        if (result != Z_OK && result != Z_BUF_ERROR)
            RaiseMalformed(); // a corrupt stream, or one that ended: it runs for the whole connection
        End = Buffer + sizeof Buffer - Z.avail_out;
    }

    z_stream Z{};
    uint32_t Left = 0;
    uint8_t Buffer[InflatedCapacity];
    uint8_t* At = Buffer;
    uint8_t* End = Buffer;
};

namespace {

template <typename Pixel> class CTileDecoder {
public:
    CTileDecoder(CZrleDecoder::CInflater& stream, CByteSource& input, CFrameBuffer& frame)
        : Stream(stream), Input(input), Writer(frame), CompactOffset(CompactPixelOffset(frame.Format())),
          PixelBytes(CompactOffset >= 0 ? 3 : sizeof(Pixel)) {}

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

    Pixel PixelAt(const uint8_t* at) const {
        if (CompactOffset < 0)
            return LoadPixel<Pixel>(at);
        uint8_t bytes[4] = {0, 0, 0, 0};
        std::memcpy(bytes + CompactOffset, at, 3);
        return LoadPixel<Pixel>(bytes);
    }

    void ReadPalette(int size) {
        const uint8_t* at = Need(size_t(size) * PixelBytes);
        for (int i = 0; i < size; ++i, at += PixelBytes)
            Palette[i] = PixelAt(at);
        PaletteSize = size;
    }

    void DecodeTile(int tx, int ty, int tw, int th) {
        const uint8_t kind = *Need(1);
        const int count = tw * th;
        if (kind == subencodings::Raw) {
            const uint8_t* at = Need(size_t(count) * PixelBytes);
            if (CompactOffset < 0) {
                Writer.Put<Pixel>(tx, ty, tw, th, at, size_t(tw) * sizeof(Pixel));
                return;
            }
            for (int i = 0; i < count; ++i, at += 3)
                Tile[i] = PixelAt(at);
        } else if (kind == subencodings::Solid) {
            Writer.Fill<Pixel>(tx, ty, tw, th, PixelAt(Need(PixelBytes)));
            return;
        } else if (kind <= subencodings::LargestPackedPalette) {
            ReadPalette(kind);
            UnpackIndexes(tw, th);
        } else if (kind == subencodings::PlainRle) {
            for (int i = 0; i < count;) {
                const Pixel pixel = PixelAt(Need(PixelBytes));
                const int run = RunLength(count - i);
                std::fill_n(Tile + i, run, pixel);
                i += run;
            }
        } else if (kind >= subencodings::PaletteRle) {
            ReadPalette(kind - 128);
            for (int i = 0; i < count;) {
                const uint8_t index = *Need(1);
                if ((index & 0x7F) >= PaletteSize)
                    RaiseMalformed();
                const int run = (index & 0x80) ? RunLength(count - i) : 1;
                std::fill_n(Tile + i, run, Palette[index & 0x7F]);
                i += run;
            }
        } else {
            RaiseMalformed(); // 17 to 127 and 129 are not used
        }
        Writer.Put<Pixel>(tx, ty, tw, th, reinterpret_cast<const uint8_t*>(Tile), size_t(tw) * sizeof(Pixel));
    }

    // 1, 2 or 4 bits an index, rows padded to whole bytes, most significant bits first.
    void UnpackIndexes(int tw, int th) {
        const int bits = PaletteSize <= 2 ? 1 : PaletteSize <= 4 ? 2 : 4;
        const int rowBytes = (tw * bits + 7) / 8;
        const uint8_t* at = Need(size_t(rowBytes) * size_t(th));
        const unsigned mask = (1u << bits) - 1;
        for (int y = 0; y < th; ++y, at += rowBytes) {
            for (int x = 0; x < tw; ++x) {
                const int bit = x * bits;
                const unsigned index = (at[bit / 8] >> (8 - bits - bit % 8)) & mask;
                if (int(index) >= PaletteSize)
                    RaiseMalformed();
                Tile[y * tw + x] = Palette[index];
            }
        }
    }

    // 1 + the sum of bytes up to and including the first that is not 255; never past the tile.
    int RunLength(int room) {
        int run = 1;
        uint8_t part;
        do {
            part = *Need(1);
            run += part;
            if (run > room)
                RaiseMalformed();
        } while (part == 255);
        return run;
    }

    CZrleDecoder::CInflater& Stream;
    CByteSource& Input;
    CFrameWriter Writer;
    const int CompactOffset;
    const size_t PixelBytes;
    Pixel Palette[127] = {};
    int PaletteSize = 0;
    Pixel Tile[TileSize * TileSize];
};

} // namespace

CZrleDecoder::CZrleDecoder() : Stream(std::make_unique<CInflater>()) {}
CZrleDecoder::~CZrleDecoder() = default;

void CZrleDecoder::Decode(CByteSource& input, CFrameBuffer& frame, const RectangleHeader& rect,
                          DecodeSettings&) {
    CLockGuard reading(input.ReadLock()); // until the last tile is done
    Stream->BeginRectangle(input.ReadU32());
    ForPixelType(frame.BytesPerPixel(), [&](auto pixel) {
        CTileDecoder<decltype(pixel)> tiles(*Stream, input, frame);
        tiles.Decode(rect);
    });
}

} // namespace dova
