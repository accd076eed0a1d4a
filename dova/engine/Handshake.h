#pragma once
// The RFB handshake as this viewer performs it: it always announces version 3.4 (answered by servers
// with the 3.3 handshake), lets the server choose no authentication or VNC authentication, asks the
// host for a missing password, reads ServerInit and announces its pixel format and encodings.

#include <cstdint>
#include <string>

namespace dova {

class CViewerState;
class CCoolSocket;

// What the viewer announces, whatever the server offers.
inline constexpr char ClientVersion[] = "RFB 003.004\n";
inline constexpr size_t VersionLength = 12;
// A refusal reason is a line of text for the user; longer ones are not read.
inline constexpr uint32_t MaxFailureReasonLength = 4096;

namespace security_types {
inline constexpr uint32_t Failed = 0;
inline constexpr uint32_t VncAuthentication = 2;
} // namespace security_types

// Runs on the connect thread with the socket in state.Socket; returns once connected (State
// 0xF0000, HostMessage::Connected posted), or raises an engine exception.
void RunHandshake(CViewerState& state);
// The steps after the TCP connection, from the version exchange on, over a connected socket.
void RunHandshakeOn(CViewerState& state, CCoolSocket& socket);

} // namespace dova
