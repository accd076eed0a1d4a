#include "MemoryTransport.h"

#include "../base/EngineExceptions.h"

#include <algorithm>

namespace dova {

const uint8_t* CMemorySource::TakeSlow(size_t) {
    WindowAt = WindowEnd; // a short message is consumed, as a closed connection would leave it
    throw CErrorException(codes::SocketClosed, texts::SocketClosed);
}

uint8_t CMemorySource::PeekByte() {
    if (WindowAt == WindowEnd)
        throw CErrorException(codes::SocketClosed, texts::SocketClosed);
    return *WindowAt;
}

size_t CMemorySource::ReadSome(uint8_t* buffer, size_t n, bool peek) {
    const size_t count = std::min(n, Remaining());
    if (count)
        std::memcpy(buffer, WindowAt, count);
    if (!peek)
        WindowAt += count;
    return count;
}

CChunkedSource::CChunkedSource(const uint8_t* data, size_t size, const Delivery& delivery)
    : CWindowedSource(delivery.Window), Position(data), End(data + size), Plan(delivery),
      Chunks(delivery.Seed) {
    if (Plan.MaxChunk == 0)
        Plan.MaxChunk = 1;
}

size_t CChunkedSource::Receive(uint8_t* buffer, size_t capacity, bool peek) {
    size_t count = std::min({capacity, Remaining(), Plan.MaxChunk});
    if (count == 0)
        throw CErrorException(codes::SocketClosed, texts::SocketClosed);
    if (Plan.RandomSizes)
        count = 1 + Chunks() % count;
    std::memcpy(buffer, Position, count);
    if (!peek)
        Position += count;
    return count;
}

void CChunkedSource::Drop(uint8_t*, size_t n) {
    Position += std::min(n, Remaining());
}

size_t CChunkedSource::ReadSome(uint8_t* buffer, size_t n, bool peek) {
    const size_t count = std::min(n, Remaining());
    if (count)
        std::memcpy(buffer, Position, count);
    if (!peek)
        Position += count;
    return count;
}

long CMemoryStreamSource::ReadExact(uint8_t* buffer, size_t length, int flags) {
    const size_t got = Source.ReadSome(buffer, length, (flags & CCoolSocket::PeekFlag) != 0);
    if (!(flags & CCoolSocket::PeekFlag))
        Total += uint32_t(got);
    return long(got);
}

void CMemorySink::Write(const void* buffer, size_t length) {
    const auto* bytes = static_cast<const uint8_t*>(buffer);
    const size_t keep = std::min(length, Limit - std::min(Limit, Written.size()));
    Written.insert(Written.end(), bytes, bytes + keep);
    Total += length;
}

} // namespace dova
