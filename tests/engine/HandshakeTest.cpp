#include "engine/Handshake.h"
#include "ScriptedServer.h"
#include "base/EngineExceptions.h"
#include "engine/ConnectThread.h"
#include "engine/CoolSocket.h"
#include "engine/ViewerState.h"

#include <gtest/gtest.h>

#include <memory>
#include <thread>

using namespace dova;
using namespace latis_test;

namespace {

std::vector<uint8_t> FromHex(const std::string& hex) {
    std::vector<uint8_t> out;
    for (size_t i = 0; i + 1 < hex.size(); i += 2)
        out.push_back(uint8_t(std::stoul(hex.substr(i, 2), nullptr, 16)));
    return out;
}

std::vector<uint8_t> ServerInit(uint16_t width, uint16_t height, uint8_t bitsPerPixel,
                                const std::string& name) {
    std::vector<uint8_t> out;
    AppendU16(out, width);
    AppendU16(out, height);
    const auto format = Bytes({bitsPerPixel, 24, 0, 1, 0, 255, 0, 255, 0, 255, 16, 8, 0, 0, 0, 0});
    out.insert(out.end(), format.begin(), format.end());
    AppendU32(out, uint32_t(name.size()));
    out.insert(out.end(), name.begin(), name.end());
    return out;
}

std::vector<uint8_t> U32(uint32_t v) {
    std::vector<uint8_t> out;
    AppendU32(out, v);
    return out;
}

std::string Text(const std::vector<uint8_t>& bytes) {
    return std::string(bytes.begin(), bytes.end());
}

// One connection attempt of a viewer: the connect thread against a scripted server on loopback. The
// test plays the server and, where asked, the host answering the password prompt.
struct Attempt {
    RecordingHost Host;
    CViewerState State{&Host};
    CCoolSocket Socket{State};
    LoopbackListener Listener;
    std::unique_ptr<ScriptedPeer> Server;
    CConnectThread Thread{State};

    explicit Attempt(const std::string& password = {}, bool cancelledBefore = false,
                     std::chrono::milliseconds handshakeLimit = {}) {
        State.PasswordCancelled = cancelledBefore;
        if (handshakeLimit.count() > 0)
            State.Limits.HandshakeSilence = handshakeLimit;
        State.Server = "127.0.0.1";
        State.Port = Listener.Port();
        State.Password = password;
        State.Socket = &Socket;
        Thread.Start();
        Server = std::make_unique<ScriptedPeer>(Listener.Accept());
    }
    // As the viewer stops: close first, so a blocked read ends, then release the password wait.
    ~Attempt() {
        Socket.CloseByOwner(true);
        State.CancelPasswordWait();
        Thread.Stop();
    }

    // Server side of the version exchange: sends the version, checks what the client announces.
    void ExchangeVersions(const std::string& serverVersion = "RFB 003.008\n") {
        Server->Send(serverVersion);
        EXPECT_EQ(Text(Server->Receive(12)), "RFB 003.004\n");
    }
    // As wayvnc answers "RFB 003.004": a 3.8 refusal. The viewer then comes back on a new connection
    // and announces 3.8 (3.7 to a 3.7 server).
    void RefuseOldHandshakeAndAccept(const std::string& version = "RFB 003.008\n") {
        std::vector<uint8_t> refusal = {0};
        AppendU32(refusal, 20);
        Server->Send(refusal);
        Server->Send(std::string("Unsupported version\n"));
        Server = std::make_unique<ScriptedPeer>(Listener.Accept());
        Server->Send(version);
        EXPECT_EQ(Text(Server->Receive(12)), version == "RFB 003.007\n" ? version : "RFB 003.008\n");
    }
    // The viewer's second connection to a 3.8 server, which offers None.
    void AcceptAgainWithNone() {
        const int second = Listener.Accept();
        ASSERT_GE(second, 0) << "the viewer did not come back on a new connection";
        Server = std::make_unique<ScriptedPeer>(second);
        Server->Send(std::string("RFB 003.008\n"));
        EXPECT_EQ(Text(Server->Receive(12)), "RFB 003.008\n");
        Server->Send(Bytes({1, 1}));
        EXPECT_EQ(Server->Receive(1), Bytes({1}));
        Server->Send(U32(0));
        FinishAfterSecurity();
    }
    // From ClientInit to the end of a successful handshake.
    void FinishAfterSecurity(uint16_t width = 800, uint16_t height = 600) {
        EXPECT_EQ(Server->Receive(1), Bytes({1})) << "ClientInit, shared";
        Server->Send(ServerInit(width, height, 32, "desk"));
        const auto setPixelFormat = Server->Receive(20);
        ASSERT_EQ(setPixelFormat.size(), 20u);
        EXPECT_EQ(setPixelFormat[0], 0);
        EXPECT_EQ(setPixelFormat[4], 16) << "the viewer's own format, not the server's";
        const auto setEncodings = Server->Receive(4 + 8 * 4);
        ASSERT_EQ(setEncodings.size(), 36u);
        EXPECT_EQ(setEncodings[0], 2);
        EXPECT_EQ(setEncodings[3], 8) << "six codecs, then the extended clipboard and desktop size";
        EXPECT_EQ(std::vector<uint8_t>(setEncodings.end() - 8, setEncodings.end()),
                  Bytes({0xC0, 0xA1, 0xE5, 0xCE, 0xFF, 0xFF, 0xFF, 0x21}));
        ASSERT_TRUE(Host.WaitFor(HostMessage::Connected));
    }
    // The engine exception the connect thread reported.
    std::unique_ptr<CSimpleException> Reported() {
        EXPECT_TRUE(Host.WaitFor(HostMessage::Exception));
        std::unique_ptr<CSimpleException> e;
        EXPECT_TRUE(State.TakeException(e));
        return e ? std::move(e) : std::make_unique<CSimpleException>(-1, "none", ExceptionLevel::Quiet);
    }
};

} // namespace

