// The viewer with a scripted server: view rectangle and scroll bars, frame notifications, and a
// server that goes away.
#include "ViewerRig.h"

#include <gtest/gtest.h>

#include <QScrollBar>

using namespace dova;
using latis_test::PumpUntil;
using latis_test::ScriptedRfbServer;
using latis_test::ServerStream;
using latis_test::ViewerRig;

namespace {
// Scroll bars the viewer shows, by orientation.
bool BarShown(CVNCViewer& viewer, Qt::Orientation orientation) {
    for (QScrollBar* bar : viewer.findChildren<QScrollBar*>())
        if (bar->orientation() == orientation)
            return bar->isVisible();
    return false;
}
} // namespace

TEST(ViewerGeometry, LargerFrameNeedsBothBarsAndStartsAtTheCorner) {
    ViewerRig rig(800, 600);
    ScriptedRfbServer server;
    rig.ConnectTo(server, 1024, 768);
    EXPECT_EQ(rig.Int(&CVNCViewer::get_State), dovaStateDispatching);
    EXPECT_EQ(rig.Int(&CVNCViewer::get_FrameWidth), 1024);
    EXPECT_TRUE(BarShown(*rig.Viewer, Qt::Horizontal));
    EXPECT_TRUE(BarShown(*rig.Viewer, Qt::Vertical));
    EXPECT_EQ(rig.Int(&CVNCViewer::get_ViewLeft), 0);
    EXPECT_EQ(rig.Int(&CVNCViewer::get_ViewTop), 0);
    EXPECT_EQ(rig.Int(&CVNCViewer::get_ViewRight), 1024);

    VNCVariant result;
    rig.Viewer->Scroll(-50, 0, &result);
    EXPECT_EQ(result.ToInt32(), 0);
    EXPECT_FALSE(rig.Viewer->ScrollBy(-50, 0)) << "nothing before 0";
    EXPECT_TRUE(rig.Viewer->ScrollBy(100, 30));
    EXPECT_EQ(rig.Int(&CVNCViewer::get_ScrollPosH), 100);
    EXPECT_EQ(rig.Int(&CVNCViewer::get_ScrollPosV), 30);
    rig.Viewer->ScrollBy(5000, 5000);
    const QRect client = rig.Viewer->ClientRect();
    EXPECT_EQ(rig.Int(&CVNCViewer::get_ScrollPosH), 1024 - client.width()) << "clamped at the far end";
    EXPECT_EQ(rig.Int(&CVNCViewer::get_ScrollPosV), 768 - client.height());
}

TEST(ViewerGeometry, SmallerFrameIsCentredOrAligned) {
    ViewerRig rig(800, 600);
    ScriptedRfbServer server;
    rig.ConnectTo(server, 640, 480);
    EXPECT_FALSE(BarShown(*rig.Viewer, Qt::Horizontal));
    EXPECT_FALSE(BarShown(*rig.Viewer, Qt::Vertical));
    EXPECT_EQ(rig.Int(&CVNCViewer::get_ViewLeft), 80);
    EXPECT_EQ(rig.Int(&CVNCViewer::get_ViewTop), 60);
    rig.Viewer->put_Alignment(dovaEdgeBottomRight);
    EXPECT_EQ(rig.Int(&CVNCViewer::get_ViewLeft), 160);
    EXPECT_EQ(rig.Int(&CVNCViewer::get_ViewTop), 120);
    EXPECT_EQ(rig.Int(&CVNCViewer::get_ViewBottom), 600);
    rig.Viewer->put_Alignment(dovaEdgeTopLeft);
    EXPECT_EQ(rig.Int(&CVNCViewer::get_ViewLeft), 0);
    EXPECT_EQ(rig.Int(&CVNCViewer::get_ViewTop), 0);
    EXPECT_FALSE(rig.Viewer->ScrollBy(10, 10)) << "nothing to scroll when the image fits";
}

TEST(ViewerGeometry, WithoutScrollBarsTheImageStillScrolls) {
    ViewerRig rig(800, 600);
    rig.Viewer->put_Scrollbars(dovaScrollbarNone);
    ScriptedRfbServer server;
    rig.ConnectTo(server, 1024, 768);
    EXPECT_FALSE(BarShown(*rig.Viewer, Qt::Horizontal));
    EXPECT_FALSE(BarShown(*rig.Viewer, Qt::Vertical));
    EXPECT_TRUE(rig.Viewer->ScrollBy(100, 50));
    EXPECT_EQ(rig.Int(&CVNCViewer::get_ScrollPosH), 100);
    EXPECT_EQ(rig.Int(&CVNCViewer::get_ScrollPosV), 50);
    rig.Viewer->ScrollBy(1000, 1000);
    EXPECT_EQ(rig.Int(&CVNCViewer::get_ScrollPosH), 224);
    EXPECT_EQ(rig.Int(&CVNCViewer::get_ScrollPosV), 168);
}

