#include <gtest/gtest.h>

#include <json/reader.h>
#include <optional>

#include "protocol/LightingFrame.h"
#include "protocol/MacroImage.h"

using namespace protocol;

namespace {

Json::Value parse(const char* text)
{
    Json::Value v;
    Json::Reader().parse(text, v);
    return v;
}

}  // namespace

TEST(MacroEvent, ConvertsDelayTypeActionAndButton)
{
    struct Case {
        const char* json;
        std::optional<MacroEvent> expected;
    };
    const Case cases[] = {
        {R"({"Action":"down","Button":4,"Type":10,"Delay":"120"})", MacroEvent{120, 0x8A, 4}},
        {R"({"Action":"up","Button":4,"Type":10,"Delay":"120"})", MacroEvent{120, 0x0A, 4}},
        {R"({"Action":"down","Button":2,"Type":1,"Delay":300})", MacroEvent{300, 0x81, 2}},  // shoot files
        {R"({"Action":"up","Button":1,"Type":9,"Delay":"15ms"})", MacroEvent{15, 0x09, 1}},   // atoi
        {R"({"Action":"Down","Button":"5","Type":"4","Delay":0})", MacroEvent{0, 0x04, 5}},  // only "down" sets bit 7
        // Delays beyond the 16-bit field are held at its top, never cut to their low bits.
        {R"({"Action":"up","Button":4,"Type":10,"Delay":"99999"})", MacroEvent{65535, 0x0A, 4}},
        {R"({"Action":"up","Button":4,"Type":10,"Delay":4294967296})", MacroEvent{65535, 0x0A, 4}},
        // Rows that fail to parse are never sent (no longer zeros or low bits).
        {R"({"Action":"up","Button":300,"Type":10,"Delay":"1"})", std::nullopt},
        {R"({"Action":"up","Button":4,"Type":138,"Delay":"1"})", std::nullopt},
        {R"({"Action":"up","Button":4,"Type":10,"Delay":"-5"})", std::nullopt},
        {R"({"Action":"up","Button":4,"Type":10})", std::nullopt},
        {R"({"Action":"Down","Button":"x","Type":"4","Delay":1})", std::nullopt},
        {R"(17)", std::nullopt},
        {R"({"Action":7,"Button":[1],"Type":{},"Delay":null})", std::nullopt},
    };
    for (const Case& c : cases)
        EXPECT_EQ(macroEventFromJson(parse(c.json)), c.expected) << c.json;
    EXPECT_TRUE(macroRecordFromJson(parse(R"({"a":1})")).empty());
    const MacroRecord mixed = macroRecordFromJson(parse(
        R"([{"Action":"down","Button":4,"Type":10,"Delay":"1"}, {"Type":"junk"}, 5,
            {"Action":"up","Button":4,"Type":10,"Delay":"2"}])"));
    EXPECT_EQ(mixed, (MacroRecord{{1, 0x8A, 4}, {2, 0x0A, 4}})) << "only the rows that parse";
    EXPECT_EQ(kMaxMacroEvents, 1018u);
    EXPECT_EQ(macroImageLength({MacroRecord(kMaxMacroEvents)}), kLargestMacroMemory - 2);
}

TEST(MacroImage, LaysOutHeaderOffsetsAndRecords)
{
    const std::vector<MacroRecord> records = {
        {{120, 0x8A, 4}, {4464, 0x0A, 4}},
        {},
    };
    ASSERT_EQ(macroImageLength(records), 36u);
    const std::vector<uint8_t> expected = {
        0xAA, 0x55, 36, 0, 2, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,  // magic, length, count, reserved
        20, 0, 32, 0,                                            // record offsets
        2, 0, 0, 0, 0x78, 0x00, 0x8A, 4, 0x70, 0x11, 0x0A, 4,    // two events
        0, 0, 0, 0,                                              // empty record
    };
    EXPECT_EQ(buildMacroImage(records), expected);
    EXPECT_EQ(buildMacroImage({}), (std::vector<uint8_t>{0xAA, 0x55, 16, 0, 0, 0, 0, 0, 0, 0, 0,
                                                          0, 0, 0, 0, 0}));
}

TEST(MacroImage, RefusesAnImageBeyondTheLengthField)
{
    const std::vector<MacroRecord> records = {MacroRecord(16381), MacroRecord(1)};
    EXPECT_EQ(macroImageLength(records), 16u + 12u + 4u * 16382u);
    EXPECT_EQ(buildMacroImage(records), std::nullopt);
}

TEST(MacroImage, ExcessCountIsQuartersOverCapacityPlusOne)
{
    struct Case {
        uint32_t total, capacity;
        int expected;
    };
    const Case cases[] = {{138, 128, 3}, {128, 128, 0}, {129, 128, 1}, {132, 128, 2}, {40, 0, 11}};
    for (const Case& c : cases)
        EXPECT_EQ(macroExcessCount(c.total, c.capacity), c.expected) << c.total << " in " << c.capacity;
}

TEST(LightingFrame, ScalesByBrightnessAndNeverFillsIndex170)
{
    std::vector<uint8_t> colours = {255, 128, 1, 255, 9, 9, 9, 0, 200, 100, 50, 128};
    LightingFrame frame;
    frame.fill(0xEE);
    EXPECT_EQ(buildLightingFrame(colours.data(), 3, frame), 9u);
    const uint8_t expected[] = {254, 127, 0, 0, 0, 0, 100, 50, 25, 0xEE};
    for (size_t i = 0; i < sizeof expected; ++i)
        EXPECT_EQ(frame[i], expected[i]) << "byte " << i;

    std::vector<uint8_t> full(4 * 172, 255);
    frame.fill(0xEE);
    EXPECT_EQ(buildLightingFrame(full.data(), 172, frame), 510u);
    EXPECT_EQ(frame[509], 254);
    EXPECT_EQ(frame[510], 0xEE);
    EXPECT_EQ(frame[511], 0xEE);
}
