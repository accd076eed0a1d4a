#pragma once
// Whole-screen Hextile updates for the bench server: a few distinct synthetic desktop images (a
// photo-like band that goes raw, a text band of two-colour tiles, a band of flat panels), each
// pre-encoded once per client pixel format, so every client of one format gets identical bytes and
// every tile differs from one frame to the next.

#include <array>
#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

namespace busy {

// The 16-byte RFB pixel format record as received (max fields big-endian).
using WirePixelFormat = std::array<uint8_t, 16>;

// 32 bpp, depth 24, little-endian, red 16, green 8, blue 0: what the server announces.
WirePixelFormat DefaultPixelFormat();
// True colour with 8, 16 or 32 bits per pixel: the formats this server can encode.
bool Encodable(const WirePixelFormat& format);

struct EncodedFrame {
    std::vector<uint8_t> Bytes; // a complete FramebufferUpdate message: header, one rectangle, tiles
    size_t RawTiles = 0, SubrectTiles = 0, SolidTiles = 0;
};

// The frames of one pixel format, built on first use and shared by every client of that format.
class FrameSet {
public:
    FrameSet(int width, int height, int count);
    // Thread-safe. The returned frames live as long as the set.
    const std::vector<EncodedFrame>& For(const WirePixelFormat& format);

private:
    int Width, Height, Count;
    std::mutex Lock;
    std::vector<std::pair<WirePixelFormat, std::unique_ptr<std::vector<EncodedFrame>>>> Encoded;
};

} // namespace busy
