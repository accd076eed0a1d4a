#include "FileFolder.h"
#include "ComputerIni.h"
#include "ComputerTable.h"
#include "UnprivilegedFiles.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>
#include <sys/fsuid.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr uid_t Nobody = UnprivilegedFiles::Nobody;

mode_t ModeOf(const QString& path) {
    struct stat st {};
    return ::stat(QFile::encodeName(path).constData(), &st) == 0 ? st.st_mode & 07777 : 0;
}

void MakeFolder(const QString& path, mode_t mode) {
    ASSERT_TRUE(QDir().mkpath(path));
    ASSERT_EQ(::chmod(QFile::encodeName(path).constData(), mode), 0);
    if (::geteuid() == 0) { // the unprivileged identity must reach and, where allowed, write it
        ASSERT_EQ(::chown(QFile::encodeName(path).constData(), Nobody, Nobody), 0);
    }
}

class FileFolder : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(Root.isValid());
        ASSERT_EQ(::chmod(QFile::encodeName(Root.path()).constData(), 0755), 0);
        Program = Root.path() + QStringLiteral("/program/");
        Home = Root.path() + QStringLiteral("/home");
        Data = UserDataFolder(QString(), Home);
    }
    void TearDown() override { ::chmod(QFile::encodeName(Program).constData(), 0755); }

    QTemporaryDir Root;
    QString Program, Home, Data;
};

} // namespace

TEST_F(FileFolder, UserDataFolderFollowsXdgDataHomeOnlyWhenAbsolute) {
    EXPECT_EQ(UserDataFolder(QStringLiteral("/x/data"), QStringLiteral("/home/ayse")),
              QStringLiteral("/x/data/latisvnc/"));
    EXPECT_EQ(UserDataFolder(QString(), QStringLiteral("/home/ayse")),
              QStringLiteral("/home/ayse/.local/share/latisvnc/"));
    EXPECT_EQ(UserDataFolder(QStringLiteral("rel/data"), QStringLiteral("/home/ayse")),
              QStringLiteral("/home/ayse/.local/share/latisvnc/"));
}

TEST_F(FileFolder, WritableProgramFolderKeepsTheFilesBesideTheProgram) {
    MakeFolder(Program, 0755);
    MakeFolder(Home, 0700);
    UnprivilegedFiles unprivileged;
    EXPECT_EQ(ChooseFileFolder(Program, QString(), Data), Program);
    EXPECT_FALSE(QFileInfo::exists(Data)); // nothing is made in the data folder
    EXPECT_EQ(QDir(Program).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot), QStringList());
}

TEST_F(FileFolder, ReadOnlyOrInstalledProgramFolderUsesAPrivateDataFolder) {
    MakeFolder(Program, 0555);
    MakeFolder(Home, 0700);
    {
        UnprivilegedFiles unprivileged;
        EXPECT_EQ(ChooseFileFolder(Program, QString(), Data), Data);
        EXPECT_EQ(ModeOf(Data), 0700u);
        EXPECT_EQ(ModeOf(Home + QStringLiteral("/.local")), 0700u);
        TComputerTable table;
        table.AppendRecord(TComputerTable::Values{QStringLiteral("Muhasebe"), QStringLiteral("127.0.0.1")});
        EXPECT_TRUE(SaveTableToIni(table, Data + QStringLiteral("bilgisayar.ini")));
        EXPECT_EQ(ModeOf(Data + QStringLiteral("bilgisayar.ini")), 0600u);
    }
    // The folder the package installs into is left alone even when this user could write it.
    ASSERT_EQ(::chmod(QFile::encodeName(Program).constData(), 0755), 0);
    UnprivilegedFiles unprivileged;
    EXPECT_EQ(ChooseFileFolder(Program, Program, Data), Data);
    EXPECT_EQ(ChooseFileFolder(Program, Root.path() + QStringLiteral("/elsewhere"), Data), Program);
}

TEST_F(FileFolder, UnwritableDataFolderFailsTheSaveWithTheUsualMessage) {
    MakeFolder(Program, 0555);
    MakeFolder(Home, 0555);
    UnprivilegedFiles unprivileged;
    EXPECT_EQ(ChooseFileFolder(Program, QString(), Data), Data);
    EXPECT_FALSE(QFileInfo::exists(Data));
    TComputerTable table;
    table.AppendRecord(TComputerTable::Values{QStringLiteral("Muhasebe"), QStringLiteral("127.0.0.1")});
    QString error;
    EXPECT_FALSE(SaveTableToIni(table, Data + QStringLiteral("bilgisayar.ini"), &error));
    EXPECT_EQ(error, QStringLiteral("Unable to write to ") + Data + QStringLiteral("bilgisayar.ini"));
}
