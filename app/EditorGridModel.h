#pragma once
// The records editor's grid columns over the computer table: "Tanımı", "Ip" and "Port". The password
// field is left out entirely, so no view of this model can ever show it.

#include <QSortFilterProxyModel>

class TEditorGridModel : public QSortFilterProxyModel {
    Q_OBJECT
public:
    explicit TEditorGridModel(QObject* parent = nullptr);

    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

protected:
    bool filterAcceptsColumn(int sourceColumn, const QModelIndex& sourceParent) const override;
};
