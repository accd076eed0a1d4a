#include "ZrleInflater.h"

#include "RectangleDecoder.h"

#include <algorithm>
#include <cstring>

namespace dova {

CZrleInflater::CZrleInflater() : At(Buffer), End(Buffer) {}

void CZrleInflater::BeginRectangle(uint32_t compressedLength) {
    Stream.BeginRectangle(compressedLength);
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
    while (size_t(End - At) < n && Stream.MoreInRectangle())
        Inflate(input, writer);
}

void CZrleInflater::EndRectangle(CByteSource& input, CFrameWriter& writer) {
    if (At != End)
        RaiseMalformed();
    while (Stream.MoreInRectangle()) {
        At = End = Buffer;
        Inflate(input, writer);
        if (End != Buffer)
            RaiseMalformed();
    }
}

void CZrleInflater::Inflate(CByteSource& input, CFrameWriter& writer) {
    End += Stream.Inflate(End, size_t(Buffer + Capacity - End), input, writer);
    if (Stream.Ended())
        RaiseMalformed(); // the stream runs for the whole connection: it may not end
}

} // namespace dova
