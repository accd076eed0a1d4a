// The records editor over the shared computer table: navigator, checks, grid, and the close cycle
// (save to "bilgisayar.ini", then rebuild the grid).
#include "ComputerListFile.h"
#include "ComputerTable.h"
#include "K_BilgisayarU.h"
#include "RecordNavigator.h"
#include "RecordsCycle.h"
#include "Skins.h"
#include "ui/OperatorMessages.h"

#include <QApplication>
#include <QFile>
#include <QLineEdit>
#include <QStyle>
#include <QStyleOptionFrame>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QToolButton>

#include <gtest/gtest.h>

#include <functional>

namespace {

struct ShownBox {
    QMessageBox::Icon Icon;
    QString Caption;
    QString Text;
    QMessageBox::StandardButtons Buttons;
};

QByteArray ReadFile(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// Opens a grid cell with the keyboard focus in its line editor; null when none opened there.
QLineEdit* OpenCell(TK_BilgisayarF& editor, int row, int column) {
    QTableView* grid = editor.Grid();
    grid->setFocus();
    grid->setCurrentIndex(grid->model()->index(row, column));
    grid->edit(grid->currentIndex());
    QWidget* cell = QApplication::focusWidget();
    return cell && grid->viewport()->isAncestorOf(cell) ? qobject_cast<QLineEdit*>(cell) : nullptr;
}

class RecordsEditorTest : public testing::Test {
protected:
    void SetUp() override {
        Table.SetCollatorLocale(QLocale(QLocale::Turkish, QLocale::Turkey));
        MainWindow.setWindowTitle(QStringLiteral("TARNOVEX LatisVNC s1.02.01f"));
        IniPath = Folder.filePath(QStringLiteral("bilgisayar.ini"));
        List = TComputerListFile(IniPath);
        OperatorMessages::SetBoxFunction([this](QWidget*, QMessageBox::Icon icon, const QString& caption,
                                                const QString& text, QMessageBox::StandardButtons buttons,
                                                QMessageBox::StandardButton) {
            Boxes.push_back({icon, caption, text, buttons});
            return Answer;
        });
    }
    void TearDown() override { OperatorMessages::SetBoxFunction({}); }

    void Add(const QString& name, const QString& ip, const QString& port, const QString& password) {
        Table.AppendRecord({name, ip, port, password});
    }

    // Runs the menu cycle; inside the modal editor, `work` acts and then the close box is pressed.
    bool RunCycle(const std::function<void(TK_BilgisayarF&)>& work) {
        QTimer::singleShot(0, [&] {
            ASSERT_NE(K_BilgisayarF, nullptr);
            ASSERT_TRUE(K_BilgisayarF->isVisible());
            work(*K_BilgisayarF);
            K_BilgisayarF->close();
        });
        return BilgisayarKayitlariCycle(Table, List, &MainWindow, [this] {
            Table.SortByName();
            ++Builds;
        });
    }

    TComputerTable Table;
    QWidget MainWindow;
    QTemporaryDir Folder;
    QString IniPath;
    TComputerListFile List;
    std::vector<ShownBox> Boxes;
    QMessageBox::StandardButton Answer = QMessageBox::Ok;
    int Builds = 0;
};

TEST_F(RecordsEditorTest, InsertThenCloseAtOnceSavesARecordWithPort5900AndEmptyFields) {
    QString caption;
    const bool saved = RunCycle([&](TK_BilgisayarF& editor) {
        caption = editor.windowTitle();
        editor.Navigator()->ButtonAt(TRecordNavigator::Insert)->click();
        EXPECT_EQ(editor.DBEdit(TComputerTable::PORT)->text(), QStringLiteral("5900"));
    });

    EXPECT_TRUE(saved);
    EXPECT_EQ(caption, MainWindow.windowTitle());
    EXPECT_TRUE(Boxes.empty()); // no check once the editor is gone
    ASSERT_EQ(Table.RecordCount(), 1);
    EXPECT_EQ(Table.GetState(), TComputerTable::State::Browse);
    EXPECT_EQ(ReadFile(IniPath),
              QByteArray("[RecNo1]\r\nBILGISAYARADI=\r\nIP=\r\nPORT=5900\r\nPASSWORD=\r\n"));
    EXPECT_EQ(Builds, 1);
    EXPECT_EQ(K_BilgisayarF, nullptr);
    EXPECT_FALSE(Table.EditorAttached());
}

TEST_F(RecordsEditorTest, NameWithoutAddressIsRefusedAndFocusGoesToTheAddressBox) {
    TK_BilgisayarF editor(Table, &MainWindow);
    editor.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&editor));
    editor.Navigator()->ButtonAt(TRecordNavigator::Insert)->click();
    editor.DBEdit(TComputerTable::BILGISAYARADI)->setFocus();
    QTest::keyClicks(editor.DBEdit(TComputerTable::BILGISAYARADI), QStringLiteral("Muhasebe"));
    editor.Navigator()->ButtonAt(TRecordNavigator::Post)->click();

