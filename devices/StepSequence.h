#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "devices/LightTypes.h"
#include "profiles/ProfileRecords.h"

namespace lighting {

// Plays a profile's light sequence (the custom effect's list of steps) over a list of LEDs: the
// keyboard's 170 key positions or the handful of LEDs of a mouse, mouse pad or headset.
//
// The current step plays until its duration has passed since it began, then the next one (after
// the last, the first); an empty sequence renders every LED off. A pass counter and a step phase,
// shared by all steps, pace the step's renderer: breathing (kind 0), static (1) and wave (4)
// render once the counter reaches the speed's threshold (28, 23, 18, 13, 7 passes), the colour
// wheel (5) once it reaches 10, 8, 5, 3 or 1, and these renders clear the counter; flash (2)
// renders on every pass and toggles by the flash period. Between two renders the LEDs keep what
// they showed. Call Render once per light-thread pass.
//
// Not thread-safe: one object belongs to one light thread.
class StepSequence {
public:
    StepSequence() { m_steps.reserve(64); }

    // Replaces the sequence; playback starts again at its first step.
    void SetSteps(const std::vector<LedEffectStep>& steps);
    // Restarts playback and clears the counters, the wheel colour and the flash state (an
    // effect restart).
    void Reset();

    // One pass over `count` LEDs. The wave (kind 4) places each LED by `positions[i]` (negative
    // counts as 0): the keyboard passes its keys' matrix columns. Without a position table an
    // LED's position is its index in the list, so over a mouse's or a pad's LEDs the wave runs
    // along the list order.
    void Render(LedColour* leds, size_t count, uint64_t nowMs, const int8_t* positions = nullptr);

    bool Empty() const { return m_steps.empty(); }
    size_t CurrentStep() const { return m_index; }

private:
    std::vector<LedEffectStep> m_steps;
    size_t m_index = 0;
    uint64_t m_startMs = 0;
    bool m_started = false;
    uint8_t m_passCounter = 0;
    uint8_t m_phase = 0;
    uint8_t m_colour = 0;   // the running wheel position of the colourful kinds
    uint8_t m_flashOn = 0;
    uint64_t m_lastFlashMs = 0;
};

}  // namespace lighting
