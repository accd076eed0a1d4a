// The session thread against a scripted server on a socket pair: message dispatch, the update-request
// policy, pacing and gating, and how failures end the session.

#include "engine/SessionThread.h"
#include "RecordingPresenter.h"
#include "ScriptedServer.h"
#include "ServerStream.h"
#include "engine/CoolSocket.h"
#include "engine/RfbProtocol.h"
#include "engine/ViewerState.h"
#include "framebuffer/FrameBuffer.h"
#include "framebuffer/RectangleDecoder.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <thread>
#include <zlib.h>

using namespace dova;
using latis_test::ServerStream;
using namespace std::chrono_literals;

namespace {

// Also notes the connection state at the moment an exception is reported: the host drops
// exceptions that arrive while State is 0.
class StateNotingHost : public latis_test::RecordingHost {
public:
    void Post(HostMessage message, uint32_t wParam, uint32_t lParam) override {
        if (message == HostMessage::Exception && Viewer)
            StateAtException = Viewer->State.load();
        RecordingHost::Post(message, wParam, lParam);
    }
    CViewerState* Viewer = nullptr;
    std::atomic<int32_t> StateAtException{-1};
};

struct Request {
    bool Incremental;
    uint16_t X, Y, Width, Height;
};

class SessionRig {
public:
    SessionRig(int width, int height, int bitsPerPixel) {
        Host.Viewer = &State;
        State.SetRequestedPixelFormat(bitsPerPixel);
        State.CurrentPixelFormat = State.RequestedPixelFormat;
        State.FrameWidth = uint16_t(width);
        State.FrameHeight = uint16_t(height);
        Socket.AttachConnected(Peer.TakeClientSide());
        State.Socket = &Socket;
        Frame.Create(width, height, bitsPerPixel);
        State.FrameBuffer = &Frame;
        State.State = states::Dispatching;
    }
    ~SessionRig() {
        Socket.CloseByOwner(true); // as the control's Stop does: a blocked receive ends quietly
        Session.reset();
    }

    // Starts the thread and takes its first request.
    Request Start() {
        Session = std::make_unique<CSessionThread>(State);
        Session->Start();
        return NextRequest();
    }
    void Send(const ServerStream& stream) { Peer.Send(stream.Data); }
    std::vector<uint8_t> Receive(size_t n) { return Peer.Receive(n); }
    Request NextRequest() {
        const auto b = Peer.Receive(10);
        EXPECT_EQ(b.size(), 10u);
        if (b.size() != 10)
            return {};
        EXPECT_EQ(b[0], 3) << "a FramebufferUpdateRequest";
        return {b[1] == 1, GetU16(&b[2]), GetU16(&b[4]), GetU16(&b[6]), GetU16(&b[8])};
    }
    // Round trip through the thread: once the bell is posted, everything sent before it was handled.
    void Sync() {
        const size_t bells = Host.Count(HostMessage::ServerBell);
        Peer.Send(std::vector<uint8_t>{2});
        ASSERT_TRUE(Host.WaitFor(HostMessage::ServerBell, bells + 1));
    }
    std::unique_ptr<CSimpleException> WaitForException() {
        std::unique_ptr<CSimpleException> failure;
        if (Host.WaitFor(HostMessage::Exception))
            State.TakeException(failure);
        return failure;
    }

    StateNotingHost Host;
    latis_test::RecordingPresenter Presenter;
    CViewerState State{&Host};
    latis_test::ScriptedPeer Peer;
    CCoolSocket Socket{State};
    CFrameBuffer Frame{&Presenter};
    std::unique_ptr<CSessionThread> Session;
};

ServerStream OneRawPixel(int bpp, int x, int y, uint32_t pixel) {
    ServerStream s(bpp);
    s.Update(1).Rect(x, y, 1, 1, encodings::Raw).Pixel(pixel);
    return s;
}

} // namespace

