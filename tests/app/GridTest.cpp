#include "AnaForm.h"
#include "ComputerTable.h"
#include "ControlLibrary.h"
#include "FakeViewer.h"
#include "TileWall.h"
#include "VNCPanel.h"
#include "WallBuilder.h"
#include "WallFilter.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPointer>
#include <QScrollArea>
#include <QSlider>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <QComboBox>

namespace {

// A main window started in its own program folder holding the given bilgisayar.ini (if any).
class Grid : public ::testing::Test {
protected:
    void Start(const QByteArray& ini) {
        ASSERT_TRUE(Folder.isValid());
        if (!ini.isNull()) {
            QFile f(Folder.filePath(QStringLiteral("bilgisayar.ini")));
            ASSERT_TRUE(f.open(QIODevice::WriteOnly));
            f.write(ini);
        }
        Form = std::make_unique<TAnaFormF>(Folder.path() + u'/');
    }

    // Sizes the window so that the scrolling area is areaWidth pixels wide, then builds.
    void Build(int areaWidth, int iconSize) {
        Form->show();
        Form->resize(areaWidth, 700);
        QCoreApplication::processEvents();
        // Let the first activation's build happen now, so that it cannot come later.
        Form->FormActivate();
        QCoreApplication::sendPostedEvents(Form.get(), TAnaFormF::WM_BUILDTILES);
        ASSERT_EQ(Form->ScrollBox1()->width(), areaWidth);
        Form->SetIconSize(iconSize);
        Form->BuildTiles();
    }

    static QByteArray Records(const QStringList& names) {
        QByteArray ini;
        int n = 1;
        for (const QString& name : names)
            ini += "[RecNo" + QByteArray::number(n++) + "]\r\nBILGISAYARADI=" + name.toUtf8() +
                   "\r\nIP=127.0.0.1\r\n";
        return ini;
    }

    QTemporaryDir Folder;
    std::unique_ptr<TAnaFormF> Form;
};

} // namespace

TEST(TilePlacement, WrapTestComesBeforeEveryTile) {
    const QList<QRect> p = TAnaFormF::TilePlacement(5, 160, 850);
    EXPECT_EQ(p[0], QRect(10, 10, 160, 160));
    EXPECT_EQ(p[3], QRect(520, 10, 160, 160));
    EXPECT_EQ(p[4], QRect(10, 170, 160, 160)); // rows are exactly s apart
    const QList<QRect> tooWide = TAnaFormF::TilePlacement(2, 500, 500);
    EXPECT_EQ(tooWide[0].topLeft(), QPoint(10, 510)); // the first row stays empty
    EXPECT_EQ(tooWide[1].topLeft(), QPoint(10, 1010));
}

TEST_F(Grid, FourTilesOfOneHundredSixtyInEightHundredFiftyPixels) {
    Start(Records({QStringLiteral("a"), QStringLiteral("b"), QStringLiteral("c"), QStringLiteral("d"),
                   QStringLiteral("e")}));
    Build(850, 160);
    const QList<TVNCPanel*> tiles = Form->Tiles();
    ASSERT_EQ(tiles.size(), 5);
    EXPECT_EQ(tiles[0]->geometry(), QRect(10, 10, 160, 160));
    EXPECT_EQ(tiles[1]->geometry(), QRect(180, 10, 160, 160));
    EXPECT_EQ(tiles[2]->geometry(), QRect(350, 10, 160, 160));
    EXPECT_EQ(tiles[3]->geometry(), QRect(520, 10, 160, 160));
    EXPECT_EQ(tiles[4]->geometry(), QRect(10, 170, 160, 160));
    EXPECT_TRUE(Form->PanelUyari()->isHidden());
}

