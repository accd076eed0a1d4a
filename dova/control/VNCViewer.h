#pragma once
// CVNCViewer: the viewer widget behind IVNCViewer. It owns one connection's engine objects (socket,
// connect, session and input threads, framebuffer), turns the engine's posted notifications into
// events on the user-interface thread, and shows the back surface the session thread draws into.
//
// Every member runs on the user-interface thread. The session thread touches only the shared state,
// the framebuffer and the back surface (through the presenter); it reaches this object only by
// posted events.

#include "HostEvent.h"
#include "IVNCViewer.h"
#include "PointerTicker.h"

#include "engine/SurfacePresenter.h"
#include "engine/ViewerState.h"
#include "framebuffer/BackSurface.h"

#include <QCursor>
#include <QElapsedTimer>
#include <QTimer>
#include <QWidget>

#include <algorithm>
#include <memory>
#include <optional>
#include <vector>

class QScrollBar;

namespace dova {

class CCoolSocket;
class CConnectThread;
class CSessionThread;
class CInputThread;
class CFrameBuffer;
class CPointerConfinement;

class CVNCViewer : public QWidget, public IVNCViewer {
public:
    explicit CVNCViewer(QWidget* parent = nullptr);
    ~CVNCViewer() override;

    VNCStatus Advise(IVNCViewerEvents* sink) override;
    VNCStatus Unadvise(IVNCViewerEvents* sink) override;

