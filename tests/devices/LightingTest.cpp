#include "devices/CVantikMouseDevice.h"
#include "devices/LightingTables.h"
#include "tests/devices/EffectProbe.h"

#include <QTest>
#include <gtest/gtest.h>

#include <array>

// The tables are checked against values written out by hand, not against the code that builds
// them.
TEST(LightingTables, WheelCurveAndSteps)
{
    const auto& wheel = lighting::ColourWheel();
    struct Row { int index; lighting::Rgb rgb; };
    const Row rows[] = {
        {0, {255, 1, 0}},     {31, {255, 255, 0}},  {32, {248, 255, 0}},  {63, {0, 255, 0}},
        {64, {0, 255, 1}},    {95, {0, 255, 255}},  {96, {0, 248, 255}},  {127, {0, 0, 255}},
        {128, {1, 0, 255}},   {159, {255, 0, 255}}, {160, {255, 0, 248}}, {191, {255, 0, 0}},
        {45, {94, 255, 0}},
    };
    for (const Row& r : rows)
        EXPECT_EQ(wheel[size_t(r.index)], r.rgb) << r.index;

    const auto& curve = lighting::BreathingCurve();
    const std::array<std::pair<int, int>, 6> points = {{{0, 0}, {10, 10}, {11, 12}, {63, 255}, {64, 255}, {127, 0}}};
    for (auto [i, v] : points)
        EXPECT_EQ(curve[size_t(i)], v) << i;

    // Up wraps to 0 at the limit; down below 0 restarts from limit - delta.
    EXPECT_EQ(lighting::Step(1, 128, 127, 1), 0);
    EXPECT_EQ(lighting::Step(1, 192, 100, 16), 116);
    EXPECT_EQ(lighting::Step(0, 128, 0, 1), 127);
    EXPECT_EQ(lighting::Step(0, 192, 5, 16), 176);
    EXPECT_EQ(lighting::FlashPeriodMs(4), 1400u);
    EXPECT_EQ(lighting::FlashPeriodMs(0), 5600u);
}

namespace {

using MouseProbe = EffectProbe<CVantikMouseDevice>;

}  // namespace

TEST(BaseEffects, BreathingRunsTheCurveAndAdvancesTheWheelAtEachReturn)
{
    MouseProbe d;
    d.SetLightCount(15);
    LightState s;
    s.mode = 2;
    s.brightness = 4;
    s.direction = 1;
    s.multicolour = 1;
    d.SetLightBlock(s);
    std::vector<int> indexes;
    for (int step = 0; step < 128 * 12; ++step) {
        d.Render(2);
        if (d.Phase() == 0)
            indexes.push_back(d.ColourIndex());
    }
    const std::vector<int> expected = {16, 32, 48, 64, 80, 96, 112, 128, 144, 160, 176, 0};
    EXPECT_EQ(indexes, expected);
}

TEST(BaseEffects, StaticAndOffAndTheColourListBounds)
{
    MouseProbe d;
    d.SetLightCount(15);
    LightState s;
    s.brightness = 2;
    s.red = 10;
    s.green = 20;
    s.blue = 30;
    d.SetLightBlock(s);
    d.Render(3);
    EXPECT_EQ(d.GetLedColour(0), 10u | 20u << 8 | 30u << 16 | 135u << 24);
    EXPECT_EQ(d.GetLedColour(14), d.GetLedColour(0));
    EXPECT_EQ(d.GetLedColour(-1), 0u);
    EXPECT_EQ(d.GetLedColour(15), 0u);
    d.SetLedColour(15, 0xFFFFFFFF);  // ignored
    d.Render(9);
    EXPECT_EQ(d.GetLedColour(0), 0u);
}

TEST(BaseEffects, DecayRingMarksAndRotation)
{
    MouseProbe d;
    struct Row { int kind; uint8_t from, to; };
    const Row rows[] = {
        {0, 200, 160}, {0, 100, 70}, {0, 40, 25}, {0, 20, 12}, {0, 16, 15}, {0, 0, 0},
        {5, 40, 30}, {5, 17, 9},
        {11, 0x90, uint8_t(0x90 + 211)}, {11, 0x80, 0x58}, {11, 0x10, uint8_t(0x10 + 221)}, {11, 5, 4},
    };
    for (const Row& r : rows) {
        d.Level(3) = r.from;
        d.DecayLedLevel(3, r.kind);
        EXPECT_EQ(d.Level(3), r.to) << "kind " << r.kind << " from " << int(r.from);
    }

    d.ResetEffectState();
    d.Ring()[0] = 1;
    d.Ring()[22] = 2;
    d.RotateRing(1);
    EXPECT_EQ(d.Ring()[0], 2);
    EXPECT_EQ(d.Ring()[1], 1);
    d.RotateRing(0);
    d.RotateRing(0);
    EXPECT_EQ(d.Ring()[21], 2);
    EXPECT_EQ(d.Ring()[22], 1);

    d.ResetEffectState();
    d.Ring()[4] = 1;
    d.Ring()[12] = 1;  // beyond the nine LEDs the base marks
    d.MarkRingLeds();
    EXPECT_EQ(d.Level(4), 255);
    EXPECT_EQ(d.Level(12), 0);
}
