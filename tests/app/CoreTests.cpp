#include "app/LanguageSettings.h"
#include "app/PrivateFontLoader.h"
#include "app/RegisteredMessages.h"
#include "app/SettingsStore.h"
#include "app/SingleInstance.h"
#include "app/SkinResources.h"
#include "app/SoftwareIdentity.h"
#include "app/WorkToolAnswer.h"
#include "profiles/UserFiles.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QFontDatabase>
#include <QLocale>
#include <QLocalSocket>
#include <QRegularExpression>
#include <QXmlStreamReader>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>

#include <set>

using namespace app;

namespace {
void writeFile(const QString& path, const QByteArray& bytes)
{
    QDir().mkpath(QFileInfo(path).path());
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(bytes);
}

uint32_t le32(const std::array<uint8_t, kWorkToolAnswerSize>& b, size_t index)
{
    return b[index * 4] | b[index * 4 + 1] << 8 | b[index * 4 + 2] << 16 | uint32_t(b[index * 4 + 3]) << 24;
}
}  // namespace

TEST(RegisteredMessages, EveryNameGetsOneStableIdFromC000)
{
    RegisteredMessages::RegisterAll();
    std::vector<QString> names;
    for (const char* n : msg::kHookMessages) names.push_back(n);
    for (const char* n : msg::kMouseMessages) names.push_back(n);
    for (const char* n : msg::kGameMessages) names.push_back(n);
    for (const char* n : {msg::kInstance, msg::kUpdateRelay, msg::kLightControlBroadcast,
                          msg::kLightControlRequest, msg::kWorkToolQuery, msg::kAudioRecorder})
        names.push_back(n);
    ASSERT_EQ(names.size(), 14u + 5u + 4u + 6u);

    std::set<uint32_t> ids;
    for (const QString& name : names) {
        const uint32_t id = RegisteredMessages::Find(name);
        EXPECT_GE(id, 0xC000u) << name.toStdString();
        EXPECT_LE(id, 0xFFFFu) << name.toStdString();
        EXPECT_EQ(RegisteredMessages::Register(name), id) << "registering again changes " << name.toStdString();
        EXPECT_EQ(RegisteredMessages::Name(id), name);
        ids.insert(id);
    }
    EXPECT_EQ(ids.size(), names.size()) << "two names share an id";
    // The audio recorder's name differs from the GUID family in one letter: it must not collide.
    EXPECT_NE(RegisteredMessages::Find(msg::kAudioRecorder),
              RegisteredMessages::Register("{4695579F-999A-41d4-9FAF-EFFCE93EBF19}"));
    EXPECT_EQ(RegisteredMessages::Register(""), 0u);
    EXPECT_EQ(RegisteredMessages::Find("never registered"), 0u);
}

TEST(WorkToolAnswer, HoldsVersionAndDeviceRowsAsLittleEndianIntegers)
{
    const auto answer = BuildWorkToolAnswer();
    ASSERT_EQ(answer.size(), 1024u);
    const uint32_t expected[] = {2, 3, 0, 2, 4,
                                 0x3A17, 0x221C, 2,
                                 0x3A17, 0x5055, 1,
                                 0x3A17, 0x1004, 3,
                                 0x0C76, 0x1630, 7};
    for (size_t i = 0; i < std::size(expected); ++i)
        EXPECT_EQ(le32(answer, i), expected[i]) << "integer " << i;
    // Byte order spelled out once: the mouse's vendor 0x3A17 at integer 5.
    EXPECT_EQ(answer[20], 0x17);
    EXPECT_EQ(answer[21], 0x3A);
    EXPECT_EQ(answer[22], 0);
    for (size_t i = std::size(expected) * 4; i < answer.size(); ++i)
        ASSERT_EQ(answer[i], 0) << "byte " << i;
}

TEST(WorkToolAnswer, TooManyRowsAreCutToWhatFits)
{
    std::vector<WorkToolDeviceRow> rows(200, WorkToolDeviceRow{0xFFFF, 0xFFFF, 9});
    const auto answer = BuildWorkToolAnswer(rows);
    const uint32_t fits = (256 - 5) / 3;
    EXPECT_EQ(le32(answer, 4), fits);
    EXPECT_EQ(le32(answer, 5 + 3 * (fits - 1) + 2), 9u);
}

