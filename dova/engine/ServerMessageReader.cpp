#include "ServerMessageReader.h"

#include "../base/EngineExceptions.h"
#include "../framebuffer/FrameBuffer.h"
#include "DecodeStatistics.h"
#include "RectangleLoop.h"
#include "ViewerState.h"

#include <cstdio>
#include <cstring>

namespace dova {

namespace {

CFrameBuffer& FrameOf(CViewerState& state) {
    CFrameBuffer* frame = state.FrameBuffer.load();
    if (!frame || !frame->HasBitmap())
        throw CErrorException(codes::Validity, "No frame buffer to draw the update into.");
    return *frame;
}

} // namespace

std::string LineFeedsToCrLf(const uint8_t* text, size_t length) {
    if (length == 0)
        return std::string();
    const auto* end = static_cast<const uint8_t*>(std::memchr(text, 0, length));
    const size_t used = end ? size_t(end - text) : length;
    std::string out;
    out.reserve(used + used / 8 + 1);
    for (size_t i = 0; i < used; ++i) {
        if (text[i] == '\n')
            out.push_back('\r');
        out.push_back(char(text[i]));
    }
    return out;
}

CServerMessageReader::CServerMessageReader(CRfbProtocol& protocol, ISessionLink& link)
    : Protocol(protocol), State(protocol.State()), Input(protocol.Input()), Link(link) {
    ResetRequestRegion();
}

void CServerMessageReader::ResetRequestRegion() {
    CLockGuard hold(State);
    Region = UpdateRegion{0, 0, State.FrameWidth, State.FrameHeight};
}

void CServerMessageReader::RequestFirstUpdate() {
    bool pending;
    {
        CLockGuard hold(State);
        pending = State.CurrentPixelFormat != State.RequestedPixelFormat;
    }
    // A depth chosen after the handshake but before Start: announced before the first update, so no
    // update arrives in a format the framebuffer is not built in.
    // Non-incremental: a server that sends only what changes after an incremental request would leave
    // a quiet screen black for ever.
    if (pending)
        RequestNextUpdate();
    else
        Protocol.SendUpdateRequest(Region, false);
}

bool CServerMessageReader::ReadMessage() {
    const bool goOn = ReadOneMessage();
    Input.Commit();
    return goOn;
}

bool CServerMessageReader::ReadOneMessage() {
    switch (Input.PeekByte()) {
    case server_messages::FramebufferUpdate:
        return ReadFramebufferUpdate();
    case server_messages::Bell:
        Input.Take(1);
        if (State.EnableBell)
            State.Post(HostMessage::ServerBell);
        return true;
    case server_messages::ServerCutText:
        ReadServerCutText();
        return true;
    case server_messages::StreamStart:
        Input.Take(1);
        Input.HandBack(); // the plug-in reads the connection from the next byte on
        Link.StartCodedStream();
        return true;
    case server_messages::StreamCoding: {
        uint8_t message[4];
        Input.ReadInto(message, sizeof message);
        Input.HandBack(); // bytes after the switch may be coded: the plug-in must read them itself
        Link.SwitchStreamCoding(message);
        return true;
    }
    case server_messages::ServerReinit:
        ReadServerReinit();
        return true;
    default: // SetColourMapEntries (1) included: colour maps are never asked for
        throw CErrorException(codes::ProtocolSync, texts::ProtocolSync);
    }
}

bool CServerMessageReader::ReadFramebufferUpdate() {
    const auto start = std::chrono::steady_clock::now();
    const uint16_t count = GetU16(Input.Take(4) + 2);
    if (CRectangleLoop::Run(Protocol, FrameOf(State), count, &Link)) {
        // The server's screen changed size: the next request asks for all of the new one.
        ResetRequestRegion();
        State.FullRefreshRequested = true;
    }
    Input.Commit(); // counts include the update before the next request leaves
    if (Protocol.Statistics) {
        const uint64_t done = ++Protocol.Statistics->Updates;
        Protocol.Statistics->DecodeNanoseconds += uint64_t(
            std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now() - start)
                .count());
        if (Protocol.Statistics->StopAfterUpdates && done >= Protocol.Statistics->StopAfterUpdates)
            return false;
    }

    if (State.EncodingsChanged.exchange(false))
        Protocol.SendSetEncodings();
    if (!RequestNextUpdate())
        return false;

    // The request is already out; the delay only holds back reading the answer.
    const auto elapsed =
        std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start);
    const std::chrono::milliseconds delay(std::max(0, State.FrameUpdateDelay.load()));
    if (elapsed < delay)
        return Link.AwaitDelay(delay - elapsed);
    return true;
}

bool CServerMessageReader::RequestNextUpdate() {
    PixelFormat current, requested;
    {
        CLockGuard hold(State);
        current = State.CurrentPixelFormat;
        requested = State.RequestedPixelFormat;
    }
    if (current != requested) {
        Protocol.SendSetPixelFormat(requested);
        if (!Link.AwaitFramesAllowed())
            return false;
        Protocol.SendUpdateRequest(Region, false);
        uint16_t width, height;
        {
            CLockGuard hold(State);
            State.CurrentPixelFormat = requested;
            width = State.FrameWidth;
            height = State.FrameHeight;
        }
        // Black until the full update in the new format arrives; rebuilt before any of its rectangles.
        FrameOf(State).Create(width, height, requested);
        return true;
    }
    if (State.FullRefreshRequested.exchange(false)) {
        Protocol.SendUpdateRequest(Region, false);
        return true;
    }
    if (!State.RequestFrames) {
        // Held without blocking: the thread keeps reading, so a peer that goes away is noticed.
        State.RequestHeld = true;
        if (!State.RequestFrames || !State.RequestHeld.exchange(false))
            return true;
        // Allowed again in the meantime and the flag is ours: the owed request, as on resume.
        Protocol.SendUpdateRequest(Region, false);
        return true;
    }
    Protocol.SendUpdateRequest(Region, true);
    return true;
}

void CServerMessageReader::ReadServerCutText() {
    const uint32_t length = GetU32(Input.Take(8) + 4);
    if (int32_t(length) < 0) { // the extended clipboard: the size is the negated length
        std::optional<std::string> text = State.Clipboard.ReadServerMessage(
            Protocol, uint32_t(-int64_t(int32_t(length))), State.RelayServerClipboard);
        // Already CR LF; the terminating NUL stays behind.
        if (text && State.RelayServerClipboard)
            State.QueueServerCutText(text->substr(0, text->find('\0')), true);
        return;
    }
    if (length > MaxServerCutText) {
        char text[128];
        std::snprintf(text, sizeof text, "Server cut text too long (%u bytes).", unsigned(length));
        throw CErrorException(codes::Validity, text);
    }
    const uint8_t* bytes = Input.Take(length);
    if (State.RelayServerClipboard)
        State.QueueServerCutText(LineFeedsToCrLf(bytes, length));
}

void CServerMessageReader::ReadServerReinit() {
    Input.Take(1);
    Input.HandBack();
    Link.ReadServerInit();
    uint16_t width, height;
    PixelFormat format;
    {
        CLockGuard hold(State);
        width = State.FrameWidth;
        height = State.FrameHeight;
        format = State.CurrentPixelFormat;
    }
    // The frame may have changed size: no rectangle of the new frame may be drawn into the old bitmap.
    FrameOf(State).Create(width, height, format);
    State.Post(HostMessage::ServerInitUpdate);
    ResetRequestRegion();
}

} // namespace dova
