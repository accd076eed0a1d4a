// Pixels decoded from real servers (TigerVNC Xvnc, x11vnc on Xvfb, TightVNC's Xtightvnc, QEMU, wayvnc
// on a headless sway) against an independent screenshot of the same screen (xwd; for QEMU, its
// monitor's screendump of a gradient its machine drew; for wayvnc, grim), for every encoding
// requested alone and the default list, at 8, 16 and 32 bits per pixel; Tight with JPEG (32 bits
// only: servers send no JPEG below) within 30 dB PSNR of it. One server per suite; the screen is
// painted once and stays still.

#include "QemuServer.h"
#include "RealServers.h"
#include "RecordingPresenter.h"
#include "ScriptedServer.h"
#include "WayvncServer.h"
#include "engine/CoolSocket.h"
#include "engine/DecodeStatistics.h"
#include "engine/Handshake.h"
#include "engine/SessionThread.h"
#include "engine/ViewerState.h"
#include "framebuffer/FrameBuffer.h"
#include "framebuffer/RectangleDecoder.h"
#include "framebuffer/TightDecoder.h"
#include "framebuffer/ZrleDecoder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <random>
#include <thread>

using namespace dova;
using namespace latis_test;
using namespace std::chrono_literals;

namespace {

constexpr int ScreenWidth = 320;
constexpr int ScreenHeight = 240;
// The pointer is parked in the bottom-right corner; x11vnc draws it into its framebuffer there.
constexpr int PointerBox = 32;
// How long a frame may take to arrive and settle.
constexpr auto SettleLimit = 20s;
constexpr struct { int X = 170, Y = 100, Side = 64; } NoiseBox;
constexpr struct { int Top = 180, Bottom = 200; } StripeBand;

// A still screen with what each encoding is for: large single-colour areas, text-like detail,
// stripes, a smooth gradient and noise.
std::string WriteTestPicture(const std::string& folder) {
    std::mt19937 rng(42);
    std::string ppm = "P6\n" + std::to_string(ScreenWidth) + " " + std::to_string(ScreenHeight) + "\n255\n";
    for (int y = 0; y < ScreenHeight; ++y)
        for (int x = 0; x < ScreenWidth; ++x) {
            uint8_t r = 0x3A, g = 0x6E, b = 0xA5; // desktop blue
            if (x >= 16 && x < 150 && y >= 16 && y < 110) {
                r = g = b = 0xF0; // a window with "text"
                if (y >= 24 && (y % 10) < 6 && ((x * 7 + y * 3) % 11) < 5)
                    r = g = b = 0x10;
            } else if (x >= 170 && x < 300 && y >= 16 && y < 80) {
                r = uint8_t((x - 170) * 2), g = uint8_t((y - 16) * 4),
                b = uint8_t(255 - (x - 170)); // gradient
            } else if (x >= NoiseBox.X && x < NoiseBox.X + NoiseBox.Side && y >= NoiseBox.Y &&
                       y < NoiseBox.Y + NoiseBox.Side) {
                const uint32_t v = rng();
                r = uint8_t(v), g = uint8_t(v >> 8), b = uint8_t(v >> 16); // noise
            } else if (y >= StripeBand.Top && y < StripeBand.Bottom) {
                r = (x / 3) % 2 ? 0xFF : 0x00, g = 0x80, b = 0x20; // stripes
            } else if (x >= 40 && x < 90 && y >= 130 && y < 170) {
                r = 0xC0, g = 0x30, b = 0x30;
            }
            ppm.push_back(char(r));
            ppm.push_back(char(g));
            ppm.push_back(char(b));
        }
    const std::string path = folder + "/latis-screen.ppm";
    std::ofstream(path, std::ios::binary) << ppm;
    return path;
}

// The screen's colour in the requested format's steps: 3-3-2 at 8, 5-5-5 at 16, 8-8-8 at 32 bits.
struct Channels {
    int R, G, B;
};
Channels Expected(uint32_t rgb, int bpp) {
    const int r = int(rgb >> 16) & 255, g = int(rgb >> 8) & 255, b = int(rgb) & 255;
    auto scale = [](int v, int max) { return (v * max + 127) / 255; };
    if (bpp == 8)
        return {scale(r, 7), scale(g, 7), scale(b, 3)};
    if (bpp == 16)
        return {scale(r, 31), scale(g, 31), scale(b, 31)};
    return {r, g, b};
}
Channels Decoded(const uint8_t* at, int bpp) {
    if (bpp == 8)
        return {at[0] & 7, (at[0] >> 3) & 7, (at[0] >> 6) & 3};
    if (bpp == 16) {
        const int v = at[0] | (at[1] << 8);
        return {(v >> 10) & 31, (v >> 5) & 31, v & 31};
    }
    return {at[2], at[1], at[0]};
}

// Empty when the frame equals the screen (one colour step allowed below 32 bits per pixel).
std::string Compare(const CFrameBuffer& frame, const RgbImage& screen, int bpp, bool skipPointer) {
    if (frame.Width() != screen.Width || frame.Height() != screen.Height)
        return "size differs";
    const int tolerance = bpp == 32 ? 0 : 1;
    int mismatches = 0;
    std::string first;
    for (int y = 0; y < screen.Height; ++y)
        for (int x = 0; x < screen.Width; ++x) {
            if (skipPointer && x >= screen.Width - PointerBox && y >= screen.Height - PointerBox)
                continue;
            const Channels want = Expected(screen.At(x, y), bpp);
            const Channels got = Decoded(frame.Data() + y * frame.Stride() + x * (bpp / 8), bpp);
            if (std::abs(want.R - got.R) > tolerance || std::abs(want.G - got.G) > tolerance ||
                std::abs(want.B - got.B) > tolerance) {
                if (mismatches++ == 0) {
                    char text[160];
                    std::snprintf(text, sizeof text, "first at (%d, %d): want %d %d %d, got %d %d %d", x, y,
                                  want.R, want.G, want.B, got.R, got.G, got.B);
                    first = text;
                }
            }
        }
    return mismatches ? std::to_string(mismatches) + " pixels differ, " + first : std::string();
}

// Peak signal-to-noise ratio of a 32-bit frame against the screen, in dB (infinite when equal). The
// square of random noise is left out: no JPEG keeps per-pixel noise (x11vnc's gets 14 dB there); so
// are the colour stripes where the server halves colour resolution at every quality (Xtightvnc's
// quality 9 gets 12 dB there, 34 dB elsewhere).
double Psnr(const CFrameBuffer& frame, const RgbImage& screen, bool skipPointer, bool skipStripes) {
    double squares = 0;
    size_t samples = 0;
    for (int y = 0; y < screen.Height; ++y)
        for (int x = 0; x < screen.Width; ++x) {
            if (skipPointer && x >= screen.Width - PointerBox && y >= screen.Height - PointerBox)
                continue;
            if (x >= NoiseBox.X && x < NoiseBox.X + NoiseBox.Side && y >= NoiseBox.Y &&
                y < NoiseBox.Y + NoiseBox.Side)
                continue;
            if (skipStripes && y >= StripeBand.Top && y < StripeBand.Bottom)
                continue;
            const Channels want = Expected(screen.At(x, y), 32);
            const Channels got = Decoded(frame.Data() + y * frame.Stride() + x * 4, 32);
            squares += double((want.R - got.R) * (want.R - got.R) + (want.G - got.G) * (want.G - got.G) +
                              (want.B - got.B) * (want.B - got.B));
            samples += 3;
        }
    return squares == 0 ? INFINITY : 10 * std::log10(255.0 * 255.0 * double(samples) / squares);
}

struct DecodeCase {
    const char* Name;
    std::vector<int32_t> Codecs; // empty: the default list
    int BitsPerPixel;
    int Quality = -1; // Tight's JPEG quality; the frame is then only near the screen
};

std::vector<DecodeCase> AllCases() {
    std::vector<DecodeCase> cases;
    const std::pair<const char*, std::vector<int32_t>> lists[] = {
        {"Raw", {encodings::Raw}},     {"CopyRect", {encodings::CopyRect}}, {"RRE", {encodings::RRE}},
        {"CoRRE", {encodings::CoRRE}}, {"Hextile", {encodings::Hextile}},   {"Default", {}},
        {"ZRLE", {encodings::ZRLE}},   {"Tight", {encodings::Tight}},
    };
    for (const auto& [name, codecs] : lists)
        for (int bpp : {8, 16, 32})
            cases.push_back({name, codecs, bpp});
    // Quality 7: at 5, x11vnc sends the one-pixel stripes as JPEG with halved colour resolution (18 dB
    // there, 27 dB overall); Xvnc keeps them lossless.
    cases.push_back({"TightJpeg", {encodings::Tight}, 32, 7});
    return cases;
}

void PrintTo(const DecodeCase& c, std::ostream* out) {
    *out << c.Name << " at " << c.BitsPerPixel << " bpp";
}

std::string CaseName(const testing::TestParamInfo<DecodeCase>& info) {
    return std::string(info.param.Name) + std::to_string(info.param.BitsPerPixel);
}

// Connects a viewer, runs its session until the frame equals the screen (or time runs out).
struct ViewerRun {
    RecordingHost Host;
    RecordingPresenter Presenter;
    CViewerState State{&Host};
    CCoolSocket Socket{State};
    CFrameBuffer Frame{&Presenter};
    DecodeStatistics Statistics;
    std::unique_ptr<CSessionThread> Session;

