#include "InputThread.h"

#include "../base/EngineExceptions.h"
#include "CoolSocket.h"
#include "Keysyms.h"
#include "ViewerState.h"

#include <algorithm>
#include <exception>
#include <new>

namespace dova {

namespace {
namespace msg = thread_messages;

constexpr uint8_t LeftButton = 1;
constexpr uint8_t MiddleButton = 2;
constexpr uint8_t RightButton = 4;
// PointerEvent coordinates are unsigned 16-bit.
constexpr int32_t LargestCoordinate = 0xFFFF;

bool IsRelayedInput(uint32_t message) {
    switch (message) {
    case msg::KeyDown:
    case msg::SysKeyDown:
    case msg::KeyUp:
    case msg::SysKeyUp:
        return true;
    default:
        return message >= msg::MouseMove && message <= msg::Wheel;
    }
}

int32_t PositionX(int64_t lParam) {
    return int32_t(uint64_t(lParam) & 0xFFFF);
}
int32_t PositionY(int64_t lParam) {
    return int32_t((uint64_t(lParam) >> 16) & 0xFFFF);
}

uint8_t MaskFromButtonFlags(uint64_t flags) {
    uint8_t mask = 0;
    if (flags & 0x0001)
        mask |= LeftButton;
    if (flags & 0x0010)
        mask |= MiddleButton;
    if (flags & 0x0002)
        mask |= RightButton;
    return mask;
}
} // namespace

CInputThread::CInputThread(CViewerState& state) : State(state) {}

CInputThread::~CInputThread() {
    Stop();
}

void CInputThread::SetKeyboardState(const KeyboardSnapshot& snapshot) {
    CLockGuard hold(KeyboardLock);
    KeyboardState = snapshot;
}

void CInputThread::RelayMouseMove(uint32_t buttonFlags, uint16_t x, uint16_t y, uint32_t tick) {
    MoveToken = tick;
    PostToThread(msg::MoveToken, tick);
    PostToThread(msg::MouseMove, buttonFlags, PackPosition(x, y));
}

void CInputThread::Run() {
    if (CCoolSocket* socket = State.Socket.load())
        Protocol = std::make_unique<CRfbProtocol>(State, *socket);
    RunMessageLoop();
    Protocol.reset();
}

int CInputThread::OnThreadMessage(ThreadMessage& message) {
    try {
        Dispatch(message);
    } catch (const CSimpleException& failure) {
        switch (failure.Level) {
        case ExceptionLevel::Error:
            if (CCoolSocket* socket = State.Socket.load())
                socket->CloseByOwner(true);
            State.ReportException(failure);
            break;
        case ExceptionLevel::Quiet:
            // The owner closed the connection: there is nothing to tell the host, and a queued quiet
            // failure would reach a later connection's host as an empty error.
            break;
        default:
            State.ReportException(failure);
            break;
        }
    } catch (const std::bad_alloc&) {
        // A clipboard text too large to copy must not end the process: it ends the connection.
        FailConnection("Not enough memory.");
    } catch (const std::exception& failure) {
        FailConnection(failure.what());
    }
    // The payload (record or text) is owned by the message and goes with it on every path.
    return 1;
}

void CInputThread::FailConnection(const char* reason) {
    if (CCoolSocket* socket = State.Socket.load())
        socket->CloseByOwner(true);
    State.ReportException(CErrorException(codes::Validity, reason));
}

void CInputThread::Dispatch(ThreadMessage& message) {
    if (IsRelayedInput(message.Message) && StopRequested())
        return;
    // Virtual-key codes are one byte; a larger code names no key, and cutting it would name another.
    const bool keyMessage = message.Message == msg::VncKeyDown || message.Message == msg::VncKeyUp ||
                            message.Message == msg::KeyDown || message.Message == msg::KeyUp ||
                            message.Message == msg::SysKeyDown || message.Message == msg::SysKeyUp;
    if (keyMessage && message.WParam > 0xFF)
        return;
    switch (message.Message) {
    case msg::VncKeyDown:
    case msg::VncKeyUp:
        SendHostKey(uint8_t(message.WParam), int32_t(message.LParam), message.Message == msg::VncKeyDown);
        break;
    case msg::VncMouseDown:
    case msg::VncMouseUp:
        if (const auto* record = std::get_if<PointerRecord>(&message.Payload))
            SendHostPointer(*record, message.Message == msg::VncMouseDown);
        break;
    case msg::VncClientCutText:
        if (const auto* text = std::get_if<std::string>(&message.Payload)) {
            if (message.WParam == cut_text::Utf8 && Protocol) {
                if (State.Clipboard.Active())
                    State.Clipboard.LocalTextChanged(*Protocol, *text);
            } else {
                SendClientCutText(*text);
            }
        }
        break;
    case msg::VncResumeFrames:
        if (Protocol) {
            UpdateRegion whole;
            {
                CLockGuard hold(State);
                whole = UpdateRegion{0, 0, State.FrameWidth, State.FrameHeight};
            }
            Protocol->SendUpdateRequest(whole, false);
        }
        break;
    case msg::VncFrameUpdate:
        // The session asks for the whole request region, whatever region the host named.
        State.FullRefreshRequested = true;
        break;
    case msg::MoveToken: {
        uint32_t expected = uint32_t(message.WParam);
        MoveToken.compare_exchange_strong(expected, 0);
        break;
    }
    case msg::KeyDown:
    case msg::SysKeyDown:
        SendLocalKey(uint8_t(message.WParam), true, message.LParam);
        break;
    case msg::KeyUp:
    case msg::SysKeyUp:
        SendLocalKey(uint8_t(message.WParam), false, message.LParam);
        break;
    case msg::MouseMove:
        if (MoveToken.load() == 0) {
            ButtonMask = MaskFromButtonFlags(message.WParam);
            ProcessPointer(PositionX(message.LParam), PositionY(message.LParam), 0, true);
        }
        break;
    case msg::LeftDown:
    case msg::LeftUp:
        ProcessPointer(PositionX(message.LParam), PositionY(message.LParam), LeftButton,
                       message.Message == msg::LeftDown);
        break;
    case msg::RightDown:
    case msg::RightUp:
        ProcessPointer(PositionX(message.LParam), PositionY(message.LParam), RightButton,
                       message.Message == msg::RightDown);
        break;
    case msg::MiddleDown:
    case msg::MiddleUp:
        ProcessPointer(PositionX(message.LParam), PositionY(message.LParam), MiddleButton,
                       message.Message == msg::MiddleDown);
        break;
    case msg::Wheel:
        SendWheel(int16_t(uint16_t(message.WParam >> 16)));
        break;
    default: // double-clicks and anything unknown
        break;
    }
}

void CInputThread::SendKey(uint32_t& pressed, uint32_t keysym, bool down) {
    if (down) {
        // A repeat that now makes another keysym (a modifier changed meanwhile): the one held goes
        // first, or no release would ever name it.
        if (pressed != 0 && pressed != keysym && Protocol)
            Protocol->SendKeyEvent(pressed, false);
        pressed = keysym;
    } else if (pressed != 0) {
        keysym = pressed;
        pressed = 0;
    }
    if (keysym != 0 && Protocol)
        Protocol->SendKeyEvent(keysym, down);
}

void CInputThread::SendLocalKey(uint8_t virtualKey, bool down, int64_t produced) {
    uint32_t keysym = 0;
    if (produced & LocalKeysymGiven) {
        keysym = uint32_t(produced);
    } else {
        keysym = VirtualKeyKeysyms()[virtualKey];
        if (keysym == 0)
            keysym = KeysymForCodePoint(uint32_t(produced));
        if (keysym == 0) {
            CLockGuard hold(KeyboardLock);
            keysym = KeysymForCodePoint(UsLayoutCharacter(virtualKey, KeyboardState));
        }
    }
    const uint32_t scanCode = LocalScanCodeOf(produced);
    if (scanCode == 0) {
        SendKey(PressedKeysyms[virtualKey], keysym, down);
        return;
    }
    uint32_t& pressed = PressedByScanCode[scanCode];
    SendKey(pressed, keysym, down);
    if (pressed == 0)
        PressedByScanCode.erase(scanCode);
}

void CInputThread::SendHostKey(uint8_t virtualKey, int32_t modifiers, bool down) {
    const bool applied = (modifiers & modifiers::Current) == 0;
    const int32_t held = applied ? ApplyModifiers(modifiers) : 0;
    uint32_t keysym = VirtualKeyKeysyms()[virtualKey];
    if (keysym == 0) {
        KeyboardSnapshot keyboard;
        {
            CLockGuard hold(KeyboardLock);
            keyboard = KeyboardState;
        }
        if (applied) {
            // The server now holds Shift as the modifiers asked, so the character must match it.
            const uint8_t shift = (held & modifiers::Shift) ? KeyDownBit : 0;
            keyboard[virtual_keys::Shift] = shift;
            keyboard[virtual_keys::LeftShift] = shift;
            keyboard[virtual_keys::RightShift] = 0;
        }
        keysym = KeysymForCodePoint(UsLayoutCharacter(virtualKey, keyboard));
    }
    SendKey(PressedKeysyms[virtualKey], keysym, down);
}

int32_t CInputThread::ApplyModifiers(int32_t modifiers) {
    int32_t held = modifiers & (modifiers::Shift | modifiers::Control | modifiers::Alt);
    if (modifiers & modifiers::KeepCurrent) {
        CLockGuard hold(KeyboardLock);
        held |= ModifiersOf(KeyboardState);
    }
    struct Modifier {
        uint8_t VirtualKey;
        int32_t Bit;
    };
    constexpr Modifier Order[] = {{virtual_keys::Shift, modifiers::Shift},
                                  {virtual_keys::Control, modifiers::Control},
                                  {virtual_keys::Menu, modifiers::Alt}};
    // All three, changed or not: the remote keyboard may have drifted from what was last sent.
    for (const Modifier& key : Order)
        SendKey(PressedKeysyms[key.VirtualKey], VirtualKeyKeysyms()[key.VirtualKey], (held & key.Bit) != 0);
    return held;
}

void CInputThread::SendPointer(int32_t x, int32_t y, uint8_t mask) {
    if (!Protocol)
        return;
    Protocol->SendPointerEvent(std::clamp(x, 0, LargestCoordinate), std::clamp(y, 0, LargestCoordinate),
                               mask);
    SentButtons = mask;
}

void CInputThread::ProcessPointer(int32_t x, int32_t y, uint8_t mask, bool down) {
    LastX = x;
    LastY = y;
    if (down) {
        ButtonMask |= mask;
        SendPointer(x, y, ButtonMask);
    } else if ((ButtonMask & mask) == mask) {
        ButtonMask &= uint8_t(~mask);
        SendPointer(x, y, ButtonMask);
    } else {
        // A release the server never saw pressed: press and release, so the click still happens.
        SendPointer(x, y, ButtonMask | mask);
        SendPointer(x, y, ButtonMask);
    }
}

void CInputThread::SendHostPointer(const PointerRecord& record, bool down) {
    const int32_t x = (record.Valid & PointerRecord::HasX) ? record.X : LastX.load();
    const int32_t y = (record.Valid & PointerRecord::HasY) ? record.Y : LastY.load();
    const uint8_t buttons = (record.Valid & PointerRecord::HasButtons) ? uint8_t(record.Buttons) : ButtonMask;
    if ((record.Valid & PointerRecord::HasModifiers) && (record.Modifiers & modifiers::Current) == 0)
        ApplyModifiers(record.Modifiers);
    ButtonMask = 0;
    ProcessPointer(x, y, buttons, down);
}

void CInputThread::SendWheel(int16_t delta) {
    // Towards the user scrolls down. Sent at once rather than queued behind later input, so a wheel
    // turn keeps its place among the clicks around it.
    const uint8_t arrow = delta < 0 ? virtual_keys::Down : virtual_keys::Up;
    SendLocalKey(arrow, true, 0);
    SendLocalKey(arrow, false, 0);
}

void CInputThread::SendClientCutText(const std::string& text) {
    std::string copy;
    copy.reserve(text.size());
    // The text ends at its first NUL, as the original NUL-terminated hand-over did.
    for (char c : text) {
        if (c == '\0')
            break;
        if (c != '\r')
            copy.push_back(c);
    }
    if (Protocol)
        Protocol->SendClientCutText(copy);
}

} // namespace dova
