// The session's read-ahead window: the same server bytes give the same result however they arrive,
// and whatever the window holds goes back to the connection when other code reads it directly.

#include "RecordingPresenter.h"
#include "ScriptedServer.h"
#include "ServerStream.h"
#include "engine/CoolSocket.h"
#include "engine/MemoryTransport.h"
#include "engine/RfbProtocol.h"
#include "engine/ServerInit.h"
#include "engine/ServerMessageReader.h"
#include "engine/ViewerState.h"
#include "framebuffer/FrameBuffer.h"
#include "framebuffer/HextileDecoder.h"

#include <gtest/gtest.h>

#include <functional>
#include <random>
#include <sys/socket.h>
#include <thread>

using namespace dova;
using latis_test::ServerStream;

namespace {

constexpr int Width = 80, Height = 48, Bpp = 32;

class DirectLink : public ISessionLink {
public:
    DirectLink(CViewerState& state, CCoolSocket& socket) : State(state), Socket(socket) {}
    bool AwaitFramesAllowed() override { return true; }
    bool AwaitDelay(std::chrono::milliseconds) override { return true; }
    void ReadServerInit() override { dova::ReadServerInit(State, Socket); }
    void StartCodedStream() override { throw CErrorException(0, "no plug-in here"); }
    void SwitchStreamCoding(const uint8_t*) override { throw CErrorException(0, "no plug-in here"); }

private:
    CViewerState& State;
    CCoolSocket& Socket;
};

// Every message kind and every path of the window: small fields, payloads larger than a small
// window (the raw rectangle), a re-initialisation read by the connection itself, text, a bell.
std::vector<uint8_t> RecordedSession() {
    std::mt19937 rng(7);
    ServerStream s(Bpp);
    s.U8(42).ServerInit(Width, Height, Bpp, "again");
    s.Update(2).Rect(0, 0, Width, Height, encodings::Raw);
    for (int i = 0; i < Width * Height; ++i)
        s.Pixel(rng() & 0xFFFFFF);
    s.Rect(8, 8, 16, 16, encodings::CopyRect).U16(40).U16(20);
    s.U8(2).U8(3).U8(0).U16(0).U32(5).Text(std::string("a\nb\0c", 5));
    constexpr int HextileHeight = 40; // the last tile row 8 high; the raw rectangle shows below it
    s.Update(2).Rect(0, 0, Width, HextileHeight, encodings::Hextile);
    int t = 0;
    for (int ty = 0; ty < HextileHeight; ty += 16)
        for (int tx = 0; tx < Width; tx += 16, ++t) {
            const int pixels = 16 * std::min(16, HextileHeight - ty);
            switch (t % 4) {
            case 0:
                s.U8(hextile::Raw);
                for (int p = 0; p < pixels; ++p)
                    s.Pixel(rng() & 0xFFFFFF);
                break;
            case 1:
                s.U8(hextile::BackgroundSpecified | hextile::ForegroundSpecified | hextile::AnySubrects)
                    .Pixel(0x102030)
                    .Pixel(0x405060)
                    .U8(2)
                    .U8(0x11)
                    .U8(0x33)
                    .U8(0xA5)
                    .U8(0x21);
                break;
            case 2:
                s.U8(hextile::AnySubrects | hextile::SubrectsColoured).U8(3);
                for (int r = 0; r < 3; ++r)
                    s.Pixel(rng() & 0xFFFFFF).U8(int(rng() & 0xFF)).U8(int(rng() & 0xFF));
                break;
            default:
                s.U8(0);
            }
        }
    s.Rect(60, 30, 20, 10, encodings::RRE).U32(1).Pixel(0x010203).Pixel(0xABCDEF).U16(2).U16(2).U16(5).U16(5);
    s.U8(2);
    return s.Data;
}

struct Outcome {
    std::vector<uint8_t> Pixels;
    std::string CutText;
    size_t Bells = 0;
    int32_t EndCode = 0;
};

// Reads messages until the stream ends; source is null for the socket's own window.
Outcome Replay(CViewerState& state, CCoolSocket& socket, CByteSource* source) {
    CFrameBuffer frame;
    frame.Create(Width, Height, Bpp);
    state.FrameBuffer = &frame;
    CMemorySink sink;
    std::unique_ptr<CRfbProtocol> protocol = source ? std::make_unique<CRfbProtocol>(state, *source, sink)
                                                    : std::make_unique<CRfbProtocol>(state, socket);
    DirectLink link(state, socket);
    CServerMessageReader reader(*protocol, link);
    Outcome outcome;
    try {
        while (reader.ReadMessage()) {
        }
    } catch (const CSimpleException& end) {
        outcome.EndCode = end.Code;
    }
    state.TakeServerCutText(outcome.CutText);
    outcome.Pixels.assign(frame.Data(), frame.Data() + size_t(frame.Stride()) * Height);
    state.FrameBuffer = nullptr;
    return outcome;
}

void Prepare(CViewerState& state) {
    state.SetRequestedPixelFormat(Bpp);
    state.CurrentPixelFormat = state.RequestedPixelFormat;
    state.FrameWidth = Width;
    state.FrameHeight = Height;
}

} // namespace