    ~ViewerRun() {
        Socket.CloseByOwner(true);
        Session.reset();
    }

    void Connect(int port, const DecodeCase& c) {
        State.Server = "127.0.0.1";
        State.Port = port;
        State.Socket = &Socket;
        State.FireFrameUpdates = true;
        if (!c.Codecs.empty()) {
            State.Codecs.fill(-1);
            std::copy(c.Codecs.begin(), c.Codecs.end(), State.Codecs.begin());
        }
        State.QualityLevel = c.Quality;
        State.SetRequestedPixelFormat(c.BitsPerPixel); // after the codecs: Tight, ZRLE ask for depth 24
        State.CurrentPixelFormat = State.RequestedPixelFormat;
        RunHandshake(State);
        Frame.Create(State.FrameWidth, State.FrameHeight, State.CurrentPixelFormat);
        State.FrameBuffer = &Frame;
        State.State = states::Dispatching;
        Session = std::make_unique<CSessionThread>(State);
        Session->SetStatistics(&Statistics);
        Session->Start();
    }

    // Until the frame is within 30 dB of the screen (JPEG) and then no longer changing.
    std::string WaitForNearScreen(const RgbImage& screen, bool skipPointer, bool skipStripes, double& psnr) {
        const auto deadline = std::chrono::steady_clock::now() + SettleLimit;
        psnr = 0;
        while (std::chrono::steady_clock::now() < deadline) {
            if (Host.Count(HostMessage::Exception))
                return "session failed";
            if (Statistics.Updates > 0) {
                CLockGuard hold(Frame);
                psnr = Psnr(Frame, screen, skipPointer, skipStripes);
                if (psnr >= 30)
                    return "";
            }
            std::this_thread::sleep_for(50ms);
        }
        return "PSNR " + std::to_string(psnr) + " dB";
    }

