#pragma once
// A viewer widget on the offscreen platform with a recording event sink, and a scripted RFB server on
// a loopback port that takes it through the handshake.

#include "VNCViewer.h"

#include "ScriptedServer.h"
#include "ServerStream.h"

#include <QApplication>

#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace latis_test {

// The process's QApplication (offscreen), made on first use.
QApplication& TestApplication();

// Processes events until done() or the time runs out; returns done().
bool PumpUntil(const std::function<bool()>& done, std::chrono::milliseconds limit = std::chrono::seconds(10));
// Processes events for a while.
void PumpFor(std::chrono::milliseconds time);

class RecordingSink : public dova::IVNCViewerEvents {
public:
    void Connected(QString& ServerName) override;
    void Disconnected() override;
    void Password() override;
    void FrameUpdated(int32_t X, int32_t Y, int32_t W, int32_t H) override;
    void Error(int32_t Number, QString& Message, const dova::VNCVariant& v1) override;
    void Warning(int32_t Number, QString& Message, const dova::VNCVariant& v1) override;
    void BeforeKeyDown(int32_t Modifiers, int32_t KeyCode, int32_t& Action) override;
    void BeforeKeyUp(int32_t Modifiers, int32_t KeyCode, int32_t& Action) override;
    void BeforeMouseDown(int32_t Buttons, int32_t Modifiers, int32_t X, int32_t Y, int32_t& Action) override;
    void BeforeMouseUp(int32_t Buttons, int32_t Modifiers, int32_t X, int32_t Y, int32_t& Action) override;
    void MouseTrap(dova::VNCBool Trapped) override;
    void ScreenEdgeDetected(int32_t Edge) override;
    void ServerBell(int32_t& Action) override;
    void ServerClipboard(int32_t DataType, dova::VNCVariant& Data, int32_t& Action) override;
    void LocalClipboard(int32_t DataType, dova::VNCVariant& Data, int32_t& Action) override;

    size_t Count(const std::string& prefix) const;
    std::vector<std::string> Events;
    std::function<void()> OnConnected; // e.g. start the session
    std::function<void()> OnPassword;
    int32_t KeyAction = 3;         // the answer to BeforeKeyDown / BeforeKeyUp
    int32_t BellAction = 65535;    // the answer to ServerBell
    int32_t ClipboardAction = -99; // -99: leave the Action as the viewer offered it
};

// Plays an RFB 3.3 server without authentication on one accepted connection.
class ScriptedRfbServer {
public:
    ScriptedRfbServer();
    ~ScriptedRfbServer();
    int Port() const { return Listener.Port(); }
    // Accepts the viewer's connection and runs the server side of the handshake up to and including
    // the client's SetPixelFormat and SetEncodings.
    void Handshake(int width, int height, int bitsPerPixel = 16, const std::string& name = "scripted");
    void Send(const std::vector<uint8_t>& bytes);
    // Reads exactly n bytes from the viewer (fails the test after the time).
    std::vector<uint8_t> Receive(size_t n);
    void Close();

private:
    LoopbackListener Listener;
    int Connection = -1;
};

// A viewer of the given client size, with its sink advised.
struct ViewerRig {
    explicit ViewerRig(int width = 800, int height = 600);
    ~ViewerRig();
    // Connects to the scripted server, runs the handshake and, when start is set, Start.
    void ConnectTo(ScriptedRfbServer& server, int frameWidth, int frameHeight, bool start = true);
    int32_t Int(dova::VNCStatus (dova::CVNCViewer::*getter)(int32_t*));

    std::unique_ptr<dova::CVNCViewer> Viewer;
    RecordingSink Sink;
};

} // namespace latis_test
