#include "FolderTrust.h"

#include "Deployment.h"

#include <QFile>

#include <cerrno>
#include <sys/stat.h>
#include <unistd.h>

namespace {

bool OwnedByUserOrRoot(const struct stat& st) {
    return st.st_uid == ::geteuid() || st.st_uid == 0;
}

// What the operator is told was not done: loading the library, or writing the help document.
struct Refusal {
    QString FromFolder; // after a folder's fault
    QString File;       // after the file's own fault
};

QString TrustProblem(const QString& folder, const QString& fileName, const Refusal& refused) {
    struct stat st {};
    if (::stat(QFile::encodeName(folder).constData(), &st) != 0)
        return QString();
    if (!OwnedByUserOrRoot(st))
        return QStringLiteral("%1 klasörü bu kullanıcıya ait değil; %2").arg(folder, refused.FromFolder);
    if (st.st_mode & (S_IWGRP | S_IWOTH))
        return QStringLiteral("%1 klasörüne başka kullanıcılar da yazabiliyor; %2")
            .arg(folder, refused.FromFolder);
    const QString path = folder + fileName;
    if (::lstat(QFile::encodeName(path).constData(), &st) != 0)
        return QString(); // nothing there yet: the program writes its own copy
    if (!S_ISREG(st.st_mode))
        return QStringLiteral("%1 sıradan bir dosya değil (bağlantı olabilir); %2").arg(path, refused.File);
    if (!OwnedByUserOrRoot(st))
        return QStringLiteral("%1 başka bir kullanıcıya ait; %2").arg(path, refused.File);
    return QString();
}

} // namespace

QString ControlLibraryTrustProblem(const QString& folder) {
    return TrustProblem(folder, QString::fromUtf16(ControlLibraryFileName),
                        {QStringLiteral("libdova.so oradan yüklenmedi"), QStringLiteral("yüklenmedi")});
}

QString HelpDocumentTrustProblem(const QString& folder) {
    return TrustProblem(folder, QString::fromUtf16(HelpFileName),
                        {QStringLiteral("yardim.pdf oraya yazılmadı"), QStringLiteral("yazılmadı")});
}
