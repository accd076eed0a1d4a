// The rectangle loop and the five decoders, run thread-free on server bytes from memory.

#include "RecordingPresenter.h"
#include "ScriptedServer.h"
#include "ServerStream.h"
#include "engine/MemoryTransport.h"
#include "engine/RectangleLoop.h"
#include "engine/RfbProtocol.h"
#include "engine/ViewerState.h"
#include "framebuffer/FrameBuffer.h"
#include "framebuffer/FrameWriter.h"
#include "framebuffer/HextileDecoder.h"
#include "framebuffer/ZrleDecoder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <random>
#include <thread>
#include <vector>
#include <zlib.h>

using namespace dova;
using latis_test::PresentedArea;
using latis_test::ServerStream;

namespace {

constexpr uint32_t Red = 0x00FF0000, Green = 0x0000FF00, Blue = 0x000000FF, White = 0x00FFFFFF;

struct DecodeRig {
    latis_test::RecordingHost Host;
    latis_test::RecordingPresenter Presenter;
    CViewerState State{&Host};
    CFrameBuffer Frame{&Presenter};
    CMemorySource Source;
    CMemorySink Sink;
    CRfbProtocol Protocol{State, Source, Sink};
    std::vector<uint8_t> Bytes;

    DecodeRig(int width, int height, int bitsPerPixel) {
        State.SetRequestedPixelFormat(bitsPerPixel);
        State.CurrentPixelFormat = State.RequestedPixelFormat;
        State.FrameWidth = uint16_t(width);
        State.FrameHeight = uint16_t(height);
        Frame.Create(width, height, bitsPerPixel);
    }
    // Runs the rectangle loop on the stream's bytes (the rectangles of one update, no message head).
    void Run(const ServerStream& stream, int count) {
        Bytes = stream.Data;
        Source.Reset(Bytes.data(), Bytes.size());
        CRectangleLoop::Run(Protocol, Frame, uint16_t(count));
    }
    uint32_t Pixel(int x, int y) const {
        uint32_t value = 0;
        std::memcpy(&value, Frame.Data() + y * Frame.Stride() + x * Frame.BytesPerPixel(),
                    size_t(Frame.BytesPerPixel()));
        return value;
    }
    // Code and message of the engine error the loop raises.
    CSimpleException Failure(const ServerStream& stream, int count) {
        try {
            Run(stream, count);
        } catch (const CSimpleException& e) {
            return e;
        }
        return CSimpleException(0, "no failure", ExceptionLevel::Quiet);
    }
};

ServerStream Stream(int bpp) {
    return ServerStream(bpp);
}

} // namespace

// ---- Rectangle loop ----

TEST(RectangleLoop, RectangleMustLieInsideTheFrame) {
    DecodeRig rig(100, 50, 32);
    auto atEdge = Stream(32).Rect(90, 40, 10, 10, encodings::Raw).Pixels(Red, 100);
    rig.Run(atEdge, 1);
    EXPECT_EQ(rig.Pixel(99, 49), Red) << "right edge equal to the frame width is accepted";

    const auto failure = rig.Failure(Stream(32).Rect(90, 0, 11, 10, encodings::Raw).Pixels(Green, 110), 1);
    EXPECT_EQ(failure.Code, codes::Validity);
    EXPECT_EQ(failure.Message, "Update rectangle out of bounds (90, 0, 11, 10).");
    EXPECT_EQ(rig.Pixel(90, 0), 0u) << "nothing of the refused rectangle is drawn";

    // Sums that would overflow 16 bits.
    EXPECT_EQ(rig.Failure(Stream(32).Rect(65535, 0, 65535, 1, 0), 1).Message,
              "Update rectangle out of bounds (65535, 0, 65535, 1).");
}

TEST(RectangleLoop, UnknownEncodingIsOutOfSync) {
    DecodeRig rig(16, 16, 16);
    for (int32_t encoding : {3, 6, 8, 15, -224, -239}) {
        const auto failure = rig.Failure(Stream(16).Rect(0, 0, 4, 4, encoding), 1);
        EXPECT_EQ(failure.Code, codes::ProtocolSync) << encoding;
        EXPECT_EQ(failure.Message, "Out of sync or malformed server message.");
    }
}

