#include "VNCPanel.h"
#include "ConnectPacer.h"
#include "ControlLibrary.h"
#include "FakeViewer.h"

#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>

#include <gtest/gtest.h>

namespace {

// A tile whose full-screen question is answered by the test.
class TestPanel : public TVNCPanel {
public:
    using TVNCPanel::TVNCPanel;
    int Answer = QMessageBox::Cancel;
    int Asked = 0;

    CertificateAnswer CertificateReply = CertificateAnswer::Cancel;
    int CertificateAsked = 0;

protected:
    int AskForInputControl() override {
        ++Asked;
        return Answer;
    }
    CertificateAnswer AskAboutCertificate(const QString&) override {
        ++CertificateAsked;
        return CertificateReply;
    }
};

class Tile : public ::testing::Test {
protected:
    void SetUp() override {
        SetViewerFactoryForTesting(
            [](QWidget* parent) -> dova::IVNCViewer* { return new FakeViewer(parent); });
        FakeViewer::Log().clear();
        // The fake is driven step by step: every attempt starts at once.
        TConnectPacer::Instance().SetGap(std::chrono::milliseconds(0));
        Panel = std::make_unique<TestPanel>();
        Panel->setGeometry(10, 10, 160, 160);
        Panel->show(); // a hidden widget gets its resize events only when shown
        Fake = FakeViewer::Created().back();
    }
    void TearDown() override {
        Panel.reset();
        SetViewerFactoryForTesting(nullptr);
        TConnectPacer::Instance().SetGap(TConnectPacer::DefaultGap);
    }

    QStringList LogFrom(const QString& first) const {
        const QStringList& log = FakeViewer::Log();
        const qsizetype i = log.indexOf(first);
        return i < 0 ? QStringList() : log.mid(i);
    }

    std::unique_ptr<TestPanel> Panel;
    FakeViewer* Fake = nullptr;
};

} // namespace

TEST_F(Tile, ViewerSettingsAreMadeInOrder) {
    ASSERT_TRUE(Panel->ViewerReady());
    const QStringList log = FakeViewer::Log();
    ASSERT_GE(log.size(), 5);
    EXPECT_EQ(log.mid(0, 5),
              (QStringList{QStringLiteral("Stretch=-1"), QStringLiteral("BitsPerPixel=16"),
                           QStringLiteral("StretchX=160/1024"), QStringLiteral("FrameUpdateDelay=2000"),
                           QStringLiteral("Scrollbars=0")}));
    EXPECT_EQ(Panel->Viewer()->Name(), QStringLiteral("DOVA"));
    EXPECT_EQ(Fake->geometry().topLeft(), QPoint(-500, -500));
    EXPECT_FALSE(Panel->ViewArea()->isEnabled()); // display only
}

TEST_F(Tile, ConnectingLookAndGeometry) {
    EXPECT_EQ(Panel->StatusLabel()->text(), QStringLiteral("Bağlanıyor..."));
    EXPECT_EQ(Panel->Button()->text(), QStringLiteral("Tam Ekran"));
    EXPECT_FALSE(Panel->Button()->isEnabled());
    EXPECT_EQ(Panel->ViewArea()->geometry(), QRect(0, 20, 160, 110));
    EXPECT_EQ(Panel->Button()->geometry().top(), 133);
    EXPECT_EQ(Panel->Button()->width(), 150);
}

TEST_F(Tile, ResizeSetsBothRatiosFromTheViewAreaWidth) {
    Panel->resize(150, 150);
    EXPECT_EQ(Fake->RatioX.X, 150);
    EXPECT_EQ(Fake->RatioX.Y, 1024);
    EXPECT_EQ(Fake->RatioY.X, 150);
    EXPECT_EQ(Fake->RatioY.Y, 1024);
    EXPECT_EQ(Panel->ViewArea()->height(), 100);
}

