// A thumbnail's reduced frame: an update drawn in rectangles that do not fall on block edges leaves
// every block its exact average; a source already at the reduced size (a JPEG decompressed small)
// blends as its full-size equivalent would; and whole updates through the rectangle loop (Raw, Tight
// fill, basic and JPEG, CopyRect) land where they belong, with hostile JPEG data still a clear error.

#include "RecordingPresenter.h"
#include "ScriptedServer.h"
#include "ServerStream.h"
#include "engine/MemoryTransport.h"
#include "engine/RectangleLoop.h"
#include "engine/RfbProtocol.h"
#include "engine/ViewerState.h"
#include "framebuffer/FrameBuffer.h"
#include "framebuffer/FrameReducer.h"
#include "framebuffer/TightDecoder.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <random>
#include <turbojpeg.h>
#include <vector>

using namespace dova;
using latis_test::ServerStream;

namespace {

// A remote screen in one of the viewer's formats (at 32 bpp 0x00RRGGBB words).
struct Screen {
    int Width, Height;
    std::vector<uint32_t> Pixels;
    uint32_t At(int x, int y) const { return Pixels[size_t(y) * size_t(Width) + size_t(x)]; }
};

PixelFormat FormatOf(int bits) {
    PixelFormat f;
    PixelFormat::ForBitsPerPixel(bits, f);
    return f;
}

Screen RandomScreen(int width, int height, unsigned seed, int bits = 32) {
    std::mt19937 random(seed);
    const uint32_t mask = bits == 32 ? 0xFFFFFF : bits == 16 ? 0x7FFF : 0xFF;
    Screen s{width, height, std::vector<uint32_t>(size_t(width) * size_t(height))};
    for (uint32_t& p : s.Pixels)
        p = random() & mask;
    return s;
}

// A smooth picture, for JPEG.
Screen SmoothScreen(int width, int height) {
    Screen s{width, height, std::vector<uint32_t>(size_t(width) * size_t(height))};
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            s.Pixels[size_t(y) * size_t(width) + size_t(x)] = uint32_t(x * 255 / width) << 16 |
                                                              uint32_t(y * 255 / height) << 8 |
                                                              uint32_t((x + y) * 2 & 255);
    return s;
}

// The exact box average of the factor x factor block at stored (bx, by), cut at the screen's edges.
uint32_t BlockAverage(const Screen& s, int factor, int bx, int by, int bits = 32) {
    const PixelFormat f = FormatOf(bits);
    const int shift[3] = {f.RedShift, f.GreenShift, f.BlueShift};
    const uint32_t max[3] = {f.RedMax, f.GreenMax, f.BlueMax};
    uint32_t sums[3] = {0, 0, 0}, count = 0;
    for (int y = by * factor; y < std::min(s.Height, (by + 1) * factor); ++y)
        for (int x = bx * factor; x < std::min(s.Width, (bx + 1) * factor); ++x, ++count)
            for (int k = 0; k < 3; ++k)
                sums[k] += s.At(x, y) >> shift[k] & max[k];
    uint32_t value = 0;
    for (int k = 0; k < 3; ++k)
        value |= (sums[k] + count / 2) / count << shift[k];
    return value;
}

uint32_t Stored(const CFrameBuffer& frame, int x, int y) {
    uint32_t v = 0;
    std::memcpy(&v, frame.Data() + y * frame.Stride() + x * frame.BytesPerPixel(),
                size_t(frame.BytesPerPixel()));
    return frame.BytesPerPixel() == 4 ? v & 0xFFFFFF : v;
}

void BlendPart(CFrameBuffer& frame, const Screen& s, int x, int y, int w, int h) {
    const size_t bytes = size_t(frame.BytesPerPixel());
    std::vector<uint8_t> part;
    for (int r = y; r < y + h; ++r)
        for (int c = x; c < x + w; ++c)
            for (size_t i = 0; i < bytes; ++i)
                part.push_back(uint8_t(s.At(c, r) >> (8 * i)));
    frame.BlendReduced(ScaledRect{part.data(), size_t(w) * bytes, 1, x, y, w, h});
}

double Psnr(const CFrameBuffer& frame, const Screen& s, int factor) {
    double squares = 0;
    for (int y = 0; y < frame.Height(); ++y)
        for (int x = 0; x < frame.Width(); ++x) {
            const uint32_t a = Stored(frame, x, y), b = BlockAverage(s, factor, x, y);
            for (int k = 0; k < 24; k += 8) {
                const double d = double(int(a >> k & 255) - int(b >> k & 255));
                squares += d * d;
            }
        }
    return squares == 0 ? 99 : 10 * std::log10(255.0 * 255 * 3 * frame.Width() * frame.Height() / squares);
}

} // namespace

