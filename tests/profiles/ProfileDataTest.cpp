#include "profiles/CBasicProfiledata.h"
#include "profiles/DeviceNameLists.h"

#include "TestFiles.h"

#include <QDir>

#include <gtest/gtest.h>

using testfiles::parse;
using testfiles::writeText;

namespace {

// A default profile file and a user folder in a private temporary folder.
class ProfileData : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        QDir(dir.path()).mkpath("user");
        writeText(defaultPath(), R"({"Device": [{"LightInfo": {"SelectItem": 3, "Light": 4},
                                     "KeyList": [{"Assignment": 1, "DefaultAssignment": 1}]}]})");
        data.SetDefaultPath(defaultPath());
    }
    QString defaultPath() const { return dir.filePath("default.Json"); }
    QString userPath(const QString& name) const { return dir.filePath("user/" + name); }
    Json::Value file(const QString& path) const { return CJsonFile::ReadJson(path); }

    QTemporaryDir dir;
    CBasicProfiledata data;
};

}  // namespace

TEST_F(ProfileData, LoadRepairsAMissingEntryFromTheDefaultsKeepingNameAndIdentifier)
{
    const QString path = userPath("U.Json");
    writeText(path, R"({"profilename": "A", "profileUUID": "U"})");
    const Json::Value defaultEntry = file(defaultPath())["Device"][0];

    EXPECT_EQ(data.LoadDeviceData(path), defaultEntry);
    const Json::Value repaired = file(path);
    EXPECT_EQ(repaired["profilename"], "A");
    EXPECT_EQ(repaired["profileUUID"], "U");
    EXPECT_EQ(repaired["Device"][0], defaultEntry);
    EXPECT_EQ(repaired.size(), 3u);
}

TEST_F(ProfileData, EntriesOfAnUnexpectedTypeAreRepairedNotThrown)
{
    // "Device" as an object, an entry that is a number, a document that is an array.
    for (const char* text : {R"({"Device": {"x": 1}, "profilename": "A"})",
                             R"({"Device": [7], "profilename": "A"})", "[1, 2]"}) {
        SCOPED_TRACE(text);
        const QString path = userPath("odd.Json");
        writeText(path, text);
        const Json::Value entry = data.LoadDeviceData(path);
        EXPECT_EQ(entry["LightInfo"]["SelectItem"], 3);
        EXPECT_EQ(data.GetLightInfo().mode, 3);
        EXPECT_EQ(file(path)["Device"][0], entry);
    }
}

TEST_F(ProfileData, WithoutAnyDefaultTheEntryStaysNullAndGettersGiveDefaults)
{
    CBasicProfiledata bare;
    bare.SetDefaultPath(userPath("missing-default.Json"));
    const QString path = userPath("new.Json");
    EXPECT_TRUE(bare.LoadDeviceData(path).isNull());
    EXPECT_EQ(file(path), parse(R"({"Device": [null]})"));
    EXPECT_EQ(bare.GetLightInfo(), LightInfo{});
    EXPECT_TRUE(bare.GetKeyList().empty());
    EXPECT_TRUE(bare.GetLightList().empty());
}

TEST_F(ProfileData, PathSetters)
{
    data.SetProfilePath("/a/p.Json");
    data.SetProfilePath("");
    EXPECT_EQ(data.GetProfilePath(), "/a/p.Json");
    data.SetDefaultPath("");
    EXPECT_EQ(data.GetDefaultPath(), defaultPath());
    data.SetLightConfigPath("/a/pelix_light.config");
    data.SetLightConfigPath("");
    EXPECT_EQ(data.GetLightConfigPath(), "");
}

