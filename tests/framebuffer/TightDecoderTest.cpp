// Tight rectangles from a scripted server: every rectangle type and filter against a model, the four
// zlib streams kept and reset, JPEG through TurboJPEG, and hostile data (lengths, palettes, filters,
// JPEG bombs, streams reset in mid-flow), which must end in a clear error with nothing drawn outside
// the rectangle.

#include "framebuffer/TightDecoder.h"
#include "RecordingPresenter.h"
#include "ScriptedServer.h"
#include "ServerStream.h"
#include "engine/MemoryTransport.h"
#include "engine/RectangleLoop.h"
#include "engine/RfbProtocol.h"
#include "engine/ViewerState.h"
#include "framebuffer/FrameBuffer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <random>
#include <turbojpeg.h>
#include <vector>
#include <zlib.h>

using namespace dova;
using latis_test::ServerStream;

namespace {

constexpr int W = 40, H = 20;
// Every rectangle below is drawn at (X0, Y0); the frame around it must stay untouched.
constexpr int X0 = 4, Y0 = 2;
constexpr uint32_t Sentinel = 0x00123456;

struct TightRig {
    latis_test::RecordingHost Host;
    latis_test::RecordingPresenter Presenter;
    CViewerState State{&Host};
    CFrameBuffer Frame{&Presenter};
    CMemorySource Source;
    CMemorySink Sink;
    CRfbProtocol Protocol{State, Source, Sink};
    std::vector<uint8_t> Bytes;
    int Bpp;

