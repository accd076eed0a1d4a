#pragma once
// Real RFB servers for tests: TigerVNC's Xvnc, TightVNC's Xtightvnc, and x11vnc serving an Xvfb display. Each
// listens on a free port of 127.0.0.1 only, on a free X display, and is ready (its port accepts) when the
// constructor returns. The destructor ends every process it started, X clients included, also when
// the test fails. Constructors throw std::runtime_error when a server cannot be started.
//
//   latis_test::XvncServer server(ServerOptions().WithPassword("secret12").WithSize(800, 600));
//   state.Port = server.Port();                     // connect to 127.0.0.1
//   server.RunClientAndWait({"xsetroot", "-solid", "red"});
//   latis_test::RgbImage screen = server.Screenshot();

#include "ChildProcess.h"
#include "RgbImage.h"

#include <memory>
#include <string>
#include <vector>

namespace latis_test {

struct ServerOptions {
    std::string Password; // empty: no authentication; otherwise VNC authentication with this password
    int Width = 1024;
    int Height = 768;
    int Depth = 24; // 16 or 24
    std::string DesktopName = "latis-test";
    std::vector<std::string> XvncArguments;   // appended to Xvnc's command line (e.g. -BlacklistThreshold)
    std::vector<std::string> X11vncArguments; // appended to x11vnc's command line (e.g. -ssl)
    std::string ListenAddress = "127.0.0.1";  // Xvnc only; "::1" for IPv6 loopback alone
    int Port = 0;                             // Xvnc only; 0: a free one (a server back on its old port)

    // Chainable, e.g. ServerOptions().WithPassword("secret12").WithSize(800, 600).
    ServerOptions& WithPassword(std::string password) {
        Password = std::move(password);
        return *this;
    }
    ServerOptions& WithSize(int width, int height) {
        Width = width;
        Height = height;
        return *this;
    }
    ServerOptions& WithDepth(int depth) {
        Depth = depth;
        return *this;
    }
    ServerOptions& WithXvncArguments(std::vector<std::string> arguments) {
        XvncArguments = std::move(arguments);
        return *this;
    }
    ServerOptions& WithListenAddress(std::string address) {
        ListenAddress = std::move(address);
        return *this;
    }
    ServerOptions& WithPort(int port) {
        Port = port;
        return *this;
    }
    ServerOptions& WithName(std::string name) {
        DesktopName = std::move(name);
        return *this;
    }
};

// What both kinds share: a private temporary folder, an X display, X clients and screenshots.
class XDisplayServer {
public:
    virtual ~XDisplayServer();
    XDisplayServer(const XDisplayServer&) = delete;
    XDisplayServer& operator=(const XDisplayServer&) = delete;

    int Port() const { return RfbPort; }
    int DisplayNumber() const { return Display; }
    std::string DisplayName() const {
        std::string name(1, ':'); // appended, not ":" + ...: GCC 12 warns falsely on that (-Wrestrict)
        return name += std::to_string(Display);
    }
    const ServerOptions& Options() const { return Settings; }

    // Starts an X client on the display; it runs until the server object ends.
    void RunClient(const std::vector<std::string>& argv);
    // Runs an X client on the display to its end (e.g. xsetroot); throws when it fails.
    std::string RunClientAndWait(const std::vector<std::string>& argv);
    // The whole screen as the X server holds it.
    RgbImage Screenshot();
    // Everything the server processes wrote, for failure messages.
    std::string Log() const;

protected:
    explicit XDisplayServer(const ServerOptions& options);
    // Starts a process that reports its display number on descriptor 3 (-displayfd 3).
    ChildProcess StartWithDisplayFd(const std::vector<std::string>& argv, int& display);
    // Waits until the port accepts connections while the process lives.
    void WaitForPort(ChildProcess& process, int port);
    std::string WritePasswordFile();

    ServerOptions Settings;
    std::string Folder;
    std::string LogPath;
    int RfbPort = 0;
    int Display = -1;
    std::vector<ChildProcess> Clients;
};

// TigerVNC's Xvnc: X server and RFB server in one. Offers VNC authentication when a password is set
// (it refuses new connections for a while after five wrong passwords: use a fresh server per test
// that sends wrong passwords), no authentication otherwise.
class XvncServer : public XDisplayServer {
public:
    explicit XvncServer(const ServerOptions& options = {});
    ~XvncServer() override;

private:
    ChildProcess Server;
};

// x11vnc serving its own Xvfb display. No lock-out after wrong passwords.
class X11vncServer : public XDisplayServer {
public:
    explicit X11vncServer(const ServerOptions& options = {});
    ~X11vncServer() override;

private:
    ChildProcess XServer;
    ChildProcess VncServer;
};

// TightVNC's Xtightvnc: X server and RFB server in one, offering VNC authentication when a password is
// set. It knows no -displayfd: the display is the first whose lock file is free.
class TightVncServer : public XDisplayServer {
public:
    explicit TightVncServer(const ServerOptions& options = {});
    ~TightVncServer() override;

private:
    ChildProcess Server;
};

// A plain Xvfb display for the viewer itself to run on (no RFB server; Port() is 0): Qt's xcb platform
// and xdotool then drive it as an operator's desktop would be.
class LocalXDisplay : public XDisplayServer {
public:
    explicit LocalXDisplay(const ServerOptions& options = {});
    ~LocalXDisplay() override;

    // The screen as Xvfb holds it in memory, with the pointer drawn in (Screenshot() leaves it out).
    RgbImage ScreenWithPointer() const;

private:
    ChildProcess XServer;
};

} // namespace latis_test