    VNCStatus get_BackColor(uint32_t* value) override;
    VNCStatus put_BackColor(uint32_t value) override;
    VNCStatus get_ForeColor(uint32_t* value) override;
    VNCStatus put_ForeColor(uint32_t value) override;
    VNCStatus get_Enabled(VNCBool* value) override;
    VNCStatus put_Enabled(VNCBool value) override;
    VNCStatus get_Window(QWidget** value) override;
    VNCStatus get_MouseIcon(QImage* value) override;
    VNCStatus put_MouseIcon(const QImage& value) override;
    VNCStatus putref_MouseIcon(const QImage& value) override;
    VNCStatus get_Picture(QImage* value) override;
    VNCStatus get_MousePointer(int32_t* value) override;
    VNCStatus put_MousePointer(int32_t value) override;
    VNCStatus get_Server(QString* value) override;
    VNCStatus put_Server(const QString& value) override;
    VNCStatus get_Password(QString* value) override;
    VNCStatus put_Password(const QString& value) override;
    VNCStatus get_Port(int32_t* value) override;
    VNCStatus put_Port(int32_t value) override;
    VNCStatus get_Display(int32_t* value) override;
    VNCStatus put_Display(int32_t value) override;
    VNCStatus get_Shared(VNCBool* value) override;
    VNCStatus put_Shared(VNCBool value) override;
    VNCStatus get_ServerAddress(QString* value) override;
    VNCStatus put_ServerAddress(const QString& value) override;
    VNCStatus get_ServerName(QString* value) override;
    VNCStatus get_State(int32_t* value) override;
    VNCStatus get_FrameWidth(int32_t* value) override;
    VNCStatus get_FrameHeight(int32_t* value) override;
    VNCStatus get_RelayKeys(VNCBool* value) override;
    VNCStatus put_RelayKeys(VNCBool value) override;
    VNCStatus get_RelayMouse(VNCBool* value) override;
    VNCStatus put_RelayMouse(VNCBool value) override;
    VNCStatus get_RelayLocalClipboard(VNCBool* value) override;
    VNCStatus put_RelayLocalClipboard(VNCBool value) override;
    VNCStatus get_RelayServerClipboard(VNCBool* value) override;
    VNCStatus put_RelayServerClipboard(VNCBool value) override;
    VNCStatus get_ScreenEdgeDelay(int32_t* value) override;
    VNCStatus put_ScreenEdgeDelay(int32_t value) override;
    VNCStatus get_EnableBell(VNCBool* value) override;
    VNCStatus put_EnableBell(VNCBool value) override;
    VNCStatus get_Codecs(int32_t Index, int32_t* value) override;
    VNCStatus put_Codecs(int32_t Index, int32_t value) override;
    VNCStatus get_MousePosX(int32_t* value) override;
    VNCStatus get_MousePosY(int32_t* value) override;
    VNCStatus get_MousePosFrameX(int32_t* value) override;
    VNCStatus get_MousePosFrameY(int32_t* value) override;
    VNCStatus get_RequestFrames(VNCBool* value) override;
    VNCStatus put_RequestFrames(VNCBool value) override;
    VNCStatus get_ScreenHeight(int32_t* value) override;
    VNCStatus get_ScreenWidth(int32_t* value) override;
    VNCStatus get_ScreenBitsPerPixel(int32_t* value) override;
    VNCStatus get_FrameUpdateDelay(int32_t* value) override;
    VNCStatus put_FrameUpdateDelay(int32_t value) override;
    VNCStatus get_PrimaryCodec(int32_t* value) override;
    VNCStatus put_PrimaryCodec(int32_t value) override;
    VNCStatus get_Scrollbars(int32_t* value) override;
    VNCStatus put_Scrollbars(int32_t value) override;
    VNCStatus get_Stretch(VNCBool* value) override;
    VNCStatus put_Stretch(VNCBool value) override;
    VNCStatus get_StretchMode(int32_t* value) override;
    VNCStatus put_StretchMode(int32_t value) override;
    VNCStatus get_ProgressiveDrawing(VNCBool* value) override;
    VNCStatus put_ProgressiveDrawing(VNCBool value) override;
    VNCStatus get_AutoScroll(VNCBool* value) override;
    VNCStatus put_AutoScroll(VNCBool value) override;
    VNCStatus get_AutoScrollDelay(int32_t* value) override;
    VNCStatus put_AutoScrollDelay(int32_t value) override;
    VNCStatus get_AutoScrollBand(int32_t* value) override;
    VNCStatus put_AutoScrollBand(int32_t value) override;
    VNCStatus get_BitsPerPixel(int16_t* value) override;
    VNCStatus put_BitsPerPixel(int16_t value) override;
    VNCStatus get_ServerVersion(QString* value) override;
    VNCStatus get_StretchedWidth(int32_t* value) override;
    VNCStatus get_StretchedHeight(int32_t* value) override;
    VNCStatus get_ViewWidth(int32_t* value) override;
    VNCStatus get_ViewHeight(int32_t* value) override;
    VNCStatus get_ViewLeft(int32_t* value) override;
    VNCStatus get_ViewTop(int32_t* value) override;
    VNCStatus get_ViewRight(int32_t* value) override;
    VNCStatus get_ViewBottom(int32_t* value) override;
    VNCStatus get_ViewRectangle(VNCRectangle* value) override;
    VNCStatus get_Draw(VNCBool* value) override;
    VNCStatus put_Draw(VNCBool value) override;
    VNCStatus get_FireFrameUpdates(VNCBool* value) override;
    VNCStatus put_FireFrameUpdates(VNCBool value) override;
    VNCStatus get_FireDataTransfers(VNCBool* value) override;
    VNCStatus put_FireDataTransfers(VNCBool value) override;
    VNCStatus get_MouseTrap(VNCBool* value) override;
    VNCStatus put_MouseTrap(VNCBool value) override;
    VNCStatus get_MouseTrapModifers(int32_t* value) override;
    VNCStatus put_MouseTrapModifers(int32_t value) override;
    VNCStatus get_Alignment(int32_t* value) override;
    VNCStatus put_Alignment(int32_t value) override;
    VNCStatus get_hDC(uint32_t* value) override;
    VNCStatus get_ScrollPosH(int32_t* value) override;
    VNCStatus get_ScrollPosV(int32_t* value) override;
    VNCStatus get_ViewEdgeDelay(int32_t* value) override;
    VNCStatus put_ViewEdgeDelay(int32_t value) override;
    VNCStatus get_FrameEdgeDelay(int32_t* value) override;
    VNCStatus put_FrameEdgeDelay(int32_t value) override;
    VNCStatus get_ServerClipboard(VNCVariant* value) override;
    VNCStatus put_ServerClipboard(const VNCVariant& value) override;
    VNCStatus get_LocalClipboard(VNCVariant* value) override;
    VNCStatus put_LocalClipboard(const VNCVariant& value) override;

