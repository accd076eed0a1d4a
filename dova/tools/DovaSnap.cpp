// dova-snap: connects to an RFB server with the viewer's engine and prints what the server told it.

#include "PngWriter.h"
#include "SnapCapture.h"
#include "SnapConnection.h"
#include "SnapInput.h"
#include "SnapOptions.h"

#include <cstdio>

namespace {

// The connect attempt itself gives up after 20 s; the handshake may wait on a slow server a little.
constexpr auto ConnectLimit = std::chrono::seconds(60);
// Updates come as soon as the server has them; a still screen sends its first one at once.
constexpr auto UpdateLimit = std::chrono::seconds(60);

void PrintFormat(const char* title, const dova::PixelFormat& f) {
    std::printf("%s: %d bpp, depth %d, %s, %s, red %d<<%d, green %d<<%d, blue %d<<%d\n", title,
                f.BitsPerPixel, f.Depth, f.BigEndian ? "big-endian" : "little-endian",
                f.TrueColour ? "true colour" : "colour map", f.RedMax, f.RedShift, f.GreenMax, f.GreenShift,
                f.BlueMax, f.BlueShift);
}

void PrintServer(dova::CViewerState& state) {
    dova::CLockGuard hold(state);
    std::printf("Server version: %s\n",
                state.ServerVersion.substr(0, state.ServerVersion.find('\n')).c_str());
    std::printf("Desktop name: %s\n", state.DesktopName.c_str());
    std::printf("Size: %dx%d\n", state.FrameWidth, state.FrameHeight);
    std::printf("Security: %s\n", state.Security.Description.c_str());
    PrintFormat("Server pixel format", state.ServerPixelFormat);
    PrintFormat("Pixel format in use", state.CurrentPixelFormat);
}

} // namespace

int main(int argc, char** argv) {
    dova_snap::SnapOptions options;
    std::string error;
    if (!dova_snap::ParseSnapOptions(argc, argv, options, error)) {
        std::fprintf(stderr, "dova-snap: %s\n%s", error.c_str(), dova_snap::Usage);
        return 2;
    }
    try {
        dova_snap::SnapConnection connection(options);
        connection.Connect(ConnectLimit);
        PrintServer(connection.State());
        std::fflush(stdout);
        if (options.HasClick || !options.TypeText.empty())
            dova_snap::ApplyInput(connection, options);
        if (options.Captures()) {
            const auto report = dova_snap::CaptureUpdates(connection, options.UpdatesToCapture(), UpdateLimit,
                                                          !options.OutPath.empty());
            std::printf("%s", dova_snap::FormatReport(report).c_str());
            if (!options.OutPath.empty()) {
                if (!dova_snap::WritePng(options.OutPath, report.Width, report.Height, report.Rgb)) {
                    std::fprintf(stderr, "dova-snap: cannot write %s\n", options.OutPath.c_str());
                    return 1;
                }
                std::printf("Wrote %s (%dx%d)\n", options.OutPath.c_str(), report.Width, report.Height);
            }
        }
    } catch (const dova::CSimpleException& failure) {
        std::fprintf(stderr, "dova-snap: error %d: %s\n", failure.Code, failure.Message.c_str());
        return 1;
    }
    return 0;
}
