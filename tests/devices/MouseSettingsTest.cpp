#include "devices/MouseSensor.h"
#include "devices/SettingsBlocks.h"

#include <gtest/gtest.h>

#include <numeric>

// DPI conversion and the settings blocks of the mouse and the pad, checked against bytes and
// values written out by hand.
namespace {

MouseSensor wideSensor()
{
    return MouseSensor{MouseSensor::kWideStepSensor, 100, 100, 200};
}

MouseSensor plainSensor()
{
    return MouseSensor{3389, 50, 200, 100};
}

}  // namespace

TEST(MouseSensor, ReadsTheInformationBlock)
{
    CommandTransport::InfoBlock info{};
    info[9] = 0x25, info[10] = 0x33;  // 13093
    info[11] = 100;
    info[12] = 100, info[13] = 0;
    info[14] = 200, info[15] = 0;
    const MouseSensor s = MouseSensor::FromInfoBlock(info);
    EXPECT_EQ(s.code, 13093);
    EXPECT_EQ(s.step, 100);
    EXPECT_EQ(s.highest, 100);
    EXPECT_EQ(s.lowest, 200);
}

TEST(MouseSensor, IndexToDpiAndBack)
{
    struct Row { const char* sensor; int index; int dpi; };
    const Row shown[] = {
        {"wide", 0, 200},  {"wide", 1, 300},   {"wide", 47, 4900}, {"wide", 48, 5000},
        {"wide", 49, 5200}, {"wide", 50, 5400}, {"wide", 100, 15400},
        {"plain", 0, 100}, {"plain", 10, 600}, {"plain", 98, 5000}, {"plain", 100, 5100}, {"plain", 200, 10100},
    };
    for (const Row& r : shown) {
        const MouseSensor s = r.sensor[0] == 'w' ? wideSensor() : plainSensor();
        EXPECT_EQ(s.DpiOfIndex(r.index), r.dpi) << r.sensor << " index " << r.index;
    }

    const Row typed[] = {
        {"wide", 0, 0},      {"wide", 0, 150},     {"wide", 0, 200},    {"wide", 0, 299},
        {"wide", 48, 5000},  {"wide", 48, 5199},   {"wide", 49, 5200},  {"wide", 49, 5300},
        {"wide", 50, 5400},  {"wide", 100, 15400}, {"wide", 100, 60000},
        {"plain", 0, 50},    {"plain", 10, 600},   {"plain", 10, 649},  {"plain", 100, 5100},
        {"plain", 200, 10100}, {"plain", 200, 20000},
    };
    for (const Row& r : typed) {
        const MouseSensor s = r.sensor[0] == 'w' ? wideSensor() : plainSensor();
        EXPECT_EQ(s.IndexOfDpi(r.dpi), r.index) << r.sensor << " typed " << r.dpi;
    }

    // Every value the page shows comes back as its own index.
    for (const MouseSensor& s : {wideSensor(), plainSensor()})
        for (int i = 0; i <= s.highest; ++i)
            EXPECT_EQ(s.IndexOfDpi(s.DpiOfIndex(i)), i) << s.code << " index " << i;
    EXPECT_EQ(wideSensor().HighestDpi(), 15400);
    // No information block yet: nothing to divide by, everything is index 0.
    EXPECT_EQ(MouseSensor{}.IndexOfDpi(800), 0);
}

namespace {

const std::vector<int> kMouseModes = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10};

blocks::MouseBlockSource mouseSource()
{
    blocks::MouseBlockSource src;
    src.light.mode = 3;
    src.light.brightness = 2;
    src.light.speed = 1;
    src.light.direction = 1;
    src.light.multicolour = 0;
    src.light.red = 0x11, src.light.green = 0x22, src.light.blue = 0x33;
    src.pollingRate = 2;
    src.currentStage = 4;
    for (int s = 0; s < 5; ++s)
        src.stages.push_back(DpiStage{uint8_t(s != 1), 0, uint16_t(10 * s + 4), uint16_t(10 * s + 4),
                                      uint8_t(s), uint8_t(2 * s), uint8_t(3 * s)});
    src.stages[4].dpiX = 0x0163;  // an index beyond one byte
    src.stages[4].dpiY = 0x0164;
    src.correct = {CorrectPreset{2, 1, 0, {}}, CorrectPreset{8, 4, 1, {}}, CorrectPreset{9, 9, 1, {}}};
    return src;
}

}  // namespace

