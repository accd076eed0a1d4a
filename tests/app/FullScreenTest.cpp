// The full-screen window opened from a connected tile, with stand-in viewers: its parts, the second
// viewer and its connection, the pause of the tile's viewer, the key buttons and the teardown order.
#include "ConnectPacer.h"
#include "ControlLibrary.h"
#include "FakeViewer.h"
#include "FullScreenF.h"
#include "VNCPanel.h"

#include <QApplication>
#include <QFrame>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <functional>

namespace {

// Every call the tests care about, prefixed with the component name of the viewer that got it.
QStringList& Calls() {
    static QStringList calls;
    return calls;
}

class NamedFake : public FakeViewer {
public:
    using FakeViewer::FakeViewer;
    ~NamedFake() override { Calls() << Who() + QStringLiteral(":destroyed"); }

    QString Who() const { return objectName().isEmpty() ? QStringLiteral("?") : objectName(); }
    VNCStatus Connect(const VNCVariant& server, const VNCVariant& port, const VNCVariant& password,
                      const VNCVariant& flags, VNCVariant* retVal) override {
        Calls() << Who() +
                       QStringLiteral(":Connect(%1,%2,%3,%4)")
                           .arg(server.IsMissing() ? QStringLiteral("-") : server.ToText(),
                                port.IsMissing() ? QStringLiteral("-") : QString::number(port.ToInt32()),
                                password.IsMissing() ? QStringLiteral("-") : password.ToText(),
                                flags.IsMissing() ? QStringLiteral("-") : QString::number(flags.ToInt32()));
        return FakeViewer::Connect(server, port, password, flags, retVal);
    }
    VNCStatus Start(VNCVariant* retVal) override {
        Calls() << Who() + QStringLiteral(":Start");
        return FakeViewer::Start(retVal);
    }
    VNCStatus Stop(VNCVariant* retVal) override {
        Calls() << Who() + QStringLiteral(":Stop");
        return FakeViewer::Stop(retVal);
    }
    VNCStatus Disconnect(VNCVariant* retVal) override {
        Calls() << Who() + QStringLiteral(":Disconnect");
        return FakeViewer::Disconnect(retVal);
    }
    VNCStatus SendKeyPress(int32_t key, int32_t repeat, int32_t modifiers, VNCVariant* retVal) override {
        Calls() << Who() + QStringLiteral(":SendKeyPress(%1,%2,%3)").arg(key).arg(repeat).arg(modifiers);
        return FakeViewer::SendKeyPress(key, repeat, modifiers, retVal);
    }
    VNCStatus SendKeyUp(int32_t key, int32_t modifiers, VNCVariant* retVal) override {
        Calls() << Who() + QStringLiteral(":SendKeyUp(%1,%2)").arg(key).arg(modifiers);
        return FakeViewer::SendKeyUp(key, modifiers, retVal);
    }
};

class AnsweringPanel : public TVNCPanel {
public:
    using TVNCPanel::TVNCPanel;
    int Answer = QMessageBox::Cancel;

protected:
    int AskForInputControl() override { return Answer; }
};

class FullScreen : public testing::Test {
protected:
    void SetUp() override {
        Calls().clear();
        // The fake is driven step by step: every attempt starts at once.
        TConnectPacer::Instance().SetGap(std::chrono::milliseconds(0));
        SetViewerFactoryForTesting([this](QWidget* parent) -> dova::IVNCViewer* {
            if (FailFullScreenViewer && !FakeViewer::Created().empty())
                return nullptr;
            return new NamedFake(parent);
        });
        Panel = std::make_unique<AnsweringPanel>();
        Panel->setGeometry(10, 10, 160, 160);
        Panel->SetTitle(QStringLiteral("Muhasebe"));
        Panel->show();
        TileViewer = static_cast<NamedFake*>(FakeViewer::Created().back());
        Panel->ConnectTo(QStringLiteral("127.0.0.1"), QStringLiteral("5901"), QStringLiteral("gizli"));
        TileViewer->RaiseConnected(1024, 768);
        ASSERT_TRUE(Panel->Button()->isEnabled());
        Calls().clear();
    }
    void TearDown() override {
        Panel.reset();
        SetViewerFactoryForTesting(nullptr);
        TConnectPacer::Instance().SetGap(TConnectPacer::DefaultGap);
    }

