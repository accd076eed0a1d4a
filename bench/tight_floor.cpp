// Where Tight JPEG decoding time goes, without a socket: reads updates saved by tight_bench
// (TIGHT_BENCH_SAVE) and times, per update, (a) TurboJPEG alone on the update's JPEG images, into the
// bitmap where the reader draws them, and (b) the reader's rectangle loop on the same bytes from memory.
// The difference is the reader's own cost; (a) is the floor with this library.
//
//   tight_floor FILE.rfb [rounds=20] [first=2]
//
// TIGHT_FLOOR_FLAGS=2304,256,0 compares TurboJPEG flag sets in (a) (2304: fast DCT and upsampling, as
// the reader decodes); TIGHT_FLOOR_ONLY=jpeg or reader runs one side, for perf. Only 32 bpp, depth 24
// recordings (what tight_bench records). Not a test.

#include "engine/MemoryTransport.h"
#include "engine/RectangleLoop.h"
#include "engine/RfbProtocol.h"
#include "engine/ViewerState.h"
#include "framebuffer/FrameBuffer.h"
#include "screens/BenchSupport.h"

#include <turbojpeg.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string_view>
#include <vector>

using namespace latis_bench;

namespace {

struct Image {
    size_t At, Size;
    int X, Y, W, H;
};

struct Update {
    size_t Start = 0, End = 0;
    std::vector<Image> Images;
};

class Parser {
public:
    explicit Parser(const std::vector<uint8_t>& bytes) : Bytes(bytes) {}
    bool More() const { return At < Bytes.size(); }
    size_t Position() const { return At; }
    uint32_t U8() { return Need(1), Bytes[At++]; }
    uint32_t U16() { return U8() << 8 | U8(); }
    uint32_t U32() { return U16() << 16 | U16(); }
    void Skip(size_t n) { Need(n), At += n; }
    uint32_t Compact() {
        uint32_t b = U8(), length = b & 0x7F;
        if (b & 0x80) {
            b = U8();
            length |= (b & 0x7F) << 7;
            if (b & 0x80)
                length |= U8() << 14;
        }
        return length;
    }

private:
    void Need(size_t n) const {
        if (Bytes.size() - At < n) {
            std::fprintf(stderr, "truncated recording\n");
            std::exit(1);
        }
    }
    const std::vector<uint8_t>& Bytes;
    size_t At = 0;
};

std::vector<Update> Split(const std::vector<uint8_t>& bytes) {
    std::vector<Update> updates;
    Parser in(bytes);
    while (in.More()) {
        Update u;
        u.Start = in.Position();
        if (in.U8() != 0) {
            std::fprintf(stderr, "not an update at %zu\n", u.Start);
            std::exit(1);
        }
        in.Skip(1);
        const uint32_t count = in.U16();
        for (uint32_t r = 0; r < count; ++r) {
            const int x = int(in.U16()), y = int(in.U16()), w = int(in.U16()), h = int(in.U16());
            if (in.U32() != 7) {
                std::fprintf(stderr, "not a Tight rectangle\n");
                std::exit(1);
            }
            const uint32_t control = in.U8(), type = control >> 4;
            if (type == 8) {
                in.Skip(3);
            } else if (type == 9) {
                const uint32_t length = in.Compact();
                u.Images.push_back({in.Position(), length, x, y, w, h});
                in.Skip(length);
            } else {
                const uint32_t filter = control & 0x40 ? in.U8() : 0;
                size_t rowBytes = size_t(w) * 3;
                if (filter == 1) {
                    const uint32_t colours = in.U8() + 1;
                    in.Skip(colours * 3);
                    rowBytes = colours == 2 ? size_t(w + 7) / 8 : size_t(w);
                }
                const size_t total = rowBytes * size_t(h);
                in.Skip(total < 12 ? total : in.Compact());
            }
        }
        u.End = in.Position();
        updates.push_back(std::move(u));
    }
    return updates;
}

class NullSink : public dova::IByteSink {
public:
    void Write(const void*, size_t) override {}
    dova::CLockable& WriteLock() override { return Lock; }

private:
    dova::CLockable Lock;
};

} // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: tight_floor FILE.rfb [rounds] [first]\n");
        return 2;
    }
    std::vector<uint8_t> bytes;
    if (FILE* file = std::fopen(argv[1], "rb")) {
        uint8_t chunk[1 << 16];
        for (size_t n; (n = std::fread(chunk, 1, sizeof chunk, file)) > 0;)
            bytes.insert(bytes.end(), chunk, chunk + n);
        std::fclose(file);
    }
    const int rounds = argc > 2 ? std::max(1, std::atoi(argv[2])) : 20;
    const size_t first = argc > 3 ? size_t(std::atoi(argv[3])) : 2;
    const std::vector<Update> updates = Split(bytes);
    if (updates.size() <= first)
        return 1;
    const double frames = double(updates.size() - first);
    const char* only = std::getenv("TIGHT_FLOOR_ONLY"); // "jpeg" or "reader", for perf

    dova::CViewerState state;
    state.SetRequestedPixelFormat(32);
    state.CurrentPixelFormat = state.RequestedPixelFormat;
    state.CurrentPixelFormat.Depth = 24;
    state.FrameWidth = 1920;
    state.FrameHeight = 1080;
    dova::CFrameBuffer frame;
    frame.Create(1920, 1080, state.CurrentPixelFormat);

    size_t images = 0, imageBytes = 0;
    for (size_t i = first; i < updates.size(); ++i)
        for (const Image& m : updates[i].Images)
            ++images, imageBytes += m.Size;
    std::printf("%zu updates after %zu, %.1f JPEG images and %.1f KB of them per update\n",
                updates.size() - first, first, double(images) / frames, double(imageBytes) / frames / 1e3);

    // Rounds alternate (a) the library alone, once per set of flags, and (b) the rectangle loop; the
    // best round of each counts (the machine is shared).
    std::vector<int> flagSets;
    const char* list = std::getenv("TIGHT_FLOOR_FLAGS"); // e.g. "2304,256,0"
    for (const char* at = list && *list ? list : "2304"; *at;) {
        char* end = nullptr;
        flagSets.push_back(int(std::strtol(at, &end, 10)));
        at = *end ? end + 1 : end;
    }
    std::vector<double> libraryBest(flagSets.size(), 1e18);
    double loopBest = 1e18;
    tjhandle handle = tjInitDecompress();
    NullSink sink;
    for (int round = 0; round < rounds; ++round) {
        for (size_t f = 0; f < flagSets.size() && (!only || std::string_view(only) == "jpeg"); ++f) {
            const double start = ThreadCpuMs();
            for (size_t i = first; i < updates.size(); ++i)
                for (const Image& m : updates[i].Images) {
                    uint8_t* to = frame.Data() + size_t(m.Y) * size_t(frame.Stride()) + size_t(m.X) * 4;
                    if (tjDecompress2(handle, bytes.data() + m.At, static_cast<unsigned long>(m.Size), to,
                                      m.W, frame.Stride(), m.H, TJPF_BGRX, flagSets[f]))
                        return 1;
                }
            libraryBest[f] = std::min(libraryBest[f], ThreadCpuMs() - start);
        }
        if (only && std::string_view(only) != "reader")
            continue;
        dova::CMemorySource source(bytes.data(), bytes.size());
        dova::CRfbProtocol protocol(state, source, sink);
        double spent = 0;
        for (size_t i = 0; i < updates.size(); ++i) {
            const double start = ThreadCpuMs();
            source.Take(2);
            dova::CRectangleLoop::Run(protocol, frame, source.ReadU16());
            if (i >= first)
                spent += ThreadCpuMs() - start;
        }
        loopBest = std::min(loopBest, spent);
    }
    tjDestroy(handle);
    for (size_t f = 0; f < flagSets.size() && (!only || std::string_view(only) == "jpeg"); ++f)
        std::printf("TurboJPEG alone (flags %4d) %6.2f ms per update\n", flagSets[f],
                    libraryBest[f] / frames);
    if (!only || std::string_view(only) == "reader")
        std::printf("rectangle loop              %6.2f ms per update\n", loopBest / frames);
    return 0;
}