TEST(RectangleLoop, OneBoundingBoxRepaintPerUpdate) {
    DecodeRig rig(200, 100, 16);
    rig.State.FireFrameUpdates = true;
    auto s = Stream(16);
    s.Rect(0, 0, 10, 10, encodings::Raw).Pixels(0x1234, 100);
    s.Rect(100, 50, 20, 20, encodings::RRE).U32(0).Pixel(0x4321);
    rig.Run(s, 2);
    EXPECT_EQ(rig.Presenter.Presented(), (std::vector<PresentedArea>{{0, 0, 120, 70}}));

    const auto posted = rig.Host.Messages();
    ASSERT_EQ(posted.size(), 2u) << "one notification per rectangle, in order";
    EXPECT_EQ(posted[1].Message, HostMessage::FrameUpdated);
    EXPECT_EQ(posted[1].WParam, 100u | (50u << 16));
    EXPECT_EQ(posted[1].LParam, 20u | (20u << 16));
}

TEST(RectangleLoop, EmptyRawRectangleReadsNothingButCountsForTheBox) {
    DecodeRig rig(200, 100, 32);
    auto s = Stream(32);
    s.Rect(150, 80, 0, 5, encodings::Raw); // no payload
    s.Rect(10, 10, 2, 1, encodings::Raw).Pixels(Blue, 2);
    rig.Run(s, 2);
    EXPECT_EQ(rig.Source.Remaining(), 0u);
    EXPECT_EQ(rig.Pixel(11, 10), Blue);
    EXPECT_EQ(rig.Presenter.Presented(), (std::vector<PresentedArea>{{10, 10, 140, 75}}));
}

TEST(RectangleLoop, ProgressiveRepaintsEachRectangleAtOnce) {
    DecodeRig rig(64, 64, 8);
    rig.State.ProgressiveDrawing = true;
    auto s = Stream(8);
    s.Rect(0, 0, 2, 2, encodings::Raw).Pixels(3, 4);
    s.Rect(30, 30, 4, 4, encodings::CoRRE).U32(0).Pixel(9);
    rig.Run(s, 2);
    EXPECT_EQ(rig.Presenter.Presented(), (std::vector<PresentedArea>{{0, 0, 2, 2}, {30, 30, 4, 4}}));
}

TEST(RectangleLoop, ZeroRectanglesDrawNothing) {
    DecodeRig rig(8, 8, 32);
    rig.Run(Stream(32), 0);
    EXPECT_TRUE(rig.Presenter.Presented().empty());
}

// ---- Raw ----

TEST(RawDecoder, RowsLandAtTheirPlaceInEveryPixelSize) {
    for (int bpp : {8, 16, 32}) {
        DecodeRig rig(7, 5, bpp);
        auto s = Stream(bpp).Rect(2, 1, 3, 2, encodings::Raw);
        for (uint32_t i = 1; i <= 6; ++i)
            s.Pixel(i * 0x01010101u & (bpp == 32 ? 0xFFFFFFFF : (1u << bpp) - 1));
        rig.Run(s, 1);
        const uint32_t mask = bpp == 32 ? 0xFFFFFFFF : (1u << bpp) - 1;
        EXPECT_EQ(rig.Pixel(2, 1), 0x01010101u & mask) << bpp;
        EXPECT_EQ(rig.Pixel(4, 2), 0x06060606u & mask) << bpp;
        EXPECT_EQ(rig.Pixel(1, 1), 0u) << bpp;
        EXPECT_EQ(rig.Pixel(5, 2), 0u) << bpp;
    }
}

TEST(RawDecoder, ScratchBufferGrowsOnlyWhenNeeded) {
    latis_test::ScriptedPeer peer;
    latis_test::RecordingHost host;
    CViewerState state(&host);
    CCoolSocket socket(state);
    socket.AttachConnected(peer.TakeClientSide());
    CRfbProtocol protocol(state, socket);
    state.FrameWidth = 320;
    state.FrameHeight = 240;
    CFrameBuffer frame;
    frame.Create(320, 240, 16);

    // Larger than the socket's read-ahead window: read straight into the scratch buffer.
    std::thread sender(
        [&] { peer.Send(Stream(16).Rect(0, 0, 320, 240, encodings::Raw).Pixels(0x7FFF, 320 * 240).Data); });
    CRectangleLoop::Run(protocol, frame, 1);
    sender.join();
    const size_t afterLarge = protocol.Input().ScratchCapacity();
    EXPECT_GE(afterLarge, 320u * 240 * 2);
    const uint8_t* buffer = protocol.Scratch(1);

    peer.Send(Stream(16).Rect(0, 0, 2, 2, encodings::Raw).Pixels(0x001F, 4).Data);
    CRectangleLoop::Run(protocol, frame, 1);
    EXPECT_EQ(protocol.Input().ScratchCapacity(), afterLarge) << "it never shrinks";
    EXPECT_EQ(protocol.Scratch(1), buffer) << "and is reused";
    uint16_t pixel;
    std::memcpy(&pixel, frame.Data() + frame.Stride() + 2, 2);
    EXPECT_EQ(pixel, 0x001F);
}

