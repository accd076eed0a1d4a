#pragma once
// CopyRect (encoding 1): the rectangle's pixels are already in the frame at (source x, source y).

#include "RectangleDecoder.h"

namespace dova {

class CCopyRectDecoder : public IRectangleDecoder {
public:
    // A source that does not lie wholly inside the frame is a malformed message (1298): there is
    // nothing meaningful to copy from outside the frame.
    void Decode(CByteSource& input, CFrameBuffer& frame, const RectangleHeader& rect,
                DecodeSettings& settings) override;
};

} // namespace dova
