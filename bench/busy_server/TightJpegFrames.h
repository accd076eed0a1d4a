#pragma once
// Whole-screen Tight updates made of JPEG rectangles, for clients that ask for Tight with a JPEG
// quality level at 32 bits per pixel. The pictures are those of the Hextile frames; each frame is
// compressed once per quality level and shared by every client of that level, so the server's own CPU
// stays out of the measurement.

#include "HextileFrames.h"

#include <memory>
#include <mutex>
#include <utility>
#include <vector>

namespace busy {

// Rectangles like a common server's: at most 2048 pixels wide and 64 Ki pixels each, so a 1920 wide
// screen goes out in bands of 34 rows.
constexpr int TightMaxRectWidth = 2048;
constexpr int TightMaxRectPixels = 65536;

// What the pixel format must be for JPEG: 32 bpp true colour with 8-bit channels.
bool JpegEncodable(const WirePixelFormat& format);
// TurboJPEG quality (1-100) for a Tight quality level 0-9: 15 to 95, evenly spaced.
int JpegQualityOf(int level);

class TightJpegFrameSet {
public:
    TightJpegFrameSet(int width, int height, int count);
    // Thread-safe. The returned frames live as long as the set.
    const std::vector<EncodedFrame>& For(int qualityLevel);

private:
    int Width, Height, Count;
    std::mutex Lock;
    std::vector<std::pair<int, std::unique_ptr<std::vector<EncodedFrame>>>> Encoded;
};

} // namespace busy