// ---- CopyRect ----

TEST(CopyRectDecoder, OverlappingMoveIsNotSmeared) {
    DecodeRig rig(4, 6, 32);
    auto fill = Stream(32).Rect(0, 0, 4, 6, encodings::Raw);
    for (uint32_t row = 0; row < 6; ++row)
        fill.Pixels(row + 1, 4);
    rig.Run(fill, 1);

    rig.Run(Stream(32).Rect(0, 1, 4, 5, encodings::CopyRect).U16(0).U16(0), 1); // scroll down a line
    for (int row = 1; row < 6; ++row)
        EXPECT_EQ(rig.Pixel(2, row), uint32_t(row)) << row;
    rig.Run(Stream(32).Rect(0, 0, 4, 5, encodings::CopyRect).U16(0).U16(1), 1); // and back up
    for (int row = 0; row < 5; ++row)
        EXPECT_EQ(rig.Pixel(1, row), uint32_t(row + 1)) << row;
}

TEST(CopyRectDecoder, SourceOutsideTheFrameIsMalformed) {
    DecodeRig rig(20, 10, 16);
    EXPECT_EQ(rig.Failure(Stream(16).Rect(0, 0, 5, 5, encodings::CopyRect).U16(16).U16(0), 1).Code,
              codes::ProtocolSync);
    EXPECT_EQ(rig.Failure(Stream(16).Rect(0, 0, 5, 5, encodings::CopyRect).U16(0).U16(6), 1).Code,
              codes::ProtocolSync);
    EXPECT_EQ(rig.Failure(Stream(16).Rect(0, 0, 5, 5, encodings::CopyRect).U16(15).U16(5), 1).Code, 0)
        << "a source touching the frame's corner is fine";
}

// ---- RRE and CoRRE ----

TEST(RreDecoder, NoSubrectanglesReadsCountAndBackgroundOnly) {
    for (int bpp : {8, 16, 32}) {
        DecodeRig rig(10, 10, bpp);
        auto s = Stream(bpp).Rect(1, 1, 3, 3, encodings::RRE).U32(0).Pixel(0x55);
        s.U8(0xEE); // belongs to whatever comes next
        rig.Run(s, 1);
        EXPECT_EQ(rig.Source.Remaining(), 1u) << "exactly 4 + BytesPerPixel bytes at " << bpp;
        EXPECT_EQ(rig.Pixel(3, 3), 0x55u);
        EXPECT_EQ(rig.Pixel(4, 4), 0u);
    }
}

TEST(RreDecoder, SubrectanglesPaintInOrderAndAreClippedToTheRectangle) {
    DecodeRig rig(40, 40, 32);
    auto s = Stream(32).Rect(10, 10, 10, 10, encodings::RRE).U32(3).Pixel(Blue);
    s.Pixel(Red).U16(0).U16(0).U16(4).U16(4);
    s.Pixel(Green).U16(2).U16(2).U16(4).U16(4);       // paints over the red one
    s.Pixel(White).U16(8).U16(8).U16(100).U16(60000); // reaches far past the rectangle
    rig.Run(s, 1);
    EXPECT_EQ(rig.Pixel(10, 10), Red);
    EXPECT_EQ(rig.Pixel(13, 13), Green);
    EXPECT_EQ(rig.Pixel(16, 16), Blue);
    EXPECT_EQ(rig.Pixel(19, 19), White);
    EXPECT_EQ(rig.Pixel(20, 19), 0u) << "clipped at the rectangle's right edge";
    EXPECT_EQ(rig.Pixel(19, 20), 0u) << "clipped at the rectangle's bottom edge";
    EXPECT_EQ(rig.Pixel(39, 39), 0u);
}

TEST(RreDecoder, CompactGeometryIsOneBytePerField) {
    DecodeRig rig(300, 300, 16);
    auto s = Stream(16).Rect(0, 0, 300, 300, encodings::CoRRE).U32(2).Pixel(0x0001);
    s.Pixel(0x0002).U8(250).U8(1).U8(5).U8(2);
    s.Pixel(0x0003).U8(255).U8(255).U8(255).U8(255); // reaches past the rectangle: clipped
    rig.Run(s, 1);
    EXPECT_EQ(rig.Pixel(254, 2), 0x0002u);
    EXPECT_EQ(rig.Pixel(255, 2), 0x0001u);
    EXPECT_EQ(rig.Pixel(299, 299), 0x0003u);
    EXPECT_EQ(rig.Source.Remaining(), 0u);
}

