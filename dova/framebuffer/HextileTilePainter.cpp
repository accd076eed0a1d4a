#include "HextileTilePainter.h"

#include "CpuVectors.h"
#include "HextileDecoder.h"
#include "PixelRows.h"

#include <algorithm>
#include <cstring>
#include <type_traits>

// A tile row of 16 pixels of 16 bits is one AVX2 register, one of 32 bits an AVX-512 register; the
// widest variant the processor has is picked once at run time.
#ifdef LATIS_X86_VECTORS
#include <immintrin.h>
#endif

namespace dova::hextile {

namespace {

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

// One subrectangle record, clipped to the tile: a subrectangle starting outside it gets no columns or
// no rows (Right <= X or Bottom <= Y).
struct ClippedSpan {
    int X, Y, Right, Bottom;
};
template <typename Pixel, bool Coloured>
[[gnu::always_inline]] inline ClippedSpan ReadClipped(const uint8_t* record, int tw, int th, Pixel& colour) {
    constexpr size_t RecordSize = Coloured ? sizeof(Pixel) + 2 : 2;
    if constexpr (Coloured)
        colour = LoadPixel<Pixel>(record);
    const uint8_t position = record[RecordSize - 2];
    const uint8_t size = record[RecordSize - 1];
    const int x = position >> 4, y = position & 15;
    return {x, y, std::min(x + (size >> 4) + 1, tw), std::min(y + (size & 15) + 1, th)};
}

// Rows are held as vectors of VectorBytes (a row of 8-bit pixels as one vector of 16 bytes at most).
template <typename Pixel, size_t VectorBytes, bool Coloured>
[[gnu::always_inline]] inline void Paint(uint8_t* origin, size_t stride, int tw, int th, Pixel background,
                                         Pixel& foreground, const uint8_t* record, unsigned count) {
    using Lane = std::make_signed_t<Pixel>; // x86 compares lanes as signed only
    typedef Lane Vector __attribute__((vector_size(VectorBytes)));
    typedef uint32_t Words __attribute__((vector_size(VectorBytes)));
    constexpr int PerVector = int(VectorBytes / sizeof(Pixel));
    constexpr int Parts = TileSize / PerVector;
    constexpr size_t RecordSize = Coloured ? sizeof(Pixel) + 2 : 2;
    static_assert(Parts >= 1 && Parts * PerVector == TileSize);

    Vector columns[Parts];
    for (int p = 0; p < Parts; ++p)
        for (int i = 0; i < PerVector; ++i)
            columns[p][i] = Lane(p * PerVector + i);
    Vector tile[TileSize][Parts];
    for (auto& row : tile)
        for (auto& part : row)
            part = Vector{} + Lane(background);
    Pixel colour = foreground;
    for (unsigned i = 0; i < count; ++i, record += RecordSize) {
        const auto [x, y, right, bottom] = ReadClipped<Pixel, Coloured>(record, tw, th, colour);
        Vector inColumns[Parts];
        for (int p = 0; p < Parts; ++p)
            inColumns[p] = Vector((columns[p] >= Lane(x)) & (columns[p] < Lane(right)));
        const Vector paint = Vector{} + Lane(colour);
        const uint32_t* rowFlags = &RowSpans.Flags[std::max(bottom - y, 0)][TileSize - y];
        for (int r = 0; r < TileSize; ++r) {
            const Vector inRow = Vector(Words{} + rowFlags[r]);
            for (int p = 0; p < Parts; ++p)
                tile[r][p] ^= (tile[r][p] ^ paint) & inColumns[p] & inRow;
        }
    }
    foreground = colour;
    if (tw == TileSize) {
        for (int r = 0; r < th; ++r)
            std::memcpy(origin + size_t(r) * stride, tile[r], sizeof tile[r]);
    } else {
        for (int r = 0; r < th; ++r)
            std::memcpy(origin + size_t(r) * stride, tile[r], size_t(tw) * sizeof(Pixel));
    }
}

template <typename Pixel, size_t VectorBytes>
[[gnu::always_inline]] inline void PaintAny(uint8_t* origin, size_t stride, int tw, int th, Pixel background,
                                            Pixel& foreground, const SubrectList& subrects) {
    constexpr size_t Bytes = std::min(VectorBytes, TileSize * sizeof(Pixel));
    if (subrects.Coloured)
        Paint<Pixel, Bytes, true>(origin, stride, tw, th, background, foreground, subrects.Records,
                                  subrects.Count);
    else
        Paint<Pixel, Bytes, false>(origin, stride, tw, th, background, foreground, subrects.Records,
                                   subrects.Count);
}

// Without wide registers the blends cost more than the branches they save: each subrectangle is filled
// in the bitmap directly.
template <typename Pixel, bool Coloured>
void FillDirect(uint8_t* origin, size_t stride, int tw, int th, Pixel& foreground, const uint8_t* record,
                unsigned count) {
    constexpr size_t RecordSize = Coloured ? sizeof(Pixel) + 2 : 2;
    for (unsigned i = 0; i < count; ++i, record += RecordSize) {
        if constexpr (Coloured)
            foreground = LoadPixel<Pixel>(record);
        const uint8_t position = record[RecordSize - 2];
        const uint8_t size = record[RecordSize - 1];
        const int x = position >> 4, y = position & 15;
        if (x >= tw || y >= th)
            continue;
        const int w = std::min((size >> 4) + 1, tw - x);
        const int h = std::min((size & 15) + 1, th - y);
        pixelrows::FillNarrowRows<Pixel>(origin + size_t(y) * stride + size_t(x) * sizeof(Pixel), stride,
                                         size_t(w) * sizeof(Pixel), h, foreground);
    }
}

template <typename Pixel>
void PaintDirect(uint8_t* origin, size_t stride, int tw, int th, Pixel background, Pixel& foreground,
                 const SubrectList& subrects) {
    pixelrows::FillNarrowRows<Pixel>(origin, stride, size_t(tw) * sizeof(Pixel), th, background);
    if (subrects.Coloured)
        FillDirect<Pixel, true>(origin, stride, tw, th, foreground, subrects.Records, subrects.Count);
    else
        FillDirect<Pixel, false>(origin, stride, tw, th, foreground, subrects.Records, subrects.Count);
}

#ifdef LATIS_X86_VECTORS
template <typename Pixel>
__attribute__((target("avx2"))) void PaintAvx2(uint8_t* origin, size_t stride, int tw, int th,
                                               Pixel background, Pixel& foreground,
                                               const SubrectList& subrects) {
    PaintAny<Pixel, 32>(origin, stride, tw, th, background, foreground, subrects);
}

// 32-bit tiles: the 16 rows in 16 of the 32 AVX-512 registers, each subrectangle blended into all of
// them under its column mask and its row flag. Written with intrinsics: the vector-extension form of
// Paint leaves GCC comparing the columns lane by lane at this width.
template <bool Coloured>
__attribute__((target("avx512f"))) void Paint32Rows(uint8_t* origin, size_t stride, int tw, int th,
                                                    uint32_t background, uint32_t& foreground,
                                                    const uint8_t* record, unsigned count) {
    constexpr size_t RecordSize = Coloured ? sizeof(uint32_t) + 2 : 2;
    __m512i tile[TileSize];
#pragma GCC unroll 16
    for (int r = 0; r < TileSize; ++r)
        tile[r] = _mm512_set1_epi32(int(background));
    uint32_t colour = foreground;
    const __m512i ones = _mm512_set1_epi32(-1);
    for (unsigned i = 0; i < count; ++i, record += RecordSize) {
        const auto [x, y, right, bottom] = ReadClipped<uint32_t, Coloured>(record, tw, th, colour);
        const __mmask16 columns = __mmask16((0xFFFFu << x) & ((1u << right) - 1u));
        const __m512i inColumns = _mm512_maskz_mov_epi32(columns, ones);
        const __m512i paint = _mm512_set1_epi32(int(colour));
        const uint32_t* rowFlags = &RowSpans.Flags[std::max(bottom - y, 0)][TileSize - y];
#pragma GCC unroll 16
        for (int r = 0; r < TileSize; ++r) {
            const __m512i where = _mm512_and_si512(inColumns, _mm512_set1_epi32(int(rowFlags[r])));
            tile[r] = _mm512_ternarylogic_epi32(where, paint, tile[r], 0xCA); // where ? paint : tile
        }
    }
    foreground = colour;
    // Whole rows as plain stores; an edge tile's rows masked, so nothing past the tile is touched.
    const __mmask16 width = __mmask16((1u << tw) - 1u);
#pragma GCC unroll 16
    for (int r = 0; r < TileSize; ++r) {
        if (r >= th)
            break;
        uint8_t* row = origin + size_t(r) * stride;
        if (tw == TileSize)
            _mm512_storeu_si512(row, tile[r]);
        else
            _mm512_mask_storeu_epi32(row, width, tile[r]);
    }
}

void PaintAvx512(uint8_t* origin, size_t stride, int tw, int th, uint32_t background, uint32_t& foreground,
                 const SubrectList& subrects) {
    if (subrects.Coloured)
        Paint32Rows<true>(origin, stride, tw, th, background, foreground, subrects.Records, subrects.Count);
    else
        Paint32Rows<false>(origin, stride, tw, th, background, foreground, subrects.Records, subrects.Count);
}

const bool HasAvx2 = cpu::HasAvx2();
const bool HasAvx512 = cpu::HasAvx512();
#endif

} // namespace

template <typename Pixel>
void PaintSubrectTile(uint8_t* origin, size_t stride, int tw, int th, Pixel background, Pixel& foreground,
                      const SubrectList& subrects) {
#ifdef LATIS_X86_VECTORS
    if constexpr (sizeof(Pixel) == 4)
        if (HasAvx512)
            return PaintAvx512(origin, stride, tw, th, background, foreground, subrects);
    if constexpr (sizeof(Pixel) <= 2)
        if (HasAvx2)
            return PaintAvx2<Pixel>(origin, stride, tw, th, background, foreground, subrects);
#endif
    PaintDirect<Pixel>(origin, stride, tw, th, background, foreground, subrects);
}

template void PaintSubrectTile<uint8_t>(uint8_t*, size_t, int, int, uint8_t, uint8_t&, const SubrectList&);
template void PaintSubrectTile<uint16_t>(uint8_t*, size_t, int, int, uint16_t, uint16_t&, const SubrectList&);
template void PaintSubrectTile<uint32_t>(uint8_t*, size_t, int, int, uint32_t, uint32_t&, const SubrectList&);

} // namespace dova::hextile
