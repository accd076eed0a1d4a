// VeNCrypt and TLS against scripted servers: hostile answers end in clear errors, the read window
// works over decrypted records, a stop ends a blocked encrypted read quietly, the byte counts are
// those of the wire, and stream coding never runs past the encryption.

#include "ScriptedServer.h"
#include "TlsServerSide.h"
#include "WireTap.h"
#include "base/EngineExceptions.h"
#include "engine/ConnectThread.h"
#include "engine/CoolSocket.h"
#include "engine/RfbProtocol.h"
#include "engine/SocketTransport.h"
#include "engine/StreamCoding.h"
#include "engine/ViewerState.h"

#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <future>
#include <memory>
#include <sys/socket.h>
#include <sys/time.h>
#include <thread>

using namespace dova;
using namespace latis_test;

namespace {

std::vector<uint8_t> ServerInit(const std::string& name) {
    std::vector<uint8_t> out;
    AppendU16(out, 64);
    AppendU16(out, 48);
    const auto format = Bytes({32, 24, 0, 1, 0, 255, 0, 255, 0, 255, 16, 8, 0, 0, 0, 0});
    out.insert(out.end(), format.begin(), format.end());
    AppendU32(out, uint32_t(name.size()));
    out.insert(out.end(), name.begin(), name.end());
    return out;
}

std::string Text(const std::vector<uint8_t>& bytes) {
    return std::string(bytes.begin(), bytes.end());
}

struct Attempt {
    RecordingHost Host;
    CViewerState State{&Host};
    CCoolSocket Socket{State};
    LoopbackListener Listener;
    std::unique_ptr<ScriptedPeer> Server;
    std::unique_ptr<TlsServerSide> Tls;
    CConnectThread Thread{State};

    explicit Attempt(EncryptionPolicy policy, const std::string& user = {},
                     const std::string& authority = {}) {
        State.Server = "127.0.0.1";
        State.Port = Listener.Port();
        State.Password = "secret12";
        State.Encryption.Policy = policy;
        State.Encryption.UserName = user;
        State.Encryption.AuthorityFile = authority;
        State.Socket = &Socket;
        Thread.Start();
        Server = std::make_unique<ScriptedPeer>(Listener.Accept());
    }
    ~Attempt() {
        Socket.CloseByOwner(true);
        State.CancelPasswordWait();
        Thread.Stop();
    }
    // Up to the subtype list: version 3.8, types offered, VeNCrypt 0.2 agreed.
    void OfferVeNCrypt(const std::vector<uint32_t>& subtypes) {
        Server->Send(std::string("RFB 003.008\n"));
        EXPECT_EQ(Text(Server->Receive(12)), "RFB 003.008\n");
        Server->Send(Bytes({2, 2, 19}));
        ASSERT_EQ(Server->Receive(1), Bytes({19}));
        Server->Send(Bytes({0, 2}));
        ASSERT_EQ(Server->Receive(2), Bytes({0, 2}));
        std::vector<uint8_t> list = {0, uint8_t(subtypes.size())};
        for (uint32_t subtype : subtypes)
            AppendU32(list, subtype);
        Server->Send(list);
    }
    // Accepts the viewer's choice (which must be expected) and switches to TLS.
    void AcceptAndStartTls(uint32_t expected) {
        std::vector<uint8_t> choice;
        AppendU32(choice, expected);
        ASSERT_EQ(Server->Receive(4), choice);
        Server->Send(Bytes({1}));
        Tls = std::make_unique<TlsServerSide>(Server->ServerDescriptor());
        ASSERT_TRUE(Tls->Handshake());
    }
    // TLSNone to the end: result, ClientInit, ServerInit, the viewer's first messages.
    void ConnectTlsNone(const std::string& name = "scripted-desk") {
        OfferVeNCrypt({257});
        AcceptAndStartTls(257);
        Tls->Send(std::vector<uint8_t>{0, 0, 0, 0});
        ASSERT_EQ(Tls->Receive(1), Bytes({1}));
        Tls->Send(ServerInit(name));
        ASSERT_EQ(Tls->Receive(20 + 4 + 8 * 4).size(), 56u);
        ASSERT_TRUE(Host.WaitFor(HostMessage::Connected));
    }
    std::unique_ptr<CSimpleException> Reported() {
        EXPECT_TRUE(Host.WaitFor(HostMessage::Exception));
        std::unique_ptr<CSimpleException> e;
        EXPECT_TRUE(State.TakeException(e));
        return e ? std::move(e) : std::make_unique<CSimpleException>(-1, "none", ExceptionLevel::Quiet);
    }
};

} // namespace

