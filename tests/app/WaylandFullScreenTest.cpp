// The program as a native Wayland client of a headless sway (no Xwayland), watching a real Xvnc whose
// screen is black: the tile and the full-screen window must show it black (a compositor honours the
// alpha that X11 ignores), and the full-screen window, which gets no title bar there, must close with
// its own button. What the compositor shows is read back with grim. Set LATIS_SCREENSHOT_DIR to keep
// the screenshots.
#include "ControlLibrary.h"
#include "FullScreenF.h"
#include "RealServers.h"
#include "VNCPanel.h"
#include "WayvncServer.h"

#include <QApplication>
#include <QDir>
#include <QImage>
#include <QMessageBox>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QVBoxLayout>

#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>

namespace {

constexpr int ConnectLimitMs = 20000;
constexpr int ShownLimitMs = 10000; // a frame through Xvnc, the viewer and the compositor

latis_test::WayvncServer* Compositor = nullptr;

class AnsweringPanel : public TVNCPanel {
public:
    using TVNCPanel::TVNCPanel;
    int Answer = QMessageBox::Cancel;

protected:
    int AskForInputControl() override { return Answer; }
};

// The output as the compositor composed it.
QImage Screen(const QString& name) {
    QTemporaryDir folder;
    const QString path = folder.filePath(QStringLiteral("screen.png"));
    latis_test::RunAndCapture({"grim", path.toStdString()},
                              {"XDG_RUNTIME_DIR=" + Compositor->RuntimeFolder(),
                               "WAYLAND_DISPLAY=" + Compositor->WaylandDisplay()});
    QImage image(path);
    if (const QByteArray keep = qgetenv("LATIS_SCREENSHOT_DIR"); !keep.isEmpty())
        image.save(QDir(QString::fromLocal8Bit(keep)).filePath(name + QStringLiteral(".png")));
    return image.convertToFormat(QImage::Format_RGB32);
}

qsizetype BlackPixels(const QImage& image) {
    qsizetype count = 0;
    for (int y = 0; y < image.height(); ++y) {
        const auto* row = reinterpret_cast<const QRgb*>(image.constScanLine(y));
        for (int x = 0; x < image.width(); ++x)
            count += (row[x] & 0xFFFFFF) == 0;
    }
    return count;
}

class OnWayland : public testing::Test {
protected:
    void SetUp() override {
        const QString library = QStringLiteral(LATIS_DOVA_LIBRARY);
        RegisterControlLibrary(library);
        SetViewerFactoryForTesting(
            [library](QWidget* parent) { return CreateViewerControlFrom(library, parent); });
        Server = std::make_unique<latis_test::XvncServer>(latis_test::ServerOptions().WithSize(640, 400));
        Server->RunClientAndWait({"xsetroot", "-solid", "black"});

        // A white main window behind everything, so that anything see-through shows white.
        Main = std::make_unique<QWidget>();
        Main->setAutoFillBackground(true);
        QPalette white = Main->palette();
        white.setColor(QPalette::Window, Qt::white);
        Main->setPalette(white);
        Panel = new AnsweringPanel(Main.get());
        Panel->setGeometry(20, 20, 300, 300);
        Panel->SetTitle(QStringLiteral("Xvnc"));
        Main->resize(800, 600);
        Main->show();
        ASSERT_TRUE(Panel->ViewerReady());
        Panel->ConnectTo(QStringLiteral("127.0.0.1"), QString::number(Server->Port()), QString());
        ASSERT_TRUE(QTest::qWaitFor([&] { return Panel->Viewer()->IsConnected(); }, ConnectLimitMs));
    }
    void TearDown() override {
        Main.reset();
        SetViewerFactoryForTesting(nullptr);
    }

    std::unique_ptr<latis_test::XvncServer> Server;
    std::unique_ptr<QWidget> Main;
    AnsweringPanel* Panel = nullptr;
};

TEST_F(OnWayland, BlackShowsBlackInTheTileAndTheFullScreenWindowWhichClosesWithItsButton) {
    // The tile's image (640 x 400 at 300/1024: 187 x 117) is black, not grey and not white.
    qsizetype black = 0;
    EXPECT_TRUE(QTest::qWaitFor([&] { return (black = BlackPixels(Screen(QStringLiteral("tile")))) > 18000; },
                                ShownLimitMs))
        << black << " black pixels";

    Panel->Answer = QMessageBox::Yes;
    bool closed = false;
    QTimer::singleShot(0, [&] {
        auto* window = qobject_cast<TFullScreenF*>(QApplication::activeModalWidget());
        ASSERT_NE(window, nullptr);
        ASSERT_TRUE(QTest::qWaitFor(
            [&] { return window->Viewer() && window->Viewer()->State() == dova::dovaStateDispatching; },
            ConnectLimitMs));
        // The remote screen, 640 x 400, shown 1:1: black, with nothing of the main window through it.
        EXPECT_TRUE(QTest::qWaitFor(
            [&] { return (black = BlackPixels(Screen(QStringLiteral("full-screen")))) > 640 * 400; },
            ShownLimitMs))
            << black << " black pixels";
        EXPECT_TRUE(window->CloseButton()->isVisible());
        QTest::mouseClick(window->CloseButton(), Qt::LeftButton);
        closed = window->isHidden();
        if (!closed)
            window->close();
    });
    Panel->Button()->click();
    EXPECT_TRUE(closed);
}

} // namespace

int main(int argc, char** argv) {
    testing::InitGoogleTest(&argc, argv);
    if (GTEST_FLAG_GET(list_tests))
        return RUN_ALL_TESTS();
    // sway first: the program's one QApplication must come up on it.
    std::unique_ptr<latis_test::WayvncServer> sway;
    try {
        sway = std::make_unique<latis_test::WayvncServer>(1024, 768);
    } catch (const std::exception& failure) {
        std::fprintf(stderr, "%s\n", failure.what());
        return 1;
    }
    Compositor = sway.get();
    ::setenv("XDG_RUNTIME_DIR", sway->RuntimeFolder().c_str(), 1);
    ::setenv("WAYLAND_DISPLAY", sway->WaylandDisplay().c_str(), 1);
    ::setenv("QT_QPA_PLATFORM", "wayland", 1);
    ::unsetenv("DISPLAY");
    int result;
    {
        QApplication application(argc, argv);
        result = RUN_ALL_TESTS();
    }
    return result;
}
