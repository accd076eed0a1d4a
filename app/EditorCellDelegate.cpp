#include "EditorCellDelegate.h"

#include "ComputerTable.h"

#include <QLineEdit>
#include <QPersistentModelIndex>

QWidget* TEditorCellDelegate::createEditor(QWidget* parent, const QStyleOptionViewItem&,
                                           const QModelIndex& index) const {
    auto* edit = new QLineEdit(parent);
    edit->setFrame(false);
    edit->setMaxLength(TComputerTable::MaxFieldLength);
    QAbstractItemModel* model = const_cast<QAbstractItemModel*>(index.model());
    const QPersistentModelIndex cell(index);
    connect(edit, &QLineEdit::textEdited, edit, [model, cell](const QString& text) {
        if (cell.isValid())
            model->setData(cell, text);
    });
    return edit;
}

void TEditorCellDelegate::setEditorData(QWidget* editor, const QModelIndex& index) const {
    // The table echoes every keystroke back; setting the same text again would move the cursor.
    auto* edit = qobject_cast<QLineEdit*>(editor);
    const QString value = index.data(Qt::EditRole).toString();
    if (edit && edit->text() != value)
        edit->setText(value);
}
