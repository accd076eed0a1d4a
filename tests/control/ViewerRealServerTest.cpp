// The viewer against TigerVNC's Xvnc on 127.0.0.1: what it shows equals the server's own screen, at
// 1:1 and stretched; a password asked through the Password event; a server that dies mid-session.
#include "RealServers.h"
#include "ViewerRig.h"

#include <gtest/gtest.h>

#include <QClipboard>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QMouseEvent>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <unistd.h>

using namespace dova;
using namespace latis_test;

namespace {

// Something with edges and colours on the remote screen: a plaid root window and an xterm.
void PaintScreen(XvncServer& server) {
    server.RunClientAndWait({"xsetroot", "-mod", "7", "5", "-fg", "#d04010", "-bg", "#1060c0"});
    server.RunClient({"xterm", "-geometry", "40x10+30+40", "-bg", "yellow", "-fg", "black", "-e", "sh", "-c",
                      "echo DOVA test; ls /; sleep 60"});
}

// Number of pixels of the view that differ from the screenshot, after scaling the view back.
int CountMismatches(const QImage& shot, int left, int top, const RgbImage& screen) {
    int mismatches = 0;
    for (int y = 0; y < screen.Height; ++y)
        for (int x = 0; x < screen.Width; ++x)
            if ((shot.pixel(left + x, top + y) & 0xFFFFFF) != screen.At(x, y))
                ++mismatches;
    return mismatches;
}

void ConnectViewer(ViewerRig& rig, int port) {
    rig.Sink.OnConnected = [&rig] { rig.Viewer->Start(nullptr); };
    VNCVariant result;
    rig.Viewer->Connect(QStringLiteral("127.0.0.1"), int32_t(port), VNCVariant(), VNCVariant(), &result);
    ASSERT_EQ(result.ToInt32(), 0);
    ASSERT_TRUE(PumpUntil([&] { return rig.Int(&CVNCViewer::get_State) == dovaStateDispatching; },
                          std::chrono::seconds(30)))
        << (rig.Sink.Events.empty() ? std::string("no event") : rig.Sink.Events.back());
}

} // namespace

TEST(ViewerOnXvnc, GrabAtOneToOneEqualsTheServerScreen) {
    XvncServer server(ServerOptions().WithSize(640, 480));
    PaintScreen(server);
    ViewerRig rig(640, 480);
    rig.Viewer->put_BitsPerPixel(32);
    ConnectViewer(rig, server.Port());
    EXPECT_EQ(rig.Int(&CVNCViewer::get_ViewLeft), 0);
    int mismatches = -1;
    RgbImage screen;
    // Updates arrive in pieces; wait until the window shows the whole screen.
    PumpUntil(
        [&] {
            screen = server.Screenshot();
            mismatches = CountMismatches(rig.Viewer->grab().toImage(), 0, 0, screen);
            return mismatches == 0;
        },
        std::chrono::seconds(20));
    EXPECT_EQ(mismatches, 0) << server.Log();
    rig.Viewer->Stop(nullptr);
}

