#pragma once
// QEMU's built-in RFB server on a free port of 127.0.0.1, showing a diskless PC (SeaBIOS's "No bootable
// device" text screen) or, booted from a floppy the rig writes, a true-colour gradient. The machine is
// paused once the screen is drawn, so it stays still; screenshots come from the monitor's screendump.
// The destructor ends QEMU.
//
//   latis_test::QemuServer server({.Password = "secret12"});
//   latis_test::RgbImage screen = server.Screenshot();

#include "ChildProcess.h"
#include "RgbImage.h"

#include <string>
#include <vector>

namespace latis_test {

struct QemuOptions {
    std::string Password;                 // empty: no authentication
    std::string TlsFolder;                // non-empty: VeNCrypt with x509 credentials from this folder
    bool AnonymousTls = false;            // VeNCrypt with anonymous TLS (no certificate)
    bool Gradient = false;                // boot the gradient (320 x 200) instead of the text screen
    std::vector<std::string> VncSuffixes; // appended to -vnc's value, e.g. "lossy=on"
};

class QemuServer {
public:
    explicit QemuServer(const QemuOptions& options = {});
    ~QemuServer();
    QemuServer(const QemuServer&) = delete;
    QemuServer& operator=(const QemuServer&) = delete;

    int Port() const { return RfbPort; }
    // A human monitor command; returns what the monitor answered.
    std::string Monitor(const std::string& command);
    RgbImage Screenshot();
    std::string Log() const;

private:
    void WaitUntilDrawn(bool gradient);

    std::string Folder;
    std::string LogPath;
    std::string MonitorPath;
    int RfbPort = 0;
    int MonitorFd = -1;
    ChildProcess Process;
};

} // namespace latis_test
