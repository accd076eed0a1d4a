#pragma once
// CServerMessageReader: reads one server message at a time from the session's input and handles it,
// and keeps asking for updates: the next FramebufferUpdateRequest leaves as soon as an update has been
// drawn, and FrameUpdateDelay only holds back the reading of what the server sends next.
//
// Everything that needs a thread or the connection itself (waits, ServerInit, stream coding) goes
// through ISessionLink, so the reader also runs thread-free on a memory source (fuzzer, benchmarks).

#include "RfbProtocol.h"
#include "StreamCoding.h"

#include <chrono>
#include <cstdint>
#include <string>

namespace dova {

namespace server_messages {
inline constexpr uint8_t FramebufferUpdate = 0;
inline constexpr uint8_t Bell = 2;
inline constexpr uint8_t ServerCutText = 3;
inline constexpr uint8_t ServerReinit = 42;
} // namespace server_messages

// Clipboard text is for people; a server sending more than this is not sending text.
inline constexpr uint32_t MaxServerCutText = uint32_t(16) << 20;

class ISessionLink {
public:
    virtual ~ISessionLink() = default;
    // Waits while update requests are held back (RequestFrames false); false when the session stops.
    virtual bool AwaitFramesAllowed() = 0;
    // Waits up to rest, or until a lower FrameUpdateDelay cuts it short; false when the session stops.
    virtual bool AwaitDelay(std::chrono::milliseconds rest) = 0;
    // Reads and validates a complete ServerInit from the same stream (server re-initialisation).
    virtual void ReadServerInit() = 0;
    // Server message 10, consumed: from now on every byte is read through the stream plug-in.
    virtual void StartCodedStream() = 0;
    // Server message 26, all four bytes consumed.
    virtual void SwitchStreamCoding(const uint8_t message[4]) = 0;
    // The server gives its screen a new size (already checked against the largest frame); a link
    // may refuse it by throwing.
    virtual void CheckNewFrameSize(uint16_t /*width*/, uint16_t /*height*/) {}
};

// Every line feed becomes carriage return + line feed; the text ends at its first NUL byte. Bytes are
// kept as received (code-page conversion is the host's business).
std::string LineFeedsToCrLf(const uint8_t* text, size_t length);

class CServerMessageReader {
public:
    // The request region starts as the whole frame.
    CServerMessageReader(CRfbProtocol& protocol, ISessionLink& link);

    // The first request of a session asks for the whole region (non-incremental).
    void RequestFirstUpdate();
    // Waits for the next message, reads it whole and handles it. False when a wait was ended by the
    // session stopping; failures are engine exceptions.
    bool ReadMessage();

    const UpdateRegion& RequestRegion() const { return Region; }

private:
    bool ReadOneMessage();
    bool ReadFramebufferUpdate();
    bool RequestNextUpdate();
    void ReadServerCutText();
    void ReadServerReinit();
    void ResetRequestRegion();

    CRfbProtocol& Protocol;
    CViewerState& State;
    CByteSource& Input;
    ISessionLink& Link;
    UpdateRegion Region;
};

} // namespace dova
