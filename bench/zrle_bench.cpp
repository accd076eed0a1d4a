// ZRLE against Hextile, and against libvncclient, on recorded 1920 x 1080 updates served over loopback.
// Content: socket_bench's busy Hextile frames (every tile changing) and a desktop (flat areas, text, a
// photo). The ZRLE updates are made once by the bench's own encoder (one zlib stream, as a server keeps)
// and the same recorded bytes are served to the session's message reader and to libvncclient. Prints
// bytes per update, the reader's CPU time per update, libvncclient's, and whether each decoded the
// last update pixel-exactly.
//
//   zrle_bench [frames] [rounds] [bpp] [stream]   (build with CMAKE_BUILD_TYPE=Release)
//
// bpp (8, 16 or 32) and a part of a stream's name ("busy ZRLE") pick what runs, e.g. for a profiler.

#include "engine/CoolSocket.h"
#include "engine/RfbProtocol.h"
#include "engine/ServerMessageReader.h"
#include "engine/ViewerState.h"
#include "framebuffer/FrameBuffer.h"
#include "screens/BenchScreens.h"
#include "screens/BenchSupport.h"
#include "zrle/RecordedServer.h"
#include "zrle/ZrleEncoder.h"
#ifdef LATIS_BENCH_VNCCLIENT
#include "zrle/VncClientPeer.h"
#endif

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>

using namespace dova;
using namespace latis_bench;

namespace {

constexpr int Warmup = 3;
constexpr int Variants = 4; // distinct screens cycled, so every update differs from the one before

struct Run {
    double CpuMs = 1e18;
    bool Exact = false;
};

uint32_t VisibleBits(int bpp) {
    return bpp == 8 ? 0xFFu : bpp == 16 ? 0x7FFFu : 0xFFFFFFu;
}

// The libvncclient peer is set up for 16 and 32 bpp only, and decodes the bench's 16 bpp ZRLE wrongly.
bool PeerMeasured(int bpp, const char* encoding) {
    return bpp == 32 || (bpp == 16 && std::strcmp(encoding, "hextile") == 0);
}

// The session's message reader on a plain connection (no handshake), as socket_bench drives it.
Run RunReader(const std::vector<const std::vector<uint8_t>*>& updates, int bpp,
              const std::vector<uint32_t>& last) {
    CRecordedServer server(updates, bpp, false);
    LoopbackReader session(ScreenWidth, ScreenHeight, bpp, server.Port());
    session.Reader.RequestFirstUpdate();
    for (int i = 0; i < Warmup; ++i)
        session.Reader.ReadMessage();
    const double start = ThreadCpuMs();
    for (size_t i = Warmup; i < updates.size(); ++i)
        session.Reader.ReadMessage();
    Run run{ThreadCpuMs() - start, true};
    const CFrameBuffer& frame = session.Frame;
    const int bytes = bpp / 8;
    for (int y = 0; y < ScreenHeight && run.Exact; ++y)
        for (int x = 0; x < ScreenWidth; ++x) {
            uint32_t v = 0;
            std::memcpy(&v, frame.Data() + y * frame.Stride() + x * bytes, size_t(bytes));
            if ((v & VisibleBits(bpp)) != last[size_t(y) * ScreenWidth + size_t(x)]) {
                run.Exact = false;
                break;
            }
        }
    return run;
}

#ifdef LATIS_BENCH_VNCCLIENT
Run RunPeer(const std::vector<const std::vector<uint8_t>*>& updates, int bpp, const char* encoding,
            const std::vector<uint32_t>& last) {
    CRecordedServer server(updates, bpp, true);
    const PeerResult peer =
        RunVncClientPeer(server.Port(), bpp, encoding, Warmup, int(updates.size()) - Warmup);
    return peer.Ok ? Run{peer.CpuMs, peer.Pixels == last} : Run{};
}
#endif

struct Stream {
    std::string Name;
    const char* Encoding;
    std::vector<std::vector<uint8_t>> Recorded;
    std::vector<const std::vector<uint8_t>*> Updates;
};

void Measure(const Stream& stream, int bpp, int frames, int rounds, const std::vector<uint32_t>& last) {
    size_t bytes = 0;
    for (size_t i = Warmup; i < stream.Updates.size(); ++i)
        bytes += stream.Updates[i]->size();
    Run ours, peer;
    (void)peer;
    for (int round = 0; round < rounds; ++round) { // alternating, best of each: the machine is shared
        const Run r = RunReader(stream.Updates, bpp, last);
        ours = Run{std::min(ours.CpuMs, r.CpuMs), r.Exact && (round == 0 || ours.Exact)};
#ifdef LATIS_BENCH_VNCCLIENT
        if (!PeerMeasured(bpp, stream.Encoding))
            continue;
        const Run p = RunPeer(stream.Updates, bpp, stream.Encoding, last);
        peer = Run{std::min(peer.CpuMs, p.CpuMs), p.Exact && (round == 0 || peer.Exact)};
#endif
    }
    std::printf("%-22s %2d %10.1f %10.3f %6s", stream.Name.c_str(), bpp, double(bytes) / frames / 1e3,
                ours.CpuMs / frames, ours.Exact ? "yes" : "NO");
#ifdef LATIS_BENCH_VNCCLIENT
    if (PeerMeasured(bpp, stream.Encoding))
        std::printf(" %12.3f %6s %8.2f\n", peer.CpuMs / frames, peer.Exact ? "yes" : "NO",
                    ours.CpuMs / peer.CpuMs);
    else
        std::printf(" %12s %6s %8s\n", "-", "-", "-");
#else
    std::printf("   (libvncclient not built)\n");
#endif
}

} // namespace

