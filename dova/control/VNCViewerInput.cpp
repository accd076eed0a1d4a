// Local keyboard and mouse over the viewer: offered to the host first, then relayed to the input
// thread; the mouse trap; screen-edge and frame-edge detection.
#include "KeyCodes.h"
#include "LocalKeyboard.h"
#include "PointerConfinement.h"
#include "VNCViewer.h"

#include "engine/CoolSocket.h"
#include "engine/InputThread.h"

#include <QApplication>
#include <QKeyEvent>
#include <QMenu>
#include <QMouseEvent>
#include <QScreen>
#include <QScrollBar>
#include <QThread>
#include <QWheelEvent>

#include <chrono>

namespace dova {

namespace {
// Button and modifier bits of the platform's mouse messages.
constexpr uint32_t MouseLeft = 0x0001, MouseRight = 0x0002, MouseShift = 0x0004, MouseControl = 0x0008,
                   MouseMiddle = 0x0010;
// Buttons as the Before* events report them (the platform order: left, right, middle).
constexpr int32_t EventLeft = 1, EventRight = 2, EventMiddle = 4;
// A press raises BeforeMouseUp and a release BeforeMouseDown, always with this Buttons value.
constexpr int32_t PressReleaseButtons = 4;
constexpr int AboutCommand = 50000;
// Stopping waits this long at most for held buttons to be released on the server before the
// connection closes: long enough for the input thread, short enough that the window never hangs.
constexpr auto ReleaseFlushLimit = std::chrono::milliseconds(200);

uint32_t MessageWord(Qt::MouseButtons buttons, Qt::KeyboardModifiers modifiers) {
    uint32_t word = 0;
    if (buttons & Qt::LeftButton)
        word |= MouseLeft;
    if (buttons & Qt::RightButton)
        word |= MouseRight;
    if (buttons & Qt::MiddleButton)
        word |= MouseMiddle;
    if (modifiers & Qt::ShiftModifier)
        word |= MouseShift;
    if (modifiers & Qt::ControlModifier)
        word |= MouseControl;
    return word;
}

Qt::MouseButton ButtonOf(uint32_t message) {
    namespace tm = thread_messages;
    switch (message) {
    case tm::LeftDown:
    case tm::LeftUp:
        return Qt::LeftButton;
    case tm::RightDown:
    case tm::RightUp:
        return Qt::RightButton;
    case tm::MiddleDown:
    case tm::MiddleUp:
        return Qt::MiddleButton;
    default:
        return Qt::NoButton;
    }
}

bool IsRelease(uint32_t message) {
    namespace tm = thread_messages;
    return message == tm::LeftUp || message == tm::RightUp || message == tm::MiddleUp;
}

int32_t EventButtons(Qt::MouseButtons buttons) {
    return ((buttons & Qt::LeftButton) ? EventLeft : 0) | ((buttons & Qt::RightButton) ? EventRight : 0) |
           ((buttons & Qt::MiddleButton) ? EventMiddle : 0);
}

// The modifier state after this key event: X reports the state before a modifier key changed it.
Qt::KeyboardModifiers ModifiersAfter(const QKeyEvent& event, bool down) {
    Qt::KeyboardModifiers held = event.modifiers();
    Qt::KeyboardModifier changed = Qt::NoModifier;
    switch (event.key()) {
    case Qt::Key_Shift:
        changed = Qt::ShiftModifier;
        break;
    case Qt::Key_Control:
        changed = Qt::ControlModifier;
        break;
    case Qt::Key_Alt:
        changed = Qt::AltModifier;
        break;
    default:
        break;
    }
    if (changed != Qt::NoModifier)
        held = down ? (held | changed) : (held & ~changed);
    return held;
}

// Edge bits of a point against a rectangle's edges with a band (corners combine).
int32_t EdgesOf(const QPoint& p, int left, int top, int right, int bottom, int band) {
    int32_t edges = dovaEdgeNone;
    if (left <= p.x() && p.x() <= left + band)
        edges |= dovaEdgeLeft;
    else if (right - band <= p.x() && p.x() <= right)
        edges |= dovaEdgeRight;
    if (top <= p.y() && p.y() <= top + band)
        edges |= dovaEdgeTop;
    else if (bottom - band <= p.y() && p.y() <= bottom)
        edges |= dovaEdgeBottom;
    return edges;
}
} // namespace

uint32_t CVNCViewer::Tick() const {
    // Never 0: 0 means "not at an edge".
    return uint32_t(Clock.elapsed()) | 1u;
}

QPoint CVNCViewer::FramePointOf(const QPoint& client) const {
    int32_t scrollH = 0, scrollV = 0;
    const_cast<CVNCViewer*>(this)->get_ScrollPosH(&scrollH);
    const_cast<CVNCViewer*>(this)->get_ScrollPosV(&scrollV);
    int x = client.x() - ViewLeftValue() + scrollH;
    int y = client.y() - ViewTopValue() + scrollV;
    if (StretchValue) {
        const Area frame = UnscaleRect(Ratio(), x, y, 0, 0);
        x = frame.X;
        y = frame.Y;
    }
    return QPoint(uint16_t(x), uint16_t(y));
}

void CVNCViewer::SetTrapped(bool on) {
    if (Trapped == on)
        return;
    Trapped = on;
    if (on) {
        if (!Confinement)
            Confinement = std::make_unique<CPointerConfinement>();
        // Without a platform confinement at least the pointer's events stay with this window.
        if (!Confinement->Confine(*this))
            grabMouse();
    } else if (Confinement && Confinement->Active()) {
        Confinement->Release();
    } else {
        releaseMouse();
    }
    const VNCBool value = on ? VNC_TRUE : VNC_FALSE;
    Raise([&](IVNCViewerEvents& sink) { sink.MouseTrap(value); });
}

void CVNCViewer::ReleaseRelayedButtons() {
    if (!RelayedButtons)
        return;
    const Qt::MouseButtons held = RelayedButtons;
    RelayedButtons = Qt::NoButton;
    if (!Input)
        return;
    namespace tm = thread_messages;
    const int64_t where =
        CInputThread::PackPosition(uint16_t(LastRelayedFrame.x()), uint16_t(LastRelayedFrame.y()));
    Qt::MouseButtons still = held;
    for (const auto& [button, message] :
         {std::pair{Qt::LeftButton, tm::LeftUp}, std::pair{Qt::RightButton, tm::RightUp},
          std::pair{Qt::MiddleButton, tm::MiddleUp}}) {
        if (!(held & button))
            continue;
        still &= ~button;
        Input->PostToThread(message, MessageWord(still, Qt::NoModifier), where);
    }
    LastMouseKeyState = 0;
}

void CVNCViewer::LetGoOfPointer() {
    SetTrapped(false);
    if (!RelayedButtons)
        return;
    const bool stopping = Stopping;
    ReleaseRelayedButtons();
    if (stopping)
        AwaitReleasesSent();
}

void CVNCViewer::AwaitReleasesSent() {
    // A closed connection or an input thread told to end sends nothing more: no use waiting.
    if (!Input || !Socket || !Socket->IsOpen() || Input->StopRequested())
        return;
    const auto end = std::chrono::steady_clock::now() + ReleaseFlushLimit;
    while (Input->ButtonsOnServer() != 0 && std::chrono::steady_clock::now() < end)
        QThread::msleep(2);
}

bool CVNCViewer::OverOwnWindow(const PointerSample& sample) const {
    return sample.Under == this || sample.Under == HBar || sample.Under == VBar;
}

void CVNCViewer::hideEvent(QHideEvent* event) {
    LetGoOfPointer();
    QWidget::hideEvent(event);
}

void CVNCViewer::focusOutEvent(QFocusEvent* event) {
    // A popup taking the focus during a drag keeps the grab's buttons pressed: no release then.
    if (event->reason() != Qt::PopupFocusReason)
        LetGoOfPointer();
    QWidget::focusOutEvent(event);
}

bool CVNCViewer::event(QEvent* event) {
    // Our own release of the trap's grab comes back as UngrabMouse with Trapped already off.
    if ((event->type() == QEvent::UngrabMouse && Trapped) || event->type() == QEvent::WindowDeactivate)
        LetGoOfPointer();
    // While keys are relayed the viewer sees them before the host's shortcuts do, as a control sees
    // key messages before its host dispatches them; the host still decides in BeforeKeyDown.
    if (event->type() == QEvent::ShortcutOverride && Input && RelayKeysValue &&
        State->State.load() == states::Dispatching) {
        event->accept();
        return true;
    }
    return QWidget::event(event);
}

void CVNCViewer::keyPressEvent(QKeyEvent* event) {
    HandleKey(event, true);
}
void CVNCViewer::keyReleaseEvent(QKeyEvent* event) {
    HandleKey(event, false);
}

void CVNCViewer::HandleKey(QKeyEvent* event, bool down) {
    // X11 delivers a held key as release/press pairs; the server gets repeated presses only, and the
    // trap does not end on the release half.
    if (!down && event->isAutoRepeat()) {
        event->ignore();
        return;
    }
    const Qt::KeyboardModifiers held = ModifiersAfter(*event, down);
    const int32_t modifiers = ModifierBitsOf(held);
    if (down) {
        if (MouseTrapValue && !Trapped && modifiers == MouseTrapModifersValue &&
            ClientRect().contains(mapFromGlobal(QCursor::pos())))
            SetTrapped(true);
    } else if (Trapped) {
        SetTrapped(false); // any key release ends the trap
    }
    const uint8_t keyCode = VirtualKeyOf(*event);
    int32_t action = dovaActionAllowDOVAAndWin;
    if (down)
        Raise([&](IVNCViewerEvents& sink) { sink.BeforeKeyDown(modifiers, keyCode, action); });
    else
        Raise([&](IVNCViewerEvents& sink) { sink.BeforeKeyUp(modifiers, keyCode, action); });
    // A key without a code of its own still carries its character; its scan code tells the input
    // thread which press a release ends.
    const int64_t produced = RelayedKeyOf(*event);
    const uint32_t scanCode = event->nativeScanCode();
    if ((action & dovaActionAllowDOVA) && Input && RelayKeysValue &&
        (keyCode != 0 || produced != 0 || scanCode != 0)) {
        {
            CLockGuard hold(*State);
            Input->SetKeyboardState(SnapshotOf(held));
        }
        const bool system = (held & Qt::AltModifier) != 0;
        const uint32_t message = down ? (system ? thread_messages::SysKeyDown : thread_messages::KeyDown)
                                      : (system ? thread_messages::SysKeyUp : thread_messages::KeyUp);
        const int64_t carried = (down || (produced & LocalKeysymGiven)) ? produced : 0;
        Input->PostToThread(message, keyCode, WithLocalScanCode(carried, scanCode));
    }
    if (action & dovaActionAllowWin)
        event->ignore(); // the key goes on to the window system
    else
        event->accept();
}

void CVNCViewer::RelayMouse(uint32_t message, const QPoint& client, Qt::MouseButtons buttons,
                            Qt::KeyboardModifiers held, int wheelDelta) {
    if (!HasSession() || !ConnectedOrDispatching()) {
        if (message == thread_messages::RightUp)
            ShowContextMenu(mapToGlobal(client));
        return;
    }
    if (!Input || !RelayMouseValue)
        return;
    const int left = ViewLeftValue(), top = ViewTopValue();
    const QRect image(left, top, ContentWidth(), ContentHeight());
    const Qt::MouseButton button = ButtonOf(message);
    // The release of a relayed press, and moves while one is held (a drag), reach the server wherever
    // the pointer is, at the nearest point of the image; otherwise outside it nothing is relayed.
    const bool owedRelease = IsRelease(message) && (RelayedButtons & button);
    const bool dragging = message == thread_messages::MouseMove && RelayedButtons;
    if (!image.contains(client) && !owedRelease && !dragging)
        return;
    if (image.isEmpty())
        return;
    const QPoint onImage(std::clamp(client.x(), image.left(), image.right()),
                         std::clamp(client.y(), image.top(), image.bottom()));
    const QPoint frame = FramePointOf(onImage);
    const int32_t modifiers = ModifierBitsOf(held);
    const uint32_t word = MessageWord(buttons, held);
    const int32_t x = frame.x(), y = frame.y();
    int32_t action = dovaActionAllowDOVA;
    namespace tm = thread_messages;
    switch (message) {
    case tm::MouseMove: {
        const int32_t pressed = EventButtons(buttons);
        Raise([&](IVNCViewerEvents& sink) { sink.BeforeMouseMove(pressed, modifiers, x, y, action); });
        break;
    }
    case tm::LeftDown:
    case tm::RightDown:
    case tm::MiddleDown:
        Raise([&](IVNCViewerEvents& sink) {
            sink.BeforeMouseUp(PressReleaseButtons, modifiers, x, y, action);
        });
        break;
    case tm::LeftUp:
    case tm::RightUp:
    case tm::MiddleUp:
        Raise([&](IVNCViewerEvents& sink) {
            sink.BeforeMouseDown(PressReleaseButtons, modifiers, x, y, action);
        });
        break;
    case tm::Wheel: {
        const int32_t pressed = EventButtons(buttons);
        const int32_t rotation = int32_t(uint16_t(int16_t(wheelDelta)));
        Raise([&](IVNCViewerEvents& sink) {
            sink.BeforeMouseWheel(pressed, rotation, modifiers, x, y, action);
        });
        break;
    }
    default:
        break; // double-clicks: no event
    }
    if (!Input)
        return;
    if (owedRelease)
        RelayedButtons &= ~button; // relayed even when the host declines: its press was relayed
    else if (!(action & dovaActionAllowDOVA))
        return;
    else if (button != Qt::NoButton && !IsRelease(message))
        RelayedButtons |= button;
    LastMouseKeyState = word;
    LastRelayedFrame = QPoint(x, y);
    if (message == tm::MouseMove) {
        Input->RelayMouseMove(word, uint16_t(x), uint16_t(y), Tick());
        return;
    }
    uint64_t wParam = word;
    if (message == tm::Wheel)
        wParam |= uint64_t(uint16_t(int16_t(wheelDelta))) << 16;
    Input->PostToThread(message, wParam, CInputThread::PackPosition(uint16_t(x), uint16_t(y)));
}

void CVNCViewer::mouseMoveEvent(QMouseEvent* event) {
    const QPoint client = event->position().toPoint();
    // A button let go while another client held the pointer never sent us its release.
    if (RelayedButtons & ~event->buttons()) {
        const Qt::MouseButtons held = RelayedButtons;
        RelayedButtons &= ~event->buttons();
        ReleaseRelayedButtons();
        RelayedButtons = held & event->buttons();
    }
    UpdateCursorAt(client);
    RelayMouse(thread_messages::MouseMove, client, event->buttons(), event->modifiers());
}

void CVNCViewer::enterEvent(QEnterEvent* event) {
    // The pointer may come in without a move of its own over the window.
    UpdateCursorAt(event->position().toPoint());
    QWidget::enterEvent(event);
}

void CVNCViewer::mousePressEvent(QMouseEvent* event) {
    namespace tm = thread_messages;
    const uint32_t message = event->button() == Qt::LeftButton    ? tm::LeftDown
                             : event->button() == Qt::RightButton ? tm::RightDown
                                                                  : tm::MiddleDown;
    if (event->button() == Qt::LeftButton || event->button() == Qt::RightButton ||
        event->button() == Qt::MiddleButton)
        RelayMouse(message, event->position().toPoint(), event->buttons(), event->modifiers());
    setFocus(Qt::MouseFocusReason);
}

void CVNCViewer::mouseReleaseEvent(QMouseEvent* event) {
    namespace tm = thread_messages;
    const uint32_t message = event->button() == Qt::LeftButton    ? tm::LeftUp
                             : event->button() == Qt::RightButton ? tm::RightUp
                                                                  : tm::MiddleUp;
    if (event->button() == Qt::LeftButton || event->button() == Qt::RightButton ||
        event->button() == Qt::MiddleButton)
        RelayMouse(message, event->position().toPoint(), event->buttons(), event->modifiers());
}

void CVNCViewer::mouseDoubleClickEvent(QMouseEvent* event) {
    namespace tm = thread_messages;
    const uint32_t message = event->button() == Qt::LeftButton    ? tm::LeftDouble
                             : event->button() == Qt::RightButton ? tm::RightDouble
                                                                  : tm::MiddleDouble;
    RelayMouse(message, event->position().toPoint(), event->buttons(), event->modifiers());
}

void CVNCViewer::wheelEvent(QWheelEvent* event) {
    const int delta = event->angleDelta().y();
    if (delta != 0)
        RelayMouse(thread_messages::Wheel, event->position().toPoint(), event->buttons(), event->modifiers(),
                   delta);
}

void CVNCViewer::ShowContextMenu(const QPoint& global) {
    QMenu menu(this);
    QAction* about = menu.addAction(QStringLiteral("&About DOVA"));
    about->setData(AboutCommand);
    QAction* chosen = menu.exec(global);
    if (chosen == about)
        AboutBox();
    activateWindow();
}

void CVNCViewer::UpdateCursorAt(const QPoint& client) {
    const int left = ViewLeftValue(), top = ViewTopValue();
    const bool overImage = ViewValid() && ClientRect().contains(client) && client.x() >= left &&
                           client.y() >= top && client.x() < left + ContentWidth() &&
                           client.y() < top + ContentHeight();
    setCursor(overImage ? SelectedCursor : QCursor(Qt::ArrowCursor));
}

void CVNCViewer::EdgeTick(const PointerSample& sample) {
    const QPoint pointer = sample.Global;
    const uint32_t now = Tick();
    auto dwell = [&](int32_t edges, uint32_t& start, auto raise) {
        if (edges == dovaEdgeNone) {
            start = 0;
            return;
        }
        if (start != 0 && uint32_t(now - start) > uint32_t(std::max(0, ScreenEdgeDelayValue))) {
            raise(edges);
            start = 0;
        }
        if (start == 0)
            start = now;
    };
    // Screen edge: whether or not a session exists.
    const QScreen* desktop = QGuiApplication::screenAt(pointer);
    if (!desktop)
        desktop = QGuiApplication::primaryScreen();
    if (desktop) {
        const QRect area = desktop->geometry(); // right() and bottom() are the last pixels
        dwell(EdgesOf(pointer, area.left(), area.top(), area.right(), area.bottom(), 0), ScreenEdgeStart,
              [&](int32_t edge) { Raise([&](IVNCViewerEvents& sink) { sink.ScreenEdgeDetected(edge); }); });
    }
    // Frame edge: only while the pointer is over this window.
    if (!OverOwnWindow(sample)) {
        FrameEdgeStart = 0;
        return;
    }
    const QPoint frame = FramePointOf(mapFromGlobal(pointer));
    int32_t right = 0, bottom = 0;
    get_ViewRight(&right);
    get_ViewBottom(&bottom);
    dwell(EdgesOf(frame, ViewLeftValue(), ViewTopValue(), right, bottom, 0), FrameEdgeStart,
          [&](int32_t edge) { Raise([&](IVNCViewerEvents& sink) { sink.FrameEdgeDetected(edge); }); });
}

} // namespace dova