TEST_F(ProfileData, SaveReplacesOnlyTheDeviceEntryAndUnknownMembersSurvive)
{
    const QString path = userPath("P.Json");
    writeText(path, R"({"profilename": "P", "extra": [1, 2],
                        "Device": [{"LightInfo": {"SelectItem": 1}, "Vendor": {"k": "v"}},
                                   {"second": true}]})");
    data.SetProfilePath(path);
    data.LoadDeviceData(path);
    LightInfo info = data.GetLightInfo();
    info.mode = 9;
    info.multicolour = 7;  // a boolean in the file
    data.SetLightInfo(info);
    // Nothing reaches the disk before Save.
    EXPECT_EQ(file(path)["Device"][0]["LightInfo"]["SelectItem"], 1);
    ASSERT_TRUE(data.Save());

    const Json::Value saved = file(path);
    EXPECT_EQ(saved["profilename"], "P");
    EXPECT_EQ(saved["extra"], parse("[1, 2]"));
    EXPECT_EQ(saved["Device"][1], parse(R"({"second": true})"));
    EXPECT_EQ(saved["Device"][0]["Vendor"], parse(R"({"k": "v"})"));
    EXPECT_EQ(saved["Device"][0]["LightInfo"]["SelectItem"], 9);
    EXPECT_EQ(saved["Device"][0]["LightInfo"]["MultiColor"], 1);
    EXPECT_EQ(saved["Device"][0]["LightInfo"].size(), 11u);

    // Saving to a missing file creates one holding only "Device".
    const QString fresh = userPath("fresh.Json");
    ASSERT_TRUE(data.SaveDeviceData(parse(R"({"a": 1})"), fresh));
    EXPECT_EQ(file(fresh), parse(R"({"Device": [{"a": 1}]})"));
}

TEST_F(ProfileData, LightInfoValuesAreCutToTheirWidthAndOddTypesReadAsMissing)
{
    const QString path = userPath("L.Json");
    writeText(path, R"({"Device": [{"LightInfo": {"SelectItem": 300, "Light": -1, "Speed": 300,
        "Fx": true, "MultiColor": 5, "Red": "255", "Green": 2.0, "Blue": [1],
        "ZZCCLedMode": 258, "CustomGroup": 4294967298, "OldLedmode": 1}},
        {}]})");
    data.LoadDeviceData(path);
    const LightInfo info = data.GetLightInfo();
    EXPECT_EQ(info.mode, 44);
    EXPECT_EQ(info.brightness, 255);
    EXPECT_EQ(info.speed, 44);
    EXPECT_EQ(info.direction, 1);
    EXPECT_EQ(info.multicolour, 1);
    EXPECT_EQ(info.red, 0);  // a string is not a number
    EXPECT_EQ(info.green, 2);
    EXPECT_EQ(info.blue, 0);
    EXPECT_EQ(info.zzccMode, 2);
    EXPECT_EQ(info.customGroup, 2);
    EXPECT_EQ(info.previousMode, 1);
    EXPECT_EQ(info.present, 0);

    // "LightInfo" of the wrong kind reads as the zero fallback.
    writeText(path, R"({"Device": [{"LightInfo": [1, 2, 3], "AudioLightInfo": "x"}]})");
    data.LoadDeviceData(path);
    EXPECT_EQ(data.GetLightInfo(), LightInfo{});
    EXPECT_EQ(data.GetAudioLightInfo(), AudioLightInfo{});
}

TEST_F(ProfileData, AudioLightInfoRoundTrip)
{
    data.LoadDeviceData(userPath("A.Json"));
    AudioLightInfo a{2, 10, 20, 30, 40, 50, 60, 9, 1};
    data.SetAudioLightInfo(a);
    a.sevenColour = 1;
    EXPECT_EQ(data.GetAudioLightInfo(), a);
    EXPECT_EQ(data.ActiveSlot()["AudioLightInfo"]["7ColorFlags"], 1);
}

