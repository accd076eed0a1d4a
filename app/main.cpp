// latisvnc: watches many computers at once over RFB.
#include "AnaForm.h"
#include "Deployment.h"
#include "ui/TurkishTexts.h"

#include <QApplication>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    // Qt's dialogs in Turkish; message boxes speak Turkish even where the translation is missing.
    InstallQtTurkishTranslation(app, ProgramFolder());
    TAnaFormF form(ProgramFolder());
    form.ShowMain();
    return app.exec();
}
