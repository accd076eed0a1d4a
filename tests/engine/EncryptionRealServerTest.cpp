// Encrypted connections to real servers started on 127.0.0.1: VeNCrypt with anonymous TLS and with
// certificates, trust on first use, and what an eavesdropper on the wire gets to see.

#include "ChildProcess.h"
#include "QemuServer.h"
#include "RealServers.h"
#include "ScriptedServer.h"
#include "WayvncServer.h"
#include "WireTap.h"
#include "base/EngineExceptions.h"
#include "engine/ConnectThread.h"
#include "engine/CoolSocket.h"
#include "engine/ViewerState.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <memory>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

using namespace dova;
using namespace latis_test;

namespace {

struct Outcome {
    std::unique_ptr<CSimpleException> Failure;
    std::string DesktopName;
    SecurityOutcome Security;
};

// Connects with the settings; once connected, sends the marker as clipboard text so it crosses the
// wire after the handshake.
Outcome Connect(int port, const std::string& password, const EncryptionSettings& settings,
                const std::string& marker = std::string()) {
    RecordingHost host;
    CViewerState state(&host);
    CCoolSocket socket(state);
    state.Server = "127.0.0.1";
    state.Port = port;
    state.Password = password;
    state.Encryption = settings;
    state.Socket = &socket;
    CConnectThread thread(state);
    thread.Start();
    Outcome out;
    out.Failure = AwaitConnectOutcome(host, state);
    if (!out.Failure && !marker.empty()) {
        std::vector<uint8_t> cut = {6, 0, 0, 0};
        AppendU32(cut, uint32_t(marker.size()));
        cut.insert(cut.end(), marker.begin(), marker.end());
        socket.WriteBytes(cut.data(), cut.size());
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
    }
    socket.CloseByOwner(true);
    state.CancelPasswordWait();
    thread.Stop();
    CLockGuard hold(state);
    out.DesktopName = state.DesktopName;
    out.Security = state.Security;
    return out;
}

EncryptionSettings Policy(EncryptionPolicy policy) {
    EncryptionSettings settings;
    settings.Policy = policy;
    return settings;
}

#define EXPECT_CONNECTED(o) ASSERT_FALSE((o).Failure) << (o).Failure->Code << " " << (o).Failure->Message

class Folder {
public:
    Folder() {
        char pattern[] = "/tmp/latis-tls-XXXXXX";
        Path = ::mkdtemp(pattern);
    }
    ~Folder() { std::system(("rm -rf '" + Path + "'").c_str()); }
    std::string Path;
};

// An authority and a server certificate it signed, under the names QEMU's x509 credentials expect.
void MakeQemuCredentials(const std::string& folder) {
    const std::string authorityTemplate = folder + "/ca.cfg", serverTemplate = folder + "/server.cfg";
    std::ofstream(authorityTemplate)
        << "cn = \"latis test authority\"\nca\ncert_signing_key\nexpiration_days = 2\n";
    std::ofstream(serverTemplate) << "cn = \"127.0.0.1\"\nip_address = \"127.0.0.1\"\ntls_www_server\n"
                                     "encryption_key\nsigning_key\nexpiration_days = 2\n";
    for (const char* key : {"/ca-key.pem", "/server-key.pem"})
        RunAndCapture({"certtool", "--generate-privkey", "--key-type", "ecdsa", "--outfile", folder + key});
    RunAndCapture({"certtool", "--generate-self-signed", "--load-privkey", folder + "/ca-key.pem",
                   "--template", authorityTemplate, "--outfile", folder + "/ca-cert.pem"});
    RunAndCapture({"certtool", "--generate-certificate", "--load-privkey", folder + "/server-key.pem",
                   "--load-ca-certificate", folder + "/ca-cert.pem", "--load-ca-privkey",
                   folder + "/ca-key.pem", "--template", serverTemplate, "--outfile",
                   folder + "/server-cert.pem"});
}

} // namespace