TEST(Encryption, TlsNoneConnectsAndTheWindowReadsDecryptedRecordsWithWireCounts) {
    Attempt a(EncryptionPolicy::Prefer);
    a.ConnectTlsNone();
    {
        CLockGuard hold(a.State);
        EXPECT_TRUE(a.State.Security.Encrypted);
        EXPECT_EQ(a.State.Security.Description.rfind("VeNCrypt TLSNone, TLS1.", 0), 0u)
            << a.State.Security.Description;
        EXPECT_EQ(a.State.DesktopName, "scripted-desk");
    }
    // A patterned stream of many records, read in pieces of every size through the window, with a
    // hand-back to exact reads in the middle.
    std::vector<uint8_t> stream(600000);
    for (size_t i = 0; i < stream.size(); ++i)
        stream[i] = uint8_t(i * 7 + (i >> 9));
    const uint32_t readBefore = a.Socket.TotalRead();
    const uint64_t wireBefore = a.Tls->WireBytesSent();
    std::thread writer([&] { a.Tls->Send(stream); });
    CSocketTransport transport(a.Socket);
    std::vector<uint8_t> got;
    got.reserve(stream.size());
    size_t piece = 1;
    while (got.size() < stream.size()) {
        const size_t n = std::min(piece, stream.size() - got.size());
        if (got.size() > 300000 && got.size() < 300100) {
            transport.HandBack();
            std::vector<uint8_t> exact(n);
            a.Socket.ReadBytes(exact.data(), n);
            got.insert(got.end(), exact.begin(), exact.end());
        } else {
            const uint8_t peeked = transport.PeekByte();
            const uint8_t* at = transport.Take(n);
            EXPECT_EQ(peeked, at[0]);
            got.insert(got.end(), at, at + n);
        }
        piece = piece * 3 % 200003 + 1;
    }
    transport.Commit();
    writer.join();
    EXPECT_TRUE(got == stream);
    EXPECT_EQ(uint64_t(a.Socket.TotalRead() - readBefore), a.Tls->WireBytesSent() - wireBefore)
        << "bytes as they crossed the network, not as decrypted";
    EXPECT_GT(a.Socket.TotalRead() - readBefore, stream.size());
}

TEST(Encryption, StopEndsABlockedEncryptedReadAtOnceAndQuietly) {
    Attempt a(EncryptionPolicy::Require);
    a.ConnectTlsNone();
    auto reading = std::async(std::launch::async, [&]() -> int {
        try {
            a.Socket.ReadByte();
            return 0;
        } catch (const CQuietException&) {
            return 1;
        } catch (const CSimpleException&) {
            return 2;
        }
    });
    EXPECT_EQ(reading.wait_for(std::chrono::milliseconds(200)), std::future_status::timeout);
    a.Socket.CloseByOwner(true);
    ASSERT_EQ(reading.wait_for(std::chrono::seconds(2)), std::future_status::ready);
    EXPECT_EQ(reading.get(), 1);
}

// Encryption wins: a plug-in reads the network itself and would see (and bypass) TLS.
TEST(Encryption, StreamCodingIsNeverUsedOnAnEncryptedConnection) {
    Attempt a(EncryptionPolicy::Prefer);
    a.ConnectTlsNone();
    {
        CLockGuard hold(a.State);
        a.State.StreamEnabled = true;
    }
    CRfbProtocol protocol(a.State, a.Socket);
    StartCompatibleStream(a.State, a.Socket, protocol);
    auto warning = a.Reported();
    EXPECT_EQ(warning->Message, StreamCodingEncryptedText);
    EXPECT_FALSE(a.Socket.StreamSource());
    EXPECT_THROW(HandleStreamStart(a.Socket), CErrorException);
    const uint8_t coding[4] = {26, 1, 1, 0};
    EXPECT_THROW(HandleStreamCoding(a.State, a.Socket, coding), CErrorException);
    EXPECT_FALSE(a.Socket.StreamSource());
}

