// The viewer on a real X display (Xvfb through Qt's xcb platform) against a real Xvnc on 127.0.0.1,
// driven with xdotool as an operator's hand would: drags that end outside the image, double-clicks,
// held keys, the mouse trap, auto-scroll over the viewer's own scroll bars, display-mode requests.
// What reached the remote side is read there with xev.
#include "../app/RemoteInputLog.h"
#include "DisplayMode.h"
#include "RealServers.h"
#include "ViewerRig.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QTemporaryDir>
#include <QWindow>

#include <cstdlib>
#include <memory>

using namespace dova;
using namespace latis_test;

namespace {

constexpr auto ArrivalLimit = std::chrono::seconds(10); // viewer -> Xvnc -> xev on a loaded machine
constexpr auto ConnectLimit = std::chrono::seconds(30);
constexpr int LocalWidth = 1024, LocalHeight = 768;
const QPoint WindowPlace(40, 40);
const QPoint FarAway(1000, 740); // on the local screen, outside every viewer window of these tests

// Qt runs on a display of its own for the whole program and is gone before that display is.
class RealDisplayEnvironment : public testing::Environment {
public:
    void SetUp() override {
        Display = std::make_unique<LocalXDisplay>(ServerOptions().WithSize(LocalWidth, LocalHeight));
        ::setenv("DISPLAY", Display->DisplayName().c_str(), 1);
        ::setenv("QT_QPA_PLATFORM", "xcb", 1);
        TestApplication();
    }
    void TearDown() override {
        delete qApp;
        Display.reset();
    }
    static LocalXDisplay& Local() { return *Display; }

private:
    static inline std::unique_ptr<LocalXDisplay> Display;
};
testing::Environment* const Registered = testing::AddGlobalTestEnvironment(new RealDisplayEnvironment);

// xdotool on the local display, with the words given.
void Operator(std::vector<std::string> words) {
    words.insert(words.begin(), "xdotool");
    RealDisplayEnvironment::Local().RunClientAndWait(words);
}
void MoveTo(const QPoint& p) {
    Operator({"mousemove", std::to_string(p.x()), std::to_string(p.y())});
}
QPoint LocalPointer() {
    const QString where = QString::fromStdString(
        RealDisplayEnvironment::Local().RunClientAndWait({"xdotool", "getmouselocation", "--shell"}));
    QPoint p;
    for (const QString& line : where.split(QLatin1Char('\n'))) {
        if (line.startsWith(QStringLiteral("X=")))
            p.setX(line.mid(2).toInt());
        else if (line.startsWith(QStringLiteral("Y=")))
            p.setY(line.mid(2).toInt());
    }
    return p;
}

class ViewerOnRealDisplay : public testing::Test {
protected:
    // An Xvnc of the given size with xev listening, and a viewer window of the given size showing it.
    void Open(QSize remote, QSize window) {
        Server = std::make_unique<XvncServer>(ServerOptions().WithSize(remote.width(), remote.height()));
        Remote = std::make_unique<RemoteInputLog>(Folder.filePath(QStringLiteral("xev.log")));
        Server->RunClient(
            {"sh", "-c",
             "exec xev -root -event keyboard -event button > '" + Remote->FilePath().toStdString() + "'"});
        ASSERT_TRUE(PumpUntil(
            [&] {
                Server->RunClientAndWait({"xdotool", "key", "F12"});
                return Remote->Events().contains(QStringLiteral("KeyPress F12"));
            },
            ArrivalLimit));
        Rig = std::make_unique<ViewerRig>(window.width(), window.height());
        Rig->Viewer->move(WindowPlace);
        Rig->Viewer->activateWindow();
        Rig->Sink.OnConnected = [this] { Rig->Viewer->Start(nullptr); };
        VNCVariant result;
        Rig->Viewer->Connect(QStringLiteral("127.0.0.1"), int32_t(Server->Port()), VNCVariant(), VNCVariant(),
                             &result);
        ASSERT_TRUE(PumpUntil(
            [&] {
                return Rig->Int(&CVNCViewer::get_State) == dovaStateDispatching &&
                       Rig->Viewer->windowHandle()->isExposed() && Rig->Viewer->isActiveWindow();
            },
            ConnectLimit))
            << Server->Log();
    }

