#include "SnapCapture.h"

#include "engine/SessionThread.h"
#include "framebuffer/FrameBuffer.h"
#include "framebuffer/RectangleDecoder.h"
#include "framebuffer/TightDecoder.h"
#include "framebuffer/ZrleDecoder.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace dova_snap {

using namespace dova;

namespace {
// How often the main thread looks at the update count while it waits for engine messages.
constexpr auto PollSlice = std::chrono::milliseconds(10);

uint8_t Expand(unsigned value, unsigned max) {
    return uint8_t(max ? value * 255 / max : 0);
}
} // namespace

std::vector<uint8_t> FrameToRgb(const CFrameBuffer& frame) {
    const PixelFormat& f = frame.Format();
    const int bytes = frame.BytesPerPixel();
    std::vector<uint8_t> rgb;
    rgb.reserve(size_t(frame.Width()) * size_t(frame.Height()) * 3);
    for (int y = 0; y < frame.Height(); ++y) {
        const uint8_t* row = frame.Data() + size_t(y) * size_t(frame.Stride());
        for (int x = 0; x < frame.Width(); ++x) {
            uint32_t pixel = 0;
            std::memcpy(&pixel, row + x * bytes, size_t(bytes)); // little-endian layouts, as requested
            if (bytes == 1) {
                const uint32_t c = frame.ColourTable()[pixel & 0xFF];
                rgb.insert(rgb.end(), {uint8_t(c >> 16), uint8_t(c >> 8), uint8_t(c)});
            } else {
                rgb.push_back(Expand((pixel >> f.RedShift) & f.RedMax, f.RedMax));
                rgb.push_back(Expand((pixel >> f.GreenShift) & f.GreenMax, f.GreenMax));
                rgb.push_back(Expand((pixel >> f.BlueShift) & f.BlueMax, f.BlueMax));
            }
        }
    }
    return rgb;
}

CaptureReport CaptureUpdates(SnapConnection& connection, int updates, std::chrono::milliseconds limit,
                             bool keepPixels) {
    CViewerState& state = connection.State();
    CFrameBuffer frame;
    DecodeStatistics statistics;
    {
        uint16_t width, height;
        PixelFormat format;
        {
            CLockGuard hold(state);
            width = state.FrameWidth;
            height = state.FrameHeight;
            format = state.CurrentPixelFormat;
        }
        frame.Create(width, height, format);
    }
    state.FrameBuffer = &frame;
    state.State = states::Dispatching;

    CaptureReport report;
    // The session ends after the last update asked for: the picture is that update, none of the next.
    statistics.StopAfterUpdates = uint64_t(std::max(1, updates));
    {
        CSessionThread session(state);
        session.SetStatistics(&statistics);
        session.Start();
        const auto deadline = std::chrono::steady_clock::now() + limit;
        try {
            while (statistics.Updates < uint64_t(updates)) {
                if (std::chrono::steady_clock::now() >= deadline)
                    throw CErrorException(codes::SocketRead, "Timed out waiting for updates.");
                HostMessage message;
                uint32_t wParam, lParam;
                if (connection.Host().Next(message, wParam, lParam, PollSlice))
                    connection.HandleCommon(message);
            }
        } catch (...) {
            connection.Socket().CloseByOwner(true); // a receive blocked in the session ends quietly
            session.Stop();
            state.FrameBuffer = nullptr;
            throw;
        }
        // As a viewer stops: close the connection first, then end the thread.
        connection.Socket().CloseByOwner(true);
        session.Stop();
    }
    state.FrameBuffer = nullptr;

    report.Updates = statistics.Updates;
    for (int i = 0; i < DecodeStatistics::EncodingSlots; ++i)
        report.Rectangles[i] = statistics.Rectangles[size_t(i)];
    report.BytesRead = connection.Socket().TotalRead();
    report.DecodeMilliseconds = double(statistics.DecodeNanoseconds) / 1e6;
    report.Width = frame.Width();
    report.Height = frame.Height();
    if (keepPixels)
        report.Rgb = FrameToRgb(frame);
    return report;
}

std::string FormatReport(const CaptureReport& r) {
    static const std::pair<int32_t, const char*> names[] = {
        {encodings::Raw, "Raw"},     {encodings::CopyRect, "CopyRect"}, {encodings::RRE, "RRE"},
        {encodings::CoRRE, "CoRRE"}, {encodings::Hextile, "Hextile"},   {encodings::Tight, "Tight"},
        {encodings::ZRLE, "ZRLE"}};
    char line[160];
    std::string out;
    std::snprintf(line, sizeof line, "Updates: %llu\n", static_cast<unsigned long long>(r.Updates));
    out += line;
    out += "Rectangles:";
    for (const auto& [encoding, name] : names) {
        std::snprintf(line, sizeof line, " %s %llu", name,
                      static_cast<unsigned long long>(r.Rectangles[size_t(encoding)]));
        out += line;
    }
    std::snprintf(line, sizeof line, "\nBytes read: %llu\nDecode time: %.1f ms\n",
                  static_cast<unsigned long long>(r.BytesRead), r.DecodeMilliseconds);
    return out + line;
}

} // namespace dova_snap
