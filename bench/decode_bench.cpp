// Decoding speed of the rectangle decoders on generated 1920 x 1080 server streams read from memory,
// against a plain copy of one 1920 x 1080 x 4 frame measured in the same run.
//
//   decode_bench [--benchmark_filter=...]   (build with CMAKE_BUILD_TYPE=Release)

#include "ServerStream.h"
#include "engine/MemoryTransport.h"
#include "engine/RfbProtocol.h"
#include "engine/ServerMessageReader.h"
#include "engine/ViewerState.h"
#include "framebuffer/FrameBuffer.h"
#include "framebuffer/HextileDecoder.h"
#include "framebuffer/RectangleDecoder.h"
#include "screens/BenchSupport.h"

#include "engine/CoolSocket.h"

#include <benchmark/benchmark.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <map>
#include <random>
#include <string>
#include <thread>
#include <vector>

using namespace dova;
using latis_test::ServerStream;

namespace {

constexpr int Width = 1920;
constexpr int Height = 1080;

// Pixel values in range for the format: 15 colour bits at 16 bpp, 24 at 32.
uint32_t Colour(std::mt19937& rng, int bpp) {
    return bpp == 16 ? rng() & 0x7FFF : rng() & 0xFFFFFF;
}

std::vector<uint8_t> RawFrame(int bpp) {
    std::mt19937 rng(1);
    ServerStream s(bpp);
    s.Update(1).Rect(0, 0, Width, Height, encodings::Raw);
    for (int i = 0; i < Width * Height; ++i)
        s.Pixel(Colour(rng, bpp));
    return s.Data;
}

// Typical desktop content: about 60 % single-colour tiles (mostly the background), 30 % tiles with a
// few subrectangles (text, icons, borders) and 10 % raw tiles (photos, gradients).
std::vector<uint8_t> HextileDesktopFrame(int bpp) {
    std::mt19937 rng(2);
    std::vector<uint32_t> palette;
    for (int i = 0; i < 12; ++i)
        palette.push_back(Colour(rng, bpp));
    ServerStream s(bpp);
    s.Update(1).Rect(0, 0, Width, Height, encodings::Hextile);
    bool haveBackground = false;
    uint32_t background = 0;
    for (int ty = 0; ty < Height; ty += 16) {
        const int th = std::min(16, Height - ty);
        for (int tx = 0; tx < Width; tx += 16) {
            const int tw = std::min(16, Width - tx);
            const unsigned kind = rng() % 100;
            if (kind < 60) {
                const uint32_t colour = rng() % 4 ? palette[0] : palette[rng() % palette.size()];
                if (haveBackground && colour == background) {
                    s.U8(0);
                } else {
                    s.U8(hextile::BackgroundSpecified).Pixel(colour);
                    background = colour;
                    haveBackground = true;
                }
            } else if (kind < 90) {
                const bool coloured = rng() % 2;
                const int count = 2 + int(rng() % 5);
                background = palette[rng() % 3];
                haveBackground = true;
                uint8_t mask = hextile::BackgroundSpecified | hextile::AnySubrects;
                mask |= coloured ? hextile::SubrectsColoured : hextile::ForegroundSpecified;
                s.U8(mask).Pixel(background);
                if (!coloured)
                    s.Pixel(palette[3 + rng() % 9]);
                s.U8(count);
                for (int i = 0; i < count; ++i) {
                    if (coloured)
                        s.Pixel(palette[3 + rng() % 9]);
                    const int x = int(rng() % unsigned(tw)), y = int(rng() % unsigned(th));
                    const int w = 1 + int(rng() % unsigned(tw - x)), h = 1 + int(rng() % unsigned(th - y));
                    s.U8((x << 4) | y).U8(((w - 1) << 4) | (h - 1));
                }
            } else {
                s.U8(hextile::Raw);
                for (int i = 0; i < tw * th; ++i)
                    s.Pixel(Colour(rng, bpp));
                haveBackground = haveBackground; // raw tiles change neither colour
            }
        }
    }
    return s.Data;
}

std::vector<uint8_t> RreFrame(int bpp, int32_t encoding) {
    std::mt19937 rng(3);
    ServerStream s(bpp);
    const int side = encoding == encodings::CoRRE ? 255 : 0;
    if (side == 0) {
        constexpr int Count = 4000;
        s.Update(1).Rect(0, 0, Width, Height, encoding).U32(Count).Pixel(Colour(rng, bpp));
        for (int i = 0; i < Count; ++i) {
            const int x = int(rng() % Width), y = int(rng() % Height);
            s.Pixel(Colour(rng, bpp)).U16(x).U16(y);
            s.U16(1 + rng() % std::min(64, Width - x)).U16(1 + rng() % std::min(64, Height - y));
        }
        return s.Data;
    }
    // CoRRE: the frame in rectangles of at most 255 x 255.
    const int across = (Width + side - 1) / side, down = (Height + side - 1) / side;
    s.Update(across * down);
    for (int y = 0; y < Height; y += side)
        for (int x = 0; x < Width; x += side) {
            const int w = std::min(side, Width - x), h = std::min(side, Height - y);
            constexpr int Count = 120;
            s.Rect(x, y, w, h, encoding).U32(Count).Pixel(Colour(rng, bpp));
            for (int i = 0; i < Count; ++i) {
                const int sx = int(rng() % unsigned(w)), sy = int(rng() % unsigned(h));
                s.Pixel(Colour(rng, bpp)).U8(sx).U8(sy);
                s.U8(1 + rng() % std::min(32, w - sx)).U8(1 + rng() % std::min(32, h - sy));
            }
        }
    return s.Data;
}

std::vector<uint8_t> CopyRectFrame(int bpp) {
    ServerStream s(bpp);
    s.Update(1).Rect(0, 0, Width, Height - 1, encodings::CopyRect).U16(0).U16(1); // scroll up a line
    return s.Data;
}

// One viewer with a 1920 x 1080 framebuffer reading a prepared update from memory, as the session
// reads it: message head, rectangle loop, decoders, next request.
class Decoding {
public:
    Decoding(int bpp, std::vector<uint8_t> stream) : Stream(std::move(stream)) {
        State.SetRequestedPixelFormat(bpp);
        State.CurrentPixelFormat = State.RequestedPixelFormat;
        State.FrameWidth = Width;
        State.FrameHeight = Height;
        Frame.Create(Width, Height, bpp);
        State.FrameBuffer = &Frame;
    }
    void DecodeOnce() {
        Source.Reset(Stream.data(), Stream.size());
        Reader.ReadMessage();
    }
    size_t InputBytes() const { return Stream.size(); }

private:
    CViewerState State;
    CFrameBuffer Frame;
    std::vector<uint8_t> Stream;
    CMemorySource Source;
    CMemorySink Sink{0};
    CRfbProtocol Protocol{State, Source, Sink};
    latis_bench::NoWaitLink Link;
    CServerMessageReader Reader{Protocol, Link};
};

std::map<std::string, size_t> InputSizes;

void RunDecoding(benchmark::State& state, const char* name, int bpp, std::vector<uint8_t> (*make)(int)) {
    Decoding decoding(bpp, make(bpp));
    InputSizes[name] = decoding.InputBytes();
    for (auto _ : state)
        decoding.DecodeOnce();
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(decoding.InputBytes()));
}

