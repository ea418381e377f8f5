#include "profiles/CHs6533Profiledata.h"
#include "profiles/CKeyboardProfiledata.h"
#include "profiles/CMouseProfiledata.h"

#include "TestFiles.h"

#include <gtest/gtest.h>

#include <type_traits>

using testfiles::parse;
using testfiles::writeText;

namespace {

// Loads a profile object from a literal device entry.
template <class Profile>
void loadEntry(Profile& p, const QTemporaryDir& dir, const std::string& entry)
{
    const QString path = dir.filePath("p.Json");
    writeText(path, "{\"Device\": [" + entry + "]}");
    p.SetProfilePath(path);
    p.LoadDeviceData(path);
}

}  // namespace

TEST(KeyboardProfile, SystemStagesAreCutTo16BitsAndWrittenMemberByMember)
{
    QTemporaryDir dir;
    CKeyboardProfiledata kb;
    loadEntry(kb, dir, R"({"SystemStages": {"Repeat": 5, "RepeatDelay": 70000,
                           "PollingRate": "3", "Other": 1}})");
    const KeyboardSystemStages s = kb.GetSystemStages();
    EXPECT_EQ(s.repeat, 5);
    EXPECT_EQ(s.repeatDelay, 4464);
    EXPECT_EQ(s.pollingRate, 0);
    EXPECT_EQ(s.winFlag, 0);

    kb.SetSystemStages({1, 2, 3, 4, 5, 6});
    EXPECT_EQ(kb.ActiveSlot()["SystemStages"]["Other"], 1);
    EXPECT_EQ(kb.GetSystemStages(), (KeyboardSystemStages{1, 2, 3, 4, 5, 6}));

    CKeyboardProfiledata empty;
    EXPECT_EQ(empty.GetSystemStages(), KeyboardSystemStages{});
}

TEST(KeyboardProfile, CustomColoursAreCreatedOnReadAndKeepStoredOnes)
{
    QTemporaryDir dir;
    CKeyboardProfiledata kb;
    loadEntry(kb, dir, R"({"CustomLightMode": {}})");
    const std::vector<LightColor> zeros = kb.GetCustomLightColors(2, 8);
    EXPECT_EQ(zeros, std::vector<LightColor>(8));
    const Json::Value& groups = kb.ActiveSlot()["CustomLightMode"]["LightColorInfo"];
    ASSERT_EQ(groups.size(), 3u);
    EXPECT_TRUE(groups[0].isNull());
    ASSERT_EQ(groups[2].size(), 8u);
    EXPECT_EQ(groups[2][7], parse(R"({"Red": 0, "Green": 0, "Blue": 0, "Alpha": 0})"));

    // Stored colours are read; a null position among them is created as zeros.
    loadEntry(kb, dir, R"({"CustomLightMode": {"LightColorInfo": [[
        {"Red": 1, "Green": 2, "Blue": 3, "Alpha": 511}, null]]}})");
    const std::vector<LightColor> read = kb.GetCustomLightColors(0, 3);
    EXPECT_EQ(read, (std::vector<LightColor>{{1, 2, 3, 255}, {}, {}}));
    EXPECT_EQ(kb.ActiveSlot()["CustomLightMode"]["LightColorInfo"][0].size(), 3u);

    kb.SetCustomLightColors({{9, 8, 7, 6}}, 0);
    kb.SetCustomLightGroup(1);
    EXPECT_EQ(kb.GetCustomLightColors(0, 1), (std::vector<LightColor>{{9, 8, 7, 6}}));
    EXPECT_EQ(kb.ActiveSlot()["CustomLightMode"]["CustomLightModeGroupIndex"], 1);

    // Wild arguments neither crash nor grow the entry.
    EXPECT_EQ(kb.GetCustomLightColors(-1, 2).size(), 2u);
    EXPECT_TRUE(kb.GetCustomLightColors(0, -5).empty());
    EXPECT_EQ(kb.ActiveSlot()["CustomLightMode"]["LightColorInfo"].size(), 1u);
}

