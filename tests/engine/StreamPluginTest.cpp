#include "ScriptedServer.h"
#include "ServerStream.h"
#include "base/EngineExceptions.h"
#include "engine/ConnectThread.h"
#include "engine/CoolSocket.h"
#include "engine/PluginSearch.h"
#include "engine/RfbProtocol.h"
#include "engine/ServerInit.h"
#include "engine/ServerMessageReader.h"
#include "engine/StreamCoding.h"
#include "engine/ViewerState.h"
#include "framebuffer/FrameBuffer.h"
#include "framebuffer/RectangleDecoder.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>

using namespace dova;
using namespace latis_test;

namespace {

std::string Folder(const char* variant) {
    return std::string(LATIS_TEST_PLUGIN_DIR "/") + variant;
}

// Every test chooses the folders the search looks in, and leaves the standard ones behind.
class StreamPlugins : public ::testing::Test {
protected:
    void UseFolders(std::vector<std::string> folders) { OverridePluginFolders(std::move(folders)); }
    void TearDown() override { OverridePluginFolders({}); }
};

struct Connection {
    RecordingHost Host;
    CViewerState State{&Host};
    ScriptedPeer Peer;
    CCoolSocket Socket{State};
    Connection() { Socket.AttachConnected(Peer.TakeClientSide()); }

    std::vector<uint8_t> Read(size_t n) {
        std::vector<uint8_t> out(n);
        Socket.ReadBytes(out.data(), n);
        return out;
    }
    void Coding(uint8_t codec, uint8_t start) {
        const uint8_t message[4] = {26, codec, start, 0};
        HandleStreamCoding(State, Socket, message);
    }
};

std::string ErrorOf(const std::function<void()>& f) {
    try {
        f();
    } catch (const CErrorException& e) {
        return e.Message;
    }
    return "no error";
}

std::vector<uint8_t> Xor(std::vector<uint8_t> bytes) {
    for (auto& b : bytes)
        b ^= 0xFF;
    return bytes;
}

} // namespace

TEST_F(StreamPlugins, SearchSkipsUnusableLibrariesAndOtherKinds) {
    const auto found =
        FindPlugin(StreamPluginName, {Folder("broken"), Folder("noinfo"), Folder("otherkind"),
                                      Folder("othername"), Folder("unmatched"), Folder("pass")});
    ASSERT_TRUE(found);
    EXPECT_EQ(found->Path(), Folder("pass") + "/dova_stream_pass.so");
    EXPECT_EQ(found->Info().Kind, PluginKindStream);
}

TEST_F(StreamPlugins, NameIsComparedIgnoringCase) {
    const auto found = FindPlugin(StreamPluginName, {Folder("xor")});
    ASSERT_TRUE(found);
    EXPECT_STREQ(found->Info().Name, "DOVA.STREAM.ZLIB");
}

TEST_F(StreamPlugins, NothingFoundIsNone) {
    EXPECT_FALSE(
        FindPlugin(StreamPluginName, {Folder("otherkind"), Folder("unmatched"), "/nonexistent-dova"}));
    EXPECT_FALSE(FindPlugin(StreamPluginName, {}));
}

TEST_F(StreamPlugins, MissingStreamEntriesMeanNoPlugin) {
    UseFolders({Folder("noentries")});
    Connection c;
    EXPECT_FALSE(LoadStreamPlugin(c.Socket));
    EXPECT_EQ(c.Socket.StreamSource(), nullptr);
}

TEST_F(StreamPlugins, StreamStartRoutesEveryReadThroughThePlugin) {
    UseFolders({Folder("xor")});
    Connection c;
    ASSERT_TRUE(LoadStreamPlugin(c.Socket));
    c.Peer.Send(Bytes({1, 2}));
    EXPECT_EQ(c.Read(2), Bytes({1, 2})) << "loaded but not in force: read directly";

    HandleStreamStart(c.Socket);
    c.Peer.Send(Xor(Bytes({10, 20, 30, 40, 50})));
    EXPECT_EQ(c.Socket.ReadByte(CCoolSocket::PeekFlag), 10) << "peek through the plug-in";
    EXPECT_EQ(c.Read(5), Bytes({10, 20, 30, 40, 50}));
    EXPECT_EQ(c.Socket.TotalRead(), 6u) << "the plug-in's count of bytes taken from the connection";

    // Message 10 stays in force whatever message 26 says afterwards.
    c.Coding(0, 0);
    c.Peer.Send(Xor(Bytes({7})));
    EXPECT_EQ(c.Read(1), Bytes({7}));
}

