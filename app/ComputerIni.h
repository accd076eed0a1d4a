#pragma once
// Copying the computer table to and from "bilgisayar.ini". The file has one section per record
// ([RecNo1], [RecNo2], ...) with one "KEY=value" line per field in field order, CR LF line ends,
// UTF-8 (the password in plain text). Reading follows the classic profile-file rules: the order of the
// sections gives the order of the records whatever their names, keys match in any letter case, the
// value is everything after the first "=", with blanks and one pair of enclosing quotes dropped.
//
// Nothing the program does not understand is lost on the way back: unknown keys, comments and later
// duplicates stay in their record's section, and lines before the first section and sections that are
// no records stay where they were. A value that would not read back as held (blanks or a quote at an
// end) is written between quotes.

#include "IniLine.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QVariant>

#include <cstdint>
#include <vector>

class TComputerTable;

// What a read of the list found.
enum class TListState {
    Missing,     // no file: an empty list
    Read,        // read whole (an empty file included)
    Unreadable,  // the file could not be opened or read
    Undecodable, // not text of a profile file (UTF-16 "Unicode" from a Windows editor, binary)
    NoRecords,   // text, but not one section: not a list this program wrote
};

// The parts of the file that are no records, with where they stood.
struct TIniOutsideRecords {
    struct Section {
        QList<TIniLine> Lines;                    // its header first
        std::vector<std::uint64_t> RecordsBefore; // creation numbers of the records above it, in file order
    };
    QList<TIniLine> Preamble; // lines before the first section
    QList<Section> Others;
};

struct TListRead {
    TListState State = TListState::Missing;
    QString Reason; // why an unreadable file could not be read, in Turkish
    TIniOutsideRecords Outside;
};

// The text written for one field value: empty for null, "." as decimal separator for numbers, the
// day number for dates, the text as stored otherwise.
QString FieldToIniText(const QVariant& value);

// Reads the whole file: Read with its bytes, Missing, or Unreadable with the reason in Turkish.
TListState ReadListFile(const QString& path, QByteArray* bytes, QString* reason);

// Empties the table and fills it from the bytes of a file. A file that is not understood (see
// TListState) leaves the table empty.
TListRead LoadTableFromIniBytes(TComputerTable& table, const QByteArray& bytes);
// The same from the file at path.
TListRead LoadTableFromIni(TComputerTable& table, const QString& path);

QByteArray ComposeTableIni(const TComputerTable& table, const TIniOutsideRecords& outside = {});

// Replaces the file atomically: the new content goes to a temporary file beside it (readable by the
// owner only, since it holds passwords), which is then renamed over the old one, so a failure never
// loses the previous list. A list with nothing to write removes the file. On failure returns false
// with "Unable to write to <path>" and, in reason, what went wrong in Turkish.
bool WriteIniFile(const QString& path, const QByteArray& bytes, QString* errorMessage = nullptr,
                  QString* reason = nullptr);
bool SaveTableToIni(const TComputerTable& table, const QString& path, QString* errorMessage = nullptr);