TEST(ViewerOnXvnc, QuarterStretchWithHalftoneAveragesEachCell) {
    XvncServer server(ServerOptions().WithSize(640, 480));
    PaintScreen(server);
    ViewerRig rig(400, 300);
    rig.Viewer->put_BitsPerPixel(32);
    rig.Viewer->StretchX(1, 4, nullptr);
    rig.Viewer->StretchY(1, 4, nullptr);
    rig.Viewer->put_Stretch(VNC_TRUE);
    ConnectViewer(rig, server.Port());
    EXPECT_EQ(rig.Int(&CVNCViewer::get_ViewWidth), 160);
    const int left = rig.Int(&CVNCViewer::get_ViewLeft), top = rig.Int(&CVNCViewer::get_ViewTop);
    EXPECT_EQ(left, (400 - 160) / 2);
    int worst = 256;
    PumpUntil(
        [&] {
            const RgbImage screen = server.Screenshot();
            const QImage shot = rig.Viewer->grab().toImage();
            worst = 0;
            for (int j = 0; j < 120; ++j)
                for (int i = 0; i < 160; ++i) {
                    const QRgb shown = shot.pixel(left + i, top + j);
                    const int channels[3] = {qRed(shown), qGreen(shown), qBlue(shown)};
                    for (int c = 0; c < 3; ++c) {
                        int sum = 0;
                        for (int y = 0; y < 4; ++y)
                            for (int x = 0; x < 4; ++x)
                                sum += int((screen.At(i * 4 + x, j * 4 + y) >> (16 - 8 * c)) & 0xFF);
                        worst = std::max(worst, std::abs(channels[c] - sum / 16));
                    }
                }
            return worst <= 2;
        },
        std::chrono::seconds(20));
    EXPECT_LE(worst, 2) << "largest difference from a cell's average";
}

TEST(ViewerOnXvnc, PasswordEventLetsTheHostAnswer) {
    XvncServer server(ServerOptions().WithPassword("secret12").WithSize(320, 240));
    ViewerRig rig(320, 240);
    rig.Sink.OnPassword = [&rig] { rig.Viewer->put_Password(QStringLiteral("secret12")); };
    ConnectViewer(rig, server.Port());
    EXPECT_EQ(rig.Sink.Count("Password"), 1u);
    EXPECT_EQ(rig.Sink.Count("Connected:latis-test"), 1u);
}

TEST(ViewerOnXvnc, ServerDyingMidSessionGivesErrorThenDisconnectedAndReconnectWorks) {
    ViewerRig rig(320, 240);
    {
        auto server = std::make_unique<XvncServer>(ServerOptions().WithSize(320, 240));
        ConnectViewer(rig, server->Port());
        server.reset(); // kills the server
        ASSERT_TRUE(PumpUntil([&] { return rig.Sink.Count("Disconnected") == 1; }, std::chrono::seconds(20)));
    }
    const size_t n = rig.Sink.Events.size();
    ASSERT_GE(n, 2u);
    EXPECT_EQ(rig.Sink.Events[n - 2].rfind("Error:", 0), 0u) << rig.Sink.Events[n - 2];
    EXPECT_EQ(rig.Sink.Events[n - 1], "Disconnected");
    EXPECT_EQ(rig.Int(&CVNCViewer::get_State), 0);

    XvncServer again(ServerOptions().WithSize(200, 100));
    ConnectViewer(rig, again.Port());
    EXPECT_EQ(rig.Int(&CVNCViewer::get_FrameWidth), 200);
}

TEST(ViewerOnXvnc, ClipboardBothWays) {
    XvncServer server(ServerOptions().WithSize(320, 240));
    ViewerRig rig(320, 240);
    ConnectViewer(rig, server.Port());
    // Xvnc takes part in the extended clipboard: Turkish letters travel as UTF-8 both ways.
    // Remote to local: text put on the remote clipboard arrives with Linux line ends.
    // Text owned before the server has read our encodings goes out as Latin-1, so a copy that
    // arrived mangled is made again (as an operator would) until the session has its capabilities.
    bool arrived = false;
    for (int attempt = 0; attempt < 5 && !arrived; ++attempt) {
        server.RunClient({"sh", "-c", "printf 'Işık\\nğüşö' | xclip -selection clipboard -quiet"});
        arrived =
            PumpUntil([] { return QGuiApplication::clipboard()->text() == QStringLiteral("Işık\nğüşö"); },
                      std::chrono::seconds(4));
    }
    EXPECT_TRUE(arrived) << QGuiApplication::clipboard()->text().toStdString();
    // Local to remote.
    QGuiApplication::clipboard()->setText(QStringLiteral("yerel Işık ğüşö"));
    std::string remote;
    EXPECT_TRUE(PumpUntil(
        [&] {
            remote = server.RunClientAndWait({"xclip", "-selection", "clipboard", "-o"});
            return remote == "yerel Işık ğüşö";
        },
        std::chrono::seconds(20)))
        << remote;
}

