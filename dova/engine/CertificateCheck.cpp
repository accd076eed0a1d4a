#include "CertificateCheck.h"

#include "../base/EngineExceptions.h"
#include "CoolSocket.h"
#include "TrustStore.h"
#include "ViewerState.h"

namespace dova {

std::string CheckServerCertificate(CViewerState& state, CCoolSocket& socket) {
    EncryptionSettings settings;
    {
        CLockGuard hold(state);
        settings = state.Encryption;
    }
    CTlsChannel& channel = *socket.Channel();
    const std::string fingerprint = channel.PeerFingerprint();
    {
        CLockGuard hold(state);
        state.Security.Fingerprint = fingerprint;
    }
    auto verified = [&](bool byUser) {
        CLockGuard hold(state);
        state.Security.Verified = byUser;
    };
    if (fingerprint.empty())
        throw CErrorException(codes::Encryption, "The server showed no certificate.");

    std::string why;
    if (channel.VerifyPeer(socket.Host(), why)) {
        verified(true);
        return "certificate verified by a certificate authority";
    }

    const std::string address = CTrustStore::Address(socket.Host(), socket.Port());
    const CTrustStore store(settings.KnownCertificatesFile);
    const std::string known = store.Lookup(address);
    if (known == fingerprint) {
        verified(true);
        return "certificate verified by pin " + fingerprint;
    }
    if (!known.empty()) {
        socket.CloseByOwner(true);
        throw CErrorException(codes::CertificateChanged,
                              "WARNING: the certificate of " + address + " has CHANGED. It is now " +
                                  fingerprint + ", but " + known +
                                  " was remembered. Someone may be intercepting the connection, which was "
                                  "refused. If the server's certificate was replaced on purpose, remove its "
                                  "line from " +
                                  settings.KnownCertificatesFile + ".");
    }
    if (!settings.AcceptedFingerprint.empty() && settings.AcceptedFingerprint == fingerprint) {
        verified(false);
        return "certificate " + fingerprint + " accepted by the user for this session";
    }
    if (settings.AcceptNew) {
        if (!store.Remember(address, fingerprint))
            throw CErrorException(codes::CertificateUnknown, "The certificate " + fingerprint +
                                                                 " could not be remembered in " +
                                                                 settings.KnownCertificatesFile + ".");
        verified(true);
        return "certificate verified by pin " + fingerprint + " (new, remembered)";
    }
    socket.CloseByOwner(true);
    throw CErrorException(codes::CertificateUnknown, "The server's certificate is not known and needs "
                                                     "confirmation (" +
                                                         why + "): " + fingerprint);
}

} // namespace dova
