#include "FrameReducer.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <vector>

namespace dova {

namespace {

using AxisPart = ReducerScratch::AxisPart;
using AxisCell = ReducerScratch::AxisCell;

// What one stored column (or row) takes from the source: the source indices that overlap its block
// inside the rectangle, each with the number of remote pixels they share.
void BuildAxis(int origin, int length, int scale, int factor, int remoteLength, std::vector<AxisCell>& cells,
               std::vector<AxisPart>& parts) {
    cells.clear();
    parts.clear();
    const int first = origin / factor, last = (origin + length - 1) / factor + 1;
    for (int k = first; k < last; ++k) {
        const int blockStart = k * factor, blockEnd = std::min(blockStart + factor, remoteLength);
        const int from = std::max(blockStart, origin), to = std::min(blockEnd, origin + length);
        AxisCell cell;
        cell.Begin = int(parts.size());
        cell.Covered = std::max(0, to - from);
        cell.Block = std::max(1, blockEnd - blockStart);
        for (int j = (from - origin) / scale; from < to && origin + j * scale < to; ++j) {
            const int start = std::max(from, origin + j * scale),
                      end = std::min(to, origin + (j + 1) * scale);
            parts.push_back(AxisPart{j, end - start});
        }
        cell.End = int(parts.size());
        cells.push_back(cell);
    }
}

template <typename Pixel> Pixel Load(const uint8_t* at) {
    Pixel p;
    std::memcpy(&p, at, sizeof p);
    return p;
}

// The viewer's own formats, with each channel spread into a 16-bit field of a 64-bit word so that a
// block's pixels sum in one addition each (a block has at most 256 pixels of at most 255).
struct Spread888 {
    static uint64_t Of(uint32_t p) { return (p & 0xFF00FFu) | uint64_t(p & 0xFF00u) << 24; }
    static void Unpack(uint64_t v, uint32_t* rgb) {
        rgb[0] = uint32_t(v >> 16 & 0xFFFF), rgb[1] = uint32_t(v >> 32 & 0xFFFF),
        rgb[2] = uint32_t(v & 0xFFFF);
    }
};
struct Spread555 {
    static uint64_t Of(uint32_t p) {
        return (p & 0x1Fu) | uint64_t(p & 0x3E0u) << 11 | uint64_t(p & 0x7C00u) << 22;
    }
    static void Unpack(uint64_t v, uint32_t* rgb) {
        rgb[0] = uint32_t(v >> 32 & 0xFFFF), rgb[1] = uint32_t(v >> 16 & 0xFFFF),
        rgb[2] = uint32_t(v & 0xFFFF);
    }
};
struct Spread233 {
    static uint64_t Of(uint32_t p) {
        return (p & 7u) | uint64_t(p & 0x38u) << 13 | uint64_t(p & 0xC0u) << 26;
    }
    static void Unpack(uint64_t v, uint32_t* rgb) {
        rgb[0] = uint32_t(v & 0xFFFF), rgb[1] = uint32_t(v >> 16 & 0xFFFF),
        rgb[2] = uint32_t(v >> 32 & 0xFFFF);
    }
};

bool IsViewerFormat(const PixelFormat& f) {
    PixelFormat own;
    if (!PixelFormat::ForBitsPerPixel(f.BitsPerPixel, own))
        return false;
    return f.TrueColour && f.RedMax == own.RedMax && f.GreenMax == own.GreenMax && f.BlueMax == own.BlueMax &&
           f.RedShift == own.RedShift && f.GreenShift == own.GreenShift && f.BlueShift == own.BlueShift;
}

// Sums (red, green, blue per stored column, weighted by the remote pixels each source pixel stands
// for) of the source rows that fall in stored row r.
template <typename Pixel>
void SumRow(const ScaledRect& source, const PixelFormat& f, const ReducerScratch& s, size_t r,
            uint32_t* sums) {
    const int shift[3] = {f.RedShift, f.GreenShift, f.BlueShift};
    const uint32_t max[3] = {f.RedMax, f.GreenMax, f.BlueMax};
    for (int rp = s.Rows[r].Begin; rp < s.Rows[r].End; ++rp) {
        const uint8_t* line = source.Data + size_t(s.RowParts[size_t(rp)].Source) * source.Stride;
        const uint32_t rowWeight = uint32_t(s.RowParts[size_t(rp)].Weight);
        for (size_t c = 0; c < s.Columns.size(); ++c) {
            uint32_t red = 0, green = 0, blue = 0;
            for (int cp = s.Columns[c].Begin; cp < s.Columns[c].End; ++cp) {
                const AxisPart& part = s.ColumnParts[size_t(cp)];
                const uint32_t p = Load<Pixel>(line + size_t(part.Source) * sizeof(Pixel));
                const uint32_t w = uint32_t(part.Weight);
                red += (p >> shift[0] & max[0]) * w;
                green += (p >> shift[1] & max[1]) * w;
                blue += (p >> shift[2] & max[2]) * w;
            }
            sums[c * 3] += red * rowWeight;
            sums[c * 3 + 1] += green * rowWeight;
            sums[c * 3 + 2] += blue * rowWeight;
        }
    }
}

// The same for a full-size source in the viewer's own format: every source pixel weighs one, and
// each is spread and added once.
template <typename Pixel, typename Spread>
void SumRowWhole(const ScaledRect& source, const ReducerScratch& s, size_t r, uint32_t* sums,
                 std::vector<uint64_t>& spread) {
    const size_t columns = s.Columns.size();
    spread.assign(columns, 0);
    for (int rp = s.Rows[r].Begin; rp < s.Rows[r].End; ++rp) {
        const uint8_t* line = source.Data + size_t(s.RowParts[size_t(rp)].Source) * source.Stride;
        for (size_t c = 0; c < columns; ++c) {
            const AxisCell& cell = s.Columns[c];
            if (cell.Begin == cell.End)
                continue;
            const int from = s.ColumnParts[size_t(cell.Begin)].Source,
                      to = s.ColumnParts[size_t(cell.End - 1)].Source;
            uint64_t sum = 0;
            for (int x = from; x <= to; ++x)
                sum += Spread::Of(Load<Pixel>(line + size_t(x) * sizeof(Pixel)));
            spread[c] += sum;
        }
    }
    for (size_t c = 0; c < columns; ++c)
        Spread::Unpack(spread[c], sums + c * 3);
}

template <typename Pixel> void Blend(ReducedPixels& target, const ScaledRect& source) {
    ReducerScratch& scratch = *target.Scratch;
    const std::vector<AxisCell>& columns = scratch.Columns;
    const std::vector<AxisCell>& rows = scratch.Rows;
    std::vector<uint32_t>& sums = scratch.Sums;
    BuildAxis(source.X, source.Width, source.Scale, target.Factor, target.RemoteWidth, scratch.Columns,
              scratch.ColumnParts);
    BuildAxis(source.Y, source.Height, source.Scale, target.Factor, target.RemoteHeight, scratch.Rows,
              scratch.RowParts);
    const PixelFormat& f = target.Format;
    const int shift[3] = {f.RedShift, f.GreenShift, f.BlueShift};
    const uint32_t max[3] = {f.RedMax, f.GreenMax, f.BlueMax};
    const int firstColumn = source.X / target.Factor, firstRow = source.Y / target.Factor;
    sums.resize(columns.size() * 3);
    const size_t cells = size_t(target.Width) * size_t(target.Height);
    // Whole blocks of a power-of-two factor divide by a shift (0: no such shortcut).
    const uint32_t square = uint32_t(target.Factor * target.Factor);
    const uint32_t fullBlock = std::has_single_bit(square) ? square : 0;
    const int fullShift = std::countr_zero(square);
    const bool whole = source.Scale == 1 && target.Factor <= 16 && IsViewerFormat(f);

    for (size_t r = 0; r < rows.size(); ++r) {
        const int storedRow = firstRow + int(r);
        if (storedRow >= target.Height)
            break;
        if (whole) {
            if constexpr (sizeof(Pixel) == 4)
                SumRowWhole<Pixel, Spread888>(source, scratch, r, sums.data(), scratch.Spread);
            else if constexpr (sizeof(Pixel) == 2)
                SumRowWhole<Pixel, Spread555>(source, scratch, r, sums.data(), scratch.Spread);
            else
                SumRowWhole<Pixel, Spread233>(source, scratch, r, sums.data(), scratch.Spread);
        } else {
            std::fill(sums.begin(), sums.end(), 0u);
            SumRow<Pixel>(source, f, scratch, r, sums.data());
        }
        uint8_t* out = target.Data + size_t(storedRow) * target.Stride;
        for (size_t c = 0; c < columns.size(); ++c) {
            const int storedColumn = firstColumn + int(c);
            if (storedColumn >= target.Width)
                break;
            uint8_t* at = out + size_t(storedColumn) * sizeof(Pixel);
            const uint32_t block = uint32_t(columns[c].Block) * uint32_t(rows[r].Block);
            const uint32_t covered =
                std::min(block, uint32_t(columns[c].Covered) * uint32_t(rows[r].Covered));
            const uint32_t* sum = &sums[c * 3];
            uint32_t old = 0, rest = 0;
            if (covered < block) {
                // Earlier parts of this update count as drawn; the rest is what the block was before it.
                const uint32_t index = uint32_t(storedRow) * uint32_t(target.Width) + uint32_t(storedColumn);
                CPartialBlocks::Block& part =
                    target.Partial->At(index, cells, Load<Pixel>(at), covered, block);
                for (int k = 0; k < 3; ++k)
                    part.Sums[k] += sum[k];
                part.Covered += covered;
                sum = part.Sums;
                old = part.Before;
                rest = block - part.Covered;
            }
            uint32_t value = 0;
            if (block == fullBlock) { // the common case: a shift, not three divisions
                for (int k = 0; k < 3; ++k) {
                    const uint32_t total = sum[k] + (old >> shift[k] & max[k]) * rest;
                    value |= std::min(max[k], (total + block / 2) >> fullShift) << shift[k];
                }
            } else {
                for (int k = 0; k < 3; ++k) {
                    const uint32_t total = sum[k] + (old >> shift[k] & max[k]) * rest;
                    value |= std::min(max[k], (total + block / 2) / block) << shift[k];
                }
            }
            const Pixel stored = Pixel(value);
            std::memcpy(at, &stored, sizeof stored);
        }
    }
}

} // namespace

StoredArea StoredAreaOf(int factor, int x, int y, int width, int height) {
    factor = std::max(1, factor);
    if (width <= 0 || height <= 0)
        return StoredArea{x / factor, y / factor, x / factor, y / factor};
    return StoredArea{x / factor, y / factor, (x + width - 1) / factor + 1, (y + height - 1) / factor + 1};
}

void BlendIntoReduced(ReducedPixels& target, const ScaledRect& source) {
    if (source.Width <= 0 || source.Height <= 0 || source.Scale < 1 || target.Factor < 1 || !target.Data ||
        !target.Partial || !target.Scratch)
        return;
    switch (target.Format.BitsPerPixel) {
    case 8:
        Blend<uint8_t>(target, source);
        break;
    case 16:
        Blend<uint16_t>(target, source);
        break;
    case 32:
        Blend<uint32_t>(target, source);
        break;
    default:
        break;
    }
}

} // namespace dova
