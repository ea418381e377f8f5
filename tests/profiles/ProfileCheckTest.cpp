#include "profiles/ProfileCheck.h"

#include <gtest/gtest.h>
#include <json/reader.h>

// The ranges a profile's device entry is held to, before anything of it reaches a device.
namespace {

Json::Value parse(const std::string& text)
{
    Json::Value v;
    EXPECT_TRUE(Json::Reader().parse(text, v, false)) << text;
    return v;
}

TEST(ProfileCheck, ValuesOutOfRangeOrOfTheWrongTypeAreCorrectedAndNamed)
{
    constexpr int kMouse = 2, kKeyboard = 1, kHeadset = 7;
    const Json::Value fallback = parse(R"({"LightInfo":{"Red":200,"Light":4},"ReportStages":{"StageActive":2}})");
    struct Case {
        const char* what;
        profilecheck::Limits limits;
        const char* entry;
        const char* field;     // the finding, empty when there is none
        const char* after;     // the entry afterwards
        bool wrongType;
    } cases[] = {
        {"polling choice", {kMouse, 10, 100}, R"({"ReportStages":{"StageActive":77}})", "ReportStages.StageActive",
         R"({"ReportStages":{"StageActive":3}})", false},
        {"DPI step beyond the sensor", {kMouse, 10, 100}, R"({"DPIStages":{"StageDPIs":[{"StageDPIX":65535,"StageDPIY":100}]}})",
         "DPIStages.StageDPIs[0].StageDPIX", R"({"DPIStages":{"StageDPIs":[{"StageDPIX":100,"StageDPIY":100}]}})", false},
        {"DPI step, sensor not read yet", {kMouse, 10, 0}, R"({"DPIStages":{"StageDPIs":[{"StageDPIX":65535}]}})", "",
         R"({"DPIStages":{"StageDPIs":[{"StageDPIX":65535}]}})", false},
        {"negative step", {kMouse, 10, 100}, R"({"DPIStages":{"StageActive":-1}})", "DPIStages.StageActive",
         R"({"DPIStages":{"StageActive":0}})", false},
        {"mode beyond the model's", {kMouse, 10, 0}, R"({"LightInfo":{"SelectItem":12}})", "LightInfo.SelectItem",
         R"({"LightInfo":{"SelectItem":9}})", false},
        {"beyond 64 bits", {kMouse, 10, 0}, R"({"LightInfo":{"Light":18446744073709551615}})", "LightInfo.Light",
         R"({"LightInfo":{"Light":4}})", false},
        {"keyboard polling", {kKeyboard, 0, 0}, R"({"SystemStages":{"PollingRate":9,"WinFlag":1}})",
         "SystemStages.PollingRate", R"({"SystemStages":{"PollingRate":3,"WinFlag":1}})", false},
        {"a mouse's own stages are not a keyboard's", {kMouse, 0, 0}, R"({"SystemStages":{"PollingRate":9}})", "",
         R"({"SystemStages":{"PollingRate":9}})", false},
        {"microphone level", {kHeadset, 0, 0}, R"({"SystemSetStages":{"MicInValue":150}})",
         "SystemSetStages.MicInValue", R"({"SystemSetStages":{"MicInValue":100}})", false},
        {"a number as text takes the default's", {kMouse, 0, 0}, R"({"LightInfo":{"Red":"255"}})", "LightInfo.Red",
         R"({"LightInfo":{"Red":200}})", true},
        {"a fraction", {kMouse, 0, 0}, R"({"ReportStages":{"StageActive":1.5}})", "ReportStages.StageActive",
         R"({"ReportStages":{"StageActive":2}})", true},
        {"a record of the wrong kind", {kMouse, 0, 0}, R"({"LightInfo":[1,2]})", "LightInfo",
         R"({"LightInfo":{"Red":200,"Light":4}})", true},
        {"a stage that is no record", {kMouse, 0, 100}, R"({"DPIStages":{"StageDPIs":[7]}})", "DPIStages.StageDPIs[0]",
         R"({"DPIStages":{"StageDPIs":[{}]}})", true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Json::Value entry = parse(c.entry);
        const std::vector<profilecheck::Finding> found = profilecheck::CheckDeviceEntry(entry, c.limits, fallback);
        EXPECT_EQ(entry, parse(c.after)) << entry.toStyledString();
        if (std::string(c.field).empty()) {
            EXPECT_TRUE(found.empty()) << profilecheck::Describe(found).toStdString();
            continue;
        }
        ASSERT_EQ(found.size(), 1u) << profilecheck::Describe(found).toStdString();
        EXPECT_EQ(found[0].field.toStdString(), c.field);
        EXPECT_EQ(found[0].wrongType, c.wrongType);
        EXPECT_EQ(profilecheck::AnyWrongType(found), c.wrongType);
    }
}

TEST(ProfileCheck, DescriptionNamesFieldValueAndRangeAndStaysShort)
{
    Json::Value entry = parse(R"({"ReportStages":{"StageActive":77},"LightInfo":{"Light":9,"Speed":-2,"Red":"x"}})");
    const auto found = profilecheck::CheckDeviceEntry(entry, {2, 10, 100});
    EXPECT_EQ(profilecheck::Describe(found, 2).toStdString(), "LightInfo.Light: 9 (0 – 4)\nLightInfo.Speed: -2 (0 – 4)\n…");
    EXPECT_EQ(profilecheck::Describe(found, 8, true).toStdString(), "LightInfo.Red: \"x\" (0 – 255)");
}

}  // namespace
