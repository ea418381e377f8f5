#include "profiles/CJsonFile.h"

#include "TestFiles.h"

#include <QDir>
#include <QRegularExpression>

#include <gtest/gtest.h>

#include <atomic>
#include <csignal>
#include <cstdio>
#include <random>
#include <set>
#include <new>
#include <sys/mman.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

using testfiles::parse;
using testfiles::writeBytes;

TEST(CJsonFile, ReadJsonGivesNullForUnusableFilesAndParsesTheRest)
{
    QTemporaryDir dir;
    struct Case {
        const char* name;
        QByteArray bytes;  // null: no file at all
        const char* expected;  // nullptr: reads as null
    };
    const std::string deep(100000, '[');
    const Case cases[] = {
        {"missing", QByteArray(), nullptr},
        {"empty", QByteArray(""), nullptr},
        {"not json", QByteArray("{\"a\": }"), nullptr},
        {"valid", QByteArray("{\"a\": 1}"), "{\"a\": 1}"},
        {"comments", QByteArray("// note\n{\"a\": 1 /* one */}"), "{\"a\": 1}"},
        {"byte order mark", QByteArray("\xEF\xBB\xBF{\"a\": 2}"), "{\"a\": 2}"},
        // The text ends at the first zero byte: what follows it is never seen.
        {"zero byte after document", QByteArray("{\"a\": 3}\0{{{garbage", 19), "{\"a\": 3}"},
        {"zero byte inside document", QByteArray("{\"a\": 3, \0\"b\": 4}", 17), nullptr},
        // Nesting beyond the parser's depth limit makes it throw; that must read as null.
        {"deep nesting", QByteArray(deep.data(), qsizetype(deep.size())), nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const QString path = dir.filePath(QString::fromLatin1(c.name) + ".json");
        if (!c.bytes.isNull())
            writeBytes(path, c.bytes);
        const Json::Value v = CJsonFile::ReadJson(path);
        if (c.expected)
            EXPECT_EQ(v, parse(c.expected));
        else
            EXPECT_TRUE(v.isNull());
    }
}

TEST(CJsonFile, WriteJsonReplacesTheFileWithStyledTextAndFailsCleanly)
{
    QTemporaryDir dir;
    const QString path = dir.filePath("p.Json");
    testfiles::writeText(path, std::string(5000, 'x'));  // longer than what replaces it

    Json::Value v;
    v["name"] = "Ünïcode ✓ 😀";  // written as \u escapes, a surrogate pair included
    v["list"].append(1);
    ASSERT_EQ(CJsonFile::WriteJson(path, v), 0);
    const std::string text = CJsonFile::ReadFileText(path);
    EXPECT_EQ(text.back(), '\n');
    EXPECT_NE(text.find("\n   "), std::string::npos) << "styled (indented) text expected";
    EXPECT_EQ(CJsonFile::ReadJson(path), v);
    // No temporary file is left beside it.
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files), QStringList{"p.Json"});

    // A folder that does not exist cannot be written: a non-zero result and no file.
    const QString missing = dir.filePath("nope/p.Json");
    EXPECT_NE(CJsonFile::WriteJson(missing, v), 0);
    EXPECT_FALSE(QFile::exists(missing));
}

TEST(CJsonFile, TimestampNamesFileTitlesAndUtf8)
{
    const QDateTime t(QDate(2024, 3, 5), QTime(14, 7, 9, 45));
    EXPECT_EQ(CJsonFile::FormatTimestampName(t), "2024_03_05_14_07_09_045");
    const QRegularExpression shape("^\\d{4}_\\d\\d_\\d\\d_\\d\\d_\\d\\d_\\d\\d_\\d{3}$");
    EXPECT_TRUE(shape.match(QString::fromStdString(CJsonFile::MakeTimestampName())).hasMatch());
    // A burst of names (macros or profiles added at once) shares a millisecond: taken names move on.
    std::set<std::string> made;
    for (int i = 0; i < 50; ++i)
        made.insert(CJsonFile::MakeTimestampName([&](const std::string& name) { return made.count(name) > 0; }));
    EXPECT_EQ(made.size(), 50u);

    EXPECT_EQ(CJsonFile::GetFileTitle("/a/b/2024_03_05.Json"), "2024_03_05");
    EXPECT_EQ(CJsonFile::GetFileTitle("/a/b/Gaming.v2.json"), "Gaming.v2");
    EXPECT_EQ(CJsonFile::GetFileTitle("plain"), "plain");

    const QString wide = QString::fromUtf8("配置 ☆ Ärger");
    EXPECT_EQ(Utf8ToWide(WideToUtf8(wide)), wide);
    EXPECT_EQ(WideToUtf8(QString::fromUtf8("é")), "\xC3\xA9");
}