TEST(MouseSettingsBlock, EveryByteFromTheProfile)
{
    const auto b = blocks::BuildMouseBlock(mouseSource(), kMouseModes, 0, 1, 2560, 1440);
    const std::array<uint8_t, 66> expected = {
        0, 3, 2, 3, 1, 0, 0x11, 0x22, 0x33, 0, 0, 2, 4, 0,
        1, 0, 4, 0, 4, 0, 0, 0, 0,
        0, 0, 14, 0, 14, 0, 1, 2, 3,
        1, 0, 24, 0, 24, 0, 2, 4, 6,
        1, 0, 34, 0, 34, 0, 3, 6, 9,
        1, 0, 0x63, 0x01, 0x64, 0x01, 4, 8, 12,
        1, 0x00, 0x0A, 0xA0, 0x05,
        4, 8,  // the first selected correction entry
    };
    EXPECT_EQ(b, expected);
}

TEST(MouseSettingsBlock, MissingStagesModesBeyondTheListAndNoCorrection)
{
    blocks::MouseBlockSource src = mouseSource();
    src.stages.resize(3);
    src.correct[1].select = 0;
    src.correct[2].select = 0;
    src.light.mode = 10;  // beyond the modes a user can pick: the first mode
    const std::vector<int> modes = {7, 1, 2, 3, 4, 5, 6, 0, 8, 9, 10};
    const auto b = blocks::BuildMouseBlock(src, modes, 0, 1, 0, 0);
    EXPECT_EQ(b[1], 7);
    for (size_t i = 41; i < 59; ++i)
        EXPECT_EQ(b[i], 0) << "stages 3 and 4 are zero, byte " << i;
    EXPECT_EQ(b[40], 6) << "stage 2 is still there";
    EXPECT_EQ(b[64], 0);
    EXPECT_EQ(b[65], 0);

    src.light.mode = 9;
    EXPECT_EQ(blocks::BuildMouseBlock(src, modes, 0, 1, 0, 0)[1], 9);
    // Without a mode list the item is the byte itself.
    EXPECT_EQ(blocks::BuildMouseBlock(src, {}, 0, 1, 0, 0)[1], 9);
}

TEST(PadSettingsBlock, LightingInThePadsOwnBytesAsReported)
{
    blocks::PadBlock reported{};
    std::iota(reported.begin(), reported.end(), uint8_t(0x40));
    LightInfo light;
    light.mode = 6;
    light.brightness = 3;
    light.speed = 4;
    light.direction = 1;  // the pad keeps its own direction byte
    light.multicolour = 1;
    light.red = 1, light.green = 2, light.blue = 3;
    const blocks::PadBlock live = blocks::ApplyPadLight(reported, light);
    const std::vector<int> modes = {0, 1, 2, 3, 4, 5, 6, 7, 8};
    const blocks::PadBlock b = blocks::BuildPadBlock(live, modes, live[1], live[3]);
    const blocks::PadBlock expected = {0x40, 6, 3, 0, 0x44, 1, 1, 2, 3,
                                       0x49, 0x4A, 0x4B, 0x4C, 0x4D, 0x4E, 0x4F, 0x50, 0x51, 0x52, 0x53, 0x54};
    EXPECT_EQ(b, expected);

    EXPECT_EQ(blocks::BuildPadBlock(live, {5, 1, 2, 3, 4, 0, 6, 7, 8}, 9, 2)[1], 5) << "item 9 counts as 0";
    EXPECT_EQ(blocks::BuildPadBlock(live, modes, 8, 0)[3], 4);
}

TEST(ModeList, ByteToItem)
{
    const std::vector<int> modes = {3, 1, 2, 3};
    EXPECT_EQ(blocks::ModeItemOf(modes, 3, 99), 0) << "the first index holding it";
    EXPECT_EQ(blocks::ModeItemOf(modes, 2, 99), 2);
    EXPECT_EQ(blocks::ModeItemOf(modes, 7, 7), 7) << "unknown byte: kept";
}