    ASSERT_EQ(Boxes.size(), 1u);
    EXPECT_EQ(Boxes[0].Text, QStringLiteral("Bilgisayar IP sini giriniz."));
    EXPECT_EQ(Boxes[0].Caption, QStringLiteral("Bilgi"));
    EXPECT_EQ(Boxes[0].Icon, QMessageBox::Information);
    EXPECT_EQ(editor.focusWidget(), editor.DBEdit(TComputerTable::IP));
    EXPECT_EQ(Table.GetState(), TComputerTable::State::Insert);
    EXPECT_EQ(Table.FieldValue(TComputerTable::BILGISAYARADI), QStringLiteral("Muhasebe"));
    EXPECT_EQ(editor.DBEdit(TComputerTable::BILGISAYARADI)->text(), QStringLiteral("Muhasebe"));
    EXPECT_FALSE(QFile::exists(IniPath));

    // Moving away is refused the same way, and the grid stays on the pending record.
    Boxes.clear();
    editor.Navigator()->ButtonAt(TRecordNavigator::First)->click();
    ASSERT_EQ(Boxes.size(), 1u);
    EXPECT_EQ(Table.GetState(), TComputerTable::State::Insert);

    // With the address typed in, the post goes through.
    QTest::keyClicks(editor.DBEdit(TComputerTable::IP), QStringLiteral("10.0.0.5"));
    editor.Navigator()->ButtonAt(TRecordNavigator::Post)->click();
    EXPECT_EQ(Table.GetState(), TComputerTable::State::Browse);
    EXPECT_EQ(Table.FieldValue(TComputerTable::IP), QStringLiteral("10.0.0.5"));
    EXPECT_EQ(Table.FieldValue(TComputerTable::PORT), QStringLiteral("5900"));
}

TEST_F(RecordsEditorTest, EmptyNameIsCheckedFirstAndEmptyPortLast) {
    TK_BilgisayarF editor(Table, &MainWindow);
    editor.show();
    editor.Navigator()->ButtonAt(TRecordNavigator::Insert)->click();
    editor.Navigator()->ButtonAt(TRecordNavigator::Post)->click();
    ASSERT_EQ(Boxes.size(), 1u);
    EXPECT_EQ(Boxes[0].Text, QStringLiteral("Bilgisayar tanımını giriniz."));
    EXPECT_EQ(editor.focusWidget(), editor.DBEdit(TComputerTable::BILGISAYARADI));

    QTest::keyClicks(editor.DBEdit(TComputerTable::BILGISAYARADI), QStringLiteral("a"));
    QTest::keyClicks(editor.DBEdit(TComputerTable::IP), QStringLiteral("b"));
    editor.DBEdit(TComputerTable::PORT)->setFocus();
    editor.DBEdit(TComputerTable::PORT)->selectAll();
    QTest::keyClick(editor.DBEdit(TComputerTable::PORT), Qt::Key_Backspace);
    editor.Navigator()->ButtonAt(TRecordNavigator::Post)->click();
    ASSERT_EQ(Boxes.size(), 2u);
    EXPECT_EQ(Boxes[1].Text, QStringLiteral("Bağlantı portunu giriniz."));
    EXPECT_EQ(editor.focusWidget(), editor.DBEdit(TComputerTable::PORT));
}

