// The records editor's close cycle against the list's file: a file the program could not fully read is
// never written over, a file changed by someone else is never overwritten silently, and a failed save
// loses nothing.
#include "AnaForm.h"
#include "ComputerListFile.h"
#include "ComputerTable.h"
#include "K_BilgisayarU.h"
#include "RecordNavigator.h"
#include "RecordsCycle.h"
#include "UnprivilegedFiles.h"
#include "ui/OperatorMessages.h"

#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QToolButton>

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <functional>

namespace {

QByteArray ReadFile(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void WriteFile(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(bytes);
}

// The operator adds one computer through the edit boxes.
void AddComputer(TK_BilgisayarF& editor, const QString& name, const QString& ip) {
    editor.Navigator()->ButtonAt(TRecordNavigator::Insert)->click();
    QTest::keyClicks(editor.DBEdit(TComputerTable::BILGISAYARADI), name);
    QTest::keyClicks(editor.DBEdit(TComputerTable::IP), ip);
    editor.Navigator()->ButtonAt(TRecordNavigator::Post)->click();
}

class ComputerListCycle : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(Folder.isValid());
        IniPath = Folder.filePath(QStringLiteral("bilgisayar.ini"));
        List = TComputerListFile(IniPath);
        OperatorMessages::SetBoxFunction([this](QWidget*, QMessageBox::Icon, const QString&,
                                                const QString& text, QMessageBox::StandardButtons,
                                                QMessageBox::StandardButton) {
            Texts.append(text);
            return Answer;
        });
    }
    void TearDown() override { OperatorMessages::SetBoxFunction({}); }

    bool RunCycle(const std::function<void(TK_BilgisayarF&)>& work) {
        QTimer::singleShot(0, [&] {
            ASSERT_NE(K_BilgisayarF, nullptr);
            work(*K_BilgisayarF);
            K_BilgisayarF->close();
        });
        return BilgisayarKayitlariCycle(Table, List, &Window, [this] { ++Builds; });
    }

    QTemporaryDir Folder;
    QString IniPath;
    TComputerListFile List;
    TComputerTable Table;
    QWidget Window;
    QStringList Texts;
    QMessageBox::StandardButton Answer = QMessageBox::Ok;
    int Builds = 0;
};

} // namespace

// Each way the list can be unreadable: the file stays as it is after the editor closes, with or without
// records added; the operator is told which file and what is wrong, and where the additions went.
TEST_F(ComputerListCycle, AListThatCouldNotBeReadIsNeverWrittenOver) {
    struct Kind {
        const char* Name;
        QByteArray Bytes;
        mode_t Mode;
        TListState State;
        QString Says;
    };
    const QString record = QStringLiteral("[RecNo1]\r\nBILGISAYARADI=Ofis\r\nIP=10.0.0.5\r\nPORT=5900\r\n");
    QByteArray utf16 = "\xFF\xFE";
    for (const QChar c : record)
        utf16 += QByteArray(1, char(c.unicode())) + QByteArray(1, '\0');
    const Kind kinds[] = {
        {"no permission", record.toUtf8(), 0600, TListState::Unreadable, QStringLiteral("izin yok")},
        {"UTF-16", utf16, 0644, TListState::Undecodable, QStringLiteral("UTF-16")},
        {"no records", "BILGISAYARADI=Ofis\r\nIP=10.0.0.5\r\n", 0644, TListState::NoRecords,
         QStringLiteral("hiç kayıt yok")},
    };
    // Root reads any file: the cycle runs as an unprivileged user in a folder open to all.
    ASSERT_EQ(::chmod(QFile::encodeName(Folder.path()).constData(), 0777), 0);
    for (const Kind& kind : kinds) {
        SCOPED_TRACE(kind.Name);
        QFile::remove(List.CopyPath());
        WriteFile(IniPath, kind.Bytes);
        ASSERT_EQ(::chmod(QFile::encodeName(IniPath).constData(), kind.Mode), 0);
        UnprivilegedFiles unprivileged;
        Texts.clear();
        EXPECT_EQ(List.Load(Table), kind.State);
        EXPECT_TRUE(Table.IsEmpty());

        EXPECT_TRUE(RunCycle([](TK_BilgisayarF&) {})); // open, close box
        ASSERT_EQ(Texts.size(), 1);
        EXPECT_TRUE(Texts[0].contains(IniPath));
        EXPECT_TRUE(Texts[0].contains(kind.Says)) << Texts[0].toStdString();
        EXPECT_FALSE(QFile::exists(List.CopyPath()));

        EXPECT_TRUE(RunCycle([](TK_BilgisayarF& editor) {
            AddComputer(editor, QStringLiteral("Depo"), QStringLiteral("10.0.0.9"));
        }));
        ASSERT_EQ(Texts.size(), 3);
        EXPECT_TRUE(Texts[2].contains(List.CopyPath()));
        EXPECT_TRUE(ReadFile(List.CopyPath()).contains("BILGISAYARADI=Depo\r\nIP=10.0.0.9\r\n"));

        struct stat st {};
        ASSERT_EQ(::stat(QFile::encodeName(IniPath).constData(), &st), 0);
        EXPECT_EQ(st.st_mode & 0777, kind.Mode);
        ::setfsuid(0);
        EXPECT_EQ(ReadFile(IniPath), kind.Bytes);
    }
}

