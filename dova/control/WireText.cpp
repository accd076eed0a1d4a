#include "WireText.h"

#include <QRegularExpression>
#include <QStringDecoder>
#include <QStringEncoder>

namespace dova {

namespace {
constexpr const char* WireCodePage = "windows-1254";
}

std::string ToWireText(const QString& text) {
    QStringEncoder encoder(WireCodePage, QStringEncoder::Flag::Stateless);
    const QByteArray bytes = encoder.isValid() ? QByteArray(encoder(text)) : text.toLatin1();
    return std::string(bytes.constData(), size_t(bytes.size()));
}

QString FromWireText(const std::string& bytes, bool utf8) {
    QStringDecoder decoder(utf8 ? "UTF-8" : WireCodePage, QStringDecoder::Flag::Stateless);
    QString text = decoder.isValid() ? QString(decoder(QByteArrayView(bytes.data(), qsizetype(bytes.size()))))
                                     : QString::fromLatin1(bytes.data(), qsizetype(bytes.size()));
    // The engine has already turned each LF into CR LF, so a Windows server's CR LF arrives as
    // CR CR LF: any run of CRs before an LF is one line end.
    static const QRegularExpression lineEnd(QStringLiteral("\r+\n"));
    text.replace(lineEnd, QStringLiteral("\n"));
    text.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    return text;
}

} // namespace dova
