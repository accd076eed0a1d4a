#include "ControlLibrary.h"

#include "Deployment.h"

#include "IVNCViewer.h"

#include <QFile>
#include <QFileInfo>
#include <QHash>

#include <dlfcn.h>

namespace {

ViewerFactory& TestFactory() {
    static ViewerFactory factory;
    return factory;
}

struct LoadedLibrary {
    void* Handle = nullptr;
    DovaCreateViewerFunction Entry = nullptr;
    bool Refused = false; // its entry point turned this program's interface version down
};

// The libraries loaded so far, by path. A handle is never closed once a viewer came from it: viewer
// widgets made by the library's code may live until the very end.
QHash<QString, LoadedLibrary>& Libraries() {
    static QHash<QString, LoadedLibrary> libraries;
    return libraries;
}

// Loads the file openAs and files its entry point under path.
DovaCreateViewerFunction LoadEntryPoint(const QString& path, const QString& openAs) {
    if (const auto known = Libraries().constFind(path); known != Libraries().cend())
        return known->Entry;
    void* handle = ::dlopen(QFile::encodeName(openAs).constData(), RTLD_NOW | RTLD_LOCAL);
    if (!handle)
        return nullptr;
    auto entry = reinterpret_cast<DovaCreateViewerFunction>(::dlsym(handle, DOVA_ENTRY_POINT_NAME));
    if (!entry) {
        ::dlclose(handle); // nothing of it can be in use yet
        return nullptr;
    }
    Libraries().insert(path, LoadedLibrary{handle, entry, false});
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
    if (known == Libraries().end())
        return nullptr;
    const char* message = nullptr;
    dova::IVNCViewer* viewer = known->Entry(dova::DOVA_INTERFACE_VERSION, parent, &message);
    if (!viewer)
        known->Refused = true;
    return viewer;
}

void RegisterControlLibrary(const QString& path) {
    LoadEntryPoint(path, path);
}

bool ControlLibraryUnusable(const QString& path) {
    const auto known = Libraries().constFind(path);
    return known == Libraries().cend() || known->Refused;
}

bool ReplaceIncompatibleControlLibrary(const QString& path) {
    if (!QFileInfo::exists(path) || !ControlLibraryUnusable(path))
        return false; // a compatible library stays untouched
    const QString embedded = EmbeddedControlLibraryResource();
    if (!QFileInfo::exists(embedded) || SameContent(path, embedded))
        return false; // nothing better to offer
    if (const auto known = Libraries().find(path); known != Libraries().end()) {
        // No viewer came from it, so it can go; its path is to serve the new library.
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
