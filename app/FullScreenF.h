#pragma once
// The full-screen viewing window of one computer: as large as the screen's work area, a top bar with
// the two buttons that send the key combinations a local keyboard cannot deliver, and a client panel
// with the window's own viewer "FULLFORMDOVA". The client panel is enabled only when the operator chose
// to control the computer, so with input off no local mouse or key event can reach the viewer.
//
// The tile (TVNCPanel::ShowFullScreen) builds, connects, shows and destroys it; the window only holds
// the parts and destroys them in their order.
//
// When the viewer cannot connect or loses its computer, the window stays open but says so: the viewer
// is hidden (its last picture is no longer live) and a panel over the view shows why, with a button to
// try again. The panel is the window's own child, not the client panel's, so that its button works
// also when input is off.

#include <QDialog>

#include <memory>

class QFrame;
class QKeyEvent;
class QLabel;
class QPushButton;
class TVNCViewer;

class TFullScreenF : public QDialog {
    Q_OBJECT
public:
    static constexpr int TopBarHeight = 30;

    // The way out that needs no window manager (a Wayland compositor may give the window no title
    // bar): the "Kapat" button, and this key combination, which is never relayed to the computer.
    static bool IsCloseKeys(const QKeyEvent& event);
    static QString CloseKeysText();

    // Creates the window (frame, work-area position and size, caption), then the top bar, the start-menu
    // button, the Ctrl+Alt+Del button and the client panel, in this order.
    TFullScreenF(QWidget* owner, const QString& caption);
    // Destroys the viewer, the client panel, the Ctrl+Alt+Del button, the start-menu button and the top
    // bar, in this order, before the window itself.
    ~TFullScreenF() override;

    // Creates the viewer inside the client panel, filling it, named "FULLFORMDOVA". False when no viewer
    // control could be created: the window still opens, empty, and its buttons do nothing.
    bool CreateViewer();
    // Fitting a remote screen larger than the window into it (scaled down, smooth), or 1:1 with scroll
    // bars. The choice is the program's (TVNCPanel::FullScreenFit), so the next window opens with it.
    void SetFitToWindow(bool fit);
    bool FitToWindow() const;
    // Applies the choice to the viewer for its current frame and the panel's size.
    void ApplyFit();

    // Also says which mode the window is in, in its caption (after the computer's name) and top bar.
    void SetInputEnabled(bool enabled);

    // The failed look with its text and the retry button. The text's first line is the reason, shown
    // large; the rest (the control's own message) smaller under it.
    void ShowFailure(const QString& text);
    // After the retry button: the failed look says it is connecting, the button waits.
    void ShowConnecting();
    // The viewer connected (again): it shows and takes the keyboard as on opening.
    void ShowLive();
    // The connection's security in the caption, where the operator sees it the whole time.
    void ShowSecurity(const QString& state);

    TVNCViewer* Viewer() const { return FViewer.get(); }
    QFrame* TopBar() const { return FTopBar; }
    QPushButton* StartMenuButton() const { return FStartMenuButton; }
    QPushButton* CtrlAltDelButton() const { return FCtrlAltDelButton; }
    QPushButton* CloseButton() const { return FCloseButton; }
    QLabel* CloseKeysLabel() const { return FCloseKeysLabel; }
    QLabel* ModeLabel() const { return FModeLabel; }
    QPushButton* FitButton() const { return FFitButton; }
    QWidget* ClientPanel() const { return FClientPanel; }
    QFrame* FailurePanel() const { return FFailurePanel; }
    QLabel* FailureLabel() const { return FFailureLabel; }
    QLabel* FailureDetail() const { return FFailureDetail; }
    QPushButton* RetryButton() const { return FRetryButton; }

    // The window's viewer reached from one of its buttons (the button's parent's parent is the window),
    // or null when that window has no viewer named "FULLFORMDOVA".
    static TVNCViewer* FindViewer(const QWidget* button);

protected:
    void showEvent(QShowEvent* event) override;
    void moveEvent(QMoveEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // Sizes the window so that its whole frame, title bar and borders included, covers the work area
    // exactly. The window manager tells the frame's size only once the window is shown (and may change
    // it when it decorates the window), so this runs again then.
    void FitFrameToWorkArea();
    void CreateFailurePanel();
    void CreateWayOut();
    void PlaceTopBarRight();
    // The close keys pressed: the modifiers already relayed are let go on the computer, then it closes.
    void CloseByKeys();
    void FocusViewer();
    // Computer name, mode and security in the caption and the top bar.
    void UpdateTitle();

    QFrame* FTopBar = nullptr;
    QPushButton* FStartMenuButton = nullptr;
    QPushButton* FCtrlAltDelButton = nullptr;
    QPushButton* FCloseButton = nullptr;
    QLabel* FCloseKeysLabel = nullptr;
    QLabel* FModeLabel = nullptr;
    QPushButton* FFitButton = nullptr;
    QSize FFittedFrame; // the remote screen's size when the fit was last worked out
    QString FComputerName;
    QWidget* FClientPanel = nullptr;
    QFrame* FFailurePanel = nullptr;
    QLabel* FFailureLabel = nullptr;
    QLabel* FFailureDetail = nullptr;
    QPushButton* FRetryButton = nullptr;
    std::unique_ptr<TVNCViewer> FViewer;
    int FFitsAfterMoves = 0;
    QString FModeTitle;     // "Kontrol modu" or "Yalnız izleme"
    QString FSecurityTitle; // the connection's security, once connected
};