TEST(RreDecoder, CountAboveThePixelCountIsRefusedBeforeReading) {
    DecodeRig rig(16, 16, 32);
    const auto failure = rig.Failure(Stream(32).Rect(0, 0, 4, 4, encodings::RRE).U32(17).Pixel(Red), 1);
    EXPECT_EQ(failure.Code, codes::ProtocolSync);
    EXPECT_EQ(rig.Pixel(0, 0), 0u) << "nothing drawn";
    EXPECT_EQ(rig.Failure(Stream(32).Rect(0, 0, 4, 4, encodings::CoRRE).U32(0xFFFFFFFF).Pixel(Red), 1).Code,
              codes::ProtocolSync);
}

// ---- Hextile ----

TEST(HextileDecoder, TileGridOrderAndProgressiveTileRepaints) {
    DecodeRig rig(64, 64, 32);
    rig.State.ProgressiveDrawing = true;
    auto s = Stream(32).Rect(0, 0, 40, 20, encodings::Hextile);
    for (uint32_t tile = 1; tile <= 6; ++tile)
        s.U8(hextile::BackgroundSpecified).Pixel(tile);
    rig.Run(s, 1);
    EXPECT_EQ(rig.Presenter.Presented(), (std::vector<PresentedArea>{{0, 0, 16, 16},
                                                                     {16, 0, 16, 16},
                                                                     {32, 0, 8, 16},
                                                                     {0, 16, 16, 4},
                                                                     {16, 16, 16, 4},
                                                                     {32, 16, 8, 4},
                                                                     {0, 0, 40, 20}}))
        << "each tile as it is done, then the whole rectangle";
    EXPECT_EQ(rig.Pixel(15, 15), 1u);
    EXPECT_EQ(rig.Pixel(16, 0), 2u);
    EXPECT_EQ(rig.Pixel(39, 15), 3u);
    EXPECT_EQ(rig.Pixel(0, 19), 4u);
    EXPECT_EQ(rig.Pixel(39, 19), 6u);
    EXPECT_EQ(rig.Pixel(40, 0), 0u);
    EXPECT_EQ(rig.Pixel(0, 20), 0u);
}

TEST(HextileDecoder, RawEdgeTileConsumesExactlyItsPixels) {
    DecodeRig rig(24, 20, 16);
    auto s = Stream(16).Rect(16, 16, 8, 4, encodings::Hextile).U8(hextile::Raw);
    for (uint32_t i = 0; i < 32; ++i)
        s.Pixel(0x100 + i); // 64 bytes
    s.U8(0xAB);
    rig.Run(s, 1);
    EXPECT_EQ(rig.Source.Remaining(), 1u);
    EXPECT_EQ(rig.Pixel(16, 16), 0x100u);
    EXPECT_EQ(rig.Pixel(23, 19), 0x100u + 31);
}

TEST(HextileDecoder, ColoursCarryOverFromTileToTile) {
    DecodeRig rig(80, 16, 32);
    auto s = Stream(32).Rect(0, 0, 80, 16, encodings::Hextile);
    // Tile 1: background A, two coloured subrectangles; the last colour becomes the foreground.
    s.U8(hextile::BackgroundSpecified | hextile::AnySubrects | hextile::SubrectsColoured).Pixel(0xA);
    s.U8(2).Pixel(0xB).U8(0x00).U8(0x00).Pixel(0xC).U8(0x11).U8(0x00);
    // Tile 2: raw; changes neither colour.
    s.U8(hextile::Raw).Pixels(0xD, 256);
    // Tile 3: plain subrectangles without a new foreground: they take C, on background A.
    s.U8(hextile::AnySubrects).U8(1).U8(0x22).U8(0x00);
    // Tile 4: nothing at all: background A.
    s.U8(0);
    // Tile 5: a new foreground for its plain subrectangle.
    s.U8(hextile::ForegroundSpecified | hextile::AnySubrects).Pixel(0xE).U8(1).U8(0x33).U8(0x00);
    rig.Run(s, 1);
    EXPECT_EQ(rig.Pixel(0, 0), 0xBu);
    EXPECT_EQ(rig.Pixel(1, 1), 0xCu);
    EXPECT_EQ(rig.Pixel(5, 5), 0xAu);
    EXPECT_EQ(rig.Pixel(20, 7), 0xDu);
    EXPECT_EQ(rig.Pixel(32 + 2, 2), 0xCu);
    EXPECT_EQ(rig.Pixel(32 + 3, 3), 0xAu);
    EXPECT_EQ(rig.Pixel(48 + 9, 9), 0xAu);
    EXPECT_EQ(rig.Pixel(64 + 3, 3), 0xEu);
    EXPECT_EQ(rig.Pixel(64, 0), 0xAu);
    EXPECT_EQ(rig.Source.Remaining(), 0u);
}

