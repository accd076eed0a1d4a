// Local input over the viewer with a scripted server: the host's Action answers, what reaches the
// wire, the mouse trap, edge detection and the refresh nudge.
#include "ViewerRig.h"

#include <gtest/gtest.h>

#include <QCursor>
#include <QKeyEvent>
#include <QMouseEvent>

using namespace dova;
using namespace latis_test;

namespace {

// A connected, dispatching viewer whose first update request has been read, so that from here on
// only input reaches the server.
struct InputSession {
    ViewerRig Rig{200, 200};
    ScriptedRfbServer Server;
    InputSession() {
        Rig.ConnectTo(Server, 64, 48);
        Server.Receive(10);
    }
    CVNCViewer& Viewer() { return *Rig.Viewer; }
    bool Key(QEvent::Type type, int key, Qt::KeyboardModifiers modifiers, const QString& text = QString()) {
        QKeyEvent event(type, key, modifiers, text);
        QCoreApplication::sendEvent(&Viewer(), &event);
        return event.isAccepted();
    }
    // A key as the window system reports it, with its scan code.
    void NativeKey(QEvent::Type type, int key, uint32_t scanCode, const QString& text) {
        QKeyEvent event(type, key, Qt::NoModifier, scanCode, 0, 0, text);
        QCoreApplication::sendEvent(&Viewer(), &event);
    }
    void Mouse(QEvent::Type type, QPoint at, Qt::MouseButton button) {
        const Qt::MouseButtons held =
            type == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::MouseButtons(button);
        QMouseEvent event(type, QPointF(at), QPointF(Viewer().mapToGlobal(at)), button, held, Qt::NoModifier);
        QCoreApplication::sendEvent(&Viewer(), &event);
    }
    // The next pointer event (key events the modifiers bring are passed over).
    std::vector<uint8_t> NextPointerEvent() {
        for (;;) {
            std::vector<uint8_t> m = NextMessage();
            if (m.empty() || m[0] != 4)
                return m;
        }
    }
    // The next client message's type and body, as many bytes as that type has.
    std::vector<uint8_t> NextMessage() {
        std::vector<uint8_t> head = Server.Receive(1);
        if (head.empty())
            return head;
        const size_t rest = head[0] == 4 ? 7 : head[0] == 5 ? 5 : head[0] == 3 ? 9 : 0;
        std::vector<uint8_t> body = Server.Receive(rest);
        head.insert(head.end(), body.begin(), body.end());
        return head;
    }
};

uint32_t Keysym(const std::vector<uint8_t>& m) {
    return (m[4] << 24) | (m[5] << 16) | (m[6] << 8) | m[7];
}

} // namespace

TEST(ViewerKeys, HostActionDecidesRelayAndLocalProcessing) {
    InputSession s;
    s.Rig.Sink.KeyAction = dovaActionNone;
    EXPECT_TRUE(s.Key(QEvent::KeyPress, Qt::Key_A, Qt::NoModifier, QStringLiteral("a")))
        << "Action 0: consumed, the platform does not see it";
    EXPECT_EQ(s.Rig.Sink.Events.back(), "BeforeKeyDown:0,65,3") << "Action starts at 3";
    s.Rig.Sink.KeyAction = dovaActionAllowWin;
    EXPECT_FALSE(s.Key(QEvent::KeyPress, Qt::Key_C, Qt::NoModifier, QStringLiteral("c")))
        << "Action 2: the local window sees it";
    s.Rig.Sink.KeyAction = dovaActionAllowDOVAAndWin;
    s.Key(QEvent::KeyPress, Qt::Key_B, Qt::NoModifier, QStringLiteral("b"));
    const std::vector<uint8_t> first = s.NextMessage();
    ASSERT_EQ(first.size(), 8u);
    EXPECT_EQ(first[0], 4);
    EXPECT_EQ(first[1], 1) << "down";
    EXPECT_EQ(Keysym(first), 0x62u) << "neither a nor c was relayed before b";
}

