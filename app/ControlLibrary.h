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

// Program folder + "libdova.so".
QString ControlLibraryPath();

// One creation attempt with the library of the program folder: asks its entry point for a viewer.
// Null when the library was not registered (loaded), or when it refuses the interface version this
// program was built with (a library of another build).
dova::IVNCViewer* CreateViewerControl(QWidget* parent);
dova::IVNCViewer* CreateViewerControlFrom(const QString& path, QWidget* parent);

// Makes the library at path instantiable: loads it into the process and finds its entry point, once
// per start. Failures (no file, not a library, no entry point) are swallowed; the next attempt tells.
// When the file cannot be loaded (a folder on a disk mounted noexec), the copy the library package
// installed serves in its place if there is one that serves this program; the operator is to be told
// either way (TakeControlLibraryNotice).
void RegisterControlLibrary(const QString& path);

// Why the library at path could not be loaded (in Turkish where the cause is known); empty when it was
// loaded, or another copy serves in its place, or it was never tried.
QString ControlLibraryLoadError(const QString& path);

// The message for the operator about a library that could not be loaded, once: empty afterwards.
QString TakeControlLibraryNotice();

// Tests name the "installed" copy (empty: none); returns the one named before.
QString SetInstalledControlLibraryForTesting(const QString& path);

// True when the library at path could not be loaded, or its entry point refused this program's
// interface version.
bool ControlLibraryUnusable(const QString& path);

// When the library at path is unusable (a library of an older build left in the program folder),
// puts the program's own embedded copy in its place (written beside, then renamed) and registers
// it. False when it is usable, or when it could not be replaced; the caller tells the operator.
bool ReplaceIncompatibleControlLibrary(const QString& path);

// Tests replace the library with their own factory (null restores the library).
using ViewerFactory = std::function<dova::IVNCViewer*(QWidget* parent)>;
void SetViewerFactoryForTesting(ViewerFactory factory);
