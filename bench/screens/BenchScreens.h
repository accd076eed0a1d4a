#pragma once
// Screen content the benchmarks share, so socket_bench and zrle_bench measure the same bytes: pixel
// values of the bench formats (8 bpp 3-3-2, 16 bpp 5-5-5, 32 bpp 8-8-8, little-endian) and Hextile frames of
// them.

#include <cstdint>
#include <vector>

namespace latis_bench {

inline constexpr int ScreenWidth = 1920;
inline constexpr int ScreenHeight = 1080;

struct BusyScreen {
    std::vector<uint32_t> Pixels;
    std::vector<uint8_t> Hextile; // the whole FramebufferUpdate message
};

// A whole-screen Hextile update in which every tile changes, about 60 % single colour, 30 % a few
// subrectangles (text, icons), 10 % noise (photos), plus the pixels it paints.
BusyScreen MakeBusyScreen(int bitsPerPixel, unsigned seed);

// A desktop: flat background and task bar, windows with gradient title bars and anti-aliased text
// (a few grey levels), and one photo-like area. The seed changes the text and the window places.
std::vector<uint32_t> MakeDesktopScreen(int bitsPerPixel, unsigned seed);

} // namespace latis_bench
