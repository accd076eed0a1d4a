#pragma once
// The extended clipboard: a pseudo-encoding a server answers with its capabilities, after which
// clipboard text travels as UTF-8 (CR LF line ends, a terminating NUL) instead of 8-bit text. Its
// messages are ServerCutText / ClientCutText whose length, read as signed, is negative: the absolute
// value is the size of what follows, a u32 of flags and the action's data. Text is announced (notify),
// asked for (request) and sent (provide, a zlib stream holding a u32 size and the bytes per format).
//
// One per viewer, shared by the session thread (server messages) and the input thread (local text);
// its fields are guarded by its own mutex, never held while writing to the wire. WireOrder is held from
// reading the local text to writing what was read, so a provide of an older text never follows the
// notice of a newer one on the wire (a server that keeps what it was given would keep the older).

#include <atomic>
#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace dova {

class CRfbProtocol;
class CByteSource;

inline constexpr int32_t ExtendedClipboardEncoding = int32_t(0xC0A1E5CE); // -1063131698

namespace clipboard_flags {
inline constexpr uint32_t Text = 1u << 0;
inline constexpr uint32_t Formats = 0xFFFFu;
inline constexpr uint32_t Caps = 1u << 24;
inline constexpr uint32_t Request = 1u << 25;
inline constexpr uint32_t Peek = 1u << 26;
inline constexpr uint32_t Notify = 1u << 27;
inline constexpr uint32_t Provide = 1u << 28;
} // namespace clipboard_flags

// Clipboard text is for people; more than this either way is not text (the plain cut-text limit).
inline constexpr uint32_t MaxClipboardText = uint32_t(16) << 20;

class CExtendedClipboard {
public:
    // A new connection: nothing known about the server yet.
    void Reset();
    // True once the server has told its capabilities: text then travels as UTF-8, both ways.
    bool Active() const { return IsActive.load(); }

    // Session thread: one extended message of size bytes (after the 8-byte header), read whole from
    // the protocol's input and answered through it. Returns the server's text (UTF-8, as sent) when
    // the message provided some. Malformed messages raise 1298, oversized text 4096. Text the server
    // announces is asked for only with fetchText (the user relays the server's clipboard) and only
    // where the server's capabilities take requests.
    std::optional<std::string> ReadServerMessage(CRfbProtocol& protocol, uint32_t size, bool fetchText);

    // Input thread: the local clipboard now holds this UTF-8 text (LF or CR LF line ends). The server
    // is told text is there, or given it when it takes text without being told first; nothing goes to
    // a server whose capabilities leave out text.
    void LocalTextChanged(CRfbProtocol& protocol, const std::string& utf8);

private:
    void AnswerCaps(CRfbProtocol& protocol);
    // The caller holds WireOrder.
    void ProvideLocalText(CRfbProtocol& protocol);
    std::optional<std::string> ReadProvidedText(const uint8_t* data, size_t size, uint32_t flags);

    std::atomic<bool> IsActive{false};
    std::mutex WireOrder; // taken before Mutex
    std::mutex Mutex;
    uint32_t ServerFlags = 0;             // under Mutex
    uint32_t ServerTextLimit = 0;         // under Mutex: the largest text the server takes
    std::optional<std::string> LocalText; // under Mutex: CR LF line ends and a NUL, as sent
};

// The bytes of an extended cut-text message (type byte given): header with the negative length,
// flags, data.
std::vector<uint8_t> ExtendedCutTextMessage(uint8_t type, uint32_t flags, const std::vector<uint8_t>& data);

} // namespace dova
