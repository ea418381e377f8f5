#include "profiles/ProfileList.h"
#include "TestFiles.h"

#include <QDir>
#include <QFileInfo>
#include <gtest/gtest.h>

#include <csignal>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

// The profile list and its operations on real files in a private folder.
namespace {

using testfiles::parse;

class ProfileListTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        ASSERT_TRUE(QDir(dir.path()).mkpath("user"));
        defaultProfile = dir.filePath("default.Json");
        ASSERT_EQ(CJsonFile::WriteJson(defaultProfile, parse(R"({"Device":[{"LightInfo":{"Red":1},
            "CustomEQNameInfo":["factory"],"CustomEQHzValueInfo":[0]}]})")), 0);
    }
    ProfileList list() const { return ProfileList(dir.filePath("user"), defaultProfile); }
    QStringList names() const
    {
        QStringList out;
        for (const auto& e : list().Entries())
            out << e.name;
        return out;
    }
    Json::Value profileDoc(int index) const
    {
        return CJsonFile::ReadJson(list().ProfileFile(list().Entries()[size_t(index)].id));
    }
    // Every entry of the list names a profile file that holds its name and identifier.
    void expectListMatchesFiles() const
    {
        for (const auto& e : list().Entries()) {
            const Json::Value doc = CJsonFile::ReadJson(list().ProfileFile(e.id));
            EXPECT_EQ(Utf8ToWide(doc["profilename"].asString()), e.name);
            EXPECT_EQ(Utf8ToWide(doc["profileUUID"].asString()), e.id);
        }
    }

    QTemporaryDir dir;
    QString defaultProfile;
};

TEST_F(ProfileListTest, FirstUseMakesProfile1FromTheDefaultProfile)
{
    const auto entries = list().Entries();
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_EQ(entries[0].name, "profile1");
    EXPECT_EQ(list().SelectedIndex(), 0);
    const Json::Value doc = profileDoc(0);
    EXPECT_EQ(doc["Device"][0]["LightInfo"]["Red"].asInt(), 1);
    expectListMatchesFiles();
}

