#include "ZrleEncoder.h"

#include "ServerStream.h"

#include <algorithm>
#include <array>
#include <cstdlib>
#include <stdexcept>

namespace latis_bench {

using latis_test::ServerStream;

namespace {

constexpr int TileSize = 64;
constexpr int MaxPaletteRle = 127;
constexpr int MaxPacked = 16;
constexpr uint32_t NoColour = 0xFFFFFFFF; // never a pixel value: pixels have at most 24 bits

// Colours of one tile, in first-seen order; gives up past MaxPaletteRle colours.
class CTilePalette {
public:
    void Clear() {
        Slots.fill(Entry{NoColour, 0});
        Colours.clear();
    }
    // Index of colour, added when new; -1 once the tile has too many colours.
    int Index(uint32_t colour) {
        size_t slot = (colour * 2654435761u) >> 24;
        for (;; slot = (slot + 1) & (Slots.size() - 1)) {
            if (Slots[slot].Colour == colour)
                return Slots[slot].Index;
            if (Slots[slot].Colour == NoColour)
                break;
        }
        if (int(Colours.size()) >= MaxPaletteRle)
            return -1;
        Slots[slot] = Entry{colour, uint8_t(Colours.size())};
        Colours.push_back(colour);
        return int(Colours.size()) - 1;
    }
    std::vector<uint32_t> Colours;

private:
    struct Entry {
        uint32_t Colour;
        uint8_t Index;
    };
    std::array<Entry, 256> Slots{};
};

int RunLengthBytes(int length) {
    return (length - 1) / 255 + 1;
}

} // namespace

CZrleEncoder::CZrleEncoder(int bitsPerPixel, int level)
    : PixelBytes(bitsPerPixel == 32 ? 3 : bitsPerPixel / 8) {
    if (deflateInit(&Stream, level) != Z_OK)
        throw std::runtime_error("deflateInit");
}

CZrleEncoder::~CZrleEncoder() {
    deflateEnd(&Stream);
}

void CZrleEncoder::CPixel(uint32_t value) {
    for (int i = 0; i < PixelBytes; ++i)
        Plain.push_back(uint8_t(value >> (8 * i)));
}

void CZrleEncoder::RunLength(int length) {
    int rest = length - 1;
    for (; rest >= 255; rest -= 255)
        Plain.push_back(255);
    Plain.push_back(uint8_t(rest));
}

void CZrleEncoder::Tile(const uint32_t* pixels, int stride, int w, int h) {
    CTilePalette palette;
    palette.Clear();
    bool paletteFits = true;
    size_t plainRleBytes = 0, paletteRleBytes = 0;
    uint32_t runColour = pixels[0];
    int runLength = 0;
    auto endRun = [&] {
        plainRleBytes += size_t(PixelBytes + RunLengthBytes(runLength));
        paletteRleBytes += runLength == 1 ? 1 : size_t(1 + RunLengthBytes(runLength));
    };
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const uint32_t c = pixels[y * stride + x];
            if (paletteFits && palette.Index(c) < 0)
                paletteFits = false;
            if (c == runColour) {
                ++runLength;
                continue;
            }
            endRun();
            runColour = c;
            runLength = 1;
        }
    endRun();

    const size_t n = palette.Colours.size();
    if (paletteFits && n == 1) {
        Plain.push_back(1);
        CPixel(pixels[0]);
        return;
    }
    const int bits = n <= 2 ? 1 : n <= 4 ? 2 : 4;
    const size_t raw = size_t(w * h * PixelBytes);
    const size_t packed = paletteFits && n <= MaxPacked
                              ? n * size_t(PixelBytes) + size_t(h) * size_t((w * bits + 7) / 8)
                              : SIZE_MAX;
    const size_t paletteRle = paletteFits ? n * size_t(PixelBytes) + paletteRleBytes : SIZE_MAX;
    const size_t best = std::min({raw, packed, plainRleBytes, paletteRle});

    if (best == raw) {
        Plain.push_back(0);
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x)
                CPixel(pixels[y * stride + x]);
    } else if (best == packed) {
        Plain.push_back(uint8_t(n));
        for (uint32_t c : palette.Colours)
            CPixel(c);
        for (int y = 0; y < h; ++y) {
            unsigned byte = 0;
            int filled = 0;
            for (int x = 0; x < w; ++x) {
                byte = (byte << bits) | unsigned(palette.Index(pixels[y * stride + x]));
                filled += bits;
                if (filled == 8) {
                    Plain.push_back(uint8_t(byte));
                    byte = 0;
                    filled = 0;
                }
            }
            if (filled > 0)
                Plain.push_back(uint8_t(byte << (8 - filled)));
        }
    } else {
        const bool withPalette = best == paletteRle;
        Plain.push_back(uint8_t(withPalette ? 128 + n : 128));
        if (withPalette)
            for (uint32_t c : palette.Colours)
                CPixel(c);
        runColour = pixels[0];
        runLength = 0;
        auto putRun = [&] {
            if (!withPalette) {
                CPixel(runColour);
                RunLength(runLength);
            } else if (runLength == 1) {
                Plain.push_back(uint8_t(palette.Index(runColour)));
            } else {
                Plain.push_back(uint8_t(128 | palette.Index(runColour)));
                RunLength(runLength);
            }
        };
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) {
                const uint32_t c = pixels[y * stride + x];
                if (c == runColour) {
                    ++runLength;
                    continue;
                }
                putRun();
                runColour = c;
                runLength = 1;
            }
        putRun();
    }
}

std::vector<uint8_t> CZrleEncoder::Update(const std::vector<uint32_t>& pixels, int width, int height) {
    Plain.clear();
    for (int ty = 0; ty < height; ty += TileSize)
        for (int tx = 0; tx < width; tx += TileSize)
            Tile(pixels.data() + size_t(ty) * size_t(width) + size_t(tx), width,
                 std::min(TileSize, width - tx), std::min(TileSize, height - ty));

    ServerStream message;
    message.Update(1).Rect(0, 0, width, height, 16).U32(0); // the length is filled in below
    const size_t lengthAt = message.Data.size() - 4;
    Stream.next_in = Plain.data();
    Stream.avail_in = uInt(Plain.size());
    do {
        const size_t at = message.Data.size();
        const size_t room = deflateBound(&Stream, Stream.avail_in) + 64;
        message.Data.resize(at + room);
        Stream.next_out = message.Data.data() + at;
        Stream.avail_out = uInt(room);
        if (deflate(&Stream, Z_SYNC_FLUSH) != Z_OK)
            std::abort();
        message.Data.resize(at + room - Stream.avail_out);
    } while (Stream.avail_in != 0 || Stream.avail_out == 0);
    const uint32_t length = uint32_t(message.Data.size() - lengthAt - 4);
    for (int i = 0; i < 4; ++i)
        message.Data[lengthAt + size_t(i)] = uint8_t(length >> (24 - 8 * i));
    return message.Data;
}

} // namespace latis_bench
