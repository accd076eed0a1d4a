// The full-screen window against a real Xvnc on 127.0.0.1, driven like an operator would: with input
// on, typing and clicking in the window reach the remote display; with input off they do not, while the
// two buttons still deliver Ctrl+Alt+Del and Ctrl+Esc. What arrived is read on the remote side.
#include "ControlLibrary.h"
#include "FullScreenF.h"
#include "RealServers.h"
#include "RemoteInputLog.h"
#include "VNCPanel.h"

#include <QApplication>
#include <QClipboard>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <functional>
#include <future>
#include <memory>

namespace {

constexpr int ConnectLimitMs = 20000; // handshake with a fresh local server, generous for loaded CI
constexpr int ArrivalLimitMs = 10000; // input travels tile thread -> socket -> Xvnc -> xev
const char* const Password = "secret12";

class AnsweringPanel : public TVNCPanel {
public:
    using TVNCPanel::TVNCPanel;
    int Answer = QMessageBox::Cancel;

protected:
    int AskForInputControl() override { return Answer; }
};

class FullScreenOnXvnc : public testing::Test {
protected:
    void SetUp() override {
        // The control library of this build, not one of a program folder.
        const QString library = QStringLiteral(LATIS_DOVA_LIBRARY);
        RegisterControlLibrary(library);
        SetViewerFactoryForTesting(
            [library](QWidget* parent) { return CreateViewerControlFrom(library, parent); });
        Server = std::make_unique<latis_test::XvncServer>(
            latis_test::ServerOptions().WithPassword(Password).WithSize(800, 600));
        Remote = std::make_unique<RemoteInputLog>(Folder.filePath(QStringLiteral("xev.log")));
        Server->RunClient(
            {"sh", "-c",
             "exec xev -root -event keyboard -event button > '" + Remote->FilePath().toStdString() + "'"});
        // xev is listening once a key typed on the display itself shows up in its report.
        ASSERT_TRUE(QTest::qWaitFor(
            [&] {
                Server->RunClientAndWait({"xdotool", "key", "F12"});
                return Remote->Events().contains(QStringLiteral("KeyPress F12"));
            },
            ArrivalLimitMs));
        Server->RunClientAndWait({"xdotool", "mousemove", "5", "5"});

        Panel = std::make_unique<AnsweringPanel>();
        Panel->setGeometry(10, 10, 200, 200);
        Panel->SetTitle(QStringLiteral("Xvnc"));
        Panel->show();
        ASSERT_TRUE(Panel->ViewerReady()) << "libdova.so could not be loaded from " << LATIS_DOVA_LIBRARY;
        Panel->ConnectTo(QStringLiteral("127.0.0.1"), QString::number(Server->Port()),
                         QString::fromLatin1(Password));
        ASSERT_TRUE(QTest::qWaitFor([&] { return Panel->Button()->isEnabled(); }, ConnectLimitMs));
        ASSERT_TRUE(Panel->Viewer()->IsConnected()) << Panel->StatusLabel()->text().toStdString();
    }

    void TearDown() override {
        Panel.reset();
        SetViewerFactoryForTesting(nullptr);
    }

    // Opens the window with the answer; `inside` runs once the window's viewer is dispatching, then the
    // window is closed as with its close box.
    void OpenWith(int answer, const std::function<void(TFullScreenF&, QWidget& view)>& inside) {
        Panel->Answer = answer;
        bool ran = false;
        QTimer::singleShot(0, [&] {
            auto* window = qobject_cast<TFullScreenF*>(QApplication::activeModalWidget());
            if (window && window->Viewer()) {
                const bool dispatching = QTest::qWaitFor(
                    [&] { return window->Viewer()->State() == dova::dovaStateDispatching; }, ConnectLimitMs);
                EXPECT_TRUE(dispatching);
                if (dispatching) {
                    inside(*window, *window->Viewer()->Widget());
                    ran = true;
                }
            }
            if (window)
                window->close();
        });
        Panel->Button()->click();
        ASSERT_TRUE(ran);
    }