TEST(HextileDecoder, SubrectangleGeometryBytes) {
    DecodeRig rig(32, 16, 8);
    auto s = Stream(8).Rect(0, 0, 32, 16, encodings::Hextile);
    s.U8(hextile::BackgroundSpecified | hextile::ForegroundSpecified | hextile::AnySubrects)
        .Pixel(1)
        .Pixel(2)
        .U8(1)
        .U8(0x00)
        .U8(0xFF); // the whole tile
    s.U8(hextile::BackgroundSpecified | hextile::ForegroundSpecified | hextile::AnySubrects)
        .Pixel(3)
        .Pixel(4)
        .U8(1)
        .U8(0xF0)
        .U8(0x00); // the single pixel (15, 0)
    rig.Run(s, 1);
    EXPECT_EQ(rig.Pixel(0, 0), 2u);
    EXPECT_EQ(rig.Pixel(15, 15), 2u);
    EXPECT_EQ(rig.Pixel(16 + 15, 0), 4u);
    EXPECT_EQ(rig.Pixel(16 + 14, 0), 3u);
    EXPECT_EQ(rig.Pixel(16 + 15, 1), 3u);
}

TEST(HextileDecoder, ZeroSubrectanglesShowTheBackground) {
    DecodeRig rig(16, 32, 16);
    auto s = Stream(16).Rect(0, 0, 16, 32, encodings::Hextile);
    s.U8(hextile::BackgroundSpecified | hextile::AnySubrects).Pixel(0x0F0F).U8(0);
    s.U8(hextile::BackgroundSpecified).Pixel(0x7000); // next tile starts right after the count
    rig.Run(s, 1);
    EXPECT_EQ(rig.Pixel(7, 7), 0x0F0Fu);
    EXPECT_EQ(rig.Pixel(7, 20), 0x7000u);
    EXPECT_EQ(rig.Source.Remaining(), 0u);
}

TEST(HextileDecoder, SubrectanglesPastANarrowEdgeTileAreClipped) {
    DecodeRig rig(24, 24, 32);
    // An 8 x 4 edge tile whose subrectangle claims 16 x 16 from (4, 2).
    auto s = Stream(32).Rect(0, 0, 8, 4, encodings::Hextile);
    s.U8(hextile::BackgroundSpecified | hextile::ForegroundSpecified | hextile::AnySubrects)
        .Pixel(Blue)
        .Pixel(Red)
        .U8(1)
        .U8(0x42)
        .U8(0xFF);
    rig.Run(s, 1);
    EXPECT_EQ(rig.Pixel(7, 3), Red);
    EXPECT_EQ(rig.Pixel(3, 3), Blue);
    EXPECT_EQ(rig.Pixel(8, 2), 0u);
    EXPECT_EQ(rig.Pixel(5, 4), 0u);
}

TEST(HextileDecoder, ProgressiveSwitchTakesEffectAfterATileWithSubrectangles) {
    DecodeRig rig(48, 16, 8);
    auto s = Stream(8); // the payload only: the decoder is called directly
    s.U8(hextile::BackgroundSpecified).Pixel(1);
    s.U8(hextile::AnySubrects).U8(0);
    s.U8(0);
    rig.State.ProgressiveDrawing = false;
    rig.Bytes = s.Data;
    rig.Source.Reset(rig.Bytes.data(), rig.Bytes.size());
    DecodeSettings settings{&rig.State.ProgressiveDrawing};
    settings.Refresh();
    // Turned on before decoding starts: the loop copied false, the second tile picks it up.
    rig.State.ProgressiveDrawing = true;
    CHextileDecoder decoder;
    RectangleHeader rect{0, 0, 48, 16, encodings::Hextile};
    decoder.Decode(rig.Source, rig.Frame, rect, settings);
    EXPECT_EQ(rig.Presenter.Presented(), (std::vector<PresentedArea>{{16, 0, 16, 16}, {32, 0, 16, 16}}));
    EXPECT_TRUE(settings.Progressive);
    EXPECT_EQ(rig.Source.Remaining(), 0u);
}

// ---- ZRLE ----

