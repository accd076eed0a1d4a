#pragma once
// The maker's data shown by the about window and the "Yardım" menu.

#include <QString>
#include <QStringList>

namespace MakerInfo {

inline QString MakerName() {
    return QStringLiteral("TARNOVEX");
}
// Product name and version without the edition suffix of the main window's caption.
inline QString ProductNameAndVersion() {
    return QStringLiteral("LatisVNC s1.02.01");
}
inline QString WebAddress() {
    return QStringLiteral("http://www.tarnovex.com");
}
inline QString WebCaption() {
    return QStringLiteral("www.tarnovex.com");
}

// Lines after the program name in the scrolling information text.
inline QStringList LegalAndContactLines() {
    return {
        QString(),
        QStringLiteral("Copyright © TARNOVEX Bilişim"),
        QStringLiteral("Tüm hakları saklıdır."),
        QString(),
        QStringLiteral("Bu program lisans sözleşmesi ile"),
        QStringLiteral("korunmaktadır. İzinsiz çoğaltılması"),
        QStringLiteral("ve dağıtılması yasaktır."),
        QString(),
        QStringLiteral("İletişim:"),
        QStringLiteral("TARNOVEX Bilişim Hizmetleri"),
        QStringLiteral("Web : www.tarnovex.com"),
        QStringLiteral("E-posta : destek@tarnovex.com"),
        QString(),
        QStringLiteral("LatisVNC, RFB (VNC) protokolü ile"),
        QStringLiteral("birçok bilgisayarı aynı anda izler."),
    };
}

inline QStringList CreditLines() {
    return {
        QStringLiteral("LatisVNC"),
        QString(),
        QStringLiteral("Tasarım"),
        QStringLiteral("TARNOVEX"),
        QString(),
        QStringLiteral("Program"),
        QStringLiteral("TARNOVEX"),
        QStringLiteral("yazılım ekibi"),
        QString(),
        QStringLiteral("DOVA görüntüleyici"),
        QStringLiteral("TARNOVEX"),
        QString(),
        QStringLiteral("Teşekkürler"),
        QStringLiteral("RFB protokolü:"),
        QStringLiteral("RFC 6143"),
        QString(),
        QStringLiteral("Qt araç takımı"),
    };
}

} // namespace MakerInfo