    // What an operator does in the window: move, click, type.
    static constexpr QPoint OperatorPoint{200, 150};
    static void OperatorInput(QWidget& view) {
        const QPoint where = OperatorPoint;
        QWidget* target = view.childAt(where) ? view.childAt(where) : &view;
        const QPoint local = target->mapFrom(&view, where);
        target->setFocus();
        QTest::mouseMove(target, local);
        QTest::mouseClick(target, Qt::LeftButton, Qt::NoModifier, local);
        QTest::keyClicks(target, QStringLiteral("qz"));
    }

    bool Arrived(const QString& event) const {
        return QTest::qWaitFor([&] { return Remote->Events().contains(event); }, ArrivalLimitMs);
    }

    // The text on a server's clipboard as its own X clients see it.
    // The user-interface thread keeps running meanwhile: the server may ask the viewer for the text.
    static QString ClipboardOf(latis_test::XDisplayServer& server) {
        auto reading = std::async(std::launch::async, [&server] {
            try {
                return server.RunClientAndWait({"xclip", "-selection", "clipboard", "-o"});
            } catch (const std::exception&) {
                return std::string(); // nobody owns the clipboard
            }
        });
        while (reading.wait_for(std::chrono::milliseconds(10)) != std::future_status::ready)
            QCoreApplication::processEvents();
        return QString::fromStdString(reading.get());
    }
    static void CopyOn(latis_test::XDisplayServer& server, const std::string& text) {
        server.RunClient({"sh", "-c", "printf '" + text + "' | xclip -selection clipboard -quiet"});
    }

    QString RemotePointer() const {
        return QString::fromStdString(Server->RunClientAndWait({"xdotool", "getmouselocation"}))
            .section(QLatin1Char(' '), 0, 1);
    }