TEST(SoftwareIdentity, ApplicationRowIsLastAndVersionsShowAsText)
{
    const auto& table = SoftwareIdentityTable();
    EXPECT_EQ(table.back().modelCode, kApplicationModelCode);
    EXPECT_EQ(VersionDisplay(table.back()), "V0100");
    SoftwareIdentity firmware = table[0];
    firmware.version = 0x1A2;
    EXPECT_EQ(VersionDisplay(firmware), "V01a2");
}

class LanguageTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        configPath = dir.filePath("Language.config");
        writeFile(configPath, R"({"Language":[
            {"Language_name":"zh_CN","Language_file":"lan_cn.xml","Language_ID":2052,"Language_text":"简体中文"},
            {"Language_name":"en_US","Language_file":"lan_en.xml","Language_ID":1033,"Language_text":"English"},
            {"Language_name":"zh_TW","Language_file":"lan_tw.xml","Language_ID":1028,"Language_text":"繁體中文"},
            {"Language_name":"de_DE","Language_file":"lan_de.xml","Language_ID":1031,"Language_text":"Deutsch"},
            {"Language_name":"fr_FR","Language_file":"lan_fr.xml","Language_ID":1036,"Language_text":"Français"}
        ]})");
    }
    QTemporaryDir dir;
    QString configPath;
};

TEST_F(LanguageTest, StoredLanguageWinsElseTheDesktopsLanguageElseTheFirst)
{
    struct Case {
        const char* what;
        std::optional<int> stored;
        const char* desktop;  // the desktop's locale
        bool listPresent;
        int expected;
    };
    const Case cases[] = {
        {"nothing stored, English desktop", std::nullopt, "en_US", true, 1},
        {"nothing stored, British desktop finds the English entry", std::nullopt, "en_GB", true, 1},
        {"nothing stored, Taiwanese desktop", std::nullopt, "zh_TW", true, 2},
        {"nothing stored, French desktop", std::nullopt, "fr_FR", true, 4},
        {"nothing stored, Japanese desktop: no such entry", std::nullopt, "ja_JP", true, 0},
        {"nothing stored, C locale means English", std::nullopt, "C", true, 1},
        {"nothing stored, C.UTF-8 means English", std::nullopt, "C.UTF-8", true, 1},
        {"stored id of the third wins over the desktop", 1028, "en_US", true, 2},
        {"stored id nobody carries", 4242, "en_US", true, 0},
        {"list missing", std::nullopt, "en_US", false, 0},
    };
    for (const Case& c : cases) {
        const QString storePath = dir.filePath(QString("store-%1.ini").arg(c.what));
        SettingsStore store(storePath);
        if (c.stored) {
            ASSERT_TRUE(store.WriteInt(kLanguageKey, *c.stored));
        }
        LanguageSettings languages(store, c.listPresent ? configPath : dir.filePath("missing.config"));
        EXPECT_EQ(languages.ReadStoredLanguage(QLocale(QLatin1String(c.desktop))), c.expected) << c.what;
    }
}

TEST(LanguageList, MembersOfTheWrongTypeOrRangeReadAsMissingAndStartInTheFirstLanguage)
{
    struct Case {
        const char* what;
        const char* firstEntry;  // precedes {"Language_name":"en_US","Language_ID":1033}
        int firstId;
    };
    const Case cases[] = {
        {"id beyond int", R"({"Language_name":"xx_XX","Language_ID":3000000000})", int32_t(3000000000u)},
        {"id as a huge real", R"({"Language_name":"xx_XX","Language_ID":1e10})", 1410065408},
        {"id below int", R"({"Language_name":"xx_XX","Language_ID":-2147483649})", 2147483647},
        {"id as text", R"({"Language_name":"xx_XX","Language_ID":"2052"})", 0},
        {"names of the wrong type", R"({"Language_name":7,"Language_file":[1],"Language_text":{}})", 0},
        {"entry not an object", R"(3)", 0},
    };
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    for (const Case& c : cases) {
        const QString config = dir.filePath("Language.config");
        writeFile(config, QString(R"({"Language":[%1,{"Language_name":"en_US","Language_ID":1033}]})")
                              .arg(QLatin1String(c.firstEntry))
                              .toUtf8());
        SettingsStore store(dir.filePath(QString("%1.ini").arg(c.what)));
        LanguageSettings languages(store, config);
        const auto list = languages.Languages();
        ASSERT_EQ(list.size(), 2u) << c.what;
        EXPECT_EQ(list[0].id, c.firstId) << c.what;
        EXPECT_EQ(list[1].id, 1033) << c.what;
        EXPECT_EQ(languages.ReadStoredLanguage(QLocale(QLatin1String("ja_JP"))), 0) << c.what;
        const auto change = languages.Choose(0);
        ASSERT_TRUE(change && change->entry) << c.what;
    }
}

