#include "ViewerWindow.h"

#include <QApplication>
#include <QDir>
#include <QGuiApplication>
#include <QInputDialog>
#include <QMessageBox>
#include <QScreen>
#include <QVBoxLayout>

#include <QStandardPaths>
#include <QTimer>

#include <cstdio>

using namespace dova;

namespace {
// The store the application and dova-snap use: $XDG_DATA_HOME/latisvnc/known-certificates.
QString DefaultKnownCertificates() {
    const QString data = qEnvironmentVariable("XDG_DATA_HOME");
    const QString base =
        data.startsWith(QLatin1Char('/')) ? data : QDir::homePath() + QStringLiteral("/.local/share");
    return base + QStringLiteral("/latisvnc/known-certificates");
}
} // namespace

ViewerWindow::ViewerWindow(IVNCViewer& viewer, const ViewerOptions& options)
    : Viewer(viewer), Options(options) {
    QWidget* view = nullptr;
    Viewer.get_Window(&view);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(view);
    setWindowTitle(QStringLiteral("dova-viewer - %1").arg(Options.Server));
    resize(640, 480);
    Viewer.Advise(this);
    if (Options.ViewOnly) {
        Viewer.put_RelayKeys(VNC_FALSE);
        Viewer.put_RelayMouse(VNC_FALSE);
        Viewer.put_RelayLocalClipboard(VNC_FALSE);
    }
    // Codecs before the pixel format: with Tight or ZRLE among them 32 bits per pixel asks for depth 24.
    if (!Options.Encodings.isEmpty())
        for (int32_t slot = 0; slot < 16; ++slot)
            Viewer.put_Codecs(slot, slot < Options.Encodings.size() ? Options.Encodings[slot] : -1);
    Viewer.put_QualityLevel(Options.QualityLevel);
    Viewer.put_CompressLevel(Options.CompressLevel);
    Viewer.put_Encryption(Options.Encryption);
    Viewer.put_UserName(Options.User);
    Viewer.put_KnownCertificates(Options.KnownCertificates.isEmpty() ? DefaultKnownCertificates()
                                                                     : Options.KnownCertificates);
    if (Options.BitsPerPixel != 0)
        Viewer.put_BitsPerPixel(int16_t(Options.BitsPerPixel));
    if (Options.ScaleNumerator != Options.ScaleDenominator) {
        Viewer.StretchX(Options.ScaleNumerator, Options.ScaleDenominator, nullptr);
        Viewer.StretchY(Options.ScaleNumerator, Options.ScaleDenominator, nullptr);
        Viewer.put_Stretch(VNC_TRUE);
    }
}

ViewerWindow::~ViewerWindow() {
    // The component is our child widget and still alive here; it goes with QWidget's destructor.
    Viewer.Unadvise(this);
}

bool ViewerWindow::Open() {
    VNCVariant result;
    Viewer.Connect(Options.Server, VNCVariant(),
                   Options.HasPassword ? VNCVariant(Options.Password) : VNCVariant(), VNCVariant(), &result);
    return result.ToInt32() == 0;
}

void ViewerWindow::FitToImage() {
    int32_t width = 0, height = 0;
    Viewer.get_ViewWidth(&width);
    Viewer.get_ViewHeight(&height);
    const QScreen* shown = screen();
    QSize size(width, height);
    if (shown)
        size = size.boundedTo(shown->availableGeometry().size() * 9 / 10);
    if (!size.isEmpty())
        resize(size);
}

void ViewerWindow::Connected(QString& ServerName) {
    QString security;
    Viewer.get_Security(&security);
    VNCBool encrypted = VNC_FALSE;
    Viewer.get_Encrypted(&encrypted);
    std::fprintf(stderr, "dova-viewer: connected to %s\nSecurity: %s\n", qPrintable(ServerName),
                 qPrintable(security));
    setWindowTitle(QStringLiteral("%1 - dova-viewer%2")
                       .arg(ServerName, encrypted ? QStringLiteral(" (encrypted)") : QString()));
    setToolTip(security);
    Viewer.Start(nullptr);
    if (!Options.FullScreen)
        FitToImage();
}

void ViewerWindow::Disconnected() {
    if (!Failed)
        QApplication::quit();
}

void ViewerWindow::Password() {
    if (Options.HasPassword)
        return; // the one given was refused; the server will say so
    bool given = false;
    const QString password = QInputDialog::getText(this, QStringLiteral("dova-viewer"),
                                                   QStringLiteral("Password for %1:").arg(Options.Server),
                                                   QLineEdit::Password, QString(), &given);
    if (given)
        Viewer.put_Password(password);
}

void ViewerWindow::Error(int32_t Number, QString& Message, const VNCVariant&) {
    if (Number == dovaErrorCertificateUnknown && !TrustAsked) {
        // Asked once: remembered on yes (or at once with --accept-new), then connected again.
        TrustAsked = true;
        QString fingerprint;
        Viewer.get_CertificateFingerprint(&fingerprint);
        std::fprintf(stderr, "dova-viewer: %s\n", qPrintable(Message));
        const bool trust =
            Options.AcceptNew ||
            QMessageBox::question(this, QStringLiteral("dova-viewer"),
                                  QStringLiteral("The server's certificate is not known:\n%1\n\n"
                                                 "Trust it and remember it?")
                                      .arg(fingerprint)) == QMessageBox::Yes;
        if (trust) {
            VNCVariant stored;
            Viewer.TrustCertificate(fingerprint, VNC_TRUE, &stored);
            if (stored.ToInt32() != 0)
                Viewer.TrustCertificate(fingerprint, VNC_FALSE, nullptr);
            QTimer::singleShot(0, this, [this] { Open(); });
            return;
        }
    }
    Failed = true;
    std::fprintf(stderr, "dova-viewer: error %d: %s\n", int(Number), qPrintable(Message));
    QMessageBox::critical(this, QStringLiteral("dova-viewer"),
                          QStringLiteral("%1 (%2)").arg(Message).arg(Number));
    QApplication::exit(1);
}

void ViewerWindow::Warning(int32_t Number, QString& Message, const VNCVariant&) {
    qWarning("warning %d: %s", int(Number), qPrintable(Message));
}