// Xvnc's own default offers VeNCrypt (TLSVnc) before plain VNC authentication.
TEST(EncryptionRealServer, XvncDefaultTypesEncryptUnderPreferAndStayPlainWhenOff) {
    const ServerOptions options = ServerOptions()
                                      .WithPassword("secret12")
                                      .WithSize(640, 480)
                                      .WithName("latis-desktop-7f3a")
                                      .WithXvncArguments({"-SecurityTypes", "TLSVnc,VncAuth"});
    XvncServer server(options);
    const std::string marker = "MARKER-typed-9c41e";
    {
        WireTap tap(server.Port());
        const Outcome o = Connect(tap.Port(), "secret12", Policy(EncryptionPolicy::Prefer), marker);
        EXPECT_CONNECTED(o);
        EXPECT_EQ(o.DesktopName, "latis-desktop-7f3a");
        EXPECT_TRUE(o.Security.Encrypted);
        EXPECT_FALSE(o.Security.Verified);
        EXPECT_EQ(o.Security.Description.rfind("VeNCrypt TLSVnc, TLS", 0), 0u) << o.Security.Description;
        EXPECT_NE(o.Security.Description.find("not verified"), std::string::npos);
        EXPECT_FALSE(tap.Saw("latis-desktop-7f3a"));
        EXPECT_FALSE(tap.Saw(marker));
        EXPECT_TRUE(tap.Saw("RFB 003.008\n")); // the version exchange itself is in clear
    }
    {
        // The same capture without encryption shows both: the check above can see them.
        WireTap tap(server.Port());
        const Outcome o = Connect(tap.Port(), "secret12", Policy(EncryptionPolicy::Off), marker);
        EXPECT_CONNECTED(o);
        EXPECT_FALSE(o.Security.Encrypted);
        EXPECT_EQ(o.Security.Description, "VNC authentication (not encrypted)");
        EXPECT_TRUE(tap.Saw("latis-desktop-7f3a"));
        EXPECT_TRUE(tap.Saw(marker));
    }
    EXPECT_EQ(Connect(server.Port(), "wrong-pw", Policy(EncryptionPolicy::Require)).Failure->Code,
              codes::HandshakeAuth);
}

TEST(EncryptionRealServer, XvncPlainOnlyConnectsUnderPreferAndIsRefusedUnderRequire) {
    XvncServer server(ServerOptions().WithPassword("secret12").WithSize(640, 480));
    const Outcome preferred = Connect(server.Port(), "secret12", Policy(EncryptionPolicy::Prefer));
    EXPECT_CONNECTED(preferred);
    EXPECT_FALSE(preferred.Security.Encrypted);
    const Outcome required = Connect(server.Port(), "secret12", Policy(EncryptionPolicy::Require));
    ASSERT_TRUE(required.Failure);
    EXPECT_EQ(required.Failure->Code, codes::EncryptionRequired);
}