namespace {

// The server's side of the connection's one zlib stream: each rectangle ends with a sync flush.
class ZrleStream {
public:
    ZrleStream() { deflateInit(&Z, Z_DEFAULT_COMPRESSION); }
    ~ZrleStream() { deflateEnd(&Z); }
    // A ZRLE payload: the u32 length and the compressed tiles.
    std::vector<uint8_t> Rectangle(const std::vector<uint8_t>& tiles) {
        std::vector<uint8_t> packed(tiles.size() + 1024);
        Z.next_in = const_cast<Bytef*>(tiles.data());
        Z.avail_in = uInt(tiles.size());
        Z.next_out = packed.data();
        Z.avail_out = uInt(packed.size());
        deflate(&Z, Z_SYNC_FLUSH);
        packed.resize(packed.size() - Z.avail_out);
        std::vector<uint8_t> out;
        latis_test::AppendU32(out, uint32_t(packed.size()));
        out.insert(out.end(), packed.begin(), packed.end());
        return out;
    }

private:
    z_stream Z{};
};

// Three-byte pixels (blue, green, red), as servers send them for the 32-bit format.
void Cpixel(std::vector<uint8_t>& out, uint32_t rgb) {
    out.insert(out.end(), {uint8_t(rgb), uint8_t(rgb >> 8), uint8_t(rgb >> 16)});
}

ServerStream ZrleRect(int x, int y, int w, int h, const std::vector<uint8_t>& payload) {
    ServerStream s(32);
    s.U16(uint16_t(x)).U16(uint16_t(y)).U16(uint16_t(w)).U16(uint16_t(h)).U32(uint32_t(encodings::ZRLE));
    s.Data.insert(s.Data.end(), payload.begin(), payload.end());
    return s;
}

} // namespace

TEST(ZrleDecoder, EverySubencodingAndOneStreamAcrossRectangles) {
    DecodeRig rig(320, 2, 32);
    ZrleStream server;
    std::vector<uint8_t> tiles;
    tiles.push_back(0); // raw 64 x 2
    for (int i = 0; i < 128; ++i)
        Cpixel(tiles, i == 1 ? Green : Red);
    tiles.push_back(1); // solid
    Cpixel(tiles, Blue);
    tiles.push_back(2); // packed palette of two, one bit a pixel, rows padded to bytes
    Cpixel(tiles, Red);
    Cpixel(tiles, White);
    for (int row = 0; row < 2; ++row)
        for (int byte = 0; byte < 8; ++byte)
            tiles.push_back(row == 0 && byte == 0 ? 0x40 : 0x00); // only (1, 0) is white
    tiles.push_back(128); // plain RLE: 100 green, then 28 blue (run of 255 + 45 would overrun)
    Cpixel(tiles, Green);
    tiles.push_back(99);
    Cpixel(tiles, Blue);
    tiles.push_back(27);
    tiles.push_back(130); // palette RLE: white run of 64, then single reds
    Cpixel(tiles, White);
    Cpixel(tiles, Red);
    tiles.insert(tiles.end(), {0x80, 63});
    tiles.insert(tiles.end(), 64, 1);
    auto stream = ZrleRect(0, 0, 320, 2, server.Rectangle(tiles));
    // The second rectangle continues the same zlib stream.
    std::vector<uint8_t> solid = {1};
    Cpixel(solid, Green);
    const auto second = ZrleRect(64, 0, 64, 2, server.Rectangle(solid));
    stream.Data.insert(stream.Data.end(), second.Data.begin(), second.Data.end());

    rig.Run(stream, 2);
    EXPECT_EQ(rig.Pixel(0, 0), Red);
    EXPECT_EQ(rig.Pixel(1, 0), Green);
    EXPECT_EQ(rig.Pixel(63, 1), Red);
    EXPECT_EQ(rig.Pixel(100, 1), Green) << "the second rectangle's solid tile";
    EXPECT_EQ(rig.Pixel(129, 0), White);
    EXPECT_EQ(rig.Pixel(128, 0), Red);
    EXPECT_EQ(rig.Pixel(130, 1), Red);
    EXPECT_EQ(rig.Pixel(192 + 63, 0), Green);
    EXPECT_EQ(rig.Pixel(192 + 35, 1), Green) << "the 100th pixel of the tile";
    EXPECT_EQ(rig.Pixel(192 + 36, 1), Blue);
    EXPECT_EQ(rig.Pixel(256 + 63, 0), White);
    EXPECT_EQ(rig.Pixel(256, 1), Red);
    EXPECT_EQ(rig.Source.Remaining(), 0u);
}