TEST(KeyboardProfile, CustomColourSettersKeepWhatElseAPositionHolds)
{
    QTemporaryDir dir;
    CKeyboardProfiledata kb;
    loadEntry(kb, dir, R"({"CustomLightMode": {"LightColorInfo": [[
        {"Red": 1, "Green": 2, "Blue": 3, "Alpha": 4, "KeyName": "Esc", "Layer": {"n": 1}},
        7]]}})");
    kb.SetCustomLightColors({{9, 8, 7, 6}, {5, 4, 3, 2}}, 0);
    const Json::Value& positions = kb.ActiveSlot()["CustomLightMode"]["LightColorInfo"][0];
    EXPECT_EQ(positions[0], parse(R"({"Red": 9, "Green": 8, "Blue": 7, "Alpha": 6,
                                      "KeyName": "Esc", "Layer": {"n": 1}})"));
    // A position that is no object becomes one.
    EXPECT_EQ(positions[1], parse(R"({"Red": 5, "Green": 4, "Blue": 3, "Alpha": 2})"));
}

TEST(MouseProfile, DpiStagesMergeIntoTheCache)
{
    QTemporaryDir dir;
    CMouseProfiledata mouse;
    std::string five = R"({"DPIStages": {"StageActive": 2, "StageDPIs": [)";
    for (int i = 0; i < 5; ++i)
        five += (i ? "," : "") + std::string(R"({"StageActive": 1, "StageDPIX": )") +
                std::to_string(100 + i) + "}";
    loadEntry(mouse, dir, five + "]}}");
    ASSERT_EQ(mouse.GetDpiStages().size(), 5u);
    EXPECT_EQ(mouse.GetActiveStage(), 2);

    loadEntry(mouse, dir, R"({"DPIStages": {"StageActive": 0, "StageDPIs": [
        {"StageDPIX": 70000, "StageDPIY": 7, "StageColorR": 300}, {"StageDPIX": 1}, {}]}})");
    const std::vector<DpiStage> merged = mouse.GetDpiStages();
    ASSERT_EQ(merged.size(), 5u);
    EXPECT_EQ(merged[0], (DpiStage{0, 0, 4464, 7, 44, 0, 0}));
    EXPECT_EQ(merged[1].dpiX, 1);
    EXPECT_EQ(merged[2], DpiStage{});
    EXPECT_EQ(merged[3].dpiX, 103);
    EXPECT_EQ(merged[4].dpiX, 104);
    EXPECT_EQ(mouse.GetActiveStage(), 0);

    // Without "DPIStages" the cache (and the active stage) stay as they were.
    mouse.SetActiveStage(4);
    loadEntry(mouse, dir, "{}");
    EXPECT_EQ(mouse.GetDpiStages().size(), 5u);
    EXPECT_EQ(mouse.GetActiveStage(), 4);

    mouse.SetDpiStages({{1, 0, 10, 11, 255, 0, 0}});
    mouse.SetActiveStage(0);
    EXPECT_EQ(mouse.ActiveSlot()["DPIStages"], parse(R"({"StageActive": 0, "StageDPIs": [
        {"StageActive": 1, "StageXY": 0, "StageDPIX": 10, "StageDPIY": 11,
         "StageColorR": 255, "StageColorG": 0, "StageColorB": 0}]})"));
}

TEST(MouseProfile, SystemStagesAndCorrectionPresets)
{
    QTemporaryDir dir;
    CMouseProfiledata mouse;
    loadEntry(mouse, dir, R"({"SystemStages": {"DoubleClickTime": 500, "WheelScorlllinse": 3},
        "CorrectInfo": [{"CorrectName": "Präzise", "CorrectPixThresh": 8, "CorrectMinSq": 4,
                         "CorrectSelect": 1}, 5]})");
    EXPECT_EQ(mouse.GetSystemStages(), (MouseSystemStages{500, 0, 0, 0, 3, 0}));
    const std::vector<CorrectPreset> presets = mouse.GetCorrectInfo();
    ASSERT_EQ(presets.size(), 2u);
    EXPECT_EQ(presets[0], (CorrectPreset{8, 4, 1, QString::fromUtf8("Präzise")}));
    EXPECT_EQ(presets[1], CorrectPreset{});

    mouse.SetSystemStages({1, 2, 3, 4, 5, 3});
    EXPECT_EQ(mouse.ActiveSlot()["ReportStages"]["StageActive"], 3);
    EXPECT_EQ(mouse.GetSystemStages(), (MouseSystemStages{1, 2, 3, 4, 5, 3}));
}