TEST_F(Tile, PortTextIsPassedOnlyWhenItIsAWholeNumber) {
    Panel->ConnectTo(QStringLiteral("127.0.0.1"), QStringLiteral("5901"), QString());
    EXPECT_EQ(FakeViewer::Log().last(), QStringLiteral("Connect(127.0.0.1,5901,,-)"));
    auto other = std::make_unique<TestPanel>();
    other->ConnectTo(QStringLiteral("host"), QStringLiteral("abc"), QStringLiteral("pw"));
    EXPECT_EQ(FakeViewer::Log().last(), QStringLiteral("Connect(host,-,pw,-)"));
    EXPECT_EQ(FakeViewer::Created().back()->Port, 5900);
}

// A record the editor's check would refuse may still be saved by its close (no address), or come from
// the file (a port out of range): the tile says what is missing instead of connecting for ever.
TEST_F(Tile, ARecordThatCannotBeConnectedShowsWhatIsMissing) {
    FakeViewer::Log().clear();
    Panel->ConnectTo(QString(), QStringLiteral("5900"), QString());
    EXPECT_TRUE(Panel->StatusLabel()->text().startsWith(QStringLiteral("IP adresi yok\n")));
    EXPECT_FALSE(Panel->Button()->isEnabled());
    Panel->SetAutoReconnect(true);
    Panel->ButtonClick();
    EXPECT_FALSE(Panel->RetryPending());
    EXPECT_TRUE(Panel->StatusLabel()->text().startsWith(QStringLiteral("IP adresi yok\n")));

    Panel->ConnectTo(QStringLiteral("h"), QStringLiteral("70000"), QString());
    EXPECT_TRUE(Panel->StatusLabel()->text().startsWith(QStringLiteral("Port geçersiz\n")));
    EXPECT_TRUE(FakeViewer::Log().filter(QStringLiteral("Connect(")).isEmpty());
}

TEST_F(Tile, EmptyArgumentsKeepTheStoredValues) {
    Panel->ConnectTo(QStringLiteral("h1"), QStringLiteral("5902"), QStringLiteral("s1"));
    Panel->ConnectTo(QString(), QString(), QString());
    EXPECT_EQ(FakeViewer::Log().last(), QStringLiteral("Connect(h1,5902,s1,-)"));
}

TEST_F(Tile, ConnectedShowsTheViewerAndFitsTheWholeRemoteScreen) {
    Panel->ConnectTo(QStringLiteral("h"), QStringLiteral("5900"), QStringLiteral("p"));
    Fake->RaiseConnected(1920, 1080);
    EXPECT_TRUE(FakeViewer::Log().contains(QStringLiteral("Start")));
    EXPECT_TRUE(Panel->StatusLabel()->isHidden());
    EXPECT_EQ(Fake->geometry(), QRect(5, 5, 150, 100));
    EXPECT_TRUE(Panel->Button()->isEnabled());
    // 160/1024 would show only the left 960 pixels of a 1920-wide screen in a 150-pixel window.
    EXPECT_EQ(Fake->RatioX.X, 150);
    EXPECT_EQ(Fake->RatioX.Y, 1920);
    EXPECT_EQ(Fake->RatioY.X, Fake->RatioX.X);
    EXPECT_EQ(Fake->RatioY.Y, Fake->RatioX.Y);
    EXPECT_LE(1080 * Fake->RatioY.X / Fake->RatioY.Y, 100);
}

TEST_F(Tile, FourByThreeScreenKeepsItsBottomRowsInASquareTile) {
    // 160/1024 would draw 768 rows as 120 in a window 100 rows high, cutting off the task bar.
    Panel->ConnectTo(QStringLiteral("h"), QString(), QString());
    Fake->RaiseConnected(1024, 768);
    EXPECT_EQ(Fake->RatioX.X, 100);
    EXPECT_EQ(Fake->RatioX.Y, 768);
    EXPECT_EQ(Fake->RatioY.X, 100);
    EXPECT_EQ(Fake->RatioY.Y, 768);
    // In a larger tile the viewer window's width is the limit.
    Panel->resize(300, 300);
    EXPECT_EQ(Fake->RatioX.X, 290);
    EXPECT_EQ(Fake->RatioX.Y, 1024);
    EXPECT_EQ(Fake->RatioY.X, 290);
}

