#pragma once
// The port boxes of the records editor (the edit box and the grid's cell) take digits only, up to 65535:
// a port the control would wrap (70000 reaches 4464) cannot be typed. A box that already holds other
// characters (a hand-edited file) can still be shortened, so the operator can mend it key by key. A
// refused key tells the operator the rule beside the box.

#include <QValidator>

class QLineEdit;

class TPortValidator : public QValidator {
    Q_OBJECT
public:
    // Watches edit's text and becomes its validator.
    explicit TPortValidator(QLineEdit* edit);

    State validate(QString& input, int& pos) const override;

private:
    QString FAccepted; // the box's text before the change being validated
};
