#include "EditorGridModel.h"

#include "ComputerTable.h"

TEditorGridModel::TEditorGridModel(QObject* parent) : QSortFilterProxyModel(parent) {
    // The table keeps its own order (the name sort happens before every grid build); never re-sort here.
    setDynamicSortFilter(false);
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
        default:
            break;
        }
    }
    return QSortFilterProxyModel::headerData(section, orientation, role);
}
