#include "framebuffer/Scaler.h"
#include "engine/SurfacePresenter.h"
#include "engine/ViewerState.h"
#include "framebuffer/BackSurface.h"
#include "framebuffer/FrameBuffer.h"

#include "ScriptedServer.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <vector>

using namespace dova;

namespace {

StretchRatio Ratio(int num, int den) {
    return StretchRatio{num, den, num, den};
}

// A 16 bpp (5-5-5) source filled with a deterministic pattern.
struct Source16 {
    int Width, Height;
    std::vector<uint8_t> Bytes;
    SourcePixels Pixels;
    Source16(int w, int h) : Width(w), Height(h), Bytes(size_t(CFrameBuffer::StrideFor(w, 16)) * h) {
        PixelFormat::ForBitsPerPixel(16, Pixels.Format);
        Pixels.Data = Bytes.data();
        Pixels.Width = w;
        Pixels.Height = h;
        Pixels.Stride = CFrameBuffer::StrideFor(w, 16);
        Pixels.BitsPerPixel = 16;
        uint32_t seed = 12345;
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) {
                seed = seed * 1103515245u + 12345u;
                Set(x, y, uint16_t((seed >> 16) & 0x7FFF));
            }
    }
    void Set(int x, int y, uint16_t v) {
        std::memcpy(&Bytes[size_t(y) * Pixels.Stride + size_t(x) * 2], &v, 2);
    }
    uint16_t Get(int x, int y) const {
        uint16_t v;
        std::memcpy(&v, &Bytes[size_t(y) * Pixels.Stride + size_t(x) * 2], 2);
        return v;
    }
    // 8-bit level of channel shift (10 red, 5 green, 0 blue).
    int Level(int x, int y, int shift) const { return ((Get(x, y) >> shift) & 31) * 255 / 31; }
};

int Channel(uint32_t word, int index) {
    return int((word >> (16 - 8 * index)) & 0xFF);
}

} // namespace

TEST(StretchCells, QuarterRatioWidensToWholeCells) {
    const StretchRatio r = Ratio(1, 4);
    const Area window = CSurfacePresenter::WindowAreaFor(r, true, 1024, 768, 8, 8, 8, 8);
    EXPECT_EQ(window, (Area{2, 2, 3, 3}));
    EXPECT_EQ(UnscaleRect(r, window.X, window.Y, window.Width, window.Height), (Area{8, 8, 12, 12}));
}

TEST(StretchCells, ThreeQuarterRatioNeverDrawsAFractionOfACell) {
    const StretchRatio r = Ratio(3, 4);
    EXPECT_EQ(ScaleRectOutward(r, 5, 0, 6, 1), (Edges{3, 0, 6, 3}));
    const Area window = CSurfacePresenter::WindowAreaFor(r, true, 1024, 768, 5, 0, 1, 1);
    EXPECT_EQ(window, (Area{3, 0, 3, 3}));
    EXPECT_EQ(UnscaleRect(r, window.X, window.Y, window.Width, window.Height), (Area{4, 0, 4, 4}));
}

TEST(StretchCells, RepaintAtTheFrameEdgeIsCutAtTheScaledWidth) {
    const StretchRatio r = Ratio(3, 4);
    const Area window = CSurfacePresenter::WindowAreaFor(r, true, 1024, 768, 1020, 764, 4, 4);
    EXPECT_EQ(window.X + window.Width, ScaleX(r, 1024));
    EXPECT_EQ(window.Y + window.Height, ScaleY(r, 768));
    // Unstretched: the frame rectangle itself, clipped to the frame.
    EXPECT_EQ(CSurfacePresenter::WindowAreaFor(r, false, 100, 100, 90, 95, 20, 20), (Area{90, 95, 10, 5}));
}

TEST(ScalerCopy, ConvertsEachDepthToRgb32) {
    uint32_t out[2] = {0, 0};
    TargetPixels target{out, 2, 1, 2};

    uint16_t words[2] = {0x7C00, 0x001F}; // 5-5-5 red, blue
    SourcePixels s16;
    PixelFormat::ForBitsPerPixel(16, s16.Format);
    s16.Data = reinterpret_cast<const uint8_t*>(words);
    s16.Width = 2, s16.Height = 1, s16.Stride = 4, s16.BitsPerPixel = 16;
    CopyConverted(s16, 0, 0, 2, 1, target, 0, 0);
    EXPECT_EQ(out[0], 0xFF0000u);
    EXPECT_EQ(out[1], 0x0000FFu);

    uint32_t longs[2] = {0x00123456, 0xFF00FF00};
    SourcePixels s32;
    PixelFormat::ForBitsPerPixel(32, s32.Format);
    s32.Data = reinterpret_cast<const uint8_t*>(longs);
    s32.Width = 2, s32.Height = 1, s32.Stride = 8, s32.BitsPerPixel = 32;
    CopyConverted(s32, 0, 0, 2, 1, target, 0, 0);
    EXPECT_EQ(out[0], 0x123456u);
    EXPECT_EQ(out[1], 0x00FF00u) << "the unused byte never reaches the screen";

    uint8_t indices[4] = {0x07, 0xFF, 0, 0};
    SourcePixels s8;
    PixelFormat::ForBitsPerPixel(8, s8.Format);
    const auto table = ColourTableFor(s8.Format);
    s8.Data = indices;
    s8.Width = 2, s8.Height = 1, s8.Stride = 4, s8.BitsPerPixel = 8, s8.Colours = &table;
    CopyConverted(s8, 0, 0, 2, 1, target, 0, 0);
    EXPECT_EQ(out[0], 0xFF0000u);
    EXPECT_EQ(out[1], 0xFFFFFFu);
}

