#pragma once
// TVNCPanel: the square tile that watches one computer. It holds the computer's name, a view area
// with the tile's viewer control (display only: the area is disabled, so no input reaches the
// viewer), a status text for the connecting and failed states, and one action button that either
// reconnects or opens the full-screen window.

#include "DOVALib_TLB.h"
#include "ReconnectSchedule.h"

#include <QFrame>
#include <QString>

#include <chrono>
#include <memory>

class QAbstractButton;
class QLabel;
class QPushButton;

// What a tile shows, as the wall's status line counts it.
enum class TTileState { Connecting, Connected, Failed, PasswordNeeded };

class TVNCPanel : public QFrame {
    Q_OBJECT

public:
    // The operator's answer about an unknown certificate: trust and remember, this time only, or
    // cancel (asked in a separate step so tests can answer it).
    enum class CertificateAnswer { Remember, Once, Cancel };

    // Component names of the two viewers a tile makes; they tell the viewers' events apart.
    static QString TileViewerName() { return QStringLiteral("DOVA"); }
    static QString FullScreenViewerName() { return QStringLiteral("FULLFORMDOVA"); }

    explicit TVNCPanel(QWidget* parent = nullptr);
    ~TVNCPanel() override;

    void SetTitle(const QString& title);
    QString Title() const;

    // Low bandwidth: Tight first in the codec list of the tile's viewer, with JPEG of a quality for the
    // tile's size at 32 bits per pixel, and of the full-screen one without JPEG (lossless).
    // Set before ConnectTo; turning it off takes a new tile (the grid rebuilds after the settings).
    void SetLowBandwidth(bool on);
    bool LowBandwidth() const { return FLowBandwidth; }
    // Encryption policy (DOVAEncryptionEnum) and the trust store of the tile's viewers; set before
    // ConnectTo.
    void SetEncryption(int policy, const QString& knownCertificates);
    // The user name for servers that authenticate with one (inside TLS only); set before ConnectTo.
    void SetUserName(const QString& user) { FUserName = user; }
    QLabel* SecurityBadge() const { return FSecurityBadge; }
    bool CertificatePending() const { return FCertificatePending; }

    // Whether full-screen windows fit a larger remote screen into the window (off: 1:1). One choice
    // for the program, kept in its settings file by the main window.
    static bool FullScreenFit() { return FFullScreenFit; }
    static void SetFullScreenFit(bool fit) { FFullScreenFit = fit; }

    // Starts at once, or a few milliseconds later when other tiles have just started (see
    // TConnectPacer); the tile shows it is connecting meanwhile.
    void ConnectTo(const QString& Server, const QString& Port, const QString& Password);
    // Connects any viewer (the tile's or the full-screen one) with the tile's connection arguments.
    int ConnectWithArguments(TVNCViewer& viewer) const;
    void ShowFullScreen(bool inputEnabled);
    // Click handlers of the full-screen window's "BAŞLAT MENU" and "CTRL + ALT + DEL" buttons.
    void SendStartMenuKeys(QAbstractButton* Sender);
    void SendCtrlAltDelKeys(QAbstractButton* Sender);

    // Parts, for the grid and for tests.
    TVNCViewer* Viewer() const { return FViewer.get(); }
    bool ViewerReady() const { return FViewerReady; }
    QWidget* ViewArea() const { return FViewArea; }
    QLabel* StatusLabel() const { return FStatusLabel; }
    QPushButton* Button() const { return FButton; }
    QLabel* TitlePanel() const { return FTitlePanel; }

    // Handlers of the viewers' events.
    void ViewerConnected(TVNCViewer* Sender);
    void ViewerError(TVNCViewer* Sender, int Number, const QString& Message, const dova::VNCVariant& v1);
    void ViewerPassword(TVNCViewer* Sender);

    void ButtonClick();

    TTileState TileState() const { return FTileState; }

signals:
    // The tile's state changed (before: the state it left).
    void TileStateChanged(TVNCPanel* tile, TTileState before);

public:
    // Automatic reconnection (off by default): a failed tile tries again after a growing pause and
    // counts down to it; the button still tries at once.
    void SetAutoReconnect(bool on);
    bool AutoReconnect() const { return FAutoReconnect; }
    bool RetryPending() const { return FRetryPending; }
    TRetryClock::Clock::time_point RetryDue() const { return FRetryDue; }
    // The shared clock's tick (tests call it with the time they want).
    void RetryTick(TRetryClock::Clock::time_point now);

protected:
    void resizeEvent(QResizeEvent* event) override;
    // The Yes/No/Cancel question before full screen (a separate step so tests can answer it).
    virtual int AskForInputControl();
    virtual CertificateAnswer AskAboutCertificate(const QString& fingerprint);

private:
    void PanelResize();
    void CreateViewer();
    bool TryCreateViewer();
    void ConnectInTurn();
    QString UnconnectableReason() const;
    void ApplyStretch();
    void ShowConnectingLook();
    // retryLater: automatic reconnection, when on, tries again after a pause (network failures only).
    void ShowFailedLook(const QString& text, bool retryLater);
    void ShowNoViewerReason();
    void ScheduleRetry();
    void CancelRetry();
    void ShowCountdown(TRetryClock::Clock::time_point now);
    void SetTileState(TTileState state);

    std::unique_ptr<TVNCViewer> FViewer;
    bool FViewerReady = false;
    QWidget* FViewArea = nullptr;
    QPushButton* FButton = nullptr;
    QLabel* FStatusLabel = nullptr;
    QLabel* FTitlePanel = nullptr;
    QString FServer;
    QString FPort;
    QString FPassword;
    QString FUserName;

    bool FAutoReconnect = false;
    bool FRetryPending = false;
    TReconnectSchedule FSchedule;
    TRetryClock::Clock::time_point FRetryDue{};
    QString FFailureText; // the failed look's text, without the countdown
    bool FLowBandwidth = false;
    static inline bool FFullScreenFit = false;
    TTileState FTileState = TTileState::Connecting;
    int FEncryption = dova::dovaEncryptionPrefer;
    QString FKnownCertificates;
    QLabel* FSecurityBadge = nullptr;
    bool FCertificatePending = false;
    QString FAcceptedFingerprint; // trusted "this time only": the full-screen viewer needs it too
    void ConfirmCertificate();
    void ShowSecurityState();
};
