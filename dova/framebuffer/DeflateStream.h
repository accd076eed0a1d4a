#pragma once
// A zlib stream that runs across rectangles, as ZRLE and Tight keep them: each rectangle hands over
// its compressed length, and compressed bytes are taken from the input a chunk at a time while the
// caller asks for output, so memory stays bounded whatever length the server announces.
//
// The two-byte zlib header is checked here and the rest inflated raw: a stream rarely ends, so its
// checksum is hardly ever compared, and computing it would cost as much as a tenth of the decoding.
//
// The inflating is ISA-L's: a photo arrives as megabytes of zlib data per update, and its inflater
// takes about 60 % of zlib's time for the same bytes. It keeps the last 32 KiB of output itself, so
// each call may inflate into any buffer.

#include "FrameWriter.h"

#include <cstddef>
#include <cstdint>
#include <memory>

struct inflate_state;

namespace dova {

class CDeflateStream {
public:
    CDeflateStream();
    ~CDeflateStream();
    CDeflateStream(const CDeflateStream&) = delete;
    CDeflateStream& operator=(const CDeflateStream&) = delete;

    // Forgets the history: the next data starts a new zlib stream, header included.
    void Reset();

    void BeginRectangle(uint32_t compressedLength);
    // Whether more output may come for this rectangle: compressed bytes not taken or not yet
    // inflated, or output held back because the last call filled its buffer.
    bool MoreInRectangle() const;
    // One inflate call into out..out+n, with more input when none is left; returns the bytes
    // produced (possibly none). Error 1298 for data that is not valid for this stream.
    size_t Inflate(uint8_t* out, size_t n, CByteSource& input, CFrameWriter& writer);
    // The server closed the stream (a final block): nothing more comes until a reset.
    bool Ended() const { return Closed; }
    // Skips what is left of the rectangle's compressed bytes, unread.
    void SkipRest(CByteSource& input, CFrameWriter& writer);

private:
    // Consumes the zlib header from the input already taken; true once it is complete.
    bool ReadHeader();

    struct StateDeleter {
        void operator()(inflate_state* state) const;
    };
    std::unique_ptr<inflate_state, StateDeleter> State; // about 85 KiB
    uint32_t Left = 0;
    bool OutputPending = false;
    bool Closed = false;
    int HeaderBytesRead = 0; // 3 once both bytes are in and checked
    uint8_t Header[2] = {};
};

} // namespace dova
