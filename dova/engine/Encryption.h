#pragma once
// What a viewer wants of encryption and what its connection got. The settings are copied from the
// component's properties; the outcome is written by the handshake and read by the host.

#include <cstdint>
#include <string>

namespace dova {

enum class EncryptionPolicy : int32_t {
    Off = 0,     // the classic handshake only: no encryption is ever negotiated
    Prefer = 1,  // encrypted where the server offers it, as before where it does not
    Require = 2, // a server that offers no encryption is refused
};

struct EncryptionSettings {
    EncryptionPolicy Policy = EncryptionPolicy::Off;
    std::string UserName;              // for Plain authentication inside TLS
    std::string KnownCertificatesFile; // trust on first use store; empty: none
    std::string AuthorityFile;         // PEM authorities trusted beside the system's; empty: none
    // A fingerprint the operator accepted for this viewer without remembering it.
    std::string AcceptedFingerprint;
    // An unknown certificate is remembered and accepted without asking (dova-snap --accept-new).
    bool AcceptNew = false;
};

struct SecurityOutcome {
    bool Encrypted = false;
    bool Verified = false; // the server's identity: by an authority or by a remembered fingerprint
    std::string
        Description; // e.g. "VeNCrypt X509Vnc, TLS1.3, AES-256-GCM, certificate verified by pin SHA256:..."
    std::string Fingerprint; // the server's certificate, when it showed one
};

} // namespace dova
