#pragma once
// Server bytes from memory and client messages into memory: the transport of the decoder benchmarks,
// the fuzzer and thread-free tests. Running out of bytes behaves like a server that closed the
// connection ("Connection closed.").

#include "../base/ByteSource.h"
#include "CoolSocket.h"

#include <cstddef>
#include <cstdint>
#include <vector>

namespace dova {

class CMemorySource : public CByteSource {
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

    // For readers outside the source (CCoolSocket stream routing): up to n bytes, 0 at the end.
    size_t ReadSome(uint8_t* buffer, size_t n, bool peek);

protected:
    [[noreturn]] const uint8_t* TakeSlow(size_t n) override;

private:
    CLockable Reading;
};

// Routes a CCoolSocket's reads to a memory source, so code that reads the socket itself (ServerInit)
// shares one stream with the session's reader.
class CMemoryStreamSource : public IStreamSource {
public:
    explicit CMemoryStreamSource(CMemorySource& source) : Source(source) {}
    long ReadExact(uint8_t* buffer, size_t length, int flags) override;
    uint32_t TotalIn() override { return Total; }

private:
    CMemorySource& Source;
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
