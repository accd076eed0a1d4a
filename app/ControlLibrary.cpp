#include "ControlLibrary.h"

#include "Deployment.h"

#include "IVNCViewer.h"

#include <QFile>

#include <dlfcn.h>

namespace {

ViewerFactory& TestFactory() {
    static ViewerFactory factory;
    return factory;
}

// The loaded library's entry point, or null until a load succeeded. The handle is never closed.
DovaCreateViewerFunction& EntryPoint() {
    static DovaCreateViewerFunction entry = nullptr;
    return entry;
}

DovaCreateViewerFunction LoadEntryPoint(const QString& path) {
    void* handle = ::dlopen(QFile::encodeName(path).constData(), RTLD_NOW | RTLD_LOCAL);
    if (!handle)
        return nullptr;
    auto entry = reinterpret_cast<DovaCreateViewerFunction>(::dlsym(handle, DOVA_ENTRY_POINT_NAME));
    if (!entry)
        ::dlclose(handle); // nothing of it can be in use yet
    return entry;
}

} // namespace

dova::IVNCViewer* CreateViewerControl(QWidget* parent) {
    if (TestFactory())
        return TestFactory()(parent);
    if (!EntryPoint())
        EntryPoint() = LoadEntryPoint(ProgramFolder() + QString::fromUtf16(ControlLibraryFileName));
    if (!EntryPoint())
        return nullptr;
    const char* message = nullptr;
    return EntryPoint()(dova::DOVA_INTERFACE_VERSION, parent, &message);
}

void RegisterControlLibrary(const QString& path) {
    if (EntryPoint())
        return;
    EntryPoint() = LoadEntryPoint(path);
}

void SetViewerFactoryForTesting(ViewerFactory factory) {
    TestFactory() = std::move(factory);
}
