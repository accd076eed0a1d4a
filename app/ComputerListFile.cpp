#include "ComputerListFile.h"

#include <QFile>

#include <algorithm>

namespace {

bool SameRecord(const TComputerRecord& a, const TComputerRecord& b) {
    return a.Creation == b.Creation && a.Fields == b.Fields && a.Lines == b.Lines;
}

} // namespace

TListState TComputerListFile::Load(TComputerTable& table) {
    table.Clear();
    Baseline base;
    base.Read.State = ReadListFile(FReadPath, &base.Bytes, &base.Read.Reason);
    if (base.Read.State == TListState::Read)
        base.Read = LoadTableFromIniBytes(table, base.Bytes);
    if (!Understood(base.Read.State))
        table.Clear();
    base.Records = table.Records();
    FBase = std::move(base);
    return State();
}

bool TComputerListFile::Understood(TListState state) {
    return state == TListState::Missing || state == TListState::Read;
}

QString TComputerListFile::ProblemText() const {
    QString what;
    switch (State()) {
    case TListState::Missing:
    case TListState::Read:
        return QString();
    case TListState::Unreadable:
        what = QStringLiteral("Bilgisayar listesi %1 okunamadı (%2).").arg(FReadPath, FBase.Read.Reason);
        break;
    case TListState::Undecodable:
        what = QStringLiteral("Bilgisayar listesi %1 metin olarak okunamadı: dosya \"Unicode\" (UTF-16) "
                              "ya da başka bir biçimde kaydedilmiş. Dosyayı UTF-8 ya da ANSI olarak "
                              "kaydedin.")
                   .arg(FReadPath);
        break;
    case TListState::NoRecords:
        what = QStringLiteral("Bilgisayar listesi %1 okundu ama içinde hiç kayıt yok: dosyada metin var, "
                              "ancak [RecNo1] gibi bir bölüm yok.")
                   .arg(FReadPath);
        break;
    }
    return what + QStringLiteral("\n\nDosyaya dokunulmadı ve liste boş gösteriliyor. Bilgisayar Kayıtları "
                                 "penceresinde eklediğiniz kayıtlar bu dosyanın üzerine yazılmaz, %1 "
                                 "dosyasına kaydedilir.")
                      .arg(CopyPath());
}

bool TComputerListFile::ChangedOnDisk() const {
    QByteArray now;
    const TListState state = ReadListFile(FReadPath, &now, nullptr);
    if (state == TListState::Unreadable)
        return FBase.Read.State != TListState::Unreadable;
    if (state == TListState::Missing)
        return !FBase.Bytes.isEmpty() || FBase.Read.State == TListState::Unreadable;
    return now != FBase.Bytes || FBase.Read.State == TListState::Unreadable;
}

bool TComputerListFile::TableUnchanged(const TComputerTable& table) const {
    if (table.RecordCount() != static_cast<int>(FBase.Records.size()))
        return false;
    for (int row = 0; row < table.RecordCount(); ++row) {
        const TComputerRecord& r = table.Record(row);
        const auto match = std::find_if(FBase.Records.begin(), FBase.Records.end(),
                                        [&r](const TComputerRecord& b) { return SameRecord(r, b); });
        if (match == FBase.Records.end())
            return false;
    }
    return true;
}

bool TComputerListFile::Save(const TComputerTable& table, QString* errorMessage, QString* reason) {
    const QByteArray bytes = ComposeTableIni(table, FBase.Read.Outside);
    if (!WriteIniFile(FPath, bytes, errorMessage, reason))
        return false;
    FBase.Read.State = bytes.trimmed().isEmpty() ? TListState::Missing : TListState::Read;
    FBase.Bytes = FBase.Read.State == TListState::Read ? bytes : QByteArray();
    FBase.Records = table.Records();
    FReadPath = FPath;
    return true;
}

bool TComputerListFile::BackUpDiskContent(QString* errorMessage, QString* reason) const {
    QByteArray now;
    if (ReadListFile(FReadPath, &now, reason) != TListState::Read)
        return true; // nothing there to keep
    return WriteIniFile(BackupPath(), now, errorMessage, reason);
}

void TComputerListFile::KeepUnsaved(const TComputerTable& table) {
    FUnsaved = Unsaved{table.Records(), FBase, FReadPath};
}

void TComputerListFile::RestoreUnsaved(TComputerTable& table) {
    if (!FUnsaved)
        return;
    table.SetRecords(std::move(FUnsaved->Records));
    FBase = std::move(FUnsaved->Base);
    FReadPath = std::move(FUnsaved->ReadPath);
    FUnsaved.reset();
}
