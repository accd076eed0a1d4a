#include "SocketTransport.h"

#include "CoolSocket.h"

namespace dova {

CSocketTransport::CSocketTransport(CCoolSocket& socket) : Connection(socket) {}

const uint8_t* CSocketTransport::TakeSlow(size_t n) {
    uint8_t* buffer = Scratch(n);
    Connection.ReadBytes(buffer, n);
    return buffer;
}

uint8_t CSocketTransport::PeekByte() {
    return Connection.ReadByte(CCoolSocket::PeekFlag);
}

CLockable& CSocketTransport::ReadLock() {
    return Connection.ReadLock();
}

void CSocketTransport::Write(const void* buffer, size_t length) {
    Connection.WriteBytes(buffer, length);
}

CLockable& CSocketTransport::WriteLock() {
    return Connection.WriteLock();
}

} // namespace dova
