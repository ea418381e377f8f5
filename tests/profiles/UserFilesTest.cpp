// User files that cannot be read are never replaced in silence: the damaged file is kept beside
// itself byte for byte, a notice says so, a damaged profile list is rebuilt from the profiles in
// the folder, and files far larger than their kind are neither read nor rewritten.
#include "profiles/CBasicProfiledata.h"
#include "profiles/DataPaths.h"
#include "profiles/ProfileList.h"
#include "profiles/UserFiles.h"

#include "TestFiles.h"

#include <QDir>
#include <QFileInfo>

#include <gtest/gtest.h>

using testfiles::parse;
using testfiles::writeBytes;
using testfiles::writeText;

namespace {

QByteArray bytesOf(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

class UserFiles : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        ASSERT_TRUE(QDir(dir.path()).mkpath("user"));
        writeText(defaultPath(), R"({"Device": [{"LightInfo": {"SelectItem": 3}}]})");
        userfiles::TakeNotices();
    }
    QString defaultPath() const { return dir.filePath("default.Json"); }
    QString user(const QString& name) const { return dir.filePath("user/" + name); }
    // The copies kept beside `path`.
    QStringList keptCopies(const QString& path) const
    {
        const QFileInfo info(path);
        return info.dir().entryList({info.fileName() + ".damaged-*"}, QDir::Files);
    }
    QTemporaryDir dir;
};

}  // namespace

TEST_F(UserFiles, ADamagedProfileListIsKeptAndRebuiltFromTheProfilesInTheFolder)
{
    struct Case {
        const char* what;
        QByteArray list;
    };
    const Case cases[] = {
        {"cut short", R"({"profilelist":[{"profilename":"Work","profileUUID":"2026_01)"},
        {"mistyped", R"({"profilelist": 5, "profileselect": 0})"},
        {"empty list", R"({"profilelist": [], "profileselect": 0})"},
        {"not text", QByteArray("\x01\xff\xfe garbage", 12)},
        {"far too large", QByteArray(300 * 1024, ' ') + R"({"profilelist":[]})"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        QTemporaryDir folder;
        ASSERT_TRUE(folder.isValid());
        const QString userFolder = folder.path();
        writeText(userFolder + "/2026_01_01_10_00_00_001.Json", R"({"profilename":"Work","profileUUID":"2026_01_01_10_00_00_001"})");
        writeText(userFolder + "/2026_01_02_10_00_00_001.Json", R"({"profilename":"游戏","profileUUID":"2026_01_02_10_00_00_001"})");
        // A damaged profile is still listed, under its identifier.
        writeText(userFolder + "/2026_01_03_10_00_00_001.Json", "{\"profilena");
        const QString listPath = userFolder + "/ProfileList.ini";
        writeBytes(listPath, c.list);

        ProfileList list(userFolder, defaultPath());
        const auto entries = list.Entries();
        ASSERT_EQ(entries.size(), 3u);
        EXPECT_EQ(entries[0].name, "Work");
        EXPECT_EQ(entries[0].id, "2026_01_01_10_00_00_001");
        EXPECT_EQ(entries[1].name, QString::fromUtf8("游戏"));
        EXPECT_EQ(entries[2].name, "2026_01_03_10_00_00_001");
        EXPECT_EQ(list.SelectedIndex(), 0);

        const QStringList kept = QDir(userFolder).entryList({"ProfileList.ini.damaged-*"}, QDir::Files);
        ASSERT_EQ(kept.size(), 1);
        EXPECT_EQ(bytesOf(userFolder + "/" + kept[0]), c.list);
        const auto notices = userfiles::TakeNotices();
        ASSERT_FALSE(notices.empty());
        EXPECT_EQ(notices.back().kind, userfiles::Notice::Damaged);
        EXPECT_EQ(notices.back().file, QFileInfo(listPath).absoluteFilePath());
        EXPECT_EQ(notices.back().keptAs, userFolder + "/" + kept[0]);

        // Read again, the rebuilt list stands: nothing more is kept or told.
        EXPECT_EQ(ProfileList(userFolder, defaultPath()).Entries().size(), 3u);
        EXPECT_EQ(QDir(userFolder).entryList({"ProfileList.ini.damaged-*"}, QDir::Files).size(), 1);
        EXPECT_TRUE(userfiles::TakeNotices().empty());
    }
}

TEST_F(UserFiles, AListWithNoProfileLeftFallsBackToProfile1AndAMissingListTellsNothing)
{
    writeText(user("ProfileList.ini"), "{");
    ProfileList damaged(dir.filePath("user"), defaultPath());
    ASSERT_EQ(damaged.Entries().size(), 1u);
    EXPECT_EQ(damaged.Entries()[0].name, "profile1");
    EXPECT_EQ(keptCopies(user("ProfileList.ini")).size(), 1);
    userfiles::TakeNotices();

    QTemporaryDir fresh;
    ProfileList first(fresh.path(), defaultPath());
    EXPECT_EQ(first.Entries().size(), 1u);
    EXPECT_TRUE(userfiles::TakeNotices().empty());
}

TEST_F(UserFiles, ADamagedProfileIsKeptAndRepairedUnderItsOwnNameAndIdentifier)
{
    writeText(user("ProfileList.ini"),
              R"({"profilelist":[{"profilename":"Work","profileUUID":"W1"}],"profileselect":0})");
    const QByteArray damaged = R"({"profilename":"Work","profileUUID":"W1","Device":[{"LightInfo":)";
    writeBytes(user("W1.Json"), damaged);

    CBasicProfiledata data;
    data.SetDefaultPath(defaultPath());
    const Json::Value entry = data.LoadDeviceData(user("W1.Json"));
    EXPECT_EQ(entry["LightInfo"]["SelectItem"], 3);
    const Json::Value repaired = CJsonFile::ReadJson(user("W1.Json"));
    EXPECT_EQ(repaired["profilename"], "Work");
    EXPECT_EQ(repaired["profileUUID"], "W1");

    const QStringList kept = keptCopies(user("W1.Json"));
    ASSERT_EQ(kept.size(), 1);
    EXPECT_EQ(bytesOf(user(kept[0])), damaged);
    const auto notices = userfiles::TakeNotices();
    ASSERT_EQ(notices.size(), 1u);
    EXPECT_EQ(notices[0].keptAs, user(kept[0]));
}

TEST_F(UserFiles, AProfileFarTooLargeIsNeitherReadNorRewritten)
{
    // Valid JSON of 2 MB: a profile never grows near that, so it is refused unread.
    QByteArray huge = R"({"profilename":"Big","profileUUID":"B","pad":")";
    huge += QByteArray(2 * 1024 * 1024, 'x');
    huge += R"("})";
    writeBytes(user("B.Json"), huge);

    CBasicProfiledata data;
    data.SetDefaultPath(defaultPath());
    EXPECT_EQ(data.LoadDeviceData(user("B.Json"))["LightInfo"]["SelectItem"], 3);
    EXPECT_FALSE(data.SaveDeviceData(data.LoadDeviceData(user("B.Json")), user("B.Json")));
    EXPECT_EQ(bytesOf(user("B.Json")), huge);
    EXPECT_TRUE(keptCopies(user("B.Json")).isEmpty());

    const auto notices = userfiles::TakeNotices();
    ASSERT_EQ(notices.size(), 1u);  // told once, however often it is met
    EXPECT_EQ(notices[0].kind, userfiles::Notice::TooLarge);
    EXPECT_EQ(notices[0].size, huge.size());
    EXPECT_EQ(notices[0].limit, userfiles::SizeLimit(user("B.Json")));
}