TEST(SessionThread, RequestsTheWholeScreenFirstThenIncrementallyAfterEachUpdate) {
    SessionRig rig(320, 200, 16);
    const Request first = rig.Start();
    EXPECT_FALSE(first.Incremental) << "the first request of a session asks for the whole screen";
    EXPECT_EQ(first.Width, 320);
    EXPECT_EQ(first.Height, 200);

    rig.Send(OneRawPixel(16, 5, 6, 0x7C00));
    const Request next = rig.NextRequest();
    EXPECT_TRUE(next.Incremental);
    EXPECT_EQ(next.Width, 320);
    rig.Sync();
    CLockGuard hold(rig.Frame);
    uint16_t pixel;
    std::memcpy(&pixel, rig.Frame.Data() + 6 * rig.Frame.Stride() + 10, 2);
    EXPECT_EQ(pixel, 0x7C00);
}

TEST(SessionThread, BellCutTextAndReinitialisationAskForNoUpdate) {
    SessionRig rig(32, 16, 32);
    rig.Start();
    ServerStream s(32);
    s.U8(2);
    s.U8(3).U8(0).U8(0).U8(0).U32(5).Text("a\nb\nc");
    s.U8(42).ServerInit(32, 16, 32);
    s.Update(0);
    rig.Send(s);
    // Had any of the first three asked for an update, its request would come first.
    const Request next = rig.NextRequest();
    EXPECT_TRUE(next.Incremental);
    EXPECT_EQ(rig.Host.Count(HostMessage::ServerBell), 1u);
    EXPECT_EQ(rig.Host.Count(HostMessage::ServerInitUpdate), 1u);
    std::string text;
    ASSERT_TRUE(rig.State.TakeServerCutText(text));
    EXPECT_EQ(text, "a\r\nb\r\nc");
}

TEST(SessionThread, BellAndClipboardFollowTheirSwitches) {
    SessionRig rig(32, 16, 8);
    rig.State.EnableBell = false;
    rig.State.RelayServerClipboard = false;
    rig.Start();
    ServerStream s(8);
    s.U8(2).U8(3).U8(0).U8(0).U8(0).U32(3).Text("x\ny").Update(0);
    rig.Send(s);
    rig.NextRequest();
    EXPECT_EQ(rig.Host.Count(HostMessage::ServerBell), 0u);
    EXPECT_EQ(rig.Host.Count(HostMessage::ServerCutText), 0u);
    std::string text;
    EXPECT_FALSE(rig.State.TakeServerCutText(text)) << "read and dropped";
}

TEST(SessionThread, CutTextEndsAtItsFirstNul) {
    SessionRig rig(8, 8, 8);
    rig.Start();
    ServerStream s(8);
    s.U8(3).U8(0).U8(0).U8(0).U32(6).U8('o').U8('k').U8(0).U8('\n').U8('x').U8('\n');
    rig.Send(s);
    rig.Sync();
    std::string text;
    ASSERT_TRUE(rig.State.TakeServerCutText(text));
    EXPECT_EQ(text, "ok");
}

TEST(SessionThread, AbsurdCutTextLengthEndsTheSession) {
    SessionRig rig(8, 8, 8);
    rig.Start();
    rig.Send(ServerStream(8).U8(3).U8(0).U8(0).U8(0).U32(0x7FFFFFF0));
    const auto failure = rig.WaitForException();
    ASSERT_TRUE(failure);
    EXPECT_EQ(failure->Level, ExceptionLevel::Error);
    EXPECT_EQ(failure->Message, "Server cut text too long (2147483632 bytes).");
}

