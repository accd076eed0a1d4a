// The handshake against real RFB servers started on 127.0.0.1 by the tests themselves.

#include "RealServers.h"
#include "ScriptedServer.h"
#include "WayvncServer.h"
#include "base/EngineExceptions.h"
#include "engine/ConnectThread.h"
#include "engine/CoolSocket.h"
#include "engine/ServerAddress.h"
#include "engine/ViewerState.h"

#include <gtest/gtest.h>

#include <memory>

using namespace dova;
using namespace latis_test;

namespace {

// A handshake run to its end on a connect thread: Failure is empty when the viewer connected.
struct Outcome {
    std::unique_ptr<CSimpleException> Failure;
    uint16_t Width = 0, Height = 0;
    uint8_t BitsPerPixel = 0;
    std::string DesktopName, ServerVersion;
    int32_t State = 0;
};

Outcome Handshake(int port, const std::string& password, const std::string& server = "127.0.0.1") {
    RecordingHost host;
    CViewerState state(&host);
    CCoolSocket socket(state);
    state.Server = server;
    state.Port = port;
    state.Password = password;
    state.Socket = &socket;
    CConnectThread thread(state);
    thread.Start();
    Outcome out;
    out.Failure = AwaitConnectOutcome(host, state);
    socket.CloseByOwner(true);
    state.CancelPasswordWait();
    thread.Stop();
    CLockGuard hold(state);
    out.Width = state.FrameWidth;
    out.Height = state.FrameHeight;
    out.BitsPerPixel = state.ServerPixelFormat.BitsPerPixel;
    out.DesktopName = state.DesktopName;
    out.ServerVersion = state.ServerVersion;
    out.State = state.State;
    return out;
}

void ExpectConnected(const Outcome& o, const ServerOptions& options) {
    ASSERT_FALSE(o.Failure) << o.Failure->Code << " " << o.Failure->Message;
    EXPECT_EQ(o.Width, options.Width);
    EXPECT_EQ(o.Height, options.Height);
    EXPECT_EQ(o.BitsPerPixel, 32);
    EXPECT_EQ(o.ServerVersion.substr(0, 8), "RFB 003.");
}

void ExpectWrongPassword(const Outcome& o) {
    ASSERT_TRUE(o.Failure);
    EXPECT_EQ(o.Failure->Code, codes::HandshakeAuth);
    EXPECT_EQ(o.Failure->Message, "The password was incorrect.");
}

} // namespace

TEST(RealServerHandshake, XvncWithPassword) {
    const ServerOptions options =
        ServerOptions().WithPassword("secret12").WithSize(800, 600).WithName("latis-xvnc");
    XvncServer server(options);
    const Outcome right = Handshake(server.Port(), "secret12");
    ExpectConnected(right, options);
    EXPECT_EQ(right.DesktopName, "latis-xvnc");
    // One wrong password only: Xvnc locks out after five.
    ExpectWrongPassword(Handshake(server.Port(), "secret13"));
    // Characters after the eighth take no part in VNC authentication.
    ExpectConnected(Handshake(server.Port(), "secret12 and more"), options);
}

TEST(RealServerHandshake, XvncWithoutAuthentication) {
    const ServerOptions options = ServerOptions().WithSize(640, 480).WithDepth(16);
    XvncServer server(options);
    const Outcome o = Handshake(server.Port(), "");
    ASSERT_FALSE(o.Failure) << o.Failure->Message;
    EXPECT_EQ(o.Width, 640);
    EXPECT_EQ(o.Height, 480);
    EXPECT_EQ(o.BitsPerPixel, 16);
}

TEST(RealServerHandshake, X11vncOnXvfbWithAndWithoutPassword) {
    const ServerOptions open = ServerOptions().WithSize(1024, 768);
    X11vncServer openServer(open);
    ExpectConnected(Handshake(openServer.Port(), ""), open);

    const ServerOptions locked = ServerOptions().WithPassword("abc").WithSize(700, 500);
    X11vncServer lockedServer(locked);
    ExpectConnected(Handshake(lockedServer.Port(), "abc"), locked);
    ExpectWrongPassword(Handshake(lockedServer.Port(), "abd"));
}

TEST(RealServerHandshake, WayvncTurnsOldHandshakeAwayAndIsSpoken38) {
    WayvncServer server(800, 600);
    const Outcome o = Handshake(server.Port(), "");
    ASSERT_FALSE(o.Failure) << o.Failure->Code << " " << o.Failure->Message << "\n" << server.Log();
    EXPECT_EQ(o.Width, 800);
    EXPECT_EQ(o.Height, 600);
    EXPECT_EQ(o.ServerVersion, "RFB 003.008\n");
}

TEST(RealServerHandshake, XvncListeningOnlyOnIPv6Loopback) {
    const ServerOptions options =
        ServerOptions().WithPassword("secret12").WithSize(640, 480).WithListenAddress("::1");
    XvncServer server(options);
    std::string host;
    int port = 0;
    SplitServerText("[::1]:P" + std::to_string(server.Port()), host, port);
    EXPECT_EQ(host, "::1");
    ExpectConnected(Handshake(port, "secret12", host), options);
    const Outcome v4 = Handshake(server.Port(), "secret12", "127.0.0.1");
    ASSERT_TRUE(v4.Failure);
    EXPECT_EQ(v4.Failure->Code, codes::SocketConnect);
}

TEST(RealServerFixtures, ScreenshotShowsWhatAClientDrew) {
    XvncServer server(ServerOptions().WithSize(320, 200));
    server.RunClientAndWait({"xsetroot", "-solid", "#ff8000"});
    const RgbImage screen = server.Screenshot();
    ASSERT_EQ(screen.Width, 320);
    ASSERT_EQ(screen.Height, 200);
    EXPECT_EQ(screen.At(0, 0), 0xFF8000u);
    EXPECT_EQ(screen.At(319, 199), 0xFF8000u);
}