TEST(Handshake, Version38ServerStillGets34AndConnects) {
    Attempt a;
    a.ExchangeVersions("RFB 003.008\n");
    a.Server->Send(U32(1));
    a.FinishAfterSecurity(800, 600);
    EXPECT_EQ(a.State.State.load(), states::Connected);
    CLockGuard hold(a.State);
    EXPECT_EQ(a.State.ServerVersion, "RFB 003.008\n");
    EXPECT_EQ(a.State.FrameWidth, 800);
    EXPECT_EQ(a.State.FrameHeight, 600);
    EXPECT_EQ(a.State.ServerPixelFormat.BitsPerPixel, 32);
    EXPECT_EQ(a.State.ServerPixelFormat.RedMax, 255);
    EXPECT_EQ(a.State.DesktopName, "desk");
    EXPECT_EQ(a.Host.Count(HostMessage::Password), 0u);
}

TEST(Handshake, UnknownClassicSecurityTypeIsRefusedOrAskedAgainIn38) {
    {
        Attempt a;
        a.ExchangeVersions("RFB 003.003\n");
        a.Server->Send(U32(16));
        const auto e = a.Reported();
        EXPECT_EQ(e->Code, codes::Handshake);
        EXPECT_EQ(e->Message, "The server asks for security type 16, which this viewer does not support.");
        EXPECT_EQ(a.Host.Count(HostMessage::Connected), 0u);
    }
    {
        Attempt a;
        a.ExchangeVersions("RFB 003.008\n");
        a.Server->Send(U32(16));
        a.AcceptAgainWithNone();
    }
}

// A 3.8 server may answer "RFB 003.004" with its own short type list: no four bytes ever come.
TEST(Handshake, NewerServerAnsweringWithItsTypeListIsAskedAgainAtOnce) {
    for (const auto& list : {Bytes({1, 2}), Bytes({2, 1, 2})}) {
        Attempt a;
        a.ExchangeVersions("RFB 003.008\n");
        a.Server->Send(list);
        a.AcceptAgainWithNone();
        EXPECT_EQ(a.State.State.load(), states::Connected) << list.size();
    }
}

// Each byte well within the limit, the whole far beyond it.
TEST(Handshake, TricklingServerRunsIntoOneDeadline) {
    Attempt a({}, false, std::chrono::milliseconds(1000));
    a.ExchangeVersions("RFB 003.003\n");
    a.Server->Send(U32(1));
    EXPECT_EQ(a.Server->Receive(1), Bytes({1})) << "ClientInit";
    for (uint8_t byte : ServerInit(800, 600, 32, "a slow desktop")) {
        if (a.Host.Count(HostMessage::Exception) > 0)
            break;
        a.Server->Send(std::vector<uint8_t>{byte});
        std::this_thread::sleep_for(std::chrono::milliseconds(150));
    }
    const auto e = a.Reported();
    EXPECT_EQ(e->Code, codes::HandshakeTimeout);
    EXPECT_EQ(a.Host.Count(HostMessage::Connected), 0u);
}

TEST(Handshake, NotSharedSendsZeroClientInit) {
    Attempt a;
    a.ExchangeVersions();
    {
        CLockGuard hold(a.State);
        a.State.Shared = false;
    }
    a.Server->Send(U32(1));
    EXPECT_EQ(a.Server->Receive(1), Bytes({0}));
}

