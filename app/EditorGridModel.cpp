#include "EditorGridModel.h"

#include "ComputerTable.h"

TEditorGridModel::TEditorGridModel(TComputerTable& table, QObject* parent)
    : QSortFilterProxyModel(parent), FTable(table) {
    // The table keeps its own order (the name sort happens before every grid build); never re-sort here.
    setDynamicSortFilter(false);
    setSourceModel(&table);
    connect(&table, &TComputerTable::CurrentChanged, this, &TEditorGridModel::RefreshIndicator);
    connect(&table, &TComputerTable::StateChanged, this, &TEditorGridModel::RefreshIndicator);
}

void TEditorGridModel::RefreshIndicator() {
    const int rows = rowCount();
    if (FIndicatorRow >= 0 && FIndicatorRow < rows)
        emit headerDataChanged(Qt::Vertical, FIndicatorRow, FIndicatorRow);
    FIndicatorRow = FTable.RecNo();
    if (FIndicatorRow >= 0 && FIndicatorRow < rows)
        emit headerDataChanged(Qt::Vertical, FIndicatorRow, FIndicatorRow);
}

bool TEditorGridModel::filterAcceptsColumn(int sourceColumn, const QModelIndex&) const {
    return sourceColumn != TComputerTable::PASSWORD;
}

QVariant TEditorGridModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation == Qt::Horizontal && role == Qt::DisplayRole) {
        switch (section) {
        case 0:
            return QStringLiteral("Tanımı");
        case 1:
            return QStringLiteral("Ip");
        case 2:
            return QStringLiteral("Port");
        case 3:
            return QStringLiteral("Grup");
        case 4:
            return QStringLiteral("Kullanıcı");
        default:
            break;
        }
    }
    if (orientation == Qt::Vertical && role == Qt::DisplayRole) {
        if (section != FTable.RecNo())
            return QString();
        switch (FTable.GetState()) {
        case TComputerTable::State::Insert:
            return QStringLiteral("*");
        case TComputerTable::State::Edit:
            return QStringLiteral("I");
        case TComputerTable::State::Browse:
            return QStringLiteral("▶");
        }
    }
    return QSortFilterProxyModel::headerData(section, orientation, role);
}
