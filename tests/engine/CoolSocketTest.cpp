#include "engine/CoolSocket.h"
#include "ScriptedServer.h"
#include "base/EngineExceptions.h"
#include "engine/ViewerState.h"

#include <gtest/gtest.h>

#include <condition_variable>
#include <cstring>
#include <dlfcn.h>
#include <future>
#include <mutex>
#include <net/if.h>
#include <netdb.h>
#include <netinet/in.h>
#include <thread>

using namespace dova;
using namespace latis_test;

namespace {

// A viewer state with a recording host and a socket attached to a scripted peer.
struct Connection {
    RecordingHost Host;
    CViewerState State{&Host};
    ScriptedPeer Peer;
    CCoolSocket Socket{State};
    Connection() { Socket.AttachConnected(Peer.TakeClientSide()); }
};

// Runs f and returns the code and level of the engine exception it raised.
template <typename F> std::pair<int32_t, ExceptionLevel> Failure(F&& f) {
    try {
        f();
    } catch (const CSimpleException& e) {
        return {e.Code, e.Level};
    }
    ADD_FAILURE() << "no engine exception raised";
    return {-1, ExceptionLevel::Quiet};
}

void Pause() {
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
}

// One name whose lookup hangs as with a name server that never answers, until the test lets it go
// (or for at most Limit); it then fails as such a lookup does.
namespace slow_lookup {
constexpr const char* Name = "slow-lookup.test";
constexpr std::chrono::seconds Limit{5};
std::mutex Mutex;
std::condition_variable Changed;
int Inside = 0;
bool Released = false;

int Run() {
    std::unique_lock<std::mutex> hold(Mutex);
    ++Inside;
    Changed.notify_all();
    Changed.wait_for(hold, Limit, [] { return Released; });
    --Inside;
    Changed.notify_all();
    return EAI_AGAIN;
}

void AwaitStarted() {
    std::unique_lock<std::mutex> hold(Mutex);
    Changed.wait(hold, [] { return Inside > 0; });
}

// Lets every hanging lookup fail now and waits until none is left (a helper may outlive its waiter).
struct Release {
    ~Release() {
        std::unique_lock<std::mutex> hold(Mutex);
        Released = true;
        Changed.notify_all();
        Changed.wait(hold, [] { return Inside == 0; });
        Released = false;
    }
};
} // namespace slow_lookup

} // namespace

// This program's own getaddrinfo, ahead of the C library's: every other name goes on to it.
extern "C" int getaddrinfo(const char* __restrict name, const char* __restrict service,
                           const addrinfo* __restrict hints, addrinfo** __restrict found) {
    const bool literalOnly = hints && (hints->ai_flags & AI_NUMERICHOST);
    if (name && !literalOnly && std::strcmp(name, slow_lookup::Name) == 0)
        return slow_lookup::Run();
    // The reserved domain never exists; answered here so no question goes to a name server.
    const size_t length = name ? std::strlen(name) : 0;
    if (length >= 8 && std::strcmp(name + length - 8, ".invalid") == 0)
        return EAI_NONAME;
    using Lookup = int (*)(const char*, const char*, const addrinfo*, addrinfo**);
    static const auto next = reinterpret_cast<Lookup>(::dlsym(RTLD_NEXT, "getaddrinfo"));
    return next(name, service, hints, found);
}

TEST(CoolSocketRead, PeerCloseDuringWaitIsConnectionClosed) {
    Connection c;
    auto reading = std::async(std::launch::async, [&] {
        uint8_t buffer[8];
        return Failure([&] { c.Socket.ReadBytes(buffer, sizeof buffer); });
    });
    c.Peer.Send(Bytes({1, 2, 3}));
    Pause();
    c.Peer.CloseServerSide();
    const auto [code, level] = reading.get();
    EXPECT_EQ(code, codes::SocketClosed);
    EXPECT_EQ(level, ExceptionLevel::Error);
}

TEST(CoolSocketRead, PeerCloseAfterOwnerCloseIsQuiet) {
    Connection c;
    c.Socket.CloseByOwner(true);
    c.Peer.CloseServerSide();
    uint8_t buffer[4];
    EXPECT_EQ(Failure([&] { c.Socket.ReadBytes(buffer, sizeof buffer); }).second, ExceptionLevel::Quiet);
    EXPECT_EQ(Failure([&] { c.Socket.WriteBytes(buffer, sizeof buffer); }).second, ExceptionLevel::Quiet);
    EXPECT_EQ(c.State.State.load(), states::NotConnected);
}

TEST(CoolSocketRead, OwnerCloseEndsBlockedReadQuietly) {
    Connection c;
    c.State.State = states::Dispatching;
    auto reading = std::async(std::launch::async, [&] {
        uint8_t buffer[16];
        return Failure([&] { c.Socket.ReadBytes(buffer, sizeof buffer); });
    });
    Pause();
    c.Socket.CloseByOwner(true);
    EXPECT_EQ(reading.get().second, ExceptionLevel::Quiet);
    EXPECT_EQ(c.State.State.load(), states::NotConnected);
}

