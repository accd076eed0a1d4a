#include "VNCPanel.h"

#include "ConnectPacer.h"
#include "ControlLibrary.h"
#include "Deployment.h"
#include "FailureReason.h"
#include "FolderTrust.h"
#include "ui/TurkishTexts.h"

#include <QFileInfo>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QRegularExpression>

#include <algorithm>

using namespace dova;

namespace {

constexpr int InitialSize = 160;
constexpr int TitleHeight = 20;
constexpr int InitialViewHeight = 110;
constexpr int ButtonMargin = 5;
constexpr int ViewerInset = 5;             // the viewer sits 5 pixels inside the view area when connected
constexpr int OffArea = -500;              // where the viewer waits while it has nothing to show
constexpr int StretchBase = 1024;          // the view area's width stands for 1024 remote pixels
constexpr int TileBitsPerPixel = 16;       // half the traffic of true colour, enough for a thumbnail
constexpr int TileFrameUpdateDelay = 2000; // one screen update every two seconds per tile
// Low bandwidth: JPEG needs true colour (servers send none at 8 or 16 bits per pixel).
constexpr int LowBandwidthTileBitsPerPixel = 32;

// JPEG quality for a tile that shows num/den of the remote screen's width: the smaller the tile, the
// less the eye can tell a lower quality from a better one. At an eighth or less the tile's reduced
// frame is made of each 8 x 8 JPEG block's average alone (decompressed at an eighth): the detail
// better qualities pay for in bytes and decoding is never shown.
int TileJpegQuality(int64_t num, int64_t den) {
    if (num * 8 <= den)
        return 1;
    if (num * 4 <= den)
        return 3;
    if (num * 2 <= den)
        return 5;
    return 7;
}

QString ConnectingText() {
    return QStringLiteral("Bağlanıyor...");
}
QString FullScreenCaption() {
    return QStringLiteral("Tam Ekran");
}
QString ReconnectCaption() {
    return QStringLiteral("Yeniden Bağlan");
}
QString ConfirmCertificateCaption() {
    return QStringLiteral("Sertifikayı Onayla");
}
QString CountdownText(long long seconds) {
    return QStringLiteral("Yeniden deneme: %1 sn").arg(seconds);
}
QString LibraryMissingText() {
    return QStringLiteral("Görüntüleme bileşeni (libdova.so) program klasöründe yok");
}
QString LibraryUnusableText() {
    return QStringLiteral("Program klasöründeki libdova.so bu sürümle uyumsuz ve değiştirilemedi");
}

// The port text as a whole number, when it is one (digits with an optional sign, within 32 bits).
bool PortNumber(const QString& text, int32_t& port) {
    static const QRegularExpression wholeNumber(QStringLiteral("^[+-]?[0-9]+$"));
    if (!wholeNumber.match(text).hasMatch())
        return false;
    bool ok = false;
    const int value = text.toInt(&ok, 10);
    if (ok)
        port = value;
    return ok;
}

} // namespace

TVNCPanel::TVNCPanel(QWidget* parent) : QFrame(parent) {
    setObjectName(QStringLiteral("TVNCPanel"));
    setFrameStyle(QFrame::NoFrame);
    resize(InitialSize, InitialSize);

    FViewArea = new QWidget(this);
    FViewArea->setObjectName(QStringLiteral("FViewArea"));
    FViewArea->setGeometry(0, TitleHeight, width(), InitialViewHeight);
    FViewArea->setEnabled(false);

    FButton = new QPushButton(FullScreenCaption(), this);
    FButton->setObjectName(QStringLiteral("FButton"));
    FButton->setGeometry(ButtonMargin, 131, width() - 2 * ButtonMargin, 24);
    FButton->setEnabled(false);
    connect(FButton, &QPushButton::clicked, this, &TVNCPanel::ButtonClick);

    FStatusLabel = new QLabel(ConnectingText(), FViewArea);
    FStatusLabel->setObjectName(QStringLiteral("FStatusLabel"));
    FStatusLabel->setWordWrap(true);
    FStatusLabel->setAlignment(Qt::AlignCenter);
    FStatusLabel->setGeometry(FViewArea->rect());

    FTitlePanel = new QLabel(this);
    FTitlePanel->setObjectName(QStringLiteral("FTitlePanel"));
    FTitlePanel->setAlignment(Qt::AlignCenter);
    QFont bold = FTitlePanel->font();
    bold.setBold(true);
    FTitlePanel->setFont(bold);
    FTitlePanel->setGeometry(0, 0, width(), TitleHeight);
    FSecurityBadge = new QLabel(FTitlePanel);
    FSecurityBadge->setObjectName(QStringLiteral("FSecurityBadge"));
    FSecurityBadge->hide();

    CreateViewer();
    PanelResize();
}