TEST(ScalerCopy, LargeAreasConvertLikeSmallOnes) {
    Source16 source(300, 300); // large enough for the 16-bit table
    std::vector<uint32_t> whole(300 * 300), single(1);
    TargetPixels all{whole.data(), 300, 300, 300};
    CopyConverted(source.Pixels, 0, 0, 300, 300, all, 0, 0);
    TargetPixels one{single.data(), 1, 1, 1};
    for (int i = 0; i < 300 * 300; i += 997) {
        CopyConverted(source.Pixels, i % 300, i / 300, 1, 1, one, 0, 0);
        ASSERT_EQ(whole[size_t(i)], single[0]) << i;
    }
}

TEST(ScalerCopy, ViewerFormatGivesTheLevelOfEveryValue) {
    Source16 source(256, 128); // every 15-bit value once
    for (int v = 0; v < 32768; ++v)
        source.Set(v % 256, v / 256, uint16_t(v));
    std::vector<uint32_t> out(256 * 128);
    TargetPixels target{out.data(), 256, 128, 256};
    CopyConverted(source.Pixels, 0, 0, 256, 128, target, 0, 0);
    for (int v = 0; v < 32768; ++v) {
        const int x = v % 256, y = v / 256;
        ASSERT_EQ(out[size_t(v)],
                  uint32_t(source.Level(x, y, 10) << 16 | source.Level(x, y, 5) << 8 | source.Level(x, y, 0)))
            << v;
    }
}

TEST(ScalerCopy, ClipsAtBothImages) {
    Source16 source(4, 4);
    std::vector<uint32_t> out(9, 0xDEADBEEF);
    TargetPixels target{out.data(), 3, 3, 3};
    CopyConverted(source.Pixels, 2, 2, 10, 10, target, 1, 1);
    EXPECT_EQ(out[0], 0xDEADBEEFu);
    EXPECT_NE(out[4], 0xDEADBEEFu);
    EXPECT_NE(out[8], 0xDEADBEEFu);
    EXPECT_EQ(out[2], 0xDEADBEEFu);
}

TEST(ScalerStretch, HalftoneGivesTheAverageOfEachCell) {
    Source16 source(64, 48);
    std::vector<uint32_t> out(16 * 12, 0);
    TargetPixels target{out.data(), 16, 12, 16};
    StretchConverted(source.Pixels, Area{0, 0, 64, 48}, target, Area{0, 0, 16, 12}, StretchFilter::Halftone);
    for (int j = 0; j < 12; ++j)
        for (int i = 0; i < 16; ++i)
            for (int c = 0; c < 3; ++c) {
                const int shift = 10 - 5 * c;
                int sum = 0;
                for (int y = 0; y < 4; ++y)
                    for (int x = 0; x < 4; ++x)
                        sum += source.Level(i * 4 + x, j * 4 + y, shift);
                ASSERT_NEAR(Channel(out[size_t(j) * 16 + i], c), sum / 16.0, 1.5)
                    << i << "," << j << " ch " << c;
            }
}

TEST(ScalerStretch, HalftoneOfTheViewerFormatEqualsTheGeneralFilter) {
    Source16 source(64, 48);
    Source16 swapped(64, 48); // the same picture big-endian: the general filter reads it
    swapped.Pixels.Format.BigEndian = 1;
    for (int y = 0; y < 48; ++y)
        for (int x = 0; x < 64; ++x)
            swapped.Set(x, y, uint16_t(source.Get(x, y) >> 8 | source.Get(x, y) << 8));
    for (const Area& to : {Area{0, 0, 23, 17}, Area{-3, 2, 40, 30}}) {
        std::vector<uint32_t> fast(23 * 17, 7), general(23 * 17, 7);
        TargetPixels a{fast.data(), 23, 17, 23}, b{general.data(), 23, 17, 23};
        StretchConverted(source.Pixels, Area{0, 0, 64, 48}, a, to, StretchFilter::Halftone);
        StretchConverted(swapped.Pixels, Area{0, 0, 64, 48}, b, to, StretchFilter::Halftone);
        EXPECT_EQ(fast, general) << to.X << "," << to.Y << " " << to.Width << "x" << to.Height;
    }
}

