#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <vector>

#include "profiles/ProfileRecords.h"

// A device object whose effects run without a connection: each call of Render is one step of
// the light thread through the class's own RenderMode, on the class's own colour list.
template <class Device>
class EffectProbe : public Device {
public:
    using Device::Device;
    void Render(uint8_t mode) { this->RenderStep(mode); }
    // The flash period counts as passed, so the next flash step toggles without waiting for it.
    void MakeFlashDue() { this->m_lastFlashToggleMs = 0; }
    uint8_t Phase() const { return this->m_phase; }
    uint8_t ColourIndex() const { return this->m_colourIndex; }
    uint8_t& Level(int i) { return this->m_levels[size_t(i)]; }
    std::array<uint8_t, 23>& Ring() { return this->m_ring; }
    // The light sequence as the profile would hand it over.
    void SetSequence(const std::vector<LedEffectStep>& steps) { this->SetLightSequence(steps); }
    // The step player's clock; the steady clock until a test sets it.
    std::optional<uint64_t> clockMs;
    uint64_t LightClockMs() const override { return clockMs ? *clockMs : Device::LightClockMs(); }
};