TVNCPanel::~TVNCPanel() {
    TConnectPacer::Instance().Cancel(this);
    CancelRetry();
    if (FViewer) {
        if (FViewerReady && FViewer->IsConnected()) {
            FViewer->Stop();
            FViewer->Disconnect();
        }
        FViewer->OnConnected = nullptr;
        FViewer->OnError = nullptr;
        FViewer->OnPassword = nullptr;
        FViewer.reset();
    }
}

void TVNCPanel::SetTitle(const QString& title) {
    FTitlePanel->setText(title);
}
QString TVNCPanel::Title() const {
    return FTitlePanel->text();
}

bool TVNCPanel::TryCreateViewer() {
    FViewer = TVNCViewer::Create(FViewArea);
    if (!FViewer || !FViewer->Widget()) {
        FViewer.reset();
        FViewerReady = false;
        return false;
    }
    FViewer->Widget()->setGeometry(OffArea, OffArea, FViewArea->width() - 2 * ViewerInset,
                                   FViewArea->height() - 2 * ViewerInset);
    FViewer->OnConnected = [this](TVNCViewer* sender, QString&) { ViewerConnected(sender); };
    FViewer->OnError = [this](TVNCViewer* sender, int number, QString& message, const VNCVariant& v1) {
        ViewerError(sender, number, message, v1);
    };
    FViewer->OnPassword = [this](TVNCViewer* sender) { ViewerPassword(sender); };
    FViewerReady = true;
    FViewer->SetStretch(true);
    FViewer->SetReducedFrame(true); // a thumbnail needs no more of the screen than it shows
    FViewer->SetBitsPerPixel(TileBitsPerPixel);
    FViewer->StretchX(FViewArea->width(), StretchBase);
    FViewer->StretchY(FViewArea->width(), StretchBase);
    FViewer->SetFrameUpdateDelay(TileFrameUpdateDelay);
    FViewer->SetScrollbars(dovaScrollbarNone);
    // A tile only watches: the operator's clipboard (a password, say) goes to no watched computer,
    // and no watched computer's copy replaces it.
    FViewer->SetRelayLocalClipboard(false);
    FViewer->SetRelayServerClipboard(false);
    FViewer->SetName(TileViewerName());
    FViewer->Widget()->show();
    return true;
}

void TVNCPanel::CreateViewer() {
    if (TryCreateViewer())
        return;
    const QString library = ControlLibraryPath();
    // A library another user could have planted is not loaded at all.
    if (QFileInfo::exists(library) && ControlLibraryTrustProblem(ProgramFolder()).isEmpty()) {
        RegisterControlLibrary(library);
        if (TryCreateViewer())
            return;
        // A library of an older build refuses this program: the program's own copy takes its place.
        if (ReplaceIncompatibleControlLibrary(library) && TryCreateViewer())
            return;
    }
    ShowNoViewerReason();
}

// Without a viewer the tile would look as if it were connecting for ever.
void TVNCPanel::ShowNoViewerReason() {
    const QString untrusted = ControlLibraryTrustProblem(ProgramFolder());
    if (!untrusted.isEmpty()) {
        FStatusLabel->setText(untrusted);
        return;
    }
    const QString library = ControlLibraryPath();
    if (const QString error = ControlLibraryLoadError(library);
        !error.isEmpty() && QFileInfo::exists(library)) {
        FStatusLabel->setText(QStringLiteral("Görüntüleme bileşeni yüklenemedi\n") + error);
        return;
    }
    FStatusLabel->setText(QFileInfo::exists(library) ? LibraryUnusableText() : LibraryMissingText());
}

void TVNCPanel::resizeEvent(QResizeEvent* event) {
    QFrame::resizeEvent(event);
    PanelResize();
}

void TVNCPanel::PanelResize() {
    FTitlePanel->setGeometry(0, 0, width(), TitleHeight);
    FViewArea->setGeometry(0, TitleHeight, width(), height() - 50);
    FStatusLabel->setGeometry(FViewArea->rect());
    FButton->setGeometry(ButtonMargin, height() - 27, width() - 2 * ButtonMargin, FButton->height());
    ApplyStretch();
}

