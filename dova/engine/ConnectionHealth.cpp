#include "ConnectionHealth.h"

#include "../base/EngineExceptions.h"

#include <cerrno>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <sys/time.h>

namespace dova {

void ApplyKeepAlive(int descriptor, const ConnectionLimits& limits) {
    const int on = 1;
    const int idle = int(limits.KeepAliveIdle.count());
    const int interval = int(limits.KeepAliveInterval.count());
    const int probes = limits.KeepAliveProbes;
    const unsigned userTimeout = unsigned(limits.UserTimeout.count());
    ::setsockopt(descriptor, SOL_SOCKET, SO_KEEPALIVE, &on, sizeof on);
    ::setsockopt(descriptor, IPPROTO_TCP, TCP_KEEPIDLE, &idle, sizeof idle);
    ::setsockopt(descriptor, IPPROTO_TCP, TCP_KEEPINTVL, &interval, sizeof interval);
    ::setsockopt(descriptor, IPPROTO_TCP, TCP_KEEPCNT, &probes, sizeof probes);
    ::setsockopt(descriptor, IPPROTO_TCP, TCP_USER_TIMEOUT, &userTimeout, sizeof userTimeout);
}

void SetReceiveLimit(int descriptor, std::chrono::milliseconds limit) {
    timeval wait{};
    wait.tv_sec = time_t(limit.count() / 1000);
    wait.tv_usec = suseconds_t((limit.count() % 1000) * 1000);
    ::setsockopt(descriptor, SOL_SOCKET, SO_RCVTIMEO, &wait, sizeof wait);
}

int32_t FailureCause(int error) {
    switch (error) {
    case ECONNREFUSED:
        return causes::Refused;
    case ETIMEDOUT:
    case EHOSTUNREACH:
    case ENETUNREACH:
    case EHOSTDOWN:
    case ENETDOWN:
        return causes::Unreachable;
    case EAGAIN: // a receive limit ran out (EWOULDBLOCK is the same value on Linux)
        return causes::Silent;
    default:
        return causes::None;
    }
}

} // namespace dova