TEST_F(ProfileData, LightListMarksPresentEntries)
{
    const QString path = userPath("LL.Json");
    writeText(path, R"({"Device": [{"LightList": [null,
        {"LEDREGMode": 5, "LEDBrightness": 4, "LEDSpeed": 2, "LEDDirection": 3,
         "LEDMultiColor": 1, "red": 256, "green": 7, "blue": 8}, 17]}]})");
    data.LoadDeviceData(path);
    const std::vector<LightInfo> list = data.GetLightList();
    ASSERT_EQ(list.size(), 3u);
    EXPECT_EQ(list[0], LightInfo{});
    const LightInfo expected{5, 4, 2, 1, 1, 0, 7, 8, {0, 0}, 1, 0, 0, 0};
    EXPECT_EQ(list[1], expected);
    EXPECT_EQ(list[2].present, 0);
}

TEST_F(ProfileData, KeyListDecodesAndSetKeyListWritesOnlyItsOwnEntries)
{
    const QString path = userPath("K.Json");
    writeText(path, R"({"Device": [{"KeyList": [
        {"Assignment": 1052672, "DefaultAssignment": 1052672},
        {"Assignment": 16909060},
        {"Assignment": 3, "DefaultAssignment": 3, "Note": "kept"},
        null]}]})");
    data.LoadDeviceData(path);
    std::vector<KeyAssignmentPair> keys = data.GetKeyList();
    ASSERT_EQ(keys.size(), 4u);
    EXPECT_EQ(keys[0].current, (KeyAssignment{0, 0x10, 0x10, 0x00}));
    // 0x01020304: the top byte is beyond 24 bits and dropped; a missing default reads 0.
    EXPECT_EQ(keys[1].current, (KeyAssignment{1, 0x02, 0x03, 0x04}));
    EXPECT_EQ(keys[1].defaults, (KeyAssignment{1, 0, 0, 0}));
    EXPECT_EQ(keys[3].current, (KeyAssignment{3, 0, 0, 0}));

    std::vector<KeyAssignmentPair> two(2);
    two[0].current = {0, 0x70, 5, 0};
    two[1].current = {1, 0x20, 0, 4};
    two[1].defaults = {1, 9, 9, 9};  // never written
    data.SetKeyList(two);
    ASSERT_TRUE(data.SaveDeviceData(data.ActiveSlot(), path));
    const Json::Value list = file(path)["Device"][0]["KeyList"];
    EXPECT_EQ(list[0]["Assignment"], 0x700500);
    EXPECT_EQ(list[1]["Assignment"], 0x200004);
    EXPECT_FALSE(list[1].isMember("DefaultAssignment"));
    EXPECT_EQ(list[2], parse(R"({"Assignment": 3, "DefaultAssignment": 3, "Note": "kept"})"));
    EXPECT_TRUE(list[3].isNull());
}

TEST_F(ProfileData, ScratchSlotEditsAnotherProfileWithoutTouchingTheActiveOne)
{
    const QString active = userPath("active.Json");
    const QString other = userPath("other.Json");
    writeText(active, R"({"Device": [{"KeyList": [{"Assignment": 1}]}]})");
    writeText(other, R"({"profilename": "O", "Device": [{"KeyList": [{"Assignment": 2}]}]})");
    data.LoadDeviceData(active);
    data.LoadScratchData(other);
    std::vector<KeyAssignmentPair> keys = data.GetScratchKeyList();
    ASSERT_EQ(keys.size(), 1u);
    keys[0].current = {0, 0, 0, 9};
    data.SetScratchKeyList(keys);
    ASSERT_TRUE(data.SaveScratchTo(other));
    EXPECT_EQ(file(other)["Device"][0]["KeyList"][0]["Assignment"], 9);
    EXPECT_EQ(file(other)["profilename"], "O");
    EXPECT_EQ(data.GetKeyList()[0].current.p2, 1);
}

