#pragma once
// Raw (encoding 0): width x height pixels, row by row, no padding.

#include "RectangleDecoder.h"

namespace dova {

class CRawDecoder : public IRectangleDecoder {
public:
    void Decode(CByteSource& input, CFrameBuffer& frame, const RectangleHeader& rect,
                DecodeSettings& settings) override;
};

} // namespace dova
