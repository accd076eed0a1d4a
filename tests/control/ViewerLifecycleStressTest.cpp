// The viewer's lifecycle hammered the way a busy operator does it: connect and stop at once, stop
// while updates flow, delete the widget mid-session, reconnect from inside event handlers, servers
// that die mid-update, many viewers on one server, a stop while a password is awaited, and display
// settings changed while the session draws. Only outcomes are checked: no crash, state 0 after Stop,
// one Disconnected per Connected, no descriptor or thread left behind, and the viewer still connects
// afterwards.
#include "RealServers.h"
#include "ViewerRig.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QCursor>
#include <QPointer>
#include <QThread>

#include <filesystem>
#include <memory>
#include <vector>

using namespace dova;
using namespace latis_test;

namespace {

constexpr auto Patience = std::chrono::seconds(20);

// Xvnc turns a host away for a while once five of its connections ended unauthenticated; these tests
// end many on purpose.
ServerOptions Hammered() {
    return ServerOptions().WithXvncArguments({"-BlacklistThreshold", "100000"});
}

// Keeps the remote screen changing, so updates keep arriving.
void KeepScreenBusy(XvncServer& server) {
    server.RunClient({"sh", "-c",
                      "while :; do xsetroot -solid '#d04010'; xsetroot -mod 3 3 -fg '#1060c0' -bg yellow; "
                      "xsetroot -solid '#20a040'; done"});
}

int32_t StateOf(CVNCViewer& viewer) {
    int32_t state = -1;
    viewer.get_State(&state);
    return state;
}

void Connect(CVNCViewer& viewer, int port) {
    VNCVariant result;
    viewer.Connect(QStringLiteral("127.0.0.1"), int32_t(port), VNCVariant(), VNCVariant(), &result);
    ASSERT_EQ(result.ToInt32(), 0);
}

bool WaitDispatching(ViewerRig& rig) {
    return PumpUntil([&] { return StateOf(*rig.Viewer) == dovaStateDispatching; }, Patience);
}

void StopAndCheck(ViewerRig& rig) {
    VNCVariant result;
    rig.Viewer->Stop(&result);
    EXPECT_EQ(result.ToInt32(), 0);
    EXPECT_EQ(StateOf(*rig.Viewer), 0);
    EXPECT_EQ(rig.Sink.Count("Disconnected"), rig.Sink.Count("Connected:"));
}

// Open descriptors or threads of this process: every ended connection must give its own back.
size_t Entries(const char* folder) {
    const std::filesystem::directory_iterator all(folder);
    return size_t(std::distance(begin(all), end(all)));
}

// A sink whose Error and Disconnected handlers can act, as a host's would.
class ActingSink : public RecordingSink {
public:
    void Error(int32_t Number, QString& Message, const VNCVariant& v1) override {
        RecordingSink::Error(Number, Message, v1);
        if (OnError)
            OnError();
    }
    void Disconnected() override {
        RecordingSink::Disconnected();
        if (OnDisconnected)
            OnDisconnected();
    }
    std::function<void()> OnError;
    std::function<void()> OnDisconnected;
};

} // namespace

TEST(ViewerLifecycleStress, ConnectThenStopAtOnceRepeatedly) {
    XvncServer server(Hammered().WithPassword("secret12").WithSize(320, 240));
    ViewerRig rig(320, 240);
    rig.Sink.OnPassword = [&rig] { rig.Viewer->put_Password(QStringLiteral("secret12")); };
    const size_t descriptors = Entries("/proc/self/fd");
    const size_t threads = Entries("/proc/self/task");
    for (int i = 0; i < 30; ++i) {
        Connect(*rig.Viewer, server.Port());
        // Let the attempt get to different points before it is stopped.
        if (i % 3 == 1)
            QCoreApplication::processEvents();
        else if (i % 3 == 2)
            PumpFor(std::chrono::milliseconds(i % 7 * 3));
        StopAndCheck(rig);
        QCoreApplication::processEvents();
    }
    // Nothing the stopped attempts posted may reach the host late.
    PumpFor(std::chrono::milliseconds(100));
    EXPECT_EQ(rig.Sink.Count("Error"), 0u) << rig.Sink.Events.back();
    EXPECT_EQ(rig.Sink.Count("Disconnected"), rig.Sink.Count("Connected:"));

    // Destroyed instead of stopped, at different points of the handshake.
    for (int i = 0; i < 10; ++i) {
        auto doomed = std::make_unique<CVNCViewer>();
        doomed->Connect(QStringLiteral("127.0.0.1"), int32_t(server.Port()), QStringLiteral("secret12"),
                        VNCVariant(), nullptr);
        if (i % 2)
            PumpFor(std::chrono::milliseconds(i * 2));
        doomed.reset();
    }
    QCoreApplication::processEvents();

    rig.Sink.OnConnected = [&rig] { rig.Viewer->Start(nullptr); };
    Connect(*rig.Viewer, server.Port());
    EXPECT_TRUE(WaitDispatching(rig)) << server.Log();
    StopAndCheck(rig);
    // A wall left running all day connects and stops like this for hours. An ended thread may linger
    // in /proc for a moment after its join.
    EXPECT_TRUE(PumpUntil([&] { return Entries("/proc/self/task") <= threads; }, Patience))
        << Entries("/proc/self/task") << " threads, " << threads << " before";
    EXPECT_EQ(Entries("/proc/self/fd"), descriptors);
}

