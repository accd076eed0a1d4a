#pragma once
// Modal message boxes shown to the operator: "Bilgi" notices and "Soru" questions. Every box of the
// application goes through here so that widget tests can answer them without a person at the screen.

#include <QMessageBox>
#include <QString>

#include <functional>

class QWidget;

namespace OperatorMessages {

// Shows one box and returns the button the operator chose.
using BoxFunction = std::function<QMessageBox::StandardButton(
    QWidget* parent, QMessageBox::Icon icon, const QString& caption, const QString& text,
    QMessageBox::StandardButtons buttons, QMessageBox::StandardButton defaultButton)>;

// Replaces the function that shows the boxes (tests); an empty function restores the real boxes.
void SetBoxFunction(BoxFunction function);

QMessageBox::StandardButton ShowBox(QWidget* parent, QMessageBox::Icon icon, const QString& caption,
                                    const QString& text, QMessageBox::StandardButtons buttons,
                                    QMessageBox::StandardButton defaultButton);

// Caption "Bilgi", information icon, one OK button.
void ShowNotice(QWidget* parent, const QString& text);

// Caption "Soru", question icon, Yes/No/Cancel with No as the default button.
QMessageBox::StandardButton AskYesNoCancel(QWidget* parent, const QString& text);

// The application's standard error box: its display name as caption, a critical icon, one OK button.
void ShowError(QWidget* parent, const QString& text);

// Caption "Confirm", OK and Cancel; Cancel is the default so that Enter never deletes by accident.
bool ConfirmOkCancel(QWidget* parent, const QString& text);

} // namespace OperatorMessages