TEST(SessionThread, ColourMapIsMalformedAndTheErrorIsReportedBeforeClosing) {
    SessionRig rig(16, 16, 16);
    rig.Start();
    rig.Send(ServerStream(16).U8(1).U8(0).U16(0).U16(1).U16(0).U16(0).U16(0));
    const auto failure = rig.WaitForException();
    ASSERT_TRUE(failure);
    EXPECT_EQ(failure->Code, 1298);
    EXPECT_EQ(failure->Message, "Out of sync or malformed server message.");
    EXPECT_EQ(rig.Host.StateAtException.load(), states::Dispatching)
        << "reported while still connected, so the host raises Error and stops";
    rig.Session->Stop(); // the thread has ended by itself; Stop only joins it
    EXPECT_FALSE(rig.Socket.IsOpen()) << "and the socket is closed afterwards";
    EXPECT_EQ(rig.State.State.load(), states::NotConnected);
    EXPECT_EQ(rig.Host.Count(HostMessage::ServerBell), 0u) << "the beep is the host's business";
}

TEST(SessionThread, OutOfBoundsRectangleEndsTheSessionWithItsMessage) {
    SessionRig rig(100, 50, 32);
    rig.Start();
    rig.Send(ServerStream(32).Update(1).Rect(90, 45, 10, 6, encodings::Raw));
    const auto failure = rig.WaitForException();
    ASSERT_TRUE(failure);
    EXPECT_EQ(failure->Code, 4096);
    EXPECT_EQ(failure->Message, "Update rectangle out of bounds (90, 45, 10, 6).");
}

TEST(SessionThread, StreamCodingWithoutAPluginEndsTheSession) {
    struct Case {
        std::vector<uint8_t> Message;
        std::string Text;
    };
    const Case cases[] = {
        {{10}, "Server switched stream coding on, but no stream plug-in is loaded."},
        {{26, 1, 0, 0}, "Server switched stream coding on, but no stream plug-in is loaded."},
        {{26, 2, 0, 0}, "Server sent unsupported RFB_SERVER_STREAMCODING message"},
    };
    for (const Case& c : cases) {
        SessionRig rig(8, 8, 8);
        rig.Start();
        rig.Peer.Send(c.Message);
        const auto failure = rig.WaitForException();
        ASSERT_TRUE(failure) << int(c.Message.size());
        EXPECT_EQ(failure->Level, ExceptionLevel::Error);
        EXPECT_EQ(failure->Message, c.Text);
        EXPECT_FALSE(rig.Socket.ForceStream.load()) << "never reads through a missing plug-in";
    }
}

TEST(SessionThread, OwnerCloseEndsTheSessionQuietly) {
    SessionRig rig(8, 8, 8);
    rig.Start();
    rig.Socket.CloseByOwner(true);
    rig.Session->Stop();
    EXPECT_EQ(rig.Host.Count(HostMessage::Exception), 0u);
}

TEST(SessionThread, OwnerCloseDuringAPartlyArrivedUpdateIsQuiet) {
    SessionRig rig(64, 64, 32);
    rig.Start();
    ServerStream part(32);
    part.Update(1).Rect(0, 0, 16, 16, encodings::Raw).Pixels(1, 10);
    rig.Send(part);
    // Once the part is consumed the read waits for the rest of the rectangle.
    for (int i = 0; i < 500 && rig.Socket.TotalRead() < part.Data.size(); ++i)
        std::this_thread::sleep_for(10ms);
    ASSERT_EQ(rig.Socket.TotalRead(), part.Data.size());
    rig.Socket.CloseByOwner(true);
    rig.Session->Stop();
    EXPECT_EQ(rig.Host.Count(HostMessage::Exception), 0u);
}

TEST(SessionThread, RequestFramesFalseHoldsTheNextRequestButKeepsReading) {
    SessionRig rig(64, 64, 16);
    rig.State.FireFrameUpdates = true;
    rig.Start();
    rig.State.RequestFrames = false;
    rig.Session->SetFramesAllowed(false);
    ServerStream s = OneRawPixel(16, 1, 1, 0x1234);
    s.U8(2); // a bell behind the update: the held session still reads
    rig.Send(s);
    ASSERT_TRUE(rig.Host.WaitFor(HostMessage::FrameUpdated)) << "the update in hand is processed";
    EXPECT_TRUE(rig.Host.WaitFor(HostMessage::ServerBell));
    EXPECT_TRUE(rig.Peer.Drain(200ms).empty()) << "but no request leaves";
    EXPECT_TRUE(rig.State.RequestHeld.load()) << "it is owed, for whoever allows requests again";
    rig.Socket.CloseByOwner(true);
    rig.Session->Stop();
}

