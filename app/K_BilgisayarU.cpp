#include "K_BilgisayarU.h"

#include "ComputerTable.h"
#include "EditorCellDelegate.h"
#include "EditorGridModel.h"
#include "PortValidator.h"
#include "RecordNavigator.h"
#include "ui/FormHeader.h"
#include "ui/OperatorMessages.h"

#include <QCoreApplication>
#include <QFrame>
#include <QGuiApplication>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QScreen>
#include <QTableView>
#include <QTimer>
#include <QToolButton>

TK_BilgisayarF* K_BilgisayarF = nullptr;

namespace {

constexpr int HeaderHeight = TFormHeader::HeaderHeight;
constexpr int RecordPanelHeight = 163;
constexpr int NavigatorHeight = 42;

} // namespace

TK_BilgisayarF::TK_BilgisayarF(TComputerTable& table, QWidget* mainWindow)
    : QDialog(mainWindow, Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint |
                              Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint),
      FTable(table), FMainWindow(mainWindow) {
    setObjectName(QStringLiteral("K_BilgisayarF"));
    setFixedSize(ClientWidth, ClientHeight);
    QFont formFont = font();
    formFont.setPixelSize(11);
    setFont(formFont);

    auto* header = new TFormHeader(this);
    header->setObjectName(QStringLiteral("FormHeader1"));
    header->SetTitle(QStringLiteral("Bilgisayar Kayitlari"));
    QFont titleFont = header->TitleFont();
    titleFont.setPixelSize(19);
    header->SetTitleFont(titleFont);
    header->setGeometry(0, 0, ClientWidth, TFormHeader::HeaderHeight);

    sPanel1 = new QFrame(this);
    sPanel1->setObjectName(QStringLiteral("sPanel1"));
    sPanel1->setGeometry(0, HeaderHeight, ClientWidth, RecordPanelHeight);
    // The labels' light text colour needs the panel's dark ground to stay readable.
    sPanel1->setStyleSheet(QStringLiteral("QFrame#sPanel1 { background-color: rgb(59, 90, 130); }"
                                          " QLabel { color: rgb(206, 214, 235); }"));

    const QString captions[] = {QStringLiteral("Tanımı"), QStringLiteral("IP"), QStringLiteral("Port"),
                                QStringLiteral("Sifre")};
    const char* editNames[] = {"DBEdit1", "DBEdit2", "DBEdit3", "DBEdit4"};
    for (int field = 0; field < TComputerTable::EditBoxFields; ++field) {
        auto* label = new QLabel(captions[field], sPanel1);
        label->setGeometry(16, 16 + 24 * field, 80, 16);
        auto* edit = new QLineEdit(sPanel1);
        edit->setObjectName(QLatin1String(editNames[field]));
        edit->setGeometry(98, 13 + 24 * field, 161, 21);
        edit->setMaxLength(TComputerTable::MaxFieldLength);
        label->setBuddy(edit);
        connect(edit, &QLineEdit::textEdited, this,
                [this, field](const QString& text) { FTable.SetFieldValue(field, text); });
        edit->installEventFilter(this);
        FEdits[field] = edit;
    }
    new TPortValidator(FEdits[TComputerTable::PORT]);
    // "*" for every character whatever the style's own mask character is (see showEvent).
    FEdits[TComputerTable::PASSWORD]->setStyleSheet(QStringLiteral("lineedit-password-character: 42;"));
    FEdits[TComputerTable::PASSWORD]->setEchoMode(QLineEdit::Password);

    sDBNavigator1 = new TRecordNavigator(FTable, sPanel1);
    sDBNavigator1->setObjectName(QStringLiteral("sDBNavigator1"));
    sDBNavigator1->setGeometry(0, RecordPanelHeight - NavigatorHeight, ClientWidth, NavigatorHeight);
    // A new record is typed from its first field, wherever the cursor was before.
    connect(sDBNavigator1->ButtonAt(TRecordNavigator::Insert), &QToolButton::clicked, this, [this] {
        // (A refused post keeps the old record, and the focus where its check put it.)
        if (FTable.GetState() != TComputerTable::State::Insert ||
            !FTable.FieldValue(TComputerTable::BILGISAYARADI).isEmpty())
            return;
        RememberFieldStarts();
        FEdits[TComputerTable::BILGISAYARADI]->setFocus(Qt::OtherFocusReason);
    });

    FGridModel = new TEditorGridModel(FTable, this);
    DBGrid1 = new QTableView(this);
    DBGrid1->setObjectName(QStringLiteral("DBGrid1"));
    DBGrid1->setGeometry(0, HeaderHeight + RecordPanelHeight, ClientWidth,
                         ClientHeight - HeaderHeight - RecordPanelHeight);
    DBGrid1->setModel(FGridModel);
    DBGrid1->setItemDelegate(new TEditorCellDelegate(DBGrid1));
    DBGrid1->setSelectionBehavior(QAbstractItemView::SelectRows);
    DBGrid1->setSelectionMode(QAbstractItemView::SingleSelection);
    DBGrid1->setEditTriggers(QAbstractItemView::AnyKeyPressed | QAbstractItemView::DoubleClicked |
                             QAbstractItemView::EditKeyPressed);
    DBGrid1->setColumnWidth(0, 189);
    DBGrid1->setColumnWidth(1, 161);
    DBGrid1->setColumnWidth(2, 156);
    DBGrid1->verticalHeader()->setDefaultSectionSize(18);
    DBGrid1->verticalHeader()->setFixedWidth(14);
    connect(DBGrid1->selectionModel(), &QItemSelectionModel::currentRowChanged, this,
            [this](const QModelIndex& current) { GridRowChosen(current); });

    connect(&FTable, &TComputerTable::PostRefused, this, &TK_BilgisayarF::RxBilgisayarPostRefused);
    connect(&FTable, &TComputerTable::CurrentChanged, this, &TK_BilgisayarF::ShowCurrentRecord);
    connect(&FTable, &TComputerTable::StateChanged, this, &TK_BilgisayarF::ShowCurrentRecord);
    connect(&FTable, &TComputerTable::CurrentChanged, this, &TK_BilgisayarF::RememberFieldStarts);
    connect(&FTable, &TComputerTable::StateChanged, this, &TK_BilgisayarF::RememberFieldStarts);
    connect(&FTable, &QAbstractItemModel::modelReset, this, &TK_BilgisayarF::RememberFieldStarts);
    connect(&FTable, &QAbstractItemModel::dataChanged, this, &TK_BilgisayarF::ShowCurrentRecord);
    connect(&FTable, &QAbstractItemModel::modelReset, this, &TK_BilgisayarF::ShowCurrentRecord);

    FTable.SetEditorAttached(true);
    K_BilgisayarF = this;
    ShowCurrentRecord();
    RememberFieldStarts();

    if (const QScreen* screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - QPoint(ClientWidth / 2, ClientHeight / 2));
}