TEST_F(RecordsEditorTest, DeleteAnsweredWithCancelKeepsTheRecordAndOkDeletesIt) {
    Add(QStringLiteral("A"), QStringLiteral("1.1.1.1"), QStringLiteral("5900"), QString());
    Add(QStringLiteral("B"), QStringLiteral("2.2.2.2"), QStringLiteral("5901"), QString());
    TK_BilgisayarF editor(Table, &MainWindow);
    editor.show();
    Table.First();

    Answer = QMessageBox::Cancel;
    editor.Navigator()->ButtonAt(TRecordNavigator::Delete)->click();
    ASSERT_EQ(Boxes.size(), 1u);
    EXPECT_EQ(Boxes[0].Text, QStringLiteral("Delete record?"));
    EXPECT_EQ(Boxes[0].Buttons, QMessageBox::Ok | QMessageBox::Cancel);
    EXPECT_EQ(Table.RecordCount(), 2);
    EXPECT_EQ(editor.DBEdit(TComputerTable::BILGISAYARADI)->text(), QStringLiteral("A"));

    Answer = QMessageBox::Ok;
    editor.Navigator()->ButtonAt(TRecordNavigator::Delete)->click();
    EXPECT_EQ(Table.RecordCount(), 1);
    EXPECT_EQ(editor.DBEdit(TComputerTable::BILGISAYARADI)->text(), QStringLiteral("B"));
}

TEST_F(RecordsEditorTest, ClosingWithoutChangesRewritesTheFileInNameOrderAndRebuilds) {
    {
        QFile file(IniPath);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write("[RecNo1]\r\nBILGISAYARADI=b\r\nIP=10.0.0.2\r\nPORT=5900\r\nPASSWORD=x\r\n\r\n"
                   "[RecNo2]\r\nBILGISAYARADI=A\r\nIP=10.0.0.1\r\nPORT=5901\r\nPASSWORD=\r\n");
    }
    List.Load(Table);
    Table.SortByName(); // as the first grid build left it
    const bool saved = RunCycle([](TK_BilgisayarF&) {});

    EXPECT_TRUE(saved);
    EXPECT_EQ(Builds, 1);
    EXPECT_TRUE(Boxes.empty());
    EXPECT_EQ(ReadFile(IniPath),
              QByteArray("[RecNo1]\r\nBILGISAYARADI=A\r\nIP=10.0.0.1\r\nPORT=5901\r\nPASSWORD=\r\n"
                         "[RecNo2]\r\nBILGISAYARADI=b\r\nIP=10.0.0.2\r\nPORT=5900\r\nPASSWORD=x\r\n"));
}

TEST_F(RecordsEditorTest, AFailedSaveIsReportedAndTheGridIsNotRebuilt) {
    Add(QStringLiteral("A"), QStringLiteral("1.1.1.1"), QStringLiteral("5900"), QString());
    IniPath = Folder.filePath(QStringLiteral("missing-folder/bilgisayar.ini"));
    List = TComputerListFile(IniPath);
    const bool saved = RunCycle([](TK_BilgisayarF&) {});

    EXPECT_FALSE(saved);
    EXPECT_EQ(Builds, 0);
    ASSERT_EQ(Boxes.size(), 1u);
    EXPECT_TRUE(Boxes[0].Text.startsWith(QStringLiteral("Unable to write to ") + IniPath + u'\n'));
    EXPECT_EQ(Boxes[0].Icon, QMessageBox::Critical);
}