TEST(SessionThread, FrameUpdateDelayHoldsTheNextReadAndALowerDelayEndsIt) {
    SessionRig rig(64, 64, 16);
    rig.State.FireFrameUpdates = true;
    rig.State.FrameUpdateDelay = 600000;
    rig.Start();
    ServerStream s = OneRawPixel(16, 1, 1, 0x1234);
    s.U8(2); // a bell right behind the update
    rig.Send(s);
    ASSERT_TRUE(rig.Host.WaitFor(HostMessage::FrameUpdated));
    EXPECT_TRUE(rig.NextRequest().Incremental) << "the request leaves at once";
    EXPECT_FALSE(rig.Host.WaitFor(HostMessage::ServerBell, 1, 300ms)) << "the next message waits";
    rig.State.FrameUpdateDelay = 0;
    rig.Session->WakeFromDelay();
    EXPECT_TRUE(rig.Host.WaitFor(HostMessage::ServerBell));
}

TEST(SessionThread, StopEndsThePacingAndGatingWaits) {
    {
        SessionRig rig(16, 16, 8);
        rig.State.FrameUpdateDelay = 600000;
        rig.State.FireFrameUpdates = true;
        rig.Start();
        rig.Send(OneRawPixel(8, 0, 0, 1));
        ASSERT_TRUE(rig.Host.WaitFor(HostMessage::FrameUpdated));
        rig.NextRequest();
        rig.Session->Stop(); // the socket is still open: only the stop can end the wait
        EXPECT_FALSE(rig.Session->IsStarted());
    }
    {
        SessionRig rig(16, 16, 8);
        rig.State.FireFrameUpdates = true;
        rig.Start();
        rig.State.RequestFrames = false;
        rig.Session->SetFramesAllowed(false);
        rig.Send(OneRawPixel(8, 0, 0, 1));
        ASSERT_TRUE(rig.Host.WaitFor(HostMessage::FrameUpdated));
        // A held request leaves the thread reading: the owner closes the socket first, as always.
        rig.Socket.CloseByOwner(true);
        rig.Session->Stop();
        EXPECT_TRUE(rig.Peer.Drain(50ms).empty()) << "a stopped session sends no request";
    }
}

TEST(SessionThread, ChangedEncodingsAreSentAfterTheUpdateAndAnEmptyListSendsNothing) {
    SessionRig rig(16, 16, 8);
    rig.Start();
    {
        CLockGuard hold(rig.State);
        rig.State.Codecs.fill(-1);
        rig.State.Codecs[0] = 5;
        rig.State.Codecs[3] = 0;
    }
    rig.State.EncodingsChanged = true;
    rig.Send(ServerStream(8).Update(0));
    const auto encodings = rig.Receive(12);
    EXPECT_EQ(encodings, latis_test::Bytes({2, 0, 0, 4, 0, 0, 0, 5, 0, 0, 0, 0}));
    EXPECT_EQ(rig.Receive(8), latis_test::Bytes({0xC0, 0xA1, 0xE5, 0xCE, 0xFF, 0xFF, 0xFF, 0x21}))
        << "the extended clipboard and desktop size last";
    rig.NextRequest();

    {
        CLockGuard hold(rig.State);
        rig.State.Codecs.fill(-1);
    }
    rig.State.EncodingsChanged = true;
    rig.Send(ServerStream(8).Update(0));
    EXPECT_TRUE(rig.NextRequest().Incremental) << "no SetEncodings before the request";
    EXPECT_FALSE(rig.State.EncodingsChanged.load());
}

