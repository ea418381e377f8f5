// Loads every shipped file of DefaultData through the classes the devices use and checks what
// the devices rely on.

#include "profiles/CHs6533Profiledata.h"
#include "profiles/CKeyboardProfiledata.h"
#include "profiles/CMouseProfiledata.h"
#include "profiles/DataPaths.h"
#include "profiles/DeviceNameLists.h"
#include "profiles/HeadsetEqPresets.h"
#include "profiles/JsonAccess.h"
#include "keytables/DefaultKeyTables.h"

#include "TestFiles.h"

#include <QFile>
#include <QRegularExpression>

#include <gtest/gtest.h>

namespace {

class ShippedData : public ::testing::Test {
protected:
    void SetUp() override { qputenv("TESSEL_DATA_DIR", TESSEL_TEST_DATA_DIR); }

    // Loads a shipped profile from a copy, so that a broken file is never repaired in place.
    void load(CBasicProfiledata& profile, const QString& deviceFolder)
    {
        const QString shipped = paths::defaultProfileFile(deviceFolder);
        ASSERT_TRUE(QFile::exists(shipped)) << qPrintable(shipped);
        const QString copy = tmp.filePath(deviceFolder + ".Json");
        ASSERT_TRUE(QFile::copy(shipped, copy));
        profile.SetDefaultPath(shipped);
        profile.SetProfilePath(copy);
        ASSERT_TRUE(profile.LoadDeviceData(copy).isObject()) << "no device entry";
        EXPECT_EQ(CJsonFile::ReadFileText(copy), CJsonFile::ReadFileText(shipped))
            << "loading had to repair the shipped file";
    }

    // The built-in modes of a model, checked for the shape every device relies on.
    DeviceNameLists modes(int model)
    {
        DeviceNameLists lists;
        lists.LoadDefaultLightNames(model, paths::defaultLightFile());
        const size_t n = size_t(lists.modeNames().size());
        EXPECT_EQ(lists.modeVisible().size(), n);
        EXPECT_EQ(lists.modeValues().size(), n);
        for (size_t i = 0; i < n; ++i) {
            EXPECT_FALSE(lists.modeNames()[qsizetype(i)].isEmpty());
            EXPECT_EQ(lists.modeValues()[i], int(i)) << "device value of mode " << i;
        }
        EXPECT_FALSE(lists.areaNames().isEmpty());
        return lists;
    }

    // The default lighting is a visible mode with a light-list entry per mode.
    void checkLighting(CBasicProfiledata& profile, const DeviceNameLists& lists)
    {
        const LightInfo info = profile.GetLightInfo();
        ASSERT_LT(info.mode, lists.modeVisible().size());
        EXPECT_EQ(lists.modeVisible()[info.mode], 1);
        EXPECT_LE(info.brightness, 4);
        EXPECT_LE(info.speed, 4);
        const std::vector<LightInfo> list = profile.GetLightList();
        ASSERT_EQ(list.size(), lists.modeValues().size());
        for (const LightInfo& e : list)
            EXPECT_EQ(e.present, 1);
    }

    QTemporaryDir tmp;
};

template <size_t N>
void expectKeyList(const std::vector<KeyAssignmentPair>& keys,
                   const std::array<keytables::KeyTriple, N>& table)
{
    ASSERT_EQ(keys.size(), N);
    for (size_t i = 0; i < N; ++i) {
        SCOPED_TRACE(i);
        const keytables::KeyTriple want = table[i];
        const KeyAssignment expected{uint16_t(i), want.type, want.p1, want.p2};
        EXPECT_EQ(keys[i].defaults, expected);
        EXPECT_EQ(keys[i].current, expected);
    }
}

}  // namespace