TEST_F(ProfileListTest, FreeNamesFollowTheirPatterns)
{
    struct Case {
        QStringList names;
        QString source;
        QString newName, copyName, importName;
    } cases[] = {
        {{"profile1", "PROFILE2"}, "profile1", "profile3", "profile1 copy", "profile1(1)"},
        {{"A", "a copy"}, "A", "profile1", "A copy copy", "A(1)"},
        {{"Gaming", "Gaming(1)"}, "Gaming", "profile1", "Gaming copy", "Gaming(1)(2)"},
        {{"gaming"}, "Gaming", "profile1", "Gaming copy", "Gaming(1)"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(ProfileList::FreeNewName(c.names), c.newName) << c.names.join(",").toStdString();
        EXPECT_EQ(ProfileList::FreeCopyName(c.names, c.source), c.copyName);
        EXPECT_EQ(ProfileList::FreeImportName(c.names, c.source), c.importName);
    }
}

TEST_F(ProfileListTest, OperationsKeepListAndFilesInStepWithNamesOutsideAscii)
{
    const QString chinese = QString::fromUtf8("配置 ☆ Ärger");
    ASSERT_EQ(list().AddFromDefault(chinese, true), 1);
    EXPECT_EQ(list().SelectedIndex(), 1) << "New selects the profile in the file";
    ASSERT_EQ(list().AddCopy(1, chinese + " copy"), 2);
    EXPECT_EQ(profileDoc(2)["Device"], profileDoc(1)["Device"]);
    ASSERT_TRUE(list().Rename(2, QString::fromUtf8("Ünïcødé 名字")));
    EXPECT_EQ(names(), (QStringList{"profile1", chinese, QString::fromUtf8("Ünïcødé 名字")}));
    expectListMatchesFiles();

    // Identifiers differ even when the profiles were made within one millisecond.
    QStringList ids;
    for (const auto& e : list().Entries())
        ids << e.id;
    ids.removeDuplicates();
    EXPECT_EQ(ids.size(), 3);

    // Export writes the saved file; importing it back keeps everything but name and id.
    const QString exported = dir.filePath(QString::fromUtf8("导出.json"));
    ASSERT_TRUE(list().Export(1, exported));
    const Json::Value doc = CJsonFile::ReadJson(exported);
    ASSERT_TRUE(ProfileList::IsImportableProfile(doc));
    ASSERT_EQ(list().AddDocument(doc, QString::fromUtf8("导出")), 3);
    EXPECT_EQ(profileDoc(3)["Device"], doc["Device"]);
    EXPECT_NE(profileDoc(3)["profileUUID"], doc["profileUUID"]);
    expectListMatchesFiles();
}

TEST_F(ProfileListTest, RemoveSetsTheNextSelectionAndDeletesTheFile)
{
    list().AddFromDefault("b", false);
    list().AddFromDefault("c", false);
    const QString fileOfC = list().ProfileFile(list().Entries()[2].id);
    ASSERT_TRUE(list().Remove(2, 1));
    EXPECT_EQ(list().SelectedIndex(), 1);
    EXPECT_FALSE(QFileInfo::exists(fileOfC));
    ASSERT_TRUE(list().Remove(0, 0));
    EXPECT_EQ(names(), QStringList{"b"});
    EXPECT_FALSE(list().Remove(0, 0)) << "the last profile stays";
    EXPECT_EQ(names(), QStringList{"b"});
}

TEST_F(ProfileListTest, ResetKeepsOnlyNameAndIdExceptTheHeadsetsEqualiser)
{
    list().AddFromDefault("headset", false);
    Json::Value changed = profileDoc(1);
    changed["Device"][0]["LightInfo"]["Red"] = 200;
    changed["Device"][0]["CustomEQNameInfo"] = parse(R"(["mine"])");
    changed["Device"][0]["CustomEQHzValueInfo"] = parse("[7]");
    const QString file = list().ProfileFile(list().Entries()[1].id);
    ASSERT_EQ(CJsonFile::WriteJson(file, changed), 0);

    ASSERT_TRUE(list().Reset(1, true));
    Json::Value doc = CJsonFile::ReadJson(file);
    EXPECT_EQ(doc["Device"][0]["LightInfo"]["Red"].asInt(), 1);
    EXPECT_EQ(doc["Device"][0]["CustomEQNameInfo"][0].asString(), "mine");
    EXPECT_EQ(doc["Device"][0]["CustomEQHzValueInfo"][0].asInt(), 7);
    EXPECT_EQ(doc["profilename"].asString(), "headset");

    ASSERT_EQ(CJsonFile::WriteJson(file, changed), 0);
    ASSERT_TRUE(list().Reset(1, false));
    doc = CJsonFile::ReadJson(file);
    EXPECT_EQ(doc["Device"][0]["CustomEQNameInfo"][0].asString(), "factory");
}

TEST_F(ProfileListTest, ListNamingMissingFilesStaysUsable)
{
    // A list edited by hand: a missing file, an identifier that would leave the folder, and a
    // selection outside the list.
    ASSERT_EQ(CJsonFile::WriteJson(list().ListPath(), parse(R"({"profilelist":[
        {"profilename":"gone","profileUUID":"2020_01_01_00_00_00_000"},
        {"profilename":"evil","profileUUID":"../../etc/passwd"}],"profileselect":7})")), 0);
    EXPECT_EQ(list().SelectedIndex(), 0);
    EXPECT_TRUE(list().SelectedProfileFile().endsWith("2020_01_01_00_00_00_000.Json"));

    // A copy of a profile whose file is missing holds only its name and identifier.
    ASSERT_EQ(list().AddCopy(0, "gone copy"), 2);
    const Json::Value copy = profileDoc(2);
    EXPECT_EQ(copy.getMemberNames(), (std::vector<std::string>{"profileUUID", "profilename"}));
    EXPECT_EQ(list().AddCopy(1, "evil copy"), 3) << "an unsafe source copies nothing from outside";
    EXPECT_FALSE(profileDoc(3).isMember("Device"));
    EXPECT_FALSE(list().Export(1, dir.filePath("out.json")));
    EXPECT_FALSE(list().Reset(1, false));
    EXPECT_TRUE(list().Remove(1, 0));
}

// Runs `operation` in a child process whose writes fail once they pass a few kilobytes, as they
// do on a full disk; true when the child reported the operation failed.
template <typename F>
bool failsOnFullDisk(F operation)
{
    const pid_t child = fork();
    if (child == 0) {
        signal(SIGXFSZ, SIG_IGN);
        const rlimit limit{2048, 2048};
        setrlimit(RLIMIT_FSIZE, &limit);
        _exit(operation() ? 1 : 0);
    }
    int status = 0;
    waitpid(child, &status, 0);
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

TEST_F(ProfileListTest, FullDiskChangesNothing)
{
    // A default profile large enough that its copy does not fit.
    Json::Value big = CJsonFile::ReadJson(defaultProfile);
    for (int i = 0; i < 300; ++i)
        big["Device"][0]["KeyList"][i] = i;
    ASSERT_EQ(CJsonFile::WriteJson(defaultProfile, big), 0);
    list().AddFromDefault("two", false);
    const Json::Value listBefore = CJsonFile::ReadJson(list().ListPath());
    const QStringList filesBefore = QDir(dir.filePath("user")).entryList(QDir::Files);

    EXPECT_TRUE(failsOnFullDisk([&] { return list().AddFromDefault("new", true) >= 0; }));
    EXPECT_TRUE(failsOnFullDisk([&] { return list().AddCopy(0, "copy") >= 0; }));
    EXPECT_TRUE(failsOnFullDisk([&] { return list().Rename(1, "renamed"); })) << "the list goes back";

    EXPECT_EQ(CJsonFile::ReadJson(list().ListPath()), listBefore);
    EXPECT_EQ(QDir(dir.filePath("user")).entryList(QDir::Files), filesBefore) << "no orphan or temporary file";
    expectListMatchesFiles();
}

TEST_F(ProfileListTest, ProcessKilledDuringSavesLeavesEveryFileWhole)
{
    // A writer that keeps adding, renaming and removing profiles is killed at random moments;
    // afterwards every file parses and every profile the list names has its file.
    for (int round = 0; round < 60; ++round) {
        const pid_t child = fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            for (int n = 0;; ++n) {
                const int index = list().AddCopy(0, QStringLiteral("p%1").arg(n));
                list().Rename(index, QString::fromUtf8("名%1").arg(n));
                if (list().Entries().size() > 4)
                    list().Remove(1, 0);
            }
        }
        usleep(useconds_t(500 + (round * 997) % 20000));
        kill(child, SIGKILL);
        waitpid(child, nullptr, 0);

        for (const QFileInfo& f : QDir(dir.filePath("user")).entryInfoList(QDir::Files))
            ASSERT_FALSE(CJsonFile::ReadJson(f.filePath()).isNull()) << "round " << round << ": " << f.fileName().toStdString();
        for (const auto& e : list().Entries())
            ASSERT_TRUE(QFileInfo::exists(list().ProfileFile(e.id))) << "round " << round << ": list names a missing file";
    }
}

}  // namespace