TEST(ZrleDecoder, TilesOfEverySubencodingAndDepthMatchAModel) {
    // Edge tiles narrower and lower than 64, runs crossing rows, ending on the tile's last pixel or
    // with lengths of several bytes; a painter of single pixels is the model.
    constexpr int Width = 160, Height = 150, X = 3, Y = 5, W = 150, H = 140;
    for (int bpp : {8, 16, 32}) {
        SCOPED_TRACE(bpp);
        std::mt19937 rng{unsigned(bpp)};
        const uint32_t mask = bpp == 8 ? 0xFF : bpp == 16 ? 0xFFFF : 0xFFFFFF;
        const int wireBytes = bpp == 32 ? 3 : bpp / 8;
        std::vector<uint8_t> tiles;
        const auto put = [&](uint32_t value) {
            for (int i = 0; i < wireBytes; ++i)
                tiles.push_back(uint8_t(value >> (8 * i)));
        };
        const auto putLength = [&](int run) {
            for (run -= 1; run >= 255; run -= 255)
                tiles.push_back(255);
            tiles.push_back(uint8_t(run));
        };
        std::vector<uint32_t> expected(size_t(Width * Height), 0);
        int kind = 0;
        for (int ty = Y; ty < Y + H; ty += 64)
            for (int tx = X; tx < X + W; tx += 64, kind = (kind + 1) % 7) {
                const int tw = std::min(64, X + W - tx), th = std::min(64, Y + H - ty), count = tw * th;
                // Kinds: raw, solid, packed palettes of 2, 3 and 11, plain RLE, palette RLE.
                const int colours = std::array{count, 1, 2, 3, 11, count, 100}[size_t(kind)];
                std::vector<uint32_t> palette(size_t(std::min(colours, 127)));
                for (uint32_t& colour : palette)
                    colour = rng() & mask;
                std::vector<int> index(static_cast<size_t>(count));
                for (int i = 0; i < count;) { // runs of 1 to 8, and now and then of hundreds
                    const int run =
                        std::min(count - i, rng() % 8 == 0 ? 200 + int(rng() % 600) : 1 + int(rng() % 8));
                    std::fill_n(index.begin() + i, run, int(rng() % palette.size()));
                    i += run;
                }
                const auto colour = [&](int i) {
                    return kind == 0 ? uint32_t(index[size_t(i)] * 2654435761u + unsigned(i) * 40503u) & mask
                                     : palette[size_t(index[size_t(i)])];
                };
                for (int i = 0; i < count; ++i)
                    expected[size_t((ty + i / tw) * Width + tx + i % tw)] = colour(i);
                if (kind == 0) {
                    tiles.push_back(0);
                    for (int i = 0; i < count; ++i)
                        put(colour(i));
                } else if (kind <= 4) {
                    tiles.push_back(uint8_t(colours));
                    for (uint32_t c : palette)
                        put(c);
                    if (kind == 1)
                        continue;
                    const int bits = colours == 2 ? 1 : colours <= 4 ? 2 : 4;
                    for (int y = 0; y < th; ++y)
                        for (int x = 0; x < tw; x += 8 / bits) {
                            unsigned byte = 0;
                            for (int k = 0; k < 8 / bits; ++k)
                                byte =
                                    byte << bits | unsigned(x + k < tw ? index[size_t(y * tw + x + k)] : 0);
                            tiles.push_back(uint8_t(byte));
                        }
                } else {
                    tiles.push_back(kind == 5 ? 128 : uint8_t(128 + colours));
                    if (kind == 6)
                        for (uint32_t c : palette)
                            put(c);
                    for (int i = 0; i < count;) {
                        int run = 1;
                        while (i + run < count && index[size_t(i + run)] == index[size_t(i)])
                            ++run;
                        if (kind == 5) {
                            put(colour(i));
                            putLength(run);
                        } else {
                            tiles.push_back(uint8_t(index[size_t(i)] | (run > 1 ? 0x80 : 0)));
                            if (run > 1)
                                putLength(run);
                        }
                        i += run;
                    }
                }
            }
        DecodeRig rig(Width, Height, bpp);
        ZrleStream server;
        rig.Run(ZrleRect(X, Y, W, H, server.Rectangle(tiles)), 1);
        EXPECT_EQ(rig.Source.Remaining(), 0u);
        int wrong = 0;
        for (int y = 0; y < Height; ++y)
            for (int x = 0; x < Width; ++x)
                wrong += rig.Pixel(x, y) != expected[size_t(y * Width + x)];
        EXPECT_EQ(wrong, 0);
    }
}

