#pragma once
// One client's socket for the bench server, plain or (after StartTls) inside anonymous TLS. Reads give
// up at the deadline or on SIGTERM; writes give up when the client stops reading past the deadline.

#include "TlsServerSide.h"

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>

namespace busy {

using Clock = std::chrono::steady_clock;

// True once SIGTERM or SIGINT asked the server to stop or the deadline passed.
bool Over(Clock::time_point deadline);

class ServerConnection {
public:
    ServerConnection(int fd, Clock::time_point deadline) : Fd(fd), Deadline(deadline) {}
    ~ServerConnection();
    ServerConnection(const ServerConnection&) = delete;
    ServerConnection& operator=(const ServerConnection&) = delete;

    // false at the deadline or when the peer went away.
    bool Read(void* to, size_t size);
    bool Write(const void* from, size_t size);
    bool Skip(size_t size);
    // The TLS handshake on the socket; everything after it travels encrypted. false when it failed.
    bool StartTls();
    bool Encrypted() const { return Tls != nullptr; }
    // Bytes put on the wire (TLS records included).
    uint64_t WireBytes() const { return Tls ? PlainBytes + Tls->WireBytesSent() : PlainBytes; }

private:
    bool WaitReadable();

    int Fd;
    Clock::time_point Deadline;
    std::unique_ptr<latis_test::TlsServerSide> Tls;
    uint64_t PlainBytes = 0;
};

} // namespace busy
