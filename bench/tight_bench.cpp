// Tight against ZRLE on what a real server sends: bytes per whole-screen update, and the CPU the
// session's message reader spends per update against libvncclient's on the same recorded bytes.
// tight_bench.sh starts Xvnc at 1920 x 1080, shows a scene (text and windows, or a photo) and runs
//
//   tight_bench PORT SCENE [frames] [rounds]
//
// which records, from one connection each, ZRLE, Tight without JPEG and Tight with JPEG quality 5 (all
// 32 bpp, depth 24), then serves each recording again to the reader and to libvncclient.
// For profiling: TIGHT_BENCH_SCENE=<scene> runs that scene only; TIGHT_BENCH_ONLY=<part of a stream
// name> keeps one stream and also prints the reader's kernel time (tick-sampled usage counts), page
// faults and waits; TIGHT_BENCH_NO_PEER=1 skips libvncclient; TIGHT_BENCH_PERF_CONTROL=<fifo> has
// `perf record -D -1 --control fifo:<fifo>` sample only the reader's timed updates, or libvncclient's
// runs with TIGHT_BENCH_PERF_PEER=1; TIGHT_BENCH_SAVE=<prefix> writes each stream's recorded updates to
// "<prefix><scene> <stream>.rfb" (for tight_floor).

#include "framebuffer/TightDecoder.h"
#include "framebuffer/ZrleDecoder.h"
#include "screens/BenchSupport.h"
#include "tight/ServerRecorder.h"
#include "zrle/RecordedServer.h"
#ifdef LATIS_BENCH_VNCCLIENT
#include "zrle/VncClientPeer.h"
#endif

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <sys/resource.h>
#include <thread>

using namespace dova;
using namespace latis_bench;

