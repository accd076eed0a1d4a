#include "ZrleInflater.h"

#include "RectangleDecoder.h"

#include <algorithm>
#include <cstring>

namespace dova {

namespace {
// Compressed bytes taken from the input at a time.
constexpr size_t CompressedChunk = 64 * 1024;
} // namespace

CZrleInflater::CZrleInflater() : At(Buffer), End(Buffer) {
    // Raw: the header is read by ReadHeader.
    if (::inflateInit2(&Z, -MAX_WBITS) != Z_OK)
        throw CErrorException(0, "Out of memory.");
}

CZrleInflater::~CZrleInflater() {
    ::inflateEnd(&Z);
}

void CZrleInflater::BeginRectangle(uint32_t compressedLength) {
    Left = compressedLength;
    At = End = Buffer;
}

void CZrleInflater::Refill(size_t n, CByteSource& input, CFrameWriter& writer) {
    TopUp(n, input, writer);
    if (size_t(End - At) < n)
        RaiseMalformed(); // the tiles want more than the rectangle holds
}

void CZrleInflater::Reserve(size_t n, CByteSource& input, CFrameWriter& writer) {
    if (size_t(End - At) < n)
        TopUp(n, input, writer);
}

void CZrleInflater::TopUp(size_t n, CByteSource& input, CFrameWriter& writer) {
    const size_t kept = size_t(End - At);
    std::memmove(Buffer, At, kept);
    At = Buffer;
    End = Buffer + kept;
    while (size_t(End - At) < n && MoreInRectangle())
        Inflate(input, writer);
}

void CZrleInflater::EndRectangle(CByteSource& input, CFrameWriter& writer) {
    if (At != End)
        RaiseMalformed();
    while (MoreInRectangle()) {
        At = End = Buffer;
        Inflate(input, writer);
        if (End != Buffer)
            RaiseMalformed();
    }
}

void CZrleInflater::Inflate(CByteSource& input, CFrameWriter& writer) {
    if (Z.avail_in == 0 && Left > 0) {
        const size_t take = std::min<size_t>(Left, CompressedChunk);
        Z.next_in = const_cast<Bytef*>(TakeReleasing(input, writer, take));
        Z.avail_in = uInt(take);
        Left -= uint32_t(take);
    }
    if (!ReadHeader())
        return;
    Z.next_out = End;
    Z.avail_out = uInt(Buffer + Capacity - End);
    const int result = ::inflate(&Z, Z_SYNC_FLUSH);
    if (result != Z_OK && result != Z_BUF_ERROR)
        RaiseMalformed(); // a corrupt stream, or one that ended: it runs for the whole connection
    OutputPending = Z.avail_out == 0;
    End = Buffer + Capacity - Z.avail_out;
}

bool CZrleInflater::ReadHeader() {
    for (; HeaderBytesRead < 2 && Z.avail_in > 0; --Z.avail_in)
        Header[HeaderBytesRead++] = *Z.next_in++;
    if (HeaderBytesRead < 2)
        return false;
    if (HeaderBytesRead == 2) {
        // Deflate with a window of at most 32 KiB, a valid check value, no preset dictionary.
        const unsigned method = Header[0] & 0x0F, window = Header[0] >> 4;
        if (method != Z_DEFLATED || window > 7 || ((Header[0] << 8) | Header[1]) % 31 != 0 ||
            (Header[1] & 0x20))
            RaiseMalformed();
        HeaderBytesRead = 3; // checked
    }
    return true;
}

} // namespace dova