TEST_F(ComputerListCycle, AFileChangedOnDiskIsTakenOrTheOperatorChooses) {
    const QByteArray first = "[RecNo1]\r\nBILGISAYARADI=Ofis\r\nIP=10.0.0.5\r\nPORT=5900\r\nPASSWORD=\r\n";
    const QByteArray outside = first + "[RecNo2]\r\nBILGISAYARADI=Depo\r\nIP=10.0.0.9\r\nPORT=5900\r\n";
    WriteFile(IniPath, first);
    ASSERT_EQ(List.Load(Table), TListState::Read);

    // Added in a text editor meanwhile, nothing changed here: the file's list is taken as it is.
    WriteFile(IniPath, outside);
    EXPECT_TRUE(RunCycle([](TK_BilgisayarF&) {}));
    EXPECT_TRUE(Texts.isEmpty());
    EXPECT_EQ(ReadFile(IniPath), outside);
    EXPECT_EQ(Table.RecordCount(), 2);
    EXPECT_EQ(Builds, 1);

    // Changed on both sides: asked; Cancel writes nothing and keeps the edits for the next opening.
    const QByteArray second = outside + "[RecNo3]\r\nBILGISAYARADI=Arsiv\r\nIP=10.0.0.7\r\n";
    WriteFile(IniPath, second);
    Answer = QMessageBox::Cancel;
    EXPECT_FALSE(RunCycle([](TK_BilgisayarF& editor) {
        AddComputer(editor, QStringLiteral("Kasa"), QStringLiteral("10.0.0.8"));
    }));
    ASSERT_EQ(Texts.size(), 1);
    EXPECT_TRUE(Texts[0].contains(IniPath));
    EXPECT_EQ(ReadFile(IniPath), second);
    EXPECT_EQ(Table.RecordCount(), 2); // what the file held when last read
    EXPECT_EQ(Builds, 1);

    // Opened again: the edits are back; Yes saves them and keeps the outside version beside.
    Answer = QMessageBox::Yes;
    int rowsWhenOpen = 0;
    EXPECT_TRUE(RunCycle([&](TK_BilgisayarF&) { rowsWhenOpen = Table.RecordCount(); }));
    EXPECT_EQ(rowsWhenOpen, 3);
    EXPECT_EQ(ReadFile(List.BackupPath()), second);
    EXPECT_TRUE(ReadFile(IniPath).contains("BILGISAYARADI=Kasa\r\nIP=10.0.0.8\r\n"));
    EXPECT_FALSE(ReadFile(IniPath).contains("Arsiv"));
    EXPECT_EQ(Builds, 2);

    // No takes the file's list and drops the edits.
    WriteFile(IniPath, second);
    Answer = QMessageBox::No;
    EXPECT_TRUE(RunCycle([](TK_BilgisayarF& editor) {
        AddComputer(editor, QStringLiteral("Bos"), QStringLiteral("10.0.0.1"));
    }));
    EXPECT_EQ(ReadFile(IniPath), second);
    EXPECT_EQ(Table.RecordCount(), 3);
    EXPECT_EQ(Table.Value(2, TComputerTable::BILGISAYARADI), QStringLiteral("Arsiv"));
}