TEST(CoolSocketRead, PiecesMakeOneReadWithOneNotification) {
    Connection c;
    c.State.FireDataTransfers = true;
    std::thread sender([&] {
        c.Peer.Send(Bytes({0, 1, 2, 3}));
        Pause();
        c.Peer.Send(Bytes({4, 5, 6, 7}));
        Pause();
        c.Peer.Send(Bytes({8, 9, 10, 11}));
    });
    uint8_t buffer[12] = {};
    c.Socket.ReadBytes(buffer, sizeof buffer);
    sender.join();
    for (int i = 0; i < 12; ++i)
        EXPECT_EQ(buffer[i], i);
    const auto posted = c.Host.Messages();
    ASSERT_EQ(posted.size(), 1u);
    EXPECT_EQ(posted[0].Message, HostMessage::DataTransfer);
    EXPECT_EQ(posted[0].WParam, 12u);
    EXPECT_EQ(posted[0].LParam, 0u);

    c.Socket.WriteBytes(buffer, 5);
    EXPECT_EQ(c.Peer.Receive(5).size(), 5u);
    ASSERT_EQ(c.Host.Count(HostMessage::DataTransfer), 2u);
    EXPECT_EQ(c.Host.Messages().back().WParam, 12u);
    EXPECT_EQ(c.Host.Messages().back().LParam, 5u);
}

TEST(CoolSocketRead, PeekedByteCountsTwice) {
    Connection c;
    c.Peer.Send(Bytes({42, 7}));
    EXPECT_EQ(c.Socket.ReadByte(CCoolSocket::PeekFlag), 42);
    EXPECT_EQ(c.Socket.TotalRead(), 1u);
    EXPECT_EQ(c.Socket.ReadByte(), 42);
    EXPECT_EQ(c.Socket.TotalRead(), 2u);
    EXPECT_EQ(c.Socket.ReadByte(), 7);
    EXPECT_EQ(c.Socket.TotalRead(), 3u);
}

TEST(CoolSocketRead, NoNotificationWhenSwitchedOffButTotalsAdvance) {
    Connection c;
    c.State.FireDataTransfers = false;
    c.Peer.Send(Bytes({0, 0, 1, 2}));
    EXPECT_EQ(c.Socket.ReadUInt32(), 0x0102u);
    c.Socket.WriteBytes("abc", 3);
    EXPECT_EQ(c.Socket.TotalRead(), 4u);
    EXPECT_EQ(c.Socket.TotalWritten(), 3u);
    EXPECT_TRUE(c.Host.Messages().empty());
}

TEST(CoolSocketRead, EmptyRequestsDoNothing) {
    Connection c;
    c.State.FireDataTransfers = true;
    c.Socket.ReadBytes(nullptr, 4);
    uint8_t b;
    c.Socket.ReadBytes(&b, 0);
    c.Socket.WriteBytes(&b, 0);
    EXPECT_TRUE(c.Host.Messages().empty());
}

TEST(CoolSocketConnect, ClosedPortIsConnectFailure) {
    CViewerState state;
    CCoolSocket socket(state);
    const auto [code, level] = Failure([&] { socket.Connect("127.0.0.1", FreeLoopbackPort()); });
    EXPECT_EQ(code, codes::SocketConnect);
    EXPECT_EQ(level, ExceptionLevel::Error);
}

TEST(CoolSocketConnect, UnresolvableNameIsAddressFailure) {
    CViewerState state;
    CCoolSocket socket(state);
    EXPECT_EQ(Failure([&] { socket.Connect("nonexistent.invalid", 5900); }).first, codes::SocketNoAddress);
}

TEST(CoolSocketConnect, ConnectsByDottedAddressAndByName) {
    LoopbackListener listener;
    for (const char* host : {"127.0.0.1", "localhost"}) {
        CViewerState state;
        CCoolSocket socket(state);
        socket.Connect(host, listener.Port());
        ScriptedPeer server(listener.Accept());
        server.Send(Bytes({9}));
        EXPECT_EQ(socket.ReadByte(), 9) << host;
        EXPECT_EQ(socket.Host(), host);
        EXPECT_EQ(socket.Port(), listener.Port());
    }
}

TEST(CoolSocketConnect, ReconnectIsAFreshConnectionToTheSameHost) {
    LoopbackListener listener;
    CViewerState state;
    CCoolSocket socket(state);
    socket.Connect("127.0.0.1", listener.Port());
    ScriptedPeer first(listener.Accept());
    first.Send(Bytes({1}));
    EXPECT_EQ(socket.ReadByte(), 1);
    socket.Reconnect();
    ScriptedPeer second(listener.Accept());
    EXPECT_EQ(first.Drain(std::chrono::milliseconds(200)).size(), 0u);
    second.Send(Bytes({2}));
    EXPECT_EQ(socket.ReadByte(), 2);
    EXPECT_EQ(socket.TotalRead(), 2u) << "totals run on across connections";
    socket.CloseByOwner(true);
    EXPECT_EQ(Failure([&] { socket.Reconnect(); }).second, ExceptionLevel::Quiet);
}

