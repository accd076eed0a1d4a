#include "Deployment.h"

#include "FileFolder.h"
#include "FolderTrust.h"

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

namespace {

bool SameBytes(const QString& resource, const QString& path) {
    QFile embedded(resource);
    QFile written(path);
    if (!embedded.open(QIODevice::ReadOnly) || !written.open(QIODevice::ReadOnly))
        return false;
    return embedded.size() == written.size() && embedded.readAll() == written.readAll();
}

} // namespace

void DeployControlLibrary(const QString& folder) {
    // Written into a folder others can write, or through a link, it would not stay ours.
    if (!ControlLibraryTrustProblem(folder).isEmpty())
        return;
    const QString path = folder + QString::fromUtf16(ControlLibraryFileName);
    if (QFileInfo::exists(path)) {
        // Beside the program, an existing library is never replaced, whatever its version: the entry
        // point's version check makes a foreign one fail creation cleanly. In the user's data folder
        // the copy is ours alone, and one left by an older package would keep its faults after every
        // upgrade, so it follows the program's own.
        const bool userDataFolder = folder == ProgramFolder() && folder != ExecutableFolder();
        if (!userDataFolder || SameBytes(EmbeddedControlLibraryResource(), path))
            return;
    }
    WritePayload(EmbeddedControlLibraryResource(), path);
}

void DeployHelpDocument(const QString& folder) {
    // QSaveFile would follow a link at the name and replace its target.
    if (!HelpDocumentTrustProblem(folder).isEmpty())
        return;
    WritePayload(EmbeddedHelpResource(), folder + QString::fromUtf16(HelpFileName));
}