TEST(ReadWindow, SameStreamGivesTheSameFrameHoweverItArrives) {
    const std::vector<uint8_t> bytes = RecordedSession();
    Outcome expected;
    {
        latis_test::RecordingHost host;
        CViewerState state(&host);
        Prepare(state);
        CMemorySource whole(bytes.data(), bytes.size());
        CCoolSocket socket(state);
        socket.SetStreamSource(std::make_unique<CMemoryStreamSource>(whole));
        socket.ForceStream = true;
        expected = Replay(state, socket, &whole);
        expected.Bells = host.Count(HostMessage::ServerBell);
    }
    ASSERT_EQ(expected.EndCode, codes::SocketClosed) << "every message was read";
    ASSERT_EQ(expected.CutText, "a\r\nb");
    ASSERT_EQ(expected.Bells, 2u);

    struct Case {
        const char* Name;
        CChunkedSource::Delivery Delivery;
    };
    const Case cases[] = {
        {"whole", {SIZE_MAX, false, 1, size_t(128) << 10}},
        {"whole, small window", {SIZE_MAX, false, 1, 1000}},
        {"a byte per read", {1, false, 1, 1000}},
        {"random chunks", {SIZE_MAX, true, 11, 1000}},
        {"random small chunks", {300, true, 12, 4096}},
    };
    for (const Case& c : cases) {
        latis_test::RecordingHost host;
        CViewerState state(&host);
        Prepare(state);
        CChunkedSource chunked(bytes.data(), bytes.size(), c.Delivery);
        CCoolSocket socket(state);
        socket.SetStreamSource(std::make_unique<CMemoryStreamSource>(chunked));
        socket.ForceStream = true;
        const Outcome got = Replay(state, socket, &chunked);
        EXPECT_EQ(got.EndCode, codes::SocketClosed) << c.Name;
        EXPECT_TRUE(got.Pixels == expected.Pixels) << c.Name;
        EXPECT_EQ(got.CutText, expected.CutText) << c.Name;
        EXPECT_EQ(host.Count(HostMessage::ServerBell), expected.Bells) << c.Name;
        EXPECT_EQ(chunked.Remaining(), 0u) << c.Name;
    }

    // A real connection, written in random pieces while the session reads.
    latis_test::RecordingHost host;
    CViewerState state(&host);
    Prepare(state);
    latis_test::ScriptedPeer peer;
    CCoolSocket socket(state);
    socket.AttachConnected(peer.TakeClientSide());
    std::thread server([&] {
        std::mt19937 rng(3);
        for (size_t at = 0; at < bytes.size();) {
            const size_t n = std::min<size_t>(1 + rng() % 3000, bytes.size() - at);
            peer.Send(std::vector<uint8_t>(bytes.begin() + long(at), bytes.begin() + long(at + n)));
            at += n;
        }
        ::shutdown(peer.ServerDescriptor(), SHUT_WR); // the end of the stream; requests still go out
    });
    const Outcome got = Replay(state, socket, nullptr);
    server.join();
    EXPECT_EQ(got.EndCode, codes::SocketClosed);
    EXPECT_TRUE(got.Pixels == expected.Pixels);
    EXPECT_EQ(got.CutText, expected.CutText);
    EXPECT_EQ(socket.TotalRead(), bytes.size()) << "every byte counted once";
}
