#pragma once
// The engine's failures. Every failure inside the engine is one of these, thrown by value and caught
// by reference; worker threads catch them at their top and queue a copy for the host.

#include <cstdint>
#include <exception>
#include <string>

namespace dova {

enum class ExceptionLevel : int32_t { Quiet = 1, Warning = 2, Error = 3 };

class CSimpleException : public std::exception {
public:
    CSimpleException(int32_t code, std::string message, ExceptionLevel level, int32_t cause = 0)
        : Code(code), Message(std::move(message)), Level(level), Cause(cause) {}
    ~CSimpleException() override = default;

    const char* what() const noexcept override { return Message.c_str(); }

    int32_t Code;
    std::string Message;
    ExceptionLevel Level;
    // What lay behind a network failure (causes:: below), 0 when nothing more is known. Lets a host
    // tell an operator why without reading the message text.
    int32_t Cause;
};

class CQuietException : public CSimpleException {
public:
    CQuietException() : CSimpleException(0, std::string(), ExceptionLevel::Quiet) {}
};

class CWarningException : public CSimpleException {
public:
    CWarningException(int32_t code, std::string message)
        : CSimpleException(code, std::move(message), ExceptionLevel::Warning) {}
};

class CErrorException : public CSimpleException {
public:
    CErrorException(int32_t code, std::string message, int32_t cause = 0)
        : CSimpleException(code, std::move(message), ExceptionLevel::Error, cause) {}
};

// Error and warning numbers, as the component reports them to its host.
namespace codes {
inline constexpr int32_t SocketInit = 2;
inline constexpr int32_t SocketCreate = 3;
inline constexpr int32_t SocketNoAddress = 4;
inline constexpr int32_t SocketConnect = 5;
inline constexpr int32_t SocketClosed = 15;
inline constexpr int32_t SocketRead = 241;
inline constexpr int32_t SocketWrite = 242;
inline constexpr int32_t Handshake = 512;
inline constexpr int32_t HandshakeAuth = 513;
inline constexpr int32_t HandshakeTimeout = 514;
inline constexpr int32_t Encryption = 520;         // TLS or its negotiation failed
inline constexpr int32_t EncryptionRequired = 521; // encryption required, the server offers none
inline constexpr int32_t CertificateUnknown = 522; // a certificate nobody has confirmed yet
inline constexpr int32_t CertificateChanged = 523; // not the certificate remembered for the server
inline constexpr int32_t HandshakeAuthCancelled = 767;
inline constexpr int32_t ProtocolSync = 1298;
inline constexpr int32_t Validity = 4096;
} // namespace codes

// Causes of network failures, as the component reports them with an error.
namespace causes {
inline constexpr int32_t None = 0;
inline constexpr int32_t Refused = 1;     // nothing listens on the port
inline constexpr int32_t Unreachable = 2; // no route, no answer, or the peer stopped answering
inline constexpr int32_t Silent = 3;      // connected, but the peer sent nothing in time
} // namespace causes

namespace texts {
inline constexpr const char* SocketInit = "Error Initializing Winsock 2.0";
inline constexpr const char* SocketCreate = "Error creating socket";
inline constexpr const char* SocketNoAddress = "Failed to resolve server/host address";
inline constexpr const char* SocketConnect = "Failed to connect to server/host";
inline constexpr const char* SocketClosed = "Connection closed.";
inline constexpr const char* SocketRead = "CCoolSocket::ReadBytes: Socket error while reading.";
inline constexpr const char* SocketWrite = "CCoolSocket::WriteBytes: Socket error while writing.";
inline constexpr const char* NagleOff = "Error disabling Nagle's algorithm";
inline constexpr const char* LingerOff = "Error disabling socket lingering";
inline constexpr const char* PasswordIncorrect = "The password was incorrect.";
inline constexpr const char* HandshakeTimeout = "The server stopped answering during the handshake.";
inline constexpr const char* AuthCancelled = "Password authentication cancelled.";
inline constexpr const char* ProtocolSync = "Out of sync or malformed server message.";
} // namespace texts

} // namespace dova
