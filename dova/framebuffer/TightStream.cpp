#include "TightStream.h"

#include "RectangleDecoder.h"

namespace dova {

void CTightStream::Read(uint8_t* out, size_t n, CByteSource& input, CFrameWriter& writer) {
    while (n > 0) {
        if (!Stream.MoreInRectangle())
            RaiseMalformed(); // the rows want more than the rectangle holds
        const size_t produced = Stream.Inflate(out, n, input, writer);
        out += produced;
        n -= produced;
    }
}

void CTightStream::EndRectangle(CByteSource& input, CFrameWriter& writer) {
    uint8_t spare[64];
    while (Stream.MoreInRectangle())
        if (Stream.Inflate(spare, sizeof spare, input, writer) != 0)
            RaiseMalformed(); // more data than the rectangle's pixels
    // Whatever follows a closed stream inside this rectangle is not ours to read as pixels.
    Stream.SkipRest(input, writer);
}

} // namespace dova