    // Presses the tile's button with the given answer; `inside` runs while the window is open, then the
    // window is closed as with its close box.
    void OpenWith(int answer, const std::function<void(TFullScreenF&)>& inside) {
        Panel->Answer = answer;
        bool ran = false;
        QTimer::singleShot(0, [&] {
            auto* window = qobject_cast<TFullScreenF*>(QApplication::activeModalWidget());
            ASSERT_NE(window, nullptr);
            inside(*window);
            ran = true;
            window->close();
        });
        Panel->Button()->click();
        EXPECT_TRUE(ran);
    }

    NamedFake* WindowViewer(TFullScreenF& window) const {
        return window.Viewer() ? static_cast<NamedFake*>(window.Viewer()->Control()) : nullptr;
    }

    std::unique_ptr<AnsweringPanel> Panel;
    NamedFake* TileViewer = nullptr;
    bool FailFullScreenViewer = false;
};

TEST_F(FullScreen, WindowTakesTheWorkAreaAndTheComputerNameAndConnectsTheSecondViewer) {
    OpenWith(QMessageBox::Yes, [&](TFullScreenF& window) {
        const QRect workArea = QGuiApplication::primaryScreen()->availableGeometry();
        // The computer's name, and whether the operator controls it or only watches.
        EXPECT_EQ(window.windowTitle(), QStringLiteral("Muhasebe - Kontrol modu"));
        EXPECT_TRUE(window.ModeLabel()->text().startsWith(QStringLiteral("Kontrol modu")));
        // The whole frame, title bar and borders included, covers the work area.
        EXPECT_EQ(window.frameGeometry(), workArea);
        EXPECT_EQ(window.TopBar()->height(), 30);
        EXPECT_EQ(window.CtrlAltDelButton()->geometry(), QRect(2, 2, 100, 26));
        EXPECT_EQ(window.StartMenuButton()->geometry().left(), 104);
        EXPECT_EQ(window.CtrlAltDelButton()->text(), QStringLiteral("CTRL + ALT + DEL"));
        EXPECT_EQ(window.StartMenuButton()->text(), QStringLiteral("BAŞLAT MENU"));
        EXPECT_TRUE(window.ClientPanel()->isEnabled());
        QTest::keyClick(&window, Qt::Key_Escape);
        EXPECT_TRUE(window.isVisible()); // only the close box ends the window

        NamedFake* viewer = WindowViewer(window);
        ASSERT_NE(viewer, nullptr);
        EXPECT_EQ(window.Viewer()->Name(), QStringLiteral("FULLFORMDOVA"));
        EXPECT_EQ(viewer->parentWidget(), window.ClientPanel());
        // Second viewer connected with the tile's arguments, then the tile's viewer paused.
        EXPECT_EQ(Calls(), (QStringList{QStringLiteral("FULLFORMDOVA:Connect(127.0.0.1,5901,gizli,-)"),
                                        QStringLiteral("DOVA:Stop")}));
        EXPECT_FALSE(TileViewer->isVisible());
        EXPECT_EQ(Panel->StatusLabel()->text(), QString());
        // Only the window's viewer has settings made: nothing but the connection values.
        EXPECT_EQ(viewer->StretchValue, 0);

        // Its Connected event starts it and leaves the tile's look alone.
        Calls().clear();
        viewer->RaiseConnected(1280, 800);
        EXPECT_EQ(Calls(), QStringList{QStringLiteral("FULLFORMDOVA:Start")});
        EXPECT_FALSE(TileViewer->isVisible());
        EXPECT_EQ(Panel->StatusLabel()->text(), QString());
        Calls().clear();
    });
    // After closing: the tile's viewer connects again with what it holds, then the window's viewer is
    // disconnected and destroyed.
    ASSERT_GE(Calls().size(), 3);
    EXPECT_EQ(Calls().mid(0, 3),
              (QStringList{QStringLiteral("DOVA:Connect(-,-,-,-)"), QStringLiteral("FULLFORMDOVA:Disconnect"),
                           QStringLiteral("FULLFORMDOVA:destroyed")}));
    EXPECT_EQ(FakeViewer::Created().size(), 1u);
}

TEST_F(FullScreen, ALostConnectionIsShownOverTheViewUntilTheRetryButtonConnectsAgain) {
    OpenWith(QMessageBox::No, [&](TFullScreenF& window) {
        NamedFake* viewer = WindowViewer(window);
        ASSERT_NE(viewer, nullptr);
        viewer->RaiseConnected(1280, 800);
        EXPECT_TRUE(window.FailurePanel()->isHidden());
        EXPECT_TRUE(viewer->isVisible());

        viewer->RaiseError(QStringLiteral("Connection closed by the server"), dova::dovaErrorSocketClosed);
        EXPECT_TRUE(window.isVisible());
        EXPECT_TRUE(viewer->isHidden()); // the last picture must not pass for a live one
        EXPECT_TRUE(window.FailurePanel()->isVisible());
        EXPECT_EQ(window.FailurePanel()->geometry(), window.ClientPanel()->geometry());
        EXPECT_EQ(window.FailureLabel()->text(), QStringLiteral("Bağlantı koptu"));
        EXPECT_EQ(window.FailureDetail()->text(), QStringLiteral("Connection closed by the server"));
        // View only disables the client panel, not the way back.
        EXPECT_TRUE(window.RetryButton()->isEnabled());

        Calls().clear();
        window.RetryButton()->click();
        EXPECT_EQ(Calls(), QStringList{QStringLiteral("FULLFORMDOVA:Connect(127.0.0.1,5901,gizli,-)")});
        EXPECT_EQ(window.FailureLabel()->text(), QStringLiteral("Bağlanıyor..."));
        EXPECT_EQ(window.FailureDetail()->text(), QString());
        EXPECT_FALSE(window.RetryButton()->isEnabled());
        viewer->RaiseError(QStringLiteral("Connection refused"), dova::dovaErrorSocketConnect,
                           dova::VNCVariant(int32_t(dova::dovaCauseRefused)));
        EXPECT_EQ(window.FailureLabel()->text(), QStringLiteral("Bağlantı reddedildi"));
        EXPECT_TRUE(window.RetryButton()->isEnabled());

        window.RetryButton()->click();
        viewer->RaiseConnected(1280, 800);
        EXPECT_TRUE(window.FailurePanel()->isHidden());
        EXPECT_TRUE(viewer->isVisible());
        EXPECT_TRUE(TileViewer->isHidden()); // the tile stays paused while the window is open
        Calls().clear();
    });
    // Closing afterwards is the usual way back: the tile connects, the window's viewer goes.
    EXPECT_EQ(Calls().mid(0, 3),
              (QStringList{QStringLiteral("DOVA:Connect(-,-,-,-)"), QStringLiteral("FULLFORMDOVA:Disconnect"),
                           QStringLiteral("FULLFORMDOVA:destroyed")}));
}

TEST_F(FullScreen, ButtonsSendTheirKeyPairsAlsoWithInputOff) {
    OpenWith(QMessageBox::No, [&](TFullScreenF& window) {
        EXPECT_FALSE(window.ClientPanel()->isEnabled());
        EXPECT_EQ(window.windowTitle(), QStringLiteral("Muhasebe - Yalnız izleme"));
        EXPECT_TRUE(window.ModeLabel()->text().startsWith(QStringLiteral("Yalnız izleme")));
        ASSERT_NE(window.Viewer(), nullptr);
        EXPECT_FALSE(window.Viewer()->Widget()->isEnabled());
        EXPECT_TRUE(window.TopBar()->isEnabled());
        Calls().clear();
        window.CtrlAltDelButton()->click();
        window.StartMenuButton()->click();
        // Exactly the two presses of each pair, then a release that lets the pair's modifiers go.
        EXPECT_EQ(Calls(), (QStringList{QStringLiteral("FULLFORMDOVA:SendKeyPress(46,1,6)"),
                                        QStringLiteral("FULLFORMDOVA:SendKeyPress(0,1,6)"),
                                        QStringLiteral("FULLFORMDOVA:SendKeyUp(0,0)"),
                                        QStringLiteral("FULLFORMDOVA:SendKeyPress(27,1,2)"),
                                        QStringLiteral("FULLFORMDOVA:SendKeyPress(0,1,2)"),
                                        QStringLiteral("FULLFORMDOVA:SendKeyUp(0,0)")}));
    });
}

TEST_F(FullScreen, ALargerScreenIsFittedIntoTheWindowOnRequestAndTheChoiceIsKeptForTheNextWindow) {
    TVNCPanel::SetFullScreenFit(false);
    OpenWith(QMessageBox::Yes, [&](TFullScreenF& window) {
        NamedFake* viewer = WindowViewer(window);
        ASSERT_NE(viewer, nullptr);
        viewer->RaiseConnected(4000, 3000);
        EXPECT_EQ(viewer->StretchValue, 0); // 1:1 unless asked
        EXPECT_FALSE(window.FitButton()->isChecked());
        FakeViewer::Log().clear();
        window.FitButton()->click();
        EXPECT_NE(viewer->StretchValue, 0);
        const QSize panel = window.ClientPanel()->size();
        // One ratio for both axes: the side that fits less decides.
        const bool byWidth = qint64(panel.width()) * 3000 <= qint64(panel.height()) * 4000;
        const QString ratio = byWidth ? QStringLiteral("%1/4000").arg(panel.width())
                                      : QStringLiteral("%1/3000").arg(panel.height());
        EXPECT_TRUE(FakeViewer::Log().contains(QStringLiteral("StretchX=") + ratio)) << ratio.toStdString();
        EXPECT_EQ(viewer->RatioY.X, viewer->RatioX.X);
        EXPECT_EQ(viewer->RatioY.Y, viewer->RatioX.Y);

        // The remote screen changes resolution: the picture is fitted again.
        viewer->ChangeFrameSize(8000, 1000);
        EXPECT_TRUE(QTest::qWaitFor(
            [&] { return FakeViewer::Log().contains(QStringLiteral("StretchX=%1/8000").arg(panel.width())); },
            3000));
    });
    EXPECT_TRUE(TVNCPanel::FullScreenFit());
    TileViewer->RaiseConnected(800, 600);
    OpenWith(QMessageBox::Yes, [&](TFullScreenF& window) {
        EXPECT_TRUE(window.FitButton()->isChecked());
        NamedFake* viewer = WindowViewer(window);
        ASSERT_NE(viewer, nullptr);
        viewer->RaiseConnected(320, 200); // fits already: stays 1:1
        EXPECT_EQ(viewer->StretchValue, 0);
        window.FitButton()->click();
    });
    EXPECT_FALSE(TVNCPanel::FullScreenFit());
}

TEST_F(FullScreen, PartsAreDestroyedViewerFirstWindowLast) {
    QStringList order;
    OpenWith(QMessageBox::Yes, [&](TFullScreenF& window) {
        const std::pair<QObject*, QString> parts[] = {
            {window.Viewer()->Widget(), QStringLiteral("viewer")},
            {window.ClientPanel(), QStringLiteral("client panel")},
            {window.CtrlAltDelButton(), QStringLiteral("ctrl+alt+del")},
            {window.StartMenuButton(), QStringLiteral("start menu")},
            {window.TopBar(), QStringLiteral("top bar")},
            {&window, QStringLiteral("window")}};
        for (const auto& [object, name] : parts)
            QObject::connect(object, &QObject::destroyed, [&order, name = name] { order << name; });
    });
    EXPECT_EQ(order, (QStringList{QStringLiteral("viewer"), QStringLiteral("client panel"),
                                  QStringLiteral("ctrl+alt+del"), QStringLiteral("start menu"),
                                  QStringLiteral("top bar"), QStringLiteral("window")}));
}

TEST_F(FullScreen, CancelOpensNothingAndKeepsTheTileRunning) {
    Panel->Answer = QMessageBox::Cancel;
    Panel->Button()->click();
    EXPECT_TRUE(Calls().isEmpty());
    EXPECT_EQ(FakeViewer::Created().size(), 1u);
    EXPECT_TRUE(TileViewer->isVisible());
}

TEST_F(FullScreen, WithoutAViewerTheWindowStillOpensAndItsButtonsDoNothing) {
    FailFullScreenViewer = true;
    OpenWith(QMessageBox::Yes, [&](TFullScreenF& window) {
        EXPECT_EQ(window.Viewer(), nullptr);
        Calls().clear();
        window.CtrlAltDelButton()->click();
        window.StartMenuButton()->click();
        EXPECT_TRUE(Calls().isEmpty());
    });
    EXPECT_EQ(Calls().value(0), QStringLiteral("DOVA:Connect(-,-,-,-)")); // the tile still resumes
}

TEST_F(FullScreen, KeyButtonsOutsideAFullScreenWindowFindNoViewer) {
    QWidget window;
    QFrame bar(&window);
    QPushButton button(&bar);
    EXPECT_EQ(TFullScreenF::FindViewer(&button), nullptr);
    EXPECT_EQ(TFullScreenF::FindViewer(nullptr), nullptr);
    Panel->SendCtrlAltDelKeys(&button);
    EXPECT_TRUE(Calls().isEmpty());
}

} // namespace
