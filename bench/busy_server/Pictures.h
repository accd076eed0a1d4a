#pragma once
// The bench server's screen content, shared by its encoders.

#include <cstdint>
#include <vector>

namespace busy {

// A desktop-like picture (0x00RRGGBB, rows top down) that differs everywhere between frames: the top
// third is a moving photo-like gradient with grain, the middle third dark text on a light page, the
// bottom third flat panels with small buttons whose colours shift per frame.
std::vector<uint32_t> DesktopPicture(int width, int height, int frame);

} // namespace busy
