#include "devices/KeyboardEffects.h"
#include "devices/LightingTables.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <functional>
#include <string>
#include <vector>

// The keyboard's lighting engine alone: each mode renders a few steps and what its effect says
// is checked on the colour list and the effect state.
namespace {

using lighting::KeyboardEffectInput;
using lighting::KeyboardEffects;
using lighting::KeyboardLayout;

LedColour wheel(int position, uint8_t brightness)
{
    const lighting::Rgb w = lighting::ColourWheel()[size_t(position % 192)];
    return {w.red, w.green, w.blue, brightness};
}

struct EffectRun {
    KeyboardEffects fx;
    std::vector<LedColour> leds = std::vector<LedColour>(170);
    KeyboardEffectInput in;
    uint64_t now = 100000;

    explicit EffectRun(KeyboardEffectInput input) : in(input)
    {
        fx.SeedRandom(7);
        fx.Enter(in);
    }
    void steps(int n, uint64_t msPerStep = 0)
    {
        for (int i = 0; i < n; ++i) {
            now += msPerStep;
            fx.Render(in, leds.data(), leds.size(), now);
        }
    }
    int litKeys() const
    {
        int n = 0;
        for (const LedColour& c : leds) n += c.brightness > 0;
        return n;
    }
};

KeyboardEffectInput input(uint8_t mode, bool colourful, uint8_t direction = 1)
{
    KeyboardEffectInput in;
    in.mode = mode;
    in.brightness = 4;
    in.speed = 2;
    in.direction = direction;
    in.multicolour = colourful ? 1 : 0;
    in.red = 10, in.green = 200, in.blue = 30;
    return in;
}

struct ModeCase {
    std::string name;
    KeyboardEffectInput in;
    std::function<void(EffectRun&)> check;
};

void PrintTo(const ModeCase& c, std::ostream* os) { *os << c.name; }

class KeyboardModes : public ::testing::TestWithParam<ModeCase> {};

TEST_P(KeyboardModes, RendersWhatTheEffectSays)
{
    EffectRun run(GetParam().in);
    GetParam().check(run);
}

const auto& cols = KeyboardLayout::Columns;

std::vector<ModeCase> modeCases()
{
    std::vector<ModeCase> cases;
    cases.push_back({"1_column_wave", input(1, true), [](EffectRun& r) {
        r.steps(1);
        for (int c : {0, 2, 22})
            for (uint8_t k : cols()[size_t(c)]) {
                if (k != 170) {
                    EXPECT_EQ(r.leds[k], wheel(1 + 1 + 7 * c, 255)) << "column " << c;
                }
            }
    }});
    cases.push_back({"1_column_wave_fixed_colour", input(1, false), [](EffectRun& r) {
        r.steps(95);
        EXPECT_EQ(r.fx.Phase(), 95);
        r.steps(1);
        EXPECT_EQ(r.fx.Phase(), 0) << "96 steps without the colourful flag";
        const uint8_t expect = uint8_t((255 * KeyboardLayout::WaveCurve()[(0 + 1 + 7 * 3) % 96]) >> 8);
        EXPECT_EQ(r.leds[1], (LedColour{10, 200, 30, expect}));
    }});
    cases.push_back({"2_fine_wave", input(2, true), [](EffectRun& r) {
        r.steps(3);
        EXPECT_EQ(r.leds[22], wheel(3 + 2 * 2, 255));
        EXPECT_EQ(r.leds[41], wheel(3 + 2 * 22, 255));
    }});
    cases.push_back({"3_snake_rainbow_backwards", input(3, true, 0), [](EffectRun& r) {
        r.steps(1);
        EXPECT_EQ(r.fx.Phase(), 191) << "direction 0 runs down from the top";
        const auto& order = KeyboardLayout::KeyOrder();
        for (size_t i : {size_t(0), size_t(10), size_t(83)})
            EXPECT_EQ(r.leds[order[i]], wheel(int(191 + 5 * i), 255));
    }});
    cases.push_back({"4_spectrum", input(4, true), [](EffectRun& r) {
        r.steps(5);
        EXPECT_EQ(r.leds[0], wheel(5, 255));
        EXPECT_EQ(r.leds[131], wheel(5, 255));
    }});
    cases.push_back({"5_column_breathing_runs_up_and_back", input(5, true), [](EffectRun& r) {
        r.steps(127);
        EXPECT_EQ(r.fx.Phase(), 127);
        r.steps(2);
        EXPECT_EQ(r.fx.Phase(), 125);
        const uint8_t level = uint8_t((255 * lighting::BreathingCurve()[125]) >> 8);
        EXPECT_EQ(r.leds[0], wheel(7 * 2, level)) << "column 2 at wheel position 14";
    }});
    cases.push_back({"6_static_fixed_colour", input(6, false), [](EffectRun& r) {
        r.steps(1);
        EXPECT_EQ(r.litKeys(), 170);
        EXPECT_EQ(r.leds[77], (LedColour{10, 200, 30, 255}));
    }});
    cases.push_back({"6_static_diagonals", input(6, true), [](EffectRun& r) {
        r.steps(1);
        EXPECT_EQ(r.leds[49], wheel(138, 255));
        EXPECT_EQ(r.leds[28], wheel(126, 255));
        EXPECT_EQ(r.leds[115], wheel(138 - 120, 255));
    }});
    cases.push_back({"7_reaction_press_and_release", input(7, true), [](EffectRun& r) {
        r.fx.KeyEvent(30, 1, 7);
        r.steps(1);
        EXPECT_EQ(r.fx.Level(30), 255);
        r.fx.KeyEvent(30, 2, 7);
        r.steps(3);
        EXPECT_EQ(r.fx.Level(30), 240) << "falls by 5 a frame after release";
        EXPECT_EQ(r.leds[30], wheel(r.fx.RandomColourPosition(30), (255 * 240) >> 8));
        EXPECT_EQ(r.fx.Level(31), 0);
    }});
    cases.push_back({"8_ripple_spreads_from_the_pressed_key", input(8, true), [](EffectRun& r) {
        r.fx.KeyEvent(50, 1, 8);  // column 9, row 2
        r.steps(1);
        EXPECT_GT(r.fx.Level(50), 0);
        EXPECT_EQ(r.fx.Level(30), 0);
        r.steps(1);
        EXPECT_GT(r.fx.Level(72), 0) << "column 10 row 3";
        EXPECT_GT(r.fx.Level(49), 0) << "column 8 row 2";
    }});
    cases.push_back({"9_ripple_lights_only_the_press", input(9, true), [](EffectRun& r) {
        r.fx.KeyEvent(50, 1, 9);
        r.steps(2);
        EXPECT_GT(r.fx.Level(50), 0);
        EXPECT_EQ(r.fx.Level(72), 0);
        for (const auto& plane : r.fx.Planes())
            for (uint8_t b : plane) EXPECT_EQ(b, 0);
    }});
    cases.push_back({"10_rain_six_keys_a_frame", input(10, true), [](EffectRun& r) {
        r.steps(1);
        int lit = 0;
        for (int k = 0; k < 170; ++k) lit += r.fx.Level(k) > 0;
        EXPECT_GE(lit, 1);
        EXPECT_LE(lit, 6);
    }});
    cases.push_back({"11_colour_cycle", input(11, true), [](EffectRun& r) {
        r.steps(2);
        for (int k : {0, 5, 169})
            EXPECT_EQ(r.leds[size_t(k)], wheel((33 * k) % 192 + 2, 255)) << k;
    }});
    cases.push_back({"12_row_wave", input(12, true), [](EffectRun& r) {
        r.steps(1);
        for (int row = 0; row < 6; ++row)
            EXPECT_EQ(r.leds[cols()[3][size_t(row)]], wheel(1 + 1 + 24 * row, 255)) << row;
    }});
    cases.push_back({"13_rings_spread_from_column_10_and_keep_coming", input(13, true), [](EffectRun& r) {
        // The brightest key of a column of the lighting matrix.
        auto brightest = [&](int c) {
            int m = 0;
            for (uint8_t k : cols()[size_t(c)])
                if (k != 170)
                    m = std::max<int>(m, r.leds[k].brightness);
            return m;
        };
        // On the frames the planes are stamped, the ring's front is at full brightness: one
        // column on each side of column 10, mirrored about it until the left side has run out
        // of columns, one column further out at each stamp. A new ring starts next to column 10
        // once the last one has reached both ends of the board.
        int rings = 0, lastRight = -1;
        bool reachedLeft = false, reachedRight = false;
        for (int frame = 0; frame < 200; ++frame) {
            r.steps(1);
            int left = -1, right = -1;
            for (int c = 0; c < 23; ++c) {
                if (brightest(c) <= 200)
                    continue;
                (c < 10 ? left : right) = c;
                EXPECT_NE(c, 10) << "frame " << frame;
            }
            if (left >= 0 && right >= 0) {
                EXPECT_EQ(left + right, 20) << "frame " << frame << ": the ring is mirrored about column 10";
            }
            if (right >= 0) {
                if (right == 11) {
                    if (rings > 0) {
                        EXPECT_TRUE(reachedLeft && reachedRight) << "frame " << frame << ": a ring started early";
                    }
                    ++rings;
                    reachedLeft = reachedRight = false;
                } else {
                    EXPECT_EQ(right, lastRight + 1) << "frame " << frame << ": the front moves a column per stamp";
                }
                lastRight = right;
            }
            reachedLeft |= left == 0;
            reachedRight |= right == 22;
        }
        EXPECT_GE(rings, 7) << "a ring crosses the board in about 26 frames";
    }});
    cases.push_back({"14_scripted_show_walks_its_steps", input(14, true), [](EffectRun& r) {
        r.steps(23);
        EXPECT_EQ(r.fx.ShowStep(), 1) << "23 groups of six keys";
        bool sawRipple = false, restarted = false;
        for (int i = 0; i < 2000 && !restarted; ++i) {
            r.steps(1);
            sawRipple |= r.fx.ShowStep() == 3;
            restarted = sawRipple && r.fx.ShowStep() == 0;
        }
        EXPECT_TRUE(sawRipple);
        EXPECT_TRUE(restarted);
    }});
    cases.push_back({"15_twinkle_steps_by_two_and_restarts_at_192", input(15, true), [](EffectRun& r) {
        // Key 56 opens the key order: its level climbs by 2 each frame and starts again at 0
        // on reaching 192, so it goes round every 96 frames (whatever level it started from).
        const uint8_t k = 56;
        int restarts = 0;
        for (int frame = 0; frame < 192; ++frame) {
            const int before = r.fx.Level(k);
            r.steps(1);
            const int after = r.fx.Level(k);
            if (after < before) {
                EXPECT_GE(before + 2, 192) << "frame " << frame << ": restarted before reaching 192";
                EXPECT_EQ(after, 0) << "frame " << frame;
                ++restarts;
            } else {
                EXPECT_EQ(after, before + 2) << "frame " << frame;
            }
            EXPECT_LT(after, 192);
        }
        EXPECT_EQ(restarts, 2);
    }});
    cases.push_back({"16_bouncing_ripple_reaches_both_corners", input(16, true), [](EffectRun& r) {
        bool right = false, left = false;
        for (int i = 0; i < 200; ++i) {
            r.steps(1);
            right |= r.fx.Level(cols()[22][5]) > 0;
            left |= i > 30 && r.fx.Level(cols()[1][1]) > 0;
        }
        EXPECT_TRUE(right);
        EXPECT_TRUE(left);
    }});
    {
        KeyboardEffectInput in = input(17, false);
        in.presetColour = 2;
        cases.push_back({"17_preset_colour_2", in, [](EffectRun& r) {
            r.steps(1);
            for (const LedColour& c : r.leds) EXPECT_EQ(c, wheel(70, 255));
        }});
    }
    cases.push_back({"18_moving_diagonals", input(18, true), [](EffectRun& r) {
        r.steps(1);
        EXPECT_EQ(r.leds[49], wheel(1 + 7, 255));
        EXPECT_EQ(r.leds[56], wheel(1 + 7 * 10, 255));
    }});
    cases.push_back({"19_custom_keeps_colours", input(19, false), [](EffectRun& r) {
        r.leds[40] = {1, 2, 3, 0};
        r.in.brightness = 2;
        r.steps(1);
        EXPECT_EQ(r.leds[40], (LedColour{1, 2, 3, 135}));
    }});
    cases.push_back({"20_off", input(20, true), [](EffectRun& r) {
        r.leds.assign(170, LedColour{9, 9, 9, 9});
        r.steps(1);
        EXPECT_EQ(r.litKeys(), 0);
    }});
    cases.push_back({"21_snake_skips_gaps_and_wraps", input(21, true), [](EffectRun& r) {
        const auto& snake = KeyboardLayout::SnakeOrder();
        int keys = 0;
        for (uint8_t k : snake) keys += k != 170;
        ASSERT_EQ(keys, 108);
        // The head gets 254 and fades with the others in the same step.
        r.steps(17);
        EXPECT_EQ(r.fx.Level(17), 214) << "key 16 is not in the snake: 15 is followed by 17";
        r.steps(keys - 17);
        EXPECT_EQ(r.fx.Level(105), 214) << "the last place";
        r.steps(1);
        EXPECT_EQ(r.fx.Level(0), 214) << "wraps to the first";
    }});
    cases.push_back({"22_wave_twinkle_starts_by_column", input(22, true), [](EffectRun& r) {
        EXPECT_EQ(r.fx.Level(0), (192 - 8 * 2 - 35 * 1) % 192) << "key 0 sits in column 2, row 1";
        EXPECT_EQ(r.fx.RandomColourPosition(0), 14);
        r.steps(1);
        EXPECT_EQ(r.fx.Level(0), (192 - 16 - 35) + 1);
    }});
    cases.push_back({"23_flash_toggles_with_time", input(23, false), [](EffectRun& r) {
        r.in.speed = 4;
        r.steps(1);
        EXPECT_EQ(r.litKeys(), 170);
        r.steps(1, 1399);
        EXPECT_EQ(r.litKeys(), 170) << "not before 1400 ms";
        r.steps(1, 1);
        EXPECT_EQ(r.litKeys(), 0);
    }});
    cases.push_back({"24_rolling_rows_fade_by_five", input(24, false), [](EffectRun& r) {
        // The band is two columns wide: a key of column 0 is lit in rows 1 and 2 of the table.
        const uint8_t k = cols()[0][1];
        r.steps(2);
        EXPECT_EQ(r.leds[k].brightness, 254);
        r.steps(1);
        EXPECT_EQ(r.leds[k].brightness, (255 * 250) >> 8);
        r.steps(1);
        EXPECT_EQ(r.leds[k].brightness, (255 * 245) >> 8);
    }});
    // The four-colour effects: every frame shows one colour on all keys, the colours follow each
    // other in a fixed turn of four different colours, and the turn repeats.
    auto fourColours = [](EffectRun& r, int frames, uint64_t msPerFrame, bool breathing) {
        std::vector<LedColour> turn;
        int lastBrightness = -1, falling = 0;
        for (int frame = 0; frame < frames; ++frame) {
            r.steps(1, msPerFrame);
            const LedColour first = r.leds[0];
            for (int k = 1; k < 132; ++k)
                ASSERT_EQ(r.leds[size_t(k)], first) << "frame " << frame << " key " << k;
            if (first.brightness == 0)
                continue;
            const LedColour colour{first.red, first.green, first.blue, 0};
            if (turn.empty() || !(turn.back() == colour)) {
                // A breathing colour changes only once it has faded.
                if (breathing && !turn.empty()) {
                    EXPECT_GT(falling, 0) << "frame " << frame;
                    EXPECT_LT(first.brightness, 80) << "frame " << frame;
                }
                turn.push_back(colour);
                falling = 0;
            } else if (first.brightness < lastBrightness) {
                ++falling;
            }
            lastBrightness = first.brightness;
        }
        ASSERT_GE(turn.size(), 9u) << "two turns and more";
        for (size_t i = 0; i < 4; ++i)
            for (size_t j = i + 1; j < 4; ++j)
                EXPECT_FALSE(turn[i] == turn[j]) << "colours " << i << " and " << j << " are the same";
        for (size_t i = 4; i < turn.size(); ++i)
            EXPECT_EQ(turn[i], turn[i - 4]) << "place " << i << " of the turn";
    };
    cases.push_back({"26_breathing_four_colours", input(26, true), [fourColours](EffectRun& r) {
        fourColours(r, 2400, 0, true);
    }});
    cases.push_back({"27_flash_four_colours_in_turn", input(27, true), [fourColours](EffectRun& r) {
        // Speed level 2 flashes every 18 x 200 ms: lit and dark phases take turns.
        const uint64_t period = 18 * 200;
        r.steps(1);
        ASSERT_GT(r.litKeys(), 0);
        r.steps(1, period - 1);
        EXPECT_GT(r.litKeys(), 0) << "not before the period has passed";
        r.steps(1, 1);
        EXPECT_EQ(r.litKeys(), 0);
        r.steps(1, period);
        EXPECT_GT(r.litKeys(), 0);
        fourColours(r, 20, period, false);
    }});
    {
        KeyboardEffectInput in = input(29, false);
        in.musicStyle = 0;
        in.musicRed = 255;
        cases.push_back({"29_music_bars_from_levels", in, [](EffectRun& r) {
            EXPECT_EQ(KeyboardEffects::BarHeight(0), 600);
            EXPECT_EQ(KeyboardEffects::BarHeight(2000), 0);
            const std::vector<int> loud(25, 900);  // kept as 500: full bars
            r.fx.SetAudioLevels(loud.data(), 25);
            r.steps(1);
            EXPECT_EQ(r.leds[cols()[5][0]], (LedColour{255, 0, 0, 255})) << "a full bar";
            EXPECT_EQ(r.leds[cols()[5][5]], (LedColour{255, 0, 0, 255}));
            const std::vector<int> quiet(25, 250);  // half a bar: the bottom three rows
            r.fx.SetAudioLevels(quiet.data(), 25);
            r.steps(1);
            EXPECT_LT(r.leds[cols()[5][0]].brightness, 255) << "the top row left the bar";
            EXPECT_EQ(r.leds[cols()[5][5]], (LedColour{255, 0, 0, 255}));
            // After the sound stops a key falls to dark and never flashes back up.
            const std::vector<int> silence(25, 0);
            r.fx.SetAudioLevels(silence.data(), 25);
            const uint8_t key = cols()[5][5];
            uint8_t last = r.fx.Level(key);
            for (int i = 0; i < 40; ++i) {
                r.steps(1);
                EXPECT_LE(r.fx.Level(key), last) << "frame " << i;
                last = r.fx.Level(key);
            }
            EXPECT_EQ(last, 0);
            EXPECT_EQ(r.litKeys(), 0);
        }});
    }
    for (uint8_t style = 1; style <= 6; ++style) {
        KeyboardEffectInput in = input(29, false);
        in.musicStyle = style;
        in.musicRed = 255;
        cases.push_back({"29_music_style_" + std::to_string(style), in, [style](EffectRun& r) {
            const std::vector<int> silence(25, 0);
            r.fx.SetAudioLevels(silence.data(), 25);
            r.steps(45);
            EXPECT_EQ(r.litKeys(), 0) << "dark while nothing plays";
            // Which keys of each row of the lighting matrix are inside a bar (full brightness,
            // the music colour) after some frames of an even sound of `level`.
            auto bars = [&](int level) {
                EffectRun run(r.in);
                const std::vector<int> levels(25, level);
                run.fx.SetAudioLevels(levels.data(), 25);
                run.steps(45);
                std::array<std::array<int, 23>, 6> in{};  // -1 no key, 0 outside, 1 inside
                for (int row = 0; row < 6; ++row)
                    for (int c = 0; c < 23; ++c) {
                        const uint8_t k = cols()[size_t(c)][size_t(row)];
                        if (k == 170) {
                            in[size_t(row)][size_t(c)] = -1;
                            continue;
                        }
                        const bool full = run.leds[k].brightness == 255;
                        if (full) {
                            EXPECT_EQ(run.leds[k], (LedColour{255, 0, 0, 255})) << "a bar has the music colour";
                        }
                        in[size_t(row)][size_t(c)] = full ? 1 : 0;
                    }
                return in;
            };
            auto count = [](const std::array<int, 23>& row) { return int(std::count(row.begin(), row.end(), 1)); };
            // Runs of keys inside a bar along a row (keys that are missing neither end nor join one).
            auto runs = [](const std::array<int, 23>& row) {
                int n = 0, last = 0;
                for (int v : row) {
                    if (v < 0)
                        continue;
                    n += v == 1 && last != 1;
                    last = v;
                }
                return n;
            };
            if (style == 2) {
                // The pulse presses key 51: its ripple is what lights up first.
                EffectRun run(r.in);
                const std::vector<int> levels(25, 100);
                run.fx.SetAudioLevels(levels.data(), 25);
                int frame = 0;
                while (run.litKeys() == 0 && frame++ < 200)
                    run.steps(1);
                ASSERT_GT(run.litKeys(), 0) << "a pulse within 200 frames";
                EXPECT_GT(run.leds[51].brightness, 0) << "the ripple starts at key 51";
                int lit = run.litKeys();
                run.steps(6);
                EXPECT_GT(run.litKeys(), lit) << "and spreads";
                return;
            }
            const auto quiet = bars(100), loud = bars(900);
            int quietKeys = 0, loudKeys = 0;
            for (size_t row = 0; row < 6; ++row) {
                SCOPED_TRACE(testing::Message() << "row " << row);
                quietKeys += count(quiet[row]);
                loudKeys += count(loud[row]);
                EXPECT_GE(count(loud[row]), count(quiet[row])) << "a louder sound makes no bar shorter";
                for (const auto* shown : {&quiet[row], &loud[row]}) {
                    if (style == 1) {
                        // Left and right halves: mirrored about the middle column.
                        for (int c = 0; c < 11; ++c) {
                            const int a = (*shown)[size_t(c)], b = (*shown)[size_t(22 - c)];
                            if (a >= 0 && b >= 0) {
                                EXPECT_EQ(a, b) << "columns " << c << " and " << 22 - c;
                            }
                        }
                    } else {
                        EXPECT_LE(runs(*shown), 1) << "one bar per row";
                    }
                }
            }
            EXPECT_GT(quietKeys, 0) << "a quiet sound shows bars";
            EXPECT_GT(loudKeys, quietKeys) << "a louder sound shows longer bars";
        }});
    }
    cases.push_back({"30_external_colour", input(30, false), [](EffectRun& r) {
        const int colour[6] = {12, 34, 56, 0, 0, 0};
        r.fx.SetExternalColour(colour, 6);
        r.steps(1);
        for (const LedColour& c : r.leds) EXPECT_EQ(c, (LedColour{12, 34, 56, 255}));
    }});
    cases.push_back({"0_steps_play_in_turn", input(0, false), [](EffectRun& r) {
        r.steps(1);
        EXPECT_EQ(r.litKeys(), 0) << "an empty sequence is off";
        LedEffectStep red{}, blue{};
        red.mode = 1, red.brightness = 4, red.speed = 4, red.red = 255, red.time = 1000;
        blue = red, blue.red = 0, blue.blue = 255;
        r.fx.SetSteps({red, blue});
        r.steps(7);
        EXPECT_EQ(r.leds[0], (LedColour{255, 0, 0, 255})) << "kind 1 renders on the 7th pass at speed 4";
        r.steps(7, 150);
        EXPECT_EQ(r.leds[0], (LedColour{0, 0, 255, 255})) << "after 1000 ms the next step";
        r.steps(7, 150);
        EXPECT_EQ(r.leds[0], (LedColour{255, 0, 0, 255})) << "after the last, the first";
    }});
    cases.push_back({"per_key_overlay", input(4, true), [](EffectRun& r) {
        std::vector<LightInfo> overlay(170);
        overlay[5].present = 1, overlay[5].mode = 1, overlay[5].brightness = 2, overlay[5].green = 99;
        overlay[6].present = 1, overlay[6].mode = 4;
        overlay[7].mode = 4;  // not enabled
        r.fx.SetOverlay(overlay);
        r.steps(1);
        EXPECT_EQ(r.leds[5], (LedColour{0, 99, 0, 135}));
        EXPECT_EQ(r.leds[6], LedColour{});
        EXPECT_EQ(r.leds[7], wheel(1, 255));
        EXPECT_FALSE(r.fx.HasAnimatedOverlay());
    }});
    return cases;
}

INSTANTIATE_TEST_SUITE_P(Keyboard, KeyboardModes, ::testing::ValuesIn(modeCases()),
                         [](const auto& info) { return info.param.name; });

}  // namespace