TEST(EncryptionRealServer, XvncX509VncTrustOnFirstUseAndChangedCertificate) {
    Folder folder;
    const TestCertificate certificate = MakeTestCertificate(folder.Path, "server");
    const ServerOptions options =
        ServerOptions()
            .WithPassword("secret12")
            .WithSize(640, 480)
            .WithName("latis-x509-desktop")
            .WithXvncArguments({"-SecurityTypes", "X509Vnc", "-X509Cert", certificate.CertificateFile,
                                "-X509Key", certificate.KeyFile});
    XvncServer server(options);
    EncryptionSettings settings = Policy(EncryptionPolicy::Prefer);

    // Unknown, nowhere to remember it: refused, naming the fingerprint.
    const Outcome unknown = Connect(server.Port(), "secret12", settings);
    ASSERT_TRUE(unknown.Failure);
    EXPECT_EQ(unknown.Failure->Code, codes::CertificateUnknown) << unknown.Failure->Message;
    const std::string fingerprint = unknown.Security.Fingerprint;
    ASSERT_EQ(fingerprint.size(), 7u + 64u);
    EXPECT_NE(unknown.Failure->Message.find(fingerprint), std::string::npos);

    // Accepted by the operator for this viewer only.
    settings.AcceptedFingerprint = fingerprint;
    Outcome once = Connect(server.Port(), "secret12", settings);
    EXPECT_CONNECTED(once);
    EXPECT_TRUE(once.Security.Encrypted);
    EXPECT_FALSE(once.Security.Verified);
    settings.AcceptedFingerprint.clear();

    // Remembered on first use, then known.
    settings.KnownCertificatesFile = folder.Path + "/store/known-certificates";
    settings.AcceptNew = true;
    const Outcome first = Connect(server.Port(), "secret12", settings);
    EXPECT_CONNECTED(first);
    struct stat info {};
    ASSERT_EQ(::stat(settings.KnownCertificatesFile.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u);
    settings.AcceptNew = false;
    const Outcome known = Connect(server.Port(), "secret12", settings);
    EXPECT_CONNECTED(known);
    EXPECT_TRUE(known.Security.Verified);
    EXPECT_EQ(known.DesktopName, "latis-x509-desktop");
    EXPECT_EQ(known.Security.Description.rfind("VeNCrypt X509Vnc, TLS", 0), 0u) << known.Security.Description;
    EXPECT_NE(known.Security.Description.find("verified by pin " + fingerprint), std::string::npos);

    // The remembered fingerprint no longer matches: refused loudly, accept-new or not.
    std::ofstream(settings.KnownCertificatesFile)
        << "127.0.0.1:" << server.Port() << " SHA256:" << std::string(64, '0') << "\n";
    settings.AcceptNew = true;
    const Outcome changed = Connect(server.Port(), "secret12", settings);
    ASSERT_TRUE(changed.Failure);
    EXPECT_EQ(changed.Failure->Code, codes::CertificateChanged);
    EXPECT_NE(changed.Failure->Message.find("CHANGED"), std::string::npos);

    // Trusted as an authority given by the operator: verified without any store.
    EncryptionSettings byAuthority = Policy(EncryptionPolicy::Require);
    byAuthority.AuthorityFile = certificate.CertificateFile;
    const Outcome verified = Connect(server.Port(), "secret12", byAuthority);
    EXPECT_CONNECTED(verified);
    EXPECT_TRUE(verified.Security.Verified);
    EXPECT_NE(verified.Security.Description.find("certificate authority"), std::string::npos);
}

TEST(EncryptionRealServer, X11vncWithSslOffersVeNCrypt) {
    Folder folder;
    const TestCertificate certificate = MakeTestCertificate(folder.Path, "x11vnc", true);
    ServerOptions options =
        ServerOptions().WithPassword("secret12").WithSize(640, 480).WithName("latis-x11vnc-ssl");
    options.X11vncArguments = {"-ssl", certificate.BothFile};
    X11vncServer server(options);
    EncryptionSettings settings = Policy(EncryptionPolicy::Require);
    settings.KnownCertificatesFile = folder.Path + "/known";
    settings.AcceptNew = true;
    WireTap tap(server.Port());
    const Outcome o = Connect(tap.Port(), "secret12", settings, "x11vnc-marker-55aa");
    ASSERT_FALSE(o.Failure) << o.Failure->Code << " " << o.Failure->Message << "\n" << server.Log();
    EXPECT_TRUE(o.Security.Encrypted);
    EXPECT_EQ(o.DesktopName, "latis-x11vnc-ssl");
    EXPECT_FALSE(tap.Saw("latis-x11vnc-ssl"));
    EXPECT_FALSE(tap.Saw("x11vnc-marker-55aa"));
}

// wayvnc authenticates with X509Plain only: a user name and password, sent inside TLS.
TEST(EncryptionRealServer, WayvncX509PlainWithAUserName) {
    Folder folder;
    const TestCertificate certificate = MakeTestCertificate(folder.Path, "wayvnc");
    WayvncServer server(640, 480, {"operator", "secret12", certificate.CertificateFile, certificate.KeyFile});
    EncryptionSettings settings = Policy(EncryptionPolicy::Prefer);
    settings.AuthorityFile = certificate.CertificateFile;
    const Outcome anonymous = Connect(server.Port(), "secret12", settings);
    ASSERT_TRUE(anonymous.Failure);
    EXPECT_EQ(anonymous.Failure->Message,
              "The server asks for a user name and password; no user name is set.");
    settings.UserName = "operator";
    WireTap tap(server.Port());
    const Outcome o = Connect(tap.Port(), "secret12", settings);
    ASSERT_FALSE(o.Failure) << o.Failure->Code << " " << o.Failure->Message << "\n" << server.Log();
    EXPECT_TRUE(o.Security.Encrypted);
    EXPECT_TRUE(o.Security.Verified);
    EXPECT_EQ(o.Security.Description.rfind("VeNCrypt X509Plain, TLS", 0), 0u) << o.Security.Description;
    EXPECT_FALSE(tap.Saw("secret12"));
    EXPECT_FALSE(tap.Saw("operator"));
    // A wrong user name or password is an authentication failure, though wayvnc 0.5 sends it as a
    // success followed by stray bytes.
    for (const auto& [user, password] :
         {std::pair{"intruder", "secret12"}, std::pair{"operator", "wrong-pw"}}) {
        settings.UserName = user;
        const Outcome wrong = Connect(server.Port(), password, settings);
        ASSERT_TRUE(wrong.Failure) << user;
        EXPECT_EQ(wrong.Failure->Code, codes::HandshakeAuth) << wrong.Failure->Message;
        EXPECT_EQ(wrong.Failure->Message, "The user name or password was incorrect.");
    }
}

// Xtightvnc offers nothing but its own security types: no encryption to prefer, none to require.
TEST(EncryptionRealServer, TightVncConnectsPlainUnderPreferAndIsRefusedUnderRequire) {
    TightVncServer server(
        ServerOptions().WithPassword("secret12").WithSize(640, 480).WithName("latis-tight"));
    const Outcome preferred = Connect(server.Port(), "secret12", Policy(EncryptionPolicy::Prefer));
    ASSERT_FALSE(preferred.Failure) << preferred.Failure->Code << " " << preferred.Failure->Message << "\n"
                                    << server.Log();
    EXPECT_FALSE(preferred.Security.Encrypted);
    EXPECT_NE(preferred.DesktopName.find("latis-tight"), std::string::npos); // it adds user and host
    EXPECT_EQ(preferred.Security.Description, "VNC authentication (not encrypted)");
    const Outcome required = Connect(server.Port(), "secret12", Policy(EncryptionPolicy::Require));
    ASSERT_TRUE(required.Failure);
    EXPECT_EQ(required.Failure->Code, codes::EncryptionRequired) << required.Failure->Message;
}

// QEMU with x509 credentials: VeNCrypt X509Vnc, its certificate pinned on first use, then known.
TEST(EncryptionRealServer, QemuX509VncPinnedOnFirstUse) {
    Folder folder;
    MakeQemuCredentials(folder.Path);
    QemuServer server({.Password = "secret12",
                       .TlsFolder = folder.Path,
                       .AnonymousTls = false,
                       .Gradient = false,
                       .VncSuffixes = {}});
    EncryptionSettings settings = Policy(EncryptionPolicy::Require);
    settings.KnownCertificatesFile = folder.Path + "/known";
    settings.AcceptNew = true;
    const Outcome first = Connect(server.Port(), "secret12", settings);
    ASSERT_FALSE(first.Failure) << first.Failure->Code << " " << first.Failure->Message << "\n"
                                << server.Log();
    EXPECT_TRUE(first.Security.Encrypted);
    EXPECT_EQ(first.Security.Description.rfind("VeNCrypt X509Vnc, TLS", 0), 0u) << first.Security.Description;
    settings.AcceptNew = false;
    const Outcome known = Connect(server.Port(), "secret12", settings);
    ASSERT_FALSE(known.Failure) << known.Failure->Code << " " << known.Failure->Message;
    EXPECT_TRUE(known.Security.Verified);
    EXPECT_EQ(known.Security.Fingerprint, first.Security.Fingerprint);

    // Through an eavesdropper (another port, so no pin): verified by the authority that signed it.
    EncryptionSettings byAuthority = Policy(EncryptionPolicy::Require);
    byAuthority.AuthorityFile = folder.Path + "/ca-cert.pem";
    WireTap tap(server.Port());
    const Outcome verified = Connect(tap.Port(), "secret12", byAuthority, "qemu-marker-31d7");
    ASSERT_FALSE(verified.Failure) << verified.Failure->Code << " " << verified.Failure->Message;
    EXPECT_TRUE(verified.Security.Verified);
    EXPECT_FALSE(tap.Saw("qemu-marker-31d7"));
    EXPECT_EQ(Connect(server.Port(), "wrong-pw", settings).Failure->Code, codes::HandshakeAuth);
}

// QEMU's other two: x509 without a password (X509None), and anonymous TLS with one (TLSVnc).
TEST(EncryptionRealServer, QemuX509NoneAndAnonymousTls) {
    Folder folder;
    MakeQemuCredentials(folder.Path);
    {
        QemuServer server({.Password = {},
                           .TlsFolder = folder.Path,
                           .AnonymousTls = false,
                           .Gradient = false,
                           .VncSuffixes = {}});
        EncryptionSettings settings = Policy(EncryptionPolicy::Require);
        settings.AuthorityFile = folder.Path + "/ca-cert.pem";
        const Outcome o = Connect(server.Port(), std::string(), settings);
        ASSERT_FALSE(o.Failure) << o.Failure->Code << " " << o.Failure->Message << "\n" << server.Log();
        EXPECT_TRUE(o.Security.Verified);
        EXPECT_EQ(o.Security.Description.rfind("VeNCrypt X509None, TLS", 0), 0u) << o.Security.Description;
    }
    QemuServer server({.Password = "secret12",
                       .TlsFolder = {},
                       .AnonymousTls = true,
                       .Gradient = false,
                       .VncSuffixes = {}});
    const Outcome o = Connect(server.Port(), "secret12", Policy(EncryptionPolicy::Require));
    ASSERT_FALSE(o.Failure) << o.Failure->Code << " " << o.Failure->Message << "\n" << server.Log();
    EXPECT_TRUE(o.Security.Encrypted);
    EXPECT_FALSE(o.Security.Verified);
    EXPECT_EQ(o.Security.Description.rfind("VeNCrypt TLSVnc, TLS", 0), 0u) << o.Security.Description;
    EXPECT_EQ(Connect(server.Port(), "wrong-pw", Policy(EncryptionPolicy::Require)).Failure->Code,
              codes::HandshakeAuth);
}