TEST_F(Grid, TilesAsWideAsTheAreaLeaveTheFirstRowEmpty) {
    Start(Records({QStringLiteral("a"), QStringLiteral("b")}));
    Build(500, 500);
    const QList<TVNCPanel*> tiles = Form->Tiles();
    ASSERT_EQ(tiles.size(), 2);
    EXPECT_EQ(tiles[0]->geometry(), QRect(10, 510, 500, 500));
    EXPECT_EQ(tiles[1]->geometry(), QRect(10, 1010, 500, 500));
}

TEST_F(Grid, EmptyTableShowsTheWarningStripAndNoTiles) {
    Start(QByteArray());
    Build(850, 160);
    EXPECT_TRUE(Form->Tiles().isEmpty());
    EXPECT_FALSE(Form->PanelUyari()->isHidden());
    EXPECT_EQ(Form->PanelUyari()->text(),
              QStringLiteral("SİSTEMİ NASIL KULLANACAĞINIZ YARDIM MENÜSÜNDE AÇIKLANMIŞTIR."));
}

TEST_F(Grid, TilesFollowTheNameOrderAndEveryBuildStartsAfresh) {
    Start(Records({QStringLiteral("b"), QStringLiteral("A")}));
    Build(850, 160);
    ASSERT_EQ(Form->Tiles().size(), 2);
    EXPECT_EQ(Form->Tiles()[0]->Title(), QStringLiteral("A"));
    EXPECT_EQ(Form->Tiles()[1]->Title(), QStringLiteral("b"));
    const QPointer<TVNCPanel> first = Form->Tiles()[0]; // compared by life, not by address
    Form->BuildTiles();
    ASSERT_EQ(Form->Tiles().size(), 2);
    EXPECT_TRUE(first.isNull());
    Form->RxBilgisayar()->Clear();
    Form->BuildTiles();
    EXPECT_TRUE(Form->Tiles().isEmpty());
    EXPECT_FALSE(Form->PanelUyari()->isHidden());
}

TEST_F(Grid, ResizingTheWindowReflowsTheSameTiles) {
    Start(Records({QStringLiteral("a"), QStringLiteral("b"), QStringLiteral("c"), QStringLiteral("d"),
                   QStringLiteral("e")}));
    Build(850, 160);
    const QPointer<TVNCPanel> last = Form->Tiles()[4];
    Form->resize(1400, 700);
    QCoreApplication::processEvents();
    EXPECT_EQ(Form->Tiles()[4]->geometry(), QRect(690, 10, 160, 160)) << "the fifth tile joins the first row";
    EXPECT_EQ(Form->Tiles()[4], last.data()) << "not rebuilt: nothing reconnects";
}

// The search shows only matching tiles, Turkish letters folded, without touching the list file;
// Escape brings every tile back; the status line counts the shown tiles only.
TEST_F(Grid, SearchShowsMatchingTilesAndEscapeClearsIt) {
    const QByteArray ini = Records({QStringLiteral("IŞIK-1"), QStringLiteral("İstanbul"),
                                    QStringLiteral("KIOSK"), QStringLiteral("depo")});
    Start(ini);
    Build(850, 160);
    TTileWall* wall = Form->Wall();
    auto shownTitles = [&] {
        QStringList titles;
        for (TVNCPanel* tile : wall->ShownTiles())
            titles.append(tile->Title());
        return titles;
    };
    QTest::keyClick(Form.get(), Qt::Key_F, Qt::ControlModifier);
    ASSERT_TRUE(wall->SearchField()->hasFocus());
    for (QChar c : QStringLiteral("ışık")) // typed, one key at a time
        QTest::sendKeyEvent(QTest::Click, wall->SearchField(), Qt::Key_unknown, QString(c), Qt::NoModifier);
    EXPECT_EQ(shownTitles(), QStringList({QStringLiteral("IŞIK-1")}));
    EXPECT_EQ(wall->ShownTiles().first()->geometry(), QRect(10, 10, 160, 160)) << "moved up to the start";
    EXPECT_EQ(wall->StatusLine()->text(), QStringLiteral("Bağlanıyor 1"));
    wall->SetSearchText(QStringLiteral("istanbul"));
    EXPECT_EQ(shownTitles(), QStringList({QStringLiteral("İstanbul")}));
    wall->SetSearchText(QStringLiteral("kiosk"));
    EXPECT_EQ(shownTitles(), QStringList({QStringLiteral("KIOSK")}));
    wall->SetSearchText(QStringLiteral("127.0"));
    EXPECT_EQ(shownTitles().size(), 4) << "the address matches too";
    wall->SetSearchText(QStringLiteral("yok"));
    EXPECT_TRUE(shownTitles().isEmpty());
    QTest::keyClick(wall->SearchField(), Qt::Key_Escape);
    EXPECT_TRUE(wall->SearchField()->text().isEmpty());
    EXPECT_EQ(shownTitles().size(), 4);
    QFile f(Folder.filePath(QStringLiteral("bilgisayar.ini")));
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    EXPECT_EQ(f.readAll(), ini);
}

