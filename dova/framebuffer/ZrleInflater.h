#pragma once
// The zlib stream a ZRLE connection keeps from its first rectangle to its last, inflated into one
// buffer the tile decoder reads straight from, as the tiles need the bytes.

#include "DeflateStream.h"

#include <cstddef>
#include <cstdint>

namespace dova {

class CZrleInflater {
public:
    // Room for the largest single read of a tile: a raw tile at 4 bytes a pixel.
    static constexpr size_t LargestRead = 4 * 64 * 64;
    // Bytes after the inflated ones that may always be read (they hold nothing meaningful), so a
    // decoder can parse a run or a pixel before checking that it stayed within End().
    static constexpr size_t ReadSlack = 32;

    CZrleInflater();
    CZrleInflater(const CZrleInflater&) = delete;
    CZrleInflater& operator=(const CZrleInflater&) = delete;

    void BeginRectangle(uint32_t compressedLength);

    // The next n inflated bytes (n <= LargestRead), valid until the next call that inflates; error
    // 1298 when the rectangle does not hold them.
    const uint8_t* Need(size_t n, CByteSource& input, CFrameWriter& writer) {
        if (size_t(End - At) < n)
            Refill(n, input, writer);
        const uint8_t* at = At;
        At += n;
        return at;
    }

    // Inflated bytes ready at At()..End(); Reserve makes at least n of them ready when the rectangle
    // still holds that many, otherwise all it holds. Advance(to) consumes up to to (<= End()).
    const uint8_t* Cursor() const { return At; }
    const uint8_t* Limit() const { return End; }
    void Advance(const uint8_t* to) { At = Buffer + (to - Buffer); }
    void Reserve(size_t n, CByteSource& input, CFrameWriter& writer);

    // After the last tile: the rest of the rectangle's compressed bytes (a flush marker) must inflate
    // to nothing.
    void EndRectangle(CByteSource& input, CFrameWriter& writer);

private:
    void Refill(size_t n, CByteSource& input, CFrameWriter& writer);
    // Moves the unread bytes to the front and inflates until n are there or the rectangle runs out.
    void TopUp(size_t n, CByteSource& input, CFrameWriter& writer);
    // One inflate call into the free part of the buffer.
    void Inflate(CByteSource& input, CFrameWriter& writer);

    static constexpr size_t Capacity = 64 * 1024;

    CDeflateStream Stream;
    uint8_t* At;
    uint8_t* End;
    uint8_t Buffer[Capacity + ReadSlack] = {};
};

} // namespace dova
