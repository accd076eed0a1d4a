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

} // namespace

QString ControlLibraryTrustProblem(const QString& folder) {
    struct stat st {};
    if (::stat(QFile::encodeName(folder).constData(), &st) != 0)
        return QString();
    if (!OwnedByUserOrRoot(st))
        return QStringLiteral("%1 klasörü bu kullanıcıya ait değil; libdova.so oradan yüklenmedi")
            .arg(folder);
    if (st.st_mode & (S_IWGRP | S_IWOTH))
        return QStringLiteral("%1 klasörüne başka kullanıcılar da yazabiliyor; libdova.so oradan yüklenmedi")
            .arg(folder);
    const QString library = folder + QString::fromUtf16(ControlLibraryFileName);
    if (::lstat(QFile::encodeName(library).constData(), &st) != 0)
        return QString(); // nothing there yet: the program writes its own copy
    if (!S_ISREG(st.st_mode))
        return QStringLiteral("%1 sıradan bir dosya değil (bağlantı olabilir); yüklenmedi").arg(library);
    if (!OwnedByUserOrRoot(st))
        return QStringLiteral("%1 başka bir kullanıcıya ait; yüklenmedi").arg(library);
    return QString();
}
