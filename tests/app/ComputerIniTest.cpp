#include "ComputerIni.h"
#include "ComputerListFile.h"
#include "ComputerTable.h"

#include <QDate>
#include <QDir>
#include <QFile>
#include <QStringEncoder>
#include <QTemporaryDir>

#include <csignal>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>

namespace {

using Values = TComputerTable::Values;

class ComputerIni : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(Dir.isValid()); }

    QString Path() const { return Dir.filePath(QStringLiteral("bilgisayar.ini")); }

    void WriteFile(const QByteArray& bytes) {
        QFile f(Path());
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(bytes);
    }

    QByteArray ReadFile() {
        QFile f(Path());
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }

    QTemporaryDir Dir;
    TComputerTable Table;
};

} // namespace

TEST_F(ComputerIni, SaveWritesSectionsInTableOrderWithCrLf) {
    Table.AppendRecord(Values{QStringLiteral("Ofis"), QStringLiteral("10.0.0.5"), QStringLiteral("5900"),
                              QStringLiteral("gizli")});
    Table.AppendRecord(Values{QStringLiteral("Depo"), QStringLiteral("depo.local")});
    ASSERT_TRUE(SaveTableToIni(Table, Path()));
    EXPECT_EQ(ReadFile(), QByteArray("[RecNo1]\r\nBILGISAYARADI=Ofis\r\nIP=10.0.0.5\r\nPORT=5900\r\n"
                                     "PASSWORD=gizli\r\n[RecNo2]\r\nBILGISAYARADI=Depo\r\nIP=depo.local\r\n"
                                     "PORT=\r\nPASSWORD=\r\n"));
}

TEST_F(ComputerIni, SectionsLoadInFileOrderWhateverTheirNamesAndSaveBackNumbered) {
    WriteFile("[B]\r\nBILGISAYARADI=bee\r\nIP=1.1.1.1\r\n\r\n[A]\r\nBILGISAYARADI=ay\r\nIP=2.2.2.2\r\n");
    LoadTableFromIni(Table, Path());
    ASSERT_EQ(Table.RecordCount(), 2);
    EXPECT_EQ(Table.Value(0, TComputerTable::BILGISAYARADI), QStringLiteral("bee"));
    EXPECT_EQ(Table.Value(1, TComputerTable::BILGISAYARADI), QStringLiteral("ay"));
    EXPECT_EQ(Table.RecNo(), 0);
    ASSERT_TRUE(SaveTableToIni(Table, Path()));
    EXPECT_EQ(ReadFile(), QByteArray("[RecNo1]\r\nBILGISAYARADI=bee\r\nIP=1.1.1.1\r\nPORT=\r\nPASSWORD=\r\n"
                                     "[RecNo2]\r\nBILGISAYARADI=ay\r\nIP=2.2.2.2\r\nPORT=\r\nPASSWORD=\r\n"));
}

TEST_F(ComputerIni, KeysInAnyCaseOtherKeysIgnoredNoDefaultPort) {
    WriteFile("[x]\nip=192.168.1.9\nHOST=ignored\n[y]\r\nBilgisayarAdi=iki\r\nPort=5901\r\n");
    LoadTableFromIni(Table, Path());
    ASSERT_EQ(Table.RecordCount(), 2);
    EXPECT_EQ(Table.Value(0, TComputerTable::IP), QStringLiteral("192.168.1.9"));
    EXPECT_EQ(Table.Value(0, TComputerTable::BILGISAYARADI), QString());
    EXPECT_EQ(Table.Value(0, TComputerTable::PORT), QString());
    EXPECT_EQ(Table.Value(0, TComputerTable::PASSWORD), QString());
    EXPECT_EQ(Table.Value(1, TComputerTable::BILGISAYARADI), QStringLiteral("iki"));
    EXPECT_EQ(Table.Value(1, TComputerTable::PORT), QStringLiteral("5901"));
}

TEST_F(ComputerIni, LongValuesAreCutToFiftyOnLoad) {
    WriteFile("[RecNo1]\r\nBILGISAYARADI=" + QByteArray(60, 'n') + "\r\n");
    LoadTableFromIni(Table, Path());
    EXPECT_EQ(Table.Value(0, TComputerTable::BILGISAYARADI), QString(50, u'n'));
}

