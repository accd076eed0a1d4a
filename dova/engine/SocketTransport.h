#pragma once
// The connection as the session's byte source and sink. Reads go through a window that one receive
// fills with whatever has arrived (see CWindowedSource), so a Hextile tile costs no system call of its
// own. While a stream-coding plug-in is loaded the plug-in reads the socket itself, so nothing is read
// ahead then: every read is an exact CCoolSocket::ReadBytes, routed as the coding in force says.

#include "../base/WindowedSource.h"

namespace dova {

class CCoolSocket;

class CSocketTransport : public CWindowedSource, public IByteSink {
public:
    // Large enough that a 1080p update takes a few dozen receives, small enough to stay in cache.
    static constexpr size_t WindowSize = size_t(128) << 10;

    explicit CSocketTransport(CCoolSocket& socket);

    uint8_t PeekByte() override;
    CLockable& ReadLock() override;
    void Write(const void* buffer, size_t length) override;
    CLockable& WriteLock() override;

    CCoolSocket& Socket() { return Connection; }

protected:
    const uint8_t* TakeSlow(size_t n) override;
    void ReadIntoSlow(void* buffer, size_t n) override;
    size_t Receive(uint8_t* buffer, size_t capacity, bool peek) override;
    void Drop(uint8_t* at, size_t n) override;

private:
    // True while a plug-in is loaded; the window is empty then (handed back before the load).
    bool Exact() const;

    CCoolSocket& Connection;
};

} // namespace dova
