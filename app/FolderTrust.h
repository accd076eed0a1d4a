#pragma once
// Whether the viewer library in the application's folder may be loaded or written. A folder another
// user can write lets that user plant a library the program would run; a link at the library's name
// would have the program replace whatever it points to. Trusted: a folder of this user (or root) that
// no group or other user can write, and a library file that is a regular file of this user or root.

#include <QString>

// Empty when libdova.so may be loaded from folder and written there; otherwise why not, a Turkish
// sentence for the operator. A folder that does not exist holds nothing to load: empty too.
QString ControlLibraryTrustProblem(const QString& folder);