TEST(ViewerKeys, TurkishCharacterTravelsAsTheLayoutProducedIt) {
    InputSession s;
    s.Key(QEvent::KeyPress, 0x011E, Qt::NoModifier, QStringLiteral("ğ"));
    const std::vector<uint8_t> down = s.NextMessage();
    ASSERT_EQ(down.size(), 8u);
    EXPECT_EQ(Keysym(down), 0x01000000u + 0x011Fu);
}

TEST(ViewerKeys, KeysWithoutACodeReleaseWhatTheyPressed) {
    InputSession s;
    // Turkish Q with AltGr held: @ on the Q key, € on E; neither has a key code of its own.
    s.NativeKey(QEvent::KeyPress, Qt::Key_At, 24, QStringLiteral("@"));
    s.NativeKey(QEvent::KeyPress, 0x20AC, 26, QStringLiteral("€"));
    s.NativeKey(QEvent::KeyRelease, Qt::Key_At, 24, QStringLiteral("@"));
    s.NativeKey(QEvent::KeyRelease, 0x20AC, 26, QStringLiteral("€"));
    std::vector<std::pair<int, uint32_t>> sent;
    for (int i = 0; i < 4; ++i) {
        const std::vector<uint8_t> m = s.NextMessage();
        ASSERT_EQ(m.size(), 8u) << "message " << i;
        sent.emplace_back(m[1], Keysym(m));
    }
    const std::vector<std::pair<int, uint32_t>> expected = {
        {1, '@'}, {1, 0x010020AC}, {0, '@'}, {0, 0x010020AC}};
    EXPECT_EQ(sent, expected);
}

TEST(ViewerMouse, PressOverTheImageRaisesBeforeMouseUpWithButtonsFour) {
    InputSession s;
    const int left = s.Rig.Int(&CVNCViewer::get_ViewLeft), top = s.Rig.Int(&CVNCViewer::get_ViewTop);
    s.Mouse(QEvent::MouseButtonPress, QPoint(10, 10), Qt::LeftButton); // in the band, outside the image
    s.Mouse(QEvent::MouseButtonRelease, QPoint(10, 10), Qt::LeftButton);
    EXPECT_EQ(s.Rig.Sink.Count("BeforeMouse"), 0u) << "outside the image nothing is relayed";
    s.Mouse(QEvent::MouseButtonPress, QPoint(left + 2, top + 4), Qt::LeftButton);
    EXPECT_EQ(s.Rig.Sink.Events.back(), "BeforeMouseUp:4,0,2,4,1");
    s.Mouse(QEvent::MouseButtonRelease, QPoint(left + 2, top + 4), Qt::LeftButton);
    EXPECT_EQ(s.Rig.Sink.Events.back(), "BeforeMouseDown:4,0,2,4,1");
    const std::vector<uint8_t> press = s.NextMessage();
    ASSERT_EQ(press.size(), 6u);
    EXPECT_EQ(press[0], 5);
    EXPECT_EQ(press[1], 1) << "left button";
    EXPECT_EQ((press[2] << 8) | press[3], 2);
    EXPECT_EQ((press[4] << 8) | press[5], 4);
}

TEST(ViewerMouse, StretchedClickMapsIntoTheFrame) {
    InputSession s;
    s.Viewer().StretchX(1, 2, nullptr);
    s.Viewer().StretchY(1, 2, nullptr);
    s.Viewer().put_Stretch(VNC_TRUE);
    const int left = s.Rig.Int(&CVNCViewer::get_ViewLeft), top = s.Rig.Int(&CVNCViewer::get_ViewTop);
    s.Mouse(QEvent::MouseButtonPress, QPoint(left + 10, top + 10), Qt::LeftButton);
    EXPECT_EQ(s.Rig.Sink.Events.back(), "BeforeMouseUp:4,0,20,20,1");
}