TEST_F(Tile, SmallRemoteScreensKeepTheWidthOver1024Ratio) {
    Panel->ConnectTo(QStringLiteral("h"), QString(), QString());
    Fake->RaiseConnected(320, 200);
    EXPECT_EQ(Fake->RatioX.X, 160);
    EXPECT_EQ(Fake->RatioX.Y, 1024);
}

TEST_F(Tile, ErrorShowsTheMessageAndReconnectButton) {
    Panel->ConnectTo(QStringLiteral("h"), QString(), QString());
    Fake->RaiseError(QStringLiteral("Failed to connect to server/host"));
    EXPECT_EQ(Panel->StatusLabel()->text(),
              QStringLiteral("Bilgisayara ulaşılamıyor\nFailed to connect to server/host"));
    EXPECT_FALSE(Panel->RetryPending()); // no automatic retry unless asked for
    EXPECT_FALSE(Panel->StatusLabel()->isHidden());
    EXPECT_TRUE(Fake->isHidden());
    EXPECT_EQ(Fake->pos(), QPoint(-500, -500));
    EXPECT_EQ(Panel->Button()->text(), QStringLiteral("Yeniden Bağlan"));
    EXPECT_TRUE(Panel->Button()->isEnabled());

    FakeViewer::Log().clear();
    Panel->Button()->click();
    EXPECT_EQ(Panel->StatusLabel()->text(), QStringLiteral("Bağlanıyor..."));
    EXPECT_FALSE(Panel->Button()->isEnabled());
    EXPECT_EQ(FakeViewer::Log(), QStringList{QStringLiteral("Connect(h,-,,-)")}); // no disconnect first
    EXPECT_EQ(Panel->Asked, 0);
}

// A wall of tiles opens no dialogs by itself: the tile says what it needs and asks on its button.
TEST_F(Tile, UnknownCertificateWaitsForTheOperatorAndChangedOneIsOnlyShown) {
    const QString fingerprint = QStringLiteral("SHA256:") + QString(64, u'a');
    Fake->FingerprintValue = fingerprint;
    Panel->SetAutoReconnect(true);
    Panel->ConnectTo(QStringLiteral("h"), QString(), QString());
    Fake->RaiseError(QStringLiteral("The server's certificate is not known"),
                     dova::dovaErrorCertificateUnknown);
    EXPECT_EQ(Panel->StatusLabel()->text(), QStringLiteral("Sertifika onayı gerekli\n") + fingerprint);
    EXPECT_EQ(Panel->Button()->text(), QStringLiteral("Sertifikayı Onayla"));
    EXPECT_FALSE(Panel->RetryPending()) << "nothing retries past an unanswered certificate";
    EXPECT_EQ(Panel->CertificateAsked, 0);

    FakeViewer::Log().clear();
    Panel->Button()->click(); // cancelled: nothing happens
    EXPECT_EQ(Panel->CertificateAsked, 1);
    EXPECT_TRUE(FakeViewer::Log().isEmpty());
    Panel->CertificateReply = TestPanel::CertificateAnswer::Remember;
    Panel->Button()->click();
    EXPECT_EQ(FakeViewer::Log(), (QStringList{QStringLiteral("TrustCertificate %1 -1").arg(fingerprint),
                                              QStringLiteral("Connect(h,-,,-)")}));
    Fake->RaiseConnected(800, 600);
    EXPECT_EQ(Panel->Button()->text(), QStringLiteral("Tam Ekran"));

    Fake->RaiseError(QStringLiteral("WARNING: CHANGED"), dova::dovaErrorCertificateChanged);
    EXPECT_TRUE(
        Panel->StatusLabel()->text().startsWith(QStringLiteral("UYARI: SUNUCUNUN SERTİFİKASI DEĞİŞMİŞ!")));
    EXPECT_EQ(Panel->Button()->text(), QStringLiteral("Yeniden Bağlan")) << "never a one-click accept";
    EXPECT_FALSE(Panel->CertificatePending());
}

