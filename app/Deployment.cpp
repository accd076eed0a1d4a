#include "Deployment.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

QString ProgramFolder() {
    QString folder = QCoreApplication::applicationDirPath();
    if (!folder.endsWith(u'/'))
        folder += u'/';
    return folder;
}

QString EmbeddedControlLibraryResource() {
    return QStringLiteral(":/payload/libdova.so");
}
QString EmbeddedHelpResource() {
    return QStringLiteral(":/payload/yardim.pdf");
}

bool WritePayload(const QString& resource, const QString& path) {
    QFile in(resource);
    if (!in.open(QIODevice::ReadOnly))
        return false;
    QSaveFile out(path);
    if (!out.open(QIODevice::WriteOnly))
        return false;
    if (out.write(in.readAll()) != in.size()) {
        out.cancelWriting();
        return false;
    }
    return out.commit();
}

void DeployControlLibrary(const QString& folder) {
    const QString path = folder + QString::fromUtf16(ControlLibraryFileName);
    // An existing library is never replaced, whatever its version: the entry point's version check
    // makes a foreign one fail creation cleanly.
    if (QFileInfo::exists(path))
        return;
    WritePayload(EmbeddedControlLibraryResource(), path);
}

void DeployHelpDocument(const QString& folder) {
    WritePayload(EmbeddedHelpResource(), folder + QString::fromUtf16(HelpFileName));
}
