#pragma once
// Shows an existing panel of any window inside a modal dialog with a title strip, then gives the
// panel back to its owner exactly as it was. Escape closes the dialog (result Rejected).

#include <QString>

class QWidget;

int ShowPanelAsDialog(QWidget* panel, const QString& title);