TEST(ScalerStretch, ColourOnColourPicksAPixelOfTheCell) {
    Source16 source(64, 48);
    std::vector<uint32_t> out(16 * 12, 0);
    TargetPixels target{out.data(), 16, 12, 16};
    StretchConverted(source.Pixels, Area{0, 0, 64, 48}, target, Area{0, 0, 16, 12},
                     StretchFilter::ColourOnColour);
    uint32_t expected[1];
    TargetPixels one{expected, 1, 1, 1};
    CopyConverted(source.Pixels, 5 * 4 + 2, 3 * 4 + 2, 1, 1, one, 0, 0);
    EXPECT_EQ(out[3 * 16 + 5], expected[0]) << "the pixel under the cell's centre, unblended";
}

TEST(ScalerStretch, EnlargingRepeatsPixels) {
    Source16 source(2, 2);
    std::vector<uint32_t> out(6 * 6, 0);
    TargetPixels target{out.data(), 6, 6, 6};
    StretchConverted(source.Pixels, Area{0, 0, 2, 2}, target, Area{0, 0, 6, 6}, StretchFilter::Halftone);
    uint32_t corner[1];
    TargetPixels one{corner, 1, 1, 1};
    CopyConverted(source.Pixels, 1, 1, 1, 1, one, 0, 0);
    EXPECT_EQ(out[5 * 6 + 5], corner[0]);
    EXPECT_EQ(out[3 * 6 + 3], corner[0]);
}

TEST(SurfacePresenter, DrawsIntoTheBackSurfaceAndPostsTheWindowArea) {
    latis_test::RecordingHost host;
    CViewerState state(&host);
    state.SetRequestedPixelFormat(16);
    state.CurrentPixelFormat = state.RequestedPixelFormat;
    CBackSurface surface;
    CSurfacePresenter presenter(state, surface);
    CFrameBuffer frame(&presenter);
    frame.Create(64, 48, 16);
    {
        CLockGuard hold(state);
        state.Stretch = true;
        state.StretchXNum = state.StretchYNum = 1;
        state.StretchXDen = state.StretchYDen = 4;
    }
    frame.FillArea(8, 8, 8, 8, 0x7C00, true); // red
    EXPECT_EQ(surface.Width(), 16);
    EXPECT_EQ(surface.Height(), 12);
    EXPECT_EQ(surface.Data()[2 * 16 + 2], 0xFF0000u);
    EXPECT_EQ(surface.Data()[3 * 16 + 3], 0xFF0000u);
    EXPECT_EQ(surface.Data()[1 * 16 + 1], 0u);
    const auto posted = host.Messages();
    ASSERT_EQ(posted.size(), 1u);
    EXPECT_EQ(posted[0].Message, HostMessage::RepaintWindow);
    EXPECT_EQ(posted[0].WParam, PackWords(2, 2));
    EXPECT_EQ(posted[0].LParam, PackWords(3, 3)) << "cell-aligned and widened by one cell";
}

TEST(SurfacePresenter, UnstretchedUpdatesConvertOnlyTheirAreaAnd32BppNothing) {
    latis_test::RecordingHost host;
    CViewerState state(&host);
    state.SetRequestedPixelFormat(16);
    state.CurrentPixelFormat = state.RequestedPixelFormat;
    CBackSurface surface;
    CSurfacePresenter presenter(state, surface);
    CFrameBuffer frame(&presenter);
    frame.Create(64, 48, 16);
    frame.FillArea(0, 0, 64, 48, 0x001F); // blue, not shown yet
    frame.FillArea(8, 8, 8, 8, 0x7C00, true);
    ASSERT_EQ(surface.Width(), 64);
    EXPECT_EQ(surface.Data()[8 * 64 + 8], 0xFF0000u);
    EXPECT_EQ(surface.Data()[16 * 64 + 16], 0u) << "outside the update nothing is converted";

    state.SetRequestedPixelFormat(32);
    state.CurrentPixelFormat = state.RequestedPixelFormat;
    frame.Create(64, 48, 32);
    {
        CLockGuard hold(frame);
        EXPECT_TRUE(CSurfacePresenter::ShowsFrameDirectly(frame, false));
        EXPECT_FALSE(CSurfacePresenter::ShowsFrameDirectly(frame, true));
    }
    frame.FillArea(4, 4, 8, 8, 0x00FF00, true);
    EXPECT_EQ(surface.Width(), 0) << "the paint handler draws 32 bpp from the framebuffer";
    const auto posted = host.Messages();
    ASSERT_EQ(posted.size(), 2u);
    EXPECT_EQ(posted[1].WParam, PackWords(4, 4));
    EXPECT_EQ(posted[1].LParam, PackWords(8, 8));
}
