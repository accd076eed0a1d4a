#include "CopyRectDecoder.h"

#include "../base/WireOrder.h"
#include "FrameBuffer.h"

namespace dova {

void CCopyRectDecoder::Decode(CByteSource& input, CFrameBuffer& frame, const RectangleHeader& rect,
                              DecodeSettings&) {
    const uint8_t* source = input.Take(4);
    const uint32_t sourceX = GetU16(source);
    const uint32_t sourceY = GetU16(source + 2);
    if (sourceX + rect.Width > uint32_t(frame.RemoteWidth()) ||
        sourceY + rect.Height > uint32_t(frame.RemoteHeight()))
        RaiseMalformed();
    // A true move even when source and destination overlap; not held back by the draw gate.
    frame.CopyRemoteArea(int(sourceX), int(sourceY), rect.X, rect.Y, rect.Width, rect.Height);
}

} // namespace dova
