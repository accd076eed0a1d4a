#pragma once
// After the handshake: runs the engine's session thread until the requested number of updates has
// been decoded, then turns the framebuffer into a picture and reports what arrived.

#include "SnapConnection.h"

#include "engine/DecodeStatistics.h"

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

namespace dova {
class CFrameBuffer;
}

namespace dova_snap {

struct CaptureReport {
    uint64_t Updates = 0;
    uint64_t Rectangles[dova::DecodeStatistics::EncodingSlots] = {};
    uint64_t BytesRead = 0;
    double DecodeMilliseconds = 0;
    int Width = 0, Height = 0;
    std::vector<uint8_t> Rgb; // the framebuffer as 8-bit R, G, B, when asked for
};

// Throws the engine's exception when the session fails, and CErrorException when the updates do not
// arrive within the limit. The pixels are converted only with keepPixels: a run that only counts
// updates (as the benchmarks do) pays for decoding alone.
CaptureReport CaptureUpdates(SnapConnection& connection, int updates, std::chrono::milliseconds limit,
                             bool keepPixels = true);

// The framebuffer's pixels as 8-bit RGB, whatever its format (the three formats the viewer asks for).
std::vector<uint8_t> FrameToRgb(const dova::CFrameBuffer& frame);

std::string FormatReport(const CaptureReport& report);

} // namespace dova_snap
