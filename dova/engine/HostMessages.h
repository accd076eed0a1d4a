#pragma once
// What the engine tells its host. The engine never touches the user interface: worker threads post
// these notifications, and the host (the viewer component, or a test recorder) handles them on its
// own user-interface thread. Post must be thread-safe and must never block on the host.

#include <cstdint>

namespace dova {

enum class HostMessage : uint32_t {
    Connected,        // handshake done: create the session thread, raise Connected
    Exception,        // drain the exception queue
    DataTransfer,     // WParam = bytes read, LParam = bytes written
    ServerBell,       // the server rang the bell
    ServerCutText,    // drain the server cut-text queue into the clipboard
    ServerInitUpdate, // the server re-initialised the frame (size or name changed)
    FrameUpdated,     // WParam = x | y << 16, LParam = width | height << 16 (frame units)
    Password,         // the engine waits for a password: raise Password, then call PasswordAnswered()
    RepaintWindow,    // WParam = left | top << 16, LParam = width | height << 16 (window units)
};

class IHostPoster {
public:
    virtual ~IHostPoster() = default;
    virtual void Post(HostMessage message, uint32_t wParam, uint32_t lParam) = 0;
};

inline constexpr uint32_t PackWords(uint32_t low, uint32_t high) {
    return (low & 0xFFFFu) | ((high & 0xFFFFu) << 16);
}

} // namespace dova
