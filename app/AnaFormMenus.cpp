#include "AnaForm.h"

#include "Deployment.h"

#include <QDesktopServices>
#include <QFileInfo>
#include <QUrl>

// The records editor: edit, save to bilgisayar.ini, rebuild the grid.
void TAnaFormF::BilgisayarKayitlari1Click() {}

void TAnaFormF::LatisVNCYardm1Click() {
    const QString path = Folder() + QString::fromUtf16(HelpFileName);
    if (QFileInfo::exists(path))
        QDesktopServices::openUrl(QUrl::fromLocalFile(path));
}

void TAnaFormF::Hakkinda1Click() {}

void TAnaFormF::WebSite1Click() {
    QDesktopServices::openUrl(QUrl(QStringLiteral("http://www.tarnovex.com")));
}
