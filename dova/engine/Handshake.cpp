#include "Handshake.h"

#include "../base/EngineExceptions.h"
#include "CoolSocket.h"
#include "Des.h"
#include "RfbProtocol.h"
#include "ServerInit.h"
#include "StreamCoding.h"
#include "VeNCrypt.h"
#include "ViewerState.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>

namespace dova {

namespace {

// What the operator reads when a server refuses without saying why.
constexpr const char* RefusedWithoutReason = "The server refused the connection.";
constexpr const char* UserOrPasswordIncorrect = "The user name or password was incorrect.";

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

// The password, asking the host when none is set; a cancel ends the attempt.
std::string RequirePassword(CViewerState& state, CCoolSocket& socket) {
    std::string password = CopyPassword(state);
    if (password.empty()) {
        // The user's typing does not count against the server's time.
        const auto asked = std::chrono::steady_clock::now();
        password = AskHostForPassword(state);
        socket.ExtendReceiveDeadline(std::chrono::steady_clock::now() - asked);
        if (password.empty()) {
            socket.CloseByOwner(true);
            state.State = states::NotConnected;
            throw CWarningException(codes::HandshakeAuthCancelled, texts::AuthCancelled);
        }
    }
    return password;
}

// Password, challenge and response; the caller reads the result, whose form depends on the version.
void AnswerVncChallenge(CViewerState& state, CCoolSocket& socket) {
    std::string password = RequirePassword(state, socket);
    {
        CLockGuard hold(state);
        if (!state.Security.Encrypted)
            state.Security.Description = "VNC authentication (not encrypted)";
    }

    uint8_t challenge[VncChallengeSize];
    socket.ReadBytes(challenge, sizeof challenge);
    // The password's bytes as held (UTF-8, the local code page on Linux).
    VncEncryptChallenge(challenge, password);
    std::fill(password.begin(), password.end(), '\0');
    socket.WriteBytes(challenge, sizeof challenge);
}

void AuthenticateVnc(CViewerState& state, CCoolSocket& socket) {
    AnswerVncChallenge(state, socket);
    if (socket.ReadUInt32() != 0)
        throw CErrorException(codes::HandshakeAuth, texts::PasswordIncorrect);
}

// A u32 length and that much text: why the server turned us away.
std::string ReadReason(CCoolSocket& socket) {
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
    return reason;
}

bool IsBlank(const std::string& text) {
    return text.find_first_not_of(" \t\r\n") == std::string::npos;
}

[[noreturn]] void RaiseServerRefusal(CCoolSocket& socket) {
    const std::string reason = ReadReason(socket);
    // An empty reason would leave the operator a blank message.
    throw CErrorException(codes::Handshake, IsBlank(reason) ? RefusedWithoutReason : reason);
}

// The minor version of "RFB xxx.yyy\n" (4.0 and later count as the newest we know); 0 when the text
// is not a version.
int VersionRank(const char* text) {
    if (std::strncmp(text, "RFB ", 4) != 0 || text[7] != '.')
        return 0;
    int major = 0, minor = 0;
    for (int i = 4; i < 7; ++i) {
        if (text[i] < '0' || text[i] > '9')
            return 0;
        major = major * 10 + (text[i] - '0');
    }
    for (int i = 8; i < 11; ++i) {
        if (text[i] < '0' || text[i] > '9')
            return 0;
        minor = minor * 10 + (text[i] - '0');
    }
    if (major < 3)
        return 0;
    return major > 3 ? NewestMinorVersion : minor;
}

// The security-type list of 3.7 and 3.8: the first of the types we speak, in the server's order of
// preference. The result follows for every type in 3.8, for VNC authentication only in 3.7. True
// when the server accepted a user name and password (Plain inside VeNCrypt).
bool NegotiateSecurity(CViewerState& state, CCoolSocket& socket, int minor) {
    const uint8_t count = socket.ReadByte();
    if (count == 0)
        RaiseServerRefusal(socket);
    uint8_t offered[255];
    socket.ReadBytes(offered, count);
    EncryptionPolicy policy;
    {
        CLockGuard hold(state);
        policy = state.Encryption.Policy;
    }
    uint8_t chosen = EncryptedSecurityType(offered, count, policy);
    for (unsigned i = 0; i < count && !chosen; ++i)
        if (offered[i] == security_types::None || offered[i] == security_types::VncAuthentication)
            chosen = offered[i];
    if (!chosen)
        throw CErrorException(codes::Handshake, "The server offers no security type this viewer supports.");
    socket.WriteBytes(&chosen, 1);
    InnerAuthentication inner = InnerAuthentication::None;
    if (chosen == security_types::VeNCrypt) {
        // Everything from here on, the result included, travels inside TLS.
        inner = NegotiateVeNCrypt(state, socket, [&] { return RequirePassword(state, socket); });
        if (inner == InnerAuthentication::Vnc)
            AnswerVncChallenge(state, socket);
    } else if (chosen == security_types::VncAuthentication) {
        AnswerVncChallenge(state, socket);
    } else if (minor < NewestMinorVersion) {
        return false;
    }
    if (socket.ReadUInt32() == 0)
        return inner == InnerAuthentication::Plain;
    const std::string reason = minor >= NewestMinorVersion ? ReadReason(socket) : std::string();
    if (chosen == security_types::VncAuthentication || inner == InnerAuthentication::Vnc)
        throw CErrorException(codes::HandshakeAuth, IsBlank(reason) ? texts::PasswordIncorrect : reason);
    if (inner == InnerAuthentication::Plain)
        throw CErrorException(codes::HandshakeAuth, IsBlank(reason) ? UserOrPasswordIncorrect : reason);
    throw CErrorException(codes::Handshake, IsBlank(reason) ? RefusedWithoutReason : reason);
}

// Version, security, ClientInit and ServerInit: the part of the handshake in which the server must
// keep talking.
// Version, security and ServerInit. False when a server that wants 3.7 or later turned the 3.3
// handshake away: the caller asks again on a new connection in the server's terms.
bool ExchangeUntilServerInit(CViewerState& state, CCoolSocket& socket, HandshakeDialect dialect,
                             char (&version)[VersionLength + 1]) {
    socket.ReadBytes(version, VersionLength);
    {
        CLockGuard hold(state);
        state.ServerVersionText.assign(version, VersionLength);
    }
    const int serverMinor = VersionRank(version);
    EncryptionPolicy policy;
    {
        CLockGuard hold(state);
        policy = state.Encryption.Policy;
        state.Security = SecurityOutcome();
        state.Security.Description = "None (not encrypted)";
    }
    // Encryption is negotiated in the 3.7/3.8 handshake only; an older server offers none.
    if (policy == EncryptionPolicy::Require && serverMinor < 7) {
        socket.CloseByOwner(true);
        throw CErrorException(codes::EncryptionRequired, EncryptionRequiredText);
    }
    bool plainAccepted = false;
    if ((dialect == HandshakeDialect::Negotiated || policy != EncryptionPolicy::Off) && serverMinor >= 7) {
        const int minor = std::min(serverMinor, NewestMinorVersion);
        socket.WriteBytes(minor >= NewestMinorVersion ? NewestClientVersion : ClientVersion37, VersionLength);
        plainAccepted = NegotiateSecurity(state, socket, minor);
    } else {
        socket.WriteBytes(ClientVersion, VersionLength);
        const bool mayRetry = dialect == HandshakeDialect::Classic && serverMinor >= 7;
        uint8_t answer[4];
        try {
            // A 3.3 type is a small big-endian number, so its first byte is zero. A newer server may
            // answer with its own type list, whose first byte is the count: only two or three bytes,
            // so waiting for four would wait for ever.
            answer[0] = socket.ReadByte();
            if (mayRetry && answer[0] != 0)
                return false;
            socket.ReadBytes(answer + 1, 3);
        } catch (const CErrorException& failure) {
            // A newer server may simply hang up on a version it does not take.
            if (mayRetry && failure.Code == codes::SocketClosed)
                return false;
            throw;
        }
        const uint32_t security = (uint32_t(answer[0]) << 24) | (uint32_t(answer[1]) << 16) |
                                  (uint32_t(answer[2]) << 8) | uint32_t(answer[3]);
        const bool known = security == security_types::None || security == security_types::VncAuthentication;
        // A refusal or a type 3.3 does not know, from a server that speaks a newer version: asked again
        // in its terms.
        if (mayRetry && !known)
            return false;
        if (security == security_types::Failed)
            RaiseServerRefusal(socket);
        if (!known) {
            // Taking it for "no authentication" would read the server's next bytes as ServerInit.
            char text[120];
            std::snprintf(text, sizeof text,
                          "The server asks for security type %u, which this viewer does not support.",
                          unsigned(security));
            throw CErrorException(codes::Handshake, text);
        }
        if (security == security_types::VncAuthentication)
            AuthenticateVnc(state, socket);
    }

    bool shared;
    {
        CLockGuard hold(state);
        shared = state.Shared;
    }
    const uint8_t clientInit = shared ? 1 : 0;
    try {
        socket.WriteBytes(&clientInit, 1);
        ReadServerInit(state, socket);
    } catch (const CErrorException& failure) {
        // wayvnc 0.5 refuses a wrong user name or password with a result whose first four bytes
        // read as success, a length and stray bytes, then hangs up: what follows Plain's "success"
        // is then no ServerInit.
        if (plainAccepted && (failure.Code == codes::Validity || failure.Code == codes::SocketClosed))
            throw CErrorException(codes::HandshakeAuth, UserOrPasswordIncorrect);
        throw;
    }
    return true;
}

std::chrono::steady_clock::time_point HandshakeDeadline(CViewerState& state) {
    CLockGuard hold(state);
    return std::chrono::steady_clock::now() + state.Limits.HandshakeSilence;
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
    // One deadline for both connections: a server asking for the second must not double the time.
    const auto deadline = HandshakeDeadline(state);
    if (RunHandshakeOn(state, socket, HandshakeDialect::Classic, deadline))
        return;
    // Turned away by a server that wants 3.7 or later: once more on a new connection, in its terms.
    socket.Reconnect();
    RunHandshakeOn(state, socket, HandshakeDialect::Negotiated, deadline);
}

bool RunHandshakeOn(CViewerState& state, CCoolSocket& socket, HandshakeDialect dialect,
                    std::chrono::steady_clock::time_point deadline) {
    state.Clipboard.Reset(); // whether this server takes part is learnt anew
    // A hung or trickling server must not hold the attempt for ever: the whole exchange has one
    // deadline. It ends with ServerInit: from then on a quiet server is normal (a static screen) and
    // keep-alive watches the connection instead.
    socket.SetReceiveDeadline(deadline == std::chrono::steady_clock::time_point() ? HandshakeDeadline(state)
                                                                                  : deadline);
    char version[VersionLength + 1] = {};
    try {
        if (!ExchangeUntilServerInit(state, socket, dialect, version))
            return false;
    } catch (const CErrorException& failure) {
        if (failure.Cause != causes::Silent)
            throw;
        throw CErrorException(codes::HandshakeTimeout, texts::HandshakeTimeout, causes::Silent);
    }
    socket.SetReceiveDeadline(std::chrono::steady_clock::time_point());

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
    return true;
}

} // namespace dova