TEST_F(ComputerListCycle, AFailedSaveIsOfferedAgainAndGivenUpKeepsTheEditsForLater) {
    const QByteArray first = "[RecNo1]\r\nBILGISAYARADI=Ofis\r\nIP=10.0.0.5\r\nPORT=5900\r\nPASSWORD=\r\n";
    WriteFile(IniPath, first);
    ASSERT_EQ(List.Load(Table), TListState::Read);
    ASSERT_EQ(::chmod(QFile::encodeName(Folder.path()).constData(), 0555), 0);
    {
        UnprivilegedFiles unprivileged;
        // Retry once (still failing), then give up.
        OperatorMessages::SetBoxFunction([this](QWidget*, QMessageBox::Icon icon, const QString&,
                                                const QString& text, QMessageBox::StandardButtons buttons,
                                                QMessageBox::StandardButton) {
            EXPECT_EQ(icon, QMessageBox::Critical);
            EXPECT_EQ(buttons, QMessageBox::Retry | QMessageBox::Cancel);
            Texts.append(text);
            return Texts.size() == 1 ? QMessageBox::Retry : QMessageBox::Cancel;
        });
        EXPECT_FALSE(RunCycle([](TK_BilgisayarF& editor) {
            AddComputer(editor, QStringLiteral("Depo"), QStringLiteral("10.0.0.9"));
        }));
        ASSERT_EQ(Texts.size(), 2);
        EXPECT_TRUE(Texts[0].startsWith(QStringLiteral("Unable to write to ") + IniPath + u'\n'));
        EXPECT_TRUE(Texts[0].contains(QStringLiteral("kaydedilemedi")));
        EXPECT_EQ(Builds, 0);
        EXPECT_EQ(Table.RecordCount(), 1); // what is on disk, for the settings dialog's rebuild too
    }
    ASSERT_EQ(::chmod(QFile::encodeName(Folder.path()).constData(), 0755), 0);
    Texts.clear();
    OperatorMessages::SetBoxFunction([this](QWidget*, QMessageBox::Icon, const QString&, const QString& text,
                                            QMessageBox::StandardButtons, QMessageBox::StandardButton) {
        Texts.append(text);
        return QMessageBox::Ok;
    });
    EXPECT_TRUE(RunCycle([](TK_BilgisayarF&) {}));
    ASSERT_EQ(Texts.size(), 1); // the edits are back
    EXPECT_TRUE(ReadFile(IniPath).contains("BILGISAYARADI=Depo\r\nIP=10.0.0.9\r\n"));
    EXPECT_EQ(Builds, 1);
}

// Installed in a folder the user cannot write, the program keeps its files in the data folder; a list
// placed beside the program is read, and the first save puts it in the data folder (and says so).
TEST_F(ComputerListCycle, AListBesideAReadOnlyProgramIsUsedAndSavedToTheDataFolder) {
    const QString program = Folder.filePath(QStringLiteral("program"));
    ASSERT_TRUE(QDir().mkpath(program));
    const QString beside = program + QStringLiteral("/bilgisayar.ini");
    const QByteArray listed = "[RecNo1]\r\nBILGISAYARADI=Ofis\r\nIP=10.0.0.5\r\nPORT=5900\r\nPASSWORD=\r\n";
    WriteFile(beside, listed);
    ASSERT_EQ(::chmod(QFile::encodeName(program).constData(), 0555), 0);
    List = TComputerListFile(IniPath, beside);
    ASSERT_EQ(List.Load(Table), TListState::Read);
    EXPECT_EQ(Table.RecordCount(), 1);

    EXPECT_TRUE(RunCycle([](TK_BilgisayarF&) {}));
    EXPECT_EQ(ReadFile(IniPath), listed);
    EXPECT_EQ(ReadFile(beside), listed);
    ASSERT_EQ(Texts.size(), 1);
    EXPECT_TRUE(Texts[0].contains(IniPath) && Texts[0].contains(beside));
    EXPECT_EQ(List.ReadPath(), IniPath);
    ::chmod(QFile::encodeName(program).constData(), 0755);
}

// Edits kept after a failed save do not vanish with the program: closing asks first.
TEST_F(ComputerListCycle, ClosingTheProgramWithUnsavedEditsAsksFirst) {
    const QString folder = Folder.path() + u'/';
    WriteFile(IniPath, "[RecNo1]\r\nBILGISAYARADI=Ofis\r\nIP=10.0.0.5\r\nPORT=5900\r\nPASSWORD=\r\n");
    TAnaFormF form(folder);
    ASSERT_EQ(::chmod(QFile::encodeName(Folder.path()).constData(), 0555), 0);
    {
        UnprivilegedFiles unprivileged;
        Answer = QMessageBox::Cancel; // gives up retrying
        QTimer::singleShot(0, [] {
            AddComputer(*K_BilgisayarF, QStringLiteral("Depo"), QStringLiteral("10.0.0.9"));
            K_BilgisayarF->close();
        });
        form.BilgisayarKayitlari1Click();
    }
    ::chmod(QFile::encodeName(Folder.path()).constData(), 0755);
    ASSERT_TRUE(form.ComputerList().HasUnsaved());
    form.show();
    Texts.clear();
    EXPECT_FALSE(form.close()); // Cancel: stays open
    ASSERT_EQ(Texts.size(), 1);
    EXPECT_TRUE(form.isVisible());
    Answer = QMessageBox::No;
    EXPECT_TRUE(form.close());
}