    void TearDown() override {
        if (Rig)
            Rig->Viewer->Stop(nullptr);
        Rig.reset();
        // The next case starts with no button or key held on the local display.
        MoveTo(FarAway);
    }

    QPoint Global(int x, int y) const { return Rig->Viewer->mapToGlobal(QPoint(x, y)); }
    QPoint ImagePoint(int x, int y) {
        return Global(Rig->Int(&CVNCViewer::get_ViewLeft) + x, Rig->Int(&CVNCViewer::get_ViewTop) + y);
    }
    qsizetype Arrived(const char* event) const { return Remote->Events().count(QString::fromLatin1(event)); }
    bool Awaits(const char* event, qsizetype count) const {
        return PumpUntil([&] { return Arrived(event) >= count; }, ArrivalLimit);
    }
    std::string RemotePointer() const {
        const std::string where = Server->RunClientAndWait({"xdotool", "getmouselocation"});
        return where.substr(0, where.find(" screen"));
    }

    QTemporaryDir Folder;
    std::unique_ptr<XvncServer> Server;
    std::unique_ptr<RemoteInputLog> Remote;
    std::unique_ptr<ViewerRig> Rig;
};

} // namespace

TEST_F(ViewerOnRealDisplay, EveryRelayedPressIsReleasedAndADoubleClickIsTwoClicks) {
    Open(QSize(320, 240), QSize(480, 360)); // the image in the middle, a band of window around it
    MoveTo(ImagePoint(100, 100));
    Operator({"mousedown", "1"});
    ASSERT_TRUE(Awaits("ButtonPress 1", 1));
    // Dragged over the band, out of the window, and let go there: the server still gets the release,
    // at the nearest point of its screen.
    MoveTo(ImagePoint(-20, 100));
    MoveTo(FarAway);
    Operator({"mouseup", "1"});
    EXPECT_TRUE(Awaits("ButtonRelease 1", 1)) << Remote->Events().join(QLatin1Char(',')).toStdString();
    EXPECT_EQ(RemotePointer(), "x:319 y:239");

    // A click on the band beside the image is not relayed; a double-click on the image is two clicks
    // (the double-click itself adds nothing).
    MoveTo(ImagePoint(-20, 50));
    Operator({"click", "1"});
    MoveTo(ImagePoint(50, 50));
    Operator({"click", "--repeat", "2", "--delay", "120", "1"});
    EXPECT_TRUE(Awaits("ButtonRelease 1", 3));
    PumpFor(std::chrono::milliseconds(300));
    EXPECT_EQ(Arrived("ButtonPress 1"), 3);
    EXPECT_EQ(Arrived("ButtonRelease 1"), 3);
}

