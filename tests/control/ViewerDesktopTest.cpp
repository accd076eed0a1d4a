// The viewer's desktop duties: cursors, commands, display mode, bell and clipboard with a scripted
// server.
#include "ViewerRig.h"

#include <gtest/gtest.h>

#include <QBitmap>
#include <QClipboard>
#include <QGuiApplication>

using namespace dova;
using namespace latis_test;

namespace {
struct DesktopSession {
    ViewerRig Rig{200, 200};
    ScriptedRfbServer Server;
    DesktopSession() {
        Rig.ConnectTo(Server, 64, 48);
        Server.Receive(10);
    }
};
} // namespace

TEST(ViewerCursors, BuiltInShapesAndValuesThatKeepTheSelection) {
    ViewerRig rig;
    const QCursor circle = rig.Viewer->SelectedImageCursor();
    EXPECT_EQ(circle.shape(), Qt::BitmapCursor) << "201, the small circle, by default";
    EXPECT_EQ(circle.hotSpot(), QPoint(2, 2));
    ASSERT_FALSE(circle.bitmap().isNull());
    const QImage ring = circle.bitmap().toImage();
    EXPECT_EQ(ring.size(), QSize(32, 32));
    EXPECT_NE(ring.pixelIndex(1, 0), ring.pixelIndex(0, 0)) << "row 0 is .###.";

    rig.Viewer->put_MousePointer(dovaMousePointerCross);
    EXPECT_EQ(rig.Viewer->SelectedImageCursor().shape(), Qt::CrossCursor);
    rig.Viewer->put_MousePointer(dovaMousePointerIcon);
    EXPECT_EQ(rig.Viewer->SelectedImageCursor().shape(), Qt::CrossCursor) << "4 keeps the previous cursor";
    rig.Viewer->put_MousePointer(57);
    EXPECT_EQ(rig.Viewer->SelectedImageCursor().shape(), Qt::CrossCursor);
    rig.Viewer->put_MousePointer(dovaMousePointerCustom);
    EXPECT_EQ(rig.Viewer->SelectedImageCursor().shape(), Qt::ArrowCursor) << "99 without a MouseIcon";

    QImage icon(16, 16, QImage::Format_ARGB32);
    icon.fill(Qt::red);
    rig.Viewer->put_MouseIcon(icon);
    EXPECT_EQ(rig.Viewer->SelectedImageCursor().shape(), Qt::BitmapCursor);
    EXPECT_EQ(rig.Viewer->SelectedImageCursor().pixmap().size(), QSize(32, 32));
    rig.Viewer->put_MouseIcon(QImage());
    EXPECT_EQ(rig.Viewer->SelectedImageCursor().shape(), Qt::BitmapCursor)
        << "clearing keeps the custom cursor";
}

TEST(ViewerCommands, KeywordsAndTheirEffects) {
    ViewerRig rig;
    VNCVariant result(int32_t(5));
    rig.Viewer->Command(VNCVariant(QStringLiteral("full_screen")), VNCVariant(), VNCVariant(), VNCVariant(),
                        &result);
    EXPECT_EQ(result.ToInt32(), 0);
    rig.Viewer->Command(VNCVariant(QStringLiteral("use_compatible_zlib")), VNCVariant(int32_t(6)),
                        VNCVariant(), VNCVariant(), &result);
    {
        CLockGuard hold(rig.Viewer->EngineState());
        EXPECT_EQ(rig.Viewer->EngineState().StreamLevel, 6);
        EXPECT_TRUE(rig.Viewer->EngineState().StreamEnabled);
    }
    rig.Viewer->Command(VNCVariant(QStringLiteral("USE_COMPATIBLE_ZLIB")), VNCVariant(int32_t(0)),
                        VNCVariant(), VNCVariant(), &result);
    {
        CLockGuard hold(rig.Viewer->EngineState());
        EXPECT_TRUE(rig.Viewer->EngineState().StreamEnabled) << "keywords are case-sensitive";
    }
    rig.Viewer->Command(VNCVariant(QStringLiteral("use_compatible_zlib")), VNCVariant(int16_t(0)),
                        VNCVariant(), VNCVariant(), &result);
    CLockGuard hold(rig.Viewer->EngineState());
    EXPECT_FALSE(rig.Viewer->EngineState().StreamEnabled);
    EXPECT_EQ(result.ToInt32(), 0);
}

TEST(ViewerDisplayMode, DefaultsAskForNothingUsableAndFail) {
    ViewerRig rig;
    VNCVariant result;
    rig.Viewer->ChangeDisplaySettings(0, 0, 0, 0, 0, -1, &result);
    EXPECT_LT(result.ToInt32(), 0);
}

TEST(ViewerBell, EventOffersTheDefaultAction) {
    DesktopSession s;
    s.Rig.Sink.BellAction = dovaBellActionNone;
    s.Server.Send(Bytes({2}));
    ASSERT_TRUE(PumpUntil([&] { return s.Rig.Sink.Count("ServerBell") == 1; }));
    EXPECT_EQ(s.Rig.Sink.Events.back(), "ServerBell:65535");
    s.Rig.Viewer->put_EnableBell(VNC_FALSE);
    s.Server.Send(Bytes({2, 2}));
    s.Rig.Sink.BellAction = (500 << 16) | 1000;
    s.Server.Send(Bytes({2}));
    PumpFor(std::chrono::milliseconds(150));
    EXPECT_EQ(s.Rig.Sink.Count("ServerBell"), 1u) << "no bell while EnableBell is off";
}