TEST_F(RecordsEditorTest, GridShowsTheSameCurrentRecordAndNeverThePassword) {
    Add(QStringLiteral("A"), QStringLiteral("1.1.1.1"), QStringLiteral("5900"), QStringLiteral("gizli1"));
    Add(QStringLiteral("B"), QStringLiteral("2.2.2.2"), QStringLiteral("5901"), QStringLiteral("gizli2"));
    Add(QStringLiteral("C"), QStringLiteral("3.3.3.3"), QStringLiteral("5902"), QStringLiteral("gizli3"));
    Table.First();
    TK_BilgisayarF editor(Table, &MainWindow);
    editor.show();
    QTableView* grid = editor.Grid();

    ASSERT_EQ(grid->model()->columnCount(), 5); // name, address, port, group, user name
    EXPECT_EQ(grid->model()->headerData(4, Qt::Horizontal).toString(), QStringLiteral("Kullanıcı"));
    EXPECT_EQ(grid->model()->headerData(0, Qt::Horizontal).toString(), QStringLiteral("Tanımı"));
    EXPECT_EQ(grid->model()->headerData(1, Qt::Horizontal).toString(), QStringLiteral("Ip"));
    EXPECT_EQ(grid->model()->headerData(2, Qt::Horizontal).toString(), QStringLiteral("Port"));
    EXPECT_EQ(grid->columnWidth(0), 189);
    for (int row = 0; row < 3; ++row)
        for (int column = 0; column < 3; ++column)
            EXPECT_FALSE(
                grid->model()->index(row, column).data().toString().startsWith(QStringLiteral("gizli")));
    QLineEdit* password = editor.DBEdit(TComputerTable::PASSWORD);
    EXPECT_EQ(password->echoMode(), QLineEdit::Password);
    QStyleOptionFrame option;
    option.initFrom(password);
    EXPECT_EQ(password->style()->styleHint(QStyle::SH_LineEdit_PasswordCharacter, &option, password),
              int(u'*'));
    EXPECT_EQ(editor.DBEdit(TComputerTable::PASSWORD)->text(), QStringLiteral("gizli1"));

    editor.Navigator()->ButtonAt(TRecordNavigator::Next)->click();
    EXPECT_EQ(grid->currentIndex().row(), 1);
    EXPECT_EQ(editor.DBEdit(TComputerTable::IP)->text(), QStringLiteral("2.2.2.2"));

    grid->setCurrentIndex(grid->model()->index(2, 0));
    EXPECT_EQ(Table.RecNo(), 2);
    EXPECT_EQ(editor.DBEdit(TComputerTable::BILGISAYARADI)->text(), QStringLiteral("C"));
    EXPECT_FALSE(editor.Navigator()->ButtonAt(TRecordNavigator::Next)->isEnabled());
    EXPECT_TRUE(editor.Navigator()->ButtonAt(TRecordNavigator::First)->isEnabled());

    // Typing into a grid cell edits the current record and the edit box follows.
    grid->model()->setData(grid->model()->index(2, 1), QStringLiteral("9.9.9.9"));
    EXPECT_EQ(Table.GetState(), TComputerTable::State::Edit);
    EXPECT_EQ(editor.DBEdit(TComputerTable::IP)->text(), QStringLiteral("9.9.9.9"));
    editor.Navigator()->ButtonAt(TRecordNavigator::Cancel)->click();
    EXPECT_EQ(editor.DBEdit(TComputerTable::IP)->text(), QStringLiteral("3.3.3.3"));
    EXPECT_EQ(Table.GetState(), TComputerTable::State::Browse);
}

TEST_F(RecordsEditorTest, TypingIntoAGridCellEditsTheRecordAndPostCommitsIt) {
    Add(QStringLiteral("A"), QStringLiteral("1.1.1.1"), QStringLiteral("5900"), QString());
    Table.First();
    TK_BilgisayarF editor(Table, &MainWindow);
    editor.show();
    editor.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&editor));
    QLineEdit* line = OpenCell(editor, 0, 1);
    ASSERT_NE(line, nullptr);
    line->selectAll();
    QTest::keyClicks(line, QStringLiteral("7.7.7.7"));
    EXPECT_EQ(Table.GetState(), TComputerTable::State::Edit); // the first key starts editing
    EXPECT_EQ(editor.DBEdit(TComputerTable::IP)->text(), QStringLiteral("7.7.7.7"));

    editor.Navigator()->ButtonAt(TRecordNavigator::Post)->click();
    EXPECT_EQ(Table.Value(0, TComputerTable::IP), QStringLiteral("7.7.7.7"));
    EXPECT_EQ(Table.GetState(), TComputerTable::State::Browse);
    EXPECT_EQ(editor.DBEdit(TComputerTable::IP)->text(), QStringLiteral("7.7.7.7"));
}

TEST_F(RecordsEditorTest, AGridCellOpenedAndLeftUnchangedChangesNothing) {
    Add(QStringLiteral("A"), QStringLiteral("1.1.1.1"), QStringLiteral("5900"), QString());
    Add(QStringLiteral("B"), QStringLiteral("2.2.2.2"), QStringLiteral("5900"), QString());
    Table.First();
    TK_BilgisayarF editor(Table, &MainWindow);
    editor.show();
    editor.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&editor));
    QLineEdit* cell = OpenCell(editor, 0, 1);
    ASSERT_NE(cell, nullptr);
    QTest::keyClick(cell, Qt::Key_Tab); // leaves the cell, committing its text
    EXPECT_EQ(Table.GetState(), TComputerTable::State::Browse);
    EXPECT_FALSE(editor.Navigator()->ButtonAt(TRecordNavigator::Post)->isEnabled());
}