TEST_F(Tile, ConnectedTileShowsWhetherItIsEncrypted) {
    Panel->ConnectTo(QStringLiteral("h"), QString(), QString());
    Fake->EncryptedValue = dova::VNC_TRUE;
    Fake->VerifiedValue = dova::VNC_TRUE;
    Fake->RaiseConnected(800, 600);
    EXPECT_FALSE(Panel->SecurityBadge()->isHidden());
    EXPECT_EQ(Panel->SecurityBadge()->text(), QStringLiteral("Şifreli ✓"));
    EXPECT_TRUE(Panel->TitlePanel()->toolTip().startsWith(
        QStringLiteral("Şifreli bağlantı, sunucunun kimliği doğrulandı")));
    Fake->RaiseError(QStringLiteral("Connection closed."), dova::dovaErrorSocketClosed);
    EXPECT_TRUE(Panel->SecurityBadge()->isHidden());
    Fake->EncryptedValue = dova::VNC_FALSE;
    Fake->VerifiedValue = dova::VNC_FALSE;
    Fake->RaiseConnected(800, 600);
    EXPECT_TRUE(Panel->SecurityBadge()->isHidden());
    EXPECT_TRUE(Panel->TitlePanel()->toolTip().startsWith(QStringLiteral("Şifresiz bağlantı")));
}

TEST_F(Tile, FullScreenViewerConnectedDoesNotChangeTheTile) {
    auto full = std::make_unique<TVNCViewer>(new FakeViewer(nullptr));
    full->SetName(QStringLiteral("FULLFORMDOVA"));
    static_cast<FakeViewer*>(full->Control())->RaiseConnected(800, 600);
    Panel->ViewerConnected(full.get());
    EXPECT_EQ(Panel->StatusLabel()->text(), QStringLiteral("Bağlanıyor..."));
    EXPECT_FALSE(Panel->StatusLabel()->isHidden());
    EXPECT_FALSE(Panel->Button()->isEnabled());
}

TEST_F(Tile, ButtonOfAConnectedTileAsksAndCancelChangesNothing) {
    Panel->ConnectTo(QStringLiteral("h"), QString(), QString());
    Fake->RaiseConnected(800, 600);
    FakeViewer::Log().clear();
    Panel->Answer = QMessageBox::Cancel;
    Panel->Button()->click();
    EXPECT_EQ(Panel->Asked, 1);
    EXPECT_TRUE(FakeViewer::Log().isEmpty());
    EXPECT_TRUE(Panel->Viewer()->IsConnected());
}

TEST_F(Tile, DestroyingAConnectedTileStopsAndDisconnectsBeforeReleasing) {
    Panel->ConnectTo(QStringLiteral("h"), QString(), QString());
    Fake->RaiseConnected(800, 600);
    FakeViewer::Log().clear();
    Panel.reset();
    EXPECT_EQ(FakeViewer::Log(), (QStringList{QStringLiteral("Stop"), QStringLiteral("Disconnect"),
                                              QStringLiteral("destroyed")}));
}

