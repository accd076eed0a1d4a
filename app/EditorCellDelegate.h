#pragma once
// Editing a cell of the records editor's grid works like typing into an edit box: every keystroke goes
// to the table at once, so the record enters editing with the first key, the edit boxes follow, and
// the navigator's Post and Cancel act on what is typed. Escape in an open cell takes back what was
// typed into it (and only closes the cell; the editor window stays).

#include <QStyledItemDelegate>

class TEditorCellDelegate : public QStyledItemDelegate {
    Q_OBJECT
public:
    using QStyledItemDelegate::QStyledItemDelegate;

    QWidget* createEditor(QWidget* parent, const QStyleOptionViewItem& option,
                          const QModelIndex& index) const override;
    void setEditorData(QWidget* editor, const QModelIndex& index) const override;

protected:
    bool eventFilter(QObject* object, QEvent* event) override;
};