// Groups: the choice shows one group, "Tümü" all, and survives a restart; a list without groups
// shows no group choice at all.
TEST_F(Grid, GroupChoiceShowsOneGroupAndIsRemembered) {
    QByteArray ini = Records({QStringLiteral("a1"), QStringLiteral("b1"), QStringLiteral("x")});
    ini.replace("BILGISAYARADI=a1\r\n", "BILGISAYARADI=a1\r\nGRUP=Oda A\r\n");
    ini.replace("BILGISAYARADI=b1\r\n", "BILGISAYARADI=b1\r\nGRUP=Oda B\r\n");
    Start(ini);
    Build(850, 160);
    TTileWall* wall = Form->Wall();
    EXPECT_FALSE(wall->GroupBox()->isHidden());
    ASSERT_EQ(wall->GroupBox()->count(), 3);
    EXPECT_EQ(wall->GroupBox()->itemText(0), QStringLiteral("Tümü"));
    wall->SetGroupChoice(QStringLiteral("Oda B"));
    ASSERT_EQ(wall->ShownTiles().size(), 1);
    EXPECT_EQ(wall->ShownTiles().first()->Title(), QStringLiteral("b1"));
    EXPECT_EQ(wall->ShownTiles().first()->geometry(), QRect(10, 10, 160, 160));
    Form->close();
    Form.reset();

    Form = std::make_unique<TAnaFormF>(Folder.path() + u'/');
    Form->RestoreSettings();
    Build(850, 160);
    EXPECT_EQ(Form->Wall()->GroupBox()->currentText(), QStringLiteral("Oda B"));
    EXPECT_EQ(Form->Wall()->ShownTiles().size(), 1);
    Form->Wall()->SetGroupChoice(QString());
    EXPECT_EQ(Form->Wall()->ShownTiles().size(), 3);
}

TEST_F(Grid, ListWithoutGroupsHasNoGroupChoice) {
    Start(Records({QStringLiteral("a"), QStringLiteral("b")}));
    Build(850, 160);
    EXPECT_TRUE(Form->Wall()->GroupBox()->isHidden());
    EXPECT_EQ(Form->Wall()->ShownTiles().size(), 2);
}

// A wall larger than a few dozen tiles is made and cleared a slice per turn; in between the old tiles
// are out of sight and the new ones already placed.
TEST_F(Grid, LargeWallIsBuiltAndClearedInSlices) {
    QStringList names;
    for (int i = 0; i < TWallBuilder::LargeWall + 16; ++i)
        names.append(QStringLiteral("pc%1").arg(i, 3, 10, QLatin1Char('0')));
    Start(Records(names));
    Build(850, 160);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !Form->Builder()->Busy(); }, 30000));
    ASSERT_EQ(Form->Tiles().size(), names.size());
    const QPointer<TVNCPanel> old = Form->Tiles()[0];
    Form->BuildTiles();
    EXPECT_TRUE(Form->Tiles().isEmpty()) << "nothing is made in the call itself";
    EXPECT_TRUE(old && old->isHidden()) << "the old tiles leave the screen at once";
    Form->resize(1000, 700); // a reflow meanwhile does not bring them back
    QCoreApplication::processEvents();
    EXPECT_TRUE(!old || old->isHidden());
    ASSERT_TRUE(QTest::qWaitFor([&] { return !Form->Builder()->Busy(); }, 30000));
    EXPECT_TRUE(old.isNull());
    ASSERT_EQ(Form->Tiles().size(), names.size());
    EXPECT_EQ(Form->Tiles().last()->geometry(),
              TAnaFormF::TilePlacement(int(names.size()), 160, Form->ScrollBox1()->width()).last());
}

