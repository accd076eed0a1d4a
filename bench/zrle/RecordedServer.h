#pragma once
// Plays the server for one viewer on 127.0.0.1: optionally the RFB 3.8 handshake (security None) and a
// ServerInit, then the recorded updates in order, pushed as fast as the viewer reads them (a server
// with a busy screen always has the next update ready). Then it closes its side and waits for the
// viewer to close.

#include <cstdint>
#include <thread>
#include <vector>

namespace latis_bench {

class CRecordedServer {
public:
    CRecordedServer(std::vector<const std::vector<uint8_t>*> updates, int bitsPerPixel, bool handshake);
    ~CRecordedServer();
    CRecordedServer(const CRecordedServer&) = delete;
    CRecordedServer& operator=(const CRecordedServer&) = delete;

    uint16_t Port() const { return ListenPort; }

private:
    void Serve();

    std::vector<const std::vector<uint8_t>*> Updates;
    int BitsPerPixel;
    bool Handshake;
    int Listener = -1;
    uint16_t ListenPort = 0;
    std::thread Thread;
};

} // namespace latis_bench
