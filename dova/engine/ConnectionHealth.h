#pragma once
// How a connection notices a peer that is gone. A computer that loses power or its network sends
// nothing, not even a reset, so without these limits a blocked receive would wait for ever.
// After the handshake silence alone is never a failure (a static screen may rightly send nothing
// for hours): TCP keep-alive probes the peer instead, and the user time-out bounds how long sent
// data or probes may stay unanswered. Before ServerInit the server must keep talking.

#include <chrono>
#include <cstdint>

namespace dova {

struct ConnectionLimits {
    // Probing starts after this much quiet, repeats at the interval, and gives up after the probes.
    std::chrono::seconds KeepAliveIdle{10};
    std::chrono::seconds KeepAliveInterval{5};
    int KeepAliveProbes = 3;
    // Unacknowledged data or unanswered probes end the connection after this long (about 30 s
    // after the peer went away, well inside the 45 s an operator will wait for a tile to say so).
    std::chrono::milliseconds UserTimeout{30000};
    // Longest the whole handshake may take, from the version exchange to ServerInit (time spent on
    // the password prompt not counted).
    std::chrono::milliseconds HandshakeSilence{20000};
};

// Switches keep-alive and the user time-out on for a connected TCP socket. Best effort: a socket
// that refuses an option still works, it only notices a vanished peer later.
void ApplyKeepAlive(int descriptor, const ConnectionLimits& limits);

// Bounds every receive on the socket to the given time; zero waits without limit.
void SetReceiveLimit(int descriptor, std::chrono::milliseconds limit);

// The cause (causes:: in EngineExceptions.h) behind a failed connect, send or receive, from errno.
int32_t FailureCause(int error);

} // namespace dova
