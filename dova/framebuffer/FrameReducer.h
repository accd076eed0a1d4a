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
#include <unordered_map>

namespace dova {

// Blocks an update has drawn only part of so far: the sums of those parts and what the block was
// before the update.
class CPartialBlocks {
public:
    struct Block {
        uint32_t Sums[3] = {0, 0, 0};
        uint32_t Covered = 0;
        uint32_t Before = 0;
    };
    Block& At(uint32_t index, uint32_t before, uint32_t adding, uint32_t area) {
        auto [it, added] = Blocks.try_emplace(index);
        if (added || it->second.Covered + adding > area) // new, or drawn over twice: start afresh
            it->second = Block{{0, 0, 0}, 0, before};
        return it->second;
    }
    void Clear() { Blocks.clear(); }
    bool Empty() const { return Blocks.empty(); }

private:
    std::unordered_map<uint32_t, Block> Blocks;
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