TEST_F(ViewerOnRealDisplay, HeldKeyRepeatsAsPressesAndTheTrapHoldsThePointerUntilReleased) {
    Open(QSize(320, 240), QSize(480, 360));
    const QRect window(Global(0, 0), Rig->Viewer->size());

    // A held key: X repeats it as release/press pairs; the viewer relays repeated presses only (the
    // host sees one BeforeKeyUp) and the key ends up released on the server. (The server's own X may
    // show a repeated press as a pair again, so its release count says nothing.)
    MoveTo(ImagePoint(100, 100));
    const size_t upsBefore = Rig->Sink.Count("BeforeKeyUp");
    const size_t downsBefore = Rig->Sink.Count("BeforeKeyDown");
    Operator({"keydown", "a"});
    PumpFor(std::chrono::milliseconds(1200));
    Operator({"keyup", "a"});
    ASSERT_TRUE(Awaits("KeyRelease a", 1));
    PumpFor(std::chrono::milliseconds(300));
    EXPECT_GT(Arrived("KeyPress a"), 1) << "the local display repeated the key";
    const QStringList events = Remote->Events();
    EXPECT_GT(events.lastIndexOf(QStringLiteral("KeyRelease a")),
              events.lastIndexOf(QStringLiteral("KeyPress a")));
    // Qt knows a release is a repeat's by peeking for the press queued behind it; on a loaded machine
    // that press may not have been read yet, so a rare stray release is the toolkit's, one per repeat
    // would be ours.
    const size_t downs = Rig->Sink.Count("BeforeKeyDown") - downsBefore;
    const size_t ups = Rig->Sink.Count("BeforeKeyUp") - upsBefore;
    EXPECT_GE(ups, 1u);
    EXPECT_LE(ups * 3, downs + 2) << ups << " releases for " << downs << " presses";

    // Shift over the viewer traps the pointer: it cannot leave the window until Shift goes up.
    MoveTo(ImagePoint(100, 100));
    Operator({"keydown", "shift"});
    ASSERT_TRUE(PumpUntil([&] { return Rig->Sink.Count("MouseTrap:-1") == 1; }));
    MoveTo(FarAway);
    PumpFor(std::chrono::milliseconds(200));
    EXPECT_TRUE(window.contains(LocalPointer())) << LocalPointer().x() << "," << LocalPointer().y();
    Operator({"keyup", "shift"});
    ASSERT_TRUE(PumpUntil([&] { return Rig->Sink.Count("MouseTrap:0") == 1; }));
    MoveTo(FarAway);
    EXPECT_EQ(LocalPointer(), FarAway);

    // Trapped again, then the viewer is hidden: the pointer is free.
    MoveTo(ImagePoint(100, 100));
    Operator({"keydown", "shift"});
    ASSERT_TRUE(PumpUntil([&] { return Rig->Sink.Count("MouseTrap:-1") == 2; }));
    Rig->Viewer->hide();
    EXPECT_EQ(Rig->Sink.Count("MouseTrap:0"), 2u);
    MoveTo(FarAway);
    EXPECT_EQ(LocalPointer(), FarAway);
    Operator({"keyup", "shift"});
}

TEST_F(ViewerOnRealDisplay, AltGrCharactersOfATurkishKeyboardArriveAsTyped) {
    Open(QSize(320, 240), QSize(480, 360));
    const QString typed = Folder.filePath(QStringLiteral("typed.txt"));
    Server->RunClient({"env", "LC_ALL=C.UTF-8", "xterm", "-u8", "-geometry", "80x24+0+0", "-e", "sh", "-c",
                       "stty -echo; exec cat > '" + typed.toStdString() + "'"});
    Server->RunClientAndWait({"xdotool", "search", "--sync", "--onlyvisible", "--class", "xterm"});
    const auto contents = [&typed] {
        QFile file(typed);
        return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
    };
    struct TurkishKeyboard {
        TurkishKeyboard() { RealDisplayEnvironment::Local().RunClientAndWait({"setxkbmap", "tr"}); }
        ~TurkishKeyboard() { RealDisplayEnvironment::Local().RunClientAndWait({"setxkbmap", "us"}); }
    } turkish;
    // The remote pointer over the xterm gives it the keyboard (no window manager there).
    MoveTo(ImagePoint(90, 90));
    PumpFor(std::chrono::milliseconds(300));
    MoveTo(ImagePoint(100, 100));
    ASSERT_TRUE(PumpUntil([&] { return RemotePointer() == "x:100 y:100"; }, ArrivalLimit));

    // AltGr with Q, 7, 8, 9, 0, E on Turkish Q; the remote keyboard is a US one.
    Operator({"keydown", "ISO_Level3_Shift"});
    for (const char* key : {"q", "7", "8", "9", "0", "e"})
        Operator({"key", key});
    Operator({"keyup", "ISO_Level3_Shift"});
    Operator({"key", "Return"});
    const QString expected = QStringLiteral("@{[]}€\n");
    EXPECT_TRUE(PumpUntil([&] { return contents() == expected; }, ArrivalLimit)) << contents().toStdString();
}

