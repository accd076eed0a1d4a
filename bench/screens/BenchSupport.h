#pragma once
// Small pieces every read-path benchmark needs: the calling thread's CPU clock, whole sends and
// receives on a loopback socket, and a session link that never waits (no pacing, no frame gate).

#include "engine/CoolSocket.h"
#include "engine/RfbProtocol.h"
#include "engine/ServerMessageReader.h"
#include "engine/ViewerState.h"
#include "framebuffer/FrameBuffer.h"

#include <sys/socket.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <ctime>
#include <vector>

namespace latis_bench {

inline double ThreadCpuMs() {
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return double(t.tv_sec) * 1e3 + double(t.tv_nsec) / 1e6;
}

inline bool SendAll(int fd, const std::vector<uint8_t>& bytes) {
    for (size_t sent = 0; sent < bytes.size();) {
        const ssize_t n = ::send(fd, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
        if (n <= 0)
            return false;
        sent += size_t(n);
    }
    return true;
}

inline bool ReceiveAll(int fd, uint8_t* buffer, size_t n) {
    for (size_t got = 0; got < n;) {
        const ssize_t r = ::recv(fd, buffer + got, n - got, 0);
        if (r <= 0)
            return false;
        got += size_t(r);
    }
    return true;
}

class NoWaitLink : public dova::ISessionLink {
public:
    bool AwaitFramesAllowed() override { return true; }
    bool AwaitDelay(std::chrono::milliseconds) override { return true; }
    void ReadServerInit() override {}
    void StartCodedStream() override {}
    void SwitchStreamCoding(const uint8_t*) override {}
};

// The session's message reader on a plain loopback connection (no handshake), with a framebuffer of
// the given size in the depth's own format (depth 24 at 32 bits when Tight or ZRLE is among the codecs).
struct LoopbackReader {
    LoopbackReader(int width, int height, int bpp, uint16_t port, const std::vector<int32_t>& codecs = {})
        : Socket(State), Protocol(State, Socket) {
        if (!codecs.empty()) {
            State.Codecs.fill(-1);
            std::copy(codecs.begin(), codecs.end(), State.Codecs.begin());
        }
        State.SetRequestedPixelFormat(bpp);
        State.CurrentPixelFormat = State.RequestedPixelFormat;
        State.FrameWidth = width;
        State.FrameHeight = height;
        Frame.Create(width, height, State.CurrentPixelFormat);
        State.FrameBuffer = &Frame;
        Socket.Connect("127.0.0.1", port);
    }
    ~LoopbackReader() {
        Socket.CloseByOwner(true);
        State.FrameBuffer = nullptr;
    }

    dova::CViewerState State;
    dova::CFrameBuffer Frame;
    dova::CCoolSocket Socket;
    dova::CRfbProtocol Protocol;
    NoWaitLink Link;
    dova::CServerMessageReader Reader{Protocol, Link};
};

} // namespace latis_bench
