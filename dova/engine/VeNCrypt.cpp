#include "VeNCrypt.h"

#include "../base/EngineExceptions.h"
#include "CertificateCheck.h"
#include "CoolSocket.h"
#include "ViewerState.h"

#include <algorithm>
#include <vector>

namespace dova {

namespace {

using namespace vencrypt_subtypes;

constexpr uint8_t VersionMajor = 0;
constexpr uint8_t VersionMinor = 2;

// Strength of a subtype: certificate over anonymous TLS; 0 for what is never chosen.
int Rank(uint32_t subtype, bool haveUserName) {
    switch (subtype) {
    case X509Vnc:
    case X509None:
        return 2;
    case X509Plain:
        return haveUserName ? 2 : 0;
    case TLSVnc:
    case TLSNone:
        return 1;
    case TLSPlain:
        return haveUserName ? 1 : 0;
    default:
        return 0;
    }
}

bool IsCertificateSubtype(uint32_t subtype) {
    return subtype == X509None || subtype == X509Vnc || subtype == X509Plain;
}

InnerAuthentication InnerOf(uint32_t subtype) {
    switch (subtype) {
    case TLSVnc:
    case X509Vnc:
        return InnerAuthentication::Vnc;
    case TLSPlain:
    case X509Plain:
        return InnerAuthentication::Plain;
    default:
        return InnerAuthentication::None;
    }
}

[[noreturn]] void Refuse(CCoolSocket& socket, const std::string& text) {
    socket.CloseByOwner(true);
    throw CErrorException(codes::Encryption, text);
}

void PutU32(std::vector<uint8_t>& out, uint32_t value) {
    for (int shift = 24; shift >= 0; shift -= 8)
        out.push_back(uint8_t(value >> shift));
}

void SendPlainCredentials(CCoolSocket& socket, const std::string& user, std::string password) {
    std::vector<uint8_t> message;
    message.reserve(8 + user.size() + password.size());
    PutU32(message, uint32_t(user.size()));
    PutU32(message, uint32_t(password.size()));
    message.insert(message.end(), user.begin(), user.end());
    message.insert(message.end(), password.begin(), password.end());
    socket.WriteBytes(message.data(), message.size());
    std::fill(message.begin(), message.end(), uint8_t(0));
    std::fill(password.begin(), password.end(), '\0');
}

} // namespace

uint8_t EncryptedSecurityType(const uint8_t* offered, unsigned count, EncryptionPolicy policy) {
    if (policy == EncryptionPolicy::Off)
        return 0;
    if (std::find(offered, offered + count, security_types::VeNCrypt) != offered + count)
        return security_types::VeNCrypt;
    if (policy == EncryptionPolicy::Require)
        throw CErrorException(codes::EncryptionRequired, EncryptionRequiredText);
    return 0;
}

uint32_t ChooseVeNCryptSubtype(const uint32_t* offered, size_t count, bool haveUserName) {
    uint32_t best = 0;
    int bestRank = 0;
    for (size_t i = 0; i < count; ++i) {
        const int rank = Rank(offered[i], haveUserName);
        if (rank > bestRank) {
            best = offered[i];
            bestRank = rank;
        }
    }
    return best;
}

const char* VeNCryptSubtypeName(uint32_t subtype) {
    switch (subtype) {
    case Plain:
        return "Plain";
    case TLSNone:
        return "TLSNone";
    case TLSVnc:
        return "TLSVnc";
    case TLSPlain:
        return "TLSPlain";
    case X509None:
        return "X509None";
    case X509Vnc:
        return "X509Vnc";
    case X509Plain:
        return "X509Plain";
    default:
        return "unknown";
    }
}

InnerAuthentication NegotiateVeNCrypt(CViewerState& state, CCoolSocket& socket,
                                      const std::function<std::string()>& password) {
    uint8_t version[2];
    socket.ReadBytes(version, sizeof version);
    if (version[0] != VersionMajor || version[1] < VersionMinor)
        Refuse(socket, "The server speaks VeNCrypt " + std::to_string(version[0]) + "." +
                           std::to_string(version[1]) + "; this viewer speaks 0.2.");
    const uint8_t answer[2] = {VersionMajor, VersionMinor};
    socket.WriteBytes(answer, sizeof answer);
    if (socket.ReadByte() != 0)
        Refuse(socket, "The server refused VeNCrypt version 0.2.");

    const uint8_t count = socket.ReadByte();
    uint32_t offered[255];
    for (unsigned i = 0; i < count; ++i)
        offered[i] = socket.ReadUInt32();
    std::string user;
    {
        CLockGuard hold(state);
        user = state.Encryption.UserName;
    }
    const uint32_t chosen = ChooseVeNCryptSubtype(offered, count, !user.empty());
    if (!chosen) {
        const bool wantsUser =
            std::any_of(offered, offered + count, [](uint32_t t) { return t == TLSPlain || t == X509Plain; });
        Refuse(socket, wantsUser ? "The server asks for a user name and password; no user name is set."
                                 : "The server offers no VeNCrypt subtype this viewer supports.");
    }
    const uint8_t choice[4] = {uint8_t(chosen >> 24), uint8_t(chosen >> 16), uint8_t(chosen >> 8),
                               uint8_t(chosen)};
    socket.WriteBytes(choice, sizeof choice);
    if (socket.ReadByte() != 1)
        Refuse(socket,
               std::string("The server refused the VeNCrypt subtype ") + VeNCryptSubtypeName(chosen) + ".");

    std::string authorities;
    {
        CLockGuard hold(state);
        authorities = state.Encryption.AuthorityFile;
    }
    const bool certificate = IsCertificateSubtype(chosen);
    socket.StartTls(certificate ? TlsMode::Certificate : TlsMode::Anonymous, socket.Host(), authorities);
    std::string identity = certificate ? CheckServerCertificate(state, socket)
                                       : "anonymous TLS: the server's identity is not verified";
    {
        CLockGuard hold(state);
        state.Security.Encrypted = true;
        state.Security.Description = std::string("VeNCrypt ") + VeNCryptSubtypeName(chosen) + ", " +
                                     socket.Channel()->Details() + ", " + identity;
    }

    const InnerAuthentication inner = InnerOf(chosen);
    if (inner == InnerAuthentication::Plain)
        SendPlainCredentials(socket, user, password());
    return inner;
}

} // namespace dova
