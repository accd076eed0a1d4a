#pragma once
// The records editor TK_BilgisayarF: the modal window in which the operator adds, changes and deletes
// computers of the shared table RxBilgisayar, one record in edit boxes and all of them in a grid.

#include "ComputerTable.h"

#include <QDialog>

#include <array>

class QFrame;
class QLabel;
class QLineEdit;
class QTableView;
class TComputerTable;
class TEditorGridModel;
class TRecordNavigator;

class TK_BilgisayarF : public QDialog {
    Q_OBJECT
public:
    static constexpr int ClientWidth = 580;
    static constexpr int ClientHeight = 455;

    // Attaches the table's check and new-record default for as long as the editor exists.
    TK_BilgisayarF(TComputerTable& table, QWidget* mainWindow);
    ~TK_BilgisayarF() override;

    QLineEdit* DBEdit(int field) const { return FEdits[field]; } // field numbers of TComputerTable
    TRecordNavigator* Navigator() const { return sDBNavigator1; }
    QTableView* Grid() const { return DBGrid1; }

protected:
    void showEvent(QShowEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void RememberFieldStarts();
    void FormShow();
    void ShowCurrentRecord();
    void RxBilgisayarPostRefused(int field, const QString& message);
    void GridRowChosen(const QModelIndex& current);

    TComputerTable& FTable;
    QWidget* FMainWindow;
    QFrame* sPanel1 = nullptr;
    std::array<QLineEdit*, TComputerTable::EditBoxFields> FEdits{};
    TRecordNavigator* sDBNavigator1 = nullptr;
    TEditorGridModel* FGridModel = nullptr;
    QTableView* DBGrid1 = nullptr;
    std::array<QString, TComputerTable::EditBoxFields>
        FFieldStarts;             // each box's value when the cursor entered it or its record came
    bool FFollowingTable = false; // the grid's selection is being moved to the table's record
};

// The editor while it exists, none otherwise.
extern TK_BilgisayarF* K_BilgisayarF;
