#include "RecordsCycle.h"

#include "ComputerListFile.h"
#include "ComputerTable.h"
#include "K_BilgisayarU.h"
#include "ui/OperatorMessages.h"

#include <QApplication>

namespace {

QString FailedSaveText(const QString& error, const QString& reason) {
    return error + QStringLiteral("\n\nBilgisayar listesi kaydedilemedi (%1). Değişiklikleriniz kaybolmadı: "
                                  "\"Yeniden Dene\" ile yeniden kaydedebilirsiniz. \"İptal\" seçilirse "
                                  "program diskteki listeyle çalışır; değişiklikleriniz Bilgisayar Kayıtları "
                                  "penceresi yeniden açıldığında geri gelir.")
                       .arg(reason);
}

QString OutsideChangeText(const TComputerListFile& list) {
    return QStringLiteral("%1 dosyası, liste okunduktan sonra başka bir program tarafından değiştirilmiş.\n\n"
                          "Evet: bu penceredeki liste kaydedilir; dosyanın şimdiki hali %2 olarak "
                          "saklanır.\n"
                          "Hayır: dosyadaki liste yüklenir; bu penceredeki değişiklikler bırakılır.\n"
                          "İptal: hiçbir şey kaydedilmez; değişiklikleriniz Bilgisayar Kayıtları penceresi "
                          "yeniden açıldığında geri gelir.")
        .arg(list.ReadPath(), list.BackupPath());
}

QString SavedToCopyText(const TComputerListFile& list) {
    return QStringLiteral(
               "Değişiklikleriniz %1 dosyasına kaydedildi; okunamayan %2 dosyasına dokunulmadı.\n\n"
               "Program açılışta yine %2 dosyasını okur: onu düzeltin ya da yeni dosyayı onun "
               "yerine koyup programı yeniden başlatın.")
        .arg(list.CopyPath(), list.ReadPath());
}

QString MovedText(const QString& from, const TComputerListFile& list) {
    return QStringLiteral("Liste %1 dosyasına kaydedildi; program bundan sonra bu dosyayı okur. Program "
                          "klasörüne yazılamadığı için oradaki %2 dosyası artık okunmaz (ona dokunulmadı).")
        .arg(list.Path(), from);
}

QString RestoredText() {
    return QStringLiteral("Daha önce kaydedilemeyen değişiklikleriniz geri getirildi; pencere kapanınca "
                          "yeniden kaydedilecek.");
}

// Tries write until it succeeds or the operator gives up.
bool WriteWithRetry(QWidget* parent, const std::function<bool(QString*, QString*)>& write) {
    for (;;) {
        QString error;
        QString reason;
        if (write(&error, &reason))
            return true;
        const auto answer = OperatorMessages::ShowBox(
            parent, QMessageBox::Critical, QApplication::applicationDisplayName(),
            FailedSaveText(error, reason), QMessageBox::Retry | QMessageBox::Cancel, QMessageBox::Retry);
        if (answer != QMessageBox::Retry)
            return false;
    }
}

// The table goes back to what the file holds; the edits wait for the next opening of the editor.
bool KeepForLater(TComputerTable& table, TComputerListFile& list) {
    list.KeepUnsaved(table);
    list.RevertTable(table);
    return false;
}

bool SaveAfterEditing(TComputerTable& table, TComputerListFile& list, QWidget* parent) {
    if (!list.Understood()) {
        if (list.TableUnchanged(table))
            return true; // nothing was added: the file stays as it is
        const bool written = WriteWithRetry(parent, [&](QString* error, QString* reason) {
            return WriteIniFile(list.CopyPath(), ComposeTableIni(table), error, reason);
        });
        if (!written)
            return KeepForLater(table, list);
        OperatorMessages::ShowNotice(parent, SavedToCopyText(list));
        return true;
    }
    if (list.ChangedOnDisk()) {
        if (list.TableUnchanged(table)) {
            list.Load(table); // nothing of ours to keep: the file's list is the list
            return true;
        }
        switch (OperatorMessages::AskYesNoCancel(parent, OutsideChangeText(list))) {
        case QMessageBox::Yes:
            if (!WriteWithRetry(parent, [&](QString* error, QString* reason) {
                    return list.BackUpDiskContent(error, reason);
                }))
                return KeepForLater(table, list);
            break;
        case QMessageBox::No:
            list.Load(table);
            return true;
        default:
            return KeepForLater(table, list);
        }
    }
    const QString readFrom = list.ReadPath();
    if (!WriteWithRetry(parent,
                        [&](QString* error, QString* reason) { return list.Save(table, error, reason); }))
        return KeepForLater(table, list);
    if (readFrom != list.Path())
        OperatorMessages::ShowNotice(parent, MovedText(readFrom, list));
    return true;
}

} // namespace

bool BilgisayarKayitlariCycle(TComputerTable& table, TComputerListFile& list, QWidget* mainWindow,
                              const std::function<void()>& buildTiles) {
    if (list.HasUnsaved()) {
        list.RestoreUnsaved(table);
        OperatorMessages::ShowNotice(mainWindow, RestoredText());
    } else if (!list.Understood()) {
        OperatorMessages::ShowNotice(mainWindow, list.ProblemText());
    }
    {
        TK_BilgisayarF editor(table, mainWindow);
        editor.exec();
    }
    // The editor is gone, so its check no longer applies: a record still being inserted or edited is
    // committed as it stands, as the save's walk over the table would commit it.
    if (table.GetState() != TComputerTable::State::Browse)
        table.Post();
    if (!SaveAfterEditing(table, list, mainWindow))
        return false;
    if (buildTiles)
        buildTiles();
    return true;
}
