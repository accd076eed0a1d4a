#include "ControlLibrary.h"
#include "DOVALib_TLB.h"
#include "Deployment.h"
#include "FolderTrust.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QWidget>

#include <gtest/gtest.h>

#include <dlfcn.h>
#include <link.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {
QByteArray ReadAll(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}
} // namespace

TEST(ControlLibrary, MissingOrBrokenLibraryGivesNoViewer) {
    QTemporaryDir dir;
    QWidget parent;
    const QString missing = dir.filePath(QStringLiteral("libdova.so"));
    RegisterControlLibrary(missing);
    EXPECT_EQ(CreateViewerControlFrom(missing, &parent), nullptr);

    const QString garbage = dir.filePath(QStringLiteral("garbage/libdova.so"));
    QDir(dir.path()).mkdir(QStringLiteral("garbage"));
    QFile f(garbage);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write("not a shared library");
    f.close();
    RegisterControlLibrary(garbage);
    EXPECT_EQ(CreateViewerControlFrom(garbage, &parent), nullptr);
}

TEST(ControlLibrary, LibraryOfAnotherInterfaceVersionGivesNoViewer) {
    QWidget parent;
    const QString foreign = QStringLiteral(FOREIGN_CONTROL_LIBRARY);
    RegisterControlLibrary(foreign);
    EXPECT_EQ(CreateViewerControlFrom(foreign, &parent), nullptr);
    EXPECT_TRUE(parent.children().isEmpty());
}

#ifdef DOVA_CONTROL_LIBRARY
TEST(ControlLibrary, RealLibraryIsCreatedOnlyAfterRegistration) {
    QWidget parent;
    const QString path = QStringLiteral(DOVA_CONTROL_LIBRARY);
    EXPECT_EQ(CreateViewerControlFrom(path, &parent), nullptr); // the first attempt before registering
    RegisterControlLibrary(path);
    dova::IVNCViewer* control = CreateViewerControlFrom(path, &parent);
    ASSERT_NE(control, nullptr);
    TVNCViewer viewer(control);
    viewer.SetName(QStringLiteral("DOVA"));
    EXPECT_EQ(viewer.Widget()->parentWidget(), &parent);
    EXPECT_EQ(viewer.Widget()->objectName(), QStringLiteral("DOVA"));
    EXPECT_EQ(viewer.Port(), 5900);
    EXPECT_FALSE(viewer.IsConnected());
    EXPECT_EQ(viewer.Connect(), -1); // no server yet
    viewer.SetStretch(true);
    EXPECT_TRUE(viewer.Stretch());
    const dova::VNCPoint ratio = viewer.StretchX(150, 1024);
    EXPECT_EQ(ratio.X, 150);
    EXPECT_EQ(ratio.Y, 1024);
    EXPECT_EQ(viewer.Stop(), 0);
}
#endif