TEST_F(RecordsEditorTest, EscapeFirstCancelsAnOpenCellThenClosesTheEditorAsTheCloseBoxDoes) {
    Add(QStringLiteral("A"), QStringLiteral("1.1.1.1"), QStringLiteral("5900"), QString());
    Add(QStringLiteral("B"), QStringLiteral("2.2.2.2"), QStringLiteral("5900"), QString());
    Table.First();
    bool stillOpenAfterCellEscape = false;
    QTimer::singleShot(0, [&] {
        TK_BilgisayarF& editor = *K_BilgisayarF;
        editor.activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(&editor));
        // A cell opened on a committed record: its typing is taken back and the record is committed again.
        QLineEdit* cell = OpenCell(editor, 0, 1);
        ASSERT_NE(cell, nullptr);
        cell->selectAll();
        QTest::keyClicks(cell, QStringLiteral("7.7.7.7"));
        ASSERT_EQ(Table.GetState(), TComputerTable::State::Edit);
        QTest::keyClick(cell, Qt::Key_Escape);
        stillOpenAfterCellEscape = editor.isVisible();
        EXPECT_EQ(Table.GetState(), TComputerTable::State::Browse);
        EXPECT_EQ(Table.Value(0, TComputerTable::IP), QStringLiteral("1.1.1.1"));
        EXPECT_EQ(editor.DBEdit(TComputerTable::IP)->text(), QStringLiteral("1.1.1.1"));
        // A record already being edited: the cell gives back only its own value.
        QTest::keyClicks(editor.DBEdit(TComputerTable::BILGISAYARADI), QStringLiteral("x"));
        cell = OpenCell(editor, 0, 2);
        ASSERT_NE(cell, nullptr);
        QTest::keyClicks(cell, QStringLiteral("1"));
        QTest::keyClick(cell, Qt::Key_Escape);
        EXPECT_EQ(Table.FieldValue(TComputerTable::PORT), QStringLiteral("5900"));
        EXPECT_EQ(Table.FieldValue(TComputerTable::BILGISAYARADI), QStringLiteral("Ax"));
        // An edit box works the same: its own typing first, then the record's pending change.
        QLineEdit* ip = editor.DBEdit(TComputerTable::IP);
        ip->setFocus();
        QTest::keyClicks(ip, QStringLiteral("9"));
        QTest::keyClick(ip, Qt::Key_Escape);
        EXPECT_EQ(Table.FieldValue(TComputerTable::IP), QStringLiteral("1.1.1.1"));
        EXPECT_EQ(Table.FieldValue(TComputerTable::BILGISAYARADI), QStringLiteral("Ax"));
        QTest::keyClick(ip, Qt::Key_Escape);
        EXPECT_EQ(Table.GetState(), TComputerTable::State::Browse);
        EXPECT_EQ(Table.FieldValue(TComputerTable::BILGISAYARADI), QStringLiteral("A"));
        // Typing taken back in a record that had no other change leaves nothing being edited.
        QTest::keyClicks(ip, QStringLiteral("9"));
        QTest::keyClick(ip, Qt::Key_Escape);
        EXPECT_EQ(Table.GetState(), TComputerTable::State::Browse);
        stillOpenAfterCellEscape = stillOpenAfterCellEscape && editor.isVisible();
        // With nothing being edited, Escape closes the window as the close box does.
        QTest::keyClick(ip, Qt::Key_Escape);
    });
    QObject thisTestOnly;
    bool forcedClose = false;
    QTimer::singleShot(20000, &thisTestOnly, [&forcedClose] {
        if (K_BilgisayarF) { // Escape did not close it: end the test rather than hang
            forcedClose = true;
            K_BilgisayarF->done(QDialog::Rejected);
        }
    });
    EXPECT_TRUE(BilgisayarKayitlariCycle(Table, List, &MainWindow, [this] { ++Builds; }));
    EXPECT_TRUE(stillOpenAfterCellEscape);
    EXPECT_FALSE(forcedClose);
    EXPECT_EQ(Builds, 1);
    EXPECT_TRUE(Boxes.empty());
    EXPECT_TRUE(ReadFile(IniPath).contains("BILGISAYARADI=A\r\nIP=1.1.1.1\r\nPORT=5900\r\n"));
}

