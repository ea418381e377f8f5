#include "devices/StepSequence.h"

#include "devices/KeyboardEffects.h"
#include "devices/LightingTables.h"

#include <algorithm>

namespace lighting {
namespace {

// A speed level beyond the table plays at the slowest speed.
uint8_t clampSpeed(uint8_t s) { return s < kSpeedLevels ? s : 0; }
uint8_t scaled(uint8_t full, uint8_t level) { return uint8_t((full * level) >> 8); }

}  // namespace

void StepSequence::SetSteps(const std::vector<LedEffectStep>& steps)
{
    m_steps.assign(steps.begin(), steps.end());
    m_index = 0;
    m_started = false;
    m_passCounter = 0;
    m_phase = 0;
}

void StepSequence::Reset()
{
    m_index = 0;
    m_started = false;
    m_passCounter = 0;
    m_phase = 0;
    m_colour = 0;
    m_flashOn = 0;
    m_lastFlashMs = 0;
}

void StepSequence::Render(LedColour* leds, size_t count, uint64_t nowMs, const int8_t* positions)
{
    auto fill = [&](LedColour c) { std::fill(leds, leds + count, c); };
    if (m_steps.empty()) {
        fill({});
        return;
    }
    if (!m_started) {
        m_started = true;
        m_startMs = nowMs;
    }
    if (m_index >= m_steps.size()) m_index = 0;
    if (nowMs - m_startMs >= uint64_t(std::max(0, m_steps[m_index].time))) {
        m_index = (m_index + 1) % m_steps.size();
        m_startMs = nowMs;
    }
    const LedEffectStep& step = m_steps[m_index];
    const uint8_t speed = clampSpeed(step.speed);
    const uint8_t bright = BrightnessOf(step.brightness);
    ++m_passCounter;
    auto due = [&](uint8_t threshold) {
        if (m_passCounter < threshold) return false;
        m_passCounter = 0;
        return true;
    };
    switch (step.mode) {
    case 0: {
        if (!due(kTickThreshold[speed])) return;
        m_phase = uint8_t((m_phase + 1) % kBreathingSteps);
        if (m_phase == 0) m_colour = uint8_t(m_colour + 16 >= kWheelSize ? 0 : m_colour + 16);
        const uint8_t level = scaled(bright, BreathingCurve()[m_phase]);
        if (step.multicolour) {
            const Rgb w = ColourWheel()[m_colour];
            fill({w.red, w.green, w.blue, level});
        } else {
            fill({step.red, step.green, step.blue, level});
        }
        break;
    }
    case 1:
        if (!due(kTickThreshold[speed])) return;
        m_phase = uint8_t((m_phase + 1) % 9);
        fill({step.red, step.green, step.blue, bright});
        break;
    case 2:
        if (m_passCounter >= kTickThreshold[speed]) m_passCounter = 0;
        m_phase = uint8_t((m_phase + 1) % kBreathingSteps);
        if (nowMs - m_lastFlashMs >= FlashPeriodMs(speed)) {
            m_flashOn = !m_flashOn;
            m_lastFlashMs = nowMs;
            m_colour = uint8_t((m_colour + 14) % kWheelSize);
        }
        if (!m_flashOn) {
            fill({});
        } else if (step.multicolour) {
            const Rgb w = ColourWheel()[m_colour];
            fill({w.red, w.green, w.blue, bright});
        } else {
            fill({step.red, step.green, step.blue, bright});
        }
        break;
    case 4: {
        if (!due(kTickThreshold[speed])) return;
        m_phase = uint8_t((m_phase + 1) % kWheelSize);
        const auto& curve = KeyboardLayout::WaveCurve();
        // One loop per way of placing the LEDs, so the keyboard's per-key pass stays branch-free.
        const auto& wheel = ColourWheel();
        const bool colourful = step.multicolour != 0;
        const uint8_t phase = m_phase, red = step.red, green = step.green, blue = step.blue;
        auto paint = [&](auto positionOf) {
            for (size_t k = 0; k < count; ++k) {
                const int at = positionOf(k);
                if (colourful) {
                    const Rgb w = wheel[size_t((phase + 12 * at) % kWheelSize)];
                    leds[k] = {w.red, w.green, w.blue, bright};
                } else {
                    leds[k] = {red, green, blue, scaled(bright, curve[size_t((phase + 12 * at) % 96)])};
                }
            }
        };
        if (positions)
            paint([positions](size_t k) { return std::max<int>(0, positions[k]); });
        else
            paint([](size_t k) { return int(k); });
        break;
    }
    case 5: {
        if (!due(kKeyboardTickThreshold[speed])) return;
        m_phase = uint8_t((m_phase + 1) % kWheelSize);
        const Rgb w = ColourWheel()[m_phase];
        fill({w.red, w.green, w.blue, bright});
        break;
    }
    default:
        fill({});
        break;
    }
}

}  // namespace lighting
