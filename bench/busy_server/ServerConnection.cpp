#include "ServerConnection.h"

#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace busy {

namespace {

// How often a blocked read looks at the deadline.
constexpr int PollMs = 200;

} // namespace

ServerConnection::~ServerConnection() {
    Tls.reset(); // before the descriptor it speaks on
    close(Fd);
}

bool ServerConnection::WaitReadable() {
    for (;;) {
        if (Over(Deadline))
            return false;
        if (Tls && Tls->Pending())
            return true;
        pollfd pfd{Fd, POLLIN, 0};
        const int ready = poll(&pfd, 1, PollMs);
        if (ready < 0 && errno != EINTR)
            return false;
        if (ready > 0)
            return true;
    }
}

bool ServerConnection::Read(void* to, size_t size) {
    auto* p = static_cast<uint8_t*>(to);
    while (size > 0) {
        if (!WaitReadable())
            return false;
        if (Tls) {
            // Clients send whole messages: once one byte is there, the rest follows.
            const std::vector<uint8_t> got = Tls->Receive(size);
            if (got.size() != size)
                return false;
            std::memcpy(p, got.data(), size);
            return true;
        }
        const ssize_t n = recv(Fd, p, size, 0);
        if (n <= 0)
            return false;
        p += n;
        size -= size_t(n);
    }
    return true;
}

bool ServerConnection::Write(const void* from, size_t size) {
    auto* p = static_cast<const uint8_t*>(from);
    if (Tls)
        return Tls->Send(p, size);
    while (size > 0) {
        const ssize_t n = send(Fd, p, size, MSG_NOSIGNAL);
        if (n <= 0) {
            // A send time-out lets a client that stopped reading be dropped at the deadline.
            if (n < 0 && (errno == EINTR || errno == EAGAIN) && !Over(Deadline))
                continue;
            return false;
        }
        p += n;
        size -= size_t(n);
        PlainBytes += uint64_t(n);
    }
    return true;
}

bool ServerConnection::Skip(size_t size) {
    uint8_t sink[256];
    while (size > 0) {
        const size_t part = std::min(size, sizeof sink);
        if (!Read(sink, part))
            return false;
        size -= part;
    }
    return true;
}

bool ServerConnection::StartTls() {
    Tls = std::make_unique<latis_test::TlsServerSide>(Fd);
    return Tls->Handshake();
}

} // namespace busy