TEST(WallFilter, TurkishCaseAndBothIsMatch) {
    TWallFilter filter;
    filter.SetText(QStringLiteral("ışık"));
    EXPECT_TRUE(filter.Matches(QStringLiteral("OFİS-IŞIK"), QString(), QString()));
    filter.SetText(QStringLiteral("İSTANBUL"));
    EXPECT_TRUE(filter.Matches(QStringLiteral("istanbul"), QString(), QString()));
    // An İ typed as I plus the combining dot is the same letter.
    EXPECT_TRUE(filter.Matches(QStringLiteral("I\u0307stanbul"), QString(), QString()));
    filter.SetText(QStringLiteral("şğüöç"));
    EXPECT_TRUE(filter.Matches(QStringLiteral("ŞĞÜÖÇ"), QString(), QString()));
    EXPECT_FALSE(filter.Matches(QStringLiteral("sguoc"), QString(), QString()));
    filter.SetText(QString());
    filter.SetGroup(QStringLiteral("Lab"));
    EXPECT_TRUE(filter.Matches(QStringLiteral("x"), QString(), QStringLiteral("LAB")));
    EXPECT_FALSE(filter.Matches(QStringLiteral("x"), QString(), QString()));
}

TEST_F(Grid, FirstActivationBuildsOnceThroughThePostedMessage) {
    Start(Records({QStringLiteral("a")}));
    EXPECT_TRUE(Form->FirstActivationPending());
    Form->FormActivate();
    EXPECT_TRUE(Form->Tiles().isEmpty()); // built on the next turn of the event loop
    QCoreApplication::processEvents();
    ASSERT_EQ(Form->Tiles().size(), 1);
    TVNCPanel* tile = Form->Tiles()[0];
    Form->FormActivate();
    QCoreApplication::processEvents();
    EXPECT_EQ(Form->Tiles()[0], tile); // later activations build nothing
}

TEST_F(Grid, TrackBarChangesTheLabelAtOnceAndSettingsSurviveARestart) {
    Start(QByteArray());
    Form->sTrackBar1()->setValue(230);
    EXPECT_EQ(Form->sLabelIkonBoyutu()->text(), QStringLiteral("İkon Boyutu : 230"));
    Form->SetSkinName(QStringLiteral("WMP11 (internal)"));
    Form->SetAutoReconnect(true);
    TVNCPanel::SetFullScreenFit(true);
    Form->StoreSettings();
    Form.reset();
    TVNCPanel::SetFullScreenFit(false);
    Form = std::make_unique<TAnaFormF>(Folder.path() + u'/');
    EXPECT_EQ(Form->SkinName(), QString());
    Form->RestoreSettings();
    EXPECT_EQ(Form->IconSize(), 230);
    EXPECT_EQ(Form->SkinName(), QStringLiteral("WMP11 (internal)"));
    EXPECT_TRUE(Form->AutoReconnect());
    EXPECT_TRUE(TVNCPanel::FullScreenFit());
    TVNCPanel::SetFullScreenFit(false);
}