TEST(Handshake, RefusalReasonIsTheErrorMessage) {
    Attempt a;
    a.ExchangeVersions("RFB 003.003\n"); // an older server's refusal is final
    a.Server->Send(U32(0));
    a.Server->Send(U32(5));
    a.Server->Send(std::string("abcde"));
    const auto e = a.Reported();
    EXPECT_EQ(e->Code, codes::Handshake);
    EXPECT_EQ(e->Level, ExceptionLevel::Error);
    EXPECT_EQ(e->Message, "abcde");

    Attempt silent; // no reason at all: the operator still gets words
    silent.ExchangeVersions("RFB 003.003\n");
    silent.Server->Send(U32(0));
    silent.Server->Send(U32(0));
    EXPECT_EQ(silent.Reported()->Message, "The server refused the connection.");
}

TEST(Handshake, AbsurdReasonLengthIsRefusedUnread) {
    Attempt a;
    a.ExchangeVersions("RFB 003.003\n");
    a.Server->Send(U32(0));
    a.Server->Send(U32(0xFFFFFFF0u));
    const auto e = a.Reported();
    EXPECT_EQ(e->Code, codes::Handshake);
    EXPECT_NE(e->Message.find("4294967280"), std::string::npos) << e->Message;
}

TEST(Handshake, NewerServerTurningOldHandshakeAwayIsAskedAgainInItsTerms) {
    {
        Attempt a;
        a.ExchangeVersions("RFB 003.008\n");
        a.RefuseOldHandshakeAndAccept();
        a.Server->Send(Bytes({2, 16, 1})); // a type we do not speak, then None
        EXPECT_EQ(a.Server->Receive(1), Bytes({1}));
        a.Server->Send(U32(0)); // SecurityResult, sent for None too in 3.8
        a.FinishAfterSecurity();
        CLockGuard hold(a.State);
        EXPECT_EQ(a.State.ServerVersion, "RFB 003.008\n");
    }
    {
        Attempt a("0123456789");
        a.ExchangeVersions("RFB 003.008\n");
        a.Server->Send(U32(0x02020100)); // a 3.8 type list read as a 3.3 type
        a.Server = std::make_unique<ScriptedPeer>(a.Listener.Accept());
        a.Server->Send(std::string("RFB 003.008\n"));
        EXPECT_EQ(Text(a.Server->Receive(12)), "RFB 003.008\n");
        a.Server->Send(Bytes({2, 2, 1})); // VNC authentication preferred by the server
        EXPECT_EQ(a.Server->Receive(1), Bytes({2}));
        a.Server->Send(FromHex("e871bf08ab48e63ee629ea4588ba1a76"));
        EXPECT_EQ(a.Server->Receive(16), FromHex("b24a3749b608444e810923ceb3d5df7d"));
        a.Server->Send(U32(0));
        a.FinishAfterSecurity();
    }
    {
        Attempt a;
        a.ExchangeVersions("RFB 003.007\n");
        a.RefuseOldHandshakeAndAccept("RFB 003.007\n");
        a.Server->Send(Bytes({1, 1}));
        EXPECT_EQ(a.Server->Receive(1), Bytes({1}));
        a.FinishAfterSecurity(); // 3.7 sends no SecurityResult for None
    }
    {
        Attempt a;
        a.ExchangeVersions("RFB 003.008\n");
        a.Server->CloseServerSide(); // hangs up on a version it does not take
        a.Server = std::make_unique<ScriptedPeer>(a.Listener.Accept());
        a.Server->Send(std::string("RFB 003.008\n"));
        EXPECT_EQ(Text(a.Server->Receive(12)), "RFB 003.008\n");
        a.Server->Send(Bytes({1, 1}));
        EXPECT_EQ(a.Server->Receive(1), Bytes({1}));
        a.Server->Send(U32(0));
        a.FinishAfterSecurity();
    }
}