TEST(ReducedFrame, AnUpdateInUnalignedRectanglesLeavesEachBlockItsAverage) {
    for (int bits : {8, 16, 32})
        for (int factor : {2, 4, 8}) {
            SCOPED_TRACE(testing::Message() << bits << " bpp, factor " << factor);
            const Screen before = RandomScreen(37, 29, 1, bits), after = RandomScreen(37, 29, 2, bits);
            CFrameBuffer frame;
            frame.SetReduction(factor);
            frame.Create(37, 29, bits);
            ASSERT_EQ(frame.Width(), (37 + factor - 1) / factor);
            BlendPart(frame, before, 0, 0, 37, 29);
            frame.EndReducedUpdate();
            // Bands of 3, 7, 5, ... rows, the middle ones split in two columns at 13.
            for (int y = 0, band = 3; y < 29; y += band, band = band % 9 + 2) {
                const int h = std::min(band, 29 - y);
                if (y > 5 && y < 20) {
                    BlendPart(frame, after, 0, y, 13, h);
                    BlendPart(frame, after, 13, y, 24, h);
                } else {
                    BlendPart(frame, after, 0, y, 37, h);
                }
            }
            frame.EndReducedUpdate();
            for (int y = 0; y < frame.Height(); ++y)
                for (int x = 0; x < frame.Width(); ++x)
                    ASSERT_EQ(Stored(frame, x, y), BlockAverage(after, factor, x, y, bits)) << x << "," << y;
            if (bits != 32)
                continue;

            // Across updates, the part of a block not drawn keeps counting as what the block was.
            const uint32_t grey = 0x646464;
            frame.Create(37, 29, 32);
            const Screen flat{37, 29, std::vector<uint32_t>(37 * 29, grey)};
            BlendPart(frame, flat, 0, 0, 37, 29);
            frame.EndReducedUpdate();
            const Screen white{37, 29, std::vector<uint32_t>(37 * 29, 0xC8C8C8)};
            BlendPart(frame, white, 0, 0, factor / 2, factor); // half of block (0, 0)
            frame.EndReducedUpdate();
            EXPECT_EQ(Stored(frame, 0, 0), 0x969696u); // (100 + 200) / 2
            EXPECT_EQ(Stored(frame, 1, 0), grey);
        }
}

TEST(ReducedFrame, AReducedSourceBlendsAsItsFullSizeEquivalent) {
    // Source pixels of 4 x 4 remote pixels, at an origin off the block grid of 8.
    const int scale = 4, x0 = 5, y0 = 3, w = 27, h = 18;
    const Screen small = RandomScreen((w + scale - 1) / scale, (h + scale - 1) / scale, 3);
    Screen full{w, h, std::vector<uint32_t>(size_t(w) * h)};
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            full.Pixels[size_t(y) * w + x] = small.At(x / scale, y / scale);
    CFrameBuffer direct, expanded;
    for (CFrameBuffer* f : {&direct, &expanded}) {
        f->SetReduction(8);
        f->Create(40, 30, 32);
    }
    direct.BlendReduced(ScaledRect{reinterpret_cast<const uint8_t*>(small.Pixels.data()),
                                   size_t(small.Width) * 4, scale, x0, y0, w, h});
    expanded.BlendReduced(
        ScaledRect{reinterpret_cast<const uint8_t*>(full.Pixels.data()), size_t(w) * 4, 1, x0, y0, w, h});
    ASSERT_EQ(direct.Width(), 5);
    EXPECT_EQ(std::memcmp(direct.Data(), expanded.Data(), size_t(direct.Stride()) * direct.Height()), 0);
}

namespace {

struct ReducedRig {
    latis_test::RecordingHost Host;
    latis_test::RecordingPresenter Presenter;
    CViewerState State{&Host};
    CFrameBuffer Frame{&Presenter};
    CMemorySource Source;
    CMemorySink Sink;
    CRfbProtocol Protocol{State, Source, Sink};
    std::vector<uint8_t> Bytes;

    ReducedRig(int width, int height) {
        State.Codecs[0] = encodings::Tight; // three-byte Tight pixels at depth 24
        State.SetRequestedPixelFormat(32);
        State.CurrentPixelFormat = State.RequestedPixelFormat;
        State.FrameWidth = uint16_t(width);
        State.FrameHeight = uint16_t(height);
        Frame.Create(width, height, State.CurrentPixelFormat);
    }
    void Run(const ServerStream& stream, int count) {
        Bytes = stream.Data;
        Source.Reset(Bytes.data(), Bytes.size());
        CRectangleLoop::Run(Protocol, Frame, uint16_t(count));
    }
};

void PutCompactLength(ServerStream& s, size_t length) {
    s.U8(int(length & 0x7F) | (length > 0x7F ? 0x80 : 0));
    if (length > 0x7F)
        s.U8(int(length >> 7 & 0x7F) | (length > 0x3FFF ? 0x80 : 0));
    if (length > 0x3FFF)
        s.U8(int(length >> 14));
}

std::vector<uint8_t> Jpeg(const Screen& s, int x, int y, int w, int h) {
    std::vector<uint8_t> rgb;
    for (int r = y; r < y + h; ++r)
        for (int c = x; c < x + w; ++c) {
            const uint32_t p = s.At(c, r);
            rgb.insert(rgb.end(), {uint8_t(p >> 16), uint8_t(p >> 8), uint8_t(p)});
        }
    tjhandle handle = tjInitCompress();
    unsigned char* jpeg = nullptr;
    unsigned long size = 0;
    tjCompress2(handle, rgb.data(), w, 0, h, TJPF_RGB, &jpeg, &size, TJSAMP_420, 90, 0);
    std::vector<uint8_t> out(jpeg, jpeg + size);
    tjFree(jpeg);
    tjDestroy(handle);
    return out;
}

} // namespace