TK_BilgisayarF::~TK_BilgisayarF() {
    // The table outlives the editor: nothing it signals from now on (a cell editor closing as the grid
    // goes) may reach this half-destroyed window.
    disconnect(&FTable, nullptr, this, nullptr);
    delete DBGrid1;
    delete sDBNavigator1;
    FTable.SetEditorAttached(false);
    if (K_BilgisayarF == this)
        K_BilgisayarF = nullptr;
}

void TK_BilgisayarF::showEvent(QShowEvent* event) {
    FormShow();
    QDialog::showEvent(event);
    // A line edit reads its mask character only on a style change; under an application-wide skin
    // its own style rule is in force only once it is polished, which is now.
    QEvent styleChange(QEvent::StyleChange);
    QCoreApplication::sendEvent(FEdits[TComputerTable::PASSWORD], &styleChange);
}

void TK_BilgisayarF::FormShow() {
    if (FMainWindow)
        setWindowTitle(FMainWindow->windowTitle());
}

void TK_BilgisayarF::keyPressEvent(QKeyEvent* event) {
    // Escape takes back what is being edited before it closes anything: a record being inserted or
    // edited goes back as the navigator's Cancel does; with nothing being edited it closes the editor
    // as the close box does. An open grid cell takes the key itself to take back its own typing.
    if (event->matches(QKeySequence::Cancel)) {
        event->accept();
        if (FTable.GetState() != TComputerTable::State::Browse)
            FTable.Cancel();
        else
            close();
        return;
    }
    QDialog::keyPressEvent(event);
}

