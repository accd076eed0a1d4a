#pragma once
// The RFB handshake as this viewer performs it: it announces version 3.4 (answered by servers with the
// 3.3 handshake) and lets the server choose no authentication or VNC authentication. A server of 3.7
// or later that turns that away, answers with its own type list or asks for another type is asked
// again on a new connection in its own terms, choosing from its security-type list. Then the host is asked
// for a missing password, ServerInit is read and the viewer's pixel format and encodings are announced.

#include <chrono>
#include <cstdint>
#include <string>

namespace dova {

class CViewerState;
class CCoolSocket;

// What the viewer announces first, whatever the server offers.
inline constexpr char ClientVersion[] = "RFB 003.004\n";
// What it announces on the second connection to a newer server (3.7 to a 3.7 server).
inline constexpr char NewestClientVersion[] = "RFB 003.008\n";
inline constexpr char ClientVersion37[] = "RFB 003.007\n";
inline constexpr int NewestMinorVersion = 8;
inline constexpr size_t VersionLength = 12;
// A refusal reason is a line of text for the user; longer ones are not read.
inline constexpr uint32_t MaxFailureReasonLength = 4096;

namespace security_types {
inline constexpr uint32_t Failed = 0;
inline constexpr uint32_t None = 1;
inline constexpr uint32_t VncAuthentication = 2;
} // namespace security_types

enum class HandshakeDialect {
    Classic,   // announce 3.4; a newer server turning it away is returned, not raised
    Negotiated // announce 3.8 (3.7 to a 3.7 server) and choose from the security-type list
};

// Runs on the connect thread with the socket in state.Socket; returns once connected (State
// 0xF0000, HostMessage::Connected posted), or raises an engine exception.
void RunHandshake(CViewerState& state);
// The steps after the TCP connection, from the version exchange on, over a connected socket. True
// once connected; false (Classic only) when a server of 3.7 or later refused the 3.3 handshake, or
// answered or hung up in a way that cannot be 3.3, and wants the negotiated one on a new connection.
// The exchange must end by the deadline (default: the handshake limit from now).
bool RunHandshakeOn(CViewerState& state, CCoolSocket& socket,
                    HandshakeDialect dialect = HandshakeDialect::Classic,
                    std::chrono::steady_clock::time_point deadline = {});

} // namespace dova
