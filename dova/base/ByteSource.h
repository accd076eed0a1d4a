#pragma once
// Where the session reads server bytes from and writes client messages to. In production both are the
// connection (CSocketTransport); benchmarks and the fuzzer put a memory buffer in their place, so the
// decoders are measured and exercised without a socket.
//
// CByteSource keeps a window of bytes that can be taken without blocking. Take() serves from that
// window inline and only falls back to the virtual slow path when the window is short, so a decoder
// pays no virtual call per small read when the bytes are already in memory. A socket fills its window
// with whatever has arrived (CWindowedSource).

#include "Lockable.h"

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

namespace dova {

class CByteSource {
public:
    CByteSource() = default;
    CByteSource(const CByteSource&) = delete;
    CByteSource& operator=(const CByteSource&) = delete;
    virtual ~CByteSource() = default;

    // The next n bytes; the pointer stays valid until the next Take, ReadInto or Scratch call.
    // Blocks until they have arrived; failures are the socket's engine exceptions.
    const uint8_t* Take(size_t n) {
        if (size_t(WindowEnd - WindowAt) >= n) {
            const uint8_t* at = WindowAt;
            WindowAt += n;
            return at;
        }
        return TakeSlow(n);
    }
    void ReadInto(void* buffer, size_t n) {
        if (HasBuffered(n)) {
            if (n)
                std::memcpy(buffer, WindowAt, n);
            WindowAt += n;
            return;
        }
        ReadIntoSlow(buffer, n);
    }
    uint8_t ReadU8() { return *Take(1); }
    uint16_t ReadU16() {
        const uint8_t* b = Take(2);
        return uint16_t((b[0] << 8) | b[1]);
    }
    uint32_t ReadU32() {
        const uint8_t* b = Take(4);
        return (uint32_t(b[0]) << 24) | (uint32_t(b[1]) << 16) | (uint32_t(b[2]) << 8) | uint32_t(b[3]);
    }
    // True when n bytes can be taken without waiting for the network.
    bool HasBuffered(size_t n) const { return size_t(WindowEnd - WindowAt) >= n; }

    // Looks at the next byte without consuming it; blocks until it has arrived.
    virtual uint8_t PeekByte() = 0;
    // Held by a decoder across a whole rectangle so its payload is read as one unit.
    virtual CLockable& ReadLock() = 0;

    // A message ends here: a source that reads ahead lets its connection drop the bytes taken so far,
    // so the connection's counts are current.
    virtual void Commit() {}
    // Code that reads the connection itself comes next (ServerInit, stream coding): bytes read ahead
    // go back, so the connection's next byte is the first one not taken here.
    virtual void HandBack() {}

    // A buffer of at least size bytes. When it is too small the old one is released and exactly
    // size bytes are allocated; it never shrinks and lives as long as the source.
    uint8_t* Scratch(size_t size) {
        if (ScratchBuffer.size() < size) {
            ScratchBuffer.clear();
            ScratchBuffer.shrink_to_fit();
            ScratchBuffer.resize(size);
        }
        return ScratchBuffer.data();
    }
    size_t ScratchCapacity() const { return ScratchBuffer.size(); }

protected:
    // Called when the window holds fewer than n bytes.
    virtual const uint8_t* TakeSlow(size_t n) = 0;
    virtual void ReadIntoSlow(void* buffer, size_t n) { std::memcpy(buffer, TakeSlow(n), n); }

    const uint8_t* WindowAt = nullptr;
    const uint8_t* WindowEnd = nullptr;

private:
    std::vector<uint8_t> ScratchBuffer;
};

class IByteSink {
public:
    virtual ~IByteSink() = default;
    // Writes all bytes in one message; failures are the socket's engine exceptions.
    virtual void Write(const void* buffer, size_t length) = 0;
    // Held across writes that must stay together on the wire.
    virtual CLockable& WriteLock() = 0;
};

} // namespace dova