bool TK_BilgisayarF::eventFilter(QObject* watched, QEvent* event) {
    for (int field = 0; field < TComputerTable::EditBoxFields; ++field) {
        if (watched != FEdits[field])
            continue;
        if (event->type() == QEvent::FocusIn)
            FFieldStarts[field] = FTable.FieldValue(field);
        // The first Escape in an edit box takes back what was typed into that box, as in a grid cell.
        if (event->type() == QEvent::KeyPress &&
            static_cast<QKeyEvent*>(event)->matches(QKeySequence::Cancel) &&
            FTable.GetState() != TComputerTable::State::Browse &&
            FTable.FieldValue(field) != FFieldStarts[field]) {
            FTable.SetFieldValue(field, FFieldStarts[field]);
            if (FTable.GetState() == TComputerTable::State::Edit && !FTable.PendingChanges())
                FTable.Cancel();
            return true;
        }
    }
    return QDialog::eventFilter(watched, event);
}

void TK_BilgisayarF::RememberFieldStarts() {
    for (int field = 0; field < TComputerTable::EditBoxFields; ++field)
        FFieldStarts[field] = FTable.FieldValue(field);
}

void TK_BilgisayarF::closeEvent(QCloseEvent* event) {
    // The close commits a pending record without the checks, but never with a port the control
    // could not use: the editor stays open on it.
    const QString port = FTable.FieldValue(TComputerTable::PORT);
    if (FTable.GetState() != TComputerTable::State::Browse && !port.isEmpty() &&
        !TComputerTable::ValidPort(port)) {
        event->ignore();
        RxBilgisayarPostRefused(TComputerTable::PORT, TComputerTable::InvalidPortMessage());
        return;
    }
    QDialog::closeEvent(event);
}

void TK_BilgisayarF::ShowCurrentRecord() {
    for (int field = 0; field < TComputerTable::EditBoxFields; ++field) {
        const QString value = FTable.FieldValue(field);
        // Leave the box alone when it already shows the value, so the cursor of a box being typed in stays.
        if (FEdits[field]->text() != value)
            FEdits[field]->setText(value);
    }
    const int row = FTable.RecNo();
    const QModelIndex current = DBGrid1->currentIndex();
    if (row >= 0 && current.row() != row) {
        FFollowingTable = true;
        DBGrid1->setCurrentIndex(FGridModel->index(row, current.isValid() ? current.column() : 0));
        FFollowingTable = false;
    }
    sDBNavigator1->UpdateButtons();
}

void TK_BilgisayarF::GridRowChosen(const QModelIndex& current) {
    if (FFollowingTable || !current.isValid() || current.row() == FTable.RecNo())
        return;
    if (!FTable.MoveTo(current.row())) {
        // The pending record was refused: the grid goes back to it once this selection change is over.
        QTimer::singleShot(0, this, &TK_BilgisayarF::ShowCurrentRecord);
    }
}

void TK_BilgisayarF::RxBilgisayarPostRefused(int field, const QString& message) {
    OperatorMessages::ShowNotice(this, message);
    if (field >= 0 && field < TComputerTable::EditBoxFields)
        FEdits[field]->setFocus(Qt::OtherFocusReason);
}
