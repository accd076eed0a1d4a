#include "FileFolder.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryFile>

#include <cerrno>
#include <sys/stat.h>

namespace {

QString WithSlash(QString folder) {
    if (!folder.endsWith(u'/'))
        folder += u'/';
    return folder;
}

// Actually creating a file is the only test that holds for read-only mounts, ACLs and a changed
// file-system identity alike; access() answers for the real user only.
bool UserCanCreateFilesIn(const QString& folder) {
    QTemporaryFile probe(folder + QStringLiteral(".latisvnc-XXXXXX"));
    return probe.open();
}

bool SameFolder(const QString& a, const QString& b) {
    const QString canonicalA = QFileInfo(a).canonicalFilePath();
    return !canonicalA.isEmpty() && canonicalA == QFileInfo(b).canonicalFilePath();
}

} // namespace

QString ExecutableFolder() {
    return WithSlash(QCoreApplication::applicationDirPath());
}

QString UserDataFolder(const QString& xdgDataHome, const QString& home) {
    const QString base =
        QDir::isAbsolutePath(xdgDataHome) ? xdgDataHome : home + QStringLiteral("/.local/share");
    return WithSlash(base) + QStringLiteral("latisvnc/");
}

bool KeepsFilesBesideProgram(const QString& programFolder, const QString& installedProgramFolder) {
    if (!installedProgramFolder.isEmpty() && SameFolder(programFolder, installedProgramFolder))
        return false;
    return UserCanCreateFilesIn(programFolder);
}

bool MakePrivateFolder(const QString& folder) {
    const QString clean = QDir::cleanPath(folder);
    // Parents first, so that each missing one is made 0700 rather than with the umask's mode.
    for (qsizetype slash = clean.indexOf(u'/', 1); slash != -1; slash = clean.indexOf(u'/', slash + 1))
        ::mkdir(QFile::encodeName(clean.left(slash)).constData(), 0700);
    if (::mkdir(QFile::encodeName(clean).constData(), 0700) != 0 && errno != EEXIST)
        return false;
    return QFileInfo(clean).isDir();
}

QString ChooseFileFolder(const QString& programFolder, const QString& installedProgramFolder,
                         const QString& dataFolder) {
    if (KeepsFilesBesideProgram(programFolder, installedProgramFolder))
        return programFolder;
    MakePrivateFolder(dataFolder);
    return dataFolder;
}
