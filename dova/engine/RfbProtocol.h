#pragma once
// CRfbProtocol: builds the client messages and sends each in one write. One instance per thread that
// talks to the server (connect, session, input); the socket's write lock keeps them whole. The session
// reads server messages through Input(); over a socket both directions are the connection, while the
// benchmarks and the fuzzer give it memory instead.

#include "../base/ByteSource.h"
#include "../base/WireOrder.h"
#include "../framebuffer/PixelFormat.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace dova {

class CViewerState;
class CCoolSocket;

namespace client_messages {
inline constexpr uint8_t SetPixelFormat = 0;
inline constexpr uint8_t SetEncodings = 2;
inline constexpr uint8_t FramebufferUpdateRequest = 3;
inline constexpr uint8_t KeyEvent = 4;
inline constexpr uint8_t PointerEvent = 5;
inline constexpr uint8_t ClientCutText = 6;
inline constexpr uint8_t StreamRequest = 10;
} // namespace client_messages

struct UpdateRegion {
    uint16_t X = 0, Y = 0, Width = 0, Height = 0;
};

class CSocketTransport;
class CFrameBuffer;
class CTightDecoder;
class CZrleDecoder;
struct DecodeStatistics;

class CRfbProtocol {
public:
    CRfbProtocol(CViewerState& state, CCoolSocket& socket);
    // Reads from input and writes to output (not owned); Socket() is then null.
    CRfbProtocol(CViewerState& state, CByteSource& input, IByteSink& output);
    ~CRfbProtocol();

    void SendSetPixelFormat(const PixelFormat& format);
    // Sends the codec slots that are >= 0, in slot order, then the extended clipboard; nothing when
    // no slot is in use.
    void SendSetEncodings();
    void SendUpdateRequest(const UpdateRegion& region, bool incremental);
    void SendKeyEvent(uint32_t keysym, bool down);
    void SendPointerEvent(int x, int y, uint8_t buttons);
    // Header and text under the write lock, so no other message comes between them.
    void SendClientCutText(const std::string& bytes);
    void SendStreamRequest(uint8_t level);

    CViewerState& State() { return Viewer; }
    // The connection, when the protocol was made over one.
    CCoolSocket* Socket() { return Connection; }
    CByteSource& Input() { return *Source; }
    IByteSink& Output() { return *Sink; }

    // Grows the scratch buffer to at least size bytes; it never shrinks. It is the input's buffer, so
    // socket reads and decoders share one allocation.
    uint8_t* Scratch(size_t size) { return Source->Scratch(size); }

    // ZRLE's decoder keeps one zlib stream for the whole connection: the session's protocol holds it.
    CZrleDecoder& ZrleDecoder();
    // Tight's four zlib streams last as long, too.
    CTightDecoder& TightDecoder();
    // Where the rectangles of a reduced frame are decoded before they are blended in.
    CFrameBuffer& ReductionScratch();

    // When set, the session counts updates and rectangles into it (not owned).
    DecodeStatistics* Statistics = nullptr;

private:
    CViewerState& Viewer;
    CCoolSocket* Connection = nullptr;
    std::unique_ptr<CSocketTransport> OwnTransport;
    std::unique_ptr<CZrleDecoder> Zrle;
    std::unique_ptr<CTightDecoder> Tight;
    std::unique_ptr<CFrameBuffer> Unreduced;
    CByteSource* Source;
    IByteSink* Sink;
};

} // namespace dova