TEST(ViewerGeometry, StretchingShrinksTheView) {
    ViewerRig rig(800, 600);
    ScriptedRfbServer server;
    rig.ConnectTo(server, 1024, 768);
    rig.Viewer->StretchX(1, 2, nullptr);
    rig.Viewer->StretchY(1, 2, nullptr);
    rig.Viewer->put_Stretch(VNC_TRUE);
    EXPECT_EQ(rig.Int(&CVNCViewer::get_ViewWidth), 512);
    EXPECT_EQ(rig.Int(&CVNCViewer::get_ViewHeight), 384);
    EXPECT_EQ(rig.Int(&CVNCViewer::get_StretchedWidth), 512);
    EXPECT_FALSE(BarShown(*rig.Viewer, Qt::Horizontal)) << "the stretched image fits";
    EXPECT_EQ(rig.Int(&CVNCViewer::get_ViewLeft), 144);
}

TEST(ViewerFrames, ThreeRectanglesRaiseFrameUpdatedThreeTimesInOrder) {
    ViewerRig rig(800, 600);
    rig.Viewer->put_FireFrameUpdates(VNC_TRUE);
    ScriptedRfbServer server;
    rig.ConnectTo(server, 64, 48);
    server.Receive(10); // the first update request
    ServerStream update(16);
    update.Update(3);
    update.Rect(0, 0, 2, 2, 0).Pixels(0x7C00, 4);
    update.Rect(10, 20, 3, 1, 0).Pixels(0x03E0, 3);
    update.Rect(5, 6, 1, 1, 0).Pixels(0x001F, 1);
    server.Send(update.Data);
    ASSERT_TRUE(PumpUntil([&] { return rig.Sink.Count("FrameUpdated") == 3; }));
    std::vector<std::string> frames;
    for (const std::string& e : rig.Sink.Events)
        if (e.rfind("FrameUpdated", 0) == 0)
            frames.push_back(e);
    EXPECT_EQ(frames, (std::vector<std::string>{"FrameUpdated:0,0,2,2", "FrameUpdated:10,20,3,1",
                                                "FrameUpdated:5,6,1,1"}));
    // What was decoded shows in the window: red at the frame's corner, inside the centred view.
    const QImage shot = rig.Viewer->grab().toImage();
    const int left = rig.Int(&CVNCViewer::get_ViewLeft), top = rig.Int(&CVNCViewer::get_ViewTop);
    EXPECT_EQ(shot.pixel(left, top) & 0xFFFFFF, 0xFF0000u);
    EXPECT_EQ(shot.pixel(left + 5, top + 6) & 0xFFFFFF, 0x0000FFu);
    EXPECT_EQ(shot.pixel(left + 30, top + 30) & 0xFFFFFF, 0x000000u) << "black where nothing came yet";
    EXPECT_EQ(shot.pixel(5, 5) & 0xFFFFFF, 0xFFFFFFu) << "the band around the image in BackColor";
    QImage picture;
    rig.Viewer->get_Picture(&picture);
    ASSERT_EQ(picture.size(), QSize(64, 48));
    EXPECT_EQ(picture.pixel(0, 0) & 0xFFFFFF, 0xFF0000u) << "Picture shows the live framebuffer";
    EXPECT_EQ(picture.pixel(10, 20) & 0xFFFFFF, 0x00FF00u);
}

TEST(ViewerFrames, DataTransferReportsByteCountsWhenAsked) {
    ViewerRig rig(200, 200);
    struct Counter : IVNCViewerEvents {
        int32_t LastRead = -1;
        void DataTransfer(int32_t TotalRead, int32_t) override { LastRead = TotalRead; }
    } counter;
    rig.Viewer->Advise(&counter);
    rig.Viewer->put_FireDataTransfers(VNC_TRUE);
    ScriptedRfbServer server;
    rig.ConnectTo(server, 64, 48);
    EXPECT_TRUE(PumpUntil([&] { return counter.LastRead > 12; })) << "the handshake's bytes were counted";
    rig.Viewer->Unadvise(&counter);
}

TEST(ViewerFrames, NoFrameUpdatedWhenNotAsked) {
    ViewerRig rig(200, 200);
    ScriptedRfbServer server;
    rig.ConnectTo(server, 64, 48);
    server.Receive(10);
    ServerStream update(16);
    update.Update(1).Rect(0, 0, 1, 1, 0).Pixels(0x7C00, 1);
    server.Send(update.Data);
    server.Receive(10); // the next request: the update was processed
    latis_test::PumpFor(std::chrono::milliseconds(100));
    EXPECT_EQ(rig.Sink.Count("FrameUpdated"), 0u);
}

