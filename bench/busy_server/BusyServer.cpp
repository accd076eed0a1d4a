// busy_server: an RFB server for benchmarks (not a test peer for correctness). Listens on 127.0.0.1,
// accepts any number of clients without authentication (RFB 3.3, 3.7 or 3.8), honours SetPixelFormat
// (true colour, 8/16/32 bpp) and answers every FramebufferUpdateRequest with a whole-screen Hextile
// update in which every tile changed, cycling a few pre-encoded frames. It stops by itself.
//
// usage: busy_server [--port P] [--size WxH] [--frames N] [--seconds S] [--progress] [--tls]
//                    [--tight-jpeg]
// --tls: offers only VeNCrypt (RFB 3.7 or 3.8) with the subtype TLSNone: anonymous TLS, no password,
// everything after the security handshake encrypted; 3.3 clients are refused.
// --tight-jpeg: a client whose pixel format is 32 bpp true colour with 8-bit channels and whose
// encodings put Tight before Hextile, with a JPEG quality level, gets the same pictures as Tight JPEG
// rectangles; any other client gets Hextile as without the option.
// Prints "port P" once it listens; with --progress, "frames N bytes B at T" (all clients so far, bytes
// as put on the wire, T the wall-clock time in seconds) every second; at exit one line per client with
// the frames it was sent, then the sessions and bytes of the whole run.
#include "HextileFrames.h"
#include "ServerConnection.h"
#include "TightJpegFrames.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <time.h>
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

namespace busy {

std::atomic<bool> StopAsked{false};

bool Over(Clock::time_point deadline) {
    return StopAsked.load(std::memory_order_relaxed) || Clock::now() >= deadline;
}

} // namespace busy