// Both axes scale by the view area's width over 1024. Once the remote screen's size is known, both
// ratios come down (equally) until the whole screen fits the viewer's window, so wide screens and the
// bottom rows of 4:3 screens are not cut off.
void TVNCPanel::ApplyStretch() {
    if (!FViewerReady)
        return;
    int64_t num = FViewArea->width();
    int64_t den = StretchBase;
    if (FViewer->IsConnected()) {
        const int64_t fw = FViewer->FrameWidth();
        const int64_t fh = FViewer->FrameHeight();
        const int64_t roomW = FViewArea->width() - 2 * ViewerInset;
        const int64_t roomH = FViewArea->height() - 2 * ViewerInset;
        if (fw > 0 && fh > 0 && roomW > 0 && roomH > 0) {
            if (roomW * den < num * fw) {
                num = roomW;
                den = fw;
            }
            if (roomH * den < num * fh) {
                num = roomH;
                den = fh;
            }
        }
    }
    if (num <= 0)
        return; // a collapsed tile keeps its last ratio
    if (FLowBandwidth)
        FViewer->SetQualityLevel(TileJpegQuality(num, den));
    FViewer->StretchX(static_cast<int>(num), static_cast<int>(den));
    FViewer->StretchY(static_cast<int>(num), static_cast<int>(den));
}

void TVNCPanel::SetEncryption(int policy, const QString& knownCertificates) {
    FEncryption = policy;
    FKnownCertificates = knownCertificates;
    if (IVNCViewer* control = FViewerReady ? FViewer->Control() : nullptr) {
        control->put_Encryption(FEncryption);
        control->put_KnownCertificates(FKnownCertificates);
    }
}

void TVNCPanel::SetLowBandwidth(bool on) {
    FLowBandwidth = on;
    if (!on || !FViewerReady)
        return;
    // Tight first, then 32 bits per pixel: with Tight among the codecs that asks for depth 24.
    FViewer->PutCodecFirst(dovaCodecTight);
    FViewer->SetBitsPerPixel(LowBandwidthTileBitsPerPixel);
    ApplyStretch(); // chooses the JPEG quality for the tile's size
}

int TVNCPanel::ConnectWithArguments(TVNCViewer& viewer) const {
    int32_t port = 0;
    const VNCVariant portArgument = PortNumber(FPort, port) ? VNCVariant(port) : VNCVariant();
    if (IVNCViewer* control = viewer.Control()) {
        control->put_Encryption(FEncryption);
        control->put_KnownCertificates(FKnownCertificates);
        control->put_UserName(FUserName);
        if (!FAcceptedFingerprint.isEmpty())
            control->TrustCertificate(FAcceptedFingerprint, VNC_FALSE, nullptr);
    }
    return viewer.Connect(VNCVariant(FServer), portArgument, VNCVariant(FPassword));
}

void TVNCPanel::ConnectTo(const QString& Server, const QString& Port, const QString& Password) {
    if (!FViewerReady)
        return;
    CancelRetry();
    if (FViewer->IsConnected())
        FViewer->Disconnect();
    if (!Server.isEmpty())
        FServer = Server;
    if (!Port.isEmpty())
        FPort = Port;
    if (!Password.isEmpty())
        FPassword = Password;
    ConnectInTurn();
}

// A record without an address, or with a port no computer can listen on, is never tried: the control
// would wait without an address for ever, and wrap a port above 65535 to another one.
QString TVNCPanel::UnconnectableReason() const {
    int32_t port = 0;
    if (FServer.isEmpty())
        return QStringLiteral(
            "IP adresi yok\nBu bilgisayarın kaydında IP adresi yok; Bilgisayar Kayıtları'ndan "
            "girin");
    if (PortNumber(FPort, port) && (port < 1 || port > 65535))
        return QStringLiteral("Port geçersiz\nKayıttaki port (%1) 1 ile 65535 arasında olmalı").arg(FPort);
    return QString();
}

