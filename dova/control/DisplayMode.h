#pragma once
// Changing the local display mode, where the desktop allows it (X11 with the RandR extension, through
// the xrandr tool).

#include <cstdint>

namespace dova {

// Result codes of a display-mode change, as the component reports them.
namespace display_change {
inline constexpr int32_t Successful = 0;
inline constexpr int32_t Failed = -1;
inline constexpr int32_t BadMode = -2;
} // namespace display_change

// Asks for width x height (depth and frequency when above 0) on the primary display (display -1) or
// the given output number. Returns one of display_change.
int32_t ChangeLocalDisplayMode(int32_t width, int32_t height, int32_t bitsPerPixel, int32_t frequency,
                               int32_t flags, int32_t display);

} // namespace dova
