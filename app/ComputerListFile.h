#pragma once
// The computer list's file as the program knows it: what the last read (or write) found there, so that
// a list the program did not fully understand is never written over, and a file changed by someone
// else since (a text editor, a second running copy) is never overwritten without asking. Edits that
// could not be saved are kept here for the next try.

#include "ComputerIni.h"
#include "ComputerTable.h"

#include <QByteArray>
#include <QString>

#include <optional>
#include <vector>

class TComputerListFile {
public:
    // The list is written to path. It is read from readFrom when given: a list left beside a program
    // whose files live in the user's data folder is used until the first save puts it there.
    explicit TComputerListFile(QString path = QString(), QString readFrom = QString())
        : FPath(std::move(path)), FReadPath(readFrom.isEmpty() ? FPath : std::move(readFrom)) {}

    QString Path() const { return FPath; }
    QString ReadPath() const { return FReadPath; }
    // Where edits go while the file is not understood: beside it, under a new name.
    QString CopyPath() const { return FPath + QStringLiteral(".yeni"); }
    // Where the file's own content is kept when the operator saves over an outside change.
    QString BackupPath() const { return FPath + QStringLiteral(".yedek"); }

    // Fills the table from the file (empty when there is none, or when it is not understood).
    TListState Load(TComputerTable& table);
    TListState State() const { return FBase.Read.State; }
    // The file was read whole, or there is none: saving over it loses nothing.
    bool Understood() const { return Understood(State()); }
    static bool Understood(TListState state);
    // What is wrong with the file, naming it, in Turkish; empty when it was understood.
    QString ProblemText() const;

    // The file no longer holds what was read from it or last written to it.
    bool ChangedOnDisk() const;
    // The table holds the records as they were read or last written (order aside: the grid sorts).
    bool TableUnchanged(const TComputerTable& table) const;

    // Writes the table with everything of the file that is not a record.
    bool Save(const TComputerTable& table, QString* errorMessage, QString* reason);
    // Keeps the file's present content at BackupPath() (before saving over an outside change).
    bool BackUpDiskContent(QString* errorMessage, QString* reason) const;

    // Puts the records back as they were read or last written.
    void RevertTable(TComputerTable& table) const { table.SetRecords(FBase.Records); }

    // Edits that could not be saved, with what they were based on (and where it was read), kept until
    // the editor opens again.
    void KeepUnsaved(const TComputerTable& table);
    bool HasUnsaved() const { return FUnsaved.has_value(); }
    void RestoreUnsaved(TComputerTable& table);

private:
    struct Baseline {
        TListRead Read;
        QByteArray Bytes; // the file's content (empty for no file)
        std::vector<TComputerRecord> Records;
    };
    struct Unsaved {
        std::vector<TComputerRecord> Records;
        Baseline Base;
        QString ReadPath;
    };

    QString FPath;
    QString FReadPath;
    Baseline FBase;
    std::optional<Unsaved> FUnsaved;
};
