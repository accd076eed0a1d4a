#pragma once
// Copying the computer table to and from "bilgisayar.ini". The file has one section per record
// ([RecNo1], [RecNo2], ...) with one "KEY=value" line per field in field order, CR LF line ends, values
// exactly as held (the password in plain text). Reading follows the classic profile-file rules: the
// order of the sections gives the order of the records whatever their names, keys match in any
// letter case, the value is everything after the first "=", with blanks and one pair of enclosing
// quotes dropped.

#include <QByteArray>
#include <QList>
#include <QPair>
#include <QString>
#include <QVariant>

class TComputerTable;

struct TIniSection {
    QString Name;
    QList<QPair<QString, QString>> Entries; // name, value as read (blanks and quotes dropped)
};

// Text of a file: UTF-8 when it is valid UTF-8, otherwise Windows-1254 (files from Windows installs).
QString DecodeIniText(const QByteArray& bytes);
QList<TIniSection> ParseIni(const QString& text);

// The text written for one field value: empty for null, "." as decimal separator for numbers, the
// day number for dates, the text as stored otherwise.
QString FieldToIniText(const QVariant& value);

QByteArray ComposeTableIni(const TComputerTable& table);

// Replaces the file atomically: the new content goes to a temporary file beside it (readable by the
// owner only, since it holds passwords), which is then renamed over the old one, so a failure never
// loses the previous list. On failure returns false with "Unable to write to <path>".
bool SaveTableToIni(const TComputerTable& table, const QString& path, QString* errorMessage = nullptr);

// Empties the table and fills it from the file; unreadable content is skipped silently.
void LoadTableFromIni(TComputerTable& table, const QString& path);
