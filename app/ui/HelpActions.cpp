#include "HelpActions.h"

#include "AboutBox.h"
#include "MakerInfo.h"
#include "OperatorMessages.h"

#include <QDesktopServices>
#include <QFileInfo>
#include <QWidget>

#include <utility>

namespace HelpActions {

namespace {

UrlOpener& CurrentOpener() {
    static UrlOpener opener;
    return opener;
}

void Open(const QUrl& url) {
    if (CurrentOpener())
        CurrentOpener()(url);
    else
        QDesktopServices::openUrl(url);
}

} // namespace

void SetUrlOpener(UrlOpener opener) {
    CurrentOpener() = std::move(opener);
}

QString HelpFileName() {
    return QStringLiteral("yardim.pdf");
}

void OpenHelpDocument(QWidget* mainWindow, const QString& programFolder) {
    const QString path = programFolder + HelpFileName();
    if (QFileInfo::exists(path))
        Open(QUrl::fromLocalFile(path));
    else
        OperatorMessages::ShowNotice(mainWindow, path + QStringLiteral(" dosyası bulunamadı"));
}

void ShowAbout(TAboutBox& aboutBox, QWidget* mainWindow) {
    aboutBox.Caption = mainWindow ? mainWindow->windowTitle() : QString();
    aboutBox.ProgramName = MakerInfo::ProductNameAndVersion();
    aboutBox.Execute(mainWindow);
}

void OpenMakerWebSite(QWidget*) {
    Open(QUrl(MakerInfo::WebAddress()));
}

} // namespace HelpActions
