#pragma once
// CInputThread: turns local and host input into KeyEvent, PointerEvent and ClientCutText messages.
// Runs beside the session thread at the lowest priority; writes only, under the socket's write lock,
// so its messages never split one of the session thread's.
//
// Messages it takes (PostToThread; numbers in ThreadMessage.h):
//   VncKeyDown / VncKeyUp      wParam virtual-key code, lParam modifiers (1 Shift, 2 Control, 4 Alt,
//                              0x80 keep the snapshot's state for the others, 0x10000 leave the remote
//                              modifiers alone). The character comes from the engine's US layout with
//                              Shift and Caps Lock from KeyboardState (Shift as the modifiers ask).
//   VncMouseDown / VncMouseUp  payload PointerRecord.
//   VncClientCutText           payload std::string: the text, in the wire's code page (wParam
//                              cut_text::Plain) or, for a server in the extended clipboard, UTF-8
//                              (cut_text::Utf8; dropped when the server does not take part).
//   VncFrameUpdate             payload RegionRecord: asks the session for a full refresh.
//   VncResumeFrames            sends the update request the session held while RequestFrames was
//                              false, for the whole frame, not incremental (the picture is stale).
//   MoveToken (2025)           wParam token: clears MoveToken when it still holds that token.
//   KeyDown, SysKeyDown, KeyUp, SysKeyUp (relayed local keys)
//                              wParam virtual-key code; lParam the Unicode code point of the character
//                              the local keyboard layout produced for the key (Turkish Q included), or
//                              0 when it produced none. Keys with a fixed keysym ignore it; for the
//                              others 0 (or a control character, as Ctrl+letter gives) falls back to
//                              the US layout with the KeyboardState snapshot. With LocalKeysymGiven
//                              set, the low 32 bits are the key's own keysym instead (AltGr). Bits
//                              40..62 the key's scan code (WithLocalScanCode), or 0.
//   MouseMove                  wParam button flags (0x0001 left, 0x0010 middle, 0x0002 right),
//                              lParam x | y << 16 in frame coordinates; sent only while MoveToken is 0.
//   LeftDown/Up, RightDown/Up, MiddleDown/Up   lParam x | y << 16.
//   Wheel                      wParam delta in bits 16..31 (signed): one Down or Up arrow press.
// The relayed (platform) messages are ignored once the thread is being stopped; double-clicks always.

#include "KeyboardLayout.h"
#include "RfbProtocol.h"
#include "WorkerThread.h"

#include <array>
#include <atomic>
#include <memory>
#include <unordered_map>

namespace dova {

class CViewerState;

class CInputThread : public CWorkerThread {
public:
    // Writes through state.Socket, which must outlive the running thread.
    explicit CInputThread(CViewerState& state);
    ~CInputThread() override;

    // User-interface thread: copies the local keyboard snapshot in; do it right before posting any
    // key message.
    void SetKeyboardState(const KeyboardSnapshot& snapshot);

    // The engine cannot read the local keyboard; the component passes a live snapshot. Gives 1 if a
    // shift key is down, plus 2 if a control key is down, plus 4 if an Alt key is down.
    static int32_t CurrentModifiers(const KeyboardSnapshot& live) { return ModifiersOf(live); }

    // User-interface thread: relays a local mouse move so that only the newest of the moves still
    // queued is sent (stores the token, posts message 2025 with it, then the move).
    void RelayMouseMove(uint32_t buttonFlags, uint16_t x, uint16_t y, uint32_t tick);

    static int64_t PackPosition(uint16_t x, uint16_t y) { return int64_t(x) | (int64_t(y) << 16); }

    // Position of the last pointer event; any thread may read it (the Refresh nudge does).
    int32_t LastPointerX() const { return LastX.load(); }
    int32_t LastPointerY() const { return LastY.load(); }
    // Buttons held in the last PointerEvent written; any thread may read it.
    uint8_t ButtonsOnServer() const { return SentButtons.load(); }

    CLockable KeyboardLock;
    KeyboardSnapshot KeyboardState{}; // under KeyboardLock
    std::atomic<uint32_t> MoveToken{0};

protected:
    void Run() override;
    int OnThreadMessage(ThreadMessage& message) override;

private:
    void Dispatch(ThreadMessage& message);
    // Closes the connection and queues an error: for failures that are no engine exception.
    void FailConnection(const char* reason);
    // produced: the lParam of a relayed key (a code point, or a keysym with LocalKeysymGiven).
    void SendLocalKey(uint8_t virtualKey, bool down, int64_t produced);
    void SendHostKey(uint8_t virtualKey, int32_t modifiers, bool down);
    // Sends Shift, Control and Alt as the modifiers ask; returns the ones now held.
    int32_t ApplyModifiers(int32_t modifiers);
    // pressed: the slot of the key (PressedKeysyms or PressedByScanCode).
    void SendKey(uint32_t& pressed, uint32_t keysym, bool down);
    void ProcessPointer(int32_t x, int32_t y, uint8_t mask, bool down);
    void SendHostPointer(const PointerRecord& record, bool down);
    void SendWheel(int16_t delta);
    void SendClientCutText(const std::string& text);
    void SendPointer(int32_t x, int32_t y, uint8_t mask);

    CViewerState& State;
    std::unique_ptr<CRfbProtocol> Protocol;
    uint8_t ButtonMask = 0;
    std::atomic<int32_t> LastX{0};
    std::atomic<int32_t> LastY{0};
    std::atomic<uint8_t> SentButtons{0};
    // Keysym sent for each key still down, so its release names the same keysym even when Shift or
    // the carried character changed in between (X servers ignore releases of keysyms not pressed).
    // Indexed by virtual-key code for the host's keys and for relayed keys without a scan code.
    std::array<uint32_t, 256> PressedKeysyms{};
    // Relayed keys by scan code: keys without a code of their own (AltGr+Q's @, AltGr+E's €) and keys
    // that share one each release their own keysym, also when the release reports another character.
    std::unordered_map<uint32_t, uint32_t> PressedByScanCode;
};

} // namespace dova