TEST(ReducedFrame, UpdatesThroughTheRectangleLoopLandWhereTheyBelong) {
    const int width = 100, height = 60;
    const Screen smooth = SmoothScreen(width, height);
    ReducedRig rig(width, height);
    rig.State.FrameReduction = 4;

    // Raw on the left in two unaligned bands, Tight JPEG on the right, a Tight fill at the bottom.
    ServerStream s(32);
    auto raw = [&](int x, int y, int w, int h) {
        s.Rect(x, y, w, h, encodings::Raw);
        for (int r = y; r < y + h; ++r)
            for (int c = x; c < x + w; ++c)
                s.Pixel(smooth.At(c, r));
    };
    raw(0, 0, 43, 21);
    raw(0, 21, 43, 29);
    const std::vector<uint8_t> jpeg = Jpeg(smooth, 43, 0, 57, 50);
    s.Rect(43, 0, 57, 50, encodings::Tight).U8(0x90);
    PutCompactLength(s, jpeg.size());
    s.Data.insert(s.Data.end(), jpeg.begin(), jpeg.end());
    s.Rect(0, 50, 100, 10, encodings::Tight).U8(0x80).U8(0x33).U8(0x66).U8(0x99);
    rig.Run(s, 4);
    EXPECT_EQ(rig.Frame.Reduction(), 4); // followed the viewer at the update's start
    EXPECT_TRUE(rig.State.FullRefreshRequested.load());
    ASSERT_EQ(rig.Frame.Width(), 25);
    ASSERT_EQ(rig.Frame.Height(), 15);

    Screen expected = smooth;
    for (int y = 50; y < 60; ++y)
        for (int x = 0; x < 100; ++x)
            expected.Pixels[size_t(y) * 100 + size_t(x)] = 0x336699;
    for (int y = 0; y < 15; ++y)
        for (int x = 0; x < 10; ++x) // the Raw part, short of the block shared with the JPEG
            ASSERT_EQ(Stored(rig.Frame, x, y), BlockAverage(expected, 4, x, y)) << x << "," << y;
    EXPECT_EQ(Stored(rig.Frame, 12, 14), 0x336699u);
    EXPECT_GT(Psnr(rig.Frame, expected, 4), 35.0);   // JPEG decompressed at a quarter of its size
    ASSERT_FALSE(rig.Presenter.Presented().empty()); // shown in stored pixels
    EXPECT_EQ(rig.Presenter.Presented().back(), (latis_test::PresentedArea{0, 0, 25, 15}));

    // CopyRect moves whole blocks; a JPEG of the wrong size is still a clear error.
    ServerStream copy(32);
    copy.Rect(40, 0, 20, 20, encodings::CopyRect).U16(0).U16(20);
    rig.Run(copy, 1);
    for (int y = 0; y < 5; ++y)
        for (int x = 0; x < 5; ++x)
            EXPECT_EQ(Stored(rig.Frame, 10 + x, y), BlockAverage(expected, 4, x, 5 + y));
    ServerStream wrong(32);
    wrong.Rect(0, 0, 20, 20, encodings::Tight).U8(0x90);
    const std::vector<uint8_t> small = Jpeg(smooth, 0, 0, 16, 16);
    PutCompactLength(wrong, small.size());
    wrong.Data.insert(wrong.Data.end(), small.begin(), small.end());
    try {
        rig.Run(wrong, 1);
        ADD_FAILURE() << "a JPEG of the wrong size was drawn";
    } catch (const CSimpleException& e) {
        EXPECT_EQ(e.Code, codes::ProtocolSync);
    }

    // A new reduction starts from the picture there was (a resized tile does not go black).
    rig.State.FrameReduction = 8;
    rig.State.FullRefreshRequested = false;
    rig.Run(ServerStream(32), 0);
    ASSERT_EQ(rig.Frame.Reduction(), 8);
    EXPECT_TRUE(rig.State.FullRefreshRequested.load());
    for (int y = 0; y < 6; ++y)
        for (int x = 0; x < 5; ++x) {
            const uint32_t want = BlockAverage(expected, 8, x, y), got = Stored(rig.Frame, x, y);
            for (int k = 0; k < 24; k += 8)
                EXPECT_NEAR(int(got >> k & 255), int(want >> k & 255), 1) << x << "," << y;
        }
}