TEST_F(RecordsEditorTest, PortTakesOnlyOneTo65535AndPlusStartsAtTheFirstField) {
    TK_BilgisayarF editor(Table, &MainWindow);
    editor.show();
    editor.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&editor));
    QLineEdit* port = editor.DBEdit(TComputerTable::PORT);
    port->setFocus(); // the cursor was left in the port box
    editor.Navigator()->ButtonAt(TRecordNavigator::Insert)->click();
    EXPECT_EQ(QApplication::focusWidget(), editor.DBEdit(TComputerTable::BILGISAYARADI));
    QTest::keyClicks(editor.DBEdit(TComputerTable::BILGISAYARADI), QStringLiteral("Kasa"));
    QTest::keyClicks(editor.DBEdit(TComputerTable::IP), QStringLiteral("10.0.0.8"));

    port->setFocus();
    port->selectAll();
    QTest::keyClicks(port, QStringLiteral("70000"));
    EXPECT_EQ(Table.FieldValue(TComputerTable::PORT), QStringLiteral("7000"));
    QTest::keyClicks(port, QStringLiteral("Metin"));
    EXPECT_EQ(Table.FieldValue(TComputerTable::PORT), QStringLiteral("7000"));

    // What the box lets through but no computer listens on is refused by the check, and by the close.
    port->selectAll();
    QTest::keyClicks(port, QStringLiteral("0"));
    editor.Navigator()->ButtonAt(TRecordNavigator::Post)->click();
    ASSERT_EQ(Boxes.size(), 1u);
    EXPECT_EQ(Boxes[0].Text, QStringLiteral("Port 1 ile 65535 arasında bir sayı olmalıdır."));
    EXPECT_EQ(Table.GetState(), TComputerTable::State::Insert);
    EXPECT_FALSE(editor.close());
    EXPECT_EQ(Boxes.size(), 2u);
    EXPECT_TRUE(editor.isVisible());

    // A grid cell follows the same rule.
    QTest::keyClicks(port, QStringLiteral("5901"));
    editor.Navigator()->ButtonAt(TRecordNavigator::Post)->click();
    EXPECT_EQ(Table.GetState(), TComputerTable::State::Browse);
    QLineEdit* cell = OpenCell(editor, 0, 2);
    ASSERT_NE(cell, nullptr);
    cell->selectAll();
    QTest::keyClicks(cell, QStringLiteral("65536"));
    EXPECT_EQ(Table.FieldValue(TComputerTable::PORT), QStringLiteral("6553"));
}

TEST_F(RecordsEditorTest, PasswordShowsAStarForEveryCharacterAlsoUnderASkin) {
    Add(QStringLiteral("A"), QStringLiteral("1.1.1.1"), QStringLiteral("5900"), QStringLiteral("latis"));
    Table.First();
    for (const QString& skin : BuiltInSkinNames()) {
        ApplySkin(skin);
        TK_BilgisayarF editor(Table, &MainWindow);
        editor.show();
        EXPECT_EQ(editor.DBEdit(TComputerTable::PASSWORD)->displayText(), QStringLiteral("*****"))
            << skin.toStdString();
    }
    qApp->setStyleSheet(QString());
}

TEST_F(RecordsEditorTest, EditBoxesAcceptAtMostFiftyCharacters) {
    TK_BilgisayarF editor(Table, &MainWindow);
    editor.show();
    editor.Navigator()->ButtonAt(TRecordNavigator::Insert)->click();
    QTest::keyClicks(editor.DBEdit(TComputerTable::BILGISAYARADI), QString(60, QLatin1Char('x')));
    EXPECT_EQ(Table.FieldValue(TComputerTable::BILGISAYARADI).size(), 50);
}

TEST_F(RecordsEditorTest, ChecksAndDefaultApplyOnlyWhileTheEditorExists) {
    {
        TK_BilgisayarF editor(Table, &MainWindow);
        EXPECT_EQ(K_BilgisayarF, &editor);
        EXPECT_TRUE(Table.EditorAttached());
    }
    EXPECT_EQ(K_BilgisayarF, nullptr);
    Table.Insert();
    EXPECT_EQ(Table.FieldValue(TComputerTable::PORT), QString());
    EXPECT_TRUE(Table.Post());
    EXPECT_TRUE(Boxes.empty());
}

} // namespace
