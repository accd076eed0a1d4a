#pragma once
// The connection as the session's byte source and sink: exact blocking reads and whole writes on the
// CCoolSocket, with its read and write locks. It keeps no read-ahead window, so every byte passes
// through CCoolSocket::ReadBytes and stream-coding routing stays exact.

#include "../base/ByteSource.h"

namespace dova {

class CCoolSocket;

class CSocketTransport : public CByteSource, public IByteSink {
public:
    explicit CSocketTransport(CCoolSocket& socket);

    uint8_t PeekByte() override;
    CLockable& ReadLock() override;
    void Write(const void* buffer, size_t length) override;
    CLockable& WriteLock() override;

    CCoolSocket& Socket() { return Connection; }

protected:
    const uint8_t* TakeSlow(size_t n) override;

private:
    CCoolSocket& Connection;
};

} // namespace dova