TEST_F(LanguageTest, ChoosingPersistsTheIdAndChoosingAgainWritesNothing)
{
    const QString storePath = dir.filePath("settings.ini");
    SettingsStore store(storePath);
    {
        LanguageSettings languages(store, configPath);
        const auto change = languages.Choose(1);
        ASSERT_TRUE(change);
        ASSERT_TRUE(change->entry);
        EXPECT_EQ(change->entry->file, "lan_en.xml");
        EXPECT_TRUE(change->stored);

        // The same language again: no change and no write at all (the file stays deleted).
        ASSERT_TRUE(QFile::remove(storePath));
        EXPECT_FALSE(languages.Choose(1));
        EXPECT_FALSE(QFileInfo::exists(storePath));
        ASSERT_TRUE(languages.Choose(2));
    }
    // A later start reads the choice back.
    LanguageSettings nextStart(store, configPath);
    EXPECT_EQ(nextStart.ReadStoredLanguage(), 2);
}

TEST_F(LanguageTest, FontsChangeOnlyAroundTheLanguagesWithTheirOwnFace)
{
    SettingsStore store(dir.filePath("fonts.ini"));
    LanguageSettings languages(store, configPath);
    struct Step {
        int index;
        bool fontsChanged;
        const char* face;
    };
    const Step steps[] = {
        {3, true, "Verdana Unicode MS"},  // the first application always sets fonts
        {4, false, ""},
        {0, true, "汉仪菱心体简"},
        {3, true, "Verdana Unicode MS"},
        {2, true, "Noto Sans CJK TC Regular"},
        {15, true, "Noto Sans Thai"},
    };
    for (const Step& s : steps) {
        const auto change = languages.Choose(s.index);
        ASSERT_TRUE(change) << s.index;
        EXPECT_EQ(change->fontsChanged, s.fontsChanged) << s.index;
        EXPECT_EQ(change->fontFace, QString::fromUtf8(s.face)) << s.index;
    }
    // Index 15 has no element here: nothing is loaded and nothing stored, yet it is current.
    EXPECT_EQ(languages.currentIndex(), 15);
    EXPECT_EQ(SettingsStore(dir.filePath("fonts.ini")).ReadInt(kLanguageKey), 1028);
}

TEST(SettingsStore, AFileFarTooLargeIsNotParsedAndIsKeptWhenANewChoiceIsWritten)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString path = dir.filePath("settings.ini");
    const QByteArray huge = "[General]\nLANGUAGE=1033\n" + QByteArray(512 * 1024, '#') + "\n";
    writeFile(path, huge);
    userfiles::TakeNotices();

    SettingsStore store(path);
    EXPECT_FALSE(store.ReadInt(kLanguageKey).has_value());
    auto notices = userfiles::TakeNotices();
    ASSERT_EQ(notices.size(), 1u);
    EXPECT_EQ(notices[0].kind, userfiles::Notice::TooLarge);

    // A choice made now is stored in a fresh file; the large one stays beside it byte for byte.
    ASSERT_TRUE(store.WriteInt(kLanguageKey, 2052));
    EXPECT_EQ(store.ReadInt(kLanguageKey), 2052);
    const QStringList kept = QDir(dir.path()).entryList({"settings.ini.damaged-*"}, QDir::Files);
    ASSERT_EQ(kept.size(), 1);
    QFile copy(dir.filePath(kept[0]));
    ASSERT_TRUE(copy.open(QIODevice::ReadOnly));
    EXPECT_EQ(copy.readAll(), huge);
    notices = userfiles::TakeNotices();
    ASSERT_EQ(notices.size(), 1u);
    EXPECT_EQ(notices[0].kind, userfiles::Notice::Damaged);
}

TEST(LanguageSettings, LanguageFileNamesStayInTheSkinFolder)
{
    EXPECT_EQ(LanguageSettings::LanguageFilePath("/skin", "lan_en.xml"), "/skin/lan_en.xml");
    for (const char* bad : {"../lan.xml", "a/b.xml", "..", "", "..\\x.xml", "/etc/passwd"})
        EXPECT_TRUE(LanguageSettings::LanguageFilePath("/skin", bad).isEmpty()) << bad;
}