TEST_F(StreamPlugins, StreamCodingMessageSwitchesCodecs) {
    UseFolders({Folder("xor")});
    Connection c;
    c.Coding(0, 0);
    EXPECT_TRUE(c.Socket.StreamCodingActive);
    c.Peer.Send(Bytes({1}));
    EXPECT_EQ(c.Read(1), Bytes({1}));

    c.Coding(1, 1); // codec 0 in force: loads the plug-in
    IStreamSource* loaded = c.Socket.StreamSource();
    ASSERT_NE(loaded, nullptr);
    c.Peer.Send(Xor(Bytes({2, 3})));
    EXPECT_EQ(c.Read(2), Bytes({2, 3}));

    c.Coding(1, 1); // codec 1 already in force: no reload
    EXPECT_EQ(c.Socket.StreamSource(), loaded);

    c.Coding(0, 0);
    c.Peer.Send(Bytes({4}));
    EXPECT_EQ(c.Read(1), Bytes({4})) << "codec 0: direct again";
    c.Coding(1, 0);
    c.Peer.Send(Xor(Bytes({5})));
    EXPECT_EQ(c.Read(1), Bytes({5})) << "codec 1 without start uses the plug-in already loaded";
    CLockGuard hold(c.State);
    EXPECT_EQ(c.State.StreamCodingMessage, (std::array<uint8_t, 4>{26, 1, 0, 0}));
}

TEST_F(StreamPlugins, UnsupportedCodecAndFailedStartAreErrors) {
    UseFolders({Folder("otherkind")});
    Connection c;
    EXPECT_EQ(ErrorOf([&] { c.Coding(2, 0); }), UnsupportedStreamCodingText);
    EXPECT_EQ(ErrorOf([&] { c.Coding(1, 1); }), UnsupportedStreamCodingText) << "no plug-in to load";
    EXPECT_FALSE(c.Socket.StreamCodingActive);
}

TEST_F(StreamPlugins, CodedStreamWithoutPluginEndsTheSession) {
    UseFolders({"/nonexistent-dova"});
    Connection c;
    EXPECT_EQ(ErrorOf([&] { HandleStreamStart(c.Socket); }), NoStreamPluginText);
    EXPECT_FALSE(c.Socket.ForceStream);
    EXPECT_EQ(ErrorOf([&] { c.Coding(1, 0); }), NoStreamPluginText);
    EXPECT_FALSE(c.Socket.StreamCodingActive);
}

TEST_F(StreamPlugins, EachConnectionHasItsOwnPluginInstance) {
    UseFolders({Folder("pass")});
    Connection first, second;
    ASSERT_TRUE(LoadStreamPlugin(first.Socket));
    ASSERT_TRUE(LoadStreamPlugin(second.Socket)); // would take the first one's socket if shared
    HandleStreamStart(first.Socket);
    HandleStreamStart(second.Socket);
    first.Peer.Send(Bytes({'A', 'a'}));
    second.Peer.Send(Bytes({'B', 'b', 'b'}));
    // Closed after sending, so a read from the wrong connection fails instead of waiting.
    first.Peer.CloseServerSide();
    second.Peer.CloseServerSide();
    EXPECT_EQ(first.Read(2), Bytes({'A', 'a'}));
    EXPECT_EQ(second.Read(3), Bytes({'B', 'b', 'b'}));
    EXPECT_EQ(first.Socket.TotalRead(), 2u);
    EXPECT_EQ(second.Socket.TotalRead(), 3u);
}

namespace {

// Stream coding handled as the session thread handles it.
class CodingLink : public ISessionLink {
public:
    explicit CodingLink(Connection& c) : C(c) {}
    bool AwaitFramesAllowed() override { return true; }
    bool AwaitDelay(std::chrono::milliseconds) override { return true; }
    void ReadServerInit() override { dova::ReadServerInit(C.State, C.Socket); }
    void StartCodedStream() override { HandleStreamStart(C.Socket); }
    void SwitchStreamCoding(const uint8_t message[4]) override {
        HandleStreamCoding(C.State, C.Socket, message);
    }

private:
    Connection& C;
};

} // namespace

TEST_F(StreamPlugins, CodingSwitchedOnAfterTheSessionReadAheadStillDecodesThroughThePlugin) {
    UseFolders({Folder("xor")});
    Connection c;
    c.State.SetRequestedPixelFormat(32);
    c.State.CurrentPixelFormat = c.State.RequestedPixelFormat;
    c.State.FrameWidth = 4;
    c.State.FrameHeight = 2;
    CFrameBuffer frame;
    frame.Create(4, 2, 32);
    c.State.FrameBuffer = &frame;
    CRfbProtocol protocol(c.State, c.Socket);
    CodingLink link(c);
    CServerMessageReader reader(protocol, link);

    // One write: a plain update, the switch, then an update and a bell as the plug-in codes them.
    ServerStream plain(32);
    plain.Update(1).Rect(0, 0, 1, 1, encodings::Raw).Pixel(0x111111).U8(26).U8(1).U8(1).U8(0);
    ServerStream coded(32);
    coded.Update(1).Rect(1, 0, 3, 2, encodings::Raw).Pixels(0x222222, 6).U8(2);
    std::vector<uint8_t> bytes = plain.Data;
    const std::vector<uint8_t> codedBytes = Xor(coded.Data);
    bytes.insert(bytes.end(), codedBytes.begin(), codedBytes.end());
    c.Peer.Send(bytes);

    ASSERT_TRUE(reader.ReadMessage());
    ASSERT_TRUE(protocol.Input().HasBuffered(4 + codedBytes.size())) << "the coded bytes were read ahead";
    ASSERT_TRUE(reader.ReadMessage()); // the switch
    EXPECT_NE(c.Socket.StreamSource(), nullptr);
    ASSERT_TRUE(reader.ReadMessage());
    ASSERT_TRUE(reader.ReadMessage());
    EXPECT_EQ(c.Host.Count(HostMessage::ServerBell), 1u);
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 4; ++x) {
            uint32_t pixel = 0;
            std::memcpy(&pixel, frame.Data() + y * frame.Stride() + x * 4, 4);
            EXPECT_EQ(pixel, x == 0 && y == 0 ? 0x111111u : x == 0 ? 0u : 0x222222u) << x << "," << y;
        }
    c.State.FrameBuffer = nullptr;
}

