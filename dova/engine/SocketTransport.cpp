#include "SocketTransport.h"

#include "CoolSocket.h"

namespace dova {

CSocketTransport::CSocketTransport(CCoolSocket& socket) : CWindowedSource(WindowSize), Connection(socket) {}

bool CSocketTransport::Exact() const {
    return Connection.StreamSource() != nullptr;
}

const uint8_t* CSocketTransport::TakeSlow(size_t n) {
    if (!Exact())
        return CWindowedSource::TakeSlow(n);
    uint8_t* buffer = Scratch(n);
    Connection.ReadBytes(buffer, n);
    return buffer;
}

void CSocketTransport::ReadIntoSlow(void* buffer, size_t n) {
    if (Exact())
        Connection.ReadBytes(buffer, n);
    else
        CWindowedSource::ReadIntoSlow(buffer, n);
}

uint8_t CSocketTransport::PeekByte() {
    if (Exact())
        return Connection.ReadByte(CCoolSocket::PeekFlag);
    return CWindowedSource::PeekByte();
}

size_t CSocketTransport::Receive(uint8_t* buffer, size_t capacity, bool peek) {
    return Connection.ReceiveSome(buffer, capacity, peek);
}

void CSocketTransport::Drop(uint8_t* at, size_t n) {
    Connection.DropPeeked(at, n);
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
