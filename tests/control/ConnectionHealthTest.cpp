// Dead connections end by themselves. A computer vanishes mid-session: the test moves into a network
// namespace of its own, runs Xvnc there on 127.0.0.1 and takes the loopback down under the session. A
// hung server accepts and never speaks. Both end as Error with the cause in v1, and a session that
// was connected then raises Disconnected; a quiet session that still answers is left alone.
// The limits are shortened so the cases take seconds; LATIS_REAL_LIMITS=1 runs them with the limits
// every viewer uses and prints how long each took.
#include "RealServers.h"
#include "ViewerRig.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <iostream>
#include <net/if.h>
#include <sched.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

using namespace dova;
using namespace latis_test;
using namespace std::chrono_literals;

namespace {

bool RealLimits() {
    const char* value = std::getenv("LATIS_REAL_LIMITS");
    return value && std::strcmp(value, "1") == 0;
}

ConnectionLimits LimitsForTest() {
    ConnectionLimits limits;
    if (RealLimits())
        return limits;
    limits.KeepAliveIdle = 1s;
    limits.KeepAliveInterval = 1s;
    limits.KeepAliveProbes = 2;
    limits.UserTimeout = 3s;
    limits.HandshakeSilence = 1500ms;
    return limits;
}

// How long a case may take before it counts as "never": far above the limits in force.
std::chrono::milliseconds Never() {
    return RealLimits() ? 120s : 30s;
}

bool SetLoopback(bool up) {
    const int s = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (s < 0)
        return false;
    ifreq request{};
    std::strncpy(request.ifr_name, "lo", IFNAMSIZ - 1);
    bool done = ::ioctl(s, SIOCGIFFLAGS, &request) == 0;
    if (done) {
        request.ifr_flags = short(up ? (request.ifr_flags | IFF_UP) : (request.ifr_flags & ~IFF_UP));
        done = ::ioctl(s, SIOCSIFFLAGS, &request) == 0;
    }
    ::close(s);
    return done;
}

// This thread, and every thread and process it starts from now on, in a network of its own that
// has only the loopback interface. False where namespaces are not permitted.
bool EnterPrivateNetwork() {
    return ::unshare(CLONE_NEWNET) == 0 && SetLoopback(true);
}

void UseLimits(ViewerRig& rig) {
    CViewerState& state = rig.Viewer->EngineState();
    CLockGuard hold(state);
    state.Limits = LimitsForTest();
}

void Connect(ViewerRig& rig, int port) {
    VNCVariant result;
    rig.Viewer->Connect(QStringLiteral("127.0.0.1"), int32_t(port), VNCVariant(), VNCVariant(), &result);
    ASSERT_EQ(result.ToInt32(), 0);
}

double SecondsSince(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

} // namespace

TEST(ConnectionHealth, VanishedComputerEndsTheSessionAndAQuietOneDoesNot) {
    TestApplication();
    if (!EnterPrivateNetwork())
        GTEST_SKIP() << "no private network namespace here (needs root)";
    XvncServer server(ServerOptions().WithSize(320, 240));
    ViewerRig rig(320, 240);
    UseLimits(rig);
    rig.Sink.OnConnected = [&rig] { rig.Viewer->Start(nullptr); };
    Connect(rig, server.Port());
    ASSERT_TRUE(PumpUntil([&] { return rig.Int(&CVNCViewer::get_State) == dovaStateDispatching; }, 30s))
        << (rig.Sink.Events.empty() ? std::string("no event") : rig.Sink.Events.back());

    // A static screen sends nothing: longer than the handshake limit and the user time-out, the
    // session lives on because the computer still answers the probes.
    const auto quiet = LimitsForTest().UserTimeout + LimitsForTest().KeepAliveIdle + 1s;
    PumpFor(std::chrono::duration_cast<std::chrono::milliseconds>(RealLimits() ? 5s : quiet));
    ASSERT_EQ(rig.Sink.Count("Error"), 0u) << rig.Sink.Events.back();
    ASSERT_EQ(rig.Int(&CVNCViewer::get_State), dovaStateDispatching);

    ASSERT_TRUE(SetLoopback(false));
    struct BackUp {
        ~BackUp() { SetLoopback(true); } // for whatever runs next in this process
    } backUp;
    const auto gone = std::chrono::steady_clock::now();
    ASSERT_TRUE(PumpUntil([&] { return rig.Sink.Count("Disconnected") > 0; }, Never()));
    std::cout << "vanished computer noticed after " << SecondsSince(gone) << " s\n";
    const size_t n = rig.Sink.Events.size();
    ASSERT_GE(n, 2u);
    EXPECT_EQ(rig.Sink.Events[n - 2].rfind("Error:241:", 0), 0u) << rig.Sink.Events[n - 2];
    EXPECT_NE(rig.Sink.Events[n - 2].find(":cause=2"), std::string::npos) << rig.Sink.Events[n - 2];
    EXPECT_EQ(rig.Sink.Events[n - 1], "Disconnected");
    EXPECT_EQ(rig.Int(&CVNCViewer::get_State), dovaStateNotConnected);
}

TEST(ConnectionHealth, ServerSilentDuringTheHandshakeEndsTheAttempt) {
    TestApplication();
    LoopbackListener listener;
    ViewerRig rig;
    UseLimits(rig);
    Connect(rig, listener.Port());
    const auto start = std::chrono::steady_clock::now();
    const int held = listener.Accept(10s); // accepted, and never a byte
    ASSERT_GE(held, 0);
    ASSERT_TRUE(PumpUntil([&] { return rig.Sink.Count("Error") > 0; }, Never()));
    std::cout << "silent server given up after " << SecondsSince(start) << " s\n";
    ::close(held);
    ASSERT_EQ(rig.Sink.Events.size(), 1u) << rig.Sink.Events.back();
    EXPECT_EQ(rig.Sink.Events[0], "Error:514:The server stopped answering during the handshake.:cause=3");
    EXPECT_EQ(rig.Int(&CVNCViewer::get_State), dovaStateNotConnected);
}
