// latisvnc: watches many computers at once over RFB.
#include "AnaForm.h"
#include "Deployment.h"

#include <QApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    // The standard buttons of message boxes in Turkish, where Qt's translation is installed.
    QTranslator qtTranslator;
    if (qtTranslator.load(QLocale(QLocale::Turkish, QLocale::Turkey), QStringLiteral("qtbase"),
                          QStringLiteral("_"), QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        app.installTranslator(&qtTranslator);
    TAnaFormF form(ProgramFolder());
    form.ShowMain();
    return app.exec();
}
