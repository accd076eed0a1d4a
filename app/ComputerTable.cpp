#include "ComputerTable.h"

#include <QLocale>

#include <algorithm>

namespace {

const std::array<QString, TComputerTable::FieldCount>& FieldNames() {
    static const std::array<QString, TComputerTable::FieldCount> names = {
        QStringLiteral("BILGISAYARADI"), QStringLiteral("IP"), QStringLiteral("PORT"),
        QStringLiteral("PASSWORD"), QStringLiteral("GRUP")};
    return names;
}

QString MessageFor(int field) {
    switch (field) {
    case TComputerTable::BILGISAYARADI:
        return QStringLiteral("Bilgisayar tanımını giriniz.");
    case TComputerTable::IP:
        return QStringLiteral("Bilgisayar IP sini giriniz.");
    case TComputerTable::PORT:
        return QStringLiteral("Bağlantı portunu giriniz.");
    default:
        return QString();
    }
}

} // namespace

TComputerTable::TComputerTable(QObject* parent) : QAbstractTableModel(parent) {
    SetCollatorLocale(QLocale());
}

QString TComputerTable::FieldName(int field) {
    return field >= 0 && field < FieldCount ? FieldNames()[field] : QString();
}

int TComputerTable::FieldByName(const QString& name) {
    for (int f = 0; f < FieldCount; ++f) {
        if (FieldNames()[f].compare(name, Qt::CaseInsensitive) == 0)
            return f;
    }
    return -1;
}

QString TComputerTable::CutToFieldLength(const QString& value) {
    if (value.size() <= MaxFieldLength)
        return value;
    // Never leave half of a surrogate pair behind.
    qsizetype n = MaxFieldLength;
    if (value.at(n - 1).isHighSurrogate())
        --n;
    return value.left(n);
}

QString TComputerTable::Value(int row, int field) const {
    if (row < 0 || row >= RecordCount() || field < 0 || field >= FieldCount)
        return QString();
    return FRecords[row].Fields[field];
}

QString TComputerTable::FieldValue(int field) const {
    return Value(FCurrent, field);
}

std::uint64_t TComputerTable::CreationNumber(int row) const {
    return row >= 0 && row < RecordCount() ? FRecords[row].Creation : 0;
}

void TComputerTable::SetCurrent(int row) {
    if (row == FCurrent)
        return;
    FCurrent = row;
    emit CurrentChanged(row);
}

void TComputerTable::SetState(State state) {
    if (state == FState)
        return;
    FState = state;
    emit StateChanged(state);
}

bool TComputerTable::PostIfEditing() {
    return FState == State::Browse || Post();
}

bool TComputerTable::First() {
    return MoveTo(0);
}
bool TComputerTable::Prior() {
    return MoveTo(FCurrent - 1);
}
bool TComputerTable::Next() {
    return MoveTo(FCurrent + 1);
}
bool TComputerTable::Last() {
    return MoveTo(RecordCount() - 1);
}

bool TComputerTable::MoveTo(int row) {
    if (!PostIfEditing())
        return false;
    if (FRecords.empty())
        return false;
    SetCurrent(std::clamp(row, 0, RecordCount() - 1));
    return true;
}

void TComputerTable::StartNewRecord(int row) {
    beginInsertRows(QModelIndex(), row, row);
    FRecords.insert(FRecords.begin() + row, Record{Values{}, FNextCreation++});
    endInsertRows();
    FCurrent = -1; // force the notice even when the row number stays the same
    SetCurrent(row);
    SetState(State::Insert);
    RxBilgisayarAfterInsert();
}

void TComputerTable::Insert() {
    if (!PostIfEditing())
        return;
    StartNewRecord(FCurrent < 0 ? 0 : FCurrent);
}

void TComputerTable::Append() {
    if (!PostIfEditing())
        return;
    StartNewRecord(RecordCount());
}

void TComputerTable::Edit() {
    if (FState != State::Browse || FCurrent < 0)
        return;
    FSaved = FRecords[FCurrent].Fields;
    SetState(State::Edit);
}

void TComputerTable::SetFieldValue(int field, const QString& v) {
    if (field < 0 || field >= FieldCount)
        return;
    if (FCurrent < 0)
        Append();
    if (FState == State::Browse)
        Edit();
    QString cut = CutToFieldLength(v);
    if (FRecords[FCurrent].Fields[field] == cut)
        return;
    FRecords[FCurrent].Fields[field] = cut;
    const QModelIndex i = index(FCurrent, field);
    emit dataChanged(i, i);
}

void TComputerTable::RxBilgisayarAfterInsert() {
    if (FEditorAttached)
        SetFieldValue(PORT, QStringLiteral("5900"));
}

TComputerTable::CheckResult TComputerTable::CheckRecord(const Values& values) {
    // Only "no characters at all" fails: a value of blanks passes, and the password may be empty.
    for (int field : {BILGISAYARADI, IP, PORT}) {
        if (values[field].isEmpty())
            return CheckResult{field, MessageFor(field)};
    }
    return CheckResult{};
}