void BM_MemcpyFrame(benchmark::State& state) {
    const size_t size = size_t(Width) * Height * 4;
    std::vector<uint8_t> from(size, 0x5A), to(size);
    for (auto _ : state) {
        std::memcpy(to.data(), from.data(), size);
        benchmark::DoNotOptimize(to.data());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(size));
}
BENCHMARK(BM_MemcpyFrame)->Unit(benchmark::kMicrosecond);

void BM_Raw32(benchmark::State& s) {
    RunDecoding(s, "BM_Raw32", 32, RawFrame);
}
void BM_Hextile16(benchmark::State& s) {
    RunDecoding(s, "BM_Hextile16", 16, HextileDesktopFrame);
}
void BM_Hextile32(benchmark::State& s) {
    RunDecoding(s, "BM_Hextile32", 32, HextileDesktopFrame);
}
void BM_RRE32(benchmark::State& s) {
    RunDecoding(s, "BM_RRE32", 32, [](int bpp) { return RreFrame(bpp, encodings::RRE); });
}
void BM_CoRRE32(benchmark::State& s) {
    RunDecoding(s, "BM_CoRRE32", 32, [](int bpp) { return RreFrame(bpp, encodings::CoRRE); });
}
void BM_CopyRect32(benchmark::State& s) {
    RunDecoding(s, "BM_CopyRect32", 32, CopyRectFrame);
}
BENCHMARK(BM_Raw32)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Hextile16)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Hextile32)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_RRE32)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_CoRRE32)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_CopyRect32)->Unit(benchmark::kMicrosecond);