TEST(HeadsetProfile, EqPresetNumbersMapToTheirCurves)
{
    QTemporaryDir dir;
    CHs6533Profiledata hs;
    std::string curves = R"({"EQHzValueInfo": [null, [)";
    for (int b = 0; b < 10; ++b)
        curves += (b ? "," : "") + std::string(R"({"value": )") + std::to_string(b - 5) + "}";
    loadEntry(hs, dir, curves + "]]}");
    const std::vector<int> preset1{-5, -4, -3, -2, -1, 0, 1, 2, 3, 4};
    EXPECT_EQ(hs.GetEqValues(1), preset1);
    EXPECT_EQ(hs.GetEqValues(0), preset1);
    EXPECT_EQ(hs.GetEqValues(20), preset1);
    EXPECT_EQ(hs.GetEqValues(-1), preset1);  // taken as unsigned: far above 13
    const Json::Value before = hs.ActiveSlot();
    EXPECT_TRUE(hs.GetEqValues(13).empty());
    hs.SetEqValues(13, std::vector<int>(10, 9));
    EXPECT_EQ(hs.ActiveSlot(), before);

    hs.SetEqValues(12, {1, 2, 3, 4, 5, 6, 7, 8, 9, 10});
    EXPECT_EQ(hs.GetEqValues(12), (std::vector<int>{1, 2, 3, 4, 5, 6, 7, 8, 9, 10}));
}

TEST(HeadsetProfile, MissingCurvesAreCreatedAsZeros)
{
    QTemporaryDir dir;
    CHs6533Profiledata hs;
    loadEntry(hs, dir, "{}");
    EXPECT_EQ(hs.GetEqValues(4), std::vector<int>(10, 0));
    const Json::Value& curves = hs.ActiveSlot()["EQHzValueInfo"];
    ASSERT_EQ(curves.size(), 5u);
    for (Json::ArrayIndex i = 0; i < 4; ++i)
        EXPECT_TRUE(curves[i].isNull());
    ASSERT_EQ(curves[4].size(), 10u);
    for (const Json::Value& band : curves[4])
        EXPECT_EQ(band, parse(R"({"value": 0})"));

    EXPECT_EQ(hs.GetCustomEqValues(1), std::vector<int>(10, 0));
    EXPECT_EQ(hs.ActiveSlot()["CustomEQHzValueInfo"].size(), 2u);
    hs.SetCustomEqValues(1, {5, 5, 5});
    EXPECT_EQ(hs.GetCustomEqValues(1), (std::vector<int>{5, 5, 5, 0, 0, 0, 0, 0, 0, 0}));
}

TEST(HeadsetProfile, CustomNamesAndSystemSetStages)
{
    QTemporaryDir dir;
    CHs6533Profiledata hs;
    loadEntry(hs, dir, R"({"CustomEQNameInfo": [{"Name": "Bass"}], "SystemSetStages":
        {"MagicEnable": 1, "EqType": 13, "MicInValue": 80, "Unknown": 7}})");
    EXPECT_EQ(hs.GetCustomEqNames(), QStringList{"Bass"});
    hs.SetCustomEqNames({"Voix", QString::fromUtf8("低音")});
    EXPECT_EQ(hs.GetCustomEqNames(), (QStringList{"Voix", QString::fromUtf8("低音")}));
    hs.SetCustomEqNames({});
    EXPECT_TRUE(hs.ActiveSlot().isMember("CustomEQNameInfo"));
    EXPECT_TRUE(hs.ActiveSlot()["CustomEQNameInfo"].isNull());
    EXPECT_TRUE(hs.GetCustomEqNames().isEmpty());

    HeadsetSystemSetStages s = hs.GetSystemSetStages();
    EXPECT_EQ(s, (HeadsetSystemSetStages{1, 0, 13, 0, 0, 80, 0, 0}));
    s.micMonitorValue = -3;
    hs.SetSystemSetStages(s);
    EXPECT_EQ(hs.GetSystemSetStages(), s);
    EXPECT_EQ(hs.ActiveSlot()["SystemSetStages"]["Unknown"], 7);
}

// Devices hold their profile object by value and start over by assigning a fresh one.
static_assert(std::is_copy_assignable_v<CKeyboardProfiledata>);
static_assert(std::is_copy_assignable_v<CMouseProfiledata>);
static_assert(std::is_copy_assignable_v<CHs6533Profiledata>);
