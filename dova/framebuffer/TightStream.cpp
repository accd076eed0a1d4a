#include "TightStream.h"

#include "RectangleDecoder.h"

#include <algorithm>

namespace dova {

namespace {
// Compressed bytes taken from the input at a time.
constexpr size_t CompressedChunk = 64 * 1024;
} // namespace

CTightStream::~CTightStream() {
    if (Opened)
        ::inflateEnd(&Z);
}

void CTightStream::Open() {
    if (Opened)
        return;
    Z = z_stream{};
    if (::inflateInit2(&Z, -MAX_WBITS) != Z_OK) // raw: the header is read by ReadHeader
        throw CErrorException(0, "Out of memory.");
    Opened = true;
}

void CTightStream::Reset() {
    if (Opened)
        ::inflateReset(&Z);
    Ended = false;
    HeaderBytesRead = 0;
}

void CTightStream::BeginRectangle(uint32_t compressedLength) {
    Open();
    Left = compressedLength;
    OutputPending = false;
    Z.avail_in = 0;
    Z.next_in = nullptr;
}

void CTightStream::Read(uint8_t* out, size_t n, CByteSource& input, CFrameWriter& writer) {
    while (n > 0) {
        if (!MoreInRectangle())
            RaiseMalformed(); // the rows want more than the rectangle holds
        const size_t produced = Inflate(out, n, input, writer);
        out += produced;
        n -= produced;
    }
}

void CTightStream::EndRectangle(CByteSource& input, CFrameWriter& writer) {
    uint8_t spare[64];
    while (MoreInRectangle())
        if (Inflate(spare, sizeof spare, input, writer) != 0)
            RaiseMalformed(); // more data than the rectangle's pixels
    // Whatever follows a closed stream inside this rectangle is not ours to read as pixels.
    while (Left > 0) {
        const size_t take = std::min<size_t>(Left, CompressedChunk);
        TakeReleasing(input, writer, take);
        Left -= uint32_t(take);
    }
    Z.avail_in = 0;
}

size_t CTightStream::Inflate(uint8_t* out, size_t n, CByteSource& input, CFrameWriter& writer) {
    if (Z.avail_in == 0 && Left > 0) {
        const size_t take = std::min<size_t>(Left, CompressedChunk);
        Z.next_in = const_cast<Bytef*>(TakeReleasing(input, writer, take));
        Z.avail_in = uInt(take);
        Left -= uint32_t(take);
    }
    if (!ReadHeader()) {
        OutputPending = false;
        return 0;
    }
    Z.next_out = out;
    Z.avail_out = uInt(n);
    const int result = ::inflate(&Z, Z_SYNC_FLUSH);
    if (result == Z_STREAM_END)
        Ended = true;
    else if (result != Z_OK && result != Z_BUF_ERROR)
        RaiseMalformed(); // corrupt data, or data that does not continue this stream
    OutputPending = Z.avail_out == 0;
    return n - Z.avail_out;
}

bool CTightStream::ReadHeader() {
    for (; HeaderBytesRead < 2 && Z.avail_in > 0; --Z.avail_in)
        Header[HeaderBytesRead++] = *Z.next_in++;
    if (HeaderBytesRead < 2)
        return false;
    if (HeaderBytesRead == 2) {
        // Deflate with a window of at most 32 KiB, a valid check value, no preset dictionary.
        const unsigned method = Header[0] & 0x0F, window = Header[0] >> 4;
        if (method != Z_DEFLATED || window > 7 || ((Header[0] << 8) | Header[1]) % 31 != 0 ||
            (Header[1] & 0x20))
            RaiseMalformed(); // not the start of a stream: a reset the server did not make
        HeaderBytesRead = 3;
    }
    return true;
}

} // namespace dova
