#include "profiles/DeviceNameLists.h"

#include "TestFiles.h"

#include <gtest/gtest.h>

using testfiles::writeText;

namespace {

class NameLists : public ::testing::Test {
protected:
    void SetUp() override
    {
        writeText(defaults(), R"({
            "DefaultLightName": [
                [{"LightName": "kb_a", "visible": 1, "value": 1},
                 {"LightName": "kb_b", "visible": 2, "value": 7},
                 {"LightName": "kb_c", "visible": false, "value": 300}],
                [{"LightName": "ms_a", "visible": true, "value": 0}]],
            "AreaLightName": [[{"LightName": "area_all"}, {"LightName": "区域"}]]})");
        writeText(config(), R"({"LightInfo": [[{"LightName": "mine", "Guid": "g1"}]]})");
        writeText(macros(), R"({"MacroInfo": [{"MacroName": "M1", "Guid": "2024_01"},
                                              {"MacroName": "M2"}]})");
    }
    QString defaults() const { return dir.filePath("default_light.json"); }
    QString config() const { return dir.filePath("pelix_light.config"); }
    QString macros() const { return dir.filePath("macro.config"); }

    QTemporaryDir dir;
    DeviceNameLists lists;
};

}  // namespace

TEST_F(NameLists, LoadsTheModelsListsWithVisibilityAsZeroOrOne)
{
    lists.Load(DeviceNameLists::Keyboard, defaults(), config(), macros());
    EXPECT_EQ(lists.modeNames(), (QStringList{"kb_a", "kb_b", "kb_c"}));
    EXPECT_EQ(lists.modeVisible(), (std::vector<int>{1, 1, 0}));
    EXPECT_EQ(lists.modeValues(), (std::vector<int>{1, 7, 300}));
    EXPECT_EQ(lists.areaNames(), (QStringList{"area_all", QString::fromUtf8("区域")}));
    EXPECT_EQ(lists.customNames(), QStringList{"mine"});
    EXPECT_EQ(lists.macroNames(), (QStringList{"M1", "M2"}));

    // The mouse has modes but no areas and no custom effects: those lists keep what they held.
    lists.Load(DeviceNameLists::Mouse, defaults(), config(), macros());
    EXPECT_EQ(lists.modeNames(), QStringList{"ms_a"});
    EXPECT_EQ(lists.areaNames().size(), 2);
    EXPECT_EQ(lists.customNames(), QStringList{"mine"});
}

TEST_F(NameLists, MissingSourcesKeepThePreviousLists)
{
    lists.Load(DeviceNameLists::Keyboard, defaults(), config(), macros());

    // A model beyond the arrays (and a negative one) changes nothing.
    for (int model : {int(DeviceNameLists::Headset), 40, -1}) {
        SCOPED_TRACE(model);
        lists.Load(model, defaults(), config(), macros());
        EXPECT_EQ(lists.modeNames().size(), 3);
        EXPECT_EQ(lists.areaNames().size(), 2);
        EXPECT_EQ(lists.customNames().size(), 1);
    }

    // Without "default_light.json" the mode lists stay, yet the custom names are read again.
    writeText(config(), R"({"LightInfo": [[{"LightName": "x"}, {"LightName": "y"}]]})");
    lists.Load(DeviceNameLists::Keyboard, dir.filePath("gone.json"), config(), macros());
    EXPECT_EQ(lists.modeNames().size(), 3);
    EXPECT_EQ(lists.customNames(), (QStringList{"x", "y"}));

    // Macro names follow their file: no file, no macros.
    lists.LoadMacroNames(dir.filePath("gone.config"));
    EXPECT_TRUE(lists.macroNames().isEmpty());
}