namespace {

std::vector<uint8_t> ServerInit() {
    std::vector<uint8_t> out;
    AppendU16(out, 64);
    AppendU16(out, 32);
    const auto format = Bytes({32, 24, 0, 1, 0, 255, 0, 255, 0, 255, 16, 8, 0, 0, 0, 0});
    out.insert(out.end(), format.begin(), format.end());
    AppendU32(out, 0);
    return out;
}

// A handshake with the compatible stream switched on or off; returns what the client sent after
// ServerInit, once the viewer reported itself connected.
struct StreamHandshake {
    RecordingHost Host;
    CViewerState State{&Host};
    CCoolSocket Socket{State};
    LoopbackListener Listener;
    CConnectThread Thread{State};
    std::vector<uint8_t> AfterServerInit;

    StreamHandshake(bool enabled, int32_t level) {
        State.Server = "127.0.0.1";
        State.Port = Listener.Port();
        State.StreamEnabled = enabled;
        State.StreamLevel = level;
        State.Socket = &Socket;
        Thread.Start();
        ScriptedPeer server(Listener.Accept());
        server.Send(std::string("RFB 003.003\n"));
        server.Receive(12);
        server.Send(Bytes({0, 0, 0, 1}));
        server.Receive(1);
        server.Send(ServerInit());
        EXPECT_TRUE(Host.WaitFor(HostMessage::Connected));
        AfterServerInit = server.Drain(std::chrono::milliseconds(100));
    }
    ~StreamHandshake() {
        Socket.CloseByOwner(true);
        Thread.Stop();
    }
    size_t Warnings(const char* text) {
        size_t n = 0;
        std::unique_ptr<CSimpleException> e;
        while (State.TakeException(e))
            n += e->Level == ExceptionLevel::Warning && e->Message == text;
        return n;
    }
};

} // namespace

TEST_F(StreamPlugins, HandshakeWithoutPluginWarnsOnceAndGoesOnUncoded) {
    UseFolders({"/nonexistent-dova", Folder("otherkind")});
    StreamHandshake h(true, 6);
    ASSERT_EQ(h.AfterServerInit.size(), 20u + 36u) << "SetPixelFormat and SetEncodings only";
    EXPECT_EQ(h.AfterServerInit[0], 0);
    EXPECT_EQ(h.Warnings(PluginNotFoundText), 1u);
    EXPECT_EQ(h.State.State.load(), states::Connected);
}

TEST_F(StreamPlugins, HandshakeAsksForCodingWhenPluginFound) {
    UseFolders({Folder("pass")});
    StreamHandshake h(true, 0x106);
    ASSERT_EQ(h.AfterServerInit.size(), 2u + 20u + 36u);
    EXPECT_EQ(h.AfterServerInit[0], 10);
    EXPECT_EQ(h.AfterServerInit[1], 6) << "the low 8 bits of the level";
    EXPECT_EQ(h.AfterServerInit[2], 0) << "then SetPixelFormat";
    EXPECT_NE(h.Socket.StreamSource(), nullptr);
    EXPECT_EQ(h.Warnings(PluginNotFoundText), 0u);
}

TEST_F(StreamPlugins, HandshakeWithStreamSwitchedOffNeverAsks) {
    UseFolders({Folder("pass")});
    for (auto [enabled, level] : {std::pair{false, 3}, std::pair{true, 0}}) {
        StreamHandshake h(enabled, level);
        EXPECT_EQ(h.AfterServerInit.size(), 20u + 36u);
        EXPECT_EQ(h.Socket.StreamSource(), nullptr);
        EXPECT_EQ(h.Warnings(PluginNotFoundText), 0u);
    }
}

// Loading a library runs its initialisers: the search must not load the component library (which
// lies in the same folders) or a dova*.so that is no plug-in.
TEST_F(StreamPlugins, SearchLoadsNeitherTheComponentNorLibrariesThatAreNoPlugins) {
    ::unsetenv("LATIS_TEST_PLUGINS_LOADED");
    const auto found = FindPlugin(StreamPluginName, {Folder("own"), Folder("notplugin"), Folder("pass")});
    ASSERT_TRUE(found);
    EXPECT_EQ(found->Path(), Folder("pass") + "/dova_stream_pass.so");
    const char* loaded = std::getenv("LATIS_TEST_PLUGINS_LOADED");
    EXPECT_STREQ(loaded ? loaded : "", "dova_stream_pass;");
}
