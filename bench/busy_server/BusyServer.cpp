// busy_server: an RFB server for benchmarks (not a test peer for correctness). Listens on 127.0.0.1,
// accepts any number of clients without authentication (RFB 3.3, 3.7 or 3.8), honours SetPixelFormat
// (true colour, 8/16/32 bpp) and answers every FramebufferUpdateRequest with a whole-screen Hextile
// update in which every tile changed, cycling a few pre-encoded frames. It stops by itself.
//
// usage: busy_server [--port P] [--size WxH] [--frames N] [--seconds S] [--progress]
// Prints "port P" once it listens; with --progress, "frames N" (all clients, so far) every second; at
// exit one line per client with the frames it was sent.
#include "HextileFrames.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

// How often a blocked read looks at the deadline.
constexpr int PollMs = 200;
// Client cut text beyond this is refused (a benchmark client sends none of note).
constexpr uint32_t MaxCutText = 1 << 20;

struct Options {
    int Port = 0;
    int Width = 1920, Height = 1080;
    int Frames = 4;
    int Seconds = 120;
    bool Progress = false;
};

std::atomic<uint64_t> FramesSent{0};
// Set by SIGTERM or SIGINT: end as at the deadline, with the report.
volatile std::sig_atomic_t StopAsked = 0;

void AskStop(int) {
    StopAsked = 1;
}

bool Over(Clock::time_point deadline) {
    return StopAsked || Clock::now() >= deadline;
}

struct ClientResult {
    uint64_t Frames = 0, Bytes = 0;
    double Seconds = 0;
    std::string Ending;
};

class Connection {
public:
    Connection(int fd, Clock::time_point deadline) : Fd(fd), Deadline(deadline) {}
    ~Connection() { close(Fd); }

    // false at the deadline or when the peer went away.
    bool Read(void* to, size_t size) {
        auto* p = static_cast<uint8_t*>(to);
        while (size > 0) {
            pollfd pfd{Fd, POLLIN, 0};
            if (Over(Deadline))
                return false;
            const int ready = poll(&pfd, 1, PollMs);
            if (ready < 0 && errno != EINTR)
                return false;
            if (ready <= 0)
                continue;
            const ssize_t n = recv(Fd, p, size, 0);
            if (n <= 0)
                return false;
            p += n;
            size -= size_t(n);
        }
        return true;
    }
    bool Write(const void* from, size_t size) {
        auto* p = static_cast<const uint8_t*>(from);
        while (size > 0) {
            const ssize_t n = send(Fd, p, size, MSG_NOSIGNAL);
            if (n <= 0) {
                // A send time-out lets a client that stopped reading be dropped at the deadline.
                if (n < 0 && (errno == EINTR || errno == EAGAIN) && !Over(Deadline))
                    continue;
                return false;
            }
            p += n;
            size -= size_t(n);
        }
        return true;
    }
    bool Skip(size_t size) {
        uint8_t sink[256];
        while (size > 0) {
            const size_t part = std::min(size, sizeof sink);
            if (!Read(sink, part))
                return false;
            size -= part;
        }
        return true;
    }

private:
    int Fd;
    Clock::time_point Deadline;
};

uint32_t Be32(const uint8_t* p) {
    return uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | p[3];
}

bool Handshake(Connection& c, const Options& o, std::string& ending) {
    if (!c.Write("RFB 003.008\n", 12))
        return false;
    char version[13] = {};
    if (!c.Read(version, 12))
        return false;
    int major = 0, minor = 0;
    if (std::sscanf(version, "RFB %3d.%3d", &major, &minor) != 2 || major != 3) {
        ending = "bad version";
        return false;
    }
    if (minor < 7) {
        const uint8_t none[4] = {0, 0, 0, 1};
        if (!c.Write(none, 4))
            return false;
    } else {
        const uint8_t offer[2] = {1, 1};
        uint8_t chosen = 0;
        if (!c.Write(offer, 2) || !c.Read(&chosen, 1))
            return false;
        if (chosen != 1) {
            ending = "security type " + std::to_string(chosen);
            return false;
        }
        const uint8_t ok[4] = {0, 0, 0, 0};
        if (minor >= 8 && !c.Write(ok, 4))
            return false;
    }
    uint8_t shared = 0;
    if (!c.Read(&shared, 1))
        return false;
    static const char name[] = "busy_server";
    std::vector<uint8_t> init = {uint8_t(o.Width >> 8), uint8_t(o.Width), uint8_t(o.Height >> 8),
                                 uint8_t(o.Height)};
    const busy::WirePixelFormat format = busy::DefaultPixelFormat();
    init.insert(init.end(), format.begin(), format.end());
    const uint32_t length = sizeof name - 1;
    init.insert(init.end(),
                {uint8_t(length >> 24), uint8_t(length >> 16), uint8_t(length >> 8), uint8_t(length)});
    init.insert(init.end(), name, name + length);
    return c.Write(init.data(), init.size());
}