TEST_F(ShippedData, KeyboardProfileMatchesTheFactoryKeyTable)
{
    CKeyboardProfiledata kb;
    load(kb, "keyboard");
    expectKeyList(kb.GetKeyList(), keytables::keyboardDefaultKeyTable());
    const DeviceNameLists lists = modes(DeviceNameLists::Keyboard);
    EXPECT_EQ(lists.modeNames().size(), 31);
    checkLighting(kb, lists);
    EXPECT_EQ(kb.GetSystemStages().repeatDelay, 1);
    EXPECT_TRUE(kb.ActiveSlot().isMember("AudioLightInfo"));
    EXPECT_TRUE(kb.ActiveSlot()["CustomLightMode"].isObject());
    EXPECT_EQ(kb.GetCustomLightColors(0, 170).size(), 170u);
}

TEST_F(ShippedData, MouseProfileMatchesTheFactoryButtonsAndHasFiveDpiStages)
{
    CMouseProfiledata mouse;
    load(mouse, "mouse");
    expectKeyList(mouse.GetKeyList(), keytables::mouseDefaultButtons());
    const DeviceNameLists lists = modes(DeviceNameLists::Mouse);
    EXPECT_GE(lists.modeNames().size(), 10);
    checkLighting(mouse, lists);

    const std::vector<DpiStage> stages = mouse.GetDpiStages();
    ASSERT_EQ(stages.size(), 5u);
    for (const DpiStage& s : stages) {
        EXPECT_EQ(s.active, 1);
        EXPECT_LE(s.dpiX, 100) << "beyond the sensor's highest step index";
    }
    EXPECT_LT(mouse.GetActiveStage(), 5);
    EXPECT_LE(mouse.GetSystemStages().reportStage, 3);
    const std::vector<CorrectPreset> presets = mouse.GetCorrectInfo();
    EXPECT_FALSE(presets.empty());
    for (const CorrectPreset& p : presets)
        EXPECT_FALSE(p.name.isEmpty());
}

TEST_F(ShippedData, MousePadAndHeadsetProfiles)
{
    CBasicProfiledata pad;
    load(pad, "MousePad");
    checkLighting(pad, modes(DeviceNameLists::MousePad));

    CHs6533Profiledata hs;
    load(hs, "HD");
    const DeviceNameLists lists = modes(DeviceNameLists::Headset);
    EXPECT_EQ(lists.modeNames().size(), 9);
    checkLighting(hs, lists);
    // The twelve built-in curves written out here, apart from the table the file and the
    // panel take them from, so a slip in that table shows.
    const int curves[12][10] = {
        {7, 11, 2, -3, -1, 4, 9, 12, 9, 5},
        {7, 11, 6, -3, -11, -1, 6, 13, 6, 13},
        {10, 4, 0, -3, -4, -3, -2, -1, 0, 0},
        {2, 1, -2, -3, -5, -7, 0, 4, 9, 8},
        {0, 0, 0, 0, 0, 0, 0, 0, 0, 0},
        {7, 14, -13, -6, -1, 8, 13, 7, 2, 6},
        {14, 10, 4, 0, -4, -3, -1, 1, 2, 3},
        {2, 1, -2, -3, -5, -1, 7, 11, 15, 13},
        {8, 2, -4, -8, 1, 3, 8, 11, 14, 16},
        {-3, 4, 10, 0, -11, 3, 9, 13, 6, 0},
        {18, 14, 8, 2, -3, -6, -1, 2, 5, 6},
        {2, 1, -2, -4, -8, 4, 12, 16, 18, 15},
    };
    for (int n = 1; n <= 12; ++n) {
        const std::vector<int> expected(curves[n - 1], curves[n - 1] + 10);
        const eq::Curve& table = eq::builtinCurve(n);
        EXPECT_EQ(std::vector<int>(table.begin(), table.end()), expected) << "table, preset " << n;
        EXPECT_EQ(hs.GetEqValues(n), expected) << "shipped file, preset " << n;
    }
    const HeadsetSystemSetStages s = hs.GetSystemSetStages();
    EXPECT_GE(s.eqType, 1);
    EXPECT_LE(s.eqType, 12);
    EXPECT_GE(s.magicType, 1);
    EXPECT_LE(s.magicType, 4);
    EXPECT_TRUE(hs.GetCustomEqNames().isEmpty());
}

