#include "PortValidator.h"

#include "ComputerTable.h"

#include <QLineEdit>
#include <QToolTip>

namespace {

qsizetype NonDigits(const QString& text) {
    return std::count_if(text.begin(), text.end(), [](QChar c) { return c < u'0' || c > u'9'; });
}

} // namespace

TPortValidator::TPortValidator(QLineEdit* edit) : QValidator(edit), FAccepted(edit->text()) {
    connect(edit, &QLineEdit::textChanged, this, [this](const QString& text) { FAccepted = text; });
    connect(edit, &QLineEdit::inputRejected, edit, [edit] {
        QToolTip::showText(edit->mapToGlobal(QPoint(0, edit->height())), TComputerTable::InvalidPortMessage(),
                           edit);
    });
    edit->setValidator(this);
}

QValidator::State TPortValidator::validate(QString& input, int&) const {
    const qsizetype junk = NonDigits(input);
    if (junk > NonDigits(FAccepted))
        return Invalid;
    if (junk == 0 && !input.isEmpty() && (input.size() > 5 || input.toInt() > 65535))
        return Invalid;
    return TComputerTable::ValidPort(input) ? Acceptable : Intermediate;
}
