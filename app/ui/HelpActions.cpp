#include "HelpActions.h"

#include "AboutBox.h"
#include "MakerInfo.h"
#include "OperatorMessages.h"

#include <QDesktopServices>
#include <QFileInfo>
#include <QProcess>
#include <QWidget>

#include <utility>

namespace HelpActions {

namespace {

UrlOpener& CurrentOpener() {
    static UrlOpener opener;
    return opener;
}

// How long asking the desktop for its PDF program may hold the menu click.
constexpr int DesktopQueryLimitMs = 3000;

// Qt hands a file to xdg-open and reports success once that has started, also when no program takes
// the file (the operator then sees nothing at all): ask the desktop first.
bool DesktopHasProgramFor(const QString& mimeType) {
    QProcess query;
    query.start(QStringLiteral("xdg-mime"), {QStringLiteral("query"), QStringLiteral("default"), mimeType});
    if (!query.waitForFinished(DesktopQueryLimitMs)) {
        query.kill();
        query.waitForFinished();
        return true; // cannot tell: let the desktop try
    }
    return query.exitStatus() != QProcess::NormalExit || query.exitCode() != 0 ||
           !query.readAllStandardOutput().trimmed().isEmpty();
}

bool Open(const QUrl& url) {
    if (CurrentOpener())
        return CurrentOpener()(url);
    if (url.isLocalFile() && url.fileName().endsWith(QStringLiteral(".pdf"), Qt::CaseInsensitive) &&
        !DesktopHasProgramFor(QStringLiteral("application/pdf")))
        return false;
    return QDesktopServices::openUrl(url);
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
    if (QFileInfo::exists(path)) {
        if (!Open(QUrl::fromLocalFile(path)))
            OperatorMessages::ShowNotice(
                mainWindow, QStringLiteral("Bu bilgisayarda PDF dosyalarını açacak bir program bulunamadı.\n"
                                           "Yardım belgesi: ") +
                                path);
    } else
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
