#pragma once
// Changing the local display mode, where the desktop allows it: X11 with the RandR extension, spoken
// directly over the application's X connection (a few round trips, no helper process to wait for).

#include <cstdint>

namespace dova {

// Result codes of a display-mode change, as the component reports them.
namespace display_change {
inline constexpr int32_t Successful = 0;
inline constexpr int32_t Failed = -1;
inline constexpr int32_t BadMode = -2;
// Flags: only check that the mode could be set.
inline constexpr int32_t TestOnly = 2;
} // namespace display_change

// Asks for width x height (depth and refresh rate when above 0) on the primary output (display -1) or
// the display-th connected output (1 is the first). With TestOnly in flags nothing changes: the answer
// says whether the mode exists. 0 also when the output or its current mode cannot be read; Failed
// where the desktop offers no mode changes.
int32_t ChangeLocalDisplayMode(int32_t width, int32_t height, int32_t bitsPerPixel, int32_t frequency,
                               int32_t flags, int32_t display);

} // namespace dova