    std::string WaitForScreen(const RgbImage& screen, int bpp, bool skipPointer) {
        const auto deadline = std::chrono::steady_clock::now() + SettleLimit;
        std::string difference = "no update";
        while (std::chrono::steady_clock::now() < deadline) {
            if (Host.Count(HostMessage::Exception))
                return "session failed";
            if (Statistics.Updates > 0) {
                CLockGuard hold(Frame);
                difference = Compare(Frame, screen, bpp, skipPointer);
                if (difference.empty())
                    return difference;
            }
            std::this_thread::sleep_for(50ms);
        }
        return difference;
    }
};

// Starts the server with the test picture on its screen.
template <typename Server> std::unique_ptr<Server> StartPainted() {
    auto server = std::make_unique<Server>(ServerOptions().WithSize(ScreenWidth, ScreenHeight));
    const std::string picture = WriteTestPicture(testing::TempDir());
    // ImageMagick's display ends with status 1 after setting the root background.
    server->RunClientAndWait({"sh", "-c", "display -window root \"$0\"; true", picture});
    // Xlib's own warp: xdotool crashes on Xtightvnc, whose X server lacks the extensions it probes.
    server->RunClientAndWait({"python3", "-c",
                              "import ctypes; x = ctypes.CDLL('libX11.so.6'); x.XOpenDisplay.restype = "
                              "ctypes.c_void_p; d = ctypes.c_void_p(x.XOpenDisplay(None)); "
                              "x.XDefaultRootWindow.restype = ctypes.c_ulong; "
                              "x.XWarpPointer(d, 0, ctypes.c_ulong(x.XDefaultRootWindow(d)), 0, 0, 0, 0, " +
                                  std::to_string(ScreenWidth - 1) + ", " + std::to_string(ScreenHeight - 1) +
                                  "); x.XCloseDisplay(d)"});
    return server;
}
// QEMU shows a gradient its machine drew, paused; JPEG only when lossy compression is allowed.
template <> std::unique_ptr<QemuServer> StartPainted<QemuServer>() {
    return std::make_unique<QemuServer>(QemuOptions{.Password = {},
                                                    .TlsFolder = {},
                                                    .AnonymousTls = false,
                                                    .Gradient = true,
                                                    .VncSuffixes = {"lossy=on", "non-adaptive=on"}});
}

// wayvnc shows the picture as the background of a headless sway output of the same size.
template <> std::unique_ptr<WayvncServer> StartPainted<WayvncServer>() {
    auto server = std::make_unique<WayvncServer>(ScreenWidth, ScreenHeight);
    const std::string png = testing::TempDir() + "/latis-screen.png";
    RunAndCapture({"convert", WriteTestPicture(testing::TempDir()), png});
    server->ShowPicture(png);
    return server;
}

// What a server does differently.
struct ServerTraits {
    bool PointerDrawn = false;    // into its framebuffer, in the bottom-right corner
    std::vector<int32_t> Lacking; // encodings it does not send (it falls back to Raw)
    bool Jpeg = true;             // whether JPEG comes for its screen at all
    std::vector<int> JpegOnlyAt;  // the quality levels it sends JPEG at; empty: every level
    bool ChromaHalved = false;    // JPEG at half colour resolution even at the best quality
};

template <typename Server> class RealServerDecode : public testing::TestWithParam<DecodeCase> {
protected:
    static void SetUpTestSuite() {
        try {
            Running = StartPainted<Server>();
            Screen = Running->Screenshot();
        } catch (const std::exception& e) {
            StartFailure = e.what();
            Running.reset();
        }
    }
    static void TearDownTestSuite() { Running.reset(); }

    void Check(const ServerTraits& traits) {
        ASSERT_TRUE(Running) << StartFailure;
        const DecodeCase& c = GetParam();
        const bool pointerDrawn = traits.PointerDrawn;
        const std::vector<int32_t>& lacking = traits.Lacking;
        ViewerRun viewer;
        viewer.Connect(Running->Port(), c);
        double psnr = 0;
        const std::string difference =
            c.Quality >= 0 ? viewer.WaitForNearScreen(Screen, pointerDrawn, traits.ChromaHalved, psnr)
                           : viewer.WaitForScreen(Screen, c.BitsPerPixel, pointerDrawn);
        std::unique_ptr<CSimpleException> failure;
        if (viewer.State.TakeException(failure))
            FAIL() << "session error " << failure->Code << ": " << failure->Message;
        EXPECT_EQ(difference, "");
        if (c.Quality >= 0) { // lossy: an exact frame would mean no JPEG came
            const bool jpeg = traits.Jpeg && (traits.JpegOnlyAt.empty() ||
                                              std::find(traits.JpegOnlyAt.begin(), traits.JpegOnlyAt.end(),
                                                        c.Quality) != traits.JpegOnlyAt.end());
            EXPECT_EQ(std::isfinite(psnr), jpeg) << "JPEG came, or not, against expectation";
            std::printf("PSNR %.3f dB\n", psnr);
        }

        // The server must really have used the encoding asked for (Raw is every server's fallback).
        const auto& rects = viewer.Statistics.Rectangles;
        if (c.Codecs.size() == 1 && std::find(lacking.begin(), lacking.end(), c.Codecs[0]) == lacking.end() &&
            c.Codecs[0] != encodings::CopyRect) {
            EXPECT_GT(rects[size_t(c.Codecs[0])].load(), 0u) << "encoding " << c.Codecs[0] << " never came";
        }
        if (c.Codecs.empty() &&
            std::find(lacking.begin(), lacking.end(), encodings::Hextile) == lacking.end()) {
            EXPECT_GT(rects[encodings::Hextile].load(), 0u) << "the default list prefers Hextile";
        }
    }

    static inline std::unique_ptr<Server> Running;
    static inline RgbImage Screen;
    static inline std::string StartFailure;
};

using XvncDecode = RealServerDecode<XvncServer>;
using X11vncDecode = RealServerDecode<X11vncServer>;
using TightVncDecode = RealServerDecode<TightVncServer>;
using QemuDecode = RealServerDecode<QemuServer>;
using WayvncDecode = RealServerDecode<WayvncServer>;

} // namespace

