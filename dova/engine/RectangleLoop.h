#pragma once
// The rectangles of one FramebufferUpdate: each is checked against the frame, decoded by the decoder
// of its encoding, and repainted either at once (progressive drawing) or as part of the update's
// bounding box after the last rectangle. A DesktopSize pseudo-rectangle gives the frame a new size
// (the server's screen changed resolution) before the rectangles after it.

#include "../framebuffer/RectangleDecoder.h"

#include <cstdint>

namespace dova {

namespace encodings {
inline constexpr int32_t DesktopSize = -223; // the server may change the frame's size
} // namespace encodings

class CRfbProtocol;
class CFrameBuffer;
class ISessionLink;

class CRectangleLoop {
public:
    // The decoder of an encoding; null for encodings this viewer does not decode.
    static IRectangleDecoder* DecoderFor(int32_t encoding);

    // Runs after the message head (type, padding, count) has been read. Raises 4096 "Update rectangle
    // out of bounds (...)." for a rectangle outside the frame and 1298 for an encoding it does not
    // decode, whose payload it could not skip. True when the frame changed size: the bitmap is new and
    // black, and the host has been told.
    static bool Run(CRfbProtocol& protocol, CFrameBuffer& frame, uint16_t count,
                    ISessionLink* link = nullptr);
};

} // namespace dova