TEST(ViewerLifecycle, ServerThatGoesAwayGivesErrorThenDisconnectedAndConnectWorksAgain) {
    ViewerRig rig(200, 200);
    {
        ScriptedRfbServer server;
        rig.ConnectTo(server, 64, 48);
        server.Receive(10);
        server.Close();
        ASSERT_TRUE(PumpUntil([&] { return rig.Sink.Count("Disconnected") == 1; }));
    }
    ASSERT_GE(rig.Sink.Events.size(), 3u);
    const size_t n = rig.Sink.Events.size();
    EXPECT_EQ(rig.Sink.Events[n - 2].rfind("Error:15:", 0), 0u) << rig.Sink.Events[n - 2];
    EXPECT_EQ(rig.Sink.Events[n - 1], "Disconnected");
    EXPECT_EQ(rig.Int(&CVNCViewer::get_State), 0);

    rig.Sink.Events.clear();
    ScriptedRfbServer again;
    rig.ConnectTo(again, 32, 32);
    EXPECT_EQ(rig.Int(&CVNCViewer::get_State), dovaStateDispatching);
    rig.Viewer->Stop(nullptr);
    EXPECT_EQ(rig.Sink.Events.back(), "Disconnected");
    EXPECT_EQ(rig.Sink.Count("Error"), 0u);
}

TEST(ViewerLifecycle, ConnectFailureReachesTheHostAsError) {
    ViewerRig rig(200, 200);
    const int port = latis_test::FreeLoopbackPort();
    VNCVariant result;
    rig.Viewer->Connect(QStringLiteral("127.0.0.1"), int32_t(port), VNCVariant(), VNCVariant(), &result);
    EXPECT_EQ(result.ToInt32(), 0);
    ASSERT_TRUE(PumpUntil([&] { return rig.Sink.Count("Error") == 1; }));
    EXPECT_EQ(rig.Sink.Events.front().rfind("Error:5:", 0), 0u) << rig.Sink.Events.front();
    latis_test::PumpFor(std::chrono::milliseconds(50));
    EXPECT_EQ(rig.Sink.Count("Disconnected"), 0u) << "never connected";
    EXPECT_EQ(rig.Int(&CVNCViewer::get_State), 0);
}

TEST(ViewerLifecycle, StopWhileConnectedRaisesDisconnectedOnce) {
    ViewerRig rig(200, 200);
    ScriptedRfbServer server;
    rig.ConnectTo(server, 64, 48, false);
    EXPECT_EQ(rig.Int(&CVNCViewer::get_State), dovaStateConnected);
    EXPECT_EQ(rig.Int(&CVNCViewer::get_FrameWidth), 64);
    QString name;
    rig.Viewer->get_ServerName(&name);
    EXPECT_EQ(name, QStringLiteral("scripted"));
    rig.Viewer->Disconnect(nullptr);
    rig.Viewer->Stop(nullptr);
    EXPECT_EQ(rig.Sink.Count("Disconnected"), 1u);
    EXPECT_EQ(rig.Int(&CVNCViewer::get_FrameWidth), 0);
    QString version;
    rig.Viewer->get_ServerVersion(&version);
    EXPECT_TRUE(version.isEmpty());
}

TEST(ViewerLifecycle, HostReconnectingFromItsErrorHandlerKeepsTheNewConnection) {
    ViewerRig rig(200, 200);
    ScriptedRfbServer first, second;
    rig.ConnectTo(first, 64, 48);
    first.Receive(10);
    struct Reconnect : IVNCViewerEvents {
        CVNCViewer* Viewer = nullptr;
        int Port = 0;
        void Error(int32_t, QString&, const VNCVariant&) override {
            Viewer->Connect(QStringLiteral("127.0.0.1"), int32_t(Port), VNCVariant(), VNCVariant(), nullptr);
        }
    } reconnect;
    reconnect.Viewer = rig.Viewer.get();
    reconnect.Port = second.Port();
    rig.Viewer->Advise(&reconnect);
    rig.Sink.OnConnected = nullptr;
    first.Close();
    ASSERT_TRUE(PumpUntil([&] { return rig.Sink.Count("Error") == 1; }));
    second.Handshake(32, 32);
    EXPECT_TRUE(PumpUntil([&] { return rig.Sink.Count("Connected") == 2; }))
        << "the connection the host opened from its handler was not ended behind its back";
    EXPECT_EQ(rig.Int(&CVNCViewer::get_State), dovaStateConnected);
    EXPECT_EQ(rig.Sink.Count("Disconnected"), 1u);
    rig.Viewer->Unadvise(&reconnect);
}