bool TComputerTable::RxBilgisayarBeforePost() {
    if (!FEditorAttached)
        return true;
    const CheckResult r = CheckRecord(FRecords[FCurrent].Fields);
    if (r.Ok())
        return true;
    emit PostRefused(r.Field, r.Message);
    return false;
}

bool TComputerTable::Post() {
    if (FState == State::Browse)
        return true;
    if (!RxBilgisayarBeforePost())
        return false;
    SetState(State::Browse);
    return true;
}

void TComputerTable::Cancel() {
    if (FState == State::Insert) {
        const int row = FCurrent;
        beginRemoveRows(QModelIndex(), row, row);
        FRecords.erase(FRecords.begin() + row);
        endRemoveRows();
        FState = State::Browse;
        FCurrent = -1;
        SetCurrent(FRecords.empty() ? -1 : std::min(row, RecordCount() - 1));
        emit StateChanged(FState);
    } else if (FState == State::Edit) {
        FRecords[FCurrent].Fields = FSaved;
        emit dataChanged(index(FCurrent, 0), index(FCurrent, FieldCount - 1));
        SetState(State::Browse);
    }
}

void TComputerTable::Delete() {
    if (FState == State::Insert) {
        Cancel();
        return;
    }
    if (FState == State::Edit)
        Cancel();
    if (FCurrent < 0)
        return;
    const int row = FCurrent;
    beginRemoveRows(QModelIndex(), row, row);
    FRecords.erase(FRecords.begin() + row);
    endRemoveRows();
    FCurrent = -1;
    SetCurrent(FRecords.empty() ? -1 : std::min(row, RecordCount() - 1));
}

void TComputerTable::Clear() {
    beginResetModel();
    FRecords.clear();
    endResetModel();
    SetState(State::Browse);
    SetCurrent(-1);
}

void TComputerTable::AppendRecord(const Values& values) {
    if (!PostIfEditing())
        Cancel();
    Record r{values, FNextCreation++};
    for (QString& f : r.Fields)
        f = CutToFieldLength(f);
    const int row = RecordCount();
    beginInsertRows(QModelIndex(), row, row);
    FRecords.push_back(std::move(r));
    endInsertRows();
    SetCurrent(row);
}

void TComputerTable::SetCollatorLocale(const QLocale& locale) {
    FCollator = QCollator(locale);
    FCollator.setCaseSensitivity(Qt::CaseInsensitive);
    FCollator.setNumericMode(false);
}

void TComputerTable::SortByName() {
    if (!PostIfEditing())
        Cancel();
    const std::uint64_t currentCreation = CreationNumber(FCurrent);
    emit layoutAboutToBeChanged();
    std::vector<std::uint64_t> oldCreations;
    for (const Record& r : FRecords)
        oldCreations.push_back(r.Creation);
    std::stable_sort(FRecords.begin(), FRecords.end(), [this](const Record& a, const Record& b) {
        const QString& x = a.Fields[BILGISAYARADI];
        const QString& y = b.Fields[BILGISAYARADI];
        if (x.isEmpty() || y.isEmpty())
            return x.isEmpty() && !y.isEmpty();
        const int c = FCollator.compare(x, y);
        return c != 0 ? c < 0 : a.Creation < b.Creation;
    });
    // Persistent indexes (the editor grid's selection) follow their records.
    const QModelIndexList persistent = persistentIndexList();
    QModelIndexList moved;
    for (const QModelIndex& old : persistent) {
        const std::uint64_t creation = oldCreations[static_cast<std::size_t>(old.row())];
        int row = 0;
        while (row < RecordCount() && FRecords[row].Creation != creation)
            ++row;
        moved.append(index(row, old.column()));
    }
    changePersistentIndexList(persistent, moved);
    emit layoutChanged();
    for (int row = 0; row < RecordCount(); ++row) {
        if (FRecords[row].Creation == currentCreation) {
            FCurrent = row;
            emit CurrentChanged(row);
            break;
        }
    }
}

int TComputerTable::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : RecordCount();
}

int TComputerTable::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : FieldCount;
}

QVariant TComputerTable::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || (role != Qt::DisplayRole && role != Qt::EditRole))
        return QVariant();
    return Value(index.row(), index.column());
}

bool TComputerTable::setData(const QModelIndex& index, const QVariant& value, int role) {
    if (!index.isValid() || role != Qt::EditRole)
        return false;
    // A grid cell opened and left as it was hands its text back: that is no change, and must not
    // put the record into editing (nor move to it and run the checks).
    if (index.row() < RecordCount() &&
        CutToFieldLength(value.toString()) == Value(index.row(), index.column()))
        return true;
    if (index.row() != FCurrent && !MoveTo(index.row()))
        return false;
    SetFieldValue(index.column(), value.toString());
    return true;
}

Qt::ItemFlags TComputerTable::flags(const QModelIndex& index) const {
    if (!index.isValid())
        return Qt::NoItemFlags;
    return Qt::ItemIsSelectable | Qt::ItemIsEnabled | Qt::ItemIsEditable;
}

QVariant TComputerTable::headerData(int section, Qt::Orientation orientation, int role) const {
    if (role != Qt::DisplayRole)
        return QVariant();
    if (orientation == Qt::Horizontal)
        return FieldName(section);
    return section + 1;
}