// The production path for comparison: the same Hextile frame through a socket pair, read with the
// connection's exact reads (several receive calls per tile), a server thread answering each request.
void BM_Hextile32OverSocket(benchmark::State& state) {
    const std::vector<uint8_t> frame = HextileDesktopFrame(32);
    int pair[2];
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, pair) != 0) {
        state.SkipWithError("socketpair failed");
        return;
    }
    CViewerState viewer;
    viewer.SetRequestedPixelFormat(32);
    viewer.CurrentPixelFormat = viewer.RequestedPixelFormat;
    viewer.FrameWidth = Width;
    viewer.FrameHeight = Height;
    CFrameBuffer buffer;
    buffer.Create(Width, Height, 32);
    viewer.FrameBuffer = &buffer;
    CCoolSocket socket(viewer);
    socket.AttachConnected(pair[1]);
    CRfbProtocol protocol(viewer, socket);
    latis_bench::NoWaitLink link;
    CServerMessageReader reader(protocol, link);

    const int server = pair[0];
    std::thread answering([&] {
        uint8_t request[10];
        for (;;) {
            size_t got = 0;
            while (got < sizeof request) {
                const long n = ::recv(server, request + got, sizeof request - got, 0);
                if (n <= 0)
                    return;
                got += size_t(n);
            }
            for (size_t sent = 0; sent < frame.size();) {
                const long n = ::send(server, frame.data() + sent, frame.size() - sent, MSG_NOSIGNAL);
                if (n <= 0)
                    return;
                sent += size_t(n);
            }
        }
    });
    reader.RequestFirstUpdate();
    for (auto _ : state)
        reader.ReadMessage();
    socket.CloseByOwner(true);
    ::shutdown(server, SHUT_RDWR);
    answering.join();
    ::close(server);
    InputSizes["BM_Hextile32OverSocket/real_time"] = frame.size();
}
BENCHMARK(BM_Hextile32OverSocket)->Unit(benchmark::kMicrosecond)->UseRealTime();

// Keeps each benchmark's time per frame for the closing table. CPU time is the figure compared: on a
// machine shared with builds, wall time also counts the moments the benchmark was not running.
class FrameTimes : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override {
        ConsoleReporter::ReportRuns(runs);
        for (const Run& run : runs)
            if (run.run_type == Run::RT_Iteration && run.iterations > 0) {
                Nanoseconds[run.benchmark_name()] = run.cpu_accumulated_time * 1e9 / double(run.iterations);
                WallNanoseconds[run.benchmark_name()] =
                    run.real_accumulated_time * 1e9 / double(run.iterations);
            }
    }
    std::map<std::string, double> Nanoseconds;
    std::map<std::string, double> WallNanoseconds;
};

} // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    FrameTimes times;
    benchmark::RunSpecifiedBenchmarks(&times);
    benchmark::Shutdown();

    const auto baseline = times.Nanoseconds.find("BM_MemcpyFrame");
    if (baseline == times.Nanoseconds.end())
        return 0;
    const double wallBaseline = times.WallNanoseconds[baseline->first];
    std::printf("\nPer 1920 x 1080 frame, as a multiple of one memcpy of 1920 x 1080 x 4 bytes "
                "(%.0f us CPU, %.0f us wall):\n",
                baseline->second / 1000, wallBaseline / 1000);
    std::printf("%-34s %10s %8s %13s %12s %10s\n", "decoder", "us/frame", "x memcpy", "x memcpy wall",
                "input bytes", "MB/s in");
    for (const auto& [name, ns] : times.Nanoseconds) {
        if (name == baseline->first)
            continue;
        const size_t input = InputSizes.count(name) ? InputSizes[name] : 0;
        std::printf("%-34s %10.0f %8.2f %13.2f %12zu %10.0f\n", name.c_str(), ns / 1000,
                    ns / baseline->second, times.WallNanoseconds[name] / wallBaseline, input,
                    double(input) / (ns / 1e9) / 1e6);
    }
    return 0;
}