TEST(ViewerLifecycleStress, StopWhileUpdatesFlowThenDeleteMidSession) {
    XvncServer server(Hammered().WithSize(320, 240));
    KeepScreenBusy(server);
    ViewerRig rig(320, 240);
    rig.Viewer->put_FireFrameUpdates(VNC_TRUE);
    rig.Sink.OnConnected = [&rig] { rig.Viewer->Start(nullptr); };
    for (int i = 0; i < 5; ++i) {
        rig.Viewer->put_FrameUpdateDelay(i % 2 == 0 ? 0 : 10);
        Connect(*rig.Viewer, server.Port());
        ASSERT_TRUE(WaitDispatching(rig)) << server.Log();
        const size_t before = rig.Sink.Count("FrameUpdated");
        EXPECT_TRUE(PumpUntil([&] { return rig.Sink.Count("FrameUpdated") >= before + 3; }, Patience));
        StopAndCheck(rig);
    }
    // Deleted while dispatching, with updates pending in the event queue.
    Connect(*rig.Viewer, server.Port());
    ASSERT_TRUE(WaitDispatching(rig));
    PumpFor(std::chrono::milliseconds(50));
    rig.Viewer.reset();
    PumpFor(std::chrono::milliseconds(50));
    EXPECT_EQ(rig.Sink.Count("Disconnected"), rig.Sink.Count("Connected:") - 1)
        << "no events from a dying viewer";

    // A fresh widget on the same server still works.
    rig.Viewer = std::make_unique<CVNCViewer>();
    rig.Viewer->resize(320, 240);
    rig.Viewer->put_FireFrameUpdates(VNC_TRUE);
    rig.Viewer->Advise(&rig.Sink);
    Connect(*rig.Viewer, server.Port());
    EXPECT_TRUE(WaitDispatching(rig));
}

TEST(ViewerLifecycleStress, ReconnectFromInsideErrorAndDisconnectedHandlers) {
    auto first = std::make_unique<XvncServer>(ServerOptions().WithSize(320, 240));
    XvncServer second(ServerOptions().WithSize(200, 100));
    ViewerRig rig(320, 240);
    ActingSink sink;
    rig.Viewer->Unadvise(&rig.Sink);
    rig.Viewer->Advise(&sink);
    sink.OnConnected = [&rig] { rig.Viewer->Start(nullptr); };
    auto dispatching = [&] {
        return PumpUntil([&] { return StateOf(*rig.Viewer) == dovaStateDispatching; }, Patience);
    };

    // Disconnected handler reconnects after the host's own Stop.
    int reconnects = 0;
    sink.OnDisconnected = [&] {
        if (reconnects++ == 0)
            Connect(*rig.Viewer, first->Port());
    };
    Connect(*rig.Viewer, first->Port());
    ASSERT_TRUE(dispatching());
    rig.Viewer->Stop(nullptr);
    ASSERT_TRUE(dispatching());
    EXPECT_EQ(sink.Count("Connected:"), 2u);
    EXPECT_EQ(sink.Count("Disconnected"), 1u);

    // Error handler reconnects to another server when the first one dies.
    sink.OnDisconnected = nullptr;
    bool fromError = false;
    sink.OnError = [&] {
        if (!fromError) {
            fromError = true;
            Connect(*rig.Viewer, second.Port());
        }
    };
    first.reset();
    ASSERT_TRUE(PumpUntil([&] { return fromError; }, Patience));
    ASSERT_TRUE(dispatching());
    int32_t width = 0;
    rig.Viewer->get_FrameWidth(&width);
    EXPECT_EQ(width, 200);
    EXPECT_EQ(sink.Count("Disconnected"), 2u); // the reconnect ended the broken connection

    // Error for a refused connection, the Error handler reconnecting, and then a Disconnected handler
    // reconnecting after the engine's own stop.
    sink.OnError = nullptr;
    rig.Viewer->Stop(nullptr);
    int refused = 0;
    sink.OnError = [&] {
        if (refused++ < 3)
            Connect(*rig.Viewer, 1); // nothing listens on port 1
    };
    Connect(*rig.Viewer, 1);
    EXPECT_TRUE(PumpUntil([&] { return refused >= 4 && StateOf(*rig.Viewer) == 0; }, Patience));
    sink.OnError = nullptr;

    reconnects = 0;
    sink.OnDisconnected = [&] {
        if (reconnects++ == 0)
            Connect(*rig.Viewer, second.Port());
    };
    Connect(*rig.Viewer, second.Port());
    ASSERT_TRUE(dispatching());
    second.RunClientAndWait({"xsetroot", "-solid", "red"});
    rig.Viewer->Disconnect(nullptr);
    ASSERT_TRUE(dispatching());
    sink.OnDisconnected = nullptr;
    rig.Viewer->Stop(nullptr);
    EXPECT_EQ(StateOf(*rig.Viewer), 0);
    EXPECT_EQ(sink.Count("Disconnected"), sink.Count("Connected:"));
    rig.Viewer->Unadvise(&sink);
}