TEST(SessionThread, FullRefreshIsOneNonIncrementalRequest) {
    SessionRig rig(16, 16, 8);
    rig.Start();
    rig.State.FullRefreshRequested = true;
    rig.Send(ServerStream(8).Update(0));
    EXPECT_FALSE(rig.NextRequest().Incremental);
    rig.Send(ServerStream(8).Update(0));
    EXPECT_TRUE(rig.NextRequest().Incremental);
}

TEST(SessionThread, PixelFormatChangeRebuildsTheFramebufferAfterTheUpdate) {
    SessionRig rig(30, 20, 16);
    rig.Start();
    rig.Send(OneRawPixel(16, 0, 0, 0x7FFF));
    rig.NextRequest();
    rig.State.SetRequestedPixelFormat(32);
    rig.Send(OneRawPixel(16, 1, 0, 0x7FFF)); // still in the old format

    const auto setPixelFormat = rig.Receive(20);
    ASSERT_EQ(setPixelFormat.size(), 20u);
    EXPECT_EQ(setPixelFormat[0], 0);
    EXPECT_EQ(setPixelFormat[4], 32);
    const Request full = rig.NextRequest();
    EXPECT_FALSE(full.Incremental);
    EXPECT_EQ(full.Width, 30);
    EXPECT_EQ(full.Height, 20);

    rig.Send(OneRawPixel(32, 29, 19, 0x00ABCDEF)); // now in the new format
    rig.NextRequest();
    rig.Sync();
    CLockGuard hold(rig.Frame);
    EXPECT_EQ(rig.Frame.BitsPerPixel(), 32);
    EXPECT_EQ(rig.Frame.Width(), 30);
    EXPECT_EQ(rig.Frame.Height(), 20);
    uint32_t corner, first;
    std::memcpy(&corner, rig.Frame.Data() + 19 * rig.Frame.Stride() + 29 * 4, 4);
    std::memcpy(&first, rig.Frame.Data(), 4);
    EXPECT_EQ(corner, 0x00ABCDEFu);
    EXPECT_EQ(first, 0u) << "black until the full update arrives";
    EXPECT_EQ(rig.State.CurrentPixelFormat.BitsPerPixel, 32);
}

TEST(SessionThread, ReinitialisationRebuildsTheFramebufferForTheNewSize) {
    SessionRig rig(32, 16, 32);
    rig.Start();
    ServerStream s(32);
    s.U8(42).ServerInit(200, 120, 32, "bigger");
    s.Update(1).Rect(150, 100, 50, 20, encodings::RRE).U32(1).Pixel(0x111111);
    s.Pixel(0x222222).U16(49).U16(19).U16(1).U16(1);
    rig.Send(s);
    const Request next = rig.NextRequest();
    EXPECT_EQ(next.Width, 200) << "the request region is the new frame";
    EXPECT_EQ(next.Height, 120);
    EXPECT_EQ(rig.Host.Count(HostMessage::ServerInitUpdate), 1u);
    EXPECT_EQ(rig.Session->RequestRegion().Width, 200);
    rig.Sync();
    CLockGuard hold(rig.Frame);
    ASSERT_EQ(rig.Frame.Width(), 200);
    ASSERT_EQ(rig.Frame.Height(), 120);
    uint32_t corner;
    std::memcpy(&corner, rig.Frame.Data() + 119 * rig.Frame.Stride() + 199 * 4, 4);
    EXPECT_EQ(corner, 0x222222u);
    {
        CLockGuard state(rig.State);
        EXPECT_EQ(rig.State.DesktopName, "bigger");
    }
}

TEST(SessionThread, ServerVanishingMidUpdateIsAnError) {
    SessionRig rig(64, 64, 32);
    rig.Start();
    rig.Send(ServerStream(32).Update(1).Rect(0, 0, 16, 16, encodings::Raw).Pixels(1, 10));
    rig.Peer.CloseServerSide();
    const auto failure = rig.WaitForException();
    ASSERT_TRUE(failure);
    EXPECT_EQ(failure->Code, codes::SocketClosed);
}

