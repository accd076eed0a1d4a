#pragma once
// Box averaging of remote pixels into a frame kept at 1/Factor of the remote screen's size, as a
// thumbnail needs it. Each stored pixel stands for a Factor x Factor block of the remote screen (cut at
// the screen's right and bottom edges). A rectangle that covers only part of a block is weighed in with
// what the block showed before the update. The parts an update has drawn of a block are remembered
// until the update ends, so an update that covers a block in several rectangles leaves exactly its
// average, however the rectangles fall on block edges.

#include "PixelFormat.h"

#include <cstddef>
#include <cstdint>
#include <vector>

namespace dova {

// Blocks an update has drawn only part of so far: the sums of those parts and what the block was
// before the update. A slot per stored pixel (made on first need) finds a block's entry without a
// search or an allocation; clearing visits only the entries made.
class CPartialBlocks {
public:
    struct Block {
        uint32_t Sums[3] = {0, 0, 0};
        uint32_t Covered = 0;
        uint32_t Before = 0;
        uint32_t Index = 0;
    };
    // index: the stored pixel's, below cells (the frame's stored pixel count).
    Block& At(uint32_t index, size_t cells, uint32_t before, uint32_t adding, uint32_t area) {
        if (Slots.size() < cells)
            Slots.resize(cells, 0);
        uint32_t& slot = Slots[index];
        if (slot == 0) {
            Entries.push_back(Block{{0, 0, 0}, 0, before, index});
            slot = uint32_t(Entries.size());
        }
        Block& block = Entries[slot - 1];
        if (block.Covered + adding > area) // drawn over twice in one update: start afresh
            block = Block{{0, 0, 0}, 0, before, index};
        return block;
    }
    void Clear() {
        for (const Block& b : Entries)
            Slots[b.Index] = 0;
        Entries.clear();
    }
    // Gives the memory back (the frame is rebuilt).
    void Release() {
        std::vector<uint32_t>().swap(Slots);
        std::vector<Block>().swap(Entries);
    }

private:
    std::vector<uint32_t> Slots; // entry number + 1, or 0
    std::vector<Block> Entries;
};

// What the blending keeps between calls, so that it allocates nothing once warm.
struct ReducerScratch {
    struct AxisPart {
        int Source = 0;
        int Weight = 0;
    };
    struct AxisCell {
        int Begin = 0, End = 0; // into the parts
        int Covered = 0;        // remote pixels of the block inside the rectangle
        int Block = 0;          // remote pixels of the block inside the screen
    };
    std::vector<AxisCell> Columns, Rows;
    std::vector<AxisPart> ColumnParts, RowParts;
    std::vector<uint32_t> Sums;
    std::vector<uint16_t> Lanes; // per-column channel sums of a stored row's source rows
};

// The reduced frame: Width x Height stored pixels in a true-colour format of 1, 2 or 4 bytes, host
// order.
struct ReducedPixels {
    uint8_t* Data = nullptr;
    size_t Stride = 0;
    int Width = 0, Height = 0;
    int Factor = 1;
    int RemoteWidth = 0, RemoteHeight = 0;
    PixelFormat Format;
    CPartialBlocks* Partial = nullptr;
    ReducerScratch* Scratch = nullptr;
};

// The remote rectangle (X, Y, Width, Height), given at 1/Scale of its resolution in the same format:
// source pixel (i, j) covers the remote pixels [X + j*Scale, X + (j+1)*Scale) x [Y + i*Scale, ...),
// cut at the rectangle's edges; ceil(Width / Scale) x ceil(Height / Scale) pixels, Stride bytes apart.
struct ScaledRect {
    const uint8_t* Data = nullptr;
    size_t Stride = 0;
    int Scale = 1;
    int X = 0, Y = 0, Width = 0, Height = 0;
};

// The stored area a remote rectangle touches (left, top, right, bottom exclusive).
struct StoredArea {
    int Left = 0, Top = 0, Right = 0, Bottom = 0;
};
StoredArea StoredAreaOf(int factor, int x, int y, int width, int height);

// Blends the rectangle into the reduced frame. The caller keeps the rectangle inside the remote screen.
void BlendIntoReduced(ReducedPixels& target, const ScaledRect& source);

} // namespace dova