// Xvnc draws no pointer into its framebuffer and no longer offers CoRRE (it falls back to Raw).
TEST_P(XvncDecode, FrameEqualsTheScreen) {
    Check({.PointerDrawn = false,
           .Lacking = {encodings::CoRRE},
           .Jpeg = true,
           .JpegOnlyAt = {},
           .ChromaHalved = false});
}
INSTANTIATE_TEST_SUITE_P(Encodings, XvncDecode, testing::ValuesIn(AllCases()), CaseName);

TEST_P(X11vncDecode, FrameEqualsTheScreen) {
    Check({.PointerDrawn = true, .Lacking = {}, .Jpeg = true, .JpegOnlyAt = {}, .ChromaHalved = false});
}
INSTANTIATE_TEST_SUITE_P(Encodings, X11vncDecode, testing::ValuesIn(AllCases()), CaseName);

// Xtightvnc knows no ZRLE; its JPEG always halves colour resolution.
TEST_P(TightVncDecode, FrameEqualsTheScreen) {
    Check({.PointerDrawn = true,
           .Lacking = {encodings::ZRLE},
           .Jpeg = true,
           .JpegOnlyAt = {},
           .ChromaHalved = true});
}
INSTANTIATE_TEST_SUITE_P(Encodings, TightVncDecode, testing::ValuesIn(AllCases()), CaseName);