#ifdef DOVA_CONTROL_LIBRARY
// A name lookup abandoned by a stopped viewer finishes on a detached thread inside the library: a
// host's dlclose must leave the library mapped (nodelete), or that thread would return into nothing.
TEST(ControlLibrary, RealLibraryCannotBeUnmappedByAHost) {
    void* handle = ::dlopen(DOVA_CONTROL_LIBRARY, RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(handle, nullptr) << ::dlerror();
    link_map* map = nullptr;
    ASSERT_EQ(::dlinfo(handle, RTLD_DI_LINKMAP, &map), 0);
    bool nodelete = false;
    for (const ElfW(Dyn)* entry = map->l_ld; entry->d_tag != DT_NULL; ++entry) {
        if (entry->d_tag == DT_FLAGS_1)
            nodelete = (entry->d_un.d_val & DF_1_NODELETE) != 0;
    }
    ::dlclose(handle);
    EXPECT_TRUE(nodelete);
}
#endif

#ifdef DOVA_CONTROL_LIBRARY
TEST(ControlLibrary, RefusingLibraryIsReplacedByTheEmbeddedCopyWhileACompatibleOneIsKept) {
    QTemporaryDir dir;
    QWidget parent;
    QDir(dir.path()).mkdir(QStringLiteral("stale"));
    const QString stale = dir.filePath(QStringLiteral("stale/libdova.so"));
    ASSERT_TRUE(QFile::copy(QStringLiteral(FOREIGN_CONTROL_LIBRARY), stale));
    RegisterControlLibrary(stale);
    EXPECT_EQ(CreateViewerControlFrom(stale, &parent), nullptr);
    EXPECT_TRUE(ControlLibraryUnusable(stale));
    ASSERT_TRUE(ReplaceIncompatibleControlLibrary(stale));
    EXPECT_EQ(ReadAll(stale), ReadAll(EmbeddedControlLibraryResource()));
    EXPECT_NE(CreateViewerControlFrom(stale, &parent), nullptr);
    EXPECT_FALSE(ControlLibraryUnusable(stale));
    EXPECT_EQ(QDir(dir.filePath(QStringLiteral("stale"))).entryList(QDir::Files).size(), 1); // no leftovers

    // Another build that serves this program stays as it is.
    QDir(dir.path()).mkdir(QStringLiteral("other"));
    const QString other = dir.filePath(QStringLiteral("other/libdova.so"));
    ASSERT_TRUE(QFile::copy(QStringLiteral(DOVA_CONTROL_LIBRARY), other));
    const QByteArray before = ReadAll(other);
    RegisterControlLibrary(other);
    EXPECT_NE(CreateViewerControlFrom(other, &parent), nullptr);
    EXPECT_FALSE(ReplaceIncompatibleControlLibrary(other));
    EXPECT_EQ(ReadAll(other), before);
}
#endif

// Another user must not be able to plant the library the program loads, nor make it write elsewhere.
TEST(ControlLibrary, UntrustedFolderOrLibraryIsNeitherLoadedNorWritten) {
    QTemporaryDir dir; // 0700, this user's
    const QString folder = dir.path() + u'/';
    const QString library = folder + QString::fromUtf16(ControlLibraryFileName);
    const QString help = folder + QString::fromUtf16(HelpFileName);
    const auto chmodFolder = [&](mode_t mode) { ::chmod(QFile::encodeName(folder).constData(), mode); };
    EXPECT_TRUE(ControlLibraryTrustProblem(folder).isEmpty());

    chmodFolder(01777); // as /tmp: anyone may create the file
    EXPECT_NE(ControlLibraryTrustProblem(folder).indexOf(QStringLiteral("başka kullanıcılar")), -1);
    DeployControlLibrary(folder);
    DeployHelpDocument(folder);
    EXPECT_FALSE(QFileInfo::exists(library)) << "nothing written where others write";
    EXPECT_FALSE(QFileInfo::exists(help)) << "the help document neither";
    chmodFolder(0750 | S_IWGRP);
    EXPECT_FALSE(ControlLibraryTrustProblem(folder).isEmpty()) << "group-writable";
    chmodFolder(0700);

    const QString target = dir.filePath(QStringLiteral("target"));
    {
        QFile f(target);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("keep");
    }
    ASSERT_TRUE(QFile::link(target, library));
    EXPECT_NE(ControlLibraryTrustProblem(folder).indexOf(QStringLiteral("libdova.so")), -1) << "a link";
    DeployControlLibrary(folder);
    EXPECT_EQ(ReadAll(target), QByteArray("keep"));
    ASSERT_TRUE(QFile::remove(library));
    ASSERT_TRUE(QFile::link(target, help));
    DeployHelpDocument(folder);
    EXPECT_EQ(ReadAll(target), QByteArray("keep")) << "the help document is not written through a link";
    ASSERT_TRUE(QFile::remove(help));
    DeployHelpDocument(folder);
    EXPECT_TRUE(QFileInfo(help).isFile()) << "in a trusted folder it is written";

    if (::geteuid() != 0)
        return; // handing files to another user needs root
    ASSERT_TRUE(QFile::copy(target, library));
    ASSERT_EQ(::chown(QFile::encodeName(library).constData(), 65534, 65534), 0);
    EXPECT_NE(ControlLibraryTrustProblem(folder).indexOf(QStringLiteral("başka bir kullanıcıya")), -1);
    ASSERT_TRUE(QFile::remove(library));
    ASSERT_EQ(::chown(QFile::encodeName(folder).constData(), 65534, 65534), 0);
    EXPECT_NE(ControlLibraryTrustProblem(folder).indexOf(QStringLiteral("ait değil")), -1);
}

#ifdef DOVA_CONTROL_LIBRARY
// A home folder on a disk mounted noexec: the program's copy cannot be loaded. The operator is told why,
// once per start, and the copy the library package installed serves when there is one.
TEST(ControlLibrary, ACopyOnANoexecDiskIsTriedOnceAndThePackagesCopyServesInstead) {
    QTemporaryDir dir;
    // A private mount table for this thread, so the noexec disk is seen here only.
    if (::unshare(CLONE_NEWNS) != 0 || ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
        ::mount("tmpfs", QFile::encodeName(dir.path()).constData(), "tmpfs", MS_NOEXEC, nullptr) != 0)
        GTEST_SKIP() << "no mount namespace for a noexec disk (not root)";
    for (const char* folder : {"served", "alone"})
        ASSERT_TRUE(QDir(dir.path()).mkdir(QString::fromLatin1(folder)));
    const QString served = dir.filePath(QStringLiteral("served/libdova.so"));
    const QString alone = dir.filePath(QStringLiteral("alone/libdova.so"));
    ASSERT_TRUE(QFile::copy(QStringLiteral(DOVA_CONTROL_LIBRARY), served));
    ASSERT_TRUE(QFile::copy(QStringLiteral(DOVA_CONTROL_LIBRARY), alone));
    QWidget parent;

    const QString installed = SetInstalledControlLibraryForTesting(QStringLiteral(DOVA_CONTROL_LIBRARY));
    RegisterControlLibrary(served);
    EXPECT_NE(CreateViewerControlFrom(served, &parent), nullptr);
    EXPECT_TRUE(ControlLibraryLoadError(served).isEmpty());
    const QString notice = TakeControlLibraryNotice();
    EXPECT_TRUE(notice.contains(served) && notice.contains(QStringLiteral("noexec")) &&
                notice.contains(QStringLiteral(DOVA_CONTROL_LIBRARY)))
        << notice.toStdString();
    RegisterControlLibrary(served); // the next tile
    EXPECT_TRUE(TakeControlLibraryNotice().isEmpty());

    SetInstalledControlLibraryForTesting(QString());
    RegisterControlLibrary(alone);
    EXPECT_EQ(CreateViewerControlFrom(alone, &parent), nullptr);
    EXPECT_TRUE(ControlLibraryLoadError(alone).contains(QStringLiteral("noexec")));
    EXPECT_TRUE(TakeControlLibraryNotice().contains(QStringLiteral("izlenemiyor")));
    EXPECT_FALSE(ReplaceIncompatibleControlLibrary(alone)); // the same bytes would not load either
    EXPECT_FALSE(ReplaceIncompatibleControlLibrary(alone)); // and are not read again
    RegisterControlLibrary(alone);
    EXPECT_TRUE(TakeControlLibraryNotice().isEmpty());
    SetInstalledControlLibraryForTesting(installed);
    ::umount2(QFile::encodeName(dir.path()).constData(), MNT_DETACH);
}
#endif
