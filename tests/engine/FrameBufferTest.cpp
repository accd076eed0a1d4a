#include "framebuffer/FrameBuffer.h"
#include "engine/ViewerState.h"

#include <gtest/gtest.h>

#include <cstring>

using namespace dova;

namespace {
struct Frame {
    CViewerState State;
    CFrameBuffer Buffer;
    Frame(int w, int h, int bpp) {
        State.SetRequestedPixelFormat(bpp);
        State.CurrentPixelFormat = State.RequestedPixelFormat;
        Buffer.Create(w, h, bpp);
    }
    uint32_t Pixel32(int x, int y) const {
        uint32_t v;
        std::memcpy(&v, Buffer.Data() + y * Buffer.Stride() + x * 4, 4);
        return v;
    }
};
} // namespace

TEST(PixelFormats, ThreeRequestedFormatsAndOthersRefused) {
    PixelFormat f;
    ASSERT_TRUE(PixelFormat::ForBitsPerPixel(16, f));
    EXPECT_EQ(f.Depth, 16);
    EXPECT_EQ(f.RedShift, 10);
    EXPECT_EQ(f.RedMax, 31);
    ASSERT_TRUE(PixelFormat::ForBitsPerPixel(8, f));
    EXPECT_EQ(f.BigEndian, 1);
    EXPECT_EQ(f.BlueShift, 6);
    EXPECT_FALSE(PixelFormat::ForBitsPerPixel(24, f));
    EXPECT_EQ(f.BitsPerPixel, 8) << "a refused value leaves the record as it was";

    PixelFormat wire;
    ASSERT_TRUE(PixelFormat::ForBitsPerPixel(32, wire));
    const auto bytes = wire.ToWire();
    EXPECT_EQ(bytes[4], 0);
    EXPECT_EQ(bytes[5], 255) << "maxima are big-endian on the wire";
    EXPECT_EQ(PixelFormat::FromWire(bytes.data()), wire);
}

TEST(PixelFormats, EightBitColourTable) {
    PixelFormat f;
    PixelFormat::ForBitsPerPixel(8, f);
    const auto table = ColourTableFor(f);
    EXPECT_EQ(table[0xFF], 0xFFFFFFu);
    EXPECT_EQ(table[0x07], 0xFF0000u) << "index 7 is pure red";
    EXPECT_EQ((table[0x08] >> 8) & 0xFF, 36u);
    EXPECT_EQ(table[0x40] & 0xFF, 85u);
}

TEST(FrameBuffer, StrideRoundsRowsToFourBytes) {
    EXPECT_EQ(CFrameBuffer::StrideFor(1023, 8), 1024);
    EXPECT_EQ(CFrameBuffer::StrideFor(1023, 16), 2048);
    EXPECT_EQ(CFrameBuffer::StrideFor(1023, 32), 4092);
    Frame frame(3, 2, 16);
    EXPECT_EQ(frame.Buffer.Stride(), 8);
    for (int i = 0; i < 16; ++i)
        EXPECT_EQ(frame.Buffer.Data()[i], 0) << "a new frame is black";
}

TEST(FrameBuffer, PutFillAndTrueMoveOnOverlap) {
    Frame frame(8, 8, 32);
    for (int y = 0; y < 8; ++y) {
        uint32_t row[8];
        for (int x = 0; x < 8; ++x)
            row[x] = uint32_t(y * 8 + x);
        frame.Buffer.PutPixels(0, y, 8, 1, reinterpret_cast<uint8_t*>(row));
    }
    frame.Buffer.CopyArea(0, 0, 0, 1, 8, 7); // scroll down one line
    EXPECT_EQ(frame.Pixel32(3, 1), 3u);
    EXPECT_EQ(frame.Pixel32(3, 7), uint32_t(6 * 8 + 3));
    frame.Buffer.CopyArea(1, 0, 0, 0, 7, 8); // scroll left
    EXPECT_EQ(frame.Pixel32(0, 0), 1u);
    EXPECT_EQ(frame.Pixel32(6, 0), 7u);

    frame.Buffer.FillArea(2, 2, 3, 3, 0x00ABCDEF);
    EXPECT_EQ(frame.Pixel32(4, 4), 0x00ABCDEFu);
    EXPECT_NE(frame.Pixel32(5, 5), 0x00ABCDEFu);
}

TEST(FrameBuffer, SixteenBitFillRepeatsPixelBytes) {
    Frame frame(5, 1, 16);
    frame.Buffer.FillArea(1, 0, 3, 1, 0x7C1F);
    const uint8_t* row = frame.Buffer.Data();
    EXPECT_EQ(row[0], 0);
    EXPECT_EQ(row[2], 0x1F);
    EXPECT_EQ(row[3], 0x7C);
    EXPECT_EQ(row[6], 0x1F);
    EXPECT_EQ(row[8], 0);
}

TEST(FrameBuffer, WritesPastTheEdgeAreClipped) {
    Frame frame(4, 4, 8);
    frame.Buffer.FillArea(2, 2, 100, 100, 0x55);
    frame.Buffer.CopyArea(3, 3, -2, 0, 50, 50);
    const uint8_t data[16] = {1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1};
    frame.Buffer.PutPixels(3, 3, 4, 4, data);
    EXPECT_EQ(frame.Buffer.Data()[3 * 4 + 3], 1);
    EXPECT_EQ(frame.Buffer.Data()[2 * 4 + 2], 0x55);
}
