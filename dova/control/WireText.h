#pragma once
// Clipboard text between the local desktop and the wire. On the wire it is 8-bit text in the code
// page of the computers this viewer watches (Windows-1254), or UTF-8 with a server that takes part in
// the extended clipboard; on the Linux clipboard lines end in LF.

#include <QString>

#include <string>

namespace dova {

// Local text for ClientCutText: Windows-1254 bytes (characters it lacks become '?').
std::string ToWireText(const QString& text);

// Server text for the local clipboard: decoded from Windows-1254 (or UTF-8); CRs before an LF are
// dropped and a lone CR becomes LF.
QString FromWireText(const std::string& bytes, bool utf8 = false);

} // namespace dova
