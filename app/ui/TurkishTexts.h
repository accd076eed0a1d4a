#pragma once
// Qt's own widgets in Turkish: its translation (Debian package qt6-translations-l10n) where it can be
// found, and the standard buttons of our message boxes in Turkish whether or not it is.

class QCoreApplication;
class QMessageBox;
class QString;

// Installs Qt's Turkish translation from Qt's translations folder, the system's, or the program
// folder; false when none was found.
bool InstallQtTurkishTranslation(QCoreApplication& app, const QString& programFolder);

// "Evet", "Hayır", "İptal", "Tamam", "Yeniden Dene" on the box's standard buttons.
void UseTurkishButtonTexts(QMessageBox& box);
