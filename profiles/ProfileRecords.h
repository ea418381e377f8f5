#pragma once

#include <QString>

#include <cstdint>

// The small binary records the profile object converts profile values into. Devices and the
// command set copy them byte for byte, so the byte-sized records keep their documented order
// and size.

// A device's lighting choice. The reserved bytes and the present flag are not stored under
// "LightInfo"; the present flag is set only by the light-list reader.
struct LightInfo {
    uint8_t mode = 0;          // "SelectItem": index into the device's mode list
    uint8_t brightness = 0;    // "Light"
    uint8_t speed = 0;         // "Speed": 0 slowest .. 4 fastest
    uint8_t direction = 0;     // "Fx"
    uint8_t multicolour = 0;   // "MultiColor": 0 or 1
    uint8_t red = 0;           // "Red"
    uint8_t green = 0;         // "Green"
    uint8_t blue = 0;          // "Blue"
    uint8_t reserved[2] = {};  // never stored
    uint8_t present = 0;       // light list only: 1 for a non-null list element
    uint8_t zzccMode = 0;      // "ZZCCLedMode": keyboard sub-mode
    uint8_t customGroup = 0;   // "CustomGroup": keyboard custom colour group
    uint8_t previousMode = 0;  // "OldLedmode": mode restored after a game event
    friend bool operator==(const LightInfo&, const LightInfo&) = default;
};
static_assert(sizeof(LightInfo) == 14);

// The audio-reactive lighting choice (keyboards).
struct AudioLightInfo {
    uint8_t audioMode = 0;     // "AudioMode"
    uint8_t bkRed = 0;         // "BkColorR"
    uint8_t bkGreen = 0;       // "BkColorG"
    uint8_t bkBlue = 0;        // "BkColorB"
    uint8_t fgRed = 0;         // "FgColorR"
    uint8_t fgGreen = 0;       // "FgColorG"
    uint8_t fgBlue = 0;        // "FgColorB"
    uint8_t sevenColour = 0;   // "7ColorFlags": 0 or 1
    uint8_t colourType = 0;    // "ColorTypeFlags": 1 foreground, 0 background
    friend bool operator==(const AudioLightInfo&, const AudioLightInfo&) = default;
};
static_assert(sizeof(AudioLightInfo) == 9);

// One step of a custom light effect file ("LEDEffectList").
struct LedEffectStep {
    uint8_t mode = 0;          // "LEDREGMode"
    uint8_t brightness = 0;    // "LEDBrightness"
    uint8_t speed = 0;         // "LEDSpeed"
    uint8_t direction = 0;     // "LEDDirection"
    uint8_t multicolour = 0;   // "LEDMultiColor"
    uint8_t red = 0;           // "red"
    uint8_t green = 0;         // "green"
    uint8_t blue = 0;          // "blue"
    uint8_t reserved[8] = {};  // always zero
    int32_t time = 0;          // "Time"
    int32_t cycle = 0;         // "Cyle"
    friend bool operator==(const LedEffectStep&, const LedEffectStep&) = default;
};
static_assert(sizeof(LedEffectStep) == 24);

// A key's function: type, first and second parameter, at key position `position`.
struct KeyAssignment {
    uint16_t position = 0;
    uint8_t type = 0;
    uint8_t p1 = 0;
    uint8_t p2 = 0;
    // The profile's encoding: type << 16 | p1 << 8 | p2.
    uint32_t packed() const { return (uint32_t(type) << 16) | (uint32_t(p1) << 8) | p2; }
    friend bool operator==(const KeyAssignment&, const KeyAssignment&) = default;
};

// The current assignment of a key followed by its factory assignment.
struct KeyAssignmentPair {
    KeyAssignment current;
    KeyAssignment defaults;
    friend bool operator==(const KeyAssignmentPair&, const KeyAssignmentPair&) = default;
};

struct KeyboardSystemStages {
    uint16_t repeat = 0;       // "Repeat"
    uint16_t repeatDelay = 0;  // "RepeatDelay"
    uint16_t key6Flag = 0;     // "Key6Flag"
    uint16_t pollingRate = 0;  // "PollingRate"
    uint16_t wFlag = 0;        // "WFlag"
    uint16_t winFlag = 0;      // "WinFlag"
    friend bool operator==(const KeyboardSystemStages&, const KeyboardSystemStages&) = default;
};
static_assert(sizeof(KeyboardSystemStages) == 12);

struct MouseSystemStages {
    uint16_t doubleClickTime = 0;   // "DoubleClickTime"
    uint16_t mouseSpeed = 0;        // "MouseSpeed"
    uint16_t pointerPrecision = 0;  // "PointerPrecision"
    uint16_t scrollPage = 0;        // "ScorllPage"
    uint16_t wheelScrollLines = 0;  // "WheelScorlllinse"
    uint16_t reportStage = 0;       // "ReportStages"."StageActive"
    friend bool operator==(const MouseSystemStages&, const MouseSystemStages&) = default;
};
static_assert(sizeof(MouseSystemStages) == 12);

// One mouse DPI stage; resolutions are sensor step indexes, not DPI values.
struct DpiStage {
    uint8_t active = 0;   // "StageActive": the stage's own enable flag
    uint8_t xy = 0;       // "StageXY"
    uint16_t dpiX = 0;    // "StageDPIX"
    uint16_t dpiY = 0;    // "StageDPIY"
    uint8_t red = 0;      // "StageColorR"
    uint8_t green = 0;    // "StageColorG"
    uint8_t blue = 0;     // "StageColorB"
    friend bool operator==(const DpiStage&, const DpiStage&) = default;
};

// A mouse correction preset ("CorrectInfo" element).
struct CorrectPreset {
    uint8_t pixThresh = 0;  // "CorrectPixThresh"
    uint8_t minSq = 0;      // "CorrectMinSq"
    uint8_t select = 0;     // "CorrectSelect"
    QString name;           // "CorrectName"
    friend bool operator==(const CorrectPreset&, const CorrectPreset&) = default;
};

// One key's colour in a keyboard custom colour group.
struct LightColor {
    uint8_t red = 0;    // "Red"
    uint8_t green = 0;  // "Green"
    uint8_t blue = 0;   // "Blue"
    uint8_t alpha = 0;  // "Alpha"
    friend bool operator==(const LightColor&, const LightColor&) = default;
};
static_assert(sizeof(LightColor) == 4);

// The headset's "SystemSetStages", in key order.
struct HeadsetSystemSetStages {
    int32_t magicEnable = 0;         // "MagicEnable"
    int32_t magicType = 0;           // "MagicType"
    int32_t eqType = 0;              // "EqType"
    int32_t customEqSelectIndex = 0; // "CustomEqSeletIndex"
    int32_t micInSelect = 0;         // "MicInSelect"
    int32_t micInValue = 0;          // "MicInValue"
    int32_t micMonitorSelect = 0;    // "MicMoniterSelect"
    int32_t micMonitorValue = 0;     // "MicMoniterValue"
    friend bool operator==(const HeadsetSystemSetStages&, const HeadsetSystemSetStages&) = default;
};
static_assert(sizeof(HeadsetSystemSetStages) == 32);