    explicit TightRig(int bitsPerPixel) : Bpp(bitsPerPixel) {
        State.Codecs.fill(-1);
        State.Codecs[0] = encodings::Tight;
        State.SetRequestedPixelFormat(bitsPerPixel);
        State.CurrentPixelFormat = State.RequestedPixelFormat;
        State.FrameWidth = uint16_t(W + 8);
        State.FrameHeight = uint16_t(H + 4);
        Frame.Create(W + 8, H + 4, State.CurrentPixelFormat);
        Frame.FillArea(0, 0, W + 8, H + 4, Sentinel);
    }
    void Run(const std::vector<uint8_t>& stream, int count = 1) {
        Bytes = stream;
        Source.Reset(Bytes.data(), Bytes.size());
        CRectangleLoop::Run(Protocol, Frame, uint16_t(count));
    }
    CSimpleException Failure(const std::vector<uint8_t>& stream) {
        try {
            Run(stream);
        } catch (const CSimpleException& e) {
            return e;
        }
        return CSimpleException(0, "no failure", ExceptionLevel::Quiet);
    }
    uint32_t Pixel(int x, int y) const {
        uint32_t value = 0;
        std::memcpy(&value, Frame.Data() + y * Frame.Stride() + x * Frame.BytesPerPixel(),
                    size_t(Frame.BytesPerPixel()));
        return value;
    }
    bool OutsideUntouched() const {
        const uint32_t mask = Bpp == 32 ? 0xFFFFFFFFu : (1u << Bpp) - 1;
        for (int y = 0; y < H + 4; ++y)
            for (int x = 0; x < W + 8; ++x)
                if ((x < X0 || x >= X0 + W || y < Y0 || y >= Y0 + H) && Pixel(x, y) != (Sentinel & mask))
                    return false;
        return true;
    }
};

// The picture every case draws: 0x00RRGGBB, smooth with some edges.
uint32_t Picture(int x, int y) {
    const uint32_t r = uint32_t(x * 6), g = uint32_t(y * 12),
                   b = (x + y) % 7 == 0 ? 255u : uint32_t(x * y) % 200;
    return (r << 16) | (g << 8) | b;
}

// A pixel of the picture in the viewer's format, as the frame holds it.
uint32_t InFormat(uint32_t rgb, int bpp) {
    const uint32_t r = rgb >> 16, g = (rgb >> 8) & 255, b = rgb & 255;
    if (bpp == 32)
        return rgb;
    if (bpp == 16)
        return (((r * 31 + 127) / 255) << 10) | (((g * 31 + 127) / 255) << 5) | ((b * 31 + 127) / 255);
    return ((r * 7 + 127) / 255) | (((g * 7 + 127) / 255) << 3) | (((b * 3 + 127) / 255) << 6);
}

// Bytes of a pixel as Tight sends it: R, G, B at 32 bits (depth 24), the whole pixel otherwise.
void PutTpixel(std::vector<uint8_t>& out, uint32_t rgb, int bpp) {
    if (bpp == 32) {
        out.insert(out.end(), {uint8_t(rgb >> 16), uint8_t(rgb >> 8), uint8_t(rgb)});
        return;
    }
    const uint32_t v = InFormat(rgb, bpp);
    for (int i = 0; i < bpp / 8; ++i)
        out.push_back(uint8_t(v >> (8 * i)));
}

void PutCompactLength(std::vector<uint8_t>& out, size_t length) {
    out.push_back(uint8_t((length & 0x7F) | (length > 0x7F ? 0x80 : 0)));
    if (length > 0x7F) {
        out.push_back(uint8_t(((length >> 7) & 0x7F) | (length > 0x3FFF ? 0x80 : 0)));
        if (length > 0x3FFF)
            out.push_back(uint8_t(length >> 14));
    }
}

// The server side of the four streams.
class TightServer {
public:
    TightServer() {
        for (auto& z : Z)
            deflateInit(&z, Z_DEFAULT_COMPRESSION);
    }
    ~TightServer() {
        for (auto& z : Z)
            deflateEnd(&z);
    }
    void Reset(int id) { deflateReset(&Z[id]); }
    // Data as it follows the control (and filter) bytes: as it is below 12 bytes, else compressed.
    std::vector<uint8_t> Data(int id, const std::vector<uint8_t>& data) {
        if (data.size() < 12)
            return data;
        std::vector<uint8_t> packed(data.size() + 64);
        Z[id].next_in = const_cast<Bytef*>(data.data());
        Z[id].avail_in = uInt(data.size());
        Z[id].next_out = packed.data();
        Z[id].avail_out = uInt(packed.size());
        deflate(&Z[id], Z_SYNC_FLUSH);
        packed.erase(packed.begin() + (Z[id].next_out - packed.data()), packed.end()); // never grows
        std::vector<uint8_t> out;
        PutCompactLength(out, packed.size());
        out.insert(out.end(), packed.begin(), packed.end());
        return out;
    }

private:
    z_stream Z[4]{};
};

std::vector<uint8_t> Head(int x = X0, int y = Y0, int w = W, int h = H) {
    return ServerStream().Rect(x, y, w, h, encodings::Tight).Data;
}
std::vector<uint8_t> Cat(std::vector<uint8_t> a, const std::vector<uint8_t>& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

// Basic rectangle with the copy filter (implicit) of the picture, on stream id.
std::vector<uint8_t> CopyRect(TightServer& server, int id, int bpp, uint8_t resets = 0) {
    std::vector<uint8_t> pixels;
    for (int y = 0; y < H; ++y)
        for (int x = 0; x < W; ++x)
            PutTpixel(pixels, Picture(x, y), bpp);
    return Cat(Cat(Head(), {uint8_t((id << 4) | resets)}), server.Data(id, pixels));
}

std::vector<uint8_t> Jpeg(int w, int h, int quality = 90) {
    std::vector<uint8_t> rgb;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const uint32_t p = Picture(x, y);
            rgb.insert(rgb.end(), {uint8_t(p >> 16), uint8_t(p >> 8), uint8_t(p)});
        }
    tjhandle handle = tjInitCompress();
    unsigned char* jpeg = nullptr;
    unsigned long size = 0;
    tjCompress2(handle, rgb.data(), w, 0, h, TJPF_RGB, &jpeg, &size, TJSAMP_444, quality, 0);
    std::vector<uint8_t> out(jpeg, jpeg + size);
    tjFree(jpeg);
    tjDestroy(handle);
    return out;
}
std::vector<uint8_t> JpegRect(const std::vector<uint8_t>& jpeg) {
    std::vector<uint8_t> out = Cat(Head(), {0x90});
    PutCompactLength(out, jpeg.size());
    return Cat(out, jpeg);
}

bool PictureDrawn(const TightRig& rig) {
    for (int y = 0; y < H; ++y)
        for (int x = 0; x < W; ++x)
            if (rig.Pixel(X0 + x, Y0 + y) != InFormat(Picture(x, y), rig.Bpp))
                return false;
    return true;
}

} // namespace

