#include "QemuServer.h"

#include "ScriptedServer.h"

#include <algorithm>
#include <arpa/inet.h>
#include <filesystem>
#include <fstream>
#include <netinet/in.h>
#include <poll.h>
#include <sstream>
#include <stdexcept>
#include <sys/socket.h>
#include <sys/un.h>
#include <thread>
#include <unistd.h>

namespace latis_test {

namespace {
// Emulated without KVM on a loaded machine: the firmware may take a while.
constexpr auto StartLimit = std::chrono::seconds(60);
constexpr int FirstDisplayPort = 5900;

bool LoopbackAccepts(int port) {
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(uint16_t(port));
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    const bool ok = ::connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0;
    ::close(fd);
    return ok;
}

RgbImage DecodePpm(const std::string& data) {
    std::istringstream in(data);
    std::string magic;
    int width = 0, height = 0, max = 0;
    in >> magic >> width >> height >> max;
    in.get();
    RgbImage image;
    if (magic != "P6" || max != 255 || width <= 0 || height <= 0)
        throw std::runtime_error("screendump is not a P6 picture");
    image.Width = width;
    image.Height = height;
    image.Pixels.resize(size_t(width) * size_t(height) * 3);
    if (!in.read(reinterpret_cast<char*>(image.Pixels.data()), std::streamsize(image.Pixels.size())))
        throw std::runtime_error("screendump is short");
    return image;
}
} // namespace

QemuServer::QemuServer(const QemuOptions& options) {
    char pattern[] = "/tmp/latis-qemu-XXXXXX";
    if (!::mkdtemp(pattern))
        throw std::runtime_error("cannot create a temporary folder");
    Folder = pattern;
    LogPath = Folder + "/qemu.log";
    MonitorPath = Folder + "/monitor";
    // -vnc takes a display number: the port is 5900 plus it.
    do
        RfbPort = FreeLoopbackPort();
    while (RfbPort <= FirstDisplayPort);
    std::string vnc = "127.0.0.1:" + std::to_string(RfbPort - FirstDisplayPort);
    std::vector<std::string> argv = {"qemu-system-x86_64",
                                     "-nodefaults",
                                     "-vga",
                                     "std",
                                     "-display",
                                     "none",
                                     "-machine",
                                     "accel=tcg",
                                     "-m",
                                     "32",
                                     "-monitor",
                                     "unix:" + MonitorPath + ",server=on,wait=off"};
    if (!options.TlsFolder.empty()) {
        argv.insert(argv.end(), {"-object", "tls-creds-x509,id=tls0,dir=" + options.TlsFolder +
                                                ",endpoint=server,verify-peer=no"});
        vnc += ",tls-creds=tls0";
    } else if (options.AnonymousTls) {
        argv.insert(argv.end(), {"-object", "tls-creds-anon,id=tls0,endpoint=server"});
        vnc += ",tls-creds=tls0";
    }
    if (!options.Password.empty())
        vnc += ",password=on";
    for (const std::string& suffix : options.VncSuffixes)
        vnc += "," + suffix;
    argv.insert(argv.end(), {"-vnc", vnc});
    ChildOptions childOptions;
    childOptions.LogPath = LogPath;
    Process = ChildProcess(argv, childOptions);

    const auto deadline = std::chrono::steady_clock::now() + StartLimit;
    while (!LoopbackAccepts(RfbPort) || !std::filesystem::exists(MonitorPath)) {
        if (!Process.Running() || std::chrono::steady_clock::now() > deadline) {
            Process.Stop();
            throw std::runtime_error("QEMU did not start:\n" + Log());
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    MonitorFd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    MonitorPath.copy(address.sun_path, sizeof address.sun_path - 1);
    if (::connect(MonitorFd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        Process.Stop();
        throw std::runtime_error("cannot reach QEMU's monitor");
    }
    Monitor(""); // its greeting
    if (!options.Password.empty())
        Monitor("set_password vnc " + options.Password);
    WaitForFirmware();
    Monitor("stop");
}

QemuServer::~QemuServer() {
    if (MonitorFd >= 0)
        ::close(MonitorFd);
    Process.Stop();
    std::error_code ignored;
    std::filesystem::remove_all(Folder, ignored);
}

std::string QemuServer::Monitor(const std::string& command) {
    if (!command.empty()) {
        const std::string line = command + "\n";
        if (::write(MonitorFd, line.data(), line.size()) != ssize_t(line.size()))
            throw std::runtime_error("QEMU's monitor is gone");
    }
    // The monitor echoes and answers, then prompts again.
    std::string answer;
    const auto deadline = std::chrono::steady_clock::now() + StartLimit;
    while (!answer.ends_with("(qemu) ")) {
        pollfd p{MonitorFd, POLLIN, 0};
        if (std::chrono::steady_clock::now() > deadline)
            throw std::runtime_error("QEMU's monitor does not answer " + command);
        if (::poll(&p, 1, 100) <= 0)
            continue;
        char buffer[512];
        const ssize_t got = ::read(MonitorFd, buffer, sizeof buffer);
        if (got <= 0)
            throw std::runtime_error("QEMU's monitor closed");
        answer.append(buffer, size_t(got));
    }
    return answer;
}

RgbImage QemuServer::Screenshot() {
    const std::string path = Folder + "/screen.ppm";
    std::filesystem::remove(path);
    Monitor("screendump " + path);
    std::ifstream in(path, std::ios::binary);
    std::stringstream data;
    data << in.rdbuf();
    return DecodePpm(data.str());
}

// Until something is written below the firmware's first lines (its last words: "No bootable device").
void QemuServer::WaitForFirmware() {
    const auto deadline = std::chrono::steady_clock::now() + StartLimit;
    while (std::chrono::steady_clock::now() < deadline) {
        const RgbImage screen = Screenshot();
        for (int y = 6 * 16; y < std::min(screen.Height, 8 * 16); ++y)
            for (int x = 0; x < screen.Width; ++x)
                if (screen.At(x, y) != 0)
                    return;
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
    }
    throw std::runtime_error("QEMU's firmware wrote nothing:\n" + Log());
}

std::string QemuServer::Log() const {
    std::ifstream in(LogPath);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

} // namespace latis_test