// QEMU sends neither RRE nor CoRRE. Its JPEG is for pictures it finds smooth but not synthetic (few
// prediction errors, yet not mostly none): its true-colour gradient at quality levels 0 to 6, when
// it may not adapt to how often an area changes; above that it stays lossless.
TEST_P(QemuDecode, FrameEqualsTheScreen) {
    Check({.PointerDrawn = false,
           .Lacking = {encodings::RRE, encodings::CoRRE},
           .Jpeg = true,
           .JpegOnlyAt = {0, 1, 2, 3, 4, 5, 6},
           .ChromaHalved = false});
}
std::vector<DecodeCase> QemuCases() {
    std::vector<DecodeCase> cases = AllCases();
    cases.push_back({"TightJpegMiddle", {encodings::Tight}, 32, 5});
    return cases;
}
INSTANTIATE_TEST_SUITE_P(Encodings, QemuDecode, testing::ValuesIn(QemuCases()), CaseName);

// wayvnc (neatvnc 0.5) sends Raw, ZRLE and Tight only. Its JPEG knows two qualities, levels 0 and 9
// (at any other level its Tight stays lossless); at 9 it halves colour resolution and blurs the text
// window to 26 dB (31 dB overall without the stripes). sway draws its pointer into the output, so
// grim's screenshot shows it too.
TEST_P(WayvncDecode, FrameEqualsTheScreen) {
    Check({.PointerDrawn = false,
           .Lacking = {encodings::CopyRect, encodings::RRE, encodings::CoRRE, encodings::Hextile},
           .Jpeg = true,
           .JpegOnlyAt = {0, 9},
           .ChromaHalved = true});
}
std::vector<DecodeCase> WayvncCases() {
    std::vector<DecodeCase> cases = AllCases();
    cases.push_back({"TightJpegBest", {encodings::Tight}, 32, 9});
    return cases;
}
INSTANTIATE_TEST_SUITE_P(Encodings, WayvncDecode, testing::ValuesIn(WayvncCases()), CaseName);