    QTemporaryDir Folder;
    std::unique_ptr<latis_test::XvncServer> Server;
    std::unique_ptr<RemoteInputLog> Remote;
    std::unique_ptr<AnsweringPanel> Panel;
};

// Whether key was held down on the remote side just before events[at].
bool IsDown(const QStringList& events, qsizetype at, const QString& key) {
    bool down = false;
    for (qsizetype i = 0; i < at && i < events.size(); ++i) {
        if (events[i] == QStringLiteral("KeyPress ") + key)
            down = true;
        else if (events[i] == QStringLiteral("KeyRelease ") + key)
            down = false;
    }
    return down;
}

// Every key pressed is released again: no modifier may stay down on the remote computer.
void ExpectAllKeysReleased(const QStringList& events) {
    for (const QString& event : events) {
        if (!event.startsWith(QStringLiteral("KeyPress ")) || event.endsWith(QStringLiteral(" F12")))
            continue; // F12 is the readiness probe, typed until xev reported it
        const QString key = event.mid(9);
        EXPECT_EQ(events.count(event), events.count(QStringLiteral("KeyRelease ") + key))
            << key.toStdString();
    }
}

TEST_F(FullScreenOnXvnc, WithInputOnTypingAndClickingReachTheRemoteDisplay) {
    OpenWith(QMessageBox::Yes, [&](TFullScreenF& window, QWidget& view) {
        EXPECT_TRUE(window.ClientPanel()->isEnabled());
        OperatorInput(view);
        EXPECT_TRUE(Arrived(QStringLiteral("ButtonPress 1")));
        EXPECT_TRUE(Arrived(QStringLiteral("ButtonRelease 1")));
        EXPECT_TRUE(Arrived(QStringLiteral("KeyPress q")));
        EXPECT_TRUE(Arrived(QStringLiteral("KeyRelease z")));
        // The remote screen sits where the view puts it (centred when smaller than the window).
        int32_t left = 0, top = 0;
        window.Viewer()->Control()->get_ViewLeft(&left);
        window.Viewer()->Control()->get_ViewTop(&top);
        EXPECT_EQ(RemotePointer(),
                  QStringLiteral("x:%1 y:%2").arg(OperatorPoint.x() - left).arg(OperatorPoint.y() - top));
    });
    ExpectAllKeysReleased(Remote->Events());
}

TEST_F(FullScreenOnXvnc, TheCloseKeysCloseTheWindowAndNeverReachTheRemoteDisplay) {
    qsizetype probes = 0;
    OpenWith(QMessageBox::Yes, [&](TFullScreenF& window, QWidget& view) {
        view.setFocus();
        QTest::keyClick(&view, Qt::Key_A);
        EXPECT_TRUE(Arrived(QStringLiteral("KeyRelease a")));
        probes = Remote->Events().count(QStringLiteral("KeyPress F12"));
        QTest::keyClick(&view, Qt::Key_F12, Qt::ControlModifier | Qt::ShiftModifier);
        EXPECT_TRUE(window.isHidden());
    });
    QTest::qWait(500);
    const QStringList events = Remote->Events();
    SCOPED_TRACE(events.join(QStringLiteral(", ")).toStdString());
    EXPECT_EQ(events.count(QStringLiteral("KeyPress F12")), probes);
    ExpectAllKeysReleased(events);
}

TEST_F(FullScreenOnXvnc, WithInputOffOnlyTheTwoButtonsReachTheRemoteDisplay) {
    OpenWith(QMessageBox::No, [&](TFullScreenF& window, QWidget& view) {
        EXPECT_FALSE(window.ClientPanel()->isEnabled());
        OperatorInput(view);
        // The buttons' keys travel the same queue after the operator's input: once they have arrived,
        // anything the operator's input had sent would have arrived before them.
        window.CtrlAltDelButton()->click();
        EXPECT_TRUE(Arrived(QStringLiteral("KeyPress Delete")));
        EXPECT_TRUE(Arrived(QStringLiteral("KeyRelease Delete")));
        window.StartMenuButton()->click();
        EXPECT_TRUE(Arrived(QStringLiteral("KeyPress Escape")));
        EXPECT_TRUE(Arrived(QStringLiteral("KeyRelease Escape")));
        EXPECT_EQ(RemotePointer(), QStringLiteral("x:5 y:5"));
    });
    const QStringList events = Remote->Events();
    SCOPED_TRACE(events.join(QStringLiteral(", ")).toStdString());
    EXPECT_FALSE(events.contains(QStringLiteral("KeyPress q")));
    EXPECT_FALSE(events.contains(QStringLiteral("KeyPress z")));
    EXPECT_FALSE(events.contains(QStringLiteral("ButtonPress 1")));

    // Ctrl+Alt+Del: Control and Alt are down when Delete goes down, and up again before the next
    // button; Ctrl+Esc: Control is down when Escape goes down.
    const qsizetype del = events.indexOf(QStringLiteral("KeyPress Delete"));
    const qsizetype esc = events.indexOf(QStringLiteral("KeyPress Escape"));
    ASSERT_GE(del, 0);
    ASSERT_GT(esc, del);
    const QString control = QStringLiteral("Control_L");
    const QString alt = QStringLiteral("Alt_L");
    EXPECT_TRUE(IsDown(events, del, control));
    EXPECT_TRUE(IsDown(events, del, alt));
    EXPECT_FALSE(IsDown(events, esc - 1, control)) << "Control left down after CTRL + ALT + DEL";
    EXPECT_FALSE(IsDown(events, esc - 1, alt)) << "Alt left down after CTRL + ALT + DEL";
    EXPECT_TRUE(IsDown(events, esc, control));
    EXPECT_FALSE(IsDown(events, esc, alt));
    ExpectAllKeysReleased(events);
}

TEST_F(FullScreenOnXvnc, TileConnectsAgainAfterTheWindowCloses) {
    OpenWith(QMessageBox::No, [&](TFullScreenF&, QWidget&) {
        EXPECT_FALSE(Panel->Viewer()->IsConnected()); // paused while the window shows the computer
    });
    EXPECT_TRUE(QTest::qWaitFor([&] { return Panel->Viewer()->IsConnected(); }, ConnectLimitMs));
    EXPECT_TRUE(QTest::qWaitFor([&] { return Panel->Viewer()->Widget()->isVisible(); }, ConnectLimitMs));
}

TEST_F(FullScreenOnXvnc, AStoppedServerIsShownAsGoneThenRetryAndCloseConnectAgainOnceItIsBack) {
    const latis_test::ServerOptions options =
        latis_test::ServerOptions(Server->Options()).WithPort(Server->Port());
    OpenWith(QMessageBox::No, [&](TFullScreenF& window, QWidget& view) {
        Server.reset();
        ASSERT_TRUE(QTest::qWaitFor([&] { return window.FailurePanel()->isVisible(); }, ConnectLimitMs));
        EXPECT_EQ(window.FailureLabel()->text(), QStringLiteral("Bağlantı koptu"));
        EXPECT_FALSE(window.FailureDetail()->text().isEmpty());
        EXPECT_TRUE(view.isHidden());
        EXPECT_TRUE(window.isVisible());

        Server = std::make_unique<latis_test::XvncServer>(options);
        window.RetryButton()->click();
        EXPECT_TRUE(QTest::qWaitFor([&] { return window.FailurePanel()->isHidden(); }, ConnectLimitMs))
            << window.FailureLabel()->text().toStdString();
        EXPECT_TRUE(view.isVisible());
    });
    EXPECT_TRUE(QTest::qWaitFor([&] { return Panel->Viewer()->IsConnected(); }, ConnectLimitMs))
        << Panel->StatusLabel()->text().toStdString();
}

TEST_F(FullScreenOnXvnc, ClipboardGoesOnlyWhereTheOperatorWorks) {
    // A second watched computer beside the fixture's one.
    latis_test::XvncServer other(latis_test::ServerOptions().WithSize(640, 480));
    AnsweringPanel otherTile;
    otherTile.setGeometry(220, 10, 200, 200);
    otherTile.show();
    otherTile.ConnectTo(QStringLiteral("127.0.0.1"), QString::number(other.Port()), QString());
    ASSERT_TRUE(QTest::qWaitFor([&] { return otherTile.Viewer()->IsConnected(); }, ConnectLimitMs));
    QClipboard* local = QGuiApplication::clipboard();
    const auto settles = [] { QTest::qWait(1500); }; // long enough for a relay that should not happen

    // Tiles only watch: nothing goes out, nothing comes in.
    local->setText(QStringLiteral("parola-1"));
    CopyOn(other, "uzak-1");
    settles();
    EXPECT_NE(ClipboardOf(*Server), QStringLiteral("parola-1"));
    EXPECT_NE(ClipboardOf(other), QStringLiteral("parola-1"));
    EXPECT_EQ(local->text(), QStringLiteral("parola-1"));

    // Controlling one computer: both ways with that one, still nothing with the other.
    OpenWith(QMessageBox::Yes, [&](TFullScreenF&, QWidget&) {
        CopyOn(*Server, "uzak-2");
        EXPECT_TRUE(
            QTest::qWaitFor([&] { return local->text() == QStringLiteral("uzak-2"); }, ArrivalLimitMs));
        // At once: the operator's copy right after the computer's still goes out.
        local->setText(QStringLiteral("yerel-2"));
        QString remote;
        EXPECT_TRUE(QTest::qWaitFor(
            [&] {
                remote = ClipboardOf(*Server);
                return remote == QStringLiteral("yerel-2");
            },
            ArrivalLimitMs))
            << remote.toStdString();
        EXPECT_NE(ClipboardOf(other), QStringLiteral("yerel-2"));
    });

    // Only watching it full-screen: its copies come in, the operator's do not go out.
    ASSERT_TRUE(QTest::qWaitFor([&] { return Panel->Viewer()->IsConnected(); }, ConnectLimitMs));
    OpenWith(QMessageBox::No, [&](TFullScreenF&, QWidget&) {
        CopyOn(*Server, "uzak-3");
        EXPECT_TRUE(
            QTest::qWaitFor([&] { return local->text() == QStringLiteral("uzak-3"); }, ArrivalLimitMs));
        local->setText(QStringLiteral("parola-3"));
        settles();
        EXPECT_EQ(ClipboardOf(*Server), QStringLiteral("uzak-3"));
    });
    EXPECT_NE(ClipboardOf(other), QStringLiteral("parola-3"));
    EXPECT_EQ(local->text(), QStringLiteral("parola-3"));
}

} // namespace
