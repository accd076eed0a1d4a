#include "Handshake.h"

#include "../base/EngineExceptions.h"
#include "CoolSocket.h"
#include "Des.h"
#include "RfbProtocol.h"
#include "ServerInit.h"
#include "StreamCoding.h"
#include "ViewerState.h"

#include <cstdio>
#include <cstring>

namespace dova {

namespace {

// What the operator reads when a server refuses without saying why.
constexpr const char* RefusedWithoutReason = "The server refused the connection.";

std::string CopyPassword(CViewerState& state) {
    CLockGuard hold(state);
    return state.Password;
}

// Asks the host for a password and waits for its answer. The wait ends also when the viewer stops
// (CancelPasswordWait), since the thread that would answer may be the one stopping it.
std::string AskHostForPassword(CViewerState& state) {
    state.PasswordEvent.Reset();
    if (!state.PasswordCancelled) {
        state.Post(HostMessage::Password);
        state.PasswordEvent.Wait();
    }
    if (state.PasswordCancelled)
        return std::string();
    return CopyPassword(state);
}

void AuthenticateVnc(CViewerState& state, CCoolSocket& socket) {
    std::string password = CopyPassword(state);
    if (password.empty()) {
        password = AskHostForPassword(state);
        if (password.empty()) {
            socket.CloseByOwner(true);
            state.State = states::NotConnected;
            throw CWarningException(codes::HandshakeAuthCancelled, texts::AuthCancelled);
        }
    }

    uint8_t challenge[VncChallengeSize];
    socket.ReadBytes(challenge, sizeof challenge);
    // The password's bytes as held (UTF-8, the local code page on Linux).
    VncEncryptChallenge(challenge, password);
    std::fill(password.begin(), password.end(), '\0');
    socket.WriteBytes(challenge, sizeof challenge);

    if (socket.ReadUInt32() != 0)
        throw CErrorException(codes::HandshakeAuth, texts::PasswordIncorrect);
}

[[noreturn]] void RaiseServerRefusal(CCoolSocket& socket) {
    const uint32_t length = socket.ReadUInt32();
    if (length > MaxFailureReasonLength) {
        char text[160];
        std::snprintf(text, sizeof text,
                      "The server refused the connection (reason text of %u bytes not read).",
                      unsigned(length));
        socket.CloseByOwner(true);
        throw CErrorException(codes::Handshake, text);
    }
    std::string reason(length, '\0');
    socket.ReadBytes(reason.data(), reason.size());
    // An empty reason would leave the operator a blank message.
    if (reason.find_first_not_of(" \t\r\n") == std::string::npos)
        reason = RefusedWithoutReason;
    throw CErrorException(codes::Handshake, reason);
}

} // namespace

void RunHandshake(CViewerState& state) {
    CCoolSocket* connection = state.Socket.load();
    if (!connection)
        throw CErrorException(codes::SocketCreate, texts::SocketCreate);
    CCoolSocket& socket = *connection;

    // A cancel left from an earlier attempt of this viewer must not cancel this one. A stop from now
    // on cancels again; a stop before this point closed the socket, which ends Connect at once.
    state.PasswordCancelled = false;

    std::string host;
    int32_t port;
    {
        CLockGuard hold(state);
        host = state.Server; // UTF-8, the local code page on Linux
        port = state.Port;
        state.State = states::Handshaking;
    }
    socket.Connect(host, port);
    RunHandshakeOn(state, socket);
}

void RunHandshakeOn(CViewerState& state, CCoolSocket& socket) {
    char version[VersionLength + 1] = {};
    socket.ReadBytes(version, VersionLength);
    {
        CLockGuard hold(state);
        state.ServerVersionText.assign(version, VersionLength);
    }
    socket.WriteBytes(ClientVersion, VersionLength);

    const uint32_t security = socket.ReadUInt32();
    if (security == security_types::Failed)
        RaiseServerRefusal(socket);
    if (security == security_types::VncAuthentication)
        AuthenticateVnc(state, socket);
    // Any other type: the server asks for no authentication.

    bool shared;
    {
        CLockGuard hold(state);
        shared = state.Shared;
    }
    const uint8_t clientInit = shared ? 1 : 0;
    socket.WriteBytes(&clientInit, 1);

    ReadServerInit(state, socket);

    CRfbProtocol protocol(state, socket);
    StartCompatibleStream(state, socket, protocol);

    PixelFormat format;
    {
        CLockGuard hold(state);
        format = state.CurrentPixelFormat;
    }
    protocol.SendSetPixelFormat(format);
    protocol.SendSetEncodings();

    // Connected before the host hears of it: once told, the host may start the session and move the
    // state on, and a later store here would undo that. A close in the meantime (state 0) stays.
    int32_t handshaking = states::Handshaking;
    state.State.compare_exchange_strong(handshaking, states::Connected);
    {
        CLockGuard hold(state);
        // The version as text, up to a NUL the server may have put in it.
        state.ServerVersion = std::string(version, std::strlen(version));
        state.Post(HostMessage::Connected);
    }
}

} // namespace dova