TEST(Encryption, PlainCredentialsTravelInsideTlsOnly) {
    Attempt a(EncryptionPolicy::Prefer, "operator");
    a.OfferVeNCrypt({256, 259}); // Plain in clear is never chosen
    a.AcceptAndStartTls(259);
    std::vector<uint8_t> expected;
    AppendU32(expected, 8);
    AppendU32(expected, 8);
    const std::string credentials = "operatorsecret12";
    expected.insert(expected.end(), credentials.begin(), credentials.end());
    EXPECT_EQ(a.Tls->Receive(expected.size()), expected);
    std::vector<uint8_t> refusal = {0, 0, 0, 1};
    AppendU32(refusal, 0);
    a.Tls->Send(refusal);
    auto e = a.Reported();
    EXPECT_EQ(e->Code, codes::HandshakeAuth);
    EXPECT_EQ(e->Message, "The user name or password was incorrect.");
}

TEST(Encryption, HostileOrUnsuitableServersGiveClearErrors) {
    {
        Attempt a(EncryptionPolicy::Prefer);
        a.Server->Send(std::string("RFB 003.008\n"));
        a.Server->Receive(12);
        a.Server->Send(Bytes({1, 19}));
        a.Server->Receive(1);
        a.Server->Send(Bytes({0, 1})); // VeNCrypt 0.1
        auto e = a.Reported();
        EXPECT_EQ(e->Code, codes::Encryption);
        EXPECT_NE(e->Message.find("0.1"), std::string::npos);
    }
    {
        Attempt a(EncryptionPolicy::Prefer);
        a.OfferVeNCrypt({256, 30, 0xFFFFFFFF}); // nothing this viewer takes
        EXPECT_EQ(a.Reported()->Message, "The server offers no VeNCrypt subtype this viewer supports.");
    }
    {
        Attempt a(EncryptionPolicy::Prefer); // no user name
        a.OfferVeNCrypt({262});
        EXPECT_EQ(a.Reported()->Message,
                  "The server asks for a user name and password; no user name is set.");
    }
    {
        Attempt a(EncryptionPolicy::Prefer);
        a.OfferVeNCrypt({257});
        a.Server->Receive(4);
        a.Server->Send(Bytes({0})); // subtype refused
        EXPECT_EQ(a.Reported()->Code, codes::Encryption);
    }
    {
        Attempt a(EncryptionPolicy::Prefer);
        a.OfferVeNCrypt({257});
        a.Server->Receive(4);
        a.Server->Send(Bytes({1}));
        a.Server->Send(std::string("this is no TLS record at all, just text\n"));
        a.Server->CloseServerSide();
        const auto e = a.Reported();
        EXPECT_TRUE(e->Code == codes::Encryption || e->Code == codes::SocketClosed) << e->Code << e->Message;
    }
    {
        Attempt a(EncryptionPolicy::Require);
        a.Server->Send(std::string("RFB 003.008\n"));
        a.Server->Receive(12);
        a.Server->Send(Bytes({1, 2}));
        EXPECT_EQ(a.Reported()->Code, codes::EncryptionRequired);
    }
    {
        Attempt a(EncryptionPolicy::Require);
        a.Server->Send(std::string("RFB 003.003\n"));
        EXPECT_EQ(a.Reported()->Code, codes::EncryptionRequired);
    }
}