TEST(ViewerTrap, ShiftAloneTrapsAndAnyReleaseFrees) {
    InputSession s;
    QCursor::setPos(s.Viewer().mapToGlobal(QPoint(50, 50)));
    if (!s.Viewer().rect().contains(s.Viewer().mapFromGlobal(QCursor::pos())))
        GTEST_SKIP() << "this platform does not move the pointer";
    s.Key(QEvent::KeyPress, Qt::Key_Control, Qt::NoModifier);
    s.Key(QEvent::KeyPress, Qt::Key_Shift, Qt::ControlModifier);
    EXPECT_EQ(s.Rig.Sink.Count("MouseTrap"), 0u) << "Shift+Control is not exactly Shift";
    s.Key(QEvent::KeyRelease, Qt::Key_Shift, Qt::ControlModifier | Qt::ShiftModifier);
    s.Key(QEvent::KeyRelease, Qt::Key_Control, Qt::ControlModifier);
    s.Key(QEvent::KeyPress, Qt::Key_Shift, Qt::NoModifier);
    ASSERT_EQ(s.Rig.Sink.Count("MouseTrap"), 1u);
    EXPECT_EQ(s.Rig.Sink.Events[s.Rig.Sink.Events.size() - 2], "MouseTrap:-1")
        << "raised before BeforeKeyDown";
    s.Key(QEvent::KeyPress, Qt::Key_Shift, Qt::ShiftModifier); // held: no second trap
    EXPECT_EQ(s.Rig.Sink.Count("MouseTrap"), 1u);
    s.Key(QEvent::KeyRelease, Qt::Key_Shift, Qt::ShiftModifier);
    EXPECT_EQ(s.Rig.Sink.Count("MouseTrap:0"), 1u);
}

TEST(ViewerEdges, ScreenEdgeRepeatsWhileThePointerStaysThere) {
    ViewerRig rig(100, 100);
    rig.Viewer->put_ScreenEdgeDelay(100);
    QCursor::setPos(QPoint(0, 200));
    if (QCursor::pos() != QPoint(0, 200))
        GTEST_SKIP() << "this platform does not move the pointer";
    ASSERT_TRUE(PumpUntil([&] { return rig.Sink.Count("ScreenEdge") >= 2; }));
    EXPECT_EQ(rig.Sink.Events.front(), "ScreenEdge:1") << "left edge, no session needed";
    QCursor::setPos(QPoint(300, 200));
}

TEST(ViewerRefresh, NudgesThePointerOneStepAndBack) {
    InputSession s;
    VNCVariant result;
    s.Viewer().Refresh(0, 0, 0, 0, &result);
    EXPECT_EQ(result.ToInt32(), 0);
    const std::vector<uint8_t> away = s.NextPointerEvent(), back = s.NextPointerEvent();
    ASSERT_EQ(away.size(), 6u);
    ASSERT_EQ(back.size(), 6u);
    EXPECT_EQ(away[0], 5);
    EXPECT_EQ((away[2] << 8) | away[3], 1) << "at X 0 the nudge goes to 1";
    EXPECT_EQ(away[1], 0) << "no buttons";
    EXPECT_EQ((back[2] << 8) | back[3], 0);
}

TEST(ViewerMouse, MiddleAndRightButtonsTravelAsButtonsTwoAndThree) {
    InputSession s;
    const QPoint at(s.Rig.Int(&CVNCViewer::get_ViewLeft) + 3, s.Rig.Int(&CVNCViewer::get_ViewTop) + 5);
    s.Mouse(QEvent::MouseButtonPress, at, Qt::MiddleButton);
    s.Mouse(QEvent::MouseButtonRelease, at, Qt::MiddleButton);
    s.Mouse(QEvent::MouseButtonPress, at, Qt::RightButton);
    const std::vector<uint8_t> middleDown = s.NextPointerEvent(), middleUp = s.NextPointerEvent(),
                               rightDown = s.NextPointerEvent();
    ASSERT_EQ(middleDown.size(), 6u);
    EXPECT_EQ(middleDown[1], 2);
    EXPECT_EQ(middleUp[1], 0);
    EXPECT_EQ(rightDown[1], 4);
}
