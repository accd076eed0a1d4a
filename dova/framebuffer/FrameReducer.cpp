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

template <typename Pixel> void Blend(ReducedPixels& target, const ScaledRect& source) {
    ReducerScratch& scratch = *target.Scratch;
    std::vector<AxisCell>& columns = scratch.Columns;
    std::vector<AxisCell>& rows = scratch.Rows;
    std::vector<AxisPart>& columnParts = scratch.ColumnParts;
    std::vector<AxisPart>& rowParts = scratch.RowParts;
    std::vector<uint32_t>& sums = scratch.Sums;
    BuildAxis(source.X, source.Width, source.Scale, target.Factor, target.RemoteWidth, columns, columnParts);
    BuildAxis(source.Y, source.Height, source.Scale, target.Factor, target.RemoteHeight, rows, rowParts);
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

    for (size_t r = 0; r < rows.size(); ++r) {
        const int storedRow = firstRow + int(r);
        if (storedRow >= target.Height)
            break;
        std::fill(sums.begin(), sums.end(), 0u);
        for (int rp = rows[r].Begin; rp < rows[r].End; ++rp) {
            const uint8_t* line = source.Data + size_t(rowParts[size_t(rp)].Source) * source.Stride;
            const uint32_t rowWeight = uint32_t(rowParts[size_t(rp)].Weight);
            for (size_t c = 0; c < columns.size(); ++c) {
                uint32_t red = 0, green = 0, blue = 0;
                for (int cp = columns[c].Begin; cp < columns[c].End; ++cp) {
                    const AxisPart& part = columnParts[size_t(cp)];
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