TEST(TightDecoder, FillCopyPaletteAndGradientAtEveryDepth) {
    for (int bpp : {8, 16, 32}) {
        SCOPED_TRACE(bpp);
        TightRig rig(bpp);
        TightServer server;
        // Fill.
        std::vector<uint8_t> fill = Cat(Head(), {0x80});
        PutTpixel(fill, 0x00FF8000, bpp);
        rig.Run(fill);
        EXPECT_EQ(rig.Pixel(X0 + W - 1, Y0 + H - 1), InFormat(0x00FF8000, bpp));
        EXPECT_TRUE(rig.OutsideUntouched());

        // Copy, twice on the same stream: the second rectangle continues the first's zlib stream.
        rig.Run(CopyRect(server, 1, bpp));
        EXPECT_TRUE(PictureDrawn(rig));
        rig.Frame.FillArea(X0, Y0, W, H, 0);
        rig.Run(CopyRect(server, 1, bpp));
        EXPECT_TRUE(PictureDrawn(rig));

        // Palette of two (one bit a pixel, rows padded to a byte) and of 256 (a byte a pixel).
        std::vector<uint8_t> two = Cat(Head(), {0x60, 0x01, 0x01});
        PutTpixel(two, 0x000000FF, bpp);
        PutTpixel(two, 0x00FFFFFF, bpp);
        std::vector<uint8_t> bits((W + 7) / 8 * H);
        for (int y = 0; y < H; ++y)
            for (int x = 0; x < W; ++x)
                if ((x + y) % 3 == 0)
                    bits[size_t(y * ((W + 7) / 8) + x / 8)] |= uint8_t(0x80 >> (x % 8));
        rig.Run(Cat(two, server.Data(2, bits)));
        EXPECT_EQ(rig.Pixel(X0, Y0), InFormat(0x00FFFFFF, bpp));
        EXPECT_EQ(rig.Pixel(X0 + 1, Y0), InFormat(0x000000FF, bpp));
        EXPECT_EQ(rig.Pixel(X0 + W - 1, Y0 + 1), InFormat(0x000000FF, bpp)) << "the last bits of a row";
        EXPECT_EQ(rig.Pixel(X0 + W - 2, Y0 + 1), InFormat(0x00FFFFFF, bpp));

        std::vector<uint8_t> full = Cat(Head(), {0x70, 0x01, 0xFF});
        for (int i = 0; i < 256; ++i)
            PutTpixel(full, uint32_t(i) * 0x010101u, bpp);
        std::vector<uint8_t> indexes(size_t(W * H));
        for (size_t i = 0; i < indexes.size(); ++i)
            indexes[i] = uint8_t(i * 7);
        rig.Run(Cat(full, server.Data(3, indexes)));
        EXPECT_EQ(rig.Pixel(X0 + 5, Y0 + 1), InFormat(uint32_t(uint8_t((W + 5) * 7)) * 0x010101u, bpp));

        // Gradient: the data is each channel's difference from its prediction.
        if (bpp == 8)
            continue; // servers use it at 16 and 32 bits only
        const int max[3] = {bpp == 32 ? 255 : 31, bpp == 32 ? 255 : 31, bpp == 32 ? 255 : 31};
        const int shift[3] = {bpp == 32 ? 16 : 10, bpp == 32 ? 8 : 5, 0};
        auto channel = [&](int x, int y, int c) {
            return x < 0 || y < 0 ? 0 : int(InFormat(Picture(x, y), bpp) >> shift[c]) & max[c];
        };
        std::vector<uint8_t> diffs;
        for (int y = 0; y < H; ++y)
            for (int x = 0; x < W; ++x) {
                uint32_t d[3];
                for (int c = 0; c < 3; ++c) {
                    const int predicted = std::clamp(
                        channel(x - 1, y, c) + channel(x, y - 1, c) - channel(x - 1, y - 1, c), 0, max[c]);
                    d[c] = uint32_t(channel(x, y, c) - predicted) & uint32_t(max[c]);
                }
                if (bpp == 32) {
                    diffs.insert(diffs.end(), {uint8_t(d[0]), uint8_t(d[1]), uint8_t(d[2])});
                } else {
                    const uint32_t v = (d[0] << 10) | (d[1] << 5) | d[2];
                    diffs.insert(diffs.end(), {uint8_t(v), uint8_t(v >> 8)});
                }
            }
        rig.Frame.FillArea(X0, Y0, W, H, 0);
        rig.Run(Cat(Cat(Head(), {0x40, 0x02}), server.Data(0, diffs)));
        EXPECT_TRUE(PictureDrawn(rig));
        EXPECT_TRUE(rig.OutsideUntouched());
    }
}

TEST(TightDecoder, JpegIsDecodedIntoTheRectangleOnly) {
    for (int bpp : {32, 16}) {
        SCOPED_TRACE(bpp);
        TightRig rig(bpp);
        rig.Run(JpegRect(Jpeg(W, H)));
        double squares = 0;
        for (int y = 0; y < H; ++y)
            for (int x = 0; x < W; ++x) {
                const uint32_t want = InFormat(Picture(x, y), bpp), got = rig.Pixel(X0 + x, Y0 + y);
                const int step = bpp == 32 ? 1 : 8; // one 5-bit step is 8 levels
                for (int c = 0; c < 3; ++c) {
                    const int s = bpp == 32 ? 8 * c : 5 * c;
                    const int m = bpp == 32 ? 255 : 31;
                    const double d = double((int(want >> s) & m) - (int(got >> s) & m)) * step;
                    squares += d * d;
                }
            }
        const double psnr = 10 * std::log10(255.0 * 255.0 * 3 * W * H / std::max(squares, 1.0));
        EXPECT_GT(psnr, 30.0);
        EXPECT_TRUE(rig.OutsideUntouched());
    }
}

