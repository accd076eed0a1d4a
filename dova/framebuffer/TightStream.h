#pragma once
// One of the four zlib streams a Tight connection keeps: each runs from its first rectangle (or the
// last reset the server asked for) to the end of the connection. A rectangle hands over its compressed
// length; compressed bytes are taken from the input a chunk at a time while rows are inflated, so
// memory stays bounded whatever length the server announces.
//
// As for ZRLE, the two-byte zlib header is checked here and the rest inflated raw: a stream rarely
// ends, so its checksum is hardly ever compared, and computing it costs a tenth of the decoding.

#include "FrameWriter.h"

#include <cstddef>
#include <cstdint>
#include <zlib.h>

namespace dova {

class CTightStream {
public:
    CTightStream() = default;
    ~CTightStream();
    CTightStream(const CTightStream&) = delete;
    CTightStream& operator=(const CTightStream&) = delete;

    // Forgets the history: the next data starts a new zlib stream, header included.
    void Reset();

    void BeginRectangle(uint32_t compressedLength);
    // Inflates exactly n bytes into out; error 1298 when the rectangle's data does not hold them or
    // is not valid zlib data for this stream.
    void Read(uint8_t* out, size_t n, CByteSource& input, CFrameWriter& writer);
    // The rest of the rectangle's compressed bytes (a flush marker) must inflate to nothing.
    void EndRectangle(CByteSource& input, CFrameWriter& writer);

private:
    bool MoreInRectangle() const { return !Ended && (Left > 0 || Z.avail_in > 0 || OutputPending); }
    void Open();
    // One inflate call into out..out+n with more input when zlib has none; returns bytes produced.
    size_t Inflate(uint8_t* out, size_t n, CByteSource& input, CFrameWriter& writer);
    // Consumes the zlib header from the input zlib has been given; true once it is complete.
    bool ReadHeader();

    z_stream Z{};
    bool Opened = false;
    bool Ended = false; // the server closed the zlib stream: only a reset lets it go on
    // zlib filled the output it was given: it may hold more (a long match) without more input.
    bool OutputPending = false;
    uint32_t Left = 0;
    int HeaderBytesRead = 0; // 3 once both bytes are in and checked
    uint8_t Header[2] = {};
};

} // namespace dova