TEST_F(Grid, LowBandwidthSurvivesARestartAndAsksTheTilesForTightWithJpeg) {
    SetViewerFactoryForTesting([](QWidget* parent) -> dova::IVNCViewer* { return new FakeViewer(parent); });
    Start(Records({QStringLiteral("a")}));
    Form->RestoreSettings();
    EXPECT_FALSE(Form->sCheckBoxDusukBant()->isChecked());
    EXPECT_EQ(Form->sCheckBoxDusukBant()->text(), QStringLiteral("Düşük bant genişliği (Tight)"));
    const auto* note = Form->PanelAyar()->findChild<QLabel*>(QStringLiteral("sLabelDusukBant"));
    ASSERT_TRUE(note);
    EXPECT_EQ(note->text(), QStringLiteral("Küçük resimlerde JPEG, tam ekranda kayıpsız"));
    Form->BuildTiles();
    const std::vector<int32_t> today{1, 1, 5, 0, 4, 2, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1};
    EXPECT_EQ(FakeViewer::Created().back()->CodecSlots, today);

    Form->sCheckBoxDusukBant()->setChecked(true);
    Form->StoreSettings();
    Form = std::make_unique<TAnaFormF>(Folder.path() + u'/');
    Form->RestoreSettings();
    EXPECT_TRUE(Form->LowBandwidth());
    Form->BuildTiles();
    const std::vector<int32_t> tightFirst{7, 1, 1, 5, 0, 4, 2, -1, -1, -1, -1, -1, -1, -1, -1, -1};
    FakeViewer* tile = FakeViewer::Created().back();
    EXPECT_EQ(tile->CodecSlots, tightFirst);
    int32_t quality = -1;
    tile->get_QualityLevel(&quality);
    EXPECT_GE(quality, 0) << "tiles get JPEG";
    EXPECT_TRUE(FakeViewer::Log().contains(QStringLiteral("BitsPerPixel=32"))) << "the format JPEG needs";
    Form.reset();
    SetViewerFactoryForTesting(nullptr);
}

TEST_F(Grid, EncryptionIsPreferredAndDropNotificationsOffUnlessTheSettingsSayOtherwise) {
    SetViewerFactoryForTesting([](QWidget* parent) -> dova::IVNCViewer* { return new FakeViewer(parent); });
    Start(Records({QStringLiteral("a")}));
    Form->RestoreSettings();
    ASSERT_EQ(Form->sComboSifreleme()->count(), 3);
    EXPECT_EQ(Form->sComboSifreleme()->itemText(0), QStringLiteral("Kapalı"));
    EXPECT_EQ(Form->sComboSifreleme()->itemText(1), QStringLiteral("Varsa kullan"));
    EXPECT_EQ(Form->sComboSifreleme()->itemText(2), QStringLiteral("Zorunlu"));
    EXPECT_EQ(Form->Encryption(), dova::dovaEncryptionPrefer);
    Form->BuildTiles();
    EXPECT_EQ(FakeViewer::Created().back()->EncryptionValue, dova::dovaEncryptionPrefer);
    EXPECT_EQ(FakeViewer::Created().back()->KnownCertificatesValue,
              Folder.path() + QStringLiteral("/known-certificates"));

    EXPECT_FALSE(Form->sCheckBoxBildirim()->isChecked()) << "notifications stay off unless asked for";

    Form->sComboSifreleme()->setCurrentIndex(dova::dovaEncryptionRequire);
    Form->sCheckBoxBildirim()->setChecked(true);
    Form->StoreSettings();
    Form = std::make_unique<TAnaFormF>(Folder.path() + u'/');
    Form->RestoreSettings();
    EXPECT_EQ(Form->Encryption(), dova::dovaEncryptionRequire);
    EXPECT_TRUE(Form->sCheckBoxBildirim()->isChecked());
    Form->BuildTiles();
    EXPECT_EQ(FakeViewer::Created().back()->EncryptionValue, dova::dovaEncryptionRequire);
    Form.reset();
    SetViewerFactoryForTesting(nullptr);
}

