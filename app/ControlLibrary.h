#pragma once
// Creating viewer controls from libdova.so in the program folder. On this platform "registering" the
// library means making it loadable by the process: the library is opened once and stays loaded for
// the life of the process, since viewer widgets made by its code may live until the very end.

#include <QString>

#include <functional>

class QWidget;
namespace dova {
class IVNCViewer;
}

// One creation attempt: loads the library from the program folder if needed and asks its entry
// point for a viewer. Null when the library is missing, lacks the entry point, or refuses the
// interface version this program was built with (a library of another build).
dova::IVNCViewer* CreateViewerControl(QWidget* parent);

// Makes the library at path loadable for the next creation attempt. Failures are swallowed.
void RegisterControlLibrary(const QString& path);

// Tests replace the library with their own factory (null restores the library).
using ViewerFactory = std::function<dova::IVNCViewer*(QWidget* parent)>;
void SetViewerFactoryForTesting(ViewerFactory factory);
