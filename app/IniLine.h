#pragma once
// One line of a profile (INI) file as read, kept with its bytes so that whatever the program does not
// understand is written back exactly. Each line is decoded on its own: UTF-8 where it is valid UTF-8,
// Windows-1254 otherwise (lines written by the Windows copies), so one odd byte never turns the rest of
// the file into mojibake.

#include <QByteArray>
#include <QList>
#include <QString>

struct TIniLine {
    enum Kind { Other, Section, Entry }; // Other: blank lines, comments, text that is neither

    QByteArray Raw; // the line's bytes, without its line end
    Kind LineKind = Other;
    QString Name;  // the section's name, or the entry's key
    QString Value; // the entry's value as a profile reader gives it (blanks and one quote pair dropped)

    bool operator==(const TIniLine& other) const { return Raw == other.Raw; }
};

// The text of one line's bytes.
QString DecodeIniLine(const QByteArray& bytes);

// The bytes written for a line read as bytes: unchanged when valid UTF-8, otherwise its text in UTF-8
// (the file is UTF-8 from then on), or unchanged when its bytes have no text to convert.
QByteArray IniLineToUtf8(const QByteArray& bytes);

// Splits bytes into lines (LF or CR LF ends; a UTF-8 byte-order mark before the first is dropped).
QList<TIniLine> SplitIniLines(const QByteArray& bytes);

// An entry line "key=value" whose value reads back as exactly value: a value with blanks or a quote at
// either end is put between double quotes, which the reader drops again.
TIniLine MakeIniEntry(const QString& key, const QString& value);

// Key comparison as the operator types keys: letter case ignored, and the Turkish dotted capital İ and
// dotless ı taken as I and i (a Turkish keyboard's capitals give BİLGİSAYARADI).
bool SameIniKey(const QString& a, const QString& b);