// The tile's own attempts take their turn at the pacer; the arguments are read when the turn comes.
void TVNCPanel::ConnectInTurn() {
    if (const QString reason = UnconnectableReason(); !reason.isEmpty()) {
        CancelRetry();
        FFailureText = reason;
        FStatusLabel->setText(reason);
        FStatusLabel->show();
        FButton->setText(ReconnectCaption());
        FButton->setEnabled(false); // nothing to retry until the record changes
        return;
    }
    TConnectPacer::Instance().Request(this, [this] {
        if (FViewer)
            ConnectWithArguments(*FViewer);
    });
}

void TVNCPanel::ViewerConnected(TVNCViewer* Sender) {
    Sender->Start();
    if (Sender->Name() != TileViewerName())
        return;
    FSchedule.Reset();
    CancelRetry();
    FStatusLabel->hide();
    QWidget* w = FViewer->Widget();
    w->show();
    FButton->setText(FullScreenCaption());
    w->setGeometry(ViewerInset, ViewerInset, w->parentWidget()->width() - 2 * ViewerInset,
                   w->parentWidget()->height() - 2 * ViewerInset);
    FButton->setEnabled(true);
    ApplyStretch();
    SetTileState(TTileState::Connected);
    ShowSecurityState();
}

void TVNCPanel::ShowSecurityState() {
    IVNCViewer* control = FViewer ? FViewer->Control() : nullptr;
    VNCBool encrypted = VNC_FALSE, verified = VNC_FALSE;
    QString security;
    if (control) {
        control->get_Encrypted(&encrypted);
        control->get_ServerVerified(&verified);
        control->get_Security(&security);
    }
    FSecurityBadge->setText(SecurityBadgeText(encrypted, verified));
    FSecurityBadge->setStyleSheet(verified ? QStringLiteral("color: rgb(0, 120, 0);")
                                           : QStringLiteral("color: rgb(180, 90, 0);"));
    FSecurityBadge->setVisible(encrypted);
    FSecurityBadge->adjustSize();
    FSecurityBadge->move(FTitlePanel->width() - FSecurityBadge->width() - 2, 0);
    FTitlePanel->setToolTip(SecurityStateText(encrypted, verified) + u'\n' + security);
}

void TVNCPanel::ViewerError(TVNCViewer* Sender, int Number, const QString& Message, const VNCVariant& v1) {
    if (TConnectPacer::Instance().Waiting(this))
        return; // the attempt that failed is about to be replaced by the waiting one
    if (Number == dovaErrorCertificateUnknown && Sender == FViewer.get()) {
        // One question per tile and only when the operator asks for it: a wall of tiles opens no
        // dialogs by itself, and nothing retries until the certificate is answered.
        QString fingerprint;
        if (IVNCViewer* control = FViewer->Control())
            control->get_CertificateFingerprint(&fingerprint);
        ShowFailedLook(CertificateApprovalText() + u'\n' + fingerprint, false);
        FCertificatePending = true;
        FButton->setText(ConfirmCertificateCaption());
        return;
    }
    ShowFailedLook(FailureReasonText(Number, v1) + u'\n' + Message, IsNetworkFailure(Number));
    if (Number == dovaErrorHandshakeAuth)
        SetTileState(TTileState::PasswordNeeded);
}

TVNCPanel::CertificateAnswer TVNCPanel::AskAboutCertificate(const QString& fingerprint) {
    QMessageBox box(
        QMessageBox::Warning, QStringLiteral("Sertifika onayı"),
        QStringLiteral("%1 bilgisayarının sertifikası tanınmıyor.\n\nParmak izi (SHA-256):\n%2\n\n"
                       "Parmak izini bilgisayarın yöneticisinden öğrendiğinizle karşılaştırın.")
            .arg(Title(), fingerprint),
        QMessageBox::NoButton, window());
    QPushButton* remember = box.addButton(QStringLiteral("Güven ve hatırla"), QMessageBox::AcceptRole);
    QPushButton* once = box.addButton(QStringLiteral("Yalnızca bu sefer"), QMessageBox::YesRole);
    QPushButton* cancel = box.addButton(QStringLiteral("İptal"), QMessageBox::RejectRole);
    box.setDefaultButton(cancel);
    box.exec();
    if (box.clickedButton() == remember)
        return CertificateAnswer::Remember;
    if (box.clickedButton() == once)
        return CertificateAnswer::Once;
    return CertificateAnswer::Cancel;
}