TEST(ZrleDecoder, MalformedDataIsOutOfSync) {
    std::vector<uint8_t> white;
    Cpixel(white, White);
    auto with = [](std::vector<uint8_t> head, const std::vector<uint8_t>& tail) {
        head.insert(head.end(), tail.begin(), tail.end());
        return head;
    };
    const std::vector<std::pair<const char*, std::vector<uint8_t>>> cases = {
        {"unused subencoding", {17}},
        {"palette index past the palette", with(with({130}, white), {1})},
        {"run past the tile", with(with({128}, white), {255, 255})},
        {"bytes after the last tile", with(with({1}, white), {0})},
        {"tiles ending early", {0, 1, 2}},
    };
    for (const auto& [name, tiles] : cases) {
        DecodeRig rig(8, 8, 32);
        ZrleStream server;
        EXPECT_EQ(rig.Failure(ZrleRect(0, 0, 8, 8, server.Rectangle(tiles)), 1).Code, codes::ProtocolSync)
            << name;
    }
    DecodeRig rig(8, 8, 32);
    ZrleStream server;
    auto payload = server.Rectangle(with({1}, white));
    payload[4] ^= 0xFF; // not a zlib header
    EXPECT_EQ(rig.Failure(ZrleRect(0, 0, 8, 8, payload), 1).Code, codes::ProtocolSync) << "corrupt stream";

    // A length no tiles of an 8 x 8 rectangle could need is refused before a compressed byte is read.
    for (uint32_t length : {0xFFFFFFFFu, 8u * 8 * 5 * 2 + 4096}) {
        DecodeRig absurd(8, 8, 32);
        ZrleStream honest;
        auto data = honest.Rectangle(with({1}, white));
        const size_t compressed = data.size() - 4;
        data[0] = uint8_t(length >> 24), data[1] = uint8_t(length >> 16), data[2] = uint8_t(length >> 8);
        data[3] = uint8_t(length);
        EXPECT_EQ(absurd.Failure(ZrleRect(0, 0, 8, 8, data), 1).Code, codes::ProtocolSync) << length;
        EXPECT_EQ(absurd.Source.Remaining(), compressed) << length;
    }
}

TEST(HextileDecoder, EverySubrectangleSizeCoversExactlyItsClippedArea) {
    // Whole tiles and 8 x 4 edge tiles; subrectangles of every width and random height and place, some
    // reaching past their tile or starting outside an edge tile. A painter of single pixels is the model.
    constexpr int Size = 48, X = 3, Y = 5, W = 40, H = 36;
    for (int bpp : {8, 16, 32}) {
        SCOPED_TRACE(bpp);
        DecodeRig rig(Size, Size, bpp);
        std::vector<uint32_t> expected(Size * Size, 0);
        const auto paint = [&](int x, int y, int w, int h, uint32_t colour) {
            for (int r = y; r < y + h; ++r)
                for (int c = x; c < x + w; ++c)
                    expected[size_t(r * Size + c)] = colour;
        };
        std::mt19937 rng{unsigned(bpp)};
        const uint32_t mask = bpp == 8 ? 0xFF : bpp == 16 ? 0xFFFF : 0xFFFFFFFF;
        auto s = Stream(bpp).Rect(X, Y, W, H, encodings::Hextile);
        for (int ty = Y; ty < Y + H; ty += 16)
            for (int tx = X; tx < X + W; tx += 16) {
                const int tw = std::min(16, X + W - tx), th = std::min(16, Y + H - ty);
                const uint32_t background = rng() & mask;
                s.U8(hextile::BackgroundSpecified | hextile::AnySubrects | hextile::SubrectsColoured)
                    .Pixel(background)
                    .U8(16);
                paint(tx, ty, tw, th, background);
                for (int w = 1; w <= 16; ++w) {
                    const int x = int(rng() % 16), y = int(rng() % 16), h = 1 + int(rng() % 16);
                    const uint32_t colour = rng() & mask;
                    s.Pixel(colour).U8((x << 4) | y).U8(((w - 1) << 4) | (h - 1));
                    if (x < tw && y < th)
                        paint(tx + x, ty + y, std::min(w, tw - x), std::min(h, th - y), colour);
                }
            }
        rig.Run(s, 1);
        EXPECT_EQ(rig.Source.Remaining(), 0u);
        int wrong = 0;
        for (int y = 0; y < Size; ++y)
            for (int x = 0; x < Size; ++x)
                wrong += rig.Pixel(x, y) != expected[size_t(y * Size + x)];
        EXPECT_EQ(wrong, 0);
    }
}
