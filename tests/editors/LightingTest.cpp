// The lighting panel's mode layouts and the mode families of the same-lighting action.
#include <gtest/gtest.h>

#include "editors/LightingActions.h"

using namespace editors;

namespace {

struct LayoutCase {
    int kind, mode;
    bool colour, brightness, speed, direction, same;
};

}  // namespace

TEST(LightingLayout, ModesEnableTheirControls)
{
    const LayoutCase cases[] = {
        {kKindKeyboard, 1, true, true, true, true, false},
        {kKindKeyboard, 4, false, true, true, false, true},
        {kKindKeyboard, 6, true, true, false, false, true},
        {kKindKeyboard, 20, false, false, false, false, true},
        {kKindKeyboard, 28, false, false, false, false, false},
        {kKindKeyboard, 31, false, false, false, false, false},
        {kKindMouse, 0, true, true, true, true, false},
        {kKindMouse, 6, true, true, true, false, true},
        {kKindMouse, 9, false, false, false, false, true},
        {kKindMouse, 10, false, false, false, false, false},
        {kKindMousePad, 2, true, true, true, false, true},
        {kKindMousePad, 6, false, false, false, false, false},
        {kKindHeadset, 8, false, false, false, false, true},
    };
    for (const LayoutCase& c : cases) {
        const ModeLayout l = LayoutFor(c.kind, c.mode);
        SCOPED_TRACE(testing::Message() << "kind " << c.kind << " mode " << c.mode);
        EXPECT_EQ(l.colourAreas, c.colour);
        EXPECT_EQ(l.brightness, c.brightness);
        EXPECT_EQ(l.speed, c.speed);
        EXPECT_EQ(l.direction, c.direction);
        EXPECT_EQ(l.same, c.same);
    }
    // The keyboard's special choosers and direction names.
    EXPECT_TRUE(LayoutFor(kKindKeyboard, 17).subMode);
    EXPECT_TRUE(LayoutFor(kKindKeyboard, 19).customGroup);
    EXPECT_FALSE(LayoutFor(kKindKeyboard, 19).colourOption);
    EXPECT_TRUE(LayoutFor(kKindKeyboard, 29).audio);
    EXPECT_EQ(LayoutFor(kKindKeyboard, 18).directionFirst, QStringLiteral("light_set_outside_to_inside_text"));
    EXPECT_EQ(LayoutFor(kKindKeyboard, 12).directionSecond, QStringLiteral("light_set_up_to_down_text"));
}

TEST(LightingLayout, FamiliesMapModesAcrossKinds)
{
    // Keyboard flashing (23) is mode 4 everywhere else.
    const int family = ModeFamily(kKindKeyboard, 23);
    EXPECT_EQ(family, 2);
    EXPECT_EQ(FamilyMode(kKindMouse, family), 4);
    EXPECT_EQ(FamilyMode(kKindMousePad, family), 4);
    EXPECT_EQ(FamilyMode(kKindHeadset, family), 4);
    EXPECT_EQ(FamilyMode(kKindKeyboard, ModeFamily(kKindMouse, 9)), 20);
    EXPECT_EQ(FamilyMode(kKindHeadset, ModeFamily(kKindMouse, 9)), 8);
    // A mouse in mode 6 offers the button but belongs to no family.
    EXPECT_EQ(ModeFamily(kKindMouse, 6), -1);
    EXPECT_EQ(ModeFamily(kKindKeyboard, 25), -1);
}