TEST_F(ComputerIni, EqualsSignsInsideValuesSurviveARoundTrip) {
    Table.AppendRecord(
        Values{QStringLiteral("a=b"), QStringLiteral("h"), QStringLiteral("1"), QStringLiteral("pa=ss==")});
    ASSERT_TRUE(SaveTableToIni(Table, Path()));
    TComputerTable loaded;
    LoadTableFromIni(loaded, Path());
    EXPECT_EQ(loaded.Value(0, TComputerTable::PASSWORD), QStringLiteral("pa=ss=="));
    EXPECT_EQ(loaded.Value(0, TComputerTable::BILGISAYARADI), QStringLiteral("a=b"));
}

TEST_F(ComputerIni, ReadingDropsBlanksAndOneQuotePairWhileEveryValueWrittenReadsBackTheSame) {
    WriteFile("[RecNo1]\r\nIP=  h  \r\nPORT=\"5900\"\r\nPASSWORD= 'a b' \r\n");
    LoadTableFromIni(Table, Path());
    EXPECT_EQ(Table.Value(0, TComputerTable::IP), QStringLiteral("h"));
    EXPECT_EQ(Table.Value(0, TComputerTable::PORT), QStringLiteral("5900"));
    EXPECT_EQ(Table.Value(0, TComputerTable::PASSWORD), QStringLiteral("a b"));

    const QStringList awkward = {
        QStringLiteral("  h  "),    QStringLiteral("'abc'"),   QStringLiteral("\"q\""),
        QStringLiteral("\"half"),   QStringLiteral("half'"),   QStringLiteral("\t tab"),
        QStringLiteral("a=b;#[c]"), QStringLiteral("'"),       QStringLiteral(" "),
        QStringLiteral("\"\""),     QStringLiteral("ığüşöçİ"), QStringLiteral("=")};
    TComputerTable table;
    for (const QString& v : awkward)
        table.AppendRecord(Values{v, v, v, v});
    ASSERT_TRUE(SaveTableToIni(table, Path()));
    TComputerTable loaded;
    LoadTableFromIni(loaded, Path());
    ASSERT_EQ(loaded.RecordCount(), awkward.size());
    for (int row = 0; row < loaded.RecordCount(); ++row)
        for (int f = 0; f < TComputerTable::EditBoxFields; ++f)
            EXPECT_EQ(loaded.Value(row, f), awkward[row]) << awkward[row].toStdString();
}

// A file as a person, a Windows copy and a later version leave it: a comment, a section that is no
// computer, a key typed with Turkish capitals, a Windows-1254 password among UTF-8 lines, a key this
// version does not know, LF line ends, quotes and blanks.
TEST_F(ComputerIni, AnAwkwardFileRoundTripsAndOnlyWhatChangedIsRewritten) {
    QStringEncoder cp1254("windows-1254");
    const QByteArray password = cp1254.encode(QStringLiteral("güç1"));
    WriteFile("; LatisVNC listesi\r\n[Ayarlar]\r\nTema=koyu\r\n[RecNo1]\r\n" +
              QStringLiteral("BİLGİSAYARADI=Muhasebe Şubesi").toUtf8() +
              "\r\nIP=10.0.0.5\r\n; yedek: 10.0.0.6\r\nPORT=5900\r\nPASSWORD=" + password +
              "\r\nKULLANICI=" + QStringLiteral("ayşe").toUtf8() +
              "\r\n\r\n[RecNo2]\nbilgisayaradi='Depo'\nIP=  depo.local  \n[Notlar]\nx=1\n");
    TComputerListFile list(Path());
    ASSERT_EQ(list.Load(Table), TListState::Read);
    ASSERT_EQ(Table.RecordCount(), 2);
    EXPECT_EQ(Table.Value(0, TComputerTable::BILGISAYARADI), QStringLiteral("Muhasebe Şubesi"));
    EXPECT_EQ(Table.Value(0, TComputerTable::PASSWORD), QStringLiteral("güç1"));
    EXPECT_EQ(Table.ExtraValue(0, QStringLiteral("KULLANICI")), QStringLiteral("ayşe"));
    EXPECT_EQ(Table.Value(1, TComputerTable::BILGISAYARADI), QStringLiteral("Depo"));
    EXPECT_EQ(Table.Value(1, TComputerTable::IP), QStringLiteral("depo.local"));

    // Saved as read (after the grid's sort): the file is UTF-8 throughout, CR LF, nothing lost.
    Table.SortByName();
    QString error, reason;
    ASSERT_TRUE(list.Save(Table, &error, &reason));
    const QByteArray expected =
        "; LatisVNC listesi\r\n[Ayarlar]\r\nTema=koyu\r\n[RecNo1]\r\nbilgisayaradi='Depo'\r\n"
        "IP=  depo.local  \r\nPORT=\r\nPASSWORD=\r\n[Notlar]\r\nx=1\r\n[RecNo2]\r\n" +
        QStringLiteral("BILGISAYARADI=Muhasebe Şubesi\r\nIP=10.0.0.5\r\n; yedek: 10.0.0.6\r\nPORT=5900\r\n"
                       "PASSWORD=güç1\r\nKULLANICI=ayşe\r\n")
            .toUtf8();
    EXPECT_EQ(ReadFile(), expected);

    // A change rewrites only its own line; a key set by a later version stays in its record.
    Table.MoveTo(1);
    Table.SetFieldValue(TComputerTable::PASSWORD, QStringLiteral(" yeni\r\n"));
    Table.SetExtraValue(QStringLiteral("GRUP"), QStringLiteral("Muhasebe"));
    Table.Post();
    ASSERT_TRUE(list.Save(Table, &error, &reason));
    EXPECT_TRUE(ReadFile().contains(
        "PASSWORD=\" yeni\"\r\nGRUP=Muhasebe\r\nKULLANICI=" + QStringLiteral("ayşe").toUtf8() + "\r\n"));
    TComputerTable again;
    TComputerListFile(Path()).Load(again);
    EXPECT_EQ(again.Value(1, TComputerTable::PASSWORD), QStringLiteral(" yeni"));
    EXPECT_EQ(again.ExtraValue(1, QStringLiteral("grup")), QStringLiteral("Muhasebe"));
}