TEST(ViewerLifecycleStress, ServerDyingMidUpdateThenNewServer) {
    ViewerRig rig(320, 240);
    rig.Viewer->put_FireFrameUpdates(VNC_TRUE);
    rig.Sink.OnConnected = [&rig] { rig.Viewer->Start(nullptr); };
    rig.Viewer->put_FrameUpdateDelay(0);
    for (int round = 0; round < 2; ++round) {
        auto server = std::make_unique<XvncServer>(ServerOptions().WithSize(320, 240));
        KeepScreenBusy(*server);
        Connect(*rig.Viewer, server->Port());
        ASSERT_TRUE(WaitDispatching(rig));
        const size_t before = rig.Sink.Count("FrameUpdated");
        PumpUntil([&] { return rig.Sink.Count("FrameUpdated") >= before + 2; }, Patience);
        const size_t disconnected = rig.Sink.Count("Disconnected");
        server.reset();
        ASSERT_TRUE(PumpUntil([&] { return rig.Sink.Count("Disconnected") == disconnected + 1; }, Patience));
        EXPECT_EQ(StateOf(*rig.Viewer), 0);
    }
    XvncServer last(ServerOptions().WithSize(200, 100));
    Connect(*rig.Viewer, last.Port());
    EXPECT_TRUE(WaitDispatching(rig));
    StopAndCheck(rig);
}

TEST(ViewerLifecycleStress, EightViewersOnOneServerThenAllDestroyed) {
    XvncServer server(Hammered().WithSize(320, 240));
    KeepScreenBusy(server);
    std::vector<std::unique_ptr<ViewerRig>> rigs;
    for (int i = 0; i < 8; ++i) {
        rigs.push_back(std::make_unique<ViewerRig>(160, 120));
        ViewerRig& rig = *rigs.back();
        rig.Sink.OnConnected = [&rig] { rig.Viewer->Start(nullptr); };
        rig.Viewer->put_Shared(VNC_TRUE);
        rig.Viewer->put_FireFrameUpdates(VNC_TRUE);
        rig.Viewer->put_FrameUpdateDelay(i % 2 ? 0 : 5);
        if (i % 3 == 0)
            rig.Viewer->put_Stretch(VNC_TRUE);
        Connect(*rig.Viewer, server.Port());
    }
    EXPECT_TRUE(PumpUntil(
        [&] {
            for (auto& rig : rigs)
                if (StateOf(*rig->Viewer) != dovaStateDispatching || rig->Sink.Count("FrameUpdated") == 0)
                    return false;
            return true;
        },
        Patience))
        << [&] {
               std::string states;
               for (auto& rig : rigs)
                   states += std::to_string(StateOf(*rig->Viewer)) + "/" +
                             std::to_string(rig->Sink.Count("FrameUpdated")) + "/" +
                             (rig->Sink.Events.empty() ? "-" : rig->Sink.Events.back()) + " ";
               return states + server.Log();
           }();
    // Half stopped first, the rest destroyed while dispatching.
    for (size_t i = 0; i < rigs.size(); i += 2)
        StopAndCheck(*rigs[i]);
    rigs.clear();
    PumpFor(std::chrono::milliseconds(50));
}