namespace {

using busy::Clock;
using busy::Over;
using busy::ServerConnection;

// How often the accepting loop looks at the deadline; also the send time-out of a client.
constexpr int PollMs = 200;
// Client cut text beyond this is refused (a benchmark client sends none of note).
constexpr uint32_t MaxCutText = 1 << 20;

struct Options {
    int Port = 0;
    int Width = 1920, Height = 1080;
    int Frames = 4;
    int Seconds = 120;
    bool Progress = false;
    bool Tls = false;
    bool TightJpeg = false;
};

std::atomic<uint64_t> FramesSent{0};
std::atomic<uint64_t> WireBytesSent{0};

// SIGTERM or SIGINT: end as at the deadline, with the report.
void AskStop(int) {
    busy::StopAsked.store(true, std::memory_order_relaxed);
}

struct ClientResult {
    uint64_t Frames = 0, Bytes = 0, WireBytes = 0;
    uint64_t TightFrames = 0;
    int QualityLevel = -1;
    bool Encrypted = false;
    double Seconds = 0;
    std::string Ending;
};

// What SetEncodings asked for, as far as this server cares.
struct EncodingChoice {
    bool TightBeforeHextile = false;
    int QualityLevel = -1; // the JPEG quality level 0-9, -1 without one
};

uint32_t Be32(const uint8_t* p) {
    return uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | p[3];
}

void PutBe32(std::vector<uint8_t>& out, uint32_t v) {
    out.insert(out.end(), {uint8_t(v >> 24), uint8_t(v >> 16), uint8_t(v >> 8), uint8_t(v)});
}

// A refusal with its reason: the security result of 3.8, or 3.3's failed type.
void Refuse(ServerConnection& c, int minor, const std::string& reason) {
    std::vector<uint8_t> out;
    if (minor >= 8 || minor < 7) {
        PutBe32(out, minor < 7 ? 0 : 1);
        PutBe32(out, uint32_t(reason.size()));
        out.insert(out.end(), reason.begin(), reason.end());
    }
    c.Write(out.data(), out.size());
}

// VeNCrypt 0.2 with TLSNone only: version, subtype, then the TLS handshake. The security result that
// follows travels inside TLS.
bool NegotiateVeNCrypt(ServerConnection& c, std::string& ending) {
    constexpr uint32_t TlsNone = 257;
    const uint8_t version[2] = {0, 2};
    uint8_t answer[2] = {};
    if (!c.Write(version, 2) || !c.Read(answer, 2))
        return false;
    if (answer[0] != 0 || answer[1] != 2) {
        const uint8_t refused = 1;
        c.Write(&refused, 1);
        ending = "VeNCrypt version " + std::to_string(answer[0]) + "." + std::to_string(answer[1]);
        return false;
    }
    std::vector<uint8_t> subtypes = {0, 1};
    PutBe32(subtypes, TlsNone);
    uint8_t chosen[4] = {};
    if (!c.Write(subtypes.data(), subtypes.size()) || !c.Read(chosen, 4))
        return false;
    if (Be32(chosen) != TlsNone) {
        const uint8_t refused = 0;
        c.Write(&refused, 1);
        ending = "VeNCrypt subtype " + std::to_string(Be32(chosen));
        return false;
    }
    const uint8_t accepted = 1;
    if (!c.Write(&accepted, 1))
        return false;
    if (!c.StartTls()) {
        ending = "TLS handshake failed";
        return false;
    }
    return true;
}

bool Handshake(ServerConnection& c, const Options& o, std::string& ending) {
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
    if (minor < 7 && o.Tls) {
        Refuse(c, minor, "This server speaks only VeNCrypt, which needs RFB 3.7 or later.");
        ending = "3.3 client refused";
        return false;
    }
    if (minor < 7) {
        const uint8_t none[4] = {0, 0, 0, 1};
        if (!c.Write(none, 4))
            return false;
    } else {
        const uint8_t securityType = o.Tls ? 19 : 1;
        const uint8_t offer[2] = {1, securityType};
        uint8_t chosen = 0;
        if (!c.Write(offer, 2) || !c.Read(&chosen, 1))
            return false;
        if (chosen != securityType) {
            ending = "security type " + std::to_string(chosen);
            return false;
        }
        if (o.Tls && !NegotiateVeNCrypt(c, ending))
            return false;
        // VeNCrypt's result comes in 3.7 too.
        const uint8_t ok[4] = {0, 0, 0, 0};
        if ((minor >= 8 || o.Tls) && !c.Write(ok, 4))
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

// The encodings list: where Tight stands against Hextile, and the first JPEG quality level in it.
bool ReadEncodings(ServerConnection& c, size_t count, EncodingChoice& choice) {
    constexpr int32_t Hextile = 5, Tight = 7, QualityLevel0 = -32, QualityLevel9 = -23;
    choice = EncodingChoice();
    bool hextileSeen = false;
    for (size_t i = 0; i < count; ++i) {
        uint8_t raw[4];
        if (!c.Read(raw, 4))
            return false;
        const auto encoding = int32_t(Be32(raw));
        if (encoding == Hextile)
            hextileSeen = true;
        else if (encoding == Tight && !hextileSeen)
            choice.TightBeforeHextile = true;
        else if (encoding >= QualityLevel0 && encoding <= QualityLevel9 && choice.QualityLevel < 0)
            choice.QualityLevel = encoding - QualityLevel0;
    }
    return true;
}

struct Frames {
    busy::FrameSet Hextile;
    busy::TightJpegFrameSet TightJpeg;
};

void Serve(int fd, const Options& o, Frames& frames, Clock::time_point deadline, ClientResult& result) {
    const auto start = Clock::now();
    ServerConnection c(fd, deadline);
    busy::WirePixelFormat format = busy::DefaultPixelFormat();
    EncodingChoice encodings;
    const std::vector<busy::EncodedFrame>* encoded = nullptr;
    bool tight = false;
    size_t next = 0;
    uint64_t wireCounted = 0;
    if (Handshake(c, o, result.Ending)) {
        result.Encrypted = c.Encrypted();
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
                ok = c.Read(body, 3) && ReadEncodings(c, size_t(body[1] << 8 | body[2]), encodings);
                encoded = nullptr;
                break;
            case 3: // FramebufferUpdateRequest: always the whole screen, every tile changed
                ok = c.Read(body, 9);
                if (ok) {
                    if (!encoded) {
                        tight = o.TightJpeg && encodings.TightBeforeHextile && encodings.QualityLevel >= 0 &&
                                busy::JpegEncodable(format);
                        encoded = tight ? &frames.TightJpeg.For(encodings.QualityLevel)
                                        : &frames.Hextile.For(format);
                    }
                    const busy::EncodedFrame& frame = (*encoded)[next++ % encoded->size()];
                    ok = c.Write(frame.Bytes.data(), frame.Bytes.size());
                    if (ok) {
                        ++result.Frames;
                        FramesSent.fetch_add(1, std::memory_order_relaxed);
                        result.Bytes += frame.Bytes.size();
                        if (tight) {
                            ++result.TightFrames;
                            result.QualityLevel = encodings.QualityLevel;
                        }
                    }
                    WireBytesSent.fetch_add(c.WireBytes() - wireCounted, std::memory_order_relaxed);
                    wireCounted = c.WireBytes();
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
        if (a == "--progress" || a == "--tls" || a == "--tight-jpeg") {
            (a == "--progress" ? o.Progress : a == "--tls" ? o.Tls : o.TightJpeg) = true;
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
                     "usage: busy_server [--port P] [--size WxH] [--frames N] [--seconds S] [--progress] "
                     "[--tls] [--tight-jpeg]\n");
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

    const auto started = Clock::now();
    const auto deadline = started + std::chrono::seconds(o.Seconds);
    Frames frames{{o.Width, o.Height, o.Frames}, {o.Width, o.Height, o.Frames}};
    std::vector<std::thread> clients;
    std::vector<std::unique_ptr<ClientResult>> results;
    auto nextReport = Clock::now() + std::chrono::seconds(1);
    std::signal(SIGTERM, AskStop);
    std::signal(SIGINT, AskStop);
    while (!Over(deadline)) {
        if (o.Progress && Clock::now() >= nextReport) {
            timespec now{};
            clock_gettime(CLOCK_REALTIME, &now);
            std::printf("frames %llu bytes %llu at %lld.%03ld\n",
                        static_cast<unsigned long long>(FramesSent.load()),
                        static_cast<unsigned long long>(WireBytesSent.load()),
                        static_cast<long long>(now.tv_sec), now.tv_nsec / 1000000);
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
    const double seconds = std::chrono::duration<double>(Clock::now() - started).count();
    size_t encrypted = 0, tight = 0;
    for (size_t i = 0; i < results.size(); ++i) {
        const ClientResult& r = *results[i];
        std::string kind = r.Encrypted ? ", TLS" : "";
        if (r.TightFrames > 0)
            kind += ", " + std::to_string(r.TightFrames) + " Tight JPEG (quality level " +
                    std::to_string(r.QualityLevel) + ")";
        std::printf("client %zu: %llu frames, %.1f MB, %.1f s, %.1f frames/s, %s%s\n", i,
                    static_cast<unsigned long long>(r.Frames), double(r.Bytes) / 1e6, r.Seconds,
                    r.Seconds > 0 ? double(r.Frames) / r.Seconds : 0.0, r.Ending.c_str(), kind.c_str());
        encrypted += r.Encrypted ? 1 : 0;
        tight += r.TightFrames > 0 ? 1 : 0;
    }
    std::printf(
        "sessions %zu: %zu TLS, %zu Tight JPEG; %llu frames, %.1f MB on the wire in %.1f s, %.2f MB/s\n",
        results.size(), encrypted, tight, static_cast<unsigned long long>(FramesSent.load()),
        double(WireBytesSent.load()) / 1e6, seconds, double(WireBytesSent.load()) / 1e6 / seconds);
    return 0;
}
