#pragma once
// The whole cycle of the "Bilgisayar Kayıtları" menu item: the records editor, modally; then the table
// is written to the list's file and the tile grid rebuilt.
//
// The file is never written over when it was not understood (the edits go to a new file beside it),
// nor when someone else changed it since it was read (the operator chooses). A save that fails is
// offered again; given up, the table goes back to what the file holds, and the edits come back when
// the editor is opened next.

#include <functional>

class QWidget;
class TComputerTable;
class TComputerListFile;

// Returns whether the table now holds what the file holds (saved, or taken from the file); the grid is
// rebuilt then, and only then.
bool BilgisayarKayitlariCycle(TComputerTable& table, TComputerListFile& list, QWidget* mainWindow,
                              const std::function<void()>& buildTiles);