    VNCStatus Connect(const VNCVariant& Server, const VNCVariant& Port, const VNCVariant& Password,
                      const VNCVariant& Flags, VNCVariant* retVal) override;
    VNCStatus Start(VNCVariant* retVal) override;
    VNCStatus Stop(VNCVariant* retVal) override;
    VNCStatus Disconnect(VNCVariant* retVal) override;
    VNCStatus SendKeyDown(int32_t KeyCode, int32_t Modifier, VNCVariant* retVal) override;
    VNCStatus SendKeyUp(int32_t KeyCode, int32_t Modifier, VNCVariant* retVal) override;
    VNCStatus SendKeyPress(int32_t KeyCode, int32_t Repeat, int32_t Modifiers, VNCVariant* retVal) override;
    VNCStatus SendMouseDown(int32_t Buttons, int32_t Modifiers, const VNCVariant& X, const VNCVariant& Y,
                            VNCVariant* retVal) override;
    VNCStatus SendMouseUp(int32_t Buttons, int32_t Modifiers, const VNCVariant& X, const VNCVariant& Y,
                          VNCVariant* retVal) override;
    VNCStatus SendMouseMove(int32_t Buttons, int32_t Modifiers, const VNCVariant& X, const VNCVariant& Y,
                            VNCVariant* retVal) override;
    VNCStatus SendMouseClick(int32_t Buttons, int32_t Repeat, int32_t Modifiers, const VNCVariant& X,
                             const VNCVariant& Y, VNCVariant* retVal) override;
    VNCStatus SendClipboard(int32_t DataType, const VNCVariant& Data, VNCVariant* retVal) override;
    VNCStatus Refresh(int32_t X, int32_t Y, int32_t W, int32_t H, VNCVariant* retVal) override;
    VNCStatus RefreshRectangle(const VNCRectangle& Rectangle, VNCVariant* retVal) override;
    VNCStatus ChangeDisplaySettings(int32_t W, int32_t H, int32_t BitsPerPixel, int32_t Frequency,
                                    int32_t Flags, int32_t Display, VNCVariant* retVal) override;
    VNCStatus Command(const VNCVariant& v1, const VNCVariant& v2, const VNCVariant& v3, const VNCVariant& v4,
                      VNCVariant* retVal) override;
    VNCStatus TranslateButtons(int32_t Buttons, int32_t* value) override;
    VNCStatus AboutBox() override;
    VNCStatus IsConnected(VNCBool* value) override;
    VNCStatus StretchX(int32_t Numerator, int32_t Denominator, VNCPoint* value) override;
    VNCStatus StretchY(int32_t Numerator, int32_t Denominator, VNCPoint* value) override;
    VNCStatus Scroll(int32_t H, int32_t V, VNCVariant* retVal) override;
    VNCStatus Encrypt(const QString& Data, const QString& Key, QString* value) override;
    VNCStatus Decrypt(const QString& Data, const QString& Key, QString* value) override;
    VNCStatus SaveProperties(QString* text) override;
    VNCStatus LoadProperties(const QString& text) override;
    VNCStatus GetDisplayString(int32_t dispid, QString* text) override;
    VNCStatus GetPredefinedStrings(int32_t dispid, QStringList* texts, QList<int32_t>* cookies) override;
    VNCStatus GetPredefinedValue(int32_t dispid, int32_t cookie, VNCVariant* value) override;
    VNCStatus MapPropertyToPage(int32_t dispid, QString* page) override;
    VNCStatus get_QualityLevel(int32_t* value) override;
    VNCStatus put_QualityLevel(int32_t value) override;
    VNCStatus get_CompressLevel(int32_t* value) override;
    VNCStatus put_CompressLevel(int32_t value) override;
    VNCStatus get_Encryption(int32_t* value) override;
    VNCStatus put_Encryption(int32_t value) override;
    VNCStatus get_UserName(QString* value) override;
    VNCStatus put_UserName(const QString& value) override;
    VNCStatus get_KnownCertificates(QString* value) override;
    VNCStatus put_KnownCertificates(const QString& value) override;
    VNCStatus get_CertificateAuthorities(QString* value) override;
    VNCStatus put_CertificateAuthorities(const QString& value) override;
    VNCStatus get_Security(QString* value) override;
    VNCStatus get_Encrypted(VNCBool* value) override;
    VNCStatus get_ServerVerified(VNCBool* value) override;
    VNCStatus get_CertificateFingerprint(QString* value) override;
    VNCStatus TrustCertificate(const QString& Fingerprint, VNCBool Remember, VNCVariant* retVal) override;
    VNCStatus get_ReducedFrame(VNCBool* value) override;
    VNCStatus put_ReducedFrame(VNCBool value) override;

