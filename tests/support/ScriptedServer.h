#pragma once
// Test peers: a socket pair standing in for a server connection, a loopback listener on a free port,
// and a host that records what the engine posts.

#include "engine/HostMessages.h"
#include "engine/ViewerState.h"

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace latis_test {

// A connected pair: ClientSide goes to CCoolSocket::AttachConnected, the test plays the server.
class ScriptedPeer {
public:
    ScriptedPeer();
    // Plays the server on an accepted connection (LoopbackListener::Accept); owns the descriptor.
    explicit ScriptedPeer(int acceptedServerSide);
    ~ScriptedPeer();
    int TakeClientSide(); // ownership moves to the caller
    void Send(const std::vector<uint8_t>& bytes);
    void Send(const std::string& bytes);
    // Reads exactly n bytes the client sent; fails the test (returns what came) after the time limit.
    std::vector<uint8_t> Receive(size_t n, std::chrono::milliseconds limit = std::chrono::seconds(5));
    // Whatever arrives within the time.
    std::vector<uint8_t> Drain(std::chrono::milliseconds wait);
    void CloseServerSide();
    int ServerDescriptor() const { return Server; }

private:
    int Server = -1;
    int Client = -1;
};

// Listens on 127.0.0.1 on a free port; Accept waits for one connection.
class LoopbackListener {
public:
    LoopbackListener();
    ~LoopbackListener();
    int Port() const { return ListenPort; }
    int Accept(std::chrono::milliseconds limit = std::chrono::seconds(5)); // -1 on time-out
    void Close();

private:
    int Listener = -1;
    int ListenPort = 0;
};

// A port on 127.0.0.1 whose accept queue is full: a connection attempt to it stays pending (until
// the attempt's own time-out), for tests of ending a connect that has not finished.
class StalledListener {
public:
    StalledListener();
    ~StalledListener();
    StalledListener(const StalledListener&) = delete;
    StalledListener& operator=(const StalledListener&) = delete;
    int Port() const { return ListenPort; }

private:
    int Listener = -1;
    int ListenPort = 0;
    std::vector<int> Queued;
};

// A port on 127.0.0.1 that nothing listens on (bound then released).
int FreeLoopbackPort();

struct PostedMessage {
    dova::HostMessage Message;
    uint32_t WParam;
    uint32_t LParam;
};

class RecordingHost : public dova::IHostPoster {
public:
    void Post(dova::HostMessage message, uint32_t wParam, uint32_t lParam) override;
    std::vector<PostedMessage> Messages();
    size_t Count(dova::HostMessage message);
    // Waits until at least count messages of that kind were posted.
    bool WaitFor(dova::HostMessage message, size_t count = 1,
                 std::chrono::milliseconds limit = std::chrono::seconds(10));

private:
    std::mutex Mutex;
    std::condition_variable Changed;
    std::vector<PostedMessage> Posted;
};

// Waits (30 s at most) until a connect thread has posted Connected or queued its failure; the failure,
// or a stand-in when nothing came.
std::unique_ptr<dova::CSimpleException> AwaitConnectOutcome(RecordingHost& host, dova::CViewerState& state);

std::vector<uint8_t> Bytes(std::initializer_list<int> values);
void AppendU16(std::vector<uint8_t>& out, uint16_t v);
void AppendU32(std::vector<uint8_t>& out, uint32_t v);

} // namespace latis_test