TEST(ViewerLifecycleStress, StopWhileThePasswordIsAwaitedReturns) {
    // x11vnc: a stop during authentication counts as a failure, and Xvnc would lock us out.
    X11vncServer server(ServerOptions().WithPassword("secret12").WithSize(320, 240));
    ViewerRig rig(320, 240);
    for (int i = 0; i < 3; ++i) {
        Connect(*rig.Viewer, server.Port());
        // No events processed: the connect thread reaches the password question and waits for an
        // answer that never comes.
        QThread::msleep(300);
        StopAndCheck(rig);
        PumpFor(std::chrono::milliseconds(20));
    }
    // Destroyed while the password is awaited.
    {
        auto doomed = std::make_unique<CVNCViewer>();
        Connect(*doomed, server.Port());
        QThread::msleep(300);
    }
    // A Password handler that stops instead of answering, and one that reconnects.
    rig.Sink.OnPassword = [&rig] { rig.Viewer->Stop(nullptr); };
    Connect(*rig.Viewer, server.Port());
    EXPECT_TRUE(
        PumpUntil([&] { return rig.Sink.Count("Password") >= 1 && StateOf(*rig.Viewer) == 0; }, Patience));
    int asked = 0;
    rig.Sink.OnPassword = [&] {
        if (asked++ == 0)
            Connect(*rig.Viewer, server.Port());
        else
            rig.Viewer->put_Password(QStringLiteral("secret12"));
    };
    rig.Sink.OnConnected = [&rig] { rig.Viewer->Start(nullptr); };
    Connect(*rig.Viewer, server.Port());
    EXPECT_TRUE(WaitDispatching(rig)) << (rig.Sink.Events.empty() ? "" : rig.Sink.Events.back());
    EXPECT_EQ(rig.Sink.Count("Error"), 0u);
    StopAndCheck(rig);
}

TEST(ViewerLifecycleStress, DisplaySettingsChangedWhileUpdatesFlow) {
    XvncServer server(Hammered().WithSize(320, 240));
    KeepScreenBusy(server);
    ViewerRig rig(300, 200);
    rig.Sink.OnConnected = [&rig] { rig.Viewer->Start(nullptr); };
    rig.Viewer->put_FrameUpdateDelay(0);
    const int16_t depths[] = {8, 16, 32};
    for (int round = 0; round < 6; ++round) {
        rig.Viewer->put_BitsPerPixel(depths[round % 3]);
        Connect(*rig.Viewer, server.Port());
        ASSERT_TRUE(WaitDispatching(rig)) << server.Log();
        for (int step = 0; step < 8; ++step) {
            switch (step % 4) {
            case 0:
                rig.Viewer->put_Stretch(step % 8 == 0 ? VNC_TRUE : VNC_FALSE);
                break;
            case 1:
                rig.Viewer->put_StretchMode(step % 8 == 1 ? dovaStretchModeHalftone : dovaStretchModeNormal);
                break;
            case 2:
                rig.Viewer->StretchX(1 + step % 3, 2 + round % 3, nullptr);
                rig.Viewer->StretchY(1 + round % 2, 3, nullptr);
                break;
            case 3:
                rig.Viewer->put_Draw(step % 8 == 3 ? VNC_FALSE : VNC_TRUE);
                break;
            }
            // A depth change mid-session applies to the next connection; it must not disturb this one.
            rig.Viewer->put_BitsPerPixel(depths[(round + step) % 3]);
            rig.Viewer->resize(300 + step * 7, 200 - step * 5);
            PumpFor(std::chrono::milliseconds(15));
            (void)rig.Viewer->grab();
        }
        rig.Viewer->put_Draw(VNC_TRUE);
        EXPECT_EQ(StateOf(*rig.Viewer), dovaStateDispatching);
        StopAndCheck(rig);
    }
}

