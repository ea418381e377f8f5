#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

// The constant tables and the step function shared by every device's software lighting.
namespace lighting {

struct Rgb {
    uint8_t red = 0, green = 0, blue = 0;
    friend bool operator==(const Rgb&, const Rgb&) = default;
};

inline constexpr int kWheelSize = 192;
inline constexpr int kBreathingSteps = 128;
inline constexpr int kBrightnessLevels = 5;
inline constexpr int kSpeedLevels = 5;

// 192 colours in six segments of 32: red with green rising, green with red falling, green with
// blue rising, blue with green falling, blue with red rising, red with blue falling.
const std::array<Rgb, kWheelSize>& ColourWheel();
// 128 brightness values rising to 255 and back.
const std::array<uint8_t, kBreathingSteps>& BreathingCurve();
// Red, green, blue of the four-colour effects.
inline constexpr std::array<Rgb, 4> kBaseColours = {
    Rgb{0, 255, 180}, Rgb{0, 255, 0}, Rgb{255, 255, 255}, Rgb{255, 0, 0}};
// Brightness by brightness level 0..4.
inline constexpr std::array<uint8_t, kBrightnessLevels> kBrightness = {0, 80, 135, 195, 255};
// Flash period by speed level 0..4, in units of 200 ms.
inline constexpr std::array<uint8_t, kSpeedLevels> kFlashPeriod = {28, 23, 18, 13, 7};
// Light-thread ticks per effect step by speed level 0..4 (mouse, mouse pad, headset, and the
// lighting sync of several devices).
inline constexpr std::array<uint8_t, kSpeedLevels> kTickThreshold = {28, 23, 18, 13, 7};
// The keyboard's faster ticks per step by speed level 0..4 (its own modes, and the colour-wheel
// step of a light sequence on every device).
inline constexpr std::array<uint8_t, kSpeedLevels> kKeyboardTickThreshold = {10, 8, 5, 3, 1};

// The brightness of a level, full brightness for a level beyond the table.
uint8_t BrightnessOf(uint8_t level);
// The flash period of a speed level in milliseconds; the slowest for a level beyond the table.
uint32_t FlashPeriodMs(uint8_t speedLevel);
// Ticks per step of a speed level; the slowest for a level beyond the table.
uint8_t TickThreshold(uint8_t speedLevel);

// The milliseconds of a monotonic clock: the tick count the effects time themselves by.
uint64_t NowMs();

// One step of a running position: up by delta (back to 0 on reaching limit) when direction is
// non-zero, else down by delta (restarting from limit - delta when it would fall below 0).
uint8_t Step(uint8_t direction, uint8_t limit, uint8_t current, uint8_t delta);

}  // namespace lighting