TEST(CoolSocketConnect, AddressLiteralsOfBothFamiliesNeedNoLookup) {
    std::atomic<bool> never{false};
    CLookupWake wake;
    std::vector<SocketAddress> found;
    ASSERT_EQ(LookUpAddresses("::1", 5901, found, never, wake), LookupResult::Found);
    ASSERT_EQ(found.size(), 1u);
    EXPECT_EQ(found[0].Family(), AF_INET6);
    EXPECT_EQ(ntohs(reinterpret_cast<const sockaddr_in6*>(found[0].Get())->sin6_port), 5901);
    ASSERT_EQ(LookUpAddresses("fe80::1%lo", 1, found, never, wake), LookupResult::Found);
    EXPECT_EQ(reinterpret_cast<const sockaddr_in6*>(found[0].Get())->sin6_scope_id, if_nametoindex("lo"));
    ASSERT_EQ(LookUpAddresses("127.0.0.1", 1, found, never, wake), LookupResult::Found);
    EXPECT_EQ(found[0].Family(), AF_INET);
    EXPECT_EQ(LookUpAddresses("", 1, found, never, wake), LookupResult::NotFound);

    LoopbackListener v4only; // nothing on ::1 at this port
    CViewerState state;
    CCoolSocket socket(state);
    EXPECT_EQ(Failure([&] { socket.Connect("::1", v4only.Port()); }).first, codes::SocketConnect);
}

TEST(CoolSocketConnect, OwnerCloseEndsPendingConnectQuietly) {
    StalledListener stalled;
    CViewerState state;
    CCoolSocket socket(state);
    auto connecting = std::async(
        std::launch::async, [&] { return Failure([&] { socket.Connect("127.0.0.1", stalled.Port()); }); });
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    socket.CloseByOwner(true);
    EXPECT_EQ(connecting.get().second, ExceptionLevel::Quiet);
}

TEST(CoolSocketConnect, SlowNameLookupEndsAtOwnerCloseOrFailsCleanly) {
    {
        slow_lookup::Release release;
        CViewerState state;
        CCoolSocket socket(state);
        auto connecting = std::async(
            std::launch::async, [&] { return Failure([&] { socket.Connect(slow_lookup::Name, 5900); }); });
        slow_lookup::AwaitStarted();
        socket.CloseByOwner(true);
        // Bounded well below the hanging lookup: the close must not wait for the name server.
        ASSERT_EQ(connecting.wait_for(slow_lookup::Limit / 3), std::future_status::ready);
        EXPECT_EQ(connecting.get().second, ExceptionLevel::Quiet);
    }
    // Not abandoned: the helper's late answer reaches the waiting connect, a clean address failure.
    CViewerState state;
    CCoolSocket socket(state);
    auto connecting = std::async(std::launch::async,
                                 [&] { return Failure([&] { socket.Connect(slow_lookup::Name, 5900); }); });
    slow_lookup::AwaitStarted();
    { slow_lookup::Release release; }
    EXPECT_EQ(connecting.get(), std::make_pair(codes::SocketNoAddress, ExceptionLevel::Error));
}

TEST(CoolSocketConnect, OwnerCloseBeforeConnectStillEndsIt) {
    LoopbackListener listener;
    CViewerState state;
    CCoolSocket socket(state);
    socket.CloseByOwner(true);
    // By address, and by a name whose lookup is abandoned (or finishes first and the connect is not made).
    for (const char* host : {"127.0.0.1", "localhost"}) {
        EXPECT_EQ(Failure([&] { socket.Connect(host, listener.Port()); }).second, ExceptionLevel::Quiet)
            << host;
        EXPECT_EQ(listener.Accept(std::chrono::milliseconds(100)), -1)
            << "no connection was made to " << host;
    }
}

TEST(CoolSocketWrite, PeerGoneIsWriteErrorUnlessOwnerClosed) {
    Connection c;
    c.Peer.CloseServerSide();
    const std::vector<uint8_t> message(64 * 1024, 1);
    // The first send may still be accepted by the kernel; a later one fails.
    auto writeUntilFailure = [&] {
        for (int i = 0; i < 64; ++i)
            c.Socket.WriteBytes(message.data(), message.size());
    };
    const auto [code, level] = Failure(writeUntilFailure);
    EXPECT_EQ(code, codes::SocketWrite);
    EXPECT_EQ(level, ExceptionLevel::Error);
    c.Socket.CloseByOwner(true);
    EXPECT_EQ(Failure(writeUntilFailure).second, ExceptionLevel::Quiet);
}
