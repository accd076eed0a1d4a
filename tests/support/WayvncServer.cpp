#include "WayvncServer.h"

#include "ScriptedServer.h"

#include <arpa/inet.h>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <netinet/in.h>
#include <pwd.h>
#include <sstream>
#include <stdexcept>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

namespace latis_test {

namespace {
// sway and wayvnc on a loaded two-core machine may take a while to come up.
constexpr auto StartLimit = std::chrono::seconds(30);

passwd* FindOrCreateUser() {
    if (passwd* user = ::getpwnam(WaylandUser))
        return user;
    if (::geteuid() == 0)
        RunAndCapture(
            {"useradd", "--system", "--no-create-home", "--shell", "/usr/sbin/nologin", WaylandUser});
    if (passwd* user = ::getpwnam(WaylandUser))
        return user;
    throw std::runtime_error(std::string("no user ") + WaylandUser + " to run sway as");
}

bool PortAccepts(int port) {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    a.sin_port = htons(uint16_t(port));
    const bool ok = ::connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0;
    ::close(fd);
    return ok;
}

// The compositor's socket in the runtime folder ("wayland-N", not its lock file).
std::string FindWaylandDisplay(const std::string& folder) {
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
        const std::string name = entry.path().filename().string();
        if (name.rfind("wayland-", 0) == 0 && entry.is_socket())
            return name;
    }
    return std::string();
}
} // namespace

WayvncServer::WayvncServer(int width, int height, const WayvncAuth& auth) {
    const passwd* user = FindOrCreateUser();
    char pattern[] = "/tmp/latis-wayland-XXXXXX";
    if (!::mkdtemp(pattern))
        throw std::runtime_error("cannot create a temporary folder");
    Folder = pattern;
    {
        std::ofstream config(Folder + "/config");
        config << "output HEADLESS-1 resolution " << width << "x" << height << "\n";
    }
    std::string vncConfig = "/dev/null";
    std::vector<std::string> owned = {Folder, Folder + "/config"};
    if (!auth.User.empty()) {
        vncConfig = Folder + "/wayvnc.config";
        std::filesystem::copy_file(auth.CertificateFile, Folder + "/cert.pem");
        std::filesystem::copy_file(auth.KeyFile, Folder + "/key.pem");
        std::ofstream(vncConfig) << "enable_auth=true\nusername=" << auth.User
                                 << "\npassword=" << auth.Password << "\nprivate_key_file=" << Folder
                                 << "/key.pem\ncertificate_file=" << Folder << "/cert.pem\n";
        owned.insert(owned.end(), {vncConfig, Folder + "/cert.pem", Folder + "/key.pem"});
    }
    // The runtime folder must belong to the user and be private to it.
    for (const std::string& path : owned)
        if (::chown(path.c_str(), user->pw_uid, user->pw_gid) != 0)
            throw std::runtime_error("cannot hand the runtime folder to " + std::string(WaylandUser));

    const std::vector<std::string> asUser = {"setpriv", "--reuid=" + std::to_string(user->pw_uid),
                                             "--regid=" + std::to_string(user->pw_gid), "--clear-groups",
                                             "--pdeathsig=TERM"};
    ChildOptions options;
    options.LogPath = Folder + "/server.log";
    options.Environment = {"XDG_RUNTIME_DIR=" + Folder,
                           "HOME=" + Folder,
                           "WLR_BACKENDS=headless",
                           "WLR_LIBINPUT_NO_DEVICES=1",
                           "WLR_RENDERER=pixman",
                           "WAYLAND_DISPLAY=",
                           "DISPLAY="};
    std::vector<std::string> argv = asUser;
    argv.insert(argv.end(), {"sway", "-c", Folder + "/config"});
    Compositor = ChildProcess(argv, options);

    const auto deadline = std::chrono::steady_clock::now() + StartLimit;
    std::string& display = Display;
    while ((display = FindWaylandDisplay(Folder)).empty()) {
        if (!Compositor.Running() || std::chrono::steady_clock::now() > deadline)
            throw std::runtime_error("sway did not start:\n" + Log());
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }

    RfbPort = FreeLoopbackPort();
    for (std::string& entry : options.Environment)
        if (entry.rfind("WAYLAND_DISPLAY=", 0) == 0)
            entry = "WAYLAND_DISPLAY=" + display;
    argv = asUser;
    argv.insert(argv.end(), {"wayvnc", "-C", vncConfig, "127.0.0.1", std::to_string(RfbPort)});
    Server = ChildProcess(argv, options);
    while (!PortAccepts(RfbPort)) {
        if (!Server.Running() || std::chrono::steady_clock::now() > deadline)
            throw std::runtime_error("wayvnc did not start:\n" + Log());
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
}

WayvncServer::~WayvncServer() {
    Server.Stop();
    Background.Stop();
    Compositor.Stop();
    std::error_code ignored;
    std::filesystem::remove_all(Folder, ignored);
}

void WayvncServer::ShowPicture(const std::string& path) {
    const RgbImage before = Screenshot();
    ChildOptions options;
    options.Environment = {"XDG_RUNTIME_DIR=" + Folder, "WAYLAND_DISPLAY=" + Display};
    Background = ChildProcess({"swaybg", "-o", "*", "-m", "center", "-i", path}, options);
    const auto deadline = std::chrono::steady_clock::now() + StartLimit;
    while (Screenshot().Pixels == before.Pixels) {
        if (!Background.Running() || std::chrono::steady_clock::now() > deadline)
            throw std::runtime_error("swaybg did not show " + path);
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
}

RgbImage WayvncServer::Screenshot() {
    return DecodePpm(RunAndCapture({"grim", "-t", "ppm", "-"},
                                   {"XDG_RUNTIME_DIR=" + Folder, "WAYLAND_DISPLAY=" + Display}));
}

std::string WayvncServer::Log() const {
    std::ifstream in(Folder + "/server.log");
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

} // namespace latis_test
