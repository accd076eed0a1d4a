#pragma once
// CViewerState: the shared state of one viewer. The user-interface thread and the worker threads
// read and write it; fields marked "under the lock" are touched only while holding it, the atomics
// are single stores read without it. Lock order: a framebuffer lock is always taken before this one,
// and code holding this lock never waits for a framebuffer lock.

#include "../base/EngineExceptions.h"
#include "../base/Lockable.h"
#include "../base/ManualEvent.h"
#include "../framebuffer/PixelFormat.h"
#include "ConnectionHealth.h"
#include "Encryption.h"
#include "ExtendedClipboard.h"
#include "HostMessages.h"

#include <array>
#include <atomic>
#include <cstdint>
#include <deque>
#include <memory>
#include <string>

namespace dova {

class CFrameBuffer;
class CCoolSocket;
class CSessionThread;

// Connection states, as the component reports them.
namespace states {
inline constexpr int32_t NotConnected = 0;
inline constexpr int32_t Handshaking = 2;
inline constexpr int32_t Connected = 0xF0000;
inline constexpr int32_t Dispatching = 0xF0010;
} // namespace states

inline constexpr int CodecSlots = 16;
// CopyRect, CopyRect, Hextile, Raw, CoRRE, RRE, then unused slots.
inline constexpr std::array<int32_t, CodecSlots> DefaultCodecs = {1,  1,  5,  0,  4,  2,  -1, -1,
                                                                  -1, -1, -1, -1, -1, -1, -1, -1};

class CViewerState : public CLockable {
public:
    explicit CViewerState(IHostPoster* host = nullptr);
    ~CViewerState() override;

    // Queues a copy of the exception and tells the host to drain the queue. Any thread.
    void ReportException(const CSimpleException& exception);
    // Takes the oldest queued exception; false when the queue is empty. User-interface thread.
    bool TakeException(std::unique_ptr<CSimpleException>& out);

    // Server text for the host; utf8 when it came through the extended clipboard, otherwise it is the
    // 8-bit text of plain cut-text messages.
    void QueueServerCutText(std::string text, bool utf8 = false);
    bool TakeServerCutText(std::string& out);
    bool TakeServerCutText(std::string& out, bool& utf8);

    // Stores the requested format for 8, 16 or 32 bits per pixel and returns that value; any other
    // value changes nothing and returns the bits per pixel in force.
    // At 32 bits per pixel the depth is 24 while Tight or ZRLE is among the codecs: servers differ on
    // whether their three-byte pixels need it (Xvnc and x11vnc send them for any 32-bit format,
    // wayvnc's ZRLE only at depth 24 or less), so asking for it makes them agree.
    int SetRequestedPixelFormat(int bitsPerPixel);
    // After Codecs changed: the requested format follows whether Tight or ZRLE is among them. True
    // when that changed the requested format.
    bool CodecsChanged();
    bool ThreeBytePixelCodecAmongCodecs() const;

    void Post(HostMessage message, uint32_t wParam = 0, uint32_t lParam = 0);

    // Password round trip: the connect thread waits on PasswordEvent after posting
    // HostMessage::Password; the host answers with PasswordAnswered(), or CancelPasswordWait() when
    // the viewer stops so the connect thread never waits for a host that will not answer. Stop closes
    // the socket (CloseByOwner) before cancelling; each handshake clears PasswordCancelled as it
    // begins, so a cancel left from an earlier attempt does not end the next one.
    void PasswordAnswered() { PasswordEvent.Set(); }
    void CancelPasswordWait() {
        PasswordCancelled = true;
        PasswordEvent.Set();
    }

    IHostPoster* Host = nullptr;

    // Connection settings (under the lock).
    std::string Server;   // UTF-8
    std::string Password; // UTF-8
    int32_t Port = 5900;
    bool Shared = true;
    ConnectionLimits Limits;
    EncryptionSettings Encryption;

    std::atomic<int32_t> State{states::NotConnected};

    // What the server told us (under the lock).
    std::string ServerVersionText; // the 12 bytes the server sent
    std::string ServerVersion;
    uint16_t FrameWidth = 0;
    uint16_t FrameHeight = 0;
    PixelFormat ServerPixelFormat;
    std::string DesktopName;
    SecurityOutcome Security;

    // Pixel formats (under the lock).
    PixelFormat CurrentPixelFormat;   // in force: the framebuffer is built in it
    PixelFormat RequestedPixelFormat; // differs from CurrentPixelFormat while a change is pending

    // Encodings (under the lock).
    std::array<int32_t, CodecSlots> Codecs = DefaultCodecs;
    // Tight's JPEG quality and zlib level, 0 to 9, sent as pseudo-encodings after the codecs; -1 sends
    // none (and without a quality level servers send no JPEG).
    int32_t QualityLevel = -1;
    int32_t CompressLevel = -1;
    std::atomic<bool> EncodingsChanged{false};
    std::atomic<bool> FullRefreshRequested{false};

    // Session behaviour.
    std::atomic<bool> RequestFrames{true};
    // The session owes the server its next update request: RequestFrames was false when it was due.
    // The session goes on reading meanwhile (so a lost peer is still noticed); whoever turns
    // RequestFrames on again and takes this flag sends the owed request, as a full one.
    std::atomic<bool> RequestHeld{false};
    std::atomic<int32_t> FrameUpdateDelay{0};
    std::atomic<bool> EnableBell{true};
    std::atomic<bool> RelayServerClipboard{true};
    std::atomic<bool> FireDataTransfers{false};
    std::atomic<bool> FireFrameUpdates{false};
    std::atomic<bool> ProgressiveDrawing{false};
    std::atomic<bool> Draw{true};
    // 1, 2, 4 or 8: how much smaller than the remote screen the frame is kept (a thumbnail's); the
    // session rebuilds the frame at the start of the next update when it differs.
    std::atomic<int32_t> FrameReduction{1};

    // Presentation (under the lock).
    bool Stretch = false;
    int32_t StretchMode = 4; // 4 halftone, anything else nearest pixel
    int32_t StretchXNum = 1, StretchXDen = 1, StretchYNum = 1, StretchYDen = 1;
    int32_t ViewLeft = 0, ViewTop = 0;
    int32_t ScrollX = 0, ScrollY = 0;

    // Compatible stream coding (under the lock).
    bool StreamEnabled = false;
    int32_t StreamLevel = 3;
    std::array<uint8_t, 4> StreamCodingMessage{0, 0, 0, 0};

    // Clipboard text as UTF-8 once the server takes part in the extended clipboard.
    CExtendedClipboard Clipboard;

    // Password wait.
    CManualEvent PasswordEvent;
    std::atomic<bool> PasswordCancelled{false};

    // Objects of the running connection (owned by the component; the state only points at them).
    std::atomic<CCoolSocket*> Socket{nullptr};
    std::atomic<CFrameBuffer*> FrameBuffer{nullptr};
    std::atomic<CSessionThread*> Session{nullptr};

private:
    struct ServerText {
        std::string Bytes;
        bool Utf8 = false;
    };
    std::deque<ServerText> ServerCutTextQueue;
    std::deque<std::unique_ptr<CSimpleException>> ExceptionQueue;
};

} // namespace dova
