#include "ChildProcess.h"
#include "RealServers.h"
#include "ScriptedServer.h"
#include "SnapOptions.h"
#include "WireTap.h"
#include "engine/ServerAddress.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdlib>
#include <unistd.h>

using namespace latis_test;

namespace {

struct Parsed {
    bool Ok;
    dova_snap::SnapOptions Options;
    std::string Error;
};

Parsed Parse(std::vector<std::string> arguments) {
    arguments.insert(arguments.begin(), "dova-snap");
    std::vector<char*> argv;
    for (auto& a : arguments)
        argv.push_back(a.data());
    Parsed p;
    p.Ok = dova_snap::ParseSnapOptions(int(argv.size()), argv.data(), p.Options, p.Error);
    return p;
}

// Runs dova-snap; returns its exit status and what it wrote to stdout and stderr.
struct SnapRun {
    int Status;
    std::string Output;
};

// Offline: in a network namespace of its own, so a name lookup never leaves the machine.
SnapRun Snap(const std::vector<std::string>& arguments, bool offline = false) {
    std::string command = std::string(offline ? "unshare -n " : "") + DOVA_SNAP_PATH;
    for (const auto& a : arguments)
        command += " '" + a + "'";
    command += " 2>&1";
    SnapRun run{-1, {}};
    FILE* pipe = ::popen(command.c_str(), "r");
    if (!pipe)
        return run;
    std::array<char, 4096> buffer;
    size_t got;
    while ((got = std::fread(buffer.data(), 1, buffer.size(), pipe)) > 0)
        run.Output.append(buffer.data(), got);
    const int status = ::pclose(pipe);
    run.Status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return run;
}

} // namespace

TEST(ServerText, SplitsHostAndPortOrDisplay) {
    struct Case {
        const char* Text;
        const char* Host;
        int Port;
    };
    for (const Case& c :
         {Case{"pc1", "pc1", 1234}, Case{"pc1:1", "pc1", 5901}, Case{"pc1:D1", "pc1", 5901},
          Case{"pc1:d7", "pc1", 5907}, Case{"pc1:5902", "pc1", 5902}, Case{"pc1:P80", "pc1", 80},
          Case{"pc1:p5", "pc1", 5}, Case{"pc1:", "pc1", 5900}, Case{"pc1:99", "pc1", 5999},
          Case{"pc1:100", "pc1", 100}, Case{"pc1:x", "pc1", 5900}, Case{"[::1]", "::1", 1234},
          Case{"[::1]:1", "::1", 5901}, Case{"[fe80::1%eth0]:P5902", "fe80::1%eth0", 5902},
          Case{"[::1]:5999", "::1", 5999}, Case{"::1", "", 5900}}) {
        std::string host;
        int port = 1234;
        dova::SplitServerText(c.Text, host, port);
        EXPECT_EQ(host, c.Host) << c.Text;
        EXPECT_EQ(port, c.Port) << c.Text;
    }
    // Beyond 65535 a port would wrap to another one (70000 to 4464): refused, nothing changed.
    for (const char* text : {"pc1:P70000", "pc1:D60000", "pc1:65536", "pc1:P99999999999", "pc1:D59636"}) {
        std::string host = "before";
        int port = 1234;
        EXPECT_FALSE(dova::SplitServerText(text, host, port)) << text;
        EXPECT_EQ(host, "before") << text;
        EXPECT_EQ(port, 1234) << text;
    }
    std::string host;
    int port = 0;
    EXPECT_TRUE(dova::SplitServerText("pc1:P65535", host, port));
    EXPECT_EQ(port, 65535);
    EXPECT_TRUE(dova::SplitServerText("pc1:D59635", host, port));
    EXPECT_EQ(port, 65535);
    const Parsed wrapped = Parse({"pc1:P70000"});
    EXPECT_FALSE(wrapped.Ok);
    EXPECT_NE(wrapped.Error.find("65535"), std::string::npos) << wrapped.Error;
}

TEST(SnapOptions, ParsesServerAndOptions) {
    const Parsed p = Parse({"127.0.0.1:6001", "--password", "pw", "--bpp", "8", "--out", "x.png"});
    ASSERT_TRUE(p.Ok) << p.Error;
    EXPECT_EQ(p.Options.Host, "127.0.0.1");
    EXPECT_EQ(p.Options.Port, 6001);
    EXPECT_TRUE(p.Options.HasPassword);
    EXPECT_EQ(p.Options.Password, "pw");
    EXPECT_EQ(p.Options.BitsPerPixel, 8);
    EXPECT_EQ(p.Options.OutPath, "x.png");

    const Parsed plain = Parse({"host"});
    ASSERT_TRUE(plain.Ok);
    EXPECT_EQ(plain.Options.Port, 5900);
    EXPECT_FALSE(plain.Options.HasPassword);
    EXPECT_EQ(plain.Options.Encryption, 1) << "prefer unless told otherwise";

    const Parsed secure =
        Parse({"host", "--encryption", "require", "--user", "op", "--known-certs", "k", "--accept-new"});
    ASSERT_TRUE(secure.Ok) << secure.Error;
    EXPECT_EQ(secure.Options.Encryption, 2);
    EXPECT_EQ(secure.Options.User, "op");
    EXPECT_EQ(secure.Options.KnownCertificates, "k");
    EXPECT_TRUE(secure.Options.AcceptNew);
}

