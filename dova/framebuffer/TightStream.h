#pragma once
// One of the four zlib streams a Tight connection keeps: each runs from its first rectangle (or the
// last reset the server asked for) to the end of the connection, and the rows of each rectangle are
// inflated straight into the caller's buffer.

#include "DeflateStream.h"

namespace dova {

class CTightStream {
public:
    // Forgets the history: the next data starts a new zlib stream, header included.
    void Reset() { Stream.Reset(); }

    void BeginRectangle(uint32_t compressedLength) { Stream.BeginRectangle(compressedLength); }
    // Inflates exactly n bytes into out; error 1298 when the rectangle's data does not hold them or
    // is not valid zlib data for this stream.
    void Read(uint8_t* out, size_t n, CByteSource& input, CFrameWriter& writer);
    // The rest of the rectangle's compressed bytes (a flush marker) must inflate to nothing.
    void EndRectangle(CByteSource& input, CFrameWriter& writer);

private:
    CDeflateStream Stream;
};

} // namespace dova