TEST(Handshake, NewerServerFailuresReachTheHost) {
    struct Case {
        const char* Name;
        std::vector<uint8_t> Security; // after the second version exchange
        std::vector<uint8_t> Then;     // after the viewer's choice
        int32_t Code;
        std::string Message;
    };
    auto withReason = [](std::vector<uint8_t> head, const std::string& reason) {
        AppendU32(head, uint32_t(reason.size()));
        head.insert(head.end(), reason.begin(), reason.end());
        return head;
    };
    const std::vector<Case> cases = {
        {"refusal", withReason({0}, "Too many connections"), {}, codes::Handshake, "Too many connections"},
        {"no common type",
         Bytes({2, 16, 19}),
         {},
         codes::Handshake,
         "The server offers no security type this viewer supports."},
        {"refused after None", Bytes({1, 1}), withReason(U32(1), "Not now"), codes::Handshake, "Not now"},
        {"refused without reason", Bytes({1, 1}), withReason(U32(1), ""), codes::Handshake,
         "The server refused the connection."},
        {"absurd reason", Bytes({1, 1}), Bytes({0, 0, 0, 1, 255, 255, 255, 255}), codes::Handshake,
         "The server refused the connection (reason text of 4294967295 bytes not read)."},
    };
    for (const Case& c : cases) {
        Attempt a;
        a.ExchangeVersions("RFB 003.008\n");
        a.RefuseOldHandshakeAndAccept();
        a.Server->Send(c.Security);
        if (!c.Then.empty()) {
            EXPECT_EQ(a.Server->Receive(1), Bytes({1})) << c.Name;
            a.Server->Send(c.Then);
        }
        const auto e = a.Reported();
        EXPECT_EQ(e->Code, c.Code) << c.Name;
        EXPECT_EQ(e->Message, c.Message) << c.Name;
    }
    // A refused password, with the server's reason.
    Attempt a("secret12");
    a.ExchangeVersions("RFB 003.008\n");
    a.RefuseOldHandshakeAndAccept();
    a.Server->Send(Bytes({1, 2}));
    EXPECT_EQ(a.Server->Receive(1), Bytes({2}));
    a.Server->Send(std::vector<uint8_t>(16, 0x5A));
    EXPECT_EQ(a.Server->Receive(16).size(), 16u);
    a.Server->Send(withReason(U32(1), "Authentication failure"));
    const auto e = a.Reported();
    EXPECT_EQ(e->Code, codes::HandshakeAuth);
    EXPECT_EQ(e->Message, "Authentication failure");
}

TEST(Handshake, ServerInitValidation) {
    struct Case {
        uint16_t Width, Height;
        uint8_t Bits;
        const char* Message;
    };
    for (const Case& c : {Case{16385, 600, 32, "Remote frame buffer size invalid (16385, 600)."},
                          Case{640, 65535, 16, "Remote frame buffer size invalid (640, 65535)."},
                          Case{640, 480, 24, "Remote frame buffer bits per pixel invalid (24)."}}) {
        Attempt a;
        a.ExchangeVersions();
        a.Server->Send(U32(1));
        EXPECT_EQ(a.Server->Receive(1).size(), 1u);
        a.Server->Send(ServerInit(c.Width, c.Height, c.Bits, "name"));
        const auto e = a.Reported();
        EXPECT_EQ(e->Code, codes::Validity);
        EXPECT_EQ(e->Message, c.Message);
        EXPECT_EQ(a.State.State.load(), states::NotConnected) << "the connection is closed first";
        CLockGuard hold(a.State);
        EXPECT_EQ(a.State.DesktopName, "name") << "read in full before validation";
    }
}

TEST(Handshake, EmptyFrameIsAccepted) {
    Attempt a;
    a.ExchangeVersions();
    a.Server->Send(U32(1));
    a.FinishAfterSecurity(0, 0);
    EXPECT_EQ(a.State.State.load(), states::Connected);
}

TEST(Handshake, AbsurdDesktopNameLengthIsRefused) {
    Attempt a;
    a.ExchangeVersions();
    a.Server->Send(U32(1));
    a.Server->Receive(1);
    auto init = ServerInit(640, 480, 32, "");
    init[20] = init[21] = init[22] = init[23] = 0xFF;
    a.Server->Send(init);
    const auto e = a.Reported();
    EXPECT_EQ(e->Code, codes::Validity);
    EXPECT_NE(e->Message.find("name"), std::string::npos) << e->Message;
    EXPECT_EQ(a.State.State.load(), states::NotConnected);
}

TEST(Handshake, PasswordUsesFirstEightBytes) {
    // Answer computed with an independent DES for this password and challenge.
    Attempt a("0123456789");
    a.ExchangeVersions();
    a.Server->Send(U32(2));
    a.Server->Send(FromHex("e871bf08ab48e63ee629ea4588ba1a76"));
    EXPECT_EQ(a.Server->Receive(16), FromHex("b24a3749b608444e810923ceb3d5df7d"));
    a.Server->Send(U32(0));
    a.FinishAfterSecurity();
    EXPECT_EQ(a.Host.Count(HostMessage::Password), 0u);
}

