#include "ComputerTable.h"

#include <QLocale>

#include <algorithm>

namespace {

const std::array<QString, TComputerTable::FieldCount>& FieldNames() {
    static const std::array<QString, TComputerTable::FieldCount> names = {
        QStringLiteral("BILGISAYARADI"), QStringLiteral("IP"),   QStringLiteral("PORT"),
        QStringLiteral("PASSWORD"),      QStringLiteral("GRUP"), QStringLiteral("KULLANICI")};
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
        if (SameIniKey(FieldNames()[f], name))
            return f;
    }
    return -1;
}

QString TComputerTable::CleanFieldText(const QString& value) {
    QString clean;
    clean.reserve(value.size());
    for (const QChar c : value) {
        const bool breaksLine = c == QChar(0x2028) || c == QChar(0x2029);
        if (c.category() != QChar::Other_Control && !breaksLine)
            clean += c;
    }
    return clean;
}

QString TComputerTable::ExtraValue(int row, const QString& key) const {
    if (row < 0 || row >= RecordCount())
        return QString();
    if (const int field = FieldByName(key); field >= 0)
        return Value(row, field);
    for (const TIniLine& line : Record(row).Lines)
        if (line.LineKind == TIniLine::Entry && SameIniKey(line.Name, key))
            return line.Value;
    return QString();
}

void TComputerTable::SetExtraValue(const QString& key, const QString& value) {
    if (FieldByName(key) >= 0) {
        SetFieldValue(FieldByName(key), value);
        return;
    }
    if (FCurrent < 0)
        Append();
    if (FState == State::Browse)
        Edit();
    QList<TIniLine>& lines = FRecords[FCurrent].Lines;
    const TIniLine entry = MakeIniEntry(key, CleanFieldText(value));
    for (TIniLine& line : lines) {
        if (line.LineKind == TIniLine::Entry && SameIniKey(line.Name, key)) {
            if (line.Value != entry.Value)
                line = MakeIniEntry(line.Name, entry.Value);
            return;
        }
    }
    // After the record's last entry, before the blank lines that end its section.
    qsizetype at = lines.size();
    while (at > 0 && lines[at - 1].LineKind != TIniLine::Entry)
        --at;
    lines.insert(at == 0 ? lines.size() : at, entry);
}

void TComputerTable::SetRecords(std::vector<TComputerRecord> records) {
    beginResetModel();
    FRecords = std::move(records);
    for (const TComputerRecord& r : FRecords)
        FNextCreation = std::max(FNextCreation, r.Creation + 1);
    endResetModel();
    FState = State::Browse;
    FCurrent = -1;
    SetCurrent(FRecords.empty() ? -1 : 0);
    emit StateChanged(FState);
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
    FRecords.insert(FRecords.begin() + row, TComputerRecord{Values{}, {}, FNextCreation++});
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

bool TComputerTable::PendingChanges() const {
    if (FState == State::Insert)
        return true;
    return FState == State::Edit &&
           (FRecords[FCurrent].Fields != FSaved.Fields || !(FRecords[FCurrent].Lines == FSaved.Lines));
}

void TComputerTable::Edit() {
    if (FState != State::Browse || FCurrent < 0)
        return;
    FSaved = FRecords[FCurrent];
    SetState(State::Edit);
}

void TComputerTable::SetFieldValue(int field, const QString& v) {
    if (field < 0 || field >= FieldCount)
        return;
    if (FCurrent < 0)
        Append();
    if (FState == State::Browse)
        Edit();
    QString cut = CutToFieldLength(CleanFieldText(v));
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

bool TComputerTable::ValidPort(const QString& text) {
    for (const QChar c : text)
        if (c < u'0' || c > u'9')
            return false;
    bool ok = false;
    const int port = text.toInt(&ok, 10);
    return ok && port >= 1 && port <= 65535;
}

QString TComputerTable::InvalidPortMessage() {
    return QStringLiteral("Port 1 ile 65535 arasında bir sayı olmalıdır.");
}

TComputerTable::CheckResult TComputerTable::CheckRecord(const Values& values) {
    // Only "no characters at all" fails: a value of blanks passes, and the password may be empty.
    for (int field : {BILGISAYARADI, IP, PORT}) {
        if (values[field].isEmpty())
            return CheckResult{field, MessageFor(field)};
    }
    // A port the control would wrap (70000 reaches 4464) or could not read is never committed.
    if (!ValidPort(values[PORT]))
        return CheckResult{PORT, InvalidPortMessage()};
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
        FRecords[FCurrent] = FSaved;
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

std::uint64_t TComputerTable::AppendRecord(const Values& values, const QList<TIniLine>& lines) {
    if (!PostIfEditing())
        Cancel();
    TComputerRecord r{values, lines, FNextCreation++};
    const std::uint64_t creation = r.Creation;
    for (QString& f : r.Fields)
        f = CutToFieldLength(f);
    const int row = RecordCount();
    beginInsertRows(QModelIndex(), row, row);
    FRecords.push_back(std::move(r));
    endInsertRows();
    SetCurrent(row);
    return creation;
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
    for (const TComputerRecord& r : FRecords)
        oldCreations.push_back(r.Creation);
    std::stable_sort(FRecords.begin(), FRecords.end(),
                     [this](const TComputerRecord& a, const TComputerRecord& b) {
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
        CutToFieldLength(CleanFieldText(value.toString())) == Value(index.row(), index.column()))
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
