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

// The channels of the viewer's own formats, known when compiled so that the loops below vectorise.
struct Channels888 {
    static constexpr int Shift[3] = {16, 8, 0};
    static constexpr uint32_t Max[3] = {255, 255, 255};
};
struct Channels555 {
    static constexpr int Shift[3] = {10, 5, 0};
    static constexpr uint32_t Max[3] = {31, 31, 31};
};
struct Channels233 {
    static constexpr int Shift[3] = {0, 3, 6};
    static constexpr uint32_t Max[3] = {7, 7, 3};
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

// The same for a full-size source in the viewer's own format: each channel of the stored row's source
// rows is first added up column by column (16-bit lanes: at most 16 rows of at most 255), then each
// block's columns are added. Both loops are plain enough for the compiler to vectorise.
template <typename Pixel, typename Layout>
void SumRowWhole(const ScaledRect& source, ReducerScratch& s, size_t r, uint32_t* sums) {
    const size_t width = size_t(source.Width);
    s.Lanes.assign(width * 3, 0);
    uint16_t* red = s.Lanes.data();
    uint16_t* green = red + width;
    uint16_t* blue = green + width;
    for (int rp = s.Rows[r].Begin; rp < s.Rows[r].End; ++rp) {
        const Pixel* line = reinterpret_cast<const Pixel*>(
            static_cast<const void*>(source.Data + size_t(s.RowParts[size_t(rp)].Source) * source.Stride));
        for (size_t x = 0; x < width; ++x) {
            const uint32_t p = line[x];
            red[x] = uint16_t(red[x] + (p >> Layout::Shift[0] & Layout::Max[0]));
            green[x] = uint16_t(green[x] + (p >> Layout::Shift[1] & Layout::Max[1]));
            blue[x] = uint16_t(blue[x] + (p >> Layout::Shift[2] & Layout::Max[2]));
        }
    }
    for (size_t c = 0; c < s.Columns.size(); ++c) {
        const AxisCell& cell = s.Columns[c];
        uint32_t rgb[3] = {0, 0, 0};
        if (cell.Begin != cell.End) {
            const size_t from = size_t(s.ColumnParts[size_t(cell.Begin)].Source);
            const size_t to = size_t(s.ColumnParts[size_t(cell.End - 1)].Source);
            for (size_t x = from; x <= to; ++x) {
                rgb[0] += red[x];
                rgb[1] += green[x];
                rgb[2] += blue[x];
            }
        }
        sums[c * 3] = rgb[0];
        sums[c * 3 + 1] = rgb[1];
        sums[c * 3 + 2] = rgb[2];
    }
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
                SumRowWhole<Pixel, Channels888>(source, scratch, r, sums.data());
            else if constexpr (sizeof(Pixel) == 2)
                SumRowWhole<Pixel, Channels555>(source, scratch, r, sums.data());
            else
                SumRowWhole<Pixel, Channels233>(source, scratch, r, sums.data());
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