TEST(ViewerOnXvnc, RelayedKeysAndClicksReachTheRemoteDisplay) {
    XvncServer server(ServerOptions().WithSize(320, 240));
    char typedPath[] = "/tmp/dova-typed-XXXXXX";
    char clickPath[] = "/tmp/dova-click-XXXXXX";
    for (char* path : {typedPath, clickPath}) {
        const int fd = mkstemp(path);
        ASSERT_GE(fd, 0);
        close(fd);
    }
    // A terminal that writes the first line it reads to a file.
    server.RunClient({"xterm", "-geometry", "40x8+0+0", "-e", "sh", "-c",
                      std::string("read line; printf '%s' \"$line\" > ") + typedPath});
    ASSERT_TRUE(PumpUntil(
        [&] {
            try { // xdotool fails while no window matches
                return !server.RunClientAndWait({"xdotool", "search", "--class", "xterm"}).empty();
            } catch (const std::runtime_error&) {
                return false;
            }
        },
        std::chrono::seconds(20)));

    ViewerRig rig(320, 240);
    rig.Viewer->put_RelayLocalClipboard(VNC_FALSE);
    rig.Viewer->put_RelayServerClipboard(VNC_FALSE);
    ConnectViewer(rig, server.Port());
    CVNCViewer& viewer = *rig.Viewer;
    auto mouse = [&](QEvent::Type type, Qt::MouseButton button, Qt::MouseButtons held) {
        QMouseEvent event(type, QPointF(60, 40), QPointF(viewer.mapToGlobal(QPoint(60, 40))), button, held,
                          Qt::NoModifier);
        QCoreApplication::sendEvent(&viewer, &event);
    };
    auto key = [&](int code, const QString& text) {
        QKeyEvent down(QEvent::KeyPress, code, Qt::NoModifier, text);
        QCoreApplication::sendEvent(&viewer, &down);
        QKeyEvent up(QEvent::KeyRelease, code, Qt::NoModifier, text);
        QCoreApplication::sendEvent(&viewer, &up);
    };
    auto contents = [](const char* path) {
        std::ifstream in(path);
        return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    };

    mouse(QEvent::MouseMove, Qt::NoButton, Qt::NoButton); // focus follows the pointer onto the terminal
    std::string location;
    ASSERT_TRUE(PumpUntil(
        [&] {
            location = server.RunClientAndWait({"xdotool", "getmouselocation"});
            return location.rfind("x:60 y:40", 0) == 0;
        },
        std::chrono::seconds(10)))
        << location;

    // A click: xdotool selectwindow grabs the pointer and names the window the next click hits.
    server.RunClient({"sh", "-c", std::string("xdotool selectwindow > ") + clickPath});
    PumpFor(std::chrono::milliseconds(500));
    mouse(QEvent::MouseButtonPress, Qt::LeftButton, Qt::LeftButton);
    mouse(QEvent::MouseButtonRelease, Qt::LeftButton, Qt::NoButton);
    std::string clicked;
    PumpUntil(
        [&] {
            clicked = contents(clickPath);
            return !clicked.empty();
        },
        std::chrono::seconds(10));
    EXPECT_FALSE(clicked.empty()) << "the click reached the remote display";

    rig.Sink.KeyAction = dovaActionNone;
    key(Qt::Key_X, QStringLiteral("x")); // the host keeps this one
    rig.Sink.KeyAction = dovaActionAllowDOVAAndWin;
    key(Qt::Key_H, QStringLiteral("h"));
    key(Qt::Key_I, QStringLiteral("i"));
    key(Qt::Key_Return, QStringLiteral("\r"));
    std::string typed;
    PumpUntil(
        [&] {
            typed = contents(typedPath);
            return !typed.empty();
        },
        std::chrono::seconds(10));
    unlink(typedPath);
    unlink(clickPath);
    EXPECT_EQ(typed, "hi") << "the keys typed, the vetoed key stayed home";
}

