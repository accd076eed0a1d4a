#include "AnaForm.h"
#include "ComputerTable.h"
#include "Deployment.h"
#include "UnprivilegedFiles.h"
#include "ui/OperatorMessages.h"
#include "ui/TurkishTexts.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMessageBox>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>
#include <QWidget>

#include <gtest/gtest.h>
#include <sys/fsuid.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

QByteArray ReadAll(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

bool AnyModalWindow() {
    return QApplication::activeModalWidget() != nullptr;
}

} // namespace

TEST(Startup, FirstStartInAnEmptyFolderWritesTheHelpButNoComputerList) {
    QTemporaryDir dir;
    const QString folder = dir.path() + u'/';
    TAnaFormF form(folder);
    EXPECT_EQ(form.windowTitle(), QStringLiteral("TARNOVEX LatisVNC s1.02.01f"));
    EXPECT_EQ(ReadAll(folder + QStringLiteral("yardim.pdf")), ReadAll(EmbeddedHelpResource()));
    EXPECT_TRUE(ReadAll(folder + QStringLiteral("yardim.pdf")).startsWith("%PDF"));
    EXPECT_FALSE(QFileInfo::exists(folder + QStringLiteral("bilgisayar.ini")));
    EXPECT_TRUE(form.RxBilgisayar()->IsEmpty());
    // The control library is written only when the program carries one.
    EXPECT_EQ(QFileInfo::exists(folder + QStringLiteral("libdova.so")),
              QFileInfo::exists(EmbeddedControlLibraryResource()));
}

TEST(Startup, ChangedHelpIsReplacedAndAnExistingLibraryIsKept) {
    QTemporaryDir dir;
    const QString folder = dir.path() + u'/';
    QFile help(folder + QStringLiteral("yardim.pdf"));
    ASSERT_TRUE(help.open(QIODevice::WriteOnly));
    help.write("changed by the user");
    help.close();
    QFile library(folder + QStringLiteral("libdova.so"));
    ASSERT_TRUE(library.open(QIODevice::WriteOnly));
    library.write("another build");
    library.close();
    TAnaFormF form(folder);
    EXPECT_EQ(ReadAll(folder + QStringLiteral("yardim.pdf")), ReadAll(EmbeddedHelpResource()));
    EXPECT_EQ(ReadAll(folder + QStringLiteral("libdova.so")), QByteArray("another build"));
}

TEST(Startup, ReadOnlyProgramFolderStartsSilently) {
    QTemporaryDir dir;
    ASSERT_EQ(::chmod(QFile::encodeName(dir.path()).constData(), 0755), 0);
    const QString folder = dir.path() + QStringLiteral("/program/");
    ASSERT_TRUE(QDir().mkpath(folder));
    QFile list(folder + QStringLiteral("bilgisayar.ini"));
    ASSERT_TRUE(list.open(QIODevice::WriteOnly));
    list.write("[RecNo1]\r\nBILGISAYARADI=ofis\r\nIP=127.0.0.1\r\nPORT=1\r\n");
    list.close();
    ASSERT_EQ(::chmod(QFile::encodeName(folder).constData(), 0555), 0);
    {
        UnprivilegedFiles unprivileged;
        // Check that the folder really is read-only for this thread before trusting the test.
        QFile probe(folder + QStringLiteral("probe"));
        ASSERT_FALSE(probe.open(QIODevice::WriteOnly));

        TAnaFormF form(folder);
        form.ShowMain();
        form.FormActivate();
        QApplication::processEvents();
        EXPECT_FALSE(AnyModalWindow());
        EXPECT_EQ(form.RxBilgisayar()->RecordCount(), 1);
        EXPECT_EQ(form.Tiles().size(), 1);
        form.close(); // the settings cannot be written either: still no message
        EXPECT_FALSE(AnyModalWindow());
    }
    EXPECT_EQ(QDir(folder).entryList(QDir::Files), QStringList{QStringLiteral("bilgisayar.ini")});
    ::chmod(QFile::encodeName(folder).constData(), 0755);
}

TEST(Startup, AListThatCannotBeReadIsNamedOnceTheGridIsUpAndLeftAlone) {
    QTemporaryDir dir;
    const QString folder = dir.path() + u'/';
    const QByteArray unicode("\xFF\xFE[\0R\0e\0c\0N\0o\0\x31\0]\0", 18);
    QFile list(folder + QStringLiteral("bilgisayar.ini"));
    ASSERT_TRUE(list.open(QIODevice::WriteOnly));
    list.write(unicode);
    list.close();
    QStringList texts;
    OperatorMessages::SetBoxFunction([&texts](QWidget*, QMessageBox::Icon, const QString&,
                                              const QString& text, QMessageBox::StandardButtons,
                                              QMessageBox::StandardButton) {
        texts.append(text);
        return QMessageBox::Ok;
    });
    {
        TAnaFormF form(folder);
        form.FormActivate();
        QApplication::processEvents(); // the first grid build, then the box
        QApplication::processEvents();
        ASSERT_EQ(texts.size(), 1);
        EXPECT_TRUE(texts[0].contains(folder + QStringLiteral("bilgisayar.ini")));
        EXPECT_TRUE(form.RxBilgisayar()->IsEmpty());
    }
    OperatorMessages::SetBoxFunction({});
    EXPECT_EQ(ReadAll(folder + QStringLiteral("bilgisayar.ini")), unicode);
}

// The operator's message boxes speak Turkish: Qt's translation is found where Debian installs it, and
// our boxes name their buttons in Turkish even without it.
TEST(Startup, MessageBoxesSpeakTurkish) {
    QStringList texts;
    QTimer::singleShot(0, [&] {
        if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
            for (QAbstractButton* button : box->buttons())
                texts << button->text();
            box->reject();
        }
    });
    OperatorMessages::AskYesNoCancel(nullptr, QStringLiteral("Klavye ve mouse kontrolü aktif olsun mu ?"));
    texts.sort();
    EXPECT_EQ(texts, (QStringList{QStringLiteral("Evet"), QStringLiteral("Hayır"), QStringLiteral("İptal")}));

    ASSERT_TRUE(InstallQtTurkishTranslation(*QCoreApplication::instance(), QStringLiteral("/nonexistent/")))
        << "qt6-translations-l10n is not installed";
    EXPECT_EQ(QCoreApplication::translate("QPlatformTheme", "Cancel"), QStringLiteral("İptal"));
}
