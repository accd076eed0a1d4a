#include "ComputerTable.h"

#include <QLocale>
#include <QSignalSpy>

#include <gtest/gtest.h>

namespace {

using Values = TComputerTable::Values;

QStringList Names(const TComputerTable& t) {
    QStringList names;
    for (int r = 0; r < t.RecordCount(); ++r)
        names << t.Value(r, TComputerTable::BILGISAYARADI);
    return names;
}

void FillTurkish(TComputerTable& t, const QStringList& names) {
    t.SetCollatorLocale(QLocale(QLocale::Turkish, QLocale::Turkey));
    for (const QString& n : names)
        t.AppendRecord(Values{n, QString(), QString(), QString()});
}

} // namespace

TEST(ComputerTableSort, EmptyNameFirstThenCaseInsensitiveWithTiesInCreationOrder) {
    TComputerTable t;
    t.SetCollatorLocale(QLocale(QLocale::Turkish, QLocale::Turkey));
    for (const char* n : {"beta", "Alpha", "", "alpha"})
        t.AppendRecord(Values{QString::fromUtf8(n), QString(), QString(), QString()});
    t.SortByName();
    EXPECT_EQ(Names(t), (QStringList{QString(), QStringLiteral("Alpha"), QStringLiteral("alpha"),
                                     QStringLiteral("beta")}));
}

TEST(ComputerTableSort, TiesKeepCreationOrderEvenAfterReordering) {
    TComputerTable t;
    t.SetCollatorLocale(QLocale(QLocale::Turkish, QLocale::Turkey));
    t.AppendRecord(Values{QStringLiteral("b"), QStringLiteral("1")});
    t.AppendRecord(Values{QStringLiteral("B"), QStringLiteral("2")});
    t.AppendRecord(Values{QStringLiteral("A"), QStringLiteral("3")});
    t.SortByName();
    t.SortByName();
    EXPECT_EQ(t.Value(0, TComputerTable::IP), QStringLiteral("3"));
    EXPECT_EQ(t.Value(1, TComputerTable::IP), QStringLiteral("1"));
    EXPECT_EQ(t.Value(2, TComputerTable::IP), QStringLiteral("2"));
}

TEST(ComputerTableSort, TurkishLettersFollowTurkishCollation) {
    TComputerTable t;
    FillTurkish(t,
                {QStringLiteral("şehir"), QStringLiteral("sabah"), QStringLiteral("ığdır"),
                 QStringLiteral("izmir"), QStringLiteral("çorum"), QStringLiteral("cami"),
                 QStringLiteral("ğ"), QStringLiteral("gül"), QStringLiteral("ürgüp"), QStringLiteral("uşak"),
                 QStringLiteral("ödemiş"), QStringLiteral("ordu"), QStringLiteral("zonguldak")});
    t.SortByName();
    EXPECT_EQ(Names(t), (QStringList{QStringLiteral("cami"), QStringLiteral("çorum"), QStringLiteral("gül"),
                                     QStringLiteral("ğ"), QStringLiteral("ığdır"), QStringLiteral("izmir"),
                                     QStringLiteral("ordu"), QStringLiteral("ödemiş"),
                                     QStringLiteral("sabah"), QStringLiteral("şehir"), QStringLiteral("uşak"),
                                     QStringLiteral("ürgüp"), QStringLiteral("zonguldak")}));
}

TEST(ComputerTableSort, TurkishDottedAndDotlessCapitalsCompareEqualToTheirSmallLetters) {
    // I is the capital of ı and İ the capital of i: equal names keep their creation order.
    TComputerTable t;
    FillTurkish(
        t, {QStringLiteral("ilk"), QStringLiteral("Irmak"), QStringLiteral("İLK"), QStringLiteral("ırmak")});
    t.SortByName();
    EXPECT_EQ(Names(t), (QStringList{QStringLiteral("Irmak"), QStringLiteral("ırmak"), QStringLiteral("ilk"),
                                     QStringLiteral("İLK")}));
}

TEST(ComputerTableSort, CurrentRecordFollowsItsRecord) {
    TComputerTable t;
    FillTurkish(t, {QStringLiteral("c"), QStringLiteral("a"), QStringLiteral("b")});
    t.MoveTo(0);
    t.SortByName();
    EXPECT_EQ(t.FieldValue(TComputerTable::BILGISAYARADI), QStringLiteral("c"));
    EXPECT_EQ(t.RecNo(), 2);
}

TEST(ComputerTableFields, ValuesAreCutToFiftyCharacters) {
    TComputerTable t;
    t.AppendRecord(Values{QString(60, u'x')});
    EXPECT_EQ(t.Value(0, TComputerTable::BILGISAYARADI).size(), 50);
    t.SetFieldValue(TComputerTable::PASSWORD, QString(70, u'p'));
    EXPECT_EQ(t.FieldValue(TComputerTable::PASSWORD), QString(50, u'p'));
}

TEST(ComputerTableFields, FieldNamesMatchInAnyCase) {
    EXPECT_EQ(TComputerTable::FieldByName(QStringLiteral("ip")), TComputerTable::IP);
    EXPECT_EQ(TComputerTable::FieldByName(QStringLiteral("Password")), TComputerTable::PASSWORD);
    EXPECT_EQ(TComputerTable::FieldByName(QStringLiteral("bilgisayaradi")), TComputerTable::BILGISAYARADI);
    EXPECT_EQ(TComputerTable::FieldByName(QStringLiteral("HOST")), -1);
    // As typed with a Turkish keyboard's capitals.
    EXPECT_EQ(TComputerTable::FieldByName(QStringLiteral("BİLGİSAYARADI")), TComputerTable::BILGISAYARADI);
    EXPECT_EQ(TComputerTable::FieldByName(QStringLiteral("İP")), TComputerTable::IP);
}