TEST(ViewerClipboard, ServerTextReachesTheLocalClipboardWithLineFeeds) {
    DesktopSession s;
    s.Rig.Viewer->put_RelayLocalClipboard(VNC_FALSE); // no echo back to the server in this test
    ServerStream cut;
    cut.U8(3).U8(0).U8(0).U8(0).U32(10).Text("sat\xFDr\n2\r\n3");
    s.Server.Send(cut.Data);
    ASSERT_TRUE(PumpUntil([&] { return s.Rig.Sink.Count("ServerClipboard") == 1; }));
    const QString expected = QStringLiteral("satır\n2\n3");
    EXPECT_EQ(QGuiApplication::clipboard()->text(), expected);
    VNCVariant last;
    s.Rig.Viewer->get_ServerClipboard(&last);
    EXPECT_EQ(last.ToText(), expected);
    EXPECT_EQ(s.Rig.Sink.Count("ServerClipboard:1:" + expected.toStdString() + ":-1"), 1u);
}

// The change that placing the server's text makes is not the operator's: it never goes back. The
// operator's copy right after it does.
TEST(ViewerClipboard, ServerTextNeverGoesBackTheOperatorsNextCopyDoes) {
    DesktopSession s;
    ServerStream cut;
    cut.U8(3).U8(0).U8(0).U8(0).U32(4).Text("uzak");
    s.Server.Send(cut.Data);
    ASSERT_TRUE(PumpUntil([&] { return s.Rig.Sink.Count("ServerClipboard") == 1; }));
    ASSERT_EQ(QGuiApplication::clipboard()->text(), QStringLiteral("uzak"));
    QGuiApplication::clipboard()->setText(QStringLiteral("yerel"));
    const std::vector<uint8_t> head = s.Server.Receive(8);
    ASSERT_EQ(head.size(), 8u);
    EXPECT_EQ(head[0], 6);
    EXPECT_EQ(head[7], 5) << "the first text on the wire is the operator's, not the server's own";
    EXPECT_EQ(s.Server.Receive(5), Bytes({'y', 'e', 'r', 'e', 'l'}));
    EXPECT_EQ(s.Rig.Sink.Count("LocalClipboard"), 1u);
}

TEST(ViewerClipboard, HostCanKeepServerTextOffTheClipboard) {
    DesktopSession s;
    s.Rig.Viewer->put_RelayLocalClipboard(VNC_FALSE);
    QGuiApplication::clipboard()->setText(QStringLiteral("önceki"));
    s.Rig.Sink.ClipboardAction = 0;
    ServerStream cut;
    cut.U8(3).U8(0).U8(0).U8(0).U32(3).Text("yok");
    s.Server.Send(cut.Data);
    ASSERT_TRUE(PumpUntil([&] { return s.Rig.Sink.Count("ServerClipboard") == 1; }));
    EXPECT_EQ(QGuiApplication::clipboard()->text(), QStringLiteral("önceki"));
}

TEST(ViewerClipboard, LocalTextGoesToTheServerInItsCodePage) {
    DesktopSession s;
    QGuiApplication::clipboard()->setText(QStringLiteral("yerel\nş"));
    ASSERT_TRUE(PumpUntil([&] { return s.Rig.Sink.Count("LocalClipboard") >= 1; }));
    EXPECT_EQ(s.Rig.Sink.Events.back(), "LocalClipboard:1:yerel\nş:-1");
    const std::vector<uint8_t> head = s.Server.Receive(8);
    ASSERT_EQ(head.size(), 8u);
    EXPECT_EQ(head[0], 6);
    const size_t length = size_t((head[4] << 24) | (head[5] << 16) | (head[6] << 8) | head[7]);
    ASSERT_EQ(length, 7u);
    const std::vector<uint8_t> text = s.Server.Receive(length);
    EXPECT_EQ(text, (std::vector<uint8_t>{'y', 'e', 'r', 'e', 'l', '\n', 0xFE}));
}

TEST(ViewerClipboard, HostActionZeroKeepsLocalTextHome) {
    DesktopSession s;
    s.Rig.Sink.ClipboardAction = 0;
    QGuiApplication::clipboard()->setText(QStringLiteral("gizli"));
    ASSERT_TRUE(PumpUntil([&] { return s.Rig.Sink.Count("LocalClipboard") >= 1; }));
    VNCVariant result;
    s.Rig.Viewer->SendClipboard(dovaDataText, VNCVariant(QStringLiteral("açık")), &result);
    EXPECT_EQ(result.ToInt32(), 0);
    const std::vector<uint8_t> head = s.Server.Receive(8);
    ASSERT_EQ(head.size(), 8u);
    EXPECT_EQ(head[7], 4) << "the first text on the wire is the one sent directly";
}