TEST_F(ShippedData, ShootPatternsHoldThirtyBulletsInTheBulletLayout)
{
    for (int gun = 0; gun < 4; ++gun) {
        SCOPED_TRACE(gun);
        const Json::Value doc = CJsonFile::ReadJson(paths::defaultDataFolder() +
                                                    QStringLiteral("/ShootData_%1.Shoot").arg(gun));
        const Json::Value& events = doc["Events"];
        ASSERT_EQ(events.size(), 180u);
        for (Json::ArrayIndex b = 0; b < 30; ++b) {
            SCOPED_TRACE(b);
            auto e = [&](Json::ArrayIndex k) -> const Json::Value& { return events[6 * b + k]; };
            EXPECT_EQ(e(0), testfiles::parse(R"({"Action":"down","Button":1,"Delay":10,"Type":1})"));
            EXPECT_EQ(e(1), testfiles::parse(R"({"Action":"up","Button":1,"Delay":0,"Type":1})"));
            EXPECT_EQ(e(2)["Type"], 4);
            EXPECT_EQ(e(2)["Delay"], 5);
            EXPECT_EQ(e(3)["Type"], 5);
            EXPECT_EQ(e(4)["Type"], 4);
            EXPECT_EQ(e(5)["Type"], 5);
            EXPECT_EQ(e(4)["Action"], e(2)["Action"]);
            EXPECT_EQ(e(5)["Action"], e(3)["Action"]);
            EXPECT_EQ(e(4)["Button"], 0);
            EXPECT_EQ(e(5)["Button"], 0);
            for (int k = 2; k < 4; ++k) {
                const std::string action = e(k)["Action"].asString();
                EXPECT_TRUE(action == "down" || action == "up");
                EXPECT_TRUE(e(k)["Button"].isInt());
                EXPECT_LE(e(k)["Button"].asInt(), 255);
                EXPECT_GE(e(k)["Button"].asInt(), 0);
            }
            const int delay = e(3)["Delay"].asInt();
            EXPECT_GT(delay, 0);
            EXPECT_LE(delay, 65535);
        }
    }
}

TEST_F(ShippedData, PaletteAndAudioStyles)
{
    const Json::Value palette =
        CJsonFile::ReadJson(paths::defaultDataFolder() + "/color_option_info.config");
    const Json::Value& info = palette["coloroptioninfo"];
    const QRegularExpression argb("^[0-9A-F]{8}$");
    for (const char* key : {"palletDialogcoloroption", "palletDialogcollectcoloroption"}) {
        SCOPED_TRACE(key);
        ASSERT_EQ(info[key].size(), 20u);
        for (const Json::Value& c : info[key])
            EXPECT_TRUE(argb.match(QString::fromStdString(c["color"].asString())).hasMatch());
    }
    EXPECT_LT(info["palletDialogcoloroption_selectitem"].asInt(), 20);

    const Json::Value audio = CJsonFile::ReadJson(paths::defaultDataFolder() + "/AudioFile.json");
    const Json::Value& styles = audio["Device"]["AudioLightInfo"];
    ASSERT_TRUE(styles.isObject());
    EXPECT_LE(styles["nAudioStyle"].asUInt(), 3u);
    for (int s = 0; s < 4; ++s) {
        EXPECT_FALSE(styles["nStyleName" + std::to_string(s + 1)].asString().empty());
        for (const char* c : {"nStyleR", "nStyleG", "nStyleB"}) {
            const Json::Value& v = styles[c + std::to_string(s)];
            EXPECT_TRUE(v.isInt());
            EXPECT_LE(v.asUInt(), 9u);
        }
    }
}
