#pragma once
// The program folder and the two files the program carries inside itself: the viewer control library
// (written beside the program only when missing, never replaced) and the help document (written at
// every start). Writing them is optional: every failure is swallowed.

#include <QString>

inline constexpr char16_t ControlLibraryFileName[] = u"libdova.so";
inline constexpr char16_t HelpFileName[] = u"yardim.pdf";
inline constexpr char16_t ComputerFileName[] = u"bilgisayar.ini";

// The folder the application keeps its files in, ending in "/": the folder of the running program file,
// or the user's data folder when the program is installed (FileFolder.h).
QString ProgramFolder();

// The embedded payloads (Qt resources); a null payload when the build carried none.
QString EmbeddedControlLibraryResource();
QString EmbeddedHelpResource();

// Writes a payload byte for byte; false on any failure (the caller ignores it). The file appears
// complete or not at all, so an interrupted start never leaves half a library behind.
bool WritePayload(const QString& resource, const QString& path);

void DeployControlLibrary(const QString& folder);
void DeployHelpDocument(const QString& folder);
