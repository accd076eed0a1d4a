// Presentation cost of one full-frame update: a 1920 x 1080 16 bpp frame shown stretched to 150
// pixels wide (ratio 5/64) with the halftone filter. The session thread's share is the repaint into
// the back surface; the user-interface thread's share is the paint handler's copy.
//
//   present_bench [--benchmark_filter=...]   (build with CMAKE_BUILD_TYPE=Release)

#include "engine/SurfacePresenter.h"
#include "engine/ViewerState.h"
#include "framebuffer/BackSurface.h"
#include "framebuffer/FrameBuffer.h"

#include <benchmark/benchmark.h>

#include <QApplication>
#include <QPainter>

#include <cstdlib>
#include <cstring>
#include <random>

using namespace dova;

namespace {

constexpr int Width = 1920;
constexpr int Height = 1080;
// 1920 * 5 / 64 = 150 pixels wide, 1080 * 5 / 64 = 84 high.
constexpr int Numerator = 5;
constexpr int Denominator = 64;

class NullHost : public IHostPoster {
public:
    void Post(HostMessage, uint32_t, uint32_t) override {}
};

// A framebuffer of random 5-5-5 pixels wired to a presenter, as the session thread sees it.
struct Presentation {
    NullHost Host;
    CViewerState State{&Host};
    CBackSurface Surface;
    CSurfacePresenter Presenter{State, Surface};
    CFrameBuffer Frame{&Presenter};

    Presentation(int bits, bool stretch, int mode, int reduction = 1) {
        State.SetRequestedPixelFormat(bits);
        State.CurrentPixelFormat = State.RequestedPixelFormat;
        State.Stretch = stretch;
        State.StretchMode = mode;
        State.StretchXNum = State.StretchYNum = Numerator;
        State.StretchXDen = State.StretchYDen = Denominator;
        Frame.SetReduction(reduction);
        Frame.Create(Width, Height, bits);
        std::mt19937 rng(7);
        uint8_t* p = Frame.Data();
        for (size_t i = 0; i < size_t(Frame.Stride()) * size_t(Frame.Height()); ++i)
            p[i] = uint8_t(rng());
    }
};

void BM_SessionRepaintHalftone150(benchmark::State& state) {
    Presentation p(16, true, 4);
    for (auto _ : state) {
        p.Frame.Repaint(0, 0, Width, Height);
        benchmark::DoNotOptimize(p.Surface.Data());
    }
    state.counters["surface_w"] = p.Surface.Width();
    state.counters["surface_h"] = p.Surface.Height();
}
BENCHMARK(BM_SessionRepaintHalftone150)->Unit(benchmark::kMillisecond);

// A thumbnail's frame kept reduced by 8 (240 x 135, 32 bpp), as tiles keep it, shown at the same size.
void BM_SessionRepaintReducedHalftone150(benchmark::State& state) {
    Presentation p(32, true, 4, 8);
    for (auto _ : state) {
        p.Frame.Repaint(0, 0, p.Frame.Width(), p.Frame.Height());
        benchmark::DoNotOptimize(p.Surface.Data());
    }
    state.counters["surface_w"] = p.Surface.Width();
}
BENCHMARK(BM_SessionRepaintReducedHalftone150)->Unit(benchmark::kMicrosecond);

void BM_SessionRepaintNearest150(benchmark::State& state) {
    Presentation p(16, true, 0);
    for (auto _ : state) {
        p.Frame.Repaint(0, 0, Width, Height);
        benchmark::DoNotOptimize(p.Surface.Data());
    }
}
BENCHMARK(BM_SessionRepaintNearest150)->Unit(benchmark::kMillisecond);

void BM_SessionRepaintOneToOne16(benchmark::State& state) {
    Presentation p(16, false, 4);
    for (auto _ : state) {
        p.Frame.Repaint(0, 0, Width, Height);
        benchmark::DoNotOptimize(p.Surface.Data());
    }
}
BENCHMARK(BM_SessionRepaintOneToOne16)->Unit(benchmark::kMillisecond);

void BM_SessionRepaintOneToOne32(benchmark::State& state) {
    Presentation p(32, false, 4);
    for (auto _ : state) {
        p.Frame.Repaint(0, 0, Width, Height);
        benchmark::DoNotOptimize(p.Surface.Data());
    }
}
BENCHMARK(BM_SessionRepaintOneToOne32)->Unit(benchmark::kMillisecond);

// The paint handler's copy of the 150 x 84 image under the back-surface lock, onto a raster surface
// like the window's backing store.
void BM_UiPaintCopy150(benchmark::State& state) {
    Presentation p(16, true, 4);
    p.Frame.Repaint(0, 0, Width, Height);
    QImage window(200, 120, QImage::Format_RGB32);
    for (auto _ : state) {
        QPainter painter(&window);
        std::lock_guard<std::mutex> hold(p.Surface.Mutex());
        const QImage view(reinterpret_cast<const uchar*>(p.Surface.Data()), p.Surface.Width(),
                          p.Surface.Height(), p.Surface.Stride(), QImage::Format_RGB32);
        painter.drawImage(QPoint(25, 18), view);
    }
}
BENCHMARK(BM_UiPaintCopy150)->Unit(benchmark::kMicrosecond);

} // namespace

int main(int argc, char** argv) {
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
