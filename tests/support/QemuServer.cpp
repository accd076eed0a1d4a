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

// A boot sector: the standard VGA's Bochs display interface set to 320 x 200 at 32 bits per pixel
// (banked through the 64 KiB window at A000h), pixel (x, y) = red (x + y) * 3 / 8, green y,
// blue x * 3 / 4, then halt. Assembled from (GNU as, .code16):
//   cli; mov $0x1CE,%dx
//   for (index, value) in (4,0) (1,320) (2,200) (3,32) (4,1) (5,0):
//       mov $index,%ax; out %ax,%dx; inc %dx; mov $value,%ax; out %ax,%dx; dec %dx
//   mov $0xA000,%ax; mov %ax,%es; xor %di,%di; xor %bp,%bp; xor %bx,%bx
//   row: xor %cx,%cx
//   col: mov %cx,%ax; add %cx,%ax; add %cx,%ax; shr $2,%ax; stosb              # blue
//        mov %bl,%al; stosb                                                      # green
//        mov %cx,%ax; add %bx,%ax; mov %ax,%si; add %si,%ax; add %si,%ax; shr $3,%ax; stosb
//        xor %al,%al; stosb
//        test %di,%di; jnz same; inc %bp; mov %bp,%ax; inc %dx; out %ax,%dx; dec %dx  # next bank
//   same: inc %cx; cmp $320,%cx; jne col; inc %bx; cmp $200,%bx; jne row
//   halt: cli; hlt; jmp halt
constexpr uint8_t GradientBootSector[] = {
    0xFA, 0xBA, 0xCE, 0x01, 0xB8, 0x04, 0x00, 0xEF, 0x42, 0x31, 0xC0, 0xEF, 0x4A, 0xB8, 0x01, 0x00, 0xEF,
    0x42, 0xB8, 0x40, 0x01, 0xEF, 0x4A, 0xB8, 0x02, 0x00, 0xEF, 0x42, 0xB8, 0xC8, 0x00, 0xEF, 0x4A, 0xB8,
    0x03, 0x00, 0xEF, 0x42, 0xB8, 0x20, 0x00, 0xEF, 0x4A, 0xB8, 0x04, 0x00, 0xEF, 0x42, 0xB8, 0x01, 0x00,
    0xEF, 0x4A, 0xB8, 0x05, 0x00, 0xEF, 0x42, 0x31, 0xC0, 0xEF, 0x4A, 0xB8, 0x00, 0xA0, 0x8E, 0xC0, 0x31,
    0xFF, 0x31, 0xED, 0x31, 0xDB, 0x31, 0xC9, 0x89, 0xC8, 0x01, 0xC8, 0x01, 0xC8, 0xC1, 0xE8, 0x02, 0xAA,
    0x88, 0xD8, 0xAA, 0x89, 0xC8, 0x01, 0xD8, 0x89, 0xC6, 0x01, 0xF0, 0x01, 0xF0, 0xC1, 0xE8, 0x03, 0xAA,
    0x30, 0xC0, 0xAA, 0x85, 0xFF, 0x75, 0x06, 0x45, 0x89, 0xE8, 0x42, 0xEF, 0x4A, 0x41, 0x81, 0xF9, 0x40,
    0x01, 0x75, 0xD1, 0x43, 0x81, 0xFB, 0xC8, 0x00, 0x75, 0xC8, 0xFA, 0xF4, 0xEB, 0xFC};

// A 1.44 MB floppy image (SeaBIOS knows a floppy by its size) holding the boot sector.
void WriteGradientFloppy(const std::string& path) {
    std::vector<char> image(1474560, 0);
    std::copy(std::begin(GradientBootSector), std::end(GradientBootSector), image.begin());
    image[510] = char(0x55);
    image[511] = char(0xAA);
    std::ofstream(path, std::ios::binary).write(image.data(), std::streamsize(image.size()));
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
    if (options.Gradient) {
        WriteGradientFloppy(Folder + "/floppy.img");
        argv.insert(argv.end(),
                    {"-drive", "file=" + Folder + "/floppy.img,format=raw,if=floppy,readonly=on"});
    }
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
    WaitUntilDrawn(options.Gradient);
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

// Until the gradient's last pixel is drawn (in the 640 x 400 of mode 13h, not the 720 x 400 of text),
// or something is written below the firmware's first lines (its last words: "No bootable device").
void QemuServer::WaitUntilDrawn(bool gradient) {
    const auto deadline = std::chrono::steady_clock::now() + StartLimit;
    while (std::chrono::steady_clock::now() < deadline) {
        const RgbImage screen = Screenshot();
        if (gradient) {
            if (screen.Width == 320 && screen.Height == 200 && screen.At(319, 199) != 0)
                return;
            std::this_thread::sleep_for(std::chrono::milliseconds(200));
            continue;
        }
        for (int y = 6 * 16; y < std::min(screen.Height, 8 * 16); ++y)
            for (int x = 0; x < screen.Width; ++x)
                if (screen.At(x, y) != 0)
                    return;
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
    }
    throw std::runtime_error("QEMU's screen was not drawn:\n" + Log());
}

std::string QemuServer::Log() const {
    std::ifstream in(LogPath);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

} // namespace latis_test
