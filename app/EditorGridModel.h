#pragma once
// The records editor's grid columns over the computer table: "Tanımı", "Ip" and "Port". The password
// field is left out entirely, so no view of this model can ever show it. The row header marks the
// current record as a data grid does: "▶" browsing, "I" editing, "*" inserting.

#include <QSortFilterProxyModel>

class TComputerTable;

class TEditorGridModel : public QSortFilterProxyModel {
    Q_OBJECT
public:
    explicit TEditorGridModel(TComputerTable& table, QObject* parent = nullptr);

    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

private:
    void RefreshIndicator();

    TComputerTable& FTable;
    int FIndicatorRow = -1;

protected:
    bool filterAcceptsColumn(int sourceColumn, const QModelIndex& sourceParent) const override;
};
