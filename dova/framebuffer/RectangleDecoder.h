#pragma once
// The one interface every rectangle decoder implements, and what they share: the rectangle header,
// the encoding numbers and the choice of pixel type. A decoder sees its input bytes, the framebuffer
// and the settings below; never the connection or the viewer.

#include "../base/ByteSource.h"
#include "../base/EngineExceptions.h"

#include <atomic>
#include <cstddef>
#include <cstdint>

namespace dova {

class CFrameBuffer;

namespace encodings {
inline constexpr int32_t Raw = 0;
inline constexpr int32_t CopyRect = 1;
inline constexpr int32_t RRE = 2;
inline constexpr int32_t CoRRE = 4;
inline constexpr int32_t Hextile = 5;
} // namespace encodings

// The largest payload a decoder takes in one read. Bigger payloads (only a huge Raw rectangle or
// subrectangle list can be) are read and drawn in bands, so a server-chosen count never decides how
// much memory the viewer allocates. 16 MiB holds a whole 1920 x 1080 frame at 32 bits per pixel.
inline constexpr size_t MaxPayloadRead = size_t(16) << 20;

struct RectangleHeader {
    uint16_t X = 0;
    uint16_t Y = 0;
    uint16_t Width = 0;
    uint16_t Height = 0;
    int32_t Encoding = 0;
};

// Whether drawn areas are shown at once. The viewer's setting may change in the middle of an update;
// the reader of the messages fixes it per update, Hextile looks again after tiles with subrectangles.
struct DecodeSettings {
    const std::atomic<bool>* LiveProgressive = nullptr; // null: never progressive
    bool Progressive = false;
    // While a reduced frame is drawn, the decoder writes a full-size scratch frame whose (0, 0) is
    // (ReducedX, ReducedY) of the remote screen. A decoder that can draw a rectangle at the reduced
    // size itself (Tight's JPEG) blends it into Reduced and sets WroteReduced.
    CFrameBuffer* Reduced = nullptr;
    int ReducedX = 0, ReducedY = 0;
    bool WroteReduced = false;

    void Refresh() { Progressive = LiveProgressive && LiveProgressive->load(std::memory_order_relaxed); }
};

class IRectangleDecoder {
public:
    virtual ~IRectangleDecoder() = default;
    // Reads the whole payload of the rectangle from input and draws it into frame. The rectangle lies
    // inside the frame (the caller checked it). Repaints only tiles, and only when settings.Progressive
    // is set; the rectangle itself is the caller's business.
    virtual void Decode(CByteSource& input, CFrameBuffer& frame, const RectangleHeader& rect,
                        DecodeSettings& settings) = 0;
};

// Calls body with a value of the pixel type for the bytes per pixel (1, 2 or 4).
template <typename Body> void ForPixelType(int bytesPerPixel, Body&& body) {
    switch (bytesPerPixel) {
    case 1:
        body(uint8_t{});
        break;
    case 2:
        body(uint16_t{});
        break;
    case 4:
        body(uint32_t{});
        break;
    default:
        throw CErrorException(codes::Validity, "Frame buffer pixel size invalid.");
    }
}

[[noreturn]] inline void RaiseMalformed() {
    throw CErrorException(codes::ProtocolSync, texts::ProtocolSync);
}

} // namespace dova
