// Encryption properties of the viewer and the operator's answer to an unknown certificate.
#include "VNCViewer.h"

#include "engine/TrustStore.h"

namespace dova {

namespace {
QString FromUtf8(const std::string& text) {
    return QString::fromUtf8(text.data(), qsizetype(text.size()));
}

template <typename T> VNCStatus GiveValue(T* out, const T& value) {
    if (!out)
        return VNC_E_POINTER;
    *out = value;
    return VNC_S_OK;
}
} // namespace

VNCStatus CVNCViewer::get_Encryption(int32_t* value) {
    CLockGuard hold(*State);
    return GiveValue(value, int32_t(State->Encryption.Policy));
}
VNCStatus CVNCViewer::put_Encryption(int32_t value) {
    if (value < dovaEncryptionOff || value > dovaEncryptionRequire)
        return VNC_E_INVALIDARG;
    CLockGuard hold(*State);
    State->Encryption.Policy = EncryptionPolicy(value);
    return VNC_S_OK;
}
VNCStatus CVNCViewer::get_UserName(QString* value) {
    CLockGuard hold(*State);
    return GiveValue(value, FromUtf8(State->Encryption.UserName));
}
VNCStatus CVNCViewer::put_UserName(const QString& value) {
    CLockGuard hold(*State);
    State->Encryption.UserName = value.toStdString();
    return VNC_S_OK;
}
VNCStatus CVNCViewer::get_KnownCertificates(QString* value) {
    CLockGuard hold(*State);
    return GiveValue(value, FromUtf8(State->Encryption.KnownCertificatesFile));
}
VNCStatus CVNCViewer::put_KnownCertificates(const QString& value) {
    CLockGuard hold(*State);
    State->Encryption.KnownCertificatesFile = value.toStdString();
    return VNC_S_OK;
}
VNCStatus CVNCViewer::get_CertificateAuthorities(QString* value) {
    CLockGuard hold(*State);
    return GiveValue(value, FromUtf8(State->Encryption.AuthorityFile));
}
VNCStatus CVNCViewer::put_CertificateAuthorities(const QString& value) {
    CLockGuard hold(*State);
    State->Encryption.AuthorityFile = value.toStdString();
    return VNC_S_OK;
}
VNCStatus CVNCViewer::get_Security(QString* value) {
    CLockGuard hold(*State);
    return GiveValue(value, FromUtf8(State->Security.Description));
}
VNCStatus CVNCViewer::get_Encrypted(VNCBool* value) {
    CLockGuard hold(*State);
    return GiveValue(value, State->Security.Encrypted ? VNC_TRUE : VNC_FALSE);
}
VNCStatus CVNCViewer::get_ServerVerified(VNCBool* value) {
    CLockGuard hold(*State);
    return GiveValue(value, State->Security.Verified ? VNC_TRUE : VNC_FALSE);
}
VNCStatus CVNCViewer::get_CertificateFingerprint(QString* value) {
    CLockGuard hold(*State);
    return GiveValue(value, FromUtf8(State->Security.Fingerprint));
}

VNCStatus CVNCViewer::TrustCertificate(const QString& Fingerprint, VNCBool Remember, VNCVariant* retVal) {
    const std::string fingerprint = Fingerprint.trimmed().toStdString();
    auto answer = [retVal](int32_t value) {
        if (retVal)
            *retVal = VNCVariant(value);
        return VNC_S_OK;
    };
    if (fingerprint.rfind("SHA256:", 0) != 0 || fingerprint.size() != 7 + 64)
        return VNC_E_INVALIDARG;
    CLockGuard hold(*State);
    if (!Remember) {
        State->Encryption.AcceptedFingerprint = fingerprint;
        return answer(0);
    }
    const CTrustStore store(State->Encryption.KnownCertificatesFile);
    if (State->Encryption.KnownCertificatesFile.empty() ||
        !store.Remember(CTrustStore::Address(State->Server, State->Port), fingerprint))
        return answer(-1);
    return answer(0);
}

} // namespace dova
