#include "PanelDialog.h"

#include "FormHeader.h"

#include <QApplication>
#include <QDialog>
#include <QPushButton>
#include <QScreen>
#include <QVBoxLayout>

int ShowPanelAsDialog(QWidget* panel, const QString& title) {
    QWidget* const oldParent = panel->parentWidget();
    const QSize oldSize = panel->size();
    const QPoint oldPos = panel->pos();
    QWidget* const mainWindow = oldParent ? oldParent->window() : nullptr;

    int result = QDialog::Rejected;
    {
        // Only the system menu: no minimise, maximise or help buttons.
        QDialog dialog(mainWindow, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                                       Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);
        dialog.setWindowTitle(mainWindow ? mainWindow->windowTitle() : QString());
        auto* header = new TFormHeader(&dialog);
        header->SetTitle(title);
        auto* layout = new QVBoxLayout(&dialog);
        layout->setContentsMargins(0, 0, 0, 0);
        layout->setSpacing(0);
        layout->addWidget(header);
        panel->setParent(&dialog);
        layout->addWidget(panel, 1);
        panel->show();
        // Escape reaches a 1 x 1 button that cancels; QDialog already rejects on Escape, the button
        // keeps the dialog's cancel behaviour explicit.
        auto* cancel = new QPushButton(&dialog);
        cancel->setGeometry(0, 0, 1, 1);
        cancel->setFocusPolicy(Qt::NoFocus);
        cancel->setAutoDefault(false);
        QObject::connect(cancel, &QPushButton::clicked, &dialog, &QDialog::reject);
        dialog.setFixedSize(oldSize.width() + 5, TFormHeader::HeaderHeight + oldSize.height() + 10);
        if (QScreen* screen = dialog.screen())
            dialog.move(screen->availableGeometry().center() - dialog.rect().center());
        result = dialog.exec();

        panel->hide();
        layout->removeWidget(panel);
        panel->setParent(oldParent);
        panel->setGeometry(QRect(oldPos, oldSize));
    }
    return result;
}