// A writer process killed at random moments while it keeps replacing one file must never
// leave a file that is missing, cut short or a mix of two versions.
TEST(CJsonFile, KilledWriterLeavesEitherTheOldOrTheNewFile)
{
    QTemporaryDir dir;
    const QString path = dir.filePath("profile.Json");
    // Two documents large enough that writing one takes several system calls.
    Json::Value docs[2];
    for (int d = 0; d < 2; ++d) {
        for (int i = 0; i < 4000; ++i)
            docs[d]["Device"][0]["KeyList"][i]["Assignment"] = d * 100000 + i;
        docs[d]["version"] = d;
    }
    ASSERT_EQ(CJsonFile::WriteJson(path, docs[0]), 0);

    std::mt19937 random(12345);
    std::uniform_int_distribution<int> delayUs(0, 3000);
    constexpr int kRounds = 300;
    // The writer marks, in memory shared with this process, when it is inside a write. Only a
    // kill that lands there tests anything, so those kills are counted, and there must be some.
    void* shared = mmap(nullptr, sizeof(std::atomic<int>), PROT_READ | PROT_WRITE,
                        MAP_SHARED | MAP_ANONYMOUS, -1, 0);
    ASSERT_NE(shared, MAP_FAILED);
    auto* writing = new (shared) std::atomic<int>(0);
    int killedMidWrite = 0;
    for (int round = 0; round < kRounds; ++round) {
        writing->store(0);
        const pid_t child = fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            for (int n = 0;; ++n) {
                writing->store(1);
                CJsonFile::WriteJson(path, docs[(n + round) % 2]);
                writing->store(0);
            }
        }
        usleep(useconds_t(delayUs(random)));
        kill(child, SIGKILL);
        int status = 0;
        waitpid(child, &status, 0);
        ASSERT_TRUE(WIFSIGNALED(status));
        if (writing->load())
            ++killedMidWrite;

        const Json::Value now = CJsonFile::ReadJson(path);
        ASSERT_TRUE(now == docs[0] || now == docs[1]) << "round " << round << ": damaged file";
    }
    munmap(shared, sizeof(std::atomic<int>));
    std::printf("kills that landed during a write: %d of %d\n", killedMidWrite, kRounds);
    EXPECT_GT(killedMidWrite, kRounds / 10);
}

// A write that runs out of space part way (here: a file size limit, which fails writes the way a
// full disk does) reports failure and leaves the old file whole, with no temporary file beside it.
TEST(CJsonFile, WriteThatRunsOutOfSpaceKeepsTheOldFile)
{
    QTemporaryDir dir;
    const QString path = dir.filePath("macro.config");
    Json::Value old;
    old["MacroInfo"][0]["MacroName"] = "kept";
    ASSERT_EQ(CJsonFile::WriteJson(path, old), 0);
    Json::Value big;
    for (int i = 0; i < 500; ++i)
        big["MacroInfo"][i]["MacroName"] = "a name long enough to pass the limit";

    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        signal(SIGXFSZ, SIG_IGN);
        const rlimit limit{4096, 4096};
        setrlimit(RLIMIT_FSIZE, &limit);
        const int result = CJsonFile::WriteJson(path, big);
        const int textResult = CJsonFile::WriteFileText(path, std::string(10000, 'x'));
        _exit(result != 0 && textResult != 0 ? 0 : 1);
    }
    int status = 0;
    waitpid(child, &status, 0);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0) << "a failed write was reported as success";
    EXPECT_EQ(CJsonFile::ReadJson(path), old);
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files), QStringList{"macro.config"});
}
