#include "HextileTilePainter.h"

#include "HextileDecoder.h"

#include <algorithm>
#include <cstring>

// Built for AVX2 as well where the compiler can pick the variant at load time: a tile row of 16 pixels
// of 16 bits is then one register.
#if defined(__x86_64__) && defined(__GNUC__) && !defined(__clang__) && !defined(__SANITIZE_ADDRESS__) &&     \
    !defined(__SANITIZE_THREAD__)
#define LATIS_TILE_CLONES __attribute__((target_clones("avx2", "default")))
#else
#define LATIS_TILE_CLONES
#endif

namespace dova::hextile {

namespace {

template <typename Pixel> struct Lanes {
    typedef Pixel Row __attribute__((vector_size(TileSize * sizeof(Pixel))));
    typedef uint32_t Words __attribute__((vector_size(TileSize * sizeof(Pixel))));
};

template <typename Pixel> [[gnu::always_inline]] inline Pixel RecordPixel(const uint8_t* at) {
    Pixel value;
    std::memcpy(&value, at, sizeof value);
    return value;
}

// RowSpans[h][16 + r - y]: all ones when row r lies in a span of h rows starting at row y. One table
// load per row, broadcast to a whole row mask, takes the place of a loop that ends after h rows.
struct RowSpanTable {
    uint32_t Flags[TileSize + 1][2 * TileSize];
    constexpr RowSpanTable() : Flags{} {
        for (int h = 0; h <= TileSize; ++h)
            for (int k = 0; k < 2 * TileSize; ++k)
                Flags[h][k] = (k >= TileSize && k < TileSize + h) ? ~0u : 0u;
    }
};
constexpr RowSpanTable RowSpans;

template <typename Pixel, bool Coloured>
[[gnu::always_inline]] inline void Paint(uint8_t* origin, size_t stride, int tw, int th, Pixel background,
                                         Pixel& foreground, const uint8_t* record, unsigned count) {
    using Row = typename Lanes<Pixel>::Row;
    using Words = typename Lanes<Pixel>::Words;
    constexpr size_t RecordSize = Coloured ? sizeof(Pixel) + 2 : 2;
    const Row columns = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15};
    Row tile[TileSize];
    for (int r = 0; r < TileSize; ++r)
        tile[r] = Row{} + background;
    Pixel colour = foreground;
    for (unsigned i = 0; i < count; ++i, record += RecordSize) {
        if constexpr (Coloured)
            colour = RecordPixel<Pixel>(record);
        const uint8_t position = record[RecordSize - 2];
        const uint8_t size = record[RecordSize - 1];
        // Clipped to the tile; a subrectangle starting outside it gets no columns or no rows.
        const int x = position >> 4, y = position & 15;
        const int right = std::min(x + (size >> 4) + 1, tw);
        const int bottom = std::min(y + (size & 15) + 1, th);
        const Row inColumns = Row((columns >= Pixel(x)) & (columns < Pixel(right)));
        const Row paint = Row{} + colour;
        const uint32_t* rowFlags = &RowSpans.Flags[std::max(bottom - y, 0)][TileSize - y];
        for (int r = 0; r < TileSize; ++r) {
            const Row mask = inColumns & Row(Words{} + rowFlags[r]);
            tile[r] ^= (tile[r] ^ paint) & mask;
        }
    }
    foreground = colour;
    if (tw == TileSize) {
        for (int r = 0; r < th; ++r)
            std::memcpy(origin + size_t(r) * stride, &tile[r], sizeof(Row));
    } else {
        for (int r = 0; r < th; ++r)
            std::memcpy(origin + size_t(r) * stride, &tile[r], size_t(tw) * sizeof(Pixel));
    }
}

template <typename Pixel>
[[gnu::always_inline]] inline void PaintAny(uint8_t* origin, size_t stride, int tw, int th, Pixel background,
                                            Pixel& foreground, const SubrectList& subrects) {
    if (subrects.Coloured)
        Paint<Pixel, true>(origin, stride, tw, th, background, foreground, subrects.Records, subrects.Count);
    else
        Paint<Pixel, false>(origin, stride, tw, th, background, foreground, subrects.Records, subrects.Count);
}

// One function per pixel size: variants per instruction set are made of plain functions only.
LATIS_TILE_CLONES void Paint8(uint8_t* origin, size_t stride, int tw, int th, uint8_t background,
                              uint8_t& foreground, const SubrectList& subrects) {
    PaintAny<uint8_t>(origin, stride, tw, th, background, foreground, subrects);
}
LATIS_TILE_CLONES void Paint16(uint8_t* origin, size_t stride, int tw, int th, uint16_t background,
                               uint16_t& foreground, const SubrectList& subrects) {
    PaintAny<uint16_t>(origin, stride, tw, th, background, foreground, subrects);
}
} // namespace

template <typename Pixel>
void PaintSubrectTile(uint8_t* origin, size_t stride, int tw, int th, Pixel background, Pixel& foreground,
                      const SubrectList& subrects) {
    if constexpr (sizeof(Pixel) == 1)
        Paint8(origin, stride, tw, th, background, foreground, subrects);
    else
        Paint16(origin, stride, tw, th, background, foreground, subrects);
}

template void PaintSubrectTile<uint8_t>(uint8_t*, size_t, int, int, uint8_t, uint8_t&, const SubrectList&);
template void PaintSubrectTile<uint16_t>(uint8_t*, size_t, int, int, uint16_t, uint16_t&, const SubrectList&);

} // namespace dova::hextile
