#pragma once
// Server bytes from memory and client messages into memory: the transport of the decoder benchmarks,
// the fuzzer and thread-free tests. Running out of bytes behaves like a server that closed the
// connection ("Connection closed.").

#include "../base/ByteSource.h"
#include "../base/WindowedSource.h"
#include "CoolSocket.h"

#include <cstddef>
#include <cstdint>
#include <random>
#include <vector>

namespace dova {

// Bytes in memory as code outside a byte source reads them (CCoolSocket stream routing).
class IMemoryFeed {
public:
    virtual ~IMemoryFeed() = default;
    // Up to n bytes, 0 at the end.
    virtual size_t ReadSome(uint8_t* buffer, size_t n, bool peek) = 0;
};

class CMemorySource : public CByteSource, public IMemoryFeed {
public:
    CMemorySource() = default;
    CMemorySource(const uint8_t* data, size_t size) { Reset(data, size); }

    // Reads start over on these bytes (not copied: they must outlive the reads).
    void Reset(const uint8_t* data, size_t size) {
        WindowAt = data;
        WindowEnd = data + size;
    }
    size_t Remaining() const { return size_t(WindowEnd - WindowAt); }

    uint8_t PeekByte() override;
    CLockable& ReadLock() override { return Reading; }

    size_t ReadSome(uint8_t* buffer, size_t n, bool peek) override;

protected:
    [[noreturn]] const uint8_t* TakeSlow(size_t n) override;

private:
    CLockable Reading;
};

// Server bytes from memory through the socket's read-ahead window, arriving the way a network delivers
// them: each receive brings a chunk of up to MaxChunk bytes, of random size when Seed is set. Running
// out of bytes fails as a closed connection does.
class CChunkedSource : public CWindowedSource, public IMemoryFeed {
public:
    struct Delivery {
        size_t MaxChunk = SIZE_MAX; // 1: a byte per receive
        bool RandomSizes = false;
        uint32_t Seed = 1;
        size_t Window = size_t(128) << 10;
    };
    CChunkedSource(const uint8_t* data, size_t size, const Delivery& delivery);

    CLockable& ReadLock() override { return Reading; }
    // What the feed has not handed over for good yet (read ahead or not yet arrived).
    size_t Remaining() const { return size_t(End - Position); }
    size_t ReadSome(uint8_t* buffer, size_t n, bool peek) override;

protected:
    size_t Receive(uint8_t* buffer, size_t capacity, bool peek) override;
    void Drop(uint8_t* at, size_t n) override;

private:
    const uint8_t* Position;
    const uint8_t* End;
    Delivery Plan;
    std::minstd_rand Chunks;
    CLockable Reading;
};

// Routes a CCoolSocket's reads to a memory feed, so code that reads the socket itself (ServerInit)
// shares one stream with the session's reader.
class CMemoryStreamSource : public IStreamSource {
public:
    explicit CMemoryStreamSource(IMemoryFeed& source) : Source(source) {}
    long ReadExact(uint8_t* buffer, size_t length, int flags) override;
    uint32_t TotalIn() override { return Total; }

private:
    IMemoryFeed& Source;
    uint32_t Total = 0;
};

class CMemorySink : public IByteSink {
public:
    // Keeps at most limit bytes; later writes are counted but not kept.
    explicit CMemorySink(size_t limit = 1 << 20) : Limit(limit) {}
    void Write(const void* buffer, size_t length) override;
    CLockable& WriteLock() override { return Writing; }

    const std::vector<uint8_t>& Bytes() const { return Written; }
    size_t TotalWritten() const { return Total; }
    void Clear() {
        Written.clear();
        Total = 0;
    }

private:
    CLockable Writing;
    std::vector<uint8_t> Written;
    size_t Limit;
    size_t Total = 0;
};

} // namespace dova