// A TLS 1.3 server renews its keys and asks the viewer to renew its own, round after round, while
// the viewer reads on one thread and sends input on another (the reply to the request goes out with
// the next input): both streams arrive whole and in order.
TEST(Encryption, KeyUpdatesWhileInputIsSentKeepTheSessionWorking) {
    const std::string folder = testing::TempDir() + "latis-key-update";
    std::filesystem::create_directories(folder);
    const TestCertificate certificate = MakeTestCertificate(folder, "server");
    Attempt a(EncryptionPolicy::Require, {}, certificate.CertificateFile);
    a.OfferVeNCrypt({260}); // X509None
    std::vector<uint8_t> choice;
    AppendU32(choice, 260);
    ASSERT_EQ(a.Server->Receive(4), choice);
    a.Server->Send(Bytes({1}));
    a.Tls = std::make_unique<TlsServerSide>(a.Server->ServerDescriptor(), certificate.CertificateFile,
                                            certificate.KeyFile);
    ASSERT_TRUE(a.Tls->Handshake());
    a.Tls->Send(std::vector<uint8_t>{0, 0, 0, 0});
    ASSERT_EQ(a.Tls->Receive(1), Bytes({1}));
    a.Tls->Send(ServerInit("key-update-desk"));
    ASSERT_EQ(a.Tls->Receive(20 + 4 + 8 * 4).size(), 56u); // SetPixelFormat, SetEncodings
    ASSERT_TRUE(a.Host.WaitFor(HostMessage::Connected));
    {
        CLockGuard hold(a.State);
        ASSERT_NE(a.State.Security.Description.find("TLS1.3"), std::string::npos)
            << a.State.Security.Description;
    }

    constexpr int Rounds = 12; // GnuTLS takes at most 8 key updates a second
    constexpr size_t Chunk = 40000;
    constexpr size_t EventsPerRound = 20;
    std::vector<uint8_t> stream(Rounds * Chunk);
    for (size_t i = 0; i < stream.size(); ++i)
        stream[i] = uint8_t(i * 13 + (i >> 11));
    std::atomic<bool> stop{false};
    std::thread input([&] {
        for (uint16_t i = 0; !stop; ++i) {
            std::vector<uint8_t> pointer = {5, 0}; // PointerEvent, no button
            AppendU16(pointer, i);
            AppendU16(pointer, i);
            try {
                a.Socket.WriteBytes(pointer.data(), pointer.size());
            } catch (const CSimpleException&) {
                return;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
    });
    std::vector<uint8_t> received(stream.size());
    std::thread reader([&] {
        try {
            a.Socket.ReadBytes(received.data(), received.size());
        } catch (const CSimpleException&) {
            received.clear();
        }
    });
    // A viewer that stops sending must fail the test, not hang it.
    const timeval limit{5, 0};
    ::setsockopt(a.Server->ServerDescriptor(), SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
    std::vector<uint8_t> events;
    bool serverFailed = false;
    for (int round = 0; round < Rounds && !serverFailed; ++round) {
        a.Tls->Send(
            std::vector<uint8_t>(stream.begin() + round * Chunk, stream.begin() + (round + 1) * Chunk));
        serverFailed = !a.Tls->UpdateKeys();
        const std::vector<uint8_t> got = a.Tls->Receive(6 * EventsPerRound); // under the viewer's new keys
        serverFailed = serverFailed || got.size() != 6 * EventsPerRound;
        events.insert(events.end(), got.begin(), got.end());
        std::this_thread::sleep_for(std::chrono::milliseconds(130));
    }
    if (serverFailed)
        a.Socket.CloseByOwner(true); // frees the reader
    reader.join();
    stop = true;
    input.join();
    EXPECT_FALSE(serverFailed) << "the server lost the viewer's input";
    EXPECT_TRUE(received == stream) << "the viewer's reads broke off or differ";
    for (size_t at = 0; at + 6 <= events.size(); at += 6) {
        const unsigned x = unsigned(events[at + 2] << 8 | events[at + 3]);
        ASSERT_EQ(events[at], 5) << "event " << at / 6;
        ASSERT_EQ(x, at / 6) << "event " << at / 6;
        ASSERT_EQ(unsigned(events[at + 4] << 8 | events[at + 5]), x);
    }
}