void TVNCPanel::ConfirmCertificate() {
    IVNCViewer* control = FViewer ? FViewer->Control() : nullptr;
    if (!control)
        return;
    QString fingerprint;
    control->get_CertificateFingerprint(&fingerprint);
    const CertificateAnswer answer = AskAboutCertificate(fingerprint);
    if (answer == CertificateAnswer::Cancel)
        return;
    VNCVariant stored;
    control->TrustCertificate(fingerprint, answer == CertificateAnswer::Remember ? VNC_TRUE : VNC_FALSE,
                              &stored);
    // A store that cannot be written still lets the operator in this time.
    if (answer == CertificateAnswer::Once || stored.ToInt32() != 0)
        FAcceptedFingerprint = fingerprint;
    FCertificatePending = false;
    ShowConnectingLook();
    ConnectInTurn();
}

// The engine asks only when the control holds no password, so the record has none to give. The
// attempt could only end in the engine's quiet cancel (no Error), which would leave the tile
// connecting for ever: it is ended here and shown failed like any other.
void TVNCPanel::ViewerPassword(TVNCViewer* Sender) {
    if (Sender != FViewer.get() || !FPassword.isEmpty())
        return;
    Sender->Stop();
    ShowFailedLook(PasswordMissingText(), false);
    SetTileState(TTileState::PasswordNeeded);
}

void TVNCPanel::ShowFailedLook(const QString& text, bool retryLater) {
    FCertificatePending = false;
    FSecurityBadge->hide();
    FFailureText = text;
    FStatusLabel->setText(FFailureText);
    FStatusLabel->show();
    if (FViewer) {
        QWidget* w = FViewer->Widget();
        w->hide();
        w->move(OffArea, OffArea);
    }
    FButton->setText(ReconnectCaption());
    FButton->setEnabled(true);
    SetTileState(TTileState::Failed);
    if (FAutoReconnect && retryLater)
        ScheduleRetry();
}

int TVNCPanel::AskForInputControl() {
    QMessageBox box(QMessageBox::Question, QStringLiteral("Soru"),
                    QStringLiteral("Klavye ve mouse kontrolü aktif olsun mu ?"),
                    QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel, window());
    box.setDefaultButton(QMessageBox::No);
    UseTurkishButtonTexts(box);
    return box.exec();
}

void TVNCPanel::ButtonClick() {
    if (FViewer && FViewer->IsConnected()) {
        switch (AskForInputControl()) {
        case QMessageBox::Yes:
            ShowFullScreen(true);
            break;
        case QMessageBox::No:
            ShowFullScreen(false);
            break;
        default:
            break;
        }
        return;
    }
    if (FCertificatePending) {
        ConfirmCertificate();
        return;
    }
    CancelRetry();
    ShowConnectingLook();
    if (FViewer)
        ConnectInTurn();
}

void TVNCPanel::SetAutoReconnect(bool on) {
    FAutoReconnect = on;
    if (!on)
        CancelRetry();
}

void TVNCPanel::ScheduleRetry() {
    const auto now = TRetryClock::Clock::now();
    FRetryDue = now + FSchedule.NextPause();
    FRetryPending = true;
    TRetryClock::Instance().Subscribe(this, [this](TRetryClock::Clock::time_point at) { RetryTick(at); });
    ShowCountdown(now);
}

void TVNCPanel::CancelRetry() {
    if (!FRetryPending)
        return;
    FRetryPending = false;
    TRetryClock::Instance().Unsubscribe(this);
}

void TVNCPanel::RetryTick(TRetryClock::Clock::time_point now) {
    if (!FRetryPending)
        return;
    if (now < FRetryDue) {
        ShowCountdown(now);
        return;
    }
    // As the button of a failed tile does: the connecting look until the next Connected or Error.
    CancelRetry();
    ShowConnectingLook();
    if (FViewer && !FViewer->IsConnected())
        ConnectInTurn();
}

void TVNCPanel::ShowCountdown(TRetryClock::Clock::time_point now) {
    using namespace std::chrono;
    const auto left = ceil<seconds>(FRetryDue - now).count();
    FStatusLabel->setText(FFailureText + u'\n' + CountdownText(std::max<long long>(left, 1)));
}

void TVNCPanel::ShowConnectingLook() {
    FStatusLabel->setText(ConnectingText());
    FButton->setEnabled(false);
    SetTileState(TTileState::Connecting);
}

void TVNCPanel::SetTileState(TTileState state) {
    if (state == FTileState)
        return;
    const TTileState before = FTileState;
    FTileState = state;
    emit TileStateChanged(this, before);
}