    // Scrolls the view; false when nothing moved (at an end, or no window).
    bool ScrollBy(int dx, int dy);
    // The client area: the window without the scroll bars now shown.
    QRect ClientRect() const;
    // The engine state, for hosts inside this library (tests, tools).
    CViewerState& EngineState() { return *State; }
    // The cursor chosen for the image (MousePointer, MouseIcon).
    const QCursor& SelectedImageCursor() const { return SelectedCursor; }

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void customEvent(QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void showEvent(QShowEvent* event) override;
    bool event(QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void keyReleaseEvent(QKeyEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void enterEvent(QEnterEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void hideEvent(QHideEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    // Tab and Backtab belong to the remote desktop, not to focus changes.
    bool focusNextPrevChild(bool) override { return false; }

private:
    // Lifecycle and notifications (VNCViewer.cpp).
    void StopSession();
    // The program is quitting: closes the connection and asks the threads to end without waiting, so
    // the threads of all viewers end together and each viewer's own stop later only collects them.
    void CloseForQuit();
    void WatchPointer();
    void OnConnected();
    void DrainExceptions();
    void HandleHostEvent(const CHostEvent& event);
    bool HasSession() const { return Session != nullptr; }
    bool ConnectedOrDispatching() const;
    // QualityLevel and CompressLevel: -1 to 9, others ignored.
    VNCStatus PutTightLevel(int32_t& level, int32_t value);
    // Calls every advised sink in order. A handler may advise or unadvise sinks: walk a copy,
    // skipping sinks removed meanwhile.
    template <typename Call> void Raise(Call call) {
        const std::vector<IVNCViewerEvents*> sinks = Sinks;
        for (IVNCViewerEvents* sink : sinks)
            if (std::find(Sinks.begin(), Sinks.end(), sink) != Sinks.end())
                call(*sink);
    }

    // Geometry, scrolling and painting (VNCViewerWindow.cpp).
    int ContentWidth() const;
    int ContentHeight() const;
    bool ViewValid() const;
    int ViewLeftValue() const;
    int ViewTopValue() const;
    bool HorizontalNeeded(bool forced) const;
    bool VerticalNeeded(bool forced) const;
    void UpdateScrollBars();
    void SetScrollInfo(int h, int v);
    void LayoutBars();
    void OnBarAction(Qt::Orientation orientation, int action);
    void RebuildImage();
    void PublishView();
    void OnTimer(const PointerSample& pointer);
    void AutoScrollTick(const PointerSample& pointer);
    void PaintPlaceholder(class QPainter& painter, const QRect& bounds);
    // An unstretched frame in the screen's layout is drawn from the framebuffer itself; false otherwise.
    bool PaintFrameDirectly(class QPainter& painter, const QRect& image, const QRect& dirty, bool stretch);
    StretchRatio Ratio() const;

    // Local input relay (VNCViewerInput.cpp).
    void HandleKey(QKeyEvent* event, bool down);
    void RelayMouse(uint32_t message, const QPoint& client, Qt::MouseButtons buttons,
                    Qt::KeyboardModifiers modifiers, int wheelDelta = 0);
    void SetTrapped(bool on);
    // Releases on the server every button whose press was relayed and ends the trap: the viewer lost
    // the pointer (hidden, focus or grab gone, stopping).
    void LetGoOfPointer();
    // Gives the input thread a moment to put the releases on the wire before the connection closes.
    void AwaitReleasesSent();
    void ReleaseRelayedButtons();
    // The pointer is over this window: the viewer itself or its own scroll bars.
    bool OverOwnWindow(const PointerSample& pointer) const;
    void EdgeTick(const PointerSample& pointer);
    void ShowContextMenu(const QPoint& global);
    QPoint FramePointOf(const QPoint& client) const;
    void UpdateCursorAt(const QPoint& client);
    uint32_t Tick() const;

    // Clipboard, bell, cursors (VNCViewerDesktop.cpp).
    void OnServerBell();
    void OnServerCutText(uint32_t dataType);
    void OnLocalClipboardChanged();
    void RelayLocalText(bool withEvent);
    void RelayText(QString text, bool withEvent);
    // To the input thread as ClientCutText: UTF-8 for a server in the extended clipboard, else 8-bit.
    void PostClientText(const QString& text);
    void SelectCursor();

    // Text and settings helpers (VNCViewerProperties.cpp).
    bool SetServerText(const QString& text); // false: port out of range, nothing changed
    void ApplyStretchSetting();

    std::vector<IVNCViewerEvents*> Sinks;

    // Engine objects of the running connection. The poster outlives every thread that may post.
    std::unique_ptr<CQtHostPoster> Poster;
    std::unique_ptr<CViewerState> State;
    CBackSurface Surface;
    std::unique_ptr<CSurfacePresenter> Presenter;
    std::unique_ptr<CCoolSocket> Socket;
    std::unique_ptr<CConnectThread> ConnectThread;
    std::unique_ptr<CSessionThread> Session;
    std::unique_ptr<CInputThread> Input;
    std::unique_ptr<CFrameBuffer> FrameBuffer;
    uint32_t Generation = 1;
    bool AttemptLive = false;      // from Connect until Stop: errors of this connection reach the host
    bool ReachedConnected = false; // the connection got to Connected: Stop raises Disconnected
    bool Stopping = false;

    // Window state.
    uint32_t BackColour = 0xFFFFFF;
    uint32_t ForeColour = 0;
    VNCBool EnabledValue = VNC_TRUE;
    QImage MouseIconImage;
    int32_t MousePointerValue = dovaMousePointerSmallCircle;
    int32_t ScrollbarsValue = dovaScrollbarBoth;
    int RememberedH = 0, RememberedV = 0;
    int RangeH = 0, RangeV = 0; // the range maxima last set (content sizes)
    bool HBarShown = true, VBarShown = true;
    QScrollBar* HBar = nullptr;
    QScrollBar* VBar = nullptr;
    bool SettingBars = false;

    // Settings kept here as the 16-bit values the host gave.
    VNCBool SharedValue = VNC_TRUE, RelayKeysValue = VNC_TRUE, RelayMouseValue = VNC_TRUE;
    VNCBool RelayLocalClipboardValue = VNC_TRUE, RelayServerClipboardValue = VNC_TRUE;
    VNCBool EnableBellValue = VNC_TRUE, RequestFramesValue = VNC_TRUE, AutoScrollValue = VNC_TRUE;
    VNCBool DrawValue = VNC_TRUE, MouseTrapValue = VNC_TRUE, ProgressiveDrawingValue = VNC_FALSE;
    VNCBool ReducedFrameValue = VNC_FALSE;
    VNCBool StretchValue = VNC_FALSE, FireFrameUpdatesValue = VNC_FALSE, FireDataTransfersValue = VNC_FALSE;
    int32_t MouseTrapModifersValue = dovaModifierShift;
    int32_t AlignmentValue = dovaEdgeCentre;
    int32_t AutoScrollDelayValue = 800;
    int32_t AutoScrollBandValue = 10;
    int32_t ScreenEdgeDelayValue = 2000;
    QString ServerClipboardText;
    // The server's text this viewer placed on the local clipboard, while both still hold it: the change
    // it makes there is the server's own text, which never goes back.
    std::optional<QString> PlacedServerText;
    uint32_t LastMouseKeyState = 0;

    // Local input relay.
    bool Trapped = false;
    std::unique_ptr<CPointerConfinement> Confinement;
    Qt::MouseButtons RelayedButtons; // pressed on the server through this viewer, not yet released
    QPoint LastRelayedFrame;         // frame position of the last relayed pointer message
    uint32_t ScreenEdgeStart = 0, FrameEdgeStart = 0;
    QElapsedTimer Clock;
    QCursor SelectedCursor;
    std::optional<QCursor> CustomCursor;
};

} // namespace dova