void Serve(int fd, const Options& o, busy::FrameSet& frames, Clock::time_point deadline,
           ClientResult& result) {
    const auto start = Clock::now();
    Connection c(fd, deadline);
    busy::WirePixelFormat format = busy::DefaultPixelFormat();
    const std::vector<busy::EncodedFrame>* encoded = nullptr;
    size_t next = 0;
    if (Handshake(c, o, result.Ending)) {
        for (;;) {
            uint8_t type = 0;
            if (!c.Read(&type, 1))
                break;
            uint8_t body[19];
            bool ok = true;
            switch (type) {
            case 0: // SetPixelFormat
                ok = c.Read(body, 19);
                if (ok) {
                    std::memcpy(format.data(), body + 3, 16);
                    encoded = nullptr;
                    if (!busy::Encodable(format)) {
                        result.Ending = "pixel format not encodable";
                        ok = false;
                    }
                }
                break;
            case 2: // SetEncodings
                ok = c.Read(body, 3) && c.Skip(size_t(body[1] << 8 | body[2]) * 4);
                break;
            case 3: // FramebufferUpdateRequest: always the whole screen, every tile changed
                ok = c.Read(body, 9);
                if (ok) {
                    if (!encoded)
                        encoded = &frames.For(format);
                    const busy::EncodedFrame& frame = (*encoded)[next++ % encoded->size()];
                    ok = c.Write(frame.Bytes.data(), frame.Bytes.size());
                    if (ok) {
                        ++result.Frames;
                        FramesSent.fetch_add(1, std::memory_order_relaxed);
                        result.Bytes += frame.Bytes.size();
                    }
                }
                break;
            case 4: // KeyEvent
                ok = c.Read(body, 7);
                break;
            case 5: // PointerEvent
                ok = c.Read(body, 5);
                break;
            case 6: // ClientCutText
                ok = c.Read(body, 7) && Be32(body + 3) <= MaxCutText && c.Skip(Be32(body + 3));
                break;
            default:
                result.Ending = "unknown message " + std::to_string(type);
                ok = false;
                break;
            }
            if (!ok)
                break;
        }
    }
    if (result.Ending.empty())
        result.Ending = Over(deadline) ? "time up" : "closed";
    result.Seconds = std::chrono::duration<double>(Clock::now() - start).count();
}

bool ParseArguments(int argc, char** argv, Options& o) {
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--progress") {
            o.Progress = true;
            continue;
        }
        const char* v = i + 1 < argc ? argv[i + 1] : nullptr;
        if (!v)
            return false;
        ++i;
        if (a == "--port")
            o.Port = std::atoi(v);
        else if (a == "--size") {
            if (std::sscanf(v, "%dx%d", &o.Width, &o.Height) != 2)
                return false;
        } else if (a == "--frames")
            o.Frames = std::atoi(v);
        else if (a == "--seconds")
            o.Seconds = std::atoi(v);
        else
            return false;
    }
    return o.Port >= 0 && o.Port < 65536 && o.Width > 0 && o.Width <= 16384 && o.Height > 0 &&
           o.Height <= 16384 && o.Frames > 0 && o.Seconds > 0;
}

} // namespace

int main(int argc, char** argv) {
    Options o;
    if (!ParseArguments(argc, argv, o)) {
        std::fprintf(stderr,
                     "usage: busy_server [--port P] [--size WxH] [--frames N] [--seconds S] [--progress]\n");
        return 2;
    }
    const int listener = socket(AF_INET, SOCK_STREAM, 0);
    const int yes = 1;
    setsockopt(listener, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(uint16_t(o.Port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t size = sizeof address;
    if (bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        listen(listener, 128) != 0 ||
        getsockname(listener, reinterpret_cast<sockaddr*>(&address), &size) != 0) {
        std::perror("busy_server: listen");
        return 1;
    }
    std::printf("port %d\n", ntohs(address.sin_port));
    std::fflush(stdout);

    const auto deadline = Clock::now() + std::chrono::seconds(o.Seconds);
    busy::FrameSet frames(o.Width, o.Height, o.Frames);
    std::vector<std::thread> clients;
    std::vector<std::unique_ptr<ClientResult>> results;
    auto nextReport = Clock::now() + std::chrono::seconds(1);
    std::signal(SIGTERM, AskStop);
    std::signal(SIGINT, AskStop);
    while (!Over(deadline)) {
        if (o.Progress && Clock::now() >= nextReport) {
            std::printf("frames %llu\n", static_cast<unsigned long long>(FramesSent.load()));
            std::fflush(stdout);
            nextReport += std::chrono::seconds(1);
        }
        pollfd pfd{listener, POLLIN, 0};
        if (poll(&pfd, 1, PollMs) <= 0)
            continue;
        const int fd = accept(listener, nullptr, nullptr);
        if (fd < 0)
            continue;
        setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &yes, sizeof yes);
        const timeval sendLimit{0, PollMs * 1000};
        setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &sendLimit, sizeof sendLimit);
        results.push_back(std::make_unique<ClientResult>());
        clients.emplace_back(Serve, fd, std::cref(o), std::ref(frames), deadline, std::ref(*results.back()));
    }
    close(listener);
    for (std::thread& t : clients)
        t.join();
    for (size_t i = 0; i < results.size(); ++i) {
        const ClientResult& r = *results[i];
        std::printf("client %zu: %llu frames, %.1f MB, %.1f s, %.1f frames/s, %s\n", i,
                    static_cast<unsigned long long>(r.Frames), double(r.Bytes) / 1e6, r.Seconds,
                    r.Seconds > 0 ? double(r.Frames) / r.Seconds : 0.0, r.Ending.c_str());
    }
    return 0;
}
