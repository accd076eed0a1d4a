#include "EditorCellDelegate.h"

#include "ComputerTable.h"
#include "PortValidator.h"

#include <QKeyEvent>
#include <QLineEdit>
#include <QPersistentModelIndex>
#include <QSortFilterProxyModel>

namespace {

// What a cell editor remembers of the moment it opened, for Escape.
constexpr const char* OpenedWithValue = "latisOpenedWithValue";
constexpr const char* OpenedOnCommittedRecord = "latisOpenedOnCommittedRecord";
constexpr const char* EditedCell = "latisEditedCell";

TComputerTable* TableOf(const QAbstractItemModel* model) {
    if (const auto* proxy = qobject_cast<const QSortFilterProxyModel*>(model))
        model = proxy->sourceModel();
    return qobject_cast<TComputerTable*>(const_cast<QAbstractItemModel*>(model));
}

} // namespace

QWidget* TEditorCellDelegate::createEditor(QWidget* parent, const QStyleOptionViewItem&,
                                           const QModelIndex& index) const {
    auto* edit = new QLineEdit(parent);
    edit->setFrame(false);
    edit->setMaxLength(TComputerTable::MaxFieldLength);
    QAbstractItemModel* model = const_cast<QAbstractItemModel*>(index.model());
    const QPersistentModelIndex cell(index);
    const TComputerTable* table = TableOf(model);
    edit->setProperty(OpenedWithValue, index.data(Qt::EditRole).toString());
    edit->setProperty(OpenedOnCommittedRecord, table && table->GetState() == TComputerTable::State::Browse);
    edit->setProperty(EditedCell, QVariant::fromValue(cell));
    const auto* proxy = qobject_cast<const QSortFilterProxyModel*>(model);
    if ((proxy ? proxy->mapToSource(index) : index).column() == TComputerTable::PORT)
        new TPortValidator(edit);
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

bool TEditorCellDelegate::eventFilter(QObject* object, QEvent* event) {
    auto* edit = qobject_cast<QLineEdit*>(object);
    if (edit && event->type() == QEvent::KeyPress &&
        static_cast<QKeyEvent*>(event)->matches(QKeySequence::Cancel)) {
        // Every key already reached the table, so closing the cell alone would keep them. A record
        // that was committed when the cell opened goes back to its committed values, as Cancel does;
        // a record already being edited or inserted only gets this cell's value back.
        const QPersistentModelIndex cell = edit->property(EditedCell).value<QPersistentModelIndex>();
        TComputerTable* table = cell.isValid() ? TableOf(cell.model()) : nullptr;
        if (table && edit->property(OpenedOnCommittedRecord).toBool()) {
            if (table->GetState() == TComputerTable::State::Edit)
                table->Cancel();
        } else if (cell.isValid()) {
            const QString before = edit->property(OpenedWithValue).toString();
            if (cell.data(Qt::EditRole).toString() != before)
                const_cast<QAbstractItemModel*>(cell.model())->setData(cell, before);
        }
    }
    // Closes the cell without writing its text and keeps the key from the window.
    return QStyledItemDelegate::eventFilter(object, event);
}