TEST_F(ProfileData, LedEffectOfAModelIsTheEntryWhoseNameTheListShows)
{
    // One effect list per device model; each model names its own effect at mode 1.
    const QString config = userPath("pelix_light.config");
    writeText(config, R"({"LightInfo": [
        [{"LightName": "kb0", "Guid": "kb0"}, {"LightName": "kb1", "Guid": "kb1"}],
        [{"LightName": "ms0", "Guid": "ms0"}, {"LightName": "ms1", "Guid": "ms1"}],
        [{"LightName": "pad0", "Guid": "pad0"}, {"LightName": "pad1", "Guid": "pad1"}]]})");
    const QStringList guids{"kb0", "kb1", "ms0", "ms1", "pad0", "pad1"};
    for (int i = 0; i < guids.size(); ++i)
        writeText(userPath(guids[i] + ".light"),
                  QString(R"({"LEDEffectList": [{"Time": %1}]})").arg(i).toStdString());

    const QString path = userPath("E.Json");
    writeText(path, R"({"Device": [{"LightInfo": {"SelectItem": 1}}]})");
    data.LoadDeviceData(path);
    data.GetLightInfo();
    data.LoadLightConfig(config);
    for (int model : {0, 1, 2}) {
        SCOPED_TRACE(model);
        DeviceNameLists names;
        names.LoadCustomLightNames(model, config);
        const std::vector<LedEffectStep> steps = data.GetLedEffects(model);
        ASSERT_EQ(steps.size(), 1u);
        // The effect played is the file of the entry whose name is shown at that mode.
        EXPECT_EQ(guids[steps[0].time], names.customNames()[1]);
    }
    EXPECT_TRUE(data.GetLedEffects(3).empty());
    EXPECT_TRUE(data.GetLedEffects(-1).empty());
}

TEST_F(ProfileData, LedEffectsComeFromTheUserFolderAndNamesLeavingItAreRefused)
{
    const QString config = userPath("pelix_light.config");
    writeText(config, R"({"LightInfo": [[{"LightName": "a", "Guid": "fx1"},
                                          {"LightName": "b", "Guid": "../x"},
                                          {"LightName": "c", "Guid": "/tmp/x"},
                                          {"LightName": "d", "Guid": "sub\\x"},
                                          {"LightName": "e", "Guid": ""}]]})");
    const std::string effect = R"({"LEDEffectList": [
        {"LEDREGMode": 3, "LEDDirection": 1, "LEDBrightness": 4, "LEDSpeed": 260,
         "LEDMultiColor": 1, "red": 1, "green": 2, "blue": 3, "Time": 100000, "Cyle": -2},
        {}]})";
    writeText(userPath("fx1.light"), effect);
    // Decoys one folder up, where "../x" and a folder-relative lookup would land.
    writeText(dir.filePath("x.light"), effect);
    QDir(dir.path()).mkpath("user/sub");
    writeText(userPath("sub/x.light"), effect);

    const QString path = userPath("E.Json");
    writeText(path, R"({"Device": [{"LightInfo": {"SelectItem": 0}}]})");
    data.LoadDeviceData(path);
    data.SetLightConfigPath(config);
    data.LoadLightConfig(data.GetLightConfigPath());

    LightInfo info = data.GetLightInfo();
    std::vector<LedEffectStep> steps = data.GetLedEffects(0);
    ASSERT_EQ(steps.size(), 2u);
    EXPECT_EQ(steps[0].mode, 3);
    EXPECT_EQ(steps[0].speed, 4);
    EXPECT_EQ(steps[0].time, 100000);
    EXPECT_EQ(steps[0].cycle, -2);
    EXPECT_EQ(steps[1], LedEffectStep{});

    for (uint8_t mode : {1, 2, 3, 4, 5}) {
        SCOPED_TRACE(int(mode));
        info.mode = mode;
        data.SetLightInfo(info);
        EXPECT_TRUE(data.GetLedEffects(0).empty());
    }

    // No light configuration: no effect.
    data.LoadLightConfig(userPath("missing.config"));
    info.mode = 0;
    data.SetLightInfo(info);
    EXPECT_TRUE(data.GetLedEffects(0).empty());
}