// A mode paints every key of the board, so nothing of the mode shown before stays behind: the
// keys outside the main block (number pad, M and G keys, media keys, PrtSc/ScrLk/Pause, Home,
// Menu) included.
TEST(KeyboardEffectsCoverage, EveryKeyTakesTheNewModesColour)
{
    const LedColour previous{1, 2, 3, 4};  // no effect renders this
    for (uint8_t mode : {1, 2, 3, 5, 12, 15, 18, 22}) {
        for (bool colourful : {false, true}) {
            SCOPED_TRACE(testing::Message() << "mode " << int(mode) << " colourful " << colourful);
            EffectRun run(input(mode, colourful));
            run.leds.assign(170, previous);
            run.steps(3);
            for (int k = 0; k < 132; ++k) EXPECT_NE(run.leds[size_t(k)], previous) << "key " << k;
        }
    }
    // The diagonal rainbows light the keys outside the diagonal table too.
    for (uint8_t mode : {6, 18}) {
        EffectRun run(input(mode, true));
        run.steps(1);
        for (int k = 0; k < 132; ++k) EXPECT_GT(run.leds[size_t(k)].brightness, 0) << "mode " << int(mode) << " key " << k;
    }
}

TEST(KeyboardEffectsPace, TicksPerStepByModeAndSpeed)
{
    for (uint8_t speed = 0; speed < 5; ++speed) {
        EXPECT_EQ(KeyboardEffects::StepTicks(16, speed), 3u);
        EXPECT_EQ(KeyboardEffects::StepTicks(18, speed), 3u);
        EXPECT_EQ(KeyboardEffects::StepTicks(26, speed), KeyboardEffects::StepTicks(5, speed));
        EXPECT_EQ(KeyboardEffects::StepTicks(27, speed), KeyboardEffects::StepTicks(23, speed));
        EXPECT_EQ(KeyboardEffects::StepTicks(29, speed), 2u);
        EXPECT_EQ(KeyboardEffects::StepTicks(30, speed), 1u);
    }
    const uint32_t row[5] = {10, 8, 5, 3, 1};
    for (uint8_t speed = 0; speed < 5; ++speed)
        EXPECT_EQ(KeyboardEffects::StepTicks(1, speed), row[speed]);
}

TEST(KeyboardEffectsTables, ShapesAndPermutation)
{
    // Every key of the matrix once; the random list a permutation into the 107 keys.
    std::vector<int> seen(170, 0);
    for (const auto& column : KeyboardLayout::Columns())
        for (uint8_t k : column)
            if (k != 170) ++seen[k];
    for (int k = 0; k < 132; ++k) EXPECT_EQ(seen[size_t(k)], 1) << k;
    std::vector<int> perm(104, 0);
    for (uint8_t i : KeyboardLayout::RainPermutation()) ++perm[i];
    for (int c : perm) EXPECT_EQ(c, 1);
    const auto& curve = KeyboardLayout::WaveCurve();
    EXPECT_EQ(curve[0], 22);
    EXPECT_EQ(curve[1], 24);
    EXPECT_EQ(curve[2], 27);
    EXPECT_EQ(curve[47], 255);
    EXPECT_EQ(curve[48], 255);
    EXPECT_EQ(curve[95], 22);
    const auto& twinkle = KeyboardLayout::TwinkleCurve();
    EXPECT_EQ(twinkle[24], 255);
    EXPECT_EQ(twinkle[88], 0);
    EXPECT_EQ(twinkle[191], 0);
}
