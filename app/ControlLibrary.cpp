#include "ControlLibrary.h"

#include "Deployment.h"

#include "IVNCViewer.h"

#include <QFile>
#include <QHash>

#include <dlfcn.h>

namespace {

ViewerFactory& TestFactory() {
    static ViewerFactory factory;
    return factory;
}

// Entry points of the libraries loaded so far, by path. A handle is never closed once its entry
// point was found: viewer widgets made by the library's code may live until the very end.
QHash<QString, DovaCreateViewerFunction>& EntryPoints() {
    static QHash<QString, DovaCreateViewerFunction> entries;
    return entries;
}

DovaCreateViewerFunction LoadEntryPoint(const QString& path) {
    if (const auto known = EntryPoints().constFind(path); known != EntryPoints().cend())
        return *known;
    void* handle = ::dlopen(QFile::encodeName(path).constData(), RTLD_NOW | RTLD_LOCAL);
    if (!handle)
        return nullptr;
    auto entry = reinterpret_cast<DovaCreateViewerFunction>(::dlsym(handle, DOVA_ENTRY_POINT_NAME));
    if (!entry) {
        ::dlclose(handle); // nothing of it can be in use yet
        return nullptr;
    }
    EntryPoints().insert(path, entry);
    return entry;
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
    const DovaCreateViewerFunction entry = EntryPoints().value(path, nullptr);
    if (!entry)
        return nullptr;
    const char* message = nullptr;
    return entry(dova::DOVA_INTERFACE_VERSION, parent, &message);
}

void RegisterControlLibrary(const QString& path) {
    LoadEntryPoint(path);
}

void SetViewerFactoryForTesting(ViewerFactory factory) {
    TestFactory() = std::move(factory);
}