TEST(SessionThread, DrawFalseHoldsDecodingButNotCopies) {
    SessionRig rig(32, 32, 32);
    rig.State.FireFrameUpdates = true;
    rig.Start();
    rig.Frame.SetDrawAllowed(false);
    ServerStream s(32);
    s.Update(2).Rect(0, 0, 1, 1, encodings::CopyRect).U16(5).U16(5).Rect(2, 2, 1, 1, encodings::Raw).Pixel(7);
    rig.Send(s);
    ASSERT_TRUE(rig.Host.WaitFor(HostMessage::FrameUpdated, 1)) << "the move is applied";
    EXPECT_FALSE(rig.Host.WaitFor(HostMessage::FrameUpdated, 2, 200ms)) << "the raw write waits";
    rig.Frame.SetDrawAllowed(true);
    EXPECT_TRUE(rig.Host.WaitFor(HostMessage::FrameUpdated, 2));
    rig.NextRequest();
}

TEST(SessionThread, PaintsAreNotHeldWhileADecoderWaitsForTheNetwork) {
    SessionRig rig(64, 16, 16);
    rig.State.ProgressiveDrawing = true;
    rig.Start();
    // The first of four Hextile tiles, then nothing: the decoder waits for the second tile.
    ServerStream s(16);
    s.Update(1).Rect(0, 0, 64, 16, encodings::Hextile).U8(2).Pixel(0x1234);
    rig.Send(s);
    for (int i = 0; i < 200 && rig.Presenter.Presented().empty(); ++i)
        std::this_thread::sleep_for(10ms);
    ASSERT_EQ(rig.Presenter.Presented().size(), 1u) << "the first tile was drawn";
    // A paint on the user-interface thread takes the framebuffer lock: it must be free.
    bool free = false;
    for (int i = 0; i < 200 && !free; ++i) {
        free = rig.Frame.TryLock();
        if (!free)
            std::this_thread::sleep_for(10ms);
    }
    ASSERT_TRUE(free);
    rig.Frame.Unlock();
    rig.Send(ServerStream(16).U8(0).U8(0).U8(0));
    EXPECT_TRUE(rig.NextRequest().Incremental);
}

namespace {

using namespace clipboard_flags;

// An extended cut-text message from the server: the negated size, flags, data.
ServerStream ExtendedCutText(uint32_t flags, const std::vector<uint8_t>& data = {}) {
    ServerStream s(8);
    s.U8(3).U8(0).U8(0).U8(0).U32(uint32_t(-int64_t(4 + data.size()))).U32(flags);
    s.Data.insert(s.Data.end(), data.begin(), data.end());
    return s;
}

std::vector<uint8_t> Packed(const std::vector<uint8_t>& plain) {
    uLongf size = compressBound(uLong(plain.size()));
    std::vector<uint8_t> out(size);
    compress(out.data(), &size, plain.data(), uLong(plain.size()));
    out.resize(size);
    return out;
}

std::vector<uint8_t> SizedText(const std::string& text, uint32_t size) {
    std::vector<uint8_t> out = {uint8_t(size >> 24), uint8_t(size >> 16), uint8_t(size >> 8), uint8_t(size)};
    out.insert(out.end(), text.begin(), text.end());
    return out;
}

// What the viewer sent: flags and, for provide, the unpacked data.
std::pair<uint32_t, std::vector<uint8_t>> ReceiveExtended(SessionRig& rig) {
    const auto head = rig.Receive(8);
    EXPECT_EQ(head.size(), 8u);
    if (head.size() != 8)
        return {};
    EXPECT_EQ(head[0], 6) << "a ClientCutText";
    const uint32_t size = uint32_t(-int64_t(int32_t(GetU32(&head[4]))));
    const auto body = rig.Receive(size);
    const uint32_t flags = GetU32(body.data());
    std::vector<uint8_t> data(body.begin() + 4, body.end());
    if ((flags & Provide) && !(flags & Caps)) {
        std::vector<uint8_t> plain(1 << 16);
        uLongf got = plain.size();
        EXPECT_EQ(uncompress(plain.data(), &got, data.data(), uLong(data.size())), Z_OK);
        plain.resize(got);
        data = plain;
    }
    return {flags, data};
}

} // namespace

