// libFuzzer target: arbitrary server bytes after a valid ServerInit, read by the session's message
// reader exactly as the session thread reads them, but from memory and without threads.
//
// Input: byte 0 chooses the viewer's settings (bits 0-1 pixel size, 2 progressive drawing, 3 frame
// update notices, 4 a pending pixel-format change, 5 clipboard relay, 6 a pending full refresh, 7 Tight
// among the codecs, so the 32-bit format says depth 24 and Tight pixels take three bytes), bytes
// 1 and 2 the frame size (1..64 each, low 6 bits); the rest is the server's stream after ServerInit.
// The stream arrives through the socket's read-ahead window in chunks: the top bits of byte 1 choose
// the window (256 to 2048 bytes, so large payloads bypass it), those of byte 2 the chunks (random up to
// the window, one byte each, random up to 7 bytes, all at once). Each input is read twice: into a
// full-size frame, then into a thumbnail's frame reduced by 2, 4 or 8 (byte 1, modulo 3).

#include "base/EngineExceptions.h"
#include "engine/CoolSocket.h"
#include "engine/MemoryTransport.h"
#include "engine/RfbProtocol.h"
#include "engine/ServerInit.h"
#include "engine/ServerMessageReader.h"
#include "engine/ViewerState.h"
#include "framebuffer/FrameBuffer.h"

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <vector>

using namespace dova;

namespace {

// Re-initialisations and new sizes may ask for frames up to 16384 x 16384; the harness stays below this many
// pixels so one input cannot take seconds of memory clearing.
constexpr uint32_t MaxFuzzFramePixels = 512 * 512;

class FuzzLink : public ISessionLink {
public:
    FuzzLink(CViewerState& state, CCoolSocket& socket) : State(state), Socket(socket) {}
    bool AwaitFramesAllowed() override { return true; }
    bool AwaitDelay(std::chrono::milliseconds) override { return true; }
    void ReadServerInit() override {
        dova::ReadServerInit(State, Socket);
        CLockGuard hold(State);
        if (uint32_t(State.FrameWidth) * State.FrameHeight > MaxFuzzFramePixels)
            throw CErrorException(0, "frame too large for the fuzzer");
    }
    void StartCodedStream() override { throw CErrorException(0, "no stream plug-in"); }
    void SwitchStreamCoding(const uint8_t*) override { throw CErrorException(0, "no stream plug-in"); }
    void CheckNewFrameSize(uint16_t width, uint16_t height) override {
        if (uint32_t(width) * height > MaxFuzzFramePixels)
            throw CErrorException(0, "frame too large for the fuzzer");
    }

private:
    CViewerState& State;
    CCoolSocket& Socket;
};

// Every repaint must lie inside the frame.
class CheckingPresenter : public IFramePresenter {
public:
    void Present(const CFrameBuffer& frame, int x, int y, int w, int h) override {
        if (x < 0 || y < 0 || w < 0 || h < 0 || x + w > frame.Width() || y + h > frame.Height()) {
            std::fprintf(stderr, "repaint outside the frame: %d %d %d %d in %d x %d\n", x, y, w, h,
                         frame.Width(), frame.Height());
            std::abort();
        }
    }
};

void AppendServerInit(std::vector<uint8_t>& out, int width, int height, const PixelFormat& format) {
    out.push_back(uint8_t(width >> 8));
    out.push_back(uint8_t(width));
    out.push_back(uint8_t(height >> 8));
    out.push_back(uint8_t(height));
    const auto wire = format.ToWire();
    out.insert(out.end(), wire.begin(), wire.end());
    const char name[] = "fuzz";
    for (int shift = 24; shift >= 0; shift -= 8)
        out.push_back(uint8_t((sizeof name - 1) >> shift));
    out.insert(out.end(), name, name + sizeof name - 1);
}

void ReadSession(const uint8_t* data, size_t size, int reduction) {
    const uint8_t options = data[0];
    const int bitsPerPixel = (options & 3) == 0 ? 8 : (options & 3) == 1 ? 16 : 32;
    const int width = 1 + data[1] % 64;
    const int height = 1 + data[2] % 64;

    CViewerState state;
    state.FrameReduction = reduction;
    if (options & 128)
        state.Codecs[0] = 7;
    state.SetRequestedPixelFormat(bitsPerPixel);
    state.CurrentPixelFormat = state.RequestedPixelFormat;
    state.ProgressiveDrawing = (options & 4) != 0;
    state.FireFrameUpdates = (options & 8) != 0;
    state.RelayServerClipboard = (options & 32) != 0;
    state.FullRefreshRequested = (options & 64) != 0;

    std::vector<uint8_t> stream;
    AppendServerInit(stream, width, height, state.CurrentPixelFormat);
    stream.insert(stream.end(), data + 3, data + size);

    CChunkedSource::Delivery delivery;
    delivery.Window = size_t(256) << (data[1] >> 6);
    delivery.RandomSizes = (data[2] >> 6) == 0 || (data[2] >> 6) == 2;
    delivery.MaxChunk = (data[2] >> 6) == 1 ? 1 : (data[2] >> 6) == 2 ? 7 : SIZE_MAX;
    delivery.Seed = uint32_t(size);
    CChunkedSource source(stream.data(), stream.size(), delivery);
    CCoolSocket socket(state);
    socket.SetStreamSource(std::make_unique<CMemoryStreamSource>(source));
    socket.ForceStream = true;
    ReadServerInit(state, socket);

    CheckingPresenter presenter;
    CFrameBuffer frame(&presenter);
    frame.SetReduction(reduction);
    frame.Create(width, height, state.CurrentPixelFormat);
    state.FrameBuffer = &frame;
    if (options & 16)
        state.SetRequestedPixelFormat(bitsPerPixel == 32 ? 8 : bitsPerPixel * 2);

    CMemorySink sink(0);
    CRfbProtocol protocol(state, source, sink);
    FuzzLink link(state, socket);
    CServerMessageReader reader(protocol, link);
    try {
        reader.RequestFirstUpdate();
        while (reader.ReadMessage()) {
        }
    } catch (const CSimpleException&) {
        // Every way a hostile stream ends the session; the end of the input is "Connection closed."
    }
    std::string text;
    while (state.TakeServerCutText(text)) {
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 3)
        return 0;
    ReadSession(data, size, 1);
    ReadSession(data, size, 2 << (data[1] % 3));
    return 0;
}