TEST_F(ComputerIni, TurkishTextRoundTripsAsUtf8AndWindows1254FilesStillLoad) {
    const QString name = QStringLiteral("Muhasebe Şubesi ığüöçİ");
    Table.AppendRecord(Values{name, QStringLiteral("h")});
    ASSERT_TRUE(SaveTableToIni(Table, Path()));
    EXPECT_TRUE(ReadFile().contains(name.toUtf8()));
    TComputerTable loaded;
    LoadTableFromIni(loaded, Path());
    EXPECT_EQ(loaded.Value(0, TComputerTable::BILGISAYARADI), name);

    QStringEncoder cp1254("windows-1254");
    WriteFile("[RecNo1]\r\nBILGISAYARADI=" + QByteArray(cp1254.encode(name)) + "\r\n");
    LoadTableFromIni(loaded, Path());
    ASSERT_EQ(loaded.RecordCount(), 1);
    EXPECT_EQ(loaded.Value(0, TComputerTable::BILGISAYARADI), name);
}

TEST_F(ComputerIni, LoadReplacesTheTableAndSkipsEmptyValues) {
    Table.AppendRecord(Values{QStringLiteral("old")});
    WriteFile("[RecNo1]\r\nBILGISAYARADI=\r\nIP=x\r\n");
    LoadTableFromIni(Table, Path());
    ASSERT_EQ(Table.RecordCount(), 1);
    EXPECT_EQ(Table.Value(0, TComputerTable::BILGISAYARADI), QString());
    EXPECT_EQ(Table.Value(0, TComputerTable::IP), QStringLiteral("x"));
}

TEST_F(ComputerIni, FileIsReadableByItsOwnerOnly) {
    Table.AppendRecord(Values{QStringLiteral("a")});
    WriteFile("old"); // an existing file with wider permissions is replaced by a private one
    QFile::setPermissions(Path(), QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadOther);
    ASSERT_TRUE(SaveTableToIni(Table, Path()));
    struct stat st {};
    ASSERT_EQ(::stat(QFile::encodeName(Path()).constData(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
}

TEST_F(ComputerIni, SaveThatCannotWriteKeepsTheOldFileAndReportsThePath) {
    const QByteArray old = "[RecNo1]\r\nBILGISAYARADI=keep\r\n";
    WriteFile(old);
    Table.AppendRecord(Values{QStringLiteral("a new and longer computer name"), QStringLiteral("host")});
    // A file-size limit makes every write past 16 bytes fail, as a full disk would (root included).
    struct rlimit saved {};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &saved), 0);
    const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    struct rlimit tight = saved;
    tight.rlim_cur = 16;
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &tight), 0);
    QString error;
    const bool ok = SaveTableToIni(Table, Path(), &error);
    ::setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, oldHandler);
    EXPECT_FALSE(ok);
    EXPECT_EQ(error, QStringLiteral("Unable to write to %1").arg(Path()));
    EXPECT_EQ(ReadFile(), old);
    EXPECT_EQ(QDir(Dir.path()).entryList(QDir::Files), QStringList{QStringLiteral("bilgisayar.ini")});
}

