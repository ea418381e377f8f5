#include "app/DeviceHub.h"
#include "devices/CVantikHS6533Device.h"
#include "devices/CVantikKeyboardDevice.h"
#include "devices/CVantikMouseDevice.h"
#include "devices/CVantikMousePadDevice.h"
#include "devices/LightingTables.h"
#include "tests/devices/EffectProbe.h"

#include <QFile>
#include <QTemporaryDir>
#include <QtGlobal>
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <memory>
#include <ostream>
#include <set>
#include <string>
#include <tuple>
#include <vector>

// The lighting preview of every built-in mode of the mouse, the mouse pad and the headset: the
// device's light state is set as the lighting panel sets it, steps are rendered through the
// device class's own RenderMode, and the LED colour list the preview paints is checked for what
// the effect should look like.

namespace {

using Frame = std::vector<LedColour>;

enum class Look {
    Still,          // every LED the chosen colour at full brightness, step after step
    Dark,           // every LED all zero
    Breathing,      // every LED alike in the chosen colour, brightness rising to full and falling back
    BreathingFour,  // the same through the four fixed colours, the next one after each breath
    Flash,          // lit in the chosen colour and dark, in turn
    FlashFour,      // lit and dark in turn, each lit phase in the next of the four fixed colours
    Spectrum,       // every LED alike at full brightness, the colour moving round the wheel
    Travelling,     // the LEDs differ from one another and the pattern moves along them
    Reaction,       // dark until a click, then every LED lit at once, fading back to dark
};

struct PreviewCase {
    const char* kind;  // the device option row: "mouse", "MousePad", "HD"
    uint8_t mode;      // index of the mode list of the kind
    const char* effect;
    uint8_t colourful;
    Look look;
    // For Travelling: LED pairs that always show the same colour (the paired ring).
    bool paired = false;
    // Set where the class shows something other than the mode's effect.
    const char* knownFault = nullptr;
};

std::ostream& operator<<(std::ostream& os, const PreviewCase& c)
{
    return os << c.kind << " mode " << int(c.mode) << " (" << c.effect << ", colourful " << int(c.colourful) << ")";
}

constexpr uint8_t kRed = 200, kGreen = 40, kBlue = 10;
constexpr uint8_t kFull = 255;
// A full level (curve top, reaction start) scaled by brightness level 4.
constexpr uint8_t kScaledFull = uint8_t((255 * 255) >> 8);

// The probe of one device kind, behind what the test needs of it.
struct Probe {
    std::unique_ptr<CVantikUSBDevice> device;
    std::function<void(uint8_t)> render;
    std::function<void()> makeFlashDue;
    std::function<void(const std::vector<LedEffectStep>&)> setSequence;
    std::function<void(uint64_t)> setClock;
};

template <class Device>
Probe makeProbe()
{
    auto device = std::make_unique<EffectProbe<Device>>();
    auto* raw = device.get();
    return {std::move(device), [raw](uint8_t mode) { raw->Render(mode); }, [raw] { raw->MakeFlashDue(); },
            [raw](const std::vector<LedEffectStep>& steps) { raw->SetSequence(steps); },
            [raw](uint64_t ms) { raw->clockMs = ms; }};
}

Probe probeFor(const std::string& kind)
{
    Probe p = kind == "mouse"      ? makeProbe<CVantikMouseDevice>()
              : kind == "MousePad" ? makeProbe<CVantikMousePadDevice>()
                                   : makeProbe<CVantikHS6533Device>();
    // The LED count discovery gives the kind.
    for (const app::DeviceOptionRow& row : app::DeviceOptionRows())
        if (kind == row.kindName)
            p.device->SetLightCount(row.ledCount);
    return p;
}

bool allAlike(const Frame& f)
{
    return std::all_of(f.begin(), f.end(), [&](const LedColour& c) { return c == f.front(); });
}

bool allDark(const Frame& f)
{
    return std::all_of(f.begin(), f.end(), [](const LedColour& c) { return c == LedColour{}; });
}

// Dark on the preview: nothing shows whatever colour bytes an LED keeps.
bool unlit(const Frame& f)
{
    return std::all_of(f.begin(), f.end(), [](const LedColour& c) { return c.brightness == 0; });
}

bool isBaseColour(const LedColour& c)
{
    return std::any_of(lighting::kBaseColours.begin(), lighting::kBaseColours.end(),
                       [&](const lighting::Rgb& b) { return b == lighting::Rgb{c.red, c.green, c.blue}; });
}

const PreviewCase kCases[] = {
    // The mouse: 15 LEDs in seven groups.
    {"mouse", 0, "group wave", 0, Look::Travelling},
    {"mouse", 0, "group wave", 1, Look::Travelling},
    {"mouse", 1, "spectrum", 0, Look::Spectrum},
    {"mouse", 2, "breathing", 0, Look::Breathing},
    {"mouse", 3, "static", 0, Look::Still},
    {"mouse", 4, "flash", 0, Look::Flash},
    {"mouse", 5, "ring chase", 0, Look::Travelling},
    {"mouse", 6, "reaction", 0, Look::Reaction},
    {"mouse", 7, "breathing four", 0, Look::BreathingFour},
    {"mouse", 8, "flash four", 0, Look::FlashFour},
    {"mouse", 9, "off", 0, Look::Dark},
    // The custom effect plays the profile's light sequence; with none loaded it is off.
    {"mouse", 10, "custom effect", 0, Look::Dark},
    // The mouse pad: 15 LEDs, the paired ring lights (1, 14) ... (7, 8) together.
    {"MousePad", 0, "wave", 0, Look::Travelling},
    {"MousePad", 0, "wave", 1, Look::Travelling},
    {"MousePad", 1, "spectrum", 0, Look::Spectrum},
    {"MousePad", 2, "breathing", 0, Look::Breathing},
    {"MousePad", 3, "static", 0, Look::Still},
    {"MousePad", 4, "flash", 0, Look::Flash},
    {"MousePad", 5, "custom effect", 0, Look::Dark},
    {"MousePad", 6, "ring", 0, Look::Travelling},
    {"MousePad", 7, "paired ring", 0, Look::Travelling, true},
    {"MousePad", 8, "off", 0, Look::Dark},
    // The headset: 13 LEDs, the mouse pad's modes.
    {"HD", 0, "wave", 0, Look::Travelling},
    {"HD", 0, "wave", 1, Look::Travelling},
    {"HD", 1, "spectrum", 0, Look::Spectrum},
    {"HD", 2, "breathing", 0, Look::Breathing},
    {"HD", 3, "static", 0, Look::Still},
    {"HD", 4, "flash", 0, Look::Flash},
    {"HD", 5, "custom effect", 0, Look::Dark},
    {"HD", 6, "ring", 0, Look::Travelling},
    {"HD", 7, "paired ring", 0, Look::Travelling, true},
    {"HD", 8, "off", 0, Look::Dark},
};

class PreviewModes : public ::testing::TestWithParam<PreviewCase> {
protected:
    void SetUp() override
    {
        const PreviewCase& c = GetParam();
        if (c.knownFault)
            RecordProperty("known_fault", c.knownFault);
        probe = probeFor(c.kind);
        LightState s;
        s.mode = c.mode;
        s.brightness = 4;
        s.speed = 4;
        s.direction = 1;
        s.multicolour = c.colourful;
        s.red = kRed;
        s.green = kGreen;
        s.blue = kBlue;
        probe.device->SetLightBlock(s);
        // The preview comes from a lit list (the static colour), so a mode has to paint its own
        // picture over what was shown before.
        probe.render(3);
        ASSERT_FALSE(allDark(probe.device->LedColours()));
    }