TEST(Handshake, RefusedPasswordIsError513) {
    Attempt a("secret12");
    a.ExchangeVersions();
    a.Server->Send(U32(2));
    a.Server->Send(std::vector<uint8_t>(16, 0x5A));
    EXPECT_EQ(a.Server->Receive(16).size(), 16u);
    a.Server->Send(U32(1));
    const auto e = a.Reported();
    EXPECT_EQ(e->Code, codes::HandshakeAuth);
    EXPECT_EQ(e->Message, "The password was incorrect.");
    EXPECT_EQ(e->Level, ExceptionLevel::Error);
}

TEST(Handshake, HostSuppliesMissingPassword) {
    Attempt a({}, /*cancelledBefore=*/true); // a stop of an earlier attempt does not cancel this one
    a.ExchangeVersions();
    a.Server->Send(U32(2));
    ASSERT_TRUE(a.Host.WaitFor(HostMessage::Password));
    {
        CLockGuard hold(a.State);
        a.State.Password = "secret12";
    }
    a.State.PasswordAnswered();
    a.Server->Send(FromHex("4505fe3d151ee3b50064dc19d20e84fd"));
    EXPECT_EQ(a.Server->Receive(16), FromHex("754f8dedfde75ccc7d8d1dc4dd863094"));
    a.Server->Send(U32(0));
    a.FinishAfterSecurity();
}

TEST(Handshake, HostGivingNoPasswordCancels) {
    Attempt a;
    a.ExchangeVersions();
    a.Server->Send(U32(2));
    ASSERT_TRUE(a.Host.WaitFor(HostMessage::Password));
    a.State.PasswordAnswered();
    const auto e = a.Reported();
    EXPECT_EQ(e->Code, codes::HandshakeAuthCancelled);
    EXPECT_EQ(e->Level, ExceptionLevel::Warning);
    EXPECT_EQ(e->Message, "Password authentication cancelled.");
    EXPECT_EQ(a.State.State.load(), states::NotConnected);
    EXPECT_TRUE(a.Socket.IsClosing());
}

TEST(Handshake, StoppingViewerReleasesPasswordWait) {
    Attempt a;
    a.ExchangeVersions();
    a.Server->Send(U32(2));
    ASSERT_TRUE(a.Host.WaitFor(HostMessage::Password));
    a.State.CancelPasswordWait(); // the viewer stops; nobody will answer the prompt
    const auto e = a.Reported();
    EXPECT_EQ(e->Code, codes::HandshakeAuthCancelled);
    EXPECT_EQ(a.State.State.load(), states::NotConnected);
}

TEST(Handshake, ServerVanishingMidHandshakeIsConnectionClosed) {
    Attempt a;
    a.ExchangeVersions("RFB 003.003\n"); // a newer server hanging up is asked again
    a.Server->Send(Bytes({0, 0}));
    a.Server->CloseServerSide();
    const auto e = a.Reported();
    EXPECT_EQ(e->Code, codes::SocketClosed);
    EXPECT_EQ(a.State.State.load(), states::Handshaking) << "other failures leave the state as it was";
}

TEST(Handshake, OwnerCloseDuringHandshakeReportsNothing) {
    Attempt a;
    a.ExchangeVersions();
    a.Socket.CloseByOwner(true);
    a.Thread.Stop();
    EXPECT_EQ(a.Host.Count(HostMessage::Exception), 0u);
    EXPECT_EQ(a.Host.Count(HostMessage::Connected), 0u);
}

TEST(Handshake, ClosedPortReportsConnectFailure) {
    RecordingHost host;
    CViewerState state(&host);
    CCoolSocket socket(state);
    state.Server = "127.0.0.1";
    state.Port = FreeLoopbackPort();
    state.Socket = &socket;
    CConnectThread thread(state);
    thread.Start();
    ASSERT_TRUE(host.WaitFor(HostMessage::Exception));
    thread.Stop();
    std::unique_ptr<CSimpleException> e;
    ASSERT_TRUE(state.TakeException(e));
    EXPECT_EQ(e->Code, codes::SocketConnect);
    EXPECT_EQ(e->Message, "Failed to connect to server/host");
    EXPECT_EQ(state.State.load(), states::Handshaking);
}

TEST(Handshake, StopDuringConnectEndsQuietly) {
    StalledListener stalled;
    RecordingHost host;
    CViewerState state(&host);
    CCoolSocket socket(state);
    state.Server = "127.0.0.1";
    state.Port = stalled.Port();
    state.Socket = &socket;
    CConnectThread thread(state);
    thread.Start();
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    // As the viewer stops: close, release a password wait, join.
    socket.CloseByOwner(true);
    state.CancelPasswordWait();
    thread.Stop();
    EXPECT_EQ(host.Count(HostMessage::Exception), 0u);
    EXPECT_EQ(host.Count(HostMessage::Connected), 0u);
}