TEST(ViewerFrames, ChangingTheStretchModeRedrawsWithTheNewFilter) {
    ViewerRig rig(200, 200);
    ScriptedRfbServer server;
    rig.ConnectTo(server, 64, 48);
    server.Receive(10);
    // Columns alternate red and blue.
    ServerStream update(16);
    update.Update(1).Rect(0, 0, 64, 48, 0);
    for (int y = 0; y < 48; ++y)
        for (int x = 0; x < 64; ++x)
            update.Pixel(x % 2 ? 0x001F : 0x7C00);
    server.Send(update.Data);
    server.Receive(10); // processed
    latis_test::PumpFor(std::chrono::milliseconds(50));
    rig.Viewer->StretchX(1, 2, nullptr);
    rig.Viewer->StretchY(1, 2, nullptr);
    rig.Viewer->put_Stretch(VNC_TRUE);
    const int left = rig.Int(&CVNCViewer::get_ViewLeft), top = rig.Int(&CVNCViewer::get_ViewTop);
    QRgb shown = rig.Viewer->grab().toImage().pixel(left + 5, top + 5);
    EXPECT_NEAR(qRed(shown), 127, 2) << "halftone blends the two columns of a cell";
    EXPECT_NEAR(qBlue(shown), 127, 2);
    rig.Viewer->put_StretchMode(dovaStretchModeNormal);
    shown = rig.Viewer->grab().toImage().pixel(left + 5, top + 5);
    EXPECT_TRUE((shown & 0xFFFFFF) == 0xFF0000u || (shown & 0xFFFFFF) == 0x0000FFu)
        << std::hex << shown << ": colour-on-colour keeps one column";
}

TEST(ViewerGeometry, ScrollBarRequestsMoveByLinesPagesAndThumb) {
    ViewerRig rig(800, 600);
    ScriptedRfbServer server;
    rig.ConnectTo(server, 1024, 768);
    QScrollBar* horizontal = nullptr;
    for (QScrollBar* bar : rig.Viewer->findChildren<QScrollBar*>())
        if (bar->orientation() == Qt::Horizontal)
            horizontal = bar;
    ASSERT_NE(horizontal, nullptr);
    horizontal->triggerAction(QAbstractSlider::SliderSingleStepAdd);
    EXPECT_EQ(rig.Int(&CVNCViewer::get_ScrollPosH), 10);
    horizontal->triggerAction(QAbstractSlider::SliderPageStepAdd);
    EXPECT_EQ(rig.Int(&CVNCViewer::get_ScrollPosH), 10 + rig.Viewer->ClientRect().width() / 4);
    horizontal->triggerAction(QAbstractSlider::SliderSingleStepSub);
    EXPECT_EQ(rig.Int(&CVNCViewer::get_ScrollPosH), rig.Viewer->ClientRect().width() / 4);
    horizontal->setSliderPosition(150); // dragging the thumb
    EXPECT_EQ(rig.Int(&CVNCViewer::get_ScrollPosH), 150);
    EXPECT_EQ(horizontal->value(), 150);
    EXPECT_EQ(rig.Int(&CVNCViewer::get_ScrollPosV), 0) << "the other bar stays";
}

// A depth chosen in the Connected handler, before Start: the server still sends the old format until
// told, so the change waits and goes out as SetPixelFormat before the first update request.
TEST(ViewerFrames, DepthChosenBeforeStartIsAnnouncedWhenTheSessionStarts) {
    ViewerRig rig(200, 200);
    rig.Sink.OnConnected = [&] {
        rig.Viewer->put_BitsPerPixel(32);
        int16_t bits = 0;
        rig.Viewer->get_BitsPerPixel(&bits);
        EXPECT_EQ(bits, 16) << "the format in force changes only when the server knows";
        rig.Viewer->Start(nullptr);
    };
    ScriptedRfbServer server;
    rig.ConnectTo(server, 8, 8, false);
    const std::vector<uint8_t> setFormat = server.Receive(20);
    ASSERT_EQ(setFormat.size(), 20u);
    EXPECT_EQ(setFormat[0], 0) << "SetPixelFormat first";
    EXPECT_EQ(setFormat[4], 32);
    const std::vector<uint8_t> request = server.Receive(10);
    ASSERT_EQ(request.size(), 10u);
    EXPECT_EQ(request[0], 3);
    EXPECT_EQ(request[1], 0) << "a full update in the new format";
    ServerStream update(32);
    update.Update(1);
    update.Rect(0, 0, 8, 8, 0).Pixels(0x00FF0000, 64);
    server.Send(update.Data);
    QImage picture;
    ASSERT_TRUE(PumpUntil([&] {
        rig.Viewer->get_Picture(&picture);
        return !picture.isNull() && (picture.pixel(7, 7) & 0xFFFFFF) == 0xFF0000u;
    })) << "the update in the announced format is read as such";
    rig.Viewer->Stop(nullptr);
}
