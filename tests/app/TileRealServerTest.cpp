// Tiles against a real Xvnc on 127.0.0.1, through the real control library.
#include "ControlLibrary.h"
#include "VNCPanel.h"

#include "RealServers.h"

#include <QLabel>
#include <QPushButton>
#include <QTest>

#include <gtest/gtest.h>

namespace {

constexpr int WaitLimitMs = 30000; // a generous bound for a loaded machine; only failures wait that long

class RealTile : public ::testing::Test {
protected:
    void SetUp() override {
        const QString library = QStringLiteral(DOVA_CONTROL_LIBRARY);
        RegisterControlLibrary(library);
        SetViewerFactoryForTesting(
            [library](QWidget* parent) { return CreateViewerControlFrom(library, parent); });
    }
    void TearDown() override { SetViewerFactoryForTesting(nullptr); }

    static std::unique_ptr<TVNCPanel> MakeTile() {
        auto tile = std::make_unique<TVNCPanel>();
        tile->setGeometry(10, 10, 160, 160);
        tile->show();
        return tile;
    }
    static bool Connected(const TVNCPanel& tile) { return tile.StatusLabel()->isHidden(); }
    static bool Failed(const TVNCPanel& tile) {
        return tile.Button()->text() == QStringLiteral("Yeniden Bağlan") && tile.Button()->isEnabled();
    }
};

} // namespace

TEST_F(RealTile, ConnectsAndFitsTheWholeScreenThenShowsTheLossOfTheServer) {
    auto server = std::make_unique<latis_test::XvncServer>(
        latis_test::ServerOptions().WithPassword("secret12").WithSize(1280, 800));
    auto tile = MakeTile();
    ASSERT_TRUE(tile->ViewerReady());
    tile->ConnectTo(QStringLiteral("127.0.0.1"), QString::number(server->Port()), QStringLiteral("secret12"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return Connected(*tile) || Failed(*tile); }, WaitLimitMs));
    ASSERT_TRUE(Connected(*tile)) << tile->StatusLabel()->text().toStdString();
    EXPECT_EQ(tile->Button()->text(), QStringLiteral("Tam Ekran"));
    EXPECT_TRUE(tile->Button()->isEnabled());
    EXPECT_EQ(tile->Viewer()->FrameWidth(), 1280);
    const dova::VNCPoint x = tile->Viewer()->StretchX();
    const dova::VNCPoint y = tile->Viewer()->StretchY();
    EXPECT_EQ(x.X, 150);
    EXPECT_EQ(x.Y, 1280);
    EXPECT_EQ(y.X, x.X);
    EXPECT_EQ(y.Y, x.Y);

    server.reset();
    ASSERT_TRUE(QTest::qWaitFor([&] { return Failed(*tile); }, WaitLimitMs));
    EXPECT_FALSE(tile->StatusLabel()->isHidden());
    EXPECT_FALSE(tile->StatusLabel()->text().isEmpty());
    EXPECT_TRUE(tile->Viewer()->Widget()->isHidden());
}

TEST_F(RealTile, WrongPasswordFailsAndWaitsForTheButtonEvenWithAutomaticReconnection) {
    latis_test::XvncServer server(latis_test::ServerOptions().WithPassword("secret12"));
    auto tile = MakeTile();
    tile->SetAutoReconnect(true); // a retried wrong password would get this address blacklisted
    tile->ConnectTo(QStringLiteral("127.0.0.1"), QString::number(server.Port()), QStringLiteral("wrong"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return Failed(*tile) || Connected(*tile); }, WaitLimitMs));
    ASSERT_TRUE(Failed(*tile));
    const QString message = tile->StatusLabel()->text();
    EXPECT_TRUE(message.startsWith(QStringLiteral("Şifre hatalı\n"))) << message.toStdString();
    EXPECT_FALSE(tile->RetryPending());

    tile->Button()->click();
    EXPECT_EQ(tile->StatusLabel()->text(), QStringLiteral("Bağlanıyor..."));
    EXPECT_FALSE(tile->Button()->isEnabled());
    ASSERT_TRUE(QTest::qWaitFor([&] { return Failed(*tile); }, WaitLimitMs));
}

