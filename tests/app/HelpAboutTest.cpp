// The "Yardım" menu: help document, about window, memory lines.
#include "ui/AboutBox.h"
#include "ui/AboutF.h"
#include "ui/HelpActions.h"
#include "ui/MemoryStatus.h"
#include "ui/OperatorMessages.h"
#include "ui/ScrollingText.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QWidget>

#include <gtest/gtest.h>

namespace {

struct ShownBox {
    QMessageBox::Icon Icon;
    QString Caption;
    QString Text;
    QMessageBox::StandardButtons Buttons;
};

// Records every box instead of showing it, and every address handed to the desktop.
class HelpMenuTest : public testing::Test {
protected:
    void SetUp() override {
        OperatorMessages::SetBoxFunction([this](QWidget*, QMessageBox::Icon icon, const QString& caption,
                                                const QString& text, QMessageBox::StandardButtons buttons,
                                                QMessageBox::StandardButton) {
            Boxes.push_back({icon, caption, text, buttons});
            return QMessageBox::Ok;
        });
        HelpActions::SetUrlOpener([this](const QUrl& url) {
            Opened.push_back(url);
            return true;
        });
    }
    void TearDown() override {
        OperatorMessages::SetBoxFunction({});
        HelpActions::SetUrlOpener({});
    }

