#pragma once

#include <cstdint>

// One LED of a device's colour list: colour and brightness (0..255). Frames carry each
// component as (component x brightness) >> 8.
struct LedColour {
    uint8_t red = 0, green = 0, blue = 0, brightness = 0;
    friend bool operator==(const LedColour&, const LedColour&) = default;
};
static_assert(sizeof(LedColour) == 4);

// An LED's colour as the key buttons' image drawing takes it: red in bits 0-7, blue in 8-15,
// green in 16-23.
inline uint32_t PackForPreview(LedColour c)
{
    return uint32_t(c.red) | (uint32_t(c.blue) << 8) | (uint32_t(c.green) << 16);
}

// The lighting choice the light thread renders: four 32-bit words as the profile gives them.
// Bytes 8-15 belong to the device classes (the keyboard keeps its sub-mode, custom colour group
// and the mode before a game event there).
struct LightState {
    uint8_t mode = 0;         // "SelectItem"
    uint8_t brightness = 0;   // "Light": level 0..4
    uint8_t speed = 0;        // "Speed": level 0 (slowest) .. 4
    uint8_t direction = 0;    // "Fx"
    uint8_t multicolour = 0;  // "MultiColor"
    uint8_t red = 0, green = 0, blue = 0;
    uint8_t extra[8] = {};
    friend bool operator==(const LightState&, const LightState&) = default;
};
static_assert(sizeof(LightState) == 16);