TEST_F(RealTile, ARecordWithoutThePasswordTheServerWantsFailsAndWaitsForTheOperator) {
    latis_test::XvncServer server(latis_test::ServerOptions().WithPassword("secret12"));
    auto tile = MakeTile();
    tile->SetAutoReconnect(true);
    tile->ConnectTo(QStringLiteral("127.0.0.1"), QString::number(server.Port()), QString());
    ASSERT_TRUE(QTest::qWaitFor([&] { return Failed(*tile) || Connected(*tile); }, WaitLimitMs));
    ASSERT_TRUE(Failed(*tile));
    EXPECT_TRUE(tile->StatusLabel()->text().startsWith(QStringLiteral("Şifre gerekli\n")))
        << tile->StatusLabel()->text().toStdString();
    EXPECT_FALSE(tile->RetryPending());
    EXPECT_EQ(tile->Viewer()->State(), 0); // the attempt is over, not waiting for an answer

    tile->Button()->click();
    EXPECT_EQ(tile->StatusLabel()->text(), QStringLiteral("Bağlanıyor..."));
    ASSERT_TRUE(QTest::qWaitFor([&] { return Failed(*tile); }, WaitLimitMs));
    EXPECT_TRUE(tile->StatusLabel()->text().startsWith(QStringLiteral("Şifre gerekli\n")));
}

TEST_F(RealTile, DestroyingAConnectedTileEndsItsSession) {
    latis_test::XvncServer server(latis_test::ServerOptions().WithPassword("secret12"));
    auto tile = MakeTile();
    tile->ConnectTo(QStringLiteral("127.0.0.1"), QString::number(server.Port()), QStringLiteral("secret12"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return Connected(*tile) || Failed(*tile); }, WaitLimitMs));
    ASSERT_TRUE(Connected(*tile));
    tile.reset(); // stops and disconnects first; must not hang or crash
    auto again = MakeTile();
    again->ConnectTo(QStringLiteral("127.0.0.1"), QString::number(server.Port()), QStringLiteral("secret12"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return Connected(*again) || Failed(*again); }, WaitLimitMs));
    EXPECT_TRUE(Connected(*again));
}

TEST_F(RealTile, LowBandwidthTileAsksForTightWithJpegAtThirtyTwoBitsAndShowsTheScreen) {
    latis_test::XvncServer server(latis_test::ServerOptions().WithSize(1280, 800));
    server.RunClientAndWait({"xsetroot", "-solid", "#3060c0"});
    auto tile = MakeTile();
    ASSERT_TRUE(tile->ViewerReady());
    tile->SetLowBandwidth(true);
    tile->ConnectTo(QStringLiteral("127.0.0.1"), QString::number(server.Port()), QString());
    ASSERT_TRUE(QTest::qWaitFor([&] { return Connected(*tile) || Failed(*tile); }, WaitLimitMs));
    ASSERT_TRUE(Connected(*tile)) << tile->StatusLabel()->text().toStdString();
    TVNCViewer& viewer = *tile->Viewer();
    EXPECT_EQ(viewer.Codecs(0), int(dova::dovaCodecTight));
    EXPECT_EQ(viewer.BitsPerPixel(), 32);
    EXPECT_EQ(viewer.QualityLevel(), 1) << "a 160-pixel tile shows an eighth of the screen's width";
    const auto shown = [&] {
        const QImage image = viewer.Widget()->grab().toImage();
        const QColor centre = image.pixelColor(image.width() / 2, image.height() / 2);
        return std::abs(centre.red() - 0x30) <= 2 && std::abs(centre.green() - 0x60) <= 2 &&
               std::abs(centre.blue() - 0xC0) <= 2;
    };
    EXPECT_TRUE(QTest::qWaitFor(shown, WaitLimitMs));
    QImage kept;
    viewer.Control()->get_Picture(&kept);
    EXPECT_EQ(kept.width(), 160) << "the tile keeps the screen reduced by 8";
    EXPECT_TRUE(Connected(*tile)) << "the session runs on without an error";
}
