#pragma once
// The rectangles of one FramebufferUpdate: each is checked against the frame, decoded by the decoder
// of its encoding, and repainted either at once (progressive drawing) or as part of the update's
// bounding box after the last rectangle.

#include "../framebuffer/RectangleDecoder.h"

#include <cstdint>

namespace dova {

class CRfbProtocol;
class CFrameBuffer;

class CRectangleLoop {
public:
    // The decoder of an encoding; null for encodings this viewer does not decode.
    static IRectangleDecoder* DecoderFor(int32_t encoding);

    // Runs after the message head (type, padding, count) has been read. Raises 4096 "Update rectangle
    // out of bounds (...)." for a rectangle outside the frame and 1298 for an encoding it does not
    // decode, whose payload it could not skip.
    static void Run(CRfbProtocol& protocol, CFrameBuffer& frame, uint16_t count);
};

} // namespace dova
