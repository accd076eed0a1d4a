#pragma once
// Whether a file the program carries (the viewer library, the help document) may be loaded from or
// written into the application's folder. A folder another user can write lets that user plant a
// library the program would run; a link at the file's name would have the program replace whatever it
// points to. Trusted: a folder of this user (or root) that no group or other user can write, and at the
// file's name nothing or a regular file of this user or root.

#include <QString>

// Empty when libdova.so may be loaded from folder and written there; otherwise why not, a Turkish
// sentence for the operator. A folder that does not exist holds nothing to load: empty too.
QString ControlLibraryTrustProblem(const QString& folder);

// The same checks before yardim.pdf is written into folder; the sentence says it was not written.
QString HelpDocumentTrustProblem(const QString& folder);