TEST(SessionThread, ExtendedClipboardCarriesUtf8BothWays) {
    SessionRig rig(8, 8, 8);
    rig.Start();
    EXPECT_FALSE(rig.State.Clipboard.Active());
    rig.Send(ExtendedCutText(Text | Caps | clipboard_flags::Request | Peek | Notify | Provide,
                             SizedText("", 1000)));
    auto [caps, limits] = ReceiveExtended(rig);
    EXPECT_EQ(caps, Text | Caps | clipboard_flags::Request | Peek | Notify | Provide);
    EXPECT_EQ(limits, SizedText("", MaxClipboardText));
    EXPECT_TRUE(rig.State.Clipboard.Active());

    // Server to viewer: told, the viewer asks, the server provides.
    rig.Send(ExtendedCutText(Notify | Text));
    EXPECT_EQ(ReceiveExtended(rig).first, clipboard_flags::Request | Text);
    const std::string remote = "Işık\r\nğüşö";
    rig.Send(ExtendedCutText(Provide | Text, Packed(SizedText(remote + '\0', uint32_t(remote.size() + 1)))));
    rig.Sync();
    std::string text;
    bool utf8 = false;
    ASSERT_TRUE(rig.State.TakeServerCutText(text, utf8));
    EXPECT_TRUE(utf8);
    EXPECT_EQ(text, remote);

    // Viewer to server: the viewer tells, the server asks (and peeks), the viewer provides.
    CRfbProtocol input(rig.State, rig.Socket);
    rig.State.Clipboard.LocalTextChanged(input, "Işık\nğüşö");
    EXPECT_EQ(ReceiveExtended(rig).first, Notify | Text);
    rig.Send(ExtendedCutText(Peek));
    EXPECT_EQ(ReceiveExtended(rig).first, Notify | Text);
    rig.Send(ExtendedCutText(clipboard_flags::Request | Text));
    const auto [provided, data] = ReceiveExtended(rig);
    EXPECT_EQ(provided, Provide | Text);
    const std::string local = "Işık\r\nğüşö";
    EXPECT_EQ(data, SizedText(local + '\0', uint32_t(local.size() + 1)));
    EXPECT_EQ(rig.Host.Count(HostMessage::Exception), 0u);
}

// Only what the server's capabilities take goes out, and nothing is fetched that the user does not relay.
TEST(SessionThread, ExtendedClipboardFollowsTheServersCapabilities) {
    const auto expectNothingSent = [](SessionRig& rig, const char* why) {
        rig.Sync();
        EXPECT_TRUE(rig.Peer.Drain(std::chrono::milliseconds(100)).empty()) << why;
    };
    {
        SessionRig rig(8, 8, 8);
        rig.Start();
        rig.Send(ExtendedCutText(Text | Caps | Notify | Provide, SizedText("", 1000))); // no Request
        ReceiveExtended(rig);
        rig.Send(ExtendedCutText(Notify | Text));
        expectNothingSent(rig, "a server that takes no requests is not asked");
    }
    {
        SessionRig rig(8, 8, 8);
        rig.State.RelayServerClipboard = false;
        rig.Start();
        rig.Send(
            ExtendedCutText(Text | Caps | clipboard_flags::Request | Notify | Provide, SizedText("", 1000)));
        ReceiveExtended(rig);
        rig.Send(ExtendedCutText(Notify | Text));
        expectNothingSent(rig, "text the user does not relay is not fetched");
    }
    {
        SessionRig rig(8, 8, 8);
        rig.Start();
        rig.Send(ExtendedCutText(Caps | clipboard_flags::Request | Notify | Provide)); // no Text
        ReceiveExtended(rig);
        CRfbProtocol input(rig.State, rig.Socket);
        rig.State.Clipboard.LocalTextChanged(input, "local");
        expectNothingSent(rig, "a server that takes no text hears of none");
    }
}