int main(int argc, char** argv) {
    const int frames = argc > 1 ? std::max(1, std::atoi(argv[1])) : 30;
    const int rounds = argc > 2 ? std::max(1, std::atoi(argv[2])) : 3;
    const int onlyBpp = argc > 3 ? std::atoi(argv[3]) : 0;
    const std::string onlyStream = argc > 4 ? argv[4] : "";
    auto picked = [&](const Stream& s) { return s.Name.find(onlyStream) != std::string::npos; };
    const int total = Warmup + frames;
    std::printf("%d updates of %d x %d per stream (after %d warm-up), best of %d rounds; CPU per update\n",
                frames, ScreenWidth, ScreenHeight, Warmup, rounds);
    std::printf("%-22s %2s %10s %10s %6s %12s %6s %8s\n", "stream", "bp", "KB/update", "ours ms", "exact",
                "libvnc ms", "exact", "ours/lib");
    for (int bpp : {8, 16, 32}) {
        if (onlyBpp != 0 && bpp != onlyBpp)
            continue;
        std::vector<BusyScreen> busy;
        std::vector<std::vector<uint32_t>> desktop;
        for (int i = 0; i < Variants; ++i) {
            busy.push_back(MakeBusyScreen(bpp, unsigned(100 + i)));
            desktop.push_back(MakeDesktopScreen(bpp, unsigned(200 + i)));
        }
        const size_t lastVariant = size_t(total - 1) % Variants;

        Stream hextile{"busy Hextile", "hextile", {}, {}};
        for (int i = 0; i < total; ++i)
            hextile.Updates.push_back(&busy[size_t(i) % Variants].Hextile);
        if (picked(hextile))
            Measure(hextile, bpp, frames, rounds, busy[lastVariant].Pixels);

        Stream busyZrle{"busy ZRLE", "zrle", {}, {}};
        Stream desktopZrle{"desktop ZRLE", "zrle", {}, {}};
        CZrleEncoder busyEncoder(bpp), desktopEncoder(bpp);
        for (int i = 0; i < total && (picked(busyZrle) || picked(desktopZrle)); ++i) {
            busyZrle.Recorded.push_back(
                busyEncoder.Update(busy[size_t(i) % Variants].Pixels, ScreenWidth, ScreenHeight));
            desktopZrle.Recorded.push_back(
                desktopEncoder.Update(desktop[size_t(i) % Variants], ScreenWidth, ScreenHeight));
        }
        for (Stream* s : {&busyZrle, &desktopZrle})
            for (const std::vector<uint8_t>& update : s->Recorded)
                s->Updates.push_back(&update);
        if (picked(busyZrle))
            Measure(busyZrle, bpp, frames, rounds, busy[lastVariant].Pixels);
        if (picked(desktopZrle))
            Measure(desktopZrle, bpp, frames, rounds, desktop[lastVariant]);
    }
    return 0;
}
