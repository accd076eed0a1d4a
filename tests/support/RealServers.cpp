#include "RealServers.h"

#include "ScriptedServer.h"

#include <arpa/inet.h>
#include <chrono>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <netinet/in.h>
#include <poll.h>
#include <sstream>
#include <stdexcept>
#include <sys/socket.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace latis_test {

namespace {
// A server on a loaded two-core machine may take a while to come up.
constexpr auto StartLimit = std::chrono::seconds(30);
// A free port can be taken by someone else before the server binds it: try again with another.
constexpr int StartAttempts = 3;

bool PortAccepts(const std::string& address, int port) {
    sockaddr_in6 a6{};
    sockaddr_in a{};
    const bool v6 = ::inet_pton(AF_INET6, address.c_str(), &a6.sin6_addr) == 1;
    if (!v6 && ::inet_pton(AF_INET, address.c_str(), &a.sin_addr) != 1)
        return false;
    a6.sin6_family = AF_INET6;
    a6.sin6_port = htons(uint16_t(port));
    a.sin_family = AF_INET;
    a.sin_port = htons(uint16_t(port));
    const int fd = ::socket(v6 ? AF_INET6 : AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    const bool ok = v6 ? ::connect(fd, reinterpret_cast<sockaddr*>(&a6), sizeof a6) == 0
                       : ::connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0;
    ::close(fd);
    return ok;
}
} // namespace

XDisplayServer::XDisplayServer(const ServerOptions& options) : Settings(options) {
    char pattern[] = "/tmp/latis-server-XXXXXX";
    if (!::mkdtemp(pattern))
        throw std::runtime_error("cannot create a temporary folder");
    Folder = pattern;
    LogPath = Folder + "/server.log";
}

XDisplayServer::~XDisplayServer() {
    Clients.clear(); // stops them
    std::error_code ignored;
    std::filesystem::remove_all(Folder, ignored);
}

std::string XDisplayServer::Log() const {
    std::ifstream in(LogPath);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

std::string XDisplayServer::WritePasswordFile() {
    const std::string path = Folder + "/passwd";
    const std::string obfuscated = RunAndCapture({"vncpasswd", "-f"}, {}, Settings.Password + "\n");
    std::ofstream out(path, std::ios::binary);
    out << obfuscated;
    out.close();
    ::chmod(path.c_str(), 0600);
    return path;
}

ChildProcess XDisplayServer::StartWithDisplayFd(const std::vector<std::string>& argv, int& display) {
    int pipeFds[2];
    if (::pipe2(pipeFds, O_CLOEXEC) != 0)
        throw std::runtime_error("pipe failed");
    ChildOptions options;
    options.LogPath = LogPath;
    options.PassFd = pipeFds[1];
    ChildProcess process(argv, options);
    ::close(pipeFds[1]);

    std::string text;
    const auto deadline = std::chrono::steady_clock::now() + StartLimit;
    while (text.find('\n') == std::string::npos && std::chrono::steady_clock::now() < deadline) {
        pollfd p{pipeFds[0], POLLIN, 0};
        if (::poll(&p, 1, 100) <= 0)
            continue;
        char buffer[32];
        const ssize_t got = ::read(pipeFds[0], buffer, sizeof buffer);
        if (got <= 0)
            break; // the process ended without a display
        text.append(buffer, size_t(got));
    }
    ::close(pipeFds[0]);
    if (text.find('\n') == std::string::npos)
        throw std::runtime_error(argv[0] + " did not start a display:\n" + Log());
    display = std::stoi(text);
    return process;
}

void XDisplayServer::WaitForPort(ChildProcess& process, int port) {
    const auto deadline = std::chrono::steady_clock::now() + StartLimit;
    while (std::chrono::steady_clock::now() < deadline) {
        if (!process.Running())
            throw std::runtime_error("the RFB server ended while starting");
        if (PortAccepts(Settings.ListenAddress, port))
            return;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    throw std::runtime_error("the RFB server did not open its port");
}

void XDisplayServer::RunClient(const std::vector<std::string>& argv) {
    ChildOptions options;
    options.Environment = {"DISPLAY=" + DisplayName()};
    options.LogPath = LogPath;
    Clients.emplace_back(argv, options);
}

std::string XDisplayServer::RunClientAndWait(const std::vector<std::string>& argv) {
    return RunAndCapture(argv, {"DISPLAY=" + DisplayName()});
}

RgbImage XDisplayServer::Screenshot() {
    return DecodeXwd(RunClientAndWait({"xwd", "-root", "-silent", "-display", DisplayName()}));
}

XvncServer::XvncServer(const ServerOptions& options) : XDisplayServer(options) {
    const std::string passwordFile = Settings.Password.empty() ? std::string() : WritePasswordFile();
    for (int attempt = 1;; ++attempt) {
        RfbPort = Settings.Port > 0 ? Settings.Port : FreeLoopbackPort();
        std::vector<std::string> argv = {"Xvnc",
                                         "-displayfd",
                                         "3",
                                         "-geometry",
                                         std::to_string(Settings.Width) + "x" +
                                             std::to_string(Settings.Height),
                                         "-depth",
                                         std::to_string(Settings.Depth),
                                         "-rfbport",
                                         std::to_string(RfbPort),
                                         "-interface",
                                         Settings.ListenAddress,
                                         "-nolisten",
                                         "tcp",
                                         "-desktop",
                                         Settings.DesktopName};
        // -localhost would add 127.0.0.1 to an IPv6-only listener; the interface keeps it on loopback.
        if (Settings.ListenAddress == "127.0.0.1")
            argv.push_back("-localhost");
        if (passwordFile.empty()) {
            argv.insert(argv.end(), {"-SecurityTypes", "None"});
        } else {
            argv.insert(argv.end(), {"-SecurityTypes", "VncAuth", "-PasswordFile", passwordFile});
        }
        argv.insert(argv.end(), Settings.XvncArguments.begin(), Settings.XvncArguments.end());
        try {
            Server = StartWithDisplayFd(argv, Display);
            WaitForPort(Server, RfbPort);
            return;
        } catch (const std::runtime_error&) {
            Server.Stop();
            if (attempt == StartAttempts)
                throw;
        }
    }
}

XvncServer::~XvncServer() {
    Clients.clear();
    Server.Stop();
}

X11vncServer::X11vncServer(const ServerOptions& options) : XDisplayServer(options) {
    XServer = StartWithDisplayFd({"Xvfb", "-displayfd", "3", "-screen", "0",
                                  std::to_string(Settings.Width) + "x" + std::to_string(Settings.Height) +
                                      "x" + std::to_string(Settings.Depth),
                                  "-nolisten", "tcp", "-noreset"},
                                 Display);
    const std::string passwordFile = Settings.Password.empty() ? std::string() : WritePasswordFile();
    for (int attempt = 1;; ++attempt) {
        RfbPort = FreeLoopbackPort();
        std::vector<std::string> argv = {
            "x11vnc",   "-display", DisplayName(), "-localhost",         "-rfbport", std::to_string(RfbPort),
            "-forever", "-shared",  "-desktop",    Settings.DesktopName, "-norc",    "-noipv6",
            "-nowf",    "-nowcr"};
        if (passwordFile.empty()) {
            argv.push_back("-nopw");
        } else {
            argv.insert(argv.end(), {"-rfbauth", passwordFile});
        }
        argv.insert(argv.end(), Settings.X11vncArguments.begin(), Settings.X11vncArguments.end());
        ChildOptions childOptions;
        childOptions.LogPath = LogPath;
        try {
            VncServer = ChildProcess(argv, childOptions);
            WaitForPort(VncServer, RfbPort);
            return;
        } catch (const std::runtime_error&) {
            VncServer.Stop();
            if (attempt == StartAttempts)
                throw std::runtime_error("x11vnc did not start:\n" + Log());
        }
    }
}

X11vncServer::~X11vncServer() {
    Clients.clear();
    VncServer.Stop();
    XServer.Stop();
}

TightVncServer::TightVncServer(const ServerOptions& options) : XDisplayServer(options) {
    const std::string passwordFile = Settings.Password.empty() ? std::string() : WritePasswordFile();
    // X servers note a display taken in /tmp/.X<n>-lock; start well above the usual ones.
    for (int attempt = 1, display = 60;; ++attempt, ++display) {
        while (std::filesystem::exists("/tmp/.X" + std::to_string(display) + "-lock") ||
               std::filesystem::exists("/tmp/.X11-unix/X" + std::to_string(display)))
            ++display;
        Display = display;
        RfbPort = FreeLoopbackPort();
        std::vector<std::string> argv = {
            "Xtightvnc", DisplayName(), "-geometry",
            std::to_string(Settings.Width) + "x" + std::to_string(Settings.Height), "-depth",
            std::to_string(Settings.Depth), "-rfbport", std::to_string(RfbPort), "-localhost", "-interface",
            "127.0.0.1", "-nolisten", "tcp", "-desktop", Settings.DesktopName,
            // Sharing is up to the server: a second viewer stays on.
            "-alwaysshared"};
        if (!passwordFile.empty())
            argv.insert(argv.end(), {"-rfbauth", passwordFile});
        ChildOptions childOptions;
        childOptions.LogPath = LogPath;
        try {
            Server = ChildProcess(argv, childOptions);
            WaitForPort(Server, RfbPort);
            // The RFB port opens before the X socket does.
            const auto deadline = std::chrono::steady_clock::now() + StartLimit;
            while (!std::filesystem::exists("/tmp/.X11-unix/X" + std::to_string(display))) {
                if (std::chrono::steady_clock::now() > deadline)
                    throw std::runtime_error("no X socket");
                std::this_thread::sleep_for(std::chrono::milliseconds(50));
            }
            return;
        } catch (const std::runtime_error&) {
            Server.Stop();
            if (attempt == StartAttempts)
                throw std::runtime_error("Xtightvnc did not start:\n" + Log());
        }
    }
}

TightVncServer::~TightVncServer() {
    Clients.clear();
    Server.Stop();
}

LocalXDisplay::LocalXDisplay(const ServerOptions& options) : XDisplayServer(options) {
    XServer = StartWithDisplayFd({"Xvfb", "-displayfd", "3", "-screen", "0",
                                  std::to_string(Settings.Width) + "x" + std::to_string(Settings.Height) +
                                      "x" + std::to_string(Settings.Depth),
                                  "-nolisten", "tcp", "-noreset", "-fbdir", Folder},
                                 Display);
}

RgbImage LocalXDisplay::ScreenWithPointer() const {
    std::ifstream file(Folder + "/Xvfb_screen0", std::ios::binary);
    const std::string dump((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    return DecodeXwd(dump);
}

LocalXDisplay::~LocalXDisplay() {
    Clients.clear();
    XServer.Stop();
}

} // namespace latis_test
