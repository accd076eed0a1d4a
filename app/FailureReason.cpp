#include "FailureReason.h"

#include "IVNCViewer.h"

using namespace dova;

namespace {

QString Unreachable() {
    return QStringLiteral("Bilgisayara ulaşılamıyor");
}
QString ConnectionLost() {
    return QStringLiteral("Bağlantı koptu");
}

int32_t CauseOf(const VNCVariant& cause) {
    return cause.IsMissing() ? int32_t(dovaCauseNone) : cause.ToInt32();
}

} // namespace

QString FailureReasonText(int number, const VNCVariant& cause) {
    const int32_t why = CauseOf(cause);
    switch (number) {
    case dovaErrorSocketNoAddress:
        return QStringLiteral("Bilgisayarın adresi bulunamadı");
    case dovaErrorSocketConnect:
        return why == dovaCauseRefused ? QStringLiteral("Bağlantı reddedildi") : Unreachable();
    case dovaErrorSocketClosed:
        return ConnectionLost();
    case dovaErrorSocketRead:
    case dovaErrorSocketWrite:
        return why == dovaCauseUnreachable ? Unreachable() : ConnectionLost();
    case dovaErrorHandshake:
        return QStringLiteral("Sunucu bağlantıyı kabul etmedi");
    case dovaErrorHandshakeAuth:
        return QStringLiteral("Şifre hatalı");
    case dovaErrorHandshakeTimeout:
        return QStringLiteral("Sunucu yanıt vermiyor");
    case dovaErrorEncryption:
        return QStringLiteral("Şifreli bağlantı kurulamadı");
    case dovaErrorEncryptionRequired:
        return QStringLiteral("Sunucu şifreli bağlantı sunmuyor");
    case dovaErrorCertificateUnknown:
        return CertificateApprovalText();
    case dovaErrorCertificateChanged:
        return QStringLiteral("UYARI: SUNUCUNUN SERTİFİKASI DEĞİŞMİŞ! Bağlantı reddedildi");
    case dovaErrorValidity:
        return QStringLiteral("Sunucunun ekranı gösterilemiyor");
    default:
        break;
    }
    if (number >= dovaErrorProtocolMin && number <= dovaErrorProtocolMax)
        return QStringLiteral("Sunucudan anlaşılmayan veri geldi");
    if (why == dovaCauseUnreachable)
        return Unreachable();
    return QStringLiteral("Bağlantı kurulamadı");
}

QString PasswordMissingText() {
    return QStringLiteral("Şifre gerekli\nBu bilgisayar şifre istiyor; kaydına şifresini girin");
}

bool IsNetworkFailure(int number) {
    return (number >= dovaErrorSocketMin && number <= dovaErrorSocketMax) ||
           (number >= dovaErrorConnectionMin && number <= dovaErrorConnectionMax) ||
           number == dovaErrorHandshakeTimeout;
}

QString CertificateApprovalText() {
    return QStringLiteral("Sertifika onayı gerekli");
}

QString SecurityBadgeText(bool encrypted, bool verified) {
    if (!encrypted)
        return QString();
    return verified ? QStringLiteral("Şifreli ✓") : QStringLiteral("Şifreli");
}

QString SecurityStateText(bool encrypted, bool verified) {
    if (!encrypted)
        return QStringLiteral("Şifresiz bağlantı");
    return verified ? QStringLiteral("Şifreli bağlantı, sunucunun kimliği doğrulandı")
                    : QStringLiteral("Şifreli bağlantı, sunucunun kimliği doğrulanmadı");
}
