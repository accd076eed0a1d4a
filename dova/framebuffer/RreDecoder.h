#pragma once
// RRE (encoding 2) and CoRRE (encoding 4): a background pixel for the whole rectangle, then a list of
// one-colour subrectangles. They differ only in the size of the geometry fields (16 or 8 bits).

#include "RectangleDecoder.h"

namespace dova {

class CRreDecoder : public IRectangleDecoder {
public:
    // compact: CoRRE's one-byte geometry.
    explicit CRreDecoder(bool compact) : Compact(compact) {}

    // A count above width x height (more subrectangles than distinct pixels) is malformed (1298).
    // Subrectangles are clipped to the rectangle.
    void Decode(CByteSource& input, CFrameBuffer& frame, const RectangleHeader& rect,
                DecodeSettings& settings) override;

private:
    bool Compact;
};

} // namespace dova
