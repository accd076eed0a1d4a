#include "OperatorMessages.h"

#include "TurkishTexts.h"

#include <QApplication>

#include <utility>

namespace OperatorMessages {

namespace {

BoxFunction& CurrentFunction() {
    static BoxFunction function;
    return function;
}

QMessageBox::StandardButton ShowRealBox(QWidget* parent, QMessageBox::Icon icon, const QString& caption,
                                        const QString& text, QMessageBox::StandardButtons buttons,
                                        QMessageBox::StandardButton defaultButton) {
    QMessageBox box(icon, caption, text, buttons, parent);
    box.setDefaultButton(defaultButton);
    UseTurkishButtonTexts(box);
    return static_cast<QMessageBox::StandardButton>(box.exec());
}

} // namespace

void SetBoxFunction(BoxFunction function) {
    CurrentFunction() = std::move(function);
}

QMessageBox::StandardButton ShowBox(QWidget* parent, QMessageBox::Icon icon, const QString& caption,
                                    const QString& text, QMessageBox::StandardButtons buttons,
                                    QMessageBox::StandardButton defaultButton) {
    if (CurrentFunction())
        return CurrentFunction()(parent, icon, caption, text, buttons, defaultButton);
    return ShowRealBox(parent, icon, caption, text, buttons, defaultButton);
}

void ShowNotice(QWidget* parent, const QString& text) {
    ShowBox(parent, QMessageBox::Information, QStringLiteral("Bilgi"), text, QMessageBox::Ok,
            QMessageBox::Ok);
}

void ShowError(QWidget* parent, const QString& text) {
    ShowBox(parent, QMessageBox::Critical, QApplication::applicationDisplayName(), text, QMessageBox::Ok,
            QMessageBox::Ok);
}

QMessageBox::StandardButton AskYesNoCancel(QWidget* parent, const QString& text) {
    return ShowBox(parent, QMessageBox::Question, QStringLiteral("Soru"), text,
                   QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel, QMessageBox::No);
}

bool ConfirmOkCancel(QWidget* parent, const QString& text) {
    return ShowBox(parent, QMessageBox::Question, QStringLiteral("Confirm"), text,
                   QMessageBox::Ok | QMessageBox::Cancel, QMessageBox::Cancel) == QMessageBox::Ok;
}

} // namespace OperatorMessages