// A hidden tile's viewer: RequestFrames false. The server answers nothing more while the screen keeps
// changing; allowing requests again brings the whole current screen in one update; and a server that
// dies while requests are held is still noticed.
TEST(ViewerOnXvnc, HeldRequestsAskForNothingResumeWithTheWholeScreenAndStillNoticeALostServer) {
    auto server = std::make_unique<XvncServer>(ServerOptions().WithSize(320, 240));
    ViewerRig rig(320, 240);
    rig.Viewer->put_BitsPerPixel(32);
    rig.Viewer->put_FireFrameUpdates(VNC_TRUE);
    ConnectViewer(rig, server->Port());
    ASSERT_TRUE(PumpUntil([&] { return rig.Sink.Count("FrameUpdated") > 0; }));

    rig.Viewer->put_RequestFrames(VNC_FALSE);
    // The request already out is answered once; after it the session owes the next one.
    server->RunClientAndWait({"xsetroot", "-solid", "#203040"});
    PumpFor(std::chrono::milliseconds(1500));
    const size_t held = rig.Sink.Count("FrameUpdated");
    for (const char* colour : {"#a01010", "#10a010", "#1010a0"}) {
        server->RunClientAndWait({"xsetroot", "-solid", colour});
        PumpFor(std::chrono::milliseconds(500));
    }
    EXPECT_EQ(rig.Sink.Count("FrameUpdated"), held) << "updates while requests were held";

    const size_t before = rig.Sink.Events.size();
    rig.Viewer->put_RequestFrames(VNC_TRUE);
    RgbImage screen = server->Screenshot();
    int mismatches = -1;
    int64_t covered = 0;
    PumpUntil(
        [&] {
            covered = 0;
            for (size_t i = before; i < rig.Sink.Events.size(); ++i) {
                int x, y, w, h;
                if (std::sscanf(rig.Sink.Events[i].c_str(), "FrameUpdated:%d,%d,%d,%d", &x, &y, &w, &h) == 4)
                    covered += int64_t(w) * h;
            }
            mismatches = CountMismatches(rig.Viewer->grab().toImage(), 0, 0, screen);
            return mismatches == 0 && covered >= 320 * 240;
        },
        std::chrono::seconds(5));
    EXPECT_EQ(mismatches, 0) << "the view is current after resuming";
    EXPECT_GE(covered, 320 * 240);

    // Held with nothing changed since: an incremental request would bring nothing, a full one all.
    rig.Viewer->put_RequestFrames(VNC_FALSE);
    server->RunClientAndWait({"xsetroot", "-solid", "#000000"});
    PumpFor(std::chrono::milliseconds(1500));
    const size_t quiet = rig.Sink.Events.size();
    rig.Viewer->put_RequestFrames(VNC_TRUE);
    EXPECT_TRUE(PumpUntil([&] {
        int64_t area = 0;
        for (size_t i = quiet; i < rig.Sink.Events.size(); ++i) {
            int x, y, w, h;
            if (std::sscanf(rig.Sink.Events[i].c_str(), "FrameUpdated:%d,%d,%d,%d", &x, &y, &w, &h) == 4)
                area += int64_t(w) * h;
        }
        return area >= 320 * 240;
    })) << "a full update, not only the changed part";

    rig.Viewer->put_RequestFrames(VNC_FALSE);
    server->RunClientAndWait({"xsetroot", "-solid", "#ffffff"});
    PumpFor(std::chrono::milliseconds(800));
    server.reset(); // kills the server while the session holds its request
    EXPECT_TRUE(PumpUntil([&] { return rig.Sink.Count("Disconnected") == 1; }, std::chrono::seconds(20)));
    EXPECT_GE(rig.Sink.Count("Error:"), 1u);
}