TEST(ViewerLifecycleStress, ExclusiveViewersPushingEachOtherOff) {
    XvncServer server(Hammered().WithSize(320, 240));
    KeepScreenBusy(server);
    std::vector<std::unique_ptr<ViewerRig>> rigs;
    for (int i = 0; i < 4; ++i) {
        rigs.push_back(std::make_unique<ViewerRig>(160, 120));
        ViewerRig& rig = *rigs.back();
        rig.Sink.OnConnected = [&rig] { rig.Viewer->Start(nullptr); };
        rig.Viewer->put_Shared(VNC_FALSE);
        rig.Viewer->put_FrameUpdateDelay(0);
    }
    // Each round every viewer connects in turn; a new exclusive client pushes the others off.
    for (int round = 0; round < 3; ++round)
        for (auto& rig : rigs) {
            Connect(*rig->Viewer, server.Port());
            PumpFor(std::chrono::milliseconds(30));
        }
    EXPECT_TRUE(WaitDispatching(*rigs.back()));
    for (auto& rig : rigs) {
        // Those pushed off have stopped themselves: state 0, and Disconnected after every Connected.
        PumpUntil([&] { return rig->Sink.Count("Disconnected") + 1 >= rig->Sink.Count("Connected:"); },
                  Patience);
        StopAndCheck(*rig);
    }
    // The last one can still come back.
    Connect(*rigs.front()->Viewer, server.Port());
    EXPECT_TRUE(WaitDispatching(*rigs.front()));
}

TEST(ViewerLifecycleStress, ClosedAndShownAgainKeepsWatchingThePointer) {
    ViewerRig rig(100, 100);
    rig.Viewer->put_ScreenEdgeDelay(50);
    QCursor::setPos(QPoint(300, 200));
    if (QCursor::pos() != QPoint(300, 200))
        GTEST_SKIP() << "this platform does not move the pointer";
    for (int i = 0; i < 3; ++i) {
        rig.Viewer->close();
        QCoreApplication::processEvents();
        rig.Viewer->show();
        QCoreApplication::processEvents();
    }
    QCursor::setPos(QPoint(0, 200));
    EXPECT_TRUE(PumpUntil([&] { return rig.Sink.Count("ScreenEdge") >= 1; }, std::chrono::seconds(3)))
        << "the pointer at the screen's left edge went unnoticed after the window was shown again";
    QCursor::setPos(QPoint(300, 200));
}

TEST(ViewerLifecycleStress, HandlersThatStopReconnectOrDeleteLater) {
    XvncServer server(Hammered().WithSize(320, 240));
    KeepScreenBusy(server);
    auto rig = std::make_unique<ViewerRig>(320, 240);
    ActingSink sink;
    rig->Viewer->Unadvise(&rig->Sink);
    rig->Viewer->Advise(&sink);
    rig->Viewer->put_FireFrameUpdates(VNC_TRUE);
    rig->Viewer->put_FrameUpdateDelay(0);
    CVNCViewer* viewer = rig->Viewer.get();

    // Connected handler reconnecting a few times before it starts.
    int connected = 0;
    sink.OnConnected = [&] {
        if (++connected < 4)
            Connect(*viewer, server.Port());
        else
            viewer->Start(nullptr);
    };
    Connect(*viewer, server.Port());
    ASSERT_TRUE(PumpUntil([&] { return StateOf(*viewer) == dovaStateDispatching; }, Patience));
    EXPECT_EQ(sink.Count("Disconnected"), 3u);

    // Stop from inside FrameUpdated, with more updates already queued behind it.
    struct StoppingSink : ActingSink {
        void FrameUpdated(int32_t X, int32_t Y, int32_t W, int32_t H) override {
            ActingSink::FrameUpdated(X, Y, W, H);
            if (OnFrame)
                OnFrame();
        }
        std::function<void()> OnFrame;
    } stopping;
    viewer->Advise(&stopping);
    stopping.OnFrame = [&] { viewer->Stop(nullptr); };
    ASSERT_TRUE(PumpUntil([&] { return StateOf(*viewer) == 0; }, Patience));
    PumpFor(std::chrono::milliseconds(30));
    EXPECT_EQ(stopping.Count("FrameUpdated"), 1u) << "no update of a stopped connection";
    viewer->Unadvise(&stopping);

    // The host lets go of the viewer from its Disconnected handler, as a tile wall does.
    sink.OnConnected = [&] { viewer->Start(nullptr); };
    Connect(*viewer, server.Port());
    ASSERT_TRUE(PumpUntil([&] { return StateOf(*viewer) == dovaStateDispatching; }, Patience));
    sink.OnDisconnected = [&] { rig->Viewer.release()->deleteLater(); };
    QPointer<CVNCViewer> watched(viewer);
    viewer->Stop(nullptr);
    PumpFor(std::chrono::milliseconds(30));
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(watched.isNull());
    EXPECT_EQ(sink.Count("Disconnected"), sink.Count("Connected:"));
}