TEST_F(Tile, FailedTileNamesTheReasonFromTheErrorNumberAndCause) {
    using namespace dova;
    const struct {
        int32_t Number;
        VNCVariant Cause;
        QString Line;
    } cases[] = {
        {dovaErrorSocketConnect, VNCVariant(int32_t(dovaCauseRefused)),
         QStringLiteral("Bağlantı reddedildi")},
        {dovaErrorSocketConnect, VNCVariant(int32_t(dovaCauseUnreachable)),
         QStringLiteral("Bilgisayara ulaşılamıyor")},
        {dovaErrorSocketRead, VNCVariant(int32_t(dovaCauseUnreachable)),
         QStringLiteral("Bilgisayara ulaşılamıyor")},
        {dovaErrorSocketRead, VNCVariant(), QStringLiteral("Bağlantı koptu")},
        {dovaErrorSocketClosed, VNCVariant(), QStringLiteral("Bağlantı koptu")},
        {dovaErrorHandshakeAuth, VNCVariant(), QStringLiteral("Şifre hatalı")},
        {dovaErrorHandshakeTimeout, VNCVariant(int32_t(dovaCauseSilent)),
         QStringLiteral("Sunucu yanıt vermiyor")},
        {dovaErrorSocketNoAddress, VNCVariant(), QStringLiteral("Bilgisayarın adresi bulunamadı")},
        {dovaErrorProtocolSync, VNCVariant(), QStringLiteral("Sunucudan anlaşılmayan veri geldi")},
    };
    Panel->ConnectTo(QStringLiteral("h"), QString(), QString());
    for (const auto& c : cases) {
        Fake->RaiseError(QStringLiteral("english text"), c.Number, c.Cause);
        EXPECT_EQ(Panel->StatusLabel()->text(), c.Line + QStringLiteral("\nenglish text")) << c.Number;
    }
}

TEST_F(Tile, AutoReconnectCountsDownRetriesWithGrowingPausesAndTheButtonStillRetriesAtOnce) {
    using namespace std::chrono;
    Panel->SetAutoReconnect(true);
    Panel->ConnectTo(QStringLiteral("h"), QString(), QString());
    const auto pauseAfterError = [&] {
        const auto before = steady_clock::now();
        Fake->RaiseError(QStringLiteral("Connection closed."), dova::dovaErrorSocketClosed);
        EXPECT_TRUE(Panel->RetryPending());
        EXPECT_TRUE(Panel->Button()->isEnabled());
        return duration_cast<milliseconds>(Panel->RetryDue() - before).count();
    };
    const auto first = pauseAfterError();
    EXPECT_GE(first, 4000);
    EXPECT_LE(first, 6100);
    EXPECT_TRUE(
        Panel->StatusLabel()->text().startsWith(QStringLiteral("Bağlantı koptu\nConnection closed.\n")));
    EXPECT_TRUE(Panel->StatusLabel()->text().contains(QStringLiteral("Yeniden deneme: ")));

    Panel->RetryTick(Panel->RetryDue() - seconds(3)); // still waiting: only the countdown moves
    EXPECT_TRUE(Panel->StatusLabel()->text().endsWith(QStringLiteral("Yeniden deneme: 3 sn")));
    FakeViewer::Log().clear();
    Panel->RetryTick(Panel->RetryDue());
    EXPECT_EQ(FakeViewer::Log(), QStringList{QStringLiteral("Connect(h,-,,-)")});
    EXPECT_EQ(Panel->StatusLabel()->text(), QStringLiteral("Bağlanıyor..."));
    EXPECT_FALSE(Panel->Button()->isEnabled());
    EXPECT_FALSE(Panel->RetryPending());

    const auto second = pauseAfterError();
    EXPECT_GE(second, 8000);
    EXPECT_LE(second, 12100);
    for (int i = 0; i < 6; ++i)
        pauseAfterError();
    EXPECT_LE(pauseAfterError(), 144100); // two minutes at most, spread by a fifth

    FakeViewer::Log().clear();
    Panel->Button()->click(); // at once, without waiting for the countdown
    EXPECT_EQ(FakeViewer::Log(), QStringList{QStringLiteral("Connect(h,-,,-)")});
    EXPECT_FALSE(Panel->RetryPending());

    Fake->RaiseConnected(800, 600); // a connection that worked starts the pauses again
    EXPECT_LE(pauseAfterError(), 6100);

    // A refusal is not the network's: it waits for the operator.
    for (const int refusal : {int(dova::dovaErrorHandshakeAuth), int(dova::dovaErrorHandshake)}) {
        Panel->Button()->click();
        Fake->RaiseError(QStringLiteral("Authentication failed."), refusal);
        EXPECT_FALSE(Panel->RetryPending()) << refusal;
        EXPECT_TRUE(Panel->Button()->isEnabled());
    }
}