TEST_F(ComputerIni, SaveIntoAMissingFolderReportsThePath) {
    Table.AppendRecord(Values{QStringLiteral("x")});
    const QString missing = Dir.filePath(QStringLiteral("nope/bilgisayar.ini"));
    QString error;
    EXPECT_FALSE(SaveTableToIni(Table, missing, &error));
    EXPECT_EQ(error, QStringLiteral("Unable to write to %1").arg(missing));
}

TEST(FieldToIniText, NumbersUseAPointAndDatesTheirDayNumber) {
    EXPECT_EQ(FieldToIniText(QVariant()), QString());
    EXPECT_EQ(FieldToIniText(QVariant(2.5)), QStringLiteral("2.5"));
    EXPECT_EQ(FieldToIniText(QVariant(QDate(1900, 1, 1))), QStringLiteral("2"));
    EXPECT_EQ(FieldToIniText(QVariant(QStringLiteral("metin"))), QStringLiteral("metin"));
}

// The optional group: read in any letter case, kept by a save, and never written for a record
// without one, so a list without groups is saved exactly as before.
TEST_F(ComputerIni, GroupIsReadAndKeptAndAbsentGroupsWriteNothing) {
    WriteFile("[RecNo1]\r\nBILGISAYARADI=Ofis\r\nIP=1.1.1.1\r\nPORT=5900\r\nPASSWORD=\r\ngrup=Oda 2\r\n"
              "[RecNo2]\r\nBILGISAYARADI=Depo\r\nIP=2.2.2.2\r\nPORT=5900\r\nPASSWORD=\r\n");
    LoadTableFromIni(Table, Path());
    ASSERT_EQ(Table.RecordCount(), 2);
    EXPECT_EQ(Table.Value(0, TComputerTable::GRUP), QStringLiteral("Oda 2"));
    EXPECT_TRUE(Table.Value(1, TComputerTable::GRUP).isEmpty());
    Table.MoveTo(1);
    Table.SetFieldValue(TComputerTable::GRUP, QStringLiteral("Oda 1"));
    ASSERT_TRUE(Table.Post());
    ASSERT_TRUE(SaveTableToIni(Table, Path()));
    EXPECT_EQ(ReadFile(),
              QByteArray("[RecNo1]\r\nBILGISAYARADI=Ofis\r\nIP=1.1.1.1\r\nPORT=5900\r\nPASSWORD=\r\n"
                         "grup=Oda 2\r\n[RecNo2]\r\nBILGISAYARADI=Depo\r\nIP=2.2.2.2\r\nPORT=5900\r\n"
                         "PASSWORD=\r\nGRUP=Oda 1\r\n"));
}

// A note written right under a record's header belongs to that record, whatever the grid's order.
TEST_F(ComputerIni, ANoteUnderARecordsHeaderStaysWithItsRecord) {
    WriteFile("[RecNo1] ; 2. kat\r\n; Zeynep'in masası\r\nBILGISAYARADI=Zeta\r\nIP=z\r\n"
              "[RecNo2]\r\n# depo\r\nBILGISAYARADI=Alfa\r\nIP=a\r\n");
    TComputerListFile list(Path());
    ASSERT_EQ(list.Load(Table), TListState::Read);
    Table.SortByName();
    QString error, reason;
    ASSERT_TRUE(list.Save(Table, &error, &reason));
    EXPECT_EQ(
        ReadFile(),
        QStringLiteral("[RecNo1]\r\n# depo\r\nBILGISAYARADI=Alfa\r\nIP=a\r\nPORT=\r\nPASSWORD=\r\n"
                       "[RecNo2] ; 2. kat\r\n; Zeynep'in masası\r\nBILGISAYARADI=Zeta\r\nIP=z\r\nPORT=\r\n"
                       "PASSWORD=\r\n")
            .toUtf8());
}