// A record's optional user name reaches its tile's viewer (servers that authenticate a user, inside TLS).
TEST_F(Grid, RecordsUserNameReachesTheTilesViewer) {
    SetViewerFactoryForTesting([](QWidget* parent) -> dova::IVNCViewer* { return new FakeViewer(parent); });
    Start(Records({QStringLiteral("a")}) + "KULLANICI=" + QStringLiteral("ayşe").toUtf8() + "\r\n");
    Form->BuildTiles();
    ASSERT_FALSE(FakeViewer::Created().empty());
    EXPECT_EQ(FakeViewer::Created().back()->UserNameValue, QStringLiteral("ayşe"));
    Form.reset();
    SetViewerFactoryForTesting(nullptr);
}

TEST_F(Grid, DefaultSkinIsOffice2007Blue) {
    Start(QByteArray());
    Form->RestoreSettings();
    EXPECT_EQ(Form->SkinName(), QStringLiteral("Office2007 Blue (internal)"));
    EXPECT_EQ(Form->IconSize(), 160);
    EXPECT_FALSE(Form->AutoReconnect());
    EXPECT_EQ(Form->sCheckBoxYenidenBaglan()->text(),
              QStringLiteral("Kopan bağlantıları otomatik yeniden kur"));
    EXPECT_EQ(Form->windowTitle(), QStringLiteral("TARNOVEX LatisVNC s1.02.01f"));
}

TEST_F(Grid, MenusAreReachedFromTheKeyboard) {
    Start(QByteArray());
    Build(850, 160);
    Form->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(Form.get()));
    QMenuBar* bar = Form->menuBar();
    QTest::keyClick(Form.get(), Qt::Key_F10);
    ASSERT_NE(bar->activeAction(), nullptr);
    EXPECT_EQ(bar->activeAction()->menu()->objectName(), QStringLiteral("Dosya1"));
    QTest::keyClick(bar, Qt::Key_Escape);

    auto* help = Form->findChild<QMenu*>(QStringLiteral("Yardm1"));
    ASSERT_NE(help, nullptr);
    QTest::keyClick(Form.get(), Qt::Key_Y, Qt::AltModifier);
    EXPECT_TRUE(QTest::qWaitFor([&] { return help->isVisible(); }, 2000));
    help->close();
}

TEST_F(Grid, SettingsDialogShowsThePanelAndEscapeStillRebuilds) {
    Start(Records({QStringLiteral("a")}));
    Build(850, 160);
    const QPointer<TVNCPanel> before = Form->Tiles().value(0);
    QWidget* const panel = Form->PanelAyar();
    QWidget* const home = panel->parentWidget();
    QSize clientSize;
    QString labelText;
    QString caption;
    bool panelInside = false;
    QTimer::singleShot(0, [&] {
        QWidget* dialog = QApplication::activeModalWidget();
        ASSERT_NE(dialog, nullptr);
        clientSize = dialog->size();
        caption = dialog->windowTitle();
        panelInside = panel->window() == dialog && panel->isVisible();
        labelText = Form->sLabelIkonBoyutu()->text();
        Form->sTrackBar1()->setValue(200);
        QTest::keyClick(dialog, Qt::Key_Escape);
    });
    Form->Ayarlar1Click();
    EXPECT_EQ(clientSize, QSize(366, 325));
    EXPECT_EQ(caption, QStringLiteral("TARNOVEX LatisVNC s1.02.01f"));
    EXPECT_TRUE(panelInside);
    EXPECT_EQ(labelText, QStringLiteral("İkon Boyutu : 160"));
    EXPECT_EQ(panel->parentWidget(), home);
    EXPECT_TRUE(panel->isHidden());
    EXPECT_EQ(panel->size(), QSize(361, 285));
    ASSERT_EQ(Form->Tiles().size(), 1);
    EXPECT_TRUE(before.isNull());
    EXPECT_EQ(Form->Tiles()[0]->geometry(), QRect(10, 10, 200, 200));
}