TEST_F(ViewerOnRealDisplay, ThePointerOverTheImageIsASmallShapeNotASquare) {
    Open(QSize(320, 240), QSize(480, 360));
    Server->RunClientAndWait({"xsetroot", "-solid", "red"});
    const QPoint pointer = ImagePoint(100, 100);
    // In from outside the image, as a hand moves it.
    MoveTo(pointer - QPoint(5, 5));
    PumpFor(std::chrono::milliseconds(300));
    MoveTo(pointer);
    // The image is red around the pointer once the update arrived; the pointer's 32 x 32 cell (hot
    // spot 2, 2) then shows the small circle, and red around it.
    int covered = 0;
    const bool drawn = PumpUntil(
        [&] {
            const RgbImage screen = RealDisplayEnvironment::Local().ScreenWithPointer();
            if (screen.At(pointer.x() + 40, pointer.y() + 40) != 0xFF0000)
                return false;
            covered = 0;
            for (int y = pointer.y() - 2; y < pointer.y() + 30; ++y)
                for (int x = pointer.x() - 2; x < pointer.x() + 30; ++x)
                    covered += screen.At(x, y) != 0xFF0000;
            return covered <= 25;
        },
        ArrivalLimit);
    EXPECT_TRUE(drawn) << covered << " of the pointer's 1024 pixels hide the image";
}

TEST_F(ViewerOnRealDisplay, AutoScrollBandsLieOnTheViewersOwnScrollBars) {
    Open(QSize(640, 480), QSize(400, 300)); // both scroll bars shown
    Rig->Viewer->put_AutoScrollDelay(0);
    // The right band is on the vertical scroll bar, the bottom band on the horizontal one.
    MoveTo(Global(Rig->Viewer->width() - 3, Rig->Viewer->height() / 2));
    EXPECT_TRUE(
        PumpUntil([&] { return Rig->Int(&CVNCViewer::get_ScrollPosH) > 0; }, std::chrono::seconds(5)));
    MoveTo(Global(Rig->Viewer->width() / 2, Rig->Viewer->height() - 3));
    EXPECT_TRUE(
        PumpUntil([&] { return Rig->Int(&CVNCViewer::get_ScrollPosV) > 0; }, std::chrono::seconds(5)));
}

TEST(DisplayModeOnRealDisplay, TestOnlyChangesNothingAndUnknownOutputsAreUnreadable) {
    EXPECT_EQ(ChangeLocalDisplayMode(LocalWidth, LocalHeight, 0, 0, display_change::TestOnly, -1),
              display_change::Successful);
    EXPECT_EQ(ChangeLocalDisplayMode(LocalWidth, LocalHeight, 0, 0, display_change::TestOnly, 1),
              display_change::Successful);
    EXPECT_EQ(ChangeLocalDisplayMode(1001, 701, 0, 0, display_change::TestOnly, -1), display_change::BadMode);
    EXPECT_EQ(ChangeLocalDisplayMode(LocalWidth, LocalHeight, 0, 0, 0, 9), 0) << "no ninth output";
    EXPECT_EQ(ChangeLocalDisplayMode(LocalWidth, LocalHeight, 16, 0, display_change::TestOnly, -1),
              display_change::BadMode)
        << "the depth of a running X screen is fixed";
    const QString size =
        QString::fromStdString(RealDisplayEnvironment::Local().RunClientAndWait({"xdpyinfo"}));
    EXPECT_TRUE(size.contains(QStringLiteral("dimensions:    1024x768 pixels")));
}

TEST_F(ViewerOnRealDisplay, APointerThatJumpsIntoTheImageMovesTheRemotePointerThere) {
    // A warp (a tablet, a second screen, xdotool) enters the window without a motion of its own.
    Open(QSize(320, 240), QSize(480, 360));
    MoveTo(FarAway);
    PumpFor(std::chrono::milliseconds(200));
    MoveTo(ImagePoint(150, 120));
    EXPECT_TRUE(PumpUntil([&] { return RemotePointer() == "x:150 y:120"; }, ArrivalLimit)) << RemotePointer();
}
