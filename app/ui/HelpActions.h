#pragma once
// The three items of the "Yardım" menu: the help document, the about box and the maker's web site.

#include <QString>
#include <QUrl>

#include <functional>

class QWidget;
class TAboutBox;

namespace HelpActions {

// Hands a document or web address to the desktop's default program; false when none takes it.
using UrlOpener = std::function<bool(const QUrl&)>;
void SetUrlOpener(UrlOpener opener); // tests; an empty function restores QDesktopServices::openUrl

QString HelpFileName();

// "LatisVNC Yardım": opens programFolder + "yardim.pdf", or tells the operator the full path of the
// missing file, or, when no program opens PDF files, says so with the document's path.
void OpenHelpDocument(QWidget* mainWindow, const QString& programFolder);

// "Hakkında": the about window titled with the main window's caption.
void ShowAbout(TAboutBox& aboutBox, QWidget* mainWindow);

// The web address item.
void OpenMakerWebSite(QWidget* mainWindow);

} // namespace HelpActions
