// The wall driven from the keyboard on a real X display (Xvfb, Qt's xcb platform, xdotool as the
// operator's hand), its tiles connected to a real Xvnc on 127.0.0.1: Ctrl+F, a few letters, Tab into
// the grid, an arrow, Enter, Enter again on the question, and the chosen computer's full-screen
// window opens.
#include "AnaForm.h"
#include "ControlLibrary.h"
#include "FullScreenF.h"
#include "RealServers.h"
#include "TileWall.h"
#include "VNCPanel.h"
#include "WallNavigator.h"

#include <QApplication>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>

using namespace latis_test;

// Qt's xcb platform opens a session-bus connection whose buffer libdbus keeps until the process ends;
// it is not this program's to free.
extern "C" const char* __lsan_default_suppressions() {
    return "leak:libdbus-1.so\n";
}

namespace {

constexpr int ConnectLimitMs = 30000;
const char* const Password = "secret12";

class RealDisplayEnvironment : public testing::Environment {
public:
    void SetUp() override {
        Display = std::make_unique<LocalXDisplay>(ServerOptions().WithSize(1280, 900));
        ::setenv("DISPLAY", Display->DisplayName().c_str(), 1);
        ::setenv("QT_QPA_PLATFORM", "xcb", 1);
        static int argc = 1;
        static char name[] = "wall_keyboard_tests";
        static char* argv[] = {name, nullptr};
        new QApplication(argc, argv);
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

void Operator(std::vector<std::string> words) {
    words.insert(words.begin(), "xdotool");
    RealDisplayEnvironment::Local().RunClientAndWait(words);
}

} // namespace

TEST(WallKeyboard, SearchTabArrowAndEnterOpenTheChosenComputer) {
    const QString library = QStringLiteral(LATIS_DOVA_LIBRARY);
    RegisterControlLibrary(library);
    SetViewerFactoryForTesting(
        [library](QWidget* parent) { return CreateViewerControlFrom(library, parent); });
    XvncServer server(ServerOptions().WithPassword(Password).WithSize(640, 480));
    QTemporaryDir folder;
    ASSERT_TRUE(folder.isValid());
    {
        QFile list(folder.filePath(QStringLiteral("bilgisayar.ini")));
        ASSERT_TRUE(list.open(QIODevice::WriteOnly));
        int n = 1;
        for (const char* name : {"Depo", "Işık-1", "Işık-2", "Muhasebe"})
            list.write("[RecNo" + QByteArray::number(n++) + "]\r\nBILGISAYARADI=" + QByteArray(name) +
                       "\r\nIP=127.0.0.1\r\nPORT=" + QByteArray::number(server.Port()) +
                       "\r\nPASSWORD=" + Password + "\r\n");
    }
    auto form = std::make_unique<TAnaFormF>(folder.path() + u'/');
    form->ShowMain();
    ASSERT_TRUE(QTest::qWaitForWindowActive(form.get(), 10000));
    ASSERT_TRUE(QTest::qWaitFor(
        [&] {
            if (form->Tiles().size() != 4)
                return false;
            for (TVNCPanel* tile : form->Tiles())
                if (!tile->Button()->isEnabled())
                    return false;
            return true;
        },
        ConnectLimitMs));

    Operator({"key", "ctrl+f"});
    ASSERT_TRUE(QTest::qWaitFor([&] { return form->Wall()->SearchField()->hasFocus(); }, 5000));
    Operator({"type", "ışık"});
    ASSERT_TRUE(QTest::qWaitFor([&] { return form->Wall()->ShownTiles().size() == 2; }, 5000));
    Operator({"key", "Tab"});
    Operator({"key", "Right"});
    TVNCPanel* second = form->Wall()->ShownTiles().value(1);
    ASSERT_TRUE(QTest::qWaitFor([&] { return form->Wall()->Navigator()->SelectedTile() == second; }, 5000));
    EXPECT_TRUE(second->hasFocus());
    EXPECT_EQ(second->accessibleName(), QStringLiteral("Işık-2, Bağlı"));

    // The question comes up modal; its default button (view only) takes Enter, then the window opens.
    QString opened;
    bool answered = false;
    QTimer watch;
    watch.setInterval(100);
    QObject::connect(&watch, &QTimer::timeout, [&] {
        QWidget* modal = QApplication::activeModalWidget();
        if (qobject_cast<QMessageBox*>(modal) && !answered) {
            answered = true;
            Operator({"key", "Return"});
        } else if (auto* full = qobject_cast<TFullScreenF*>(modal); full && opened.isEmpty()) {
            opened = full->windowTitle();
            full->close();
        }
    });
    watch.start();
    Operator({"key", "Return"});
    EXPECT_TRUE(QTest::qWaitFor([&] { return !opened.isEmpty(); }, 20000));
    watch.stop();
    EXPECT_TRUE(answered);
    EXPECT_TRUE(opened.startsWith(QStringLiteral("Işık-2 - ")))
        << opened.toStdString(); // the caption adds the mode

    form->close();
    form.reset();
    SetViewerFactoryForTesting(nullptr);
}