TEST(SessionThread, MalformedExtendedClipboardEndsTheSession) {
    const auto caps = ExtendedCutText(Text | Caps | Notify | Provide, SizedText("", 1000));
    std::vector<uint8_t> corrupt = Packed(SizedText("abc", 3));
    corrupt[0] ^= 0x55; // not a zlib header
    const std::vector<uint8_t> shortStream = Packed(SizedText("abc", 10));
    struct Case {
        const char* Name;
        bool CapsFirst;
        std::vector<uint8_t> Message;
        int32_t Code;
    };
    const std::vector<Case> cases = {
        {"before the capabilities", false, ExtendedCutText(Notify | Text).Data, codes::ProtocolSync},
        {"capabilities without their sizes", false, ExtendedCutText(Text | Caps).Data, codes::ProtocolSync},
        {"shorter than its flags", false,
         ServerStream(8).U8(3).U8(0).U8(0).U8(0).U32(uint32_t(-2)).U16(0).Data, codes::ProtocolSync},
        {"corrupt stream", true, ExtendedCutText(Provide | Text, corrupt).Data, codes::ProtocolSync},
        {"stream ending early", true, ExtendedCutText(Provide | Text, shortStream).Data, codes::ProtocolSync},
        {"absurd text size", true, ExtendedCutText(Provide | Text, Packed(SizedText("", 0x7FFFFFFF))).Data,
         codes::Validity},
        {"absurd message size", false, ServerStream(8).U8(3).U8(0).U8(0).U8(0).U32(0x80000000u).Data,
         codes::Validity},
    };
    for (const Case& c : cases) {
        SessionRig rig(8, 8, 8);
        rig.Start();
        if (c.CapsFirst) {
            rig.Send(caps);
            ReceiveExtended(rig);
        }
        rig.Peer.Send(c.Message);
        const auto failure = rig.WaitForException();
        ASSERT_TRUE(failure) << c.Name;
        EXPECT_EQ(failure->Code, c.Code) << c.Name << ": " << failure->Message;
    }
}

constexpr int32_t DesktopSizeEncoding = -223;

TEST(SessionThread, AServerScreenThatChangesSizeGetsANewFrameAndIsAskedForAllOfIt) {
    SessionRig rig(32, 16, 16);
    rig.Start();
    // The new size, then a pixel where the old frame had none.
    ServerStream s(16);
    s.Update(2).Rect(0, 0, 64, 40, DesktopSizeEncoding).Rect(63, 39, 1, 1, encodings::Raw).Pixel(0x001F);
    rig.Send(s);
    const auto next = rig.NextRequest();
    EXPECT_FALSE(next.Incremental) << "all of the new screen";
    EXPECT_EQ(next.Width, 64);
    EXPECT_EQ(next.Height, 40);
    EXPECT_TRUE(rig.Host.WaitFor(HostMessage::ServerInitUpdate));
    {
        CLockGuard hold(rig.Frame);
        ASSERT_EQ(rig.Frame.Width(), 64);
        ASSERT_EQ(rig.Frame.Height(), 40);
        uint16_t pixel;
        std::memcpy(&pixel, rig.Frame.Data() + 39 * rig.Frame.Stride() + 63 * 2, 2);
        EXPECT_EQ(pixel, 0x001F);
    }
    EXPECT_EQ(rig.State.FrameWidth, 64);

    // A size no screen has ends the connection with a clear error.
    ServerStream empty(16);
    empty.Update(1).Rect(0, 0, 0, 40, DesktopSizeEncoding);
    rig.Send(empty);
    const auto failure = rig.WaitForException();
    ASSERT_TRUE(failure);
    EXPECT_EQ(failure->Message, "Remote frame buffer size invalid (0, 40).");
}