TEST_F(UserFiles, LimitsFollowTheKindOfFile)
{
    struct Case {
        const char* name;
        qint64 limit;
    };
    const Case cases[] = {
        {"2026_01_01.Json", 1024 * 1024}, {"ProfileList.ini", 256 * 1024}, {"settings.ini", 64 * 1024},
        {"m1.mac", 1024 * 1024},          {"ShootData_0.Shoot", 64 * 1024}, {"macro.config", 256 * 1024},
        {"x.light", 1024 * 1024},         {"other.bin", 4 * 1024 * 1024},
    };
    for (const Case& c : cases)
        EXPECT_EQ(userfiles::SizeLimit(user(c.name)), c.limit) << c.name;
}

TEST_F(UserFiles, CreatedFilesAndFoldersAreTheUsersAlone)
{
    const QFile::Permissions others = QFile::ReadGroup | QFile::WriteGroup | QFile::ExeGroup | QFile::ReadOther |
                                      QFile::WriteOther | QFile::ExeOther;
    ASSERT_EQ(CJsonFile::WriteJson(user("new.Json"), parse(R"({"a":1})")), 0);
    EXPECT_EQ(QFileInfo(user("new.Json")).permissions() & others, QFile::Permissions());
    EXPECT_TRUE(QFileInfo(user("new.Json")).permissions() & QFile::WriteOwner);

    // An existing file keeps the mode its owner gave it.
    ASSERT_TRUE(QFile::setPermissions(user("new.Json"), QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup));
    ASSERT_EQ(CJsonFile::WriteJson(user("new.Json"), parse(R"({"a":2})")), 0);
    EXPECT_TRUE(QFileInfo(user("new.Json")).permissions() & QFile::ReadGroup);

    qputenv("XDG_DATA_HOME", dir.filePath("xdg").toUtf8());
    const QString folder = paths::deviceUserFolder("keyboard");
    qunsetenv("XDG_DATA_HOME");
    EXPECT_EQ(QFileInfo(folder).permissions() & others, QFile::Permissions());
    EXPECT_TRUE(QFileInfo(folder).permissions() & QFile::ExeOwner);
}

namespace {

// A disk that stays full is told once per file, and again only after a save of it worked.
TEST_F(UserFiles, AFailingSaveIsToldOncePerFileUntilItWorksAgain)
{
    auto notSaved = [] {
        QStringList files;
        for (const userfiles::Notice& n : userfiles::TakeNotices())
            if (n.kind == userfiles::Notice::NotSaved)
                files << QFileInfo(n.file).fileName();
        return files;
    };
    userfiles::NoteSave(user("a.Json"), false);
    userfiles::NoteSave(user("a.Json"), false);
    userfiles::NoteSave(user("b.Json"), false);
    EXPECT_EQ(notSaved(), (QStringList{"a.Json", "b.Json"}));
    userfiles::NoteSave(user("a.Json"), false);
    EXPECT_TRUE(notSaved().isEmpty());
    userfiles::NoteSave(user("a.Json"), true);
    userfiles::NoteSave(user("a.Json"), false);
    EXPECT_EQ(notSaved(), QStringList{"a.Json"});
}

}  // namespace
