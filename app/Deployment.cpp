#include "Deployment.h"

#include "FileFolder.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

QString ProgramFolder() {
    // Chosen once: the tiles ask for the library path long after start-up.
    static const QString folder =
        ChooseFileFolder(ExecutableFolder(), QStringLiteral(LATIS_INSTALLED_PROGRAM_FOLDER),
                         UserDataFolder(qEnvironmentVariable("XDG_DATA_HOME"), QDir::homePath()));
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