TEST(TileWithoutViewer, StaysConnectingAndIgnoresConnectTo) {
    SetViewerFactoryForTesting([](QWidget*) -> dova::IVNCViewer* { return nullptr; });
    TVNCPanel panel;
    panel.ConnectTo(QStringLiteral("h"), QStringLiteral("1"), QStringLiteral("p"));
    panel.resize(300, 300);
    EXPECT_FALSE(panel.ViewerReady());
    EXPECT_EQ(panel.Viewer(), nullptr);
    // Says why instead of looking as if it were connecting for ever.
    EXPECT_EQ(panel.StatusLabel()->text(),
              QStringLiteral("Görüntüleme bileşeni (libdova.so) program klasöründe yok"));
    EXPECT_FALSE(panel.Button()->isEnabled());
    SetViewerFactoryForTesting(nullptr);
}

TEST(TilePacing, AttemptsTogetherAreStaggeredAndEveryTileStillConnects) {
    SetViewerFactoryForTesting([](QWidget* parent) -> dova::IVNCViewer* { return new FakeViewer(parent); });
    // A wide gap, so a slow machine (sanitizers) cannot let a later tile's turn come while the five
    // are still being made.
    TConnectPacer& pacer = TConnectPacer::Instance();
    const auto gap = pacer.Gap();
    pacer.SetGap(std::chrono::milliseconds(250));
    QTest::qWait(2 * 250); // nothing started just before
    FakeViewer::Log().clear();
    const auto connects = [] { return FakeViewer::Log().filter(QStringLiteral("Connect(")); };
    std::vector<std::unique_ptr<TVNCPanel>> tiles;
    std::vector<FakeViewer*> fakes;
    for (int i = 0; i < 5; ++i) {
        tiles.push_back(std::make_unique<TVNCPanel>());
        fakes.push_back(FakeViewer::Created().back());
        tiles.back()->ConnectTo(QStringLiteral("h%1").arg(i), QString(), QString());
    }
    EXPECT_EQ(connects(), QStringList{QStringLiteral("Connect(h0,-,,-)")}); // the first at once
    EXPECT_TRUE(TConnectPacer::Instance().Waiting(tiles[4].get()));
    tiles[2].reset();                                                  // gone before its turn
    fakes[3]->RaiseError(QStringLiteral("an attempt being replaced")); // not the waiting one's outcome
    EXPECT_EQ(tiles[3]->StatusLabel()->text(), QStringLiteral("Bağlanıyor..."));
    tiles[4]->ConnectTo(QStringLiteral("h4b"), QString(), QString()); // replaces its waiting request
    ASSERT_TRUE(QTest::qWaitFor([&] { return connects().size() >= 4; }, 5000));
    QTest::qWait(3 * 250);
    EXPECT_EQ(connects(),
              (QStringList{QStringLiteral("Connect(h0,-,,-)"), QStringLiteral("Connect(h1,-,,-)"),
                           QStringLiteral("Connect(h3,-,,-)"), QStringLiteral("Connect(h4b,-,,-)")}));

    // Every failed tile's button pressed in one go: each is connecting, and each attempt starts.
    FakeViewer::Log().clear();
    for (const int i : {0, 1, 3, 4})
        fakes[size_t(i)]->RaiseError(QStringLiteral("gone"));
    for (const int i : {0, 1, 3, 4}) {
        tiles[size_t(i)]->Button()->click();
        EXPECT_EQ(tiles[size_t(i)]->StatusLabel()->text(), QStringLiteral("Bağlanıyor..."));
    }
    ASSERT_TRUE(QTest::qWaitFor([&] { return connects().size() >= 4; }, 5000));
    EXPECT_EQ(connects().size(), 4);
    tiles.clear();
    pacer.SetGap(gap);
    SetViewerFactoryForTesting(nullptr);
}
