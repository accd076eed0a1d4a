#include "DeflateStream.h"

#include "RectangleDecoder.h"

#include <algorithm>
#include <isa-l/igzip_lib.h>

namespace dova {

namespace {
// Compressed bytes taken from the input at a time.
constexpr size_t CompressedChunk = 64 * 1024;
constexpr unsigned DeflateMethod = 8; // the only method a zlib header may name
} // namespace

void CDeflateStream::StateDeleter::operator()(inflate_state* state) const {
    delete state;
}

CDeflateStream::CDeflateStream() : State(new inflate_state) {
    isal_inflate_init(State.get()); // raw deflate: the header is read by ReadHeader
}

CDeflateStream::~CDeflateStream() = default;

void CDeflateStream::Reset() {
    isal_inflate_reset(State.get());
    Closed = false;
    HeaderBytesRead = 0;
}

void CDeflateStream::BeginRectangle(uint32_t compressedLength) {
    Left = compressedLength;
    OutputPending = false;
    State->avail_in = 0;
    State->next_in = nullptr;
}

bool CDeflateStream::MoreInRectangle() const {
    return !Closed && (Left > 0 || State->avail_in > 0 || OutputPending);
}

size_t CDeflateStream::Inflate(uint8_t* out, size_t n, CByteSource& input, CFrameWriter& writer) {
    inflate_state& z = *State;
    if (z.avail_in == 0 && Left > 0) {
        const size_t take = std::min<size_t>(Left, CompressedChunk);
        z.next_in = const_cast<uint8_t*>(TakeReleasing(input, writer, take));
        z.avail_in = uint32_t(take);
        Left -= uint32_t(take);
    }
    if (!ReadHeader()) {
        OutputPending = false;
        return 0;
    }
    // Callers ask for bands far below 4 GiB; the cap only keeps the count honest.
    const auto room = uint32_t(std::min<size_t>(n, UINT32_MAX));
    z.next_out = out;
    z.avail_out = room;
    if (isal_inflate(&z) < 0)
        RaiseMalformed(); // corrupt data, or data that does not continue this stream
    if (z.block_state == ISAL_BLOCK_FINISH)
        Closed = true;
    OutputPending = z.avail_out == 0;
    return room - z.avail_out;
}

void CDeflateStream::SkipRest(CByteSource& input, CFrameWriter& writer) {
    while (Left > 0) {
        const size_t take = std::min<size_t>(Left, CompressedChunk);
        TakeReleasing(input, writer, take);
        Left -= uint32_t(take);
    }
    State->avail_in = 0;
    OutputPending = false;
}

bool CDeflateStream::ReadHeader() {
    inflate_state& z = *State;
    for (; HeaderBytesRead < 2 && z.avail_in > 0; --z.avail_in)
        Header[HeaderBytesRead++] = *z.next_in++;
    if (HeaderBytesRead < 2)
        return false;
    if (HeaderBytesRead == 2) {
        // Deflate with a window of at most 32 KiB, a valid check value, no preset dictionary.
        const unsigned method = Header[0] & 0x0F, window = Header[0] >> 4;
        if (method != DeflateMethod || window > 7 || ((Header[0] << 8) | Header[1]) % 31 != 0 ||
            (Header[1] & 0x20))
            RaiseMalformed(); // not the start of a stream: a reset the server did not make
        HeaderBytesRead = 3;
    }
    return true;
}

} // namespace dova