TEST(TightDecoder, HostileDataEndsInAClearError) {
    const std::string malformed = "Out of sync or malformed server message.";
    {
        SCOPED_TRACE("a three-byte compact length with the high bit set, and too little data");
        TightRig rig(32);
        const auto failure = rig.Failure(Cat(Head(), {0x00, 0xFF, 0xFF, 0xFF, 0x78, 0x9C}));
        EXPECT_NE(failure.Code, 0);
        EXPECT_TRUE(rig.OutsideUntouched());
        const auto jpeg = rig.Failure(Cat(Head(), {0x90, 0xFF, 0xFF, 0xFF, 0xFF, 0xD8}));
        EXPECT_NE(jpeg.Code, 0);
    }
    {
        SCOPED_TRACE("palettes of one colour (an index past it) and of 256");
        TightRig rig(32);
        TightServer server;
        std::vector<uint8_t> one = Cat(Head(), {0x40, 0x01, 0x00, 0x10, 0x20, 0x30});
        std::vector<uint8_t> indexes(size_t(W * H), 0);
        indexes[100] = 1;
        const auto failure = rig.Failure(Cat(one, server.Data(0, indexes)));
        EXPECT_EQ(failure.Message, malformed);
        EXPECT_TRUE(rig.OutsideUntouched());
        // A palette announced but cut short: 256 entries need 768 bytes.
        EXPECT_NE(rig.Failure(Cat(Head(), {0x40, 0x01, 0xFF, 0x00})).Code, 0);
    }
    {
        SCOPED_TRACE("filter ids above 2, and types above JPEG");
        TightRig rig(32);
        for (uint8_t filter : {3, 4, 0xFF})
            EXPECT_EQ(rig.Failure(Cat(Head(), {0x40, filter, 0, 0, 0})).Message, malformed) << int(filter);
        for (uint8_t control : {0xA0, 0xB0, 0xF0})
            EXPECT_EQ(rig.Failure(Cat(Head(), {control, 0, 0, 0})).Message, malformed) << int(control);
    }
    {
        SCOPED_TRACE("a JPEG bomb declaring 65535 x 65535, one of the wrong size, one corrupt");
        TightRig rig(32);
        std::vector<uint8_t> bomb = Jpeg(W, H);
        for (size_t i = 0; i + 8 < bomb.size(); ++i)
            if (bomb[i] == 0xFF && bomb[i + 1] == 0xC0) { // start of frame: height and width at +5
                bomb[i + 5] = bomb[i + 6] = bomb[i + 7] = bomb[i + 8] = 0xFF;
                break;
            }
        const auto refused = rig.Failure(JpegRect(bomb)); // libjpeg itself refuses sizes above 65500
        EXPECT_EQ(refused.Code, codes::ProtocolSync);
        EXPECT_EQ(refused.Message.rfind("Tight: JPEG image ", 0), 0u) << refused.Message;
        EXPECT_EQ(rig.Failure(JpegRect(Jpeg(W / 2, H))).Message, "Tight: JPEG image of the wrong size.");
        std::vector<uint8_t> corrupt = Jpeg(W, H);
        std::fill(corrupt.begin() + long(corrupt.size() / 2), corrupt.end(), 0x00);
        EXPECT_NE(rig.Failure(JpegRect(corrupt)).Code, 0);
        EXPECT_EQ(rig.Failure(JpegRect({1, 2, 3, 4})).Message, "Tight: JPEG image unreadable.");
        EXPECT_TRUE(rig.OutsideUntouched());
    }
    {
        SCOPED_TRACE("a stream reset in mid-flow");
        TightRig rig(32);
        TightServer server;
        rig.Run(CopyRect(server, 2, 32));
        // The viewer resets stream 2, the server goes on with its old one: no zlib header comes.
        EXPECT_EQ(rig.Failure(CopyRect(server, 2, 32, 0x04)).Message, malformed);
        EXPECT_TRUE(rig.OutsideUntouched());
        // Both reset: a new stream with its header decodes.
        server.Reset(2);
        rig.Frame.FillArea(X0, Y0, W, H, 0);
        rig.Run(CopyRect(server, 2, 32, 0x04));
        EXPECT_TRUE(PictureDrawn(rig));
    }
}