TEST(SkinResources, ResolvesLayoutsAndRefusesPathsOutsideTheSkin)
{
    QTemporaryDir dir;
    writeFile(dir.filePath("res.xml"), R"(<?xml version="1.0"?>
        <Res>
          <Layout name="XML_MAIN" file="XML/main.ui"/>
          <Layout name="XML_EVIL" file="../../etc/passwd"/>
          <Layout name="XML_ABS" file="/etc/passwd"/>
        </Res>)");
    SkinResources res;
    ASSERT_TRUE(res.Load(dir.path()));
    EXPECT_EQ(res.Resolve("XML_MAIN"), "XML/main.ui");
    EXPECT_TRUE(res.Resolve("XML_EVIL").isEmpty());
    EXPECT_TRUE(res.Resolve("XML_ABS").isEmpty());
    EXPECT_TRUE(res.Resolve("XML_NONE").isEmpty());

    writeFile(dir.filePath("res.xml"), "<Res><Layout name=");
    EXPECT_FALSE(res.Load(dir.path()));
    EXPECT_TRUE(res.Resolve("XML_MAIN").isEmpty());
}

TEST(SkinResources, ShippedSkinNamesExistingLayouts)
{
    SkinResources res;
    ASSERT_TRUE(res.Load(TESSEL_SKIN_DIR));
    for (const char* name : {"XML_MAIN", "XML_MSG"}) {
        const QString file = res.Resolve(name);
        ASSERT_FALSE(file.isEmpty()) << name;
        EXPECT_TRUE(QFileInfo::exists(QDir(TESSEL_SKIN_DIR).filePath(file))) << name;
    }
}

TEST(PrivateFontLoader, AMissingFontLeavesTheOthersLoaded)
{
    QTemporaryDir dir;
    const QString source = "/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf";
    if (!QFileInfo::exists(source))
        GTEST_SKIP() << "no DejaVu Sans to copy";
    // Every file but the second, standing in for a deleted one.
    for (size_t i = 0; i < kFontFiles.size(); ++i) {
        if (i == 1)
            continue;
        QDir().mkpath(dir.filePath("Font"));
        ASSERT_TRUE(QFile::copy(source, dir.filePath(kFontFiles[i])));
    }
    writeFile(dir.filePath("Font/broken.ttf"), "not a font");

    std::array<PrivateFontLoader, 4> loaders{PrivateFontLoader(dir.path()), PrivateFontLoader(dir.path()),
                                             PrivateFontLoader(dir.path()), PrivateFontLoader(dir.path())};
    for (size_t i = 0; i < kFontFiles.size(); ++i)
        EXPECT_EQ(loaders[i].Load(kFontFiles[i]), i != 1) << kFontFiles[i];
    EXPECT_TRUE(loaders[0].families().contains("DejaVu Sans"));

    PrivateFontLoader broken(dir.path());
    EXPECT_FALSE(broken.Load("Font/broken.ttf"));

    // A link to one of the system's fonts (as the build's data folder has them): available
    // through the system under its own family, with no private copy.
    ASSERT_TRUE(QFile::link(source, dir.filePath("Font/linked.ttf")));
    PrivateFontLoader linked(dir.path());
    EXPECT_TRUE(linked.Load("Font/linked.ttf"));
    EXPECT_TRUE(linked.isServedBySystem());
    EXPECT_FALSE(linked.isLoaded());
    EXPECT_TRUE(QFontDatabase::families().contains("DejaVu Sans"));
    for (auto it = loaders.rbegin(); it != loaders.rend(); ++it)
        it->Unload();
    EXPECT_FALSE(loaders[0].isLoaded());
}

TEST(SingleInstance, SecondStartHandsTheInstanceMessageToTheFirst)
{
    RegisteredMessages::RegisterAll();
    QTemporaryDir dir;
    SingleInstance first(dir.path());
    ASSERT_TRUE(first.Acquire());
    QSignalSpy received(&first, &SingleInstance::messageReceived);

    SingleInstance second(dir.path());
    EXPECT_FALSE(second.Acquire());
    EXPECT_TRUE(second.Notify(msg::kInstance, 0, 1));
    ASSERT_TRUE(received.wait(5000) || received.count() > 0);
    const QList<QVariant> args = received.takeFirst();
    EXPECT_EQ(args[0].value<uint32_t>(), RegisteredMessages::Find(msg::kInstance));
    EXPECT_EQ(args[1].value<intptr_t>(), 0);
    EXPECT_EQ(args[2].value<intptr_t>(), 1);
}