TEST(SnapOptions, RefusesBadCommandLines) {
    EXPECT_FALSE(Parse({}).Ok);
    EXPECT_FALSE(Parse({"host", "--bpp", "24"}).Ok);
    EXPECT_FALSE(Parse({"host", "--password"}).Ok);
    EXPECT_FALSE(Parse({"host", "--colour"}).Ok);
    EXPECT_FALSE(Parse({"a", "b"}).Ok);
    EXPECT_FALSE(Parse({"host:P70000"}).Ok);
    EXPECT_FALSE(Parse({"host", "--encryption", "maybe"}).Ok);
}

TEST(DovaSnap, PrintsWhatTheServerSaid) {
    XvncServer server(ServerOptions().WithPassword("secret12").WithSize(640, 400).WithName("snap-desk"));
    const std::string address = "127.0.0.1:P" + std::to_string(server.Port());
    const SnapRun ok = Snap({address, "--password", "secret12", "--bpp", "16"});
    EXPECT_EQ(ok.Status, 0) << ok.Output;
    EXPECT_NE(ok.Output.find("Server version: RFB 003.00"), std::string::npos) << ok.Output;
    EXPECT_NE(ok.Output.find("Desktop name: snap-desk"), std::string::npos) << ok.Output;
    EXPECT_NE(ok.Output.find("Size: 640x400"), std::string::npos) << ok.Output;
    EXPECT_NE(ok.Output.find("Pixel format in use: 16 bpp"), std::string::npos) << ok.Output;
    EXPECT_NE(ok.Output.find("Security: VNC authentication (not encrypted)"), std::string::npos) << ok.Output;
    const SnapRun required = Snap({address, "--password", "secret12", "--encryption", "require"});
    EXPECT_NE(required.Status, 0);
    EXPECT_NE(required.Output.find("error 521: "), std::string::npos) << required.Output;

    const SnapRun wrong = Snap({address, "--password", "wrong", "--encryption", "off"});
    EXPECT_NE(wrong.Status, 0);
    EXPECT_NE(wrong.Output.find("error 513: The password was incorrect."), std::string::npos) << wrong.Output;

    const SnapRun none = Snap({address});
    EXPECT_NE(none.Status, 0);
    EXPECT_NE(none.Output.find("error 767: Password authentication cancelled."), std::string::npos)
        << none.Output;
}

TEST(DovaSnap, ReportsEngineErrors) {
    const SnapRun closed = Snap({"127.0.0.1:P" + std::to_string(FreeLoopbackPort())});
    EXPECT_NE(closed.Status, 0);
    EXPECT_NE(closed.Output.find("error 5: Failed to connect to server/host"), std::string::npos)
        << closed.Output;
    const SnapRun unknown = Snap({"nonexistent.invalid"}, true);
    EXPECT_NE(unknown.Status, 0);
    EXPECT_NE(unknown.Output.find("error 4: Failed to resolve server/host address"), std::string::npos)
        << unknown.Output;
}

TEST(DovaSnap, EncryptsAndPinsCertificates) {
    char pattern[] = "/tmp/latis-snap-tls-XXXXXX";
    const std::string folder = ::mkdtemp(pattern);
    const TestCertificate certificate = MakeTestCertificate(folder, "snap");
    XvncServer server(ServerOptions()
                          .WithPassword("secret12")
                          .WithSize(320, 200)
                          .WithXvncArguments({"-SecurityTypes", "X509Vnc,TLSVnc", "-X509Cert",
                                              certificate.CertificateFile, "-X509Key", certificate.KeyFile}));
    const std::string address = "127.0.0.1:P" + std::to_string(server.Port());
    const std::string store = folder + "/known";
    const SnapRun unknown = Snap({address, "--password", "secret12", "--known-certs", store});
    EXPECT_NE(unknown.Status, 0);
    EXPECT_NE(unknown.Output.find("error 522: "), std::string::npos) << unknown.Output;
    EXPECT_NE(unknown.Output.find("SHA256:"), std::string::npos) << unknown.Output;
    const SnapRun pinned = Snap({address, "--password", "secret12", "--known-certs", store, "--accept-new"});
    EXPECT_EQ(pinned.Status, 0) << pinned.Output;
    EXPECT_NE(pinned.Output.find("Security: VeNCrypt X509Vnc, TLS"), std::string::npos) << pinned.Output;
    const SnapRun known = Snap({address, "--password", "secret12", "--known-certs", store});
    EXPECT_EQ(known.Status, 0) << known.Output;
    EXPECT_NE(known.Output.find("certificate verified by pin SHA256:"), std::string::npos) << known.Output;
    const SnapRun plain = Snap({address, "--password", "secret12", "--encryption", "off"});
    EXPECT_NE(plain.Status, 0) << "the server offers no type without encryption";
    std::system(("rm -rf '" + folder + "'").c_str());
}