    std::vector<ShownBox> Boxes;
    std::vector<QUrl> Opened;
    QWidget MainWindow;
};

TEST_F(HelpMenuTest, MissingHelpFileNamesItsFullPath) {
    QTemporaryDir folder;
    const QString programFolder = folder.path() + QLatin1Char('/');
    HelpActions::OpenHelpDocument(&MainWindow, programFolder);

    ASSERT_EQ(Boxes.size(), 1u);
    EXPECT_EQ(Boxes[0].Text, programFolder + QStringLiteral("yardim.pdf dosyası bulunamadı"));
    EXPECT_EQ(Boxes[0].Caption, QStringLiteral("Bilgi"));
    EXPECT_EQ(Boxes[0].Icon, QMessageBox::Information);
    EXPECT_EQ(Boxes[0].Buttons, QMessageBox::StandardButtons(QMessageBox::Ok));
    EXPECT_TRUE(Opened.empty());
}

TEST_F(HelpMenuTest, PresentHelpFileGoesToTheDefaultViewer) {
    QTemporaryDir folder;
    const QString programFolder = folder.path() + QLatin1Char('/');
    QFile pdf(programFolder + QStringLiteral("yardim.pdf"));
    ASSERT_TRUE(pdf.open(QIODevice::WriteOnly));
    pdf.write("%PDF-1.4\n");
    pdf.close();

    HelpActions::OpenHelpDocument(&MainWindow, programFolder);
    EXPECT_TRUE(Boxes.empty());
    ASSERT_EQ(Opened.size(), 1u);
    EXPECT_EQ(Opened[0], QUrl::fromLocalFile(programFolder + QStringLiteral("yardim.pdf")));
}

TEST_F(HelpMenuTest, WithoutAPdfProgramTheOperatorIsToldWhereTheDocumentIs) {
    QTemporaryDir folder;
    const QString programFolder = folder.path() + QLatin1Char('/');
    QFile pdf(programFolder + QStringLiteral("yardim.pdf"));
    ASSERT_TRUE(pdf.open(QIODevice::WriteOnly));
    pdf.close();
    HelpActions::SetUrlOpener([](const QUrl&) { return false; });

    HelpActions::OpenHelpDocument(&MainWindow, programFolder);
    ASSERT_EQ(Boxes.size(), 1u);
    EXPECT_TRUE(Boxes[0].Text.startsWith(QStringLiteral("Bu bilgisayarda PDF")));
    EXPECT_TRUE(Boxes[0].Text.endsWith(programFolder + QStringLiteral("yardim.pdf")));
    EXPECT_EQ(Boxes[0].Caption, QStringLiteral("Bilgi"));
}

TEST_F(HelpMenuTest, WebSiteItemOpensTheMakersAddress) {
    HelpActions::OpenMakerWebSite(&MainWindow);
    ASSERT_EQ(Opened.size(), 1u);
    EXPECT_EQ(Opened[0].scheme(), QStringLiteral("http"));
    EXPECT_TRUE(Boxes.empty());
}

TEST(MemoryStatusTest, ReadsTotalAndLoadFromMeminfo) {
    QTemporaryDir folder;
    const QString path = folder.filePath(QStringLiteral("meminfo"));
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("MemTotal:       16318412 kB\nMemFree:          100000 kB\nMemAvailable:    4079603 kB\n");
    file.close();

    const MemoryStatus status = ReadMemoryStatus(path);
    EXPECT_EQ(status.TotalPhysicalKb, 16318412u);
    EXPECT_EQ(status.LoadPercent, 75); // MemAvailable, not MemFree, is what is not in use
    EXPECT_EQ(FormatPhysicalMemory(status.TotalPhysicalKb), QStringLiteral("16.318.412 KB"));
    EXPECT_EQ(FormatMemoryLoad(status.LoadPercent), QStringLiteral("75 %"));
}

TEST(MemoryStatusTest, UnreadableFileGivesZerosNotACrash) {
    const MemoryStatus status = ReadMemoryStatus(QStringLiteral("/nonexistent/meminfo"));
    EXPECT_EQ(status.TotalPhysicalKb, 0u);
    EXPECT_EQ(status.LoadPercent, 0);
    EXPECT_EQ(FormatPhysicalMemory(0), QStringLiteral("0 KB"));
}

TEST(MemoryStatusTest, RealMeminfoGivesAPlausibleLoad) {
    const MemoryStatus status = ReadMemoryStatus();
    EXPECT_GT(status.TotalPhysicalKb, 0u);
    EXPECT_GE(status.LoadPercent, 0);
    EXPECT_LE(status.LoadPercent, 100);
}

TEST(AboutWindowTest, TitleHeadingMemoryLinesAndStatusBar) {
    QWidget mainWindow;
    mainWindow.setWindowTitle(QStringLiteral("TARNOVEX LatisVNC s1.02.01f"));
    TAboutBox box;
    // Execute is modal: inspect the window from inside its event loop, then close it with Escape.
    QString title, heading, physical, load;
    bool escapeClosed = false;
    QTimer::singleShot(0, [&] {
        auto* about = qobject_cast<TAboutF*>(QApplication::activeModalWidget());
        ASSERT_NE(about, nullptr);
        title = about->windowTitle();
        heading = about->Heading()->text();
        physical = about->PhysicalMemoryValue()->text();
        load = about->MemoryLoadValue()->text();
        EXPECT_EQ(about->size(), QSize(465, 460));
        EXPECT_TRUE(about->InformationText()->IsScrolling());
        EXPECT_EQ(about->InformationText()->Lines().first(), QStringLiteral("LatisVNC s1.02.01"));
        QTest::keyClick(about, Qt::Key_Escape);
        escapeClosed = !about->isVisible();
    });
    HelpActions::ShowAbout(box, &mainWindow);

    EXPECT_TRUE(escapeClosed);
    EXPECT_EQ(title, QStringLiteral("TARNOVEX LatisVNC s1.02.01f"));
    EXPECT_EQ(heading, QStringLiteral("LatisVNC s1.02.01"));
    EXPECT_TRUE(physical.endsWith(QStringLiteral(" KB"))) << physical.toStdString();
    EXPECT_TRUE(load.endsWith(QStringLiteral(" %"))) << load.toStdString();
}

TEST(AboutWindowTest, CreditsToggleByPictureClickAndCtrlAltT) {
    TAboutF about(QStringLiteral("t"), QStringLiteral("LatisVNC s1.02.01"), QPixmap(146, 460));
    about.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&about));
    EXPECT_FALSE(about.CreditsPanel()->isVisible());

    QTest::mouseClick(about.PictureLabel(), Qt::LeftButton);
    EXPECT_TRUE(about.CreditsPanel()->isVisible());
    EXPECT_TRUE(about.CreditsPanel()->IsScrolling());

    QTest::keyClick(&about, Qt::Key_T, Qt::ControlModifier | Qt::AltModifier);
    EXPECT_FALSE(about.CreditsPanel()->isVisible());
    EXPECT_FALSE(about.CreditsPanel()->IsScrolling());

    QTest::keyClick(&about, Qt::Key_T, Qt::ControlModifier | Qt::AltModifier);
    EXPECT_TRUE(about.CreditsPanel()->isVisible());

    about.OkButton()->click();
    EXPECT_FALSE(about.isVisible());
    EXPECT_EQ(about.result(), QDialog::Accepted);
    EXPECT_FALSE(about.InformationText()->IsScrolling()); // closing stops the scrolling
}

TEST(ScrollingTextTest, TextLeavesTheTopAndComesBackFromBelow) {
    TScrollingText text({QStringLiteral("a"), QStringLiteral("b")}, Qt::green, Qt::black);
    text.resize(296, 214);
    const int height = QFontMetrics(text.font()).lineSpacing() * 2;
    for (int i = 0; i < height; ++i)
        text.Step();
    EXPECT_EQ(text.Offset(), height);
    text.Step();
    EXPECT_LT(text.Offset(), 0); // re-enters at the bottom edge
    EXPECT_EQ(text.Offset(), -text.contentsRect().height());
}

} // namespace