TEST(ComputerTableFields, LineBreaksAndControlCharactersNeverEnterAField) {
    TComputerTable t;
    t.SetFieldValue(TComputerTable::PASSWORD, QStringLiteral("gizli\r\n"));
    t.SetFieldValue(TComputerTable::BILGISAYARADI, QStringLiteral("a\tb\u2028c\x01 d"));
    EXPECT_EQ(t.FieldValue(TComputerTable::PASSWORD), QStringLiteral("gizli"));
    EXPECT_EQ(t.FieldValue(TComputerTable::BILGISAYARADI), QStringLiteral("abc d"));
}

TEST(ComputerTableEditing, DefaultPortOnlyWhileTheEditorIsAttached) {
    TComputerTable t;
    t.Append();
    EXPECT_EQ(t.FieldValue(TComputerTable::PORT), QString());
    t.Cancel();
    EXPECT_TRUE(t.IsEmpty());
    t.SetEditorAttached(true);
    t.Append();
    EXPECT_EQ(t.GetState(), TComputerTable::State::Insert);
    EXPECT_EQ(t.FieldValue(TComputerTable::PORT), QStringLiteral("5900"));
}

TEST(ComputerTableEditing, CheckRefusesInFieldOrderAndKeepsTheRecordInEditing) {
    TComputerTable t;
    t.SetEditorAttached(true);
    QSignalSpy refused(&t, &TComputerTable::PostRefused);
    t.Append();
    t.SetFieldValue(TComputerTable::PORT, QString());
    EXPECT_FALSE(t.Post());
    t.SetFieldValue(TComputerTable::BILGISAYARADI, QStringLiteral("pc"));
    EXPECT_FALSE(t.Post());
    t.SetFieldValue(TComputerTable::IP, QStringLiteral(" "));
    EXPECT_FALSE(t.Post());
    ASSERT_EQ(refused.size(), 3);
    EXPECT_EQ(refused[0][0].toInt(), TComputerTable::BILGISAYARADI);
    EXPECT_EQ(refused[0][1].toString(), QStringLiteral("Bilgisayar tanımını giriniz."));
    EXPECT_EQ(refused[1][0].toInt(), TComputerTable::IP);
    EXPECT_EQ(refused[1][1].toString(), QStringLiteral("Bilgisayar IP sini giriniz."));
    EXPECT_EQ(refused[2][0].toInt(), TComputerTable::PORT);
    EXPECT_EQ(refused[2][1].toString(), QStringLiteral("Bağlantı portunu giriniz."));
    EXPECT_EQ(t.GetState(), TComputerTable::State::Insert);
    EXPECT_EQ(t.FieldValue(TComputerTable::BILGISAYARADI), QStringLiteral("pc"));
    for (const char* port : {"70000", "0", "5900Metin", "+5900"}) {
        t.SetFieldValue(TComputerTable::PORT, QString::fromLatin1(port));
        EXPECT_FALSE(t.Post()) << port;
        EXPECT_EQ(refused.back()[1].toString(),
                  QStringLiteral("Port 1 ile 65535 arasında bir sayı olmalıdır."));
    }
    t.SetFieldValue(TComputerTable::PORT, QStringLiteral("5901"));
    EXPECT_TRUE(t.Post()); // blanks in the address and an empty password pass
    EXPECT_EQ(t.GetState(), TComputerTable::State::Browse);
}

TEST(ComputerTableEditing, NavigationIsRefusedWhileThePostIsRefused) {
    TComputerTable t;
    t.AppendRecord(Values{QStringLiteral("a"), QStringLiteral("h"), QStringLiteral("1")});
    t.SetEditorAttached(true);
    t.Append();
    EXPECT_FALSE(t.First());
    EXPECT_EQ(t.RecNo(), 1);
    EXPECT_EQ(t.GetState(), TComputerTable::State::Insert);
}

TEST(ComputerTableEditing, CancelRestoresEditedValuesAndDropsInsertedRecord) {
    TComputerTable t;
    t.AppendRecord(Values{QStringLiteral("a"), QStringLiteral("h"), QStringLiteral("1")});
    t.SetFieldValue(TComputerTable::IP, QStringLiteral("other"));
    EXPECT_EQ(t.GetState(), TComputerTable::State::Edit);
    t.Cancel();
    EXPECT_EQ(t.FieldValue(TComputerTable::IP), QStringLiteral("h"));
    t.Insert();
    EXPECT_EQ(t.RecordCount(), 2);
    EXPECT_EQ(t.RecNo(), 0); // inserted before the current record
    t.Cancel();
    EXPECT_EQ(t.RecordCount(), 1);
    EXPECT_EQ(t.FieldValue(TComputerTable::BILGISAYARADI), QStringLiteral("a"));
}

TEST(ComputerTableEditing, DeleteKeepsAValidCurrentRecord) {
    TComputerTable t;
    FillTurkish(t, {QStringLiteral("a"), QStringLiteral("b")});
    t.Last();
    t.Delete();
    EXPECT_EQ(t.RecNo(), 0);
    t.Delete();
    EXPECT_EQ(t.RecNo(), -1);
    EXPECT_TRUE(t.IsEmpty());
}
