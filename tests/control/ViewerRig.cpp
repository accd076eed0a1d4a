#include "ViewerRig.h"

#include <gtest/gtest.h>

#include <QThread>

#include <cstdlib>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

// The system's font configuration library keeps a cache it never frees, and D-Bus (which Qt's xcb
// platform talks to on a real display) a buffer; neither is ours to report under the leak checker.
extern "C" const char* __lsan_default_suppressions() {
    return "leak:libfontconfig.so\nleak:libdbus-1.so\n";
}

namespace latis_test {

QApplication& TestApplication() {
    static int argc = 1;
    static char name[] = "viewer-tests";
    static char* argv[] = {name, nullptr};
    static QApplication* app = [] {
        setenv("QT_QPA_PLATFORM", "offscreen", 0);
        return new QApplication(argc, argv);
    }();
    return *app;
}

bool PumpUntil(const std::function<bool()>& done, std::chrono::milliseconds limit) {
    const auto end = std::chrono::steady_clock::now() + limit;
    while (!done()) {
        if (std::chrono::steady_clock::now() > end)
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        QThread::msleep(2);
    }
    return true;
}

void PumpFor(std::chrono::milliseconds time) {
    PumpUntil([] { return false; }, time);
}

void RecordingSink::Connected(QString& ServerName) {
    Events.push_back("Connected:" + ServerName.toStdString());
    if (OnConnected)
        OnConnected();
}
void RecordingSink::Disconnected() {
    Events.push_back("Disconnected");
}
void RecordingSink::Password() {
    Events.push_back("Password");
    if (OnPassword)
        OnPassword();
}
void RecordingSink::FrameUpdated(int32_t X, int32_t Y, int32_t W, int32_t H) {
    Events.push_back("FrameUpdated:" + std::to_string(X) + "," + std::to_string(Y) + "," + std::to_string(W) +
                     "," + std::to_string(H));
}
void RecordingSink::Error(int32_t Number, QString& Message, const dova::VNCVariant& v1) {
    Events.push_back("Error:" + std::to_string(Number) + ":" + Message.toStdString() +
                     (v1.IsMissing() ? "" : ":cause=" + std::to_string(v1.ToInt32())));
}
void RecordingSink::Warning(int32_t Number, QString& Message, const dova::VNCVariant&) {
    Events.push_back("Warning:" + std::to_string(Number) + ":" + Message.toStdString());
}
void RecordingSink::BeforeKeyDown(int32_t Modifiers, int32_t KeyCode, int32_t& Action) {
    Events.push_back("BeforeKeyDown:" + std::to_string(Modifiers) + "," + std::to_string(KeyCode) + "," +
                     std::to_string(Action));
    Action = KeyAction;
}
void RecordingSink::BeforeKeyUp(int32_t Modifiers, int32_t KeyCode, int32_t& Action) {
    Events.push_back("BeforeKeyUp:" + std::to_string(Modifiers) + "," + std::to_string(KeyCode) + "," +
                     std::to_string(Action));
    Action = KeyAction;
}
void RecordingSink::BeforeMouseDown(int32_t Buttons, int32_t Modifiers, int32_t X, int32_t Y,
                                    int32_t& Action) {
    Events.push_back("BeforeMouseDown:" + std::to_string(Buttons) + "," + std::to_string(Modifiers) + "," +
                     std::to_string(X) + "," + std::to_string(Y) + "," + std::to_string(Action));
}
void RecordingSink::BeforeMouseUp(int32_t Buttons, int32_t Modifiers, int32_t X, int32_t Y, int32_t& Action) {
    Events.push_back("BeforeMouseUp:" + std::to_string(Buttons) + "," + std::to_string(Modifiers) + "," +
                     std::to_string(X) + "," + std::to_string(Y) + "," + std::to_string(Action));
}
void RecordingSink::MouseTrap(dova::VNCBool Trapped) {
    Events.push_back("MouseTrap:" + std::to_string(Trapped));
}
void RecordingSink::ScreenEdgeDetected(int32_t Edge) {
    Events.push_back("ScreenEdge:" + std::to_string(Edge));
}
void RecordingSink::ServerBell(int32_t& Action) {
    Events.push_back("ServerBell:" + std::to_string(Action));
    Action = BellAction;
}
void RecordingSink::ServerClipboard(int32_t DataType, dova::VNCVariant& Data, int32_t& Action) {
    Events.push_back("ServerClipboard:" + std::to_string(DataType) + ":" + Data.ToText().toStdString() + ":" +
                     std::to_string(Action));
    if (ClipboardAction != -99)
        Action = ClipboardAction;
}
void RecordingSink::LocalClipboard(int32_t DataType, dova::VNCVariant& Data, int32_t& Action) {
    Events.push_back("LocalClipboard:" + std::to_string(DataType) + ":" + Data.ToText().toStdString() + ":" +
                     std::to_string(Action));
    if (ClipboardAction != -99)
        Action = ClipboardAction;
}

size_t RecordingSink::Count(const std::string& prefix) const {
    size_t n = 0;
    for (const std::string& e : Events)
        if (e.rfind(prefix, 0) == 0)
            ++n;
    return n;
}

ScriptedRfbServer::ScriptedRfbServer() = default;
ScriptedRfbServer::~ScriptedRfbServer() {
    Close();
}

void ScriptedRfbServer::Send(const std::vector<uint8_t>& bytes) {
    size_t sent = 0;
    while (sent < bytes.size()) {
        const ssize_t n = ::send(Connection, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
        if (n <= 0) {
            ADD_FAILURE() << "the viewer's connection closed while the server was sending";
            return;
        }
        sent += size_t(n);
    }
}

std::vector<uint8_t> ScriptedRfbServer::Receive(size_t n) {
    std::vector<uint8_t> bytes(n);
    size_t got = 0;
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (got < n && std::chrono::steady_clock::now() < end) {
        pollfd p{Connection, POLLIN, 0};
        if (::poll(&p, 1, 50) <= 0)
            continue;
        const ssize_t r = ::recv(Connection, bytes.data() + got, n - got, 0);
        if (r <= 0)
            break;
        got += size_t(r);
    }
    EXPECT_EQ(got, n) << "bytes the viewer sent";
    bytes.resize(got);
    return bytes;
}

void ScriptedRfbServer::Handshake(int width, int height, int bitsPerPixel, const std::string& name) {
    Connection = Listener.Accept();
    ASSERT_GE(Connection, 0) << "the viewer did not connect";
    ServerStream hello;
    hello.Text("RFB 003.003\n");
    Send(hello.Data);
    Receive(12);
    Send(Bytes({0, 0, 0, 1})); // no authentication
    Receive(1);                // ClientInit
    ServerStream init;
    init.ServerInit(width, height, bitsPerPixel, name);
    Send(init.Data);
    Receive(20); // SetPixelFormat
    const std::vector<uint8_t> head = Receive(4);
    if (head.size() == 4)
        Receive(size_t((head[2] << 8) | head[3]) * 4); // SetEncodings
}

void ScriptedRfbServer::Close() {
    if (Connection >= 0) {
        ::close(Connection);
        Connection = -1;
    }
}

ViewerRig::ViewerRig(int width, int height) {
    TestApplication();
    Viewer = std::make_unique<dova::CVNCViewer>();
    Viewer->resize(width, height);
    Viewer->show();
    Viewer->Advise(&Sink);
}

ViewerRig::~ViewerRig() {
    if (!Viewer)
        return; // the test let go of it (e.g. deleteLater from a handler)
    Viewer->Unadvise(&Sink);
    Viewer.reset();
}

void ViewerRig::ConnectTo(ScriptedRfbServer& server, int frameWidth, int frameHeight, bool start) {
    if (start)
        Sink.OnConnected = [this] { Viewer->Start(nullptr); };
    dova::VNCVariant result;
    Viewer->Connect(QStringLiteral("127.0.0.1"), int32_t(server.Port()), dova::VNCVariant(),
                    dova::VNCVariant(), &result);
    ASSERT_EQ(result.ToInt32(), 0);
    server.Handshake(frameWidth, frameHeight);
    ASSERT_TRUE(PumpUntil([this] { return Sink.Count("Connected") == 1; }));
}

int32_t ViewerRig::Int(dova::VNCStatus (dova::CVNCViewer::*getter)(int32_t*)) {
    int32_t value = -12345;
    EXPECT_EQ((Viewer.get()->*getter)(&value), dova::VNC_S_OK);
    return value;
}

} // namespace latis_test
