#include "TurkishTexts.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QMessageBox>
#include <QPushButton>
#include <QStringList>
#include <QTranslator>

bool InstallQtTurkishTranslation(QCoreApplication& app, const QString& programFolder) {
    const QStringList folders = {QLibraryInfo::path(QLibraryInfo::TranslationsPath),
                                 QStringLiteral("/usr/share/qt6/translations"), programFolder};
    auto* translator = new QTranslator(&app);
    for (const QString& folder : folders) {
        if (translator->load(QLocale(QLocale::Turkish, QLocale::Turkey), QStringLiteral("qtbase"),
                             QStringLiteral("_"), folder)) {
            QCoreApplication::installTranslator(translator);
            return true;
        }
    }
    delete translator;
    return false;
}

void UseTurkishButtonTexts(QMessageBox& box) {
    const struct {
        QMessageBox::StandardButton Button;
        const char* Text;
    } texts[] = {{QMessageBox::Yes, "Evet"},
                 {QMessageBox::No, "Hayır"},
                 {QMessageBox::Cancel, "İptal"},
                 {QMessageBox::Ok, "Tamam"},
                 {QMessageBox::Retry, "Yeniden Dene"}};
    for (const auto& entry : texts)
        if (QAbstractButton* button = box.button(entry.Button))
            button->setText(QString::fromUtf8(entry.Text));
}
