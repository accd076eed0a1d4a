#pragma once
// Where the application keeps its files (the control library, the help document, the computer list and
// the window settings). Run from a folder the user can write (a portable copy, the build or demo
// folder), everything lives beside the program. Installed, the files move to the user's data folder:
// a folder the user cannot write would lose them, and a system folder the package manager owns (even
// one root could write) must not collect one user's computer list.

#include <QString>

// The folder of the running program file, ending in "/".
QString ExecutableFolder();

// The user's data folder for the application, ending in "/": $XDG_DATA_HOME/latisvnc/, or
// home/.local/share/latisvnc/ when XDG_DATA_HOME is unset, empty or relative.
QString UserDataFolder(const QString& xdgDataHome, const QString& home);

// True when the files stay in programFolder: the user can create a file there and it is not the
// folder the package installs the program into.
bool KeepsFilesBesideProgram(const QString& programFolder, const QString& installedProgramFolder);

// Creates folder and any missing parent with mode 0700 (the computer list holds passwords). An
// existing folder keeps its mode. False when the folder does not exist afterwards.
bool MakePrivateFolder(const QString& folder);

// programFolder when the files stay beside the program, otherwise dataFolder, created when missing.
// A data folder that cannot be made is still returned: writing there then fails the usual way (silent
// at start-up, "Unable to write to ..." when the computer list is saved).
QString ChooseFileFolder(const QString& programFolder, const QString& installedProgramFolder,
                         const QString& dataFolder);
