#pragma once
// Paints a Hextile tile of background and subrectangles. Subrectangles have random sizes, so filling
// each one in the bitmap with a row loop and a store size chosen by width costs a mispredicted branch or
// two per subrectangle, more than the stores themselves. Here the tile is built in a local 16 x 16
// buffer instead: each subrectangle is blended into all 16 rows under a mask made from its columns and
// rows, with no branch that depends on its shape, and the finished tile is copied to the bitmap. That
// takes AVX2 registers (x86-64, checked at run time) and pixels of at most 16 bits; otherwise the
// subrectangles are filled in the bitmap directly.

#include <cstddef>
#include <cstdint>

namespace dova::hextile {

struct SubrectList {
    const uint8_t* Records; // count records: [pixel when coloured] position size
    unsigned Count;
    bool Coloured;
};

// Paints a tile of tw x th pixels (1..16 each) at origin: the background, then
// the subrectangles clipped to the tile. Without colours of their own they use foreground; otherwise
// foreground ends as the last one's colour.
template <typename Pixel>
void PaintSubrectTile(uint8_t* origin, size_t stride, int tw, int th, Pixel background, Pixel& foreground,
                      const SubrectList& subrects);

} // namespace dova::hextile
