#include "ControlLibrary.h"

#include "Deployment.h"

#include "IVNCViewer.h"

#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QSet>
#include <QWidget>

#include <dlfcn.h>
#include <sys/statvfs.h>

#include <utility>

namespace {

ViewerFactory& TestFactory() {
    static ViewerFactory factory;
    return factory;
}

QString& InstalledLibrary() {
    static QString path = QStringLiteral(LATIS_INSTALLED_CONTROL_LIBRARY);
    return path;
}

struct LoadedLibrary {
    void* Handle = nullptr; // null: the file could not be loaded (LoadError says why)
    DovaCreateViewerFunction Entry = nullptr;
    bool Refused = false; // its entry point turned this program's interface version down
    QString LoadError;
};

// The libraries loaded so far, by path, and those that could not be: each file is tried once per start,
// not once per tile. A handle is never closed once a viewer came from it: viewer widgets made by the
// library's code may live until the very end.
QHash<QString, LoadedLibrary>& Libraries() {
    static QHash<QString, LoadedLibrary> libraries;
    return libraries;
}

QSet<QString>& ReplacementsTried() {
    static QSet<QString> tried;
    return tried;
}

QString& PendingNotice() {
    static QString notice;
    return notice;
}

// Why the file at path could not be loaded, in Turkish where the cause is known.
QString LoadFailureReason(const QString& path, const char* error) {
    struct statvfs fs {};
    if (::statvfs(QFile::encodeName(QFileInfo(path).absolutePath()).constData(), &fs) == 0 &&
        (fs.f_flag & ST_NOEXEC))
        return QStringLiteral("klasörün diski \"noexec\" seçeneğiyle bağlı, oradan program kodu yüklenemez");
    return error ? QString::fromLocal8Bit(error) : QStringLiteral("bilinmeyen hata");
}

// Loads the file openAs and files its entry point (or why it could not be loaded) under path.
DovaCreateViewerFunction LoadEntryPoint(const QString& path, const QString& openAs) {
    if (const auto known = Libraries().constFind(path); known != Libraries().cend())
        return known->Entry;
    void* handle = ::dlopen(QFile::encodeName(openAs).constData(), RTLD_NOW | RTLD_LOCAL);
    if (!handle) {
        Libraries().insert(path,
                           LoadedLibrary{nullptr, nullptr, false, LoadFailureReason(openAs, ::dlerror())});
        return nullptr;
    }
    auto entry = reinterpret_cast<DovaCreateViewerFunction>(::dlsym(handle, DOVA_ENTRY_POINT_NAME));
    if (!entry) {
        ::dlclose(handle); // nothing of it can be in use yet
        Libraries().insert(path, LoadedLibrary{nullptr, nullptr, false, QStringLiteral("giriş noktası yok")});
        return nullptr;
    }
    Libraries().insert(path, LoadedLibrary{handle, entry, false, QString()});
    return entry;
}

bool SameContent(const QString& path, const QString& resource) {
    QFile a(path);
    QFile b(resource);
    return a.open(QIODevice::ReadOnly) && b.open(QIODevice::ReadOnly) && a.size() == b.size() &&
           a.readAll() == b.readAll();
}

} // namespace

QString ControlLibraryPath() {
    return ProgramFolder() + QString::fromUtf16(ControlLibraryFileName);
}

dova::IVNCViewer* CreateViewerControl(QWidget* parent) {
    if (TestFactory())
        return TestFactory()(parent);
    return CreateViewerControlFrom(ControlLibraryPath(), parent);
}

dova::IVNCViewer* CreateViewerControlFrom(const QString& path, QWidget* parent) {
    const auto known = Libraries().find(path);
    if (known == Libraries().end() || !known->Entry)
        return nullptr;
    const char* message = nullptr;
    dova::IVNCViewer* viewer = known->Entry(dova::DOVA_INTERFACE_VERSION, parent, &message);
    if (!viewer)
        known->Refused = true;
    return viewer;
}

void RegisterControlLibrary(const QString& path) {
    if (Libraries().contains(path) || LoadEntryPoint(path, path))
        return;
    // The program's own copy cannot be loaded (a data folder on a disk mounted noexec): the copy the
    // library package installed serves in its place, once it has shown it serves this program.
    const QString reason = Libraries().value(path).LoadError;
    const QString installed = InstalledLibrary();
    QString outcome = QStringLiteral("Bilgisayarlar izlenemiyor: libdova paketini kurun ya da programı "
                                     "böyle olmayan bir klasörden çalıştırın.");
    if (!installed.isEmpty() && installed != path && QFileInfo::exists(installed)) {
        if (LoadEntryPoint(installed, installed)) {
            QWidget probe; // a viewer made to see the version accepted goes with it
            const char* message = nullptr;
            if (Libraries()[installed].Entry(dova::DOVA_INTERFACE_VERSION, &probe, &message)) {
                Libraries()[path].Entry = Libraries()[installed].Entry;
                outcome = QStringLiteral("Paketin kurduğu %1 kullanılıyor.").arg(installed);
            }
        }
    }
    PendingNotice() =
        QStringLiteral("Görüntüleme bileşeni %1 yüklenemedi: %2.\n\n%3").arg(path, reason, outcome);
}

QString ControlLibraryLoadError(const QString& path) {
    const auto known = Libraries().constFind(path);
    return known == Libraries().cend() || known->Entry ? QString() : known->LoadError;
}

QString TakeControlLibraryNotice() {
    return std::exchange(PendingNotice(), QString());
}

QString SetInstalledControlLibraryForTesting(const QString& path) {
    return std::exchange(InstalledLibrary(), path);
}

bool ControlLibraryUnusable(const QString& path) {
    const auto known = Libraries().constFind(path);
    return known == Libraries().cend() || !known->Entry || known->Refused;
}

bool ReplaceIncompatibleControlLibrary(const QString& path) {
    if (!QFileInfo::exists(path) || !ControlLibraryUnusable(path))
        return false; // a compatible library stays untouched
    if (ReplacementsTried().contains(path))
        return false; // once per start: every tile after the first would only read both copies again
    ReplacementsTried().insert(path);
    const QString embedded = EmbeddedControlLibraryResource();
    if (!QFileInfo::exists(embedded) || SameContent(path, embedded))
        return false; // nothing better to offer
    if (const auto known = Libraries().find(path); known != Libraries().end()) {
        // No viewer came from it, so it can go; its path is to serve the new library.
        if (known->Handle)
            ::dlclose(known->Handle);
        Libraries().erase(known);
    }
    if (!WritePayload(embedded, path)) // written beside, then renamed over the old file
        return false;
    // Where the old image could not be unloaded, the loader would hand it back for the same path
    // name; another spelling of the path makes it open the new file.
    QString openAs = path;
    if (void* stale = ::dlopen(QFile::encodeName(path).constData(), RTLD_NOW | RTLD_NOLOAD)) {
        ::dlclose(stale);
        const QFileInfo file(path);
        openAs = file.absolutePath() + QStringLiteral("/./") + file.fileName();
    }
    return LoadEntryPoint(path, openAs) != nullptr;
}

void SetViewerFactoryForTesting(ViewerFactory factory) {
    TestFactory() = std::move(factory);
}
