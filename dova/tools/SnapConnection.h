#pragma once
// One viewer connection driven from the command line: the engine's state, socket and connect thread,
// and a host that answers the password prompt with the password given on the command line.

#include "SnapOptions.h"

#include "base/EngineExceptions.h"
#include "engine/ConnectThread.h"
#include "engine/CoolSocket.h"
#include "engine/HostMessages.h"
#include "engine/ViewerState.h"

#include <chrono>
#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>

namespace dova_snap {

// Receives what the engine posts; the main thread takes the messages in order.
class SnapHost : public dova::IHostPoster {
public:
    void Post(dova::HostMessage message, uint32_t wParam, uint32_t lParam) override;
    // Waits for the next message; false after the time limit.
    bool Next(dova::HostMessage& message, uint32_t& wParam, uint32_t& lParam,
              std::chrono::milliseconds limit);

private:
    struct Posted {
        dova::HostMessage Message;
        uint32_t WParam, LParam;
    };
    std::mutex Mutex;
    std::condition_variable Changed;
    std::deque<Posted> Queue;
};

class SnapConnection {
public:
    explicit SnapConnection(const SnapOptions& options);
    ~SnapConnection();

    // Runs the handshake; returns normally once connected, or throws the engine's exception.
    void Connect(std::chrono::milliseconds limit);

    dova::CViewerState& State() { return Viewer; }
    dova::CCoolSocket& Socket() { return Connection; }
    SnapHost& Host() { return Poster; }
    const SnapOptions& Options() const { return Settings; }

    // Host side of the engine's messages: answers the password prompt, rethrows reported failures.
    // Returns true for messages it handled itself.
    bool HandleCommon(dova::HostMessage message);

private:
    SnapOptions Settings;
    SnapHost Poster;
    dova::CViewerState Viewer{&Poster};
    dova::CCoolSocket Connection{Viewer};
    std::unique_ptr<dova::CConnectThread> ConnectThread;
};

} // namespace dova_snap