TEST(SingleInstance, TheSocketPassesOnTheInstanceMessageAlone)
{
    RegisteredMessages::RegisterAll();
    QTemporaryDir dir;
    SingleInstance first(dir.path());
    ASSERT_TRUE(first.Acquire());
    QSignalSpy received(&first, &SingleInstance::messageReceived);

    // Other registered names (they belong to D-Bus), unknown names and malformed lines, then
    // the instance message last on the same connection: lines are handled in order, so
    // everything before it has been judged once it arrives.
    QByteArray lines;
    for (const char* name : {msg::kLightControlRequest, msg::kWorkToolQuery, msg::kUpdateRelay,
                             "Game_Start", "no such message"})
        lines += QByteArray(name) + "\t1\t1\n";
    lines += QByteArray(msg::kInstance) + "\tx\t1\n";
    lines += QByteArray(msg::kInstance) + "\t0\n";
    lines += QByteArray(msg::kInstance) + "\t0\t1\n";
    QLocalSocket client;
    client.connectToServer(first.socketPath());
    ASSERT_TRUE(client.waitForConnected(5000));
    client.write(lines);
    ASSERT_TRUE(client.waitForBytesWritten(5000));
    ASSERT_TRUE(received.wait(5000) || received.count() > 0);
    ASSERT_EQ(received.count(), 1);
    EXPECT_EQ(received[0][0].value<uint32_t>(), RegisteredMessages::Find(msg::kInstance));
    EXPECT_EQ(received[0][2].value<intptr_t>(), 1);
}

TEST(SingleInstance, ALockLeftByACrashedInstanceDoesNotBlockTheNextStart)
{
    QTemporaryDir dir;
    SingleInstance probe(dir.path());
    // A lock file naming a process that does not exist, and its socket file left behind.
    writeFile(probe.lockPath(), "999999999\ntessel\n" + QSysInfo::machineHostName().toUtf8() + "\n");
    writeFile(probe.socketPath(), "");
    SingleInstance next(dir.path());
    EXPECT_TRUE(next.Acquire());
    SingleInstance later(dir.path());
    EXPECT_FALSE(later.Acquire());
    EXPECT_TRUE(later.Notify(msg::kInstance, 0, 1));
}

namespace {
QSet<QString> languageIds(const QString& path)
{
    QSet<QString> ids;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return ids;
    QXmlStreamReader xml(&file);
    while (!xml.atEnd()) {
        if (xml.readNext() == QXmlStreamReader::StartElement && xml.name() == QLatin1String("Text"))
            ids.insert(xml.attributes().value("id").toString());
    }
    return xml.hasError() ? QSet<QString>{} : ids;
}
}  // namespace

TEST(ShippedLanguages, EveryListedLanguageHasAFileWithEveryTextTheShellShows)
{
    // The ids the shell's skin files use, and the two label texts the main window sets.
    QSet<QString> used{QStringLiteral("控制灯光"), QStringLiteral("不控制灯光")};
    const QRegularExpression idInUi(R"re(<string>([A-Za-z0-9]+(?:_[A-Za-z0-9]+)+)</string>)re");
    const QRegularExpression idInMenu(R"re(text="([^"]+)")re");
    for (const char* file : {"XML/main.ui", "XML/msg.ui", "menu.xml"}) {
        QFile f(QDir(TESSEL_SKIN_DIR).filePath(file));
        ASSERT_TRUE(f.open(QIODevice::ReadOnly)) << file;
        const QString text = QString::fromUtf8(f.readAll());
        for (const auto& re : {idInUi, idInMenu}) {
            auto it = re.globalMatch(text);
            while (it.hasNext())
                used.insert(it.next().captured(1));
        }
    }
    ASSERT_GT(used.size(), 20);

    SettingsStore store(QTemporaryDir().filePath("unused.ini"));
    LanguageSettings languages(store, QString(TESSEL_DATA_DIR) + "/Language.config");
    const auto list = languages.Languages();
    ASSERT_GE(list.size(), 2u);
    for (const LanguageEntry& entry : list) {
        const QString path = LanguageSettings::LanguageFilePath(TESSEL_SKIN_DIR, entry.file);
        ASSERT_FALSE(path.isEmpty()) << entry.file.toStdString();
        if (!QFileInfo::exists(path))
            continue;  // a language not merged yet (the language file checker covers the rest)
        const QSet<QString> ids = languageIds(path);
        ASSERT_FALSE(ids.isEmpty()) << path.toStdString();
        for (const QString& id : used)
            EXPECT_TRUE(ids.contains(id)) << entry.file.toStdString() << " lacks " << id.toStdString();
    }
}
