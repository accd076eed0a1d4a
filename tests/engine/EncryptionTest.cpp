// VeNCrypt and TLS against scripted servers: hostile answers end in clear errors, the read window
// works over decrypted records, a stop ends a blocked encrypted read quietly, the byte counts are
// those of the wire, and stream coding never runs past the encryption.

#include "ScriptedServer.h"
#include "TlsServerSide.h"
#include "base/EngineExceptions.h"
#include "engine/ConnectThread.h"
#include "engine/CoolSocket.h"
#include "engine/RfbProtocol.h"
#include "engine/SocketTransport.h"
#include "engine/StreamCoding.h"
#include "engine/ViewerState.h"

#include <gtest/gtest.h>

#include <future>
#include <memory>
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

    explicit Attempt(EncryptionPolicy policy, const std::string& user = {}) {
        State.Server = "127.0.0.1";
        State.Port = Listener.Port();
        State.Password = "secret12";
        State.Encryption.Policy = policy;
        State.Encryption.UserName = user;
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