    // Renders `steps` steps of the case's mode; the list after each one.
    std::vector<Frame> run(int steps, bool flashDueEachStep = false)
    {
        std::vector<Frame> frames;
        for (int i = 0; i < steps; ++i) {
            if (flashDueEachStep)
                probe.makeFlashDue();
            probe.render(GetParam().mode);
            frames.push_back(probe.device->LedColours());
        }
        return frames;
    }

    Probe probe;
};

const LedColour kChosen{kRed, kGreen, kBlue, kFull};

TEST_P(PreviewModes, PreviewShowsTheModesEffect)
{
    const PreviewCase& c = GetParam();
    // A case marked with a known fault expects what the mode should show; it is skipped, with
    // the fault as its reason, until the class shows it (TESSEL_RUN_KNOWN_FAULTS=1 runs it).
    if (c.knownFault && qEnvironmentVariable("TESSEL_RUN_KNOWN_FAULTS") != QLatin1String("1"))
        GTEST_SKIP() << "known fault: " << c.knownFault;
    SCOPED_TRACE(c.knownFault ? std::string("known fault: ") + c.knownFault : std::string("no known fault"));
    const size_t leds = probe.device->LedCount();
    ASSERT_GT(leds, 0u);

    switch (c.look) {
    case Look::Still:
        for (const Frame& f : run(5))
            ASSERT_EQ(f, Frame(leds, kChosen));
        break;

    case Look::Dark:
        for (const Frame& f : run(5))
            ASSERT_TRUE(allDark(f));
        break;

    case Look::Breathing: {
        // One whole breath: up to the top of the curve and back down to dark.
        const auto frames = run(lighting::kBreathingSteps);
        std::vector<int> levels;
        for (const Frame& f : frames) {
            ASSERT_TRUE(allAlike(f));
            EXPECT_EQ((lighting::Rgb{f[0].red, f[0].green, f[0].blue}), (lighting::Rgb{kRed, kGreen, kBlue}));
            levels.push_back(f[0].brightness);
        }
        const auto peak = std::max_element(levels.begin(), levels.end());
        EXPECT_EQ(*peak, kScaledFull);
        EXPECT_TRUE(std::is_sorted(levels.begin(), peak + 1)) << "rises to the peak";
        EXPECT_TRUE(std::is_sorted(levels.rbegin(), std::make_reverse_iterator(peak))) << "falls after it";
        EXPECT_LE(levels.front(), 5);
        EXPECT_EQ(levels.back(), 0);
        break;
    }

    case Look::BreathingFour: {
        // Two breaths: each in one of the four fixed colours, the second in another one.
        const auto frames = run(2 * lighting::kBreathingSteps);
        for (const Frame& f : frames)
            ASSERT_TRUE(allAlike(f));
        const Frame& first = frames[63];
        const Frame& second = frames[63 + lighting::kBreathingSteps];
        EXPECT_TRUE(isBaseColour(first[0]));
        EXPECT_TRUE(isBaseColour(second[0]));
        EXPECT_NE((lighting::Rgb{first[0].red, first[0].green, first[0].blue}),
                  (lighting::Rgb{second[0].red, second[0].green, second[0].blue}));
        EXPECT_GE(first[0].brightness, kScaledFull - 10);
        EXPECT_LE(frames[lighting::kBreathingSteps - 1][0].brightness, 5);
        break;
    }

    case Look::Flash: {
        const auto frames = run(6, true);
        for (size_t i = 0; i < frames.size(); ++i) {
            SCOPED_TRACE(i);
            ASSERT_EQ(frames[i], i % 2 == 0 ? Frame(leds, kChosen) : Frame(leds, LedColour{}));
        }
        break;
    }

    case Look::FlashFour: {
        const auto frames = run(6, true);
        std::vector<LedColour> lit;
        for (size_t i = 0; i < frames.size(); ++i) {
            SCOPED_TRACE(i);
            ASSERT_TRUE(allAlike(frames[i]));
            if (i % 2 == 1) {
                EXPECT_TRUE(allDark(frames[i]));
                continue;
            }
            EXPECT_TRUE(isBaseColour(frames[i][0]));
            EXPECT_EQ(frames[i][0].brightness, kFull);
            lit.push_back(frames[i][0]);
        }
        EXPECT_NE(lit[0], lit[1]);
        EXPECT_NE(lit[1], lit[2]);
        break;
    }

    case Look::Spectrum: {
        // A full turn of the wheel: the chosen colour plays no part.
        const auto frames = run(lighting::kWheelSize);
        std::set<std::tuple<int, int, int>> colours;
        for (size_t i = 0; i < frames.size(); ++i) {
            const Frame& f = frames[i];
            ASSERT_TRUE(allAlike(f)) << i;
            EXPECT_EQ(f[0].brightness, kFull);
            if (i > 0) {
                EXPECT_NE(f[0], frames[i - 1][0]) << i;
            }
            colours.insert({f[0].red, f[0].green, f[0].blue});
        }
        EXPECT_GE(colours.size(), 150u);
        break;
    }

    case Look::Travelling: {
        const auto frames = run(60);
        std::set<size_t> brightestPlaces;
        for (size_t i = 1; i < frames.size(); ++i) {
            SCOPED_TRACE(i);
            const Frame& f = frames[i];
            ASSERT_FALSE(allAlike(f));
            ASSERT_NE(f, frames[i - 1]) << "the pattern moves";
            if (!c.colourful) {
                for (const LedColour& led : f) {
                    if (led.brightness) {
                        ASSERT_EQ((lighting::Rgb{led.red, led.green, led.blue}), (lighting::Rgb{kRed, kGreen, kBlue}));
                    }
                }
                brightestPlaces.insert(size_t(std::max_element(f.begin(), f.end(), [](auto& a, auto& b) {
                                                  return a.brightness < b.brightness;
                                              }) - f.begin()));
            }
            if (c.paired) {
                for (size_t p = 1; p <= std::min<size_t>(7, (leds - 1) / 2); ++p)
                    ASSERT_EQ(f[p], f[leds - p]) << "pair " << p;
            }
        }
        // Every LED changes over the run, and the brightest one wanders along the list.
        for (size_t led = 0; led < leds; ++led) {
            const bool changes = std::any_of(frames.begin(), frames.end(), [&](const Frame& f) { return f[led] != frames[0][led]; });
            EXPECT_TRUE(changes) << "LED " << led;
        }
        if (!c.colourful) {
            EXPECT_GE(brightestPlaces.size(), 3u);
        }
        break;
    }

    case Look::Reaction: {
        // Nothing is lit before a click.
        for (const Frame& f : run(5))
            ASSERT_TRUE(unlit(f)) << "before the click";
        probe.device->HandleDeviceEvent(0x403);
        const auto frames = run(20);
        EXPECT_EQ(frames[0], Frame(leds, LedColour{kRed, kGreen, kBlue, kScaledFull})) << "every LED lit at once";
        int lastLevel = 256;
        size_t darkAt = 0;
        for (size_t i = 0; i < frames.size(); ++i) {
            ASSERT_TRUE(allAlike(frames[i])) << i;
            const int level = frames[i][0].brightness;
            EXPECT_LE(level, lastLevel) << i;
            lastLevel = level;
            if (level == 0 && !darkAt)
                darkAt = i;
        }
        EXPECT_GT(darkAt, 10u) << "fades over a number of steps";
        EXPECT_TRUE(unlit(frames.back()));
        break;
    }
    }
}

std::string caseName(const ::testing::TestParamInfo<PreviewCase>& info)
{
    std::string name = std::string(info.param.kind) + "_" + std::to_string(info.param.mode) + "_" + info.param.effect +
                       (info.param.colourful ? "_colourful" : "");
    std::replace(name.begin(), name.end(), ' ', '_');
    return name;
}

INSTANTIATE_TEST_SUITE_P(EveryMode, PreviewModes, ::testing::ValuesIn(kCases), caseName);

// A loaded light sequence plays over the device's own LEDs: each step holds until its time has
// passed, then the next (after the last, the first); a step renders on its speed's pass count;
// the wave runs along the LED list.
struct SequenceCase {
    const char* kind;
    uint8_t mode;
};

class LightSequence : public ::testing::TestWithParam<SequenceCase> {};

TEST_P(LightSequence, PlaysTheStepsOverTheDevicesLeds)
{
    Probe probe = probeFor(GetParam().kind);
    LightState s;
    s.mode = GetParam().mode;
    probe.device->SetLightBlock(s);
    const size_t leds = probe.device->LedCount();
    ASSERT_GT(leds, 1u);

    LedEffectStep red{};
    red.mode = 1, red.brightness = 4, red.speed = 4, red.red = 255, red.time = 1000;
    LedEffectStep blue = red;
    blue.red = 0, blue.blue = 255, blue.time = 500;
    LedEffectStep wave{};
    wave.mode = 4, wave.brightness = 4, wave.speed = 4, wave.multicolour = 1, wave.time = 500;
    probe.setSequence({red, blue, wave});

    // Speed level 4: a static or wave step renders on every 7th pass, the LEDs hold in between.
    auto passes = [&](int n, uint64_t atMs) {
        probe.setClock(atMs);
        for (int i = 0; i < n; ++i)
            probe.render(s.mode);
        return probe.device->LedColours();
    };
    const Frame before = passes(6, 1000);
    const LedColour redLed{255, 0, 0, 255}, blueLed{0, 0, 255, 255};
    EXPECT_NE(before, Frame(leds, redLed)) << "nothing rendered before the 7th pass";
    EXPECT_EQ(passes(1, 1000), Frame(leds, redLed));
    EXPECT_EQ(passes(7, 1999), Frame(leds, redLed)) << "the first step holds for its 1000 ms";
    EXPECT_EQ(passes(7, 2000), Frame(leds, blueLed)) << "then the second";

    const Frame waveFrame = passes(7, 2500);
    ASSERT_EQ(waveFrame.size(), leds);
    for (size_t i = 0; i < leds; ++i) {
        // The phase is shared by all steps: the three static renders took it to 3, the wave's
        // first render to 4. LED i sits 12 wheel positions past LED i - 1.
        const lighting::Rgb w = lighting::ColourWheel()[(4 + 12 * i) % lighting::kWheelSize];
        EXPECT_EQ(waveFrame[i], (LedColour{w.red, w.green, w.blue, 255})) << "LED " << i;
    }
    EXPECT_EQ(passes(7, 3000), Frame(leds, redLed)) << "after the last step, the first";

    probe.setSequence({});
    EXPECT_TRUE(allDark(passes(1, 3000))) << "an empty sequence is off";
}

const SequenceCase kSequenceCases[] = {{"mouse", 10}, {"MousePad", 5}, {"MousePad", 9}, {"HD", 5}, {"HD", 12}};

INSTANTIATE_TEST_SUITE_P(CustomEffect, LightSequence, ::testing::ValuesIn(kSequenceCases),
                         [](const ::testing::TestParamInfo<SequenceCase>& info) {
                             return std::string(info.param.kind) + "_" + std::to_string(info.param.mode);
                         });

// The keyboard loads the profile's per-key effect records with its lighting: an enabled record
// overrides the running mode on its key, the other keys show the mode.
TEST(KeyboardOverlay, TheProfilesPerKeyRecordsOverrideTheMode)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString path = dir.filePath("keyboard.Json");
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    // Spectrum on the board; key 5 a static red record, key 6 a record that is not there (null),
    // key 7 off.
    file.write(R"({"Device": [{
        "LightInfo": {"SelectItem": 4, "Light": 4, "Speed": 4, "Fx": 1, "MultiColor": 1},
        "LightList": [null, null, null, null, null,
                      {"LEDREGMode": 1, "LEDBrightness": 4, "red": 255},
                      null,
                      {"LEDREGMode": 4}]}]})");
    file.close();

    EffectProbe<CVantikKeyboardDevice> keyboard;
    for (const app::DeviceOptionRow& row : app::DeviceOptionRows())
        if (std::string(row.kindName) == "keyboard")
            keyboard.SetLightCount(row.ledCount);
    keyboard.KeyboardProfile().LoadDeviceData(path);
    keyboard.ApplyLightSettings();
    keyboard.Render(4);
    const std::vector<LedColour> leds = keyboard.LedColours();
    ASSERT_GE(leds.size(), 8u);
    EXPECT_EQ(leds[5], (LedColour{255, 0, 0, 255}));
    EXPECT_EQ(leds[7], LedColour{});
    EXPECT_EQ(leds[6], leds[8]) << "a key without a record shows the mode";
    EXPECT_GT(leds[6].brightness, 0);
}

}  // namespace
