#include "VNCPanel.h"

#include "ConnectPacer.h"
#include "ControlLibrary.h"
#include "FailureReason.h"
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
    FViewer->SetBitsPerPixel(TileBitsPerPixel);
    FViewer->StretchX(FViewArea->width(), StretchBase);
    FViewer->StretchY(FViewArea->width(), StretchBase);
    FViewer->SetFrameUpdateDelay(TileFrameUpdateDelay);
    FViewer->SetScrollbars(dovaScrollbarNone);
    FViewer->SetName(TileViewerName());
    FViewer->Widget()->show();
    return true;
}

void TVNCPanel::CreateViewer() {
    if (TryCreateViewer())
        return;
    const QString library = ControlLibraryPath();
    if (QFileInfo::exists(library)) {
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
    FStatusLabel->setText(QFileInfo::exists(ControlLibraryPath()) ? LibraryUnusableText()
                                                                  : LibraryMissingText());
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
    if (on && FViewerReady)
        FViewer->PutCodecFirst(dovaCodecZRLE);
}

int TVNCPanel::ConnectWithArguments(TVNCViewer& viewer) const {
    int32_t port = 0;
    const VNCVariant portArgument = PortNumber(FPort, port) ? VNCVariant(port) : VNCVariant();
    if (IVNCViewer* control = viewer.Control()) {
        control->put_Encryption(FEncryption);
        control->put_KnownCertificates(FKnownCertificates);
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

// The tile's own attempts take their turn at the pacer; the arguments are read when the turn comes.
void TVNCPanel::ConnectInTurn() {
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
        const bool retrying = FAutoReconnect;
        FAutoReconnect = false;
        ShowFailedLook(CertificateApprovalText() + u'\n' + fingerprint);
        FAutoReconnect = retrying;
        FCertificatePending = true;
        FButton->setText(ConfirmCertificateCaption());
        return;
    }
    ShowFailedLook(FailureReasonText(Number, v1) + u'\n' + Message);
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
    ShowFailedLook(PasswordMissingText());
}

void TVNCPanel::ShowFailedLook(const QString& text) {
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
    if (FAutoReconnect)
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
}
