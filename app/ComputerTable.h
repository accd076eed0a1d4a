#pragma once
// The in-memory computer table RxBilgisayar: one record per watched computer, shared by the records
// editor (through its edit boxes and grid) and by the tile-grid builder. It behaves like a small
// memory dataset: a current record, the states browse/insert/edit with post and cancel, and a
// before-post check that only applies while the records editor is attached.

#include "IniLine.h"

#include <QAbstractTableModel>
#include <QCollator>
#include <QString>
#include <QStringList>

#include <array>
#include <cstdint>
#include <vector>

// One record: the four fields, and every line its section held in the file (unknown keys, comments,
// duplicates, the fields' own lines), which a save writes back in place. Keys other programs or later
// versions add (a user name, a group) live among those lines and are read and set by key.
struct TComputerRecord {
    std::array<QString, 6> Fields; // one per field of TComputerTable
    QList<TIniLine> Lines;
    std::uint64_t Creation = 0;
};

class TComputerTable : public QAbstractTableModel {
    Q_OBJECT

public:
    // Field numbers follow the field order of the table; the file and the editor depend on it.
    // GRUP (the wall's group of the computer) and KULLANICI (the user name for servers that ask for
    // one) are optional: written to the file only for records that have them.
    enum Field : int { BILGISAYARADI = 0, IP = 1, PORT = 2, PASSWORD = 3, GRUP = 4, KULLANICI = 5 };
    static constexpr int FieldCount = 6;
    static constexpr int EditBoxFields = 4;   // the editor's boxes; the group is edited in its grid
    static constexpr int MaxFieldLength = 50; // every field is a text of at most 50 characters

    enum class State { Browse, Insert, Edit };

    using Values = std::array<QString, FieldCount>;

    explicit TComputerTable(QObject* parent = nullptr);

    static QString FieldName(int field);
    // Letter case ignored, Turkish capitals included (BİLGİSAYARADI); -1 when no field has the name.
    static int FieldByName(const QString& name);
    static QString CutToFieldLength(const QString& value);
    // What a field can hold: line breaks and other control characters never enter the table (a value
    // pasted from a spreadsheet cell ends in one), so what is written reads back the same.
    static QString CleanFieldText(const QString& value);

    // Record access.
    int RecordCount() const { return static_cast<int>(FRecords.size()); }
    bool IsEmpty() const { return FRecords.empty(); }
    int RecNo() const { return FCurrent; } // 0-based current row, -1 when the table is empty
    QString Value(int row, int field) const;
    QString FieldValue(int field) const; // of the current record ("" when there is none)
    std::uint64_t CreationNumber(int row) const;
    const TComputerRecord& Record(int row) const { return FRecords[static_cast<std::size_t>(row)]; }

    // Keys of a record other than the four fields (the first entry of the key in its section); empty
    // when the record has none. Setting one edits the current record as a field does.
    QString ExtraValue(int row, const QString& key) const;
    void SetExtraValue(const QString& key, const QString& value);

    // Every record, and a table made of such records again (their creation numbers kept).
    std::vector<TComputerRecord> Records() const { return FRecords; }
    void SetRecords(std::vector<TComputerRecord> records);

    // Navigation posts a pending edit first, as a dataset does; it stops when the post is refused.
    bool First();
    bool Prior();
    bool Next();
    bool Last();
    bool MoveTo(int row);
    bool Bof() const { return FCurrent <= 0; }
    bool Eof() const { return FCurrent < 0 || FCurrent >= RecordCount() - 1; }

    // Editing.
    State GetState() const { return FState; }
    // A record is being inserted, or edited into something else than it was.
    bool PendingChanges() const;
    void Insert();                                   // new record before the current one
    void Append();                                   // new record after the last one
    void Edit();                                     // start editing the current record
    void SetFieldValue(int field, const QString& v); // enters Edit from Browse; cut to 50 characters
    bool Post();                                     // false when the before-post check refused
    void Cancel();
    void Delete(); // removes the current record (cancels an insert in progress)
    void Clear();  // removes every record (creation numbers keep increasing)

    // Appends a committed record without check or default (loading from the file); lines are what
    // its section held. Returns its creation number.
    std::uint64_t AppendRecord(const Values& values, const QList<TIniLine>& lines = {});

    // The checks and the new-record default apply only while the records editor exists.
    void SetEditorAttached(bool attached) { FEditorAttached = attached; }
    bool EditorAttached() const { return FEditorAttached; }

    // The check before commit: the field that failed (or -1) and its message.
    struct CheckResult {
        int Field = -1;
        QString Message;
        bool Ok() const { return Field < 0; }
    };
    static CheckResult CheckRecord(const Values& values);
    // A port is a whole number from 1 to 65535, in plain digits.
    static bool ValidPort(const QString& text);
    static QString InvalidPortMessage();

    // Orders the records by name, locale-aware and case-insensitive, empty names first, ties in
    // creation order. The collator is the user's locale unless set (tests pin tr_TR).
    void SortByName();
    void SetCollatorLocale(const QLocale& locale);

    // QAbstractTableModel
    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    bool setData(const QModelIndex& index, const QVariant& value, int role = Qt::EditRole) override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

signals:
    void CurrentChanged(int row);
    void StateChanged(TComputerTable::State state);
    // A post was refused by the check: the editor shows the message ("Bilgi") and moves the focus
    // to the edit box of the field; the record stays in editing.
    void PostRefused(int field, const QString& message);

private:
    bool PostIfEditing();
    void SetCurrent(int row);
    void SetState(State state);
    void StartNewRecord(int row);
    void RxBilgisayarAfterInsert();
    bool RxBilgisayarBeforePost();

    std::vector<TComputerRecord> FRecords;
    int FCurrent = -1;
    State FState = State::Browse;
    TComputerRecord FSaved; // the record before Edit, restored by Cancel
    std::uint64_t FNextCreation = 1;
    bool FEditorAttached = false;
    QCollator FCollator;
};
