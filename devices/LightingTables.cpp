#include "devices/LightingTables.h"

#include <chrono>

namespace lighting {

namespace {

constexpr std::array<uint8_t, 32> kRising = {1,   3,   5,   7,   10,  14,  18,  22,
                                             26,  32,  38,  44,  50,  57,  65,  73,
                                             81,  89,  99,  109, 119, 129, 140, 152,
                                             164, 176, 188, 200, 213, 227, 241, 255};
// Not the mirror of the rising ramp: the wheel falls a little faster than it rises.
constexpr std::array<uint8_t, 32> kFalling = {248, 234, 220, 206, 194, 182, 170, 158,
                                              146, 134, 124, 114, 104, 94,  85,  77,
                                              69,  61,  53,  47,  41,  35,  29,  24,
                                              20,  16,  12,  8,   6,   4,   2,   0};
constexpr std::array<uint8_t, 64> kBreathingRise = {
    0,   1,   2,   3,   4,   5,   6,   7,   8,   9,   10,  12,  14,  16,  18,  20,
    22,  24,  27,  30,  33,  36,  39,  42,  45,  49,  53,  57,  61,  65,  69,  73,
    77,  81,  85,  89,  94,  99,  104, 109, 114, 119, 124, 129, 134, 140, 146, 152,
    158, 164, 170, 176, 182, 188, 194, 200, 206, 213, 220, 227, 234, 241, 248, 255};

}  // namespace

const std::array<Rgb, kWheelSize>& ColourWheel()
{
    static const std::array<Rgb, kWheelSize> wheel = [] {
        std::array<Rgb, kWheelSize> w{};
        for (int i = 0; i < 32; ++i) {
            w[size_t(i)] = {255, kRising[size_t(i)], 0};
            w[size_t(32 + i)] = {kFalling[size_t(i)], 255, 0};
            w[size_t(64 + i)] = {0, 255, kRising[size_t(i)]};
            w[size_t(96 + i)] = {0, kFalling[size_t(i)], 255};
            w[size_t(128 + i)] = {kRising[size_t(i)], 0, 255};
            w[size_t(160 + i)] = {255, 0, kFalling[size_t(i)]};
        }
        return w;
    }();
    return wheel;
}

const std::array<uint8_t, kBreathingSteps>& BreathingCurve()
{
    static const std::array<uint8_t, kBreathingSteps> curve = [] {
        std::array<uint8_t, kBreathingSteps> c{};
        for (int i = 0; i < 64; ++i) {
            c[size_t(i)] = kBreathingRise[size_t(i)];
            c[size_t(127 - i)] = kBreathingRise[size_t(i)];
        }
        return c;
    }();
    return curve;
}

uint64_t NowMs()
{
    using namespace std::chrono;
    return uint64_t(duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
}

uint8_t BrightnessOf(uint8_t level)
{
    return level < kBrightness.size() ? kBrightness[level] : kBrightness.back();
}

uint32_t FlashPeriodMs(uint8_t speedLevel)
{
    return uint32_t(speedLevel < kFlashPeriod.size() ? kFlashPeriod[speedLevel] : kFlashPeriod[0]) * 200;
}

uint8_t TickThreshold(uint8_t speedLevel)
{
    return speedLevel < kTickThreshold.size() ? kTickThreshold[speedLevel] : kTickThreshold[0];
}

uint8_t Step(uint8_t direction, uint8_t limit, uint8_t current, uint8_t delta)
{
    if (direction) {
        const unsigned next = unsigned(current) + delta;
        return next >= limit ? 0 : uint8_t(next);
    }
    const uint8_t next = uint8_t(current - delta);
    // Below zero wraps to a large byte: restart from the top.
    return next >= limit ? uint8_t(limit - delta) : next;
}

}  // namespace lighting
