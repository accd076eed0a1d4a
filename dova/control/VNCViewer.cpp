#include "VNCViewer.h"
#include "PointerConfinement.h"

#include "engine/ConnectThread.h"
#include "engine/CoolSocket.h"
#include "engine/InputThread.h"
#include "engine/SessionThread.h"
#include "framebuffer/FrameBuffer.h"

#include <QApplication>
#include <QClipboard>
#include <QCloseEvent>
#include <QScrollBar>

#include <algorithm>

namespace dova {

// The engine's numbers are the ones hosts receive.
static_assert(causes::Refused == dovaCauseRefused && causes::Unreachable == dovaCauseUnreachable &&
              causes::Silent == dovaCauseSilent);
static_assert(codes::HandshakeTimeout == dovaErrorHandshakeTimeout);

namespace {
void SetRetVal(VNCVariant* retVal, int32_t value) {
    if (retVal)
        *retVal = VNCVariant(value);
}

// A text argument of Connect: a text, a text by reference, or an object's default member.
bool TextArgument(const VNCVariant& argument, QString& out) {
    if (argument.IsText()) {
        out = argument.ToText();
        return true;
    }
    if (const IVNCDefaultMember* object = argument.Object()) {
        const VNCVariant value = object->DefaultValue();
        if (value.IsText()) {
            out = value.ToText();
            return true;
        }
    }
    return false;
}
} // namespace

CVNCViewer::CVNCViewer(QWidget* parent) : QWidget(parent) {
    Poster = std::make_unique<CQtHostPoster>(this);
    Poster->SetGeneration(Generation);
    State = std::make_unique<CViewerState>(Poster.get());
    Presenter = std::make_unique<CSurfacePresenter>(*State, Surface);

    setAttribute(Qt::WA_OpaquePaintEvent);
    setMouseTracking(true);
    setFocusPolicy(Qt::StrongFocus);

    HBar = new QScrollBar(Qt::Horizontal, this);
    VBar = new QScrollBar(Qt::Vertical, this);
    HBar->hide();
    VBar->hide();
    QObject::connect(HBar, &QAbstractSlider::actionTriggered, this,
                     [this](int action) { OnBarAction(Qt::Horizontal, action); });
    QObject::connect(VBar, &QAbstractSlider::actionTriggered, this,
                     [this](int action) { OnBarAction(Qt::Vertical, action); });

    Clock.start();
    WatchPointer();
    if (QClipboard* clipboard = QGuiApplication::clipboard())
        QObject::connect(clipboard, &QClipboard::dataChanged, this, [this] { OnLocalClipboardChanged(); });
    SelectCursor();
    UpdateScrollBars();
    QObject::connect(QCoreApplication::instance(), &QCoreApplication::aboutToQuit, this,
                     [this] { CloseForQuit(); });
}

CVNCViewer::~CVNCViewer() {
    // The host is being torn down with us: end the connection without calling back into it.
    Sinks.clear();
    CPointerTicker::Instance().Unsubscribe(this);
    StopSession();
}

VNCStatus CVNCViewer::Advise(IVNCViewerEvents* sink) {
    if (!sink)
        return VNC_E_POINTER;
    if (std::find(Sinks.begin(), Sinks.end(), sink) == Sinks.end())
        Sinks.push_back(sink);
    return VNC_S_OK;
}

VNCStatus CVNCViewer::Unadvise(IVNCViewerEvents* sink) {
    Sinks.erase(std::remove(Sinks.begin(), Sinks.end(), sink), Sinks.end());
    return VNC_S_OK;
}

bool CVNCViewer::ConnectedOrDispatching() const {
    const int32_t state = State->State.load();
    return state == states::Connected || state == states::Dispatching;
}

VNCStatus CVNCViewer::Connect(const VNCVariant& Server, const VNCVariant& Port, const VNCVariant& Password,
                              const VNCVariant& Flags, VNCVariant* retVal) {
    Stop(nullptr);
    PlacedServerText.reset(); // another server, or one that has changed its clipboard meanwhile
    QString text;
    // A port beyond 65535 would wrap to another computer's service: no attempt at all.
    if ((TextArgument(Server, text) && !SetServerText(text)) ||
        (Port.IsInteger() && put_Port(Port.ToInt32()) != VNC_S_OK)) {
        SetRetVal(retVal, -1);
        return VNC_E_INVALIDARG;
    }
    if (TextArgument(Password, text))
        put_Password(text);
    if (Flags.IsInteger())
        put_Shared((Flags.ToInt32() & 1) ? VNC_TRUE : VNC_FALSE);

    bool hasServer;
    {
        CLockGuard hold(*State);
        hasServer = !State->Server.empty();
        State->DesktopName.clear();
        State->ServerVersion.clear();
        State->ServerVersionText.clear();
    }
    if (!hasServer) {
        SetRetVal(retVal, -1);
        return VNC_S_OK;
    }
    State->PasswordCancelled = false;
    State->PasswordEvent.Reset();
    Socket = std::make_unique<CCoolSocket>(*State);
    State->Socket = Socket.get();
    ConnectThread = std::make_unique<CConnectThread>(*State);
    State->State = states::Handshaking;
    AttemptLive = true;
    ConnectThread->Start();
    SetRetVal(retVal, 0);
    return VNC_S_OK;
}

VNCStatus CVNCViewer::Start(VNCVariant* retVal) {
    if (State->State.load() != states::Connected || !Session) {
        SetRetVal(retVal, -1);
        return VNC_S_OK;
    }
    int width, height;
    PixelFormat format;
    {
        CLockGuard hold(*State);
        width = State->FrameWidth;
        height = State->FrameHeight;
        format = State->CurrentPixelFormat;
    }
    FrameBuffer = std::make_unique<CFrameBuffer>(Presenter.get(), State->Draw.load());
    FrameBuffer->SetReduction(State->FrameReduction.load());
    try {
        FrameBuffer->Create(width, height, format);
    } catch (const CSimpleException& failure) {
        FrameBuffer.reset();
        QString message = QString::fromUtf8(failure.Message);
        const VNCVariant missing;
        Raise([&](IVNCViewerEvents& sink) { sink.Error(failure.Code, message, missing); });
        Stop(nullptr);
        SetRetVal(retVal, -1);
        return VNC_S_OK;
    }
    State->FrameBuffer = FrameBuffer.get();
    {
        std::lock_guard<std::mutex> hold(Surface.Mutex());
        Surface.Clear();
    }
    FrameBuffer->Repaint(0, 0, width, height); // black until the first update arrives
    Input = std::make_unique<CInputThread>(*State);
    State->State = states::Dispatching;
    Session->Start();
    Session->SetPriority(CWorkerThread::PriorityNormal);
    Input->Start();
    Input->SetPriority(CWorkerThread::PriorityLowest);
    UpdateScrollBars();
    update();
    SetRetVal(retVal, 0);
    return VNC_S_OK;
}

void CVNCViewer::StopSession() {
    if (Stopping)
        return;
    Stopping = true;
    // Buttons held through this viewer are released on the server while the connection still lives.
    LetGoOfPointer();
    // Close first: a receive blocked in the session thread then ends quietly.
    if (Socket)
        Socket->CloseByOwner(true);
    State->CancelPasswordWait();
    if (FrameBuffer)
        FrameBuffer->OpenDrawGate();
    ConnectThread.reset();
    Input.reset();
    Session.reset();
    State->Session = nullptr;
    State->FrameBuffer = nullptr;
    FrameBuffer.reset();
    {
        std::lock_guard<std::mutex> hold(Surface.Mutex());
        Surface.Clear();
    }
    State->Socket = nullptr;
    Socket.reset();
    {
        CLockGuard hold(*State);
        State->ServerVersion.clear();
    }
    State->State = states::NotConnected;
    AttemptLive = false;
    ReachedConnected = false;
    // What the ended connection left behind is not news for the host any more.
    std::unique_ptr<CSimpleException> stale;
    while (State->TakeException(stale)) {
    }
    std::string text;
    while (State->TakeServerCutText(text)) {
    }
    ++Generation;
    Poster->SetGeneration(Generation);
    Stopping = false;
    update();
    UpdateScrollBars();
}

void CVNCViewer::CloseForQuit() {
    if (!Socket || Stopping)
        return;
    SetTrapped(false);
    if (RelayedButtons) {
        ReleaseRelayedButtons();
        AwaitReleasesSent();
    }
    Socket->CloseByOwner(true);
    State->CancelPasswordWait();
    if (FrameBuffer)
        FrameBuffer->OpenDrawGate();
    if (ConnectThread)
        ConnectThread->RequestStop();
    if (Session)
        Session->RequestStop();
    if (Input)
        Input->RequestStop();
}

VNCStatus CVNCViewer::Stop(VNCVariant* retVal) {
    const bool wasConnected = ReachedConnected;
    StopSession();
    SetRetVal(retVal, 0);
    if (wasConnected)
        Raise([](IVNCViewerEvents& sink) { sink.Disconnected(); });
    return VNC_S_OK;
}

VNCStatus CVNCViewer::Disconnect(VNCVariant* retVal) {
    return Stop(retVal);
}

void CVNCViewer::OnConnected() {
    if (!ConnectThread)
        return;            // the attempt was stopped meanwhile
    ConnectThread.reset(); // it has finished; this joins it
    Session = std::make_unique<CSessionThread>(*State);
    State->State = states::Connected;
    ReachedConnected = true;
    QString name;
    get_ServerName(&name);
    Raise([&](IVNCViewerEvents& sink) { sink.Connected(name); });
    UpdateScrollBars();
}

void CVNCViewer::DrainExceptions() {
    std::unique_ptr<CSimpleException> entry;
    while (State->TakeException(entry)) {
        // The engine closes the socket (state 0) before it reports its own errors; those still
        // belong to this connection while the host has not stopped it, and must reach the host.
        if (State->State.load() == states::NotConnected && !AttemptLive)
            continue;
        if (entry->Level == ExceptionLevel::Quiet)
            continue;
        QString message = QString::fromUtf8(entry->Message);
        const VNCVariant missing;
        // The cause of a network failure, when known, rides in v1 (dovaCause...).
        const VNCVariant cause = entry->Cause != causes::None ? VNCVariant(entry->Cause) : missing;
        const int32_t code = entry->Code;
        if (entry->Level == ExceptionLevel::Warning) {
            Raise([&](IVNCViewerEvents& sink) { sink.Warning(code, message, missing); });
        } else {
            const uint32_t generation = Generation;
            Raise([&](IVNCViewerEvents& sink) { sink.Error(code, message, cause); });
            // A host that stopped or reconnected from its handler has already ended this connection;
            // stopping now would end the new one.
            if (Generation != generation)
                return;
            Stop(nullptr);
        }
    }
}

void CVNCViewer::customEvent(QEvent* event) {
    if (event->type() != CHostEvent::EventType())
        return QWidget::customEvent(event);
    const auto& posted = static_cast<const CHostEvent&>(*event);
    if (posted.Generation != Generation)
        return; // from a connection that has been stopped
    HandleHostEvent(posted);
}

void CVNCViewer::HandleHostEvent(const CHostEvent& event) {
    switch (event.Message) {
    case HostMessage::Connected:
        OnConnected();
        break;
    case HostMessage::Exception:
        DrainExceptions();
        break;
    case HostMessage::DataTransfer:
        if (FireDataTransfersValue)
            Raise([&](IVNCViewerEvents& sink) {
                sink.DataTransfer(int32_t(event.WParam), int32_t(event.LParam));
            });
        break;
    case HostMessage::ServerBell:
        OnServerBell();
        break;
    case HostMessage::ServerCutText:
        OnServerCutText(event.WParam);
        break;
    case HostMessage::ServerInitUpdate: // the frame's size may have changed
        UpdateScrollBars();
        update();
        break;
    case HostMessage::FrameUpdated:
        if (FrameBuffer && FireFrameUpdatesValue) {
            const int32_t x = int32_t(event.WParam & 0xFFFF), y = int32_t(event.WParam >> 16);
            const int32_t w = int32_t(event.LParam & 0xFFFF), h = int32_t(event.LParam >> 16);
            Raise([&](IVNCViewerEvents& sink) { sink.FrameUpdated(x, y, w, h); });
        }
        break;
    case HostMessage::Password:
        Raise([](IVNCViewerEvents& sink) { sink.Password(); });
        State->PasswordAnswered();
        break;
    case HostMessage::RepaintWindow: {
        const int x = int(event.WParam & 0xFFFF), y = int(event.WParam >> 16);
        const int w = int(event.LParam & 0xFFFF), h = int(event.LParam >> 16);
        int scrollH = 0, scrollV = 0;
        get_ScrollPosH(&scrollH);
        get_ScrollPosV(&scrollV);
        const QRect area(ViewLeftValue() - scrollH + x, ViewTopValue() - scrollV + y, w, h);
        update(area.intersected(ClientRect()));
        break;
    }
    }
}

void CVNCViewer::WatchPointer() {
    CPointerTicker::Instance().Subscribe(this, [this](const PointerSample& pointer) { OnTimer(pointer); });
}

// A closed window stops watching the pointer; shown again (the same widget reused by its host) it
// needs edge detection, auto-scroll and the mouse trap back.
void CVNCViewer::showEvent(QShowEvent* event) {
    WatchPointer();
    QWidget::showEvent(event);
}

void CVNCViewer::closeEvent(QCloseEvent* event) {
    CPointerTicker::Instance().Unsubscribe(this);
    Stop(nullptr);
    QWidget::closeEvent(event);
}

} // namespace dova