// A screen that changes resolution while watched: the connection stays, and the frame takes the new
// size and shows all of it (Xvnc closes the connection of a viewer that cannot follow).
TEST(XvncResize, ANewResolutionKeepsTheConnectionAndFillsTheNewFrame) {
    XvncServer server(ServerOptions().WithSize(320, 240));
    ViewerRun viewer;
    viewer.Connect(server.Port(), DecodeCase{"ZRLE", {encodings::ZRLE}, 32});
    ASSERT_EQ(viewer.WaitForScreen(server.Screenshot(), 32, false), "");

    server.RunClientAndWait({"xrandr", "--fb", "400x300"});
    server.RunClientAndWait({"xsetroot", "-solid", "#204080"});
    const RgbImage screen = server.Screenshot();
    ASSERT_EQ(screen.Width, 400);
    EXPECT_EQ(viewer.WaitForScreen(screen, 32, false), "");
    EXPECT_EQ(viewer.State.FrameWidth, 400);
    EXPECT_EQ(viewer.State.FrameHeight, 300);
    EXPECT_EQ(viewer.Host.Count(HostMessage::ServerInitUpdate), 1u);
}

namespace {

// PSNR in dB of a frame kept reduced by factor against the screen's block averages (8-bit channels).
double ReducedPsnr(const CFrameBuffer& frame, const RgbImage& screen, int factor) {
    const PixelFormat& f = frame.Format();
    const int shift[3] = {f.RedShift, f.GreenShift, f.BlueShift};
    const int max[3] = {f.RedMax, f.GreenMax, f.BlueMax};
    double squares = 0;
    for (int by = 0; by < frame.Height(); ++by)
        for (int bx = 0; bx < frame.Width(); ++bx) {
            double sums[3] = {0, 0, 0};
            int count = 0;
            for (int y = by * factor; y < std::min(screen.Height, (by + 1) * factor); ++y)
                for (int x = bx * factor; x < std::min(screen.Width, (bx + 1) * factor); ++x, ++count)
                    for (int k = 0; k < 3; ++k)
                        sums[k] += double(screen.At(x, y) >> (16 - 8 * k) & 255);
            uint32_t stored = 0;
            std::memcpy(&stored, frame.Data() + by * frame.Stride() + bx * frame.BytesPerPixel(),
                        size_t(frame.BytesPerPixel()));
            for (int k = 0; k < 3; ++k) {
                const double got = double(stored >> shift[k] & uint32_t(max[k])) * 255.0 / max[k];
                const double d = got - sums[k] / count;
                squares += d * d;
            }
        }
    return squares == 0 ? INFINITY
                        : 10 * std::log10(255.0 * 255.0 * 3 * frame.Width() * frame.Height() / squares);
}

} // namespace

// A thumbnail's frame kept reduced by 4: Hextile at 16 bpp and Tight with JPEG (decompressed at a
// quarter) both leave each stored pixel near the average of the screen block it stands for. JPEG's
// reduced inverse DCT is no box filter: 30-32 dB here (the noise square weighs most), against 51 dB
// for decompressing at full size and averaging; at an eighth it is the blocks' exact averages.
TEST(XvncReduced, TheReducedFrameHoldsTheScreensBlockAverages) {
    const auto server = StartPainted<XvncServer>();
    const RgbImage screen = server->Screenshot();
    for (const DecodeCase& c : {DecodeCase{"Hextile", {encodings::Hextile}, 16},
                                DecodeCase{"TightJpeg", {encodings::Tight}, 32, 5}}) {
        SCOPED_TRACE(c.Name);
        ViewerRun viewer;
        viewer.State.FrameReduction = 4;
        viewer.Frame.SetReduction(4);
        viewer.Connect(server->Port(), c);
        double psnr = 0;
        const auto deadline = std::chrono::steady_clock::now() + SettleLimit;
        while (std::chrono::steady_clock::now() < deadline && psnr < 30) {
            std::this_thread::sleep_for(50ms);
            CLockGuard hold(viewer.Frame);
            if (viewer.Statistics.Updates > 0)
                psnr = ReducedPsnr(viewer.Frame, screen, 4);
        }
        std::printf("%s: PSNR %.1f dB\n", c.Name, psnr);
        EXPECT_GE(psnr, 30.0);
        EXPECT_EQ(viewer.Frame.Width(), ScreenWidth / 4);
        EXPECT_EQ(viewer.Host.Count(HostMessage::Exception), 0u);
        EXPECT_GT(viewer.Statistics.Rectangles[size_t(c.Codecs[0])].load(), 0u);
    }
}
