#pragma once
// QEMU's built-in RFB server showing a diskless PC (SeaBIOS's "No bootable device" text screen), on a
// free port of 127.0.0.1. The machine is paused once the firmware has written its last line, so the
// screen stays still; screenshots come from the monitor's screendump. The destructor ends QEMU.
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
    void WaitForFirmware();

    std::string Folder;
    std::string LogPath;
    std::string MonitorPath;
    int RfbPort = 0;
    int MonitorFd = -1;
    ChildProcess Process;
};

} // namespace latis_test