namespace {

constexpr int Warmup = 2;

// PSNR in dB of a frame against another (0x00RRGGBB each); infinite when equal.
double Psnr(const std::vector<uint32_t>& a, const std::vector<uint32_t>& b) {
    if (a.size() != b.size() || a.empty())
        return 0;
    double squares = 0;
    for (size_t i = 0; i < a.size(); ++i)
        for (int s = 0; s < 24; s += 8) {
            const double d = double(int(a[i] >> s & 255) - int(b[i] >> s & 255));
            squares += d * d;
        }
    return squares == 0 ? INFINITY : 10 * std::log10(255.0 * 255.0 * 3 * double(a.size()) / squares);
}

rusage ThreadUsage() {
    rusage usage{};
    getrusage(RUSAGE_THREAD, &usage);
    return usage;
}

struct Run {
    double CpuMs = 1e18;
    double SystemMs = 0; // of CpuMs, in the kernel
    long Faults = 0;     // page faults
    long Switches = 0;   // waits
    double Psnr = 0;     // against the frame the recorder drew
};

// Tells perf (when asked to) to start or stop sampling; TIGHT_BENCH_PERF_PEER=1 samples libvncclient's
// whole run instead of the reader's updates.
bool PerfOnPeer() {
    const char* peer = std::getenv("TIGHT_BENCH_PERF_PEER");
    return peer && std::strcmp(peer, "1") == 0;
}

void PerfControl(const char* command) {
    static FILE* fifo = [] {
        const char* path = std::getenv("TIGHT_BENCH_PERF_CONTROL");
        return path && *path ? std::fopen(path, "w") : nullptr;
    }();
    if (fifo) {
        std::fprintf(fifo, "%s\n", command);
        std::fflush(fifo);
        // perf reads the command a little later: no code of ours runs until it has.
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
}

Run RunReader(const std::vector<const std::vector<uint8_t>*>& updates, const std::vector<uint32_t>& last,
              int width, int height) {
    CRecordedServer server(updates, 32, false);
    LoopbackReader session(width, height, 32, server.Port(), {encodings::Tight});
    session.Reader.RequestFirstUpdate();
    for (int i = 0; i < Warmup; ++i)
        session.Reader.ReadMessage();
    if (!PerfOnPeer())
        PerfControl("enable");
    const rusage before = ThreadUsage();
    const double start = ThreadCpuMs();
    for (size_t i = Warmup; i < updates.size(); ++i)
        session.Reader.ReadMessage();
    if (!PerfOnPeer())
        PerfControl("disable");
    const double spent = ThreadCpuMs() - start;
    const rusage after = ThreadUsage();
    const auto ms = [](const timeval& t) { return double(t.tv_sec) * 1e3 + double(t.tv_usec) / 1e3; };
    Run run{.CpuMs = spent,
            .SystemMs = ms(after.ru_stime) - ms(before.ru_stime),
            .Faults = after.ru_minflt - before.ru_minflt,
            .Switches = after.ru_nvcsw - before.ru_nvcsw};
    std::vector<uint32_t> pixels(size_t(width) * height);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            uint32_t v;
            std::memcpy(&v, session.Frame.Data() + y * session.Frame.Stride() + x * 4, 4);
            pixels[size_t(y) * width + size_t(x)] = v & 0xFFFFFFu;
        }
    run.Psnr = Psnr(pixels, last);
    return run;
}

struct Stream {
    const char* Name;
    const char* PeerEncoding;
    std::vector<int32_t> Encodings;
    int Quality;
    Recording Recorded;
};

} // namespace

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: tight_bench PORT SCENE [frames] [rounds]\n");
        return 2;
    }
    const auto port = uint16_t(std::atoi(argv[1]));
    const std::string scene = argv[2];
    const int frames = argc > 3 ? std::max(1, std::atoi(argv[3])) : 10;
    const int rounds = argc > 4 ? std::max(1, std::atoi(argv[4])) : 3;
    if (const char* only = std::getenv("TIGHT_BENCH_SCENE"); only && *only && scene != only)
        return 0;
    Stream streams[] = {{"ZRLE", "zrle", {encodings::ZRLE}, -1, {}},
                        {"Tight lossless", "tight", {encodings::Tight}, -1, {}},
                        {"Tight JPEG q5", "tight", {encodings::Tight}, 5, {}}};
    std::printf("%s: %d whole-screen updates per stream (after %d), best of %d rounds\n", scene.c_str(),
                frames, Warmup, rounds);
    std::printf("%-16s %10s %9s %10s %9s %9s %9s\n", "stream", "KB/update", "PSNR dB", "ours ms", "libvnc ms",
                "libvnc dB", "ours/lib");
    const char* only = std::getenv("TIGHT_BENCH_ONLY");
    const char* noPeer = std::getenv("TIGHT_BENCH_NO_PEER");
    [[maybe_unused]] const bool peerRuns = !noPeer || std::strcmp(noPeer, "1") != 0;
    for (Stream& s : streams) {
        if (only && *only && !std::strstr(s.Name, only))
            continue;
        s.Recorded = RecordServer(port, s.Encodings, s.Quality, -1, Warmup + frames);
        if (!s.Recorded.Error.empty()) {
            std::printf("%-16s recording failed: %s\n", s.Name, s.Recorded.Error.c_str());
            continue;
        }
        if (const char* save = std::getenv("TIGHT_BENCH_SAVE"))
            if (FILE* file = std::fopen((std::string(save) + scene + " " + s.Name + ".rfb").c_str(), "wb")) {
                for (const auto& update : s.Recorded.Updates)
                    std::fwrite(update.data(), 1, update.size(), file);
                std::fclose(file);
            }
        std::vector<const std::vector<uint8_t>*> updates;
        size_t bytes = 0;
        for (size_t i = 0; i < s.Recorded.Updates.size(); ++i) {
            updates.push_back(&s.Recorded.Updates[i]);
            if (int(i) >= Warmup)
                bytes += s.Recorded.Updates[i].size();
        }
        const auto& last = s.Recorded.LastFrame;
        const int width = 1920, height = int(last.size() / 1920);
        Run ours, peer;
        for (int round = 0; round < rounds; ++round) { // alternating, best of each: the machine is shared
            const Run r = RunReader(updates, last, width, height);
            if (r.CpuMs < ours.CpuMs)
                ours = r;
#ifdef LATIS_BENCH_VNCCLIENT
            if (!peerRuns)
                continue;
            CRecordedServer server(updates, 32, true);
            if (PerfOnPeer())
                PerfControl("enable");
            const PeerResult p = RunVncClientPeer(server.Port(), 32, s.PeerEncoding, Warmup, frames);
            if (PerfOnPeer())
                PerfControl("disable");
            if (p.Ok)
                peer = Run{.CpuMs = std::min(peer.CpuMs, p.CpuMs), .Psnr = Psnr(p.Pixels, last)};
#endif
        }
        std::printf("%-16s %10.1f %9.1f %10.2f %9.2f %9.1f %9.2f\n", s.Name, double(bytes) / frames / 1e3,
                    ours.Psnr, ours.CpuMs / frames, peer.CpuMs / frames, peer.Psnr, ours.CpuMs / peer.CpuMs);
        if (only)
            std::printf("%-16s ours per update: %.2f ms in the kernel, %.1f page faults, %.1f waits\n", "",
                        ours.SystemMs / frames, double(ours.Faults) / frames, double(ours.Switches) / frames);
    }
    std::printf("(PSNR: the replayed frame against the recorder's own decoding; inf = identical)\n");
    return 0;
}
