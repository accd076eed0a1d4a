#pragma once
// wayvnc serving a headless sway, on a free port of 127.0.0.1 only. sway refuses to run as root, so
// both run as the unprivileged user WaylandUser (created when missing and the test runs as root) with
// a private runtime folder. Ready when the constructor returns; the destructor stops both. Throws
// std::runtime_error when they cannot be started.

#include "ChildProcess.h"
#include "RgbImage.h"

#include <string>

namespace latis_test {

inline constexpr char WaylandUser[] = "latis-wayland";

// wayvnc's own authentication (VeNCrypt X509Plain): a certificate and a user name with a password.
struct WayvncAuth {
    std::string User, Password, CertificateFile, KeyFile; // empty User: no authentication
};

class WayvncServer {
public:
    // The headless output's size.
    WayvncServer(int width = 800, int height = 600, const WayvncAuth& auth = {});
    ~WayvncServer();
    WayvncServer(const WayvncServer&) = delete;
    WayvncServer& operator=(const WayvncServer&) = delete;

    int Port() const { return RfbPort; }
    // For Wayland clients of the same sway (XDG_RUNTIME_DIR and WAYLAND_DISPLAY).
    const std::string& RuntimeFolder() const { return Folder; }
    const std::string& WaylandDisplay() const { return Display; }
    std::string Log() const;

    // Shows a picture file (PNG) unscaled in the middle of the output as its background, and waits
    // until the compositor shows it.
    void ShowPicture(const std::string& path);
    // The output as the compositor composed it, without the pointer (grim).
    RgbImage Screenshot();

private:
    std::string Folder;
    std::string Display;
    int RfbPort = 0;
    ChildProcess Compositor;
    ChildProcess Server;
    ChildProcess Background;
};

} // namespace latis_test
