#include "devices/DeviceEffectState.h"

#include "devices/LightingTables.h"
#include "hid/DebugLog.h"

#include <algorithm>
#include <chrono>

namespace {

constexpr uint32_t kLightStopMs = 1000;

}  // namespace

DeviceEffectState::DeviceEffectState() = default;

DeviceEffectState::~DeviceEffectState()
{
    // The device classes stop it first (it calls back into them); this only guards the rest.
    StopLightThread();
}

void DeviceEffectState::ResizeLeds(uint32_t n)
{
    {
        std::lock_guard lock(m_colourLock);
        m_leds.assign(n, LedColour{});
        ++m_ledGeneration;
    }
    m_ledCount = n;
    m_levels.fill(0);
}

void DeviceEffectState::SetLedColour(int index, uint32_t colour)
{
    {
        std::lock_guard lock(m_colourLock);
        if (index < 0 || size_t(index) >= m_leds.size())
            return;
        const LedColour c{uint8_t(colour), uint8_t(colour >> 8), uint8_t(colour >> 16), uint8_t(colour >> 24)};
        if (m_leds[size_t(index)] == c)
            return;
        m_leds[size_t(index)] = c;
        ++m_ledGeneration;
    }
    ColoursChanged();
}

uint32_t DeviceEffectState::GetLedColour(int index) const
{
    std::lock_guard lock(m_colourLock);
    if (index < 0 || size_t(index) >= m_leds.size())
        return 0;
    const LedColour c = m_leds[size_t(index)];
    return uint32_t(c.red) | (uint32_t(c.green) << 8) | (uint32_t(c.blue) << 16) | (uint32_t(c.brightness) << 24);
}

std::vector<LedColour> DeviceEffectState::LedColours() const
{
    std::lock_guard lock(m_colourLock);
    return m_leds;
}

LightState DeviceEffectState::GetLightState() const
{
    std::lock_guard lock(m_stateLock);
    return m_lightState;
}

void DeviceEffectState::SetLightBlock(const LightState& state)
{
    {
        std::lock_guard lock(m_stateLock);
        m_lightState = state;
    }
    WakeLightThread();
}

// --- Base effects (light thread) ---

void DeviceEffectState::FillAll(LedColour c)
{
    std::fill(m_render.begin(), m_render.end(), c);
}

void DeviceEffectState::RenderBreathing()
{
    const LightState s = GetLightState();
    m_phase = lighting::Step(s.direction, lighting::kBreathingSteps, m_phase, 1);
    if (m_phase == 0) {
        m_colourIndex = uint8_t(m_colourIndex + 16);
        if (m_colourIndex >= lighting::kWheelSize)
            m_colourIndex = 0;
    }
    const lighting::Rgb rgb = s.multicolour ? lighting::ColourWheel()[m_colourIndex % lighting::kWheelSize]
                                            : lighting::Rgb{s.red, s.green, s.blue};
    const auto level = uint8_t((lighting::BreathingCurve()[m_phase % lighting::kBreathingSteps] *
                                lighting::BrightnessOf(s.brightness)) >> 8);
    FillAll({rgb.red, rgb.green, rgb.blue, level});
}

void DeviceEffectState::RenderBreathingFourColours()
{
    const LightState s = GetLightState();
    m_phase = lighting::Step(s.direction, lighting::kBreathingSteps, m_phase, 1);
    if (m_phase == 0)
        m_colourIndex = uint8_t((m_colourIndex + 1) % 4);
    const lighting::Rgb rgb = lighting::kBaseColours[m_colourIndex % 4];
    const auto level = uint8_t((lighting::BreathingCurve()[m_phase % lighting::kBreathingSteps] *
                                lighting::BrightnessOf(s.brightness)) >> 8);
    FillAll({rgb.red, rgb.green, rgb.blue, level});
}

void DeviceEffectState::RenderStatic()
{
    const LightState s = GetLightState();
    FillAll({s.red, s.green, s.blue, lighting::BrightnessOf(s.brightness)});
}

void DeviceEffectState::RenderSpectrum()
{
    const LightState s = GetLightState();
    m_phase = lighting::Step(s.direction, lighting::kWheelSize, m_phase, 1);
    const lighting::Rgb rgb = lighting::ColourWheel()[m_phase % lighting::kWheelSize];
    FillAll({rgb.red, rgb.green, rgb.blue, lighting::BrightnessOf(s.brightness)});
}

void DeviceEffectState::RenderFlash()
{
    const LightState s = GetLightState();
    const uint64_t now = lighting::NowMs();
    if (now - m_lastFlashToggleMs >= lighting::FlashPeriodMs(s.speed)) {
        m_flashOn = !m_flashOn;
        m_lastFlashToggleMs = now;
        m_colourIndex = uint8_t(m_colourIndex + 16);
        if (m_colourIndex >= lighting::kWheelSize)
            m_colourIndex = 0;
    }
    if (!m_flashOn) {
        FillAll({});
        return;
    }
    const lighting::Rgb rgb = s.multicolour ? lighting::ColourWheel()[m_colourIndex % lighting::kWheelSize]
                                            : lighting::Rgb{s.red, s.green, s.blue};
    FillAll({rgb.red, rgb.green, rgb.blue, lighting::BrightnessOf(s.brightness)});
}

void DeviceEffectState::RenderFlashFourColours()
{
    const LightState s = GetLightState();
    const uint64_t now = lighting::NowMs();
    if (now - m_lastFlashToggleMs >= lighting::FlashPeriodMs(s.speed)) {
        m_flashOn = !m_flashOn;
        m_lastFlashToggleMs = now;
        m_colourIndex = uint8_t((m_colourIndex + 1) % 4);
    }
    if (!m_flashOn) {
        FillAll({});
        return;
    }
    const lighting::Rgb rgb = lighting::kBaseColours[m_colourIndex % 4];
    FillAll({rgb.red, rgb.green, rgb.blue, lighting::BrightnessOf(s.brightness)});
}

void DeviceEffectState::RenderOff()
{
    FillAll({});
}

void DeviceEffectState::DecayLedLevel(int led, int kind)
{
    if (led < 0 || size_t(led) >= m_levels.size())
        return;
    uint8_t& v = m_levels[size_t(led)];
    if (kind == 0) {
        if (v & 0x80) v = uint8_t(v - 40);
        else if (v & 0x40) v = uint8_t(v - 30);
        else if (v & 0x20) v = uint8_t(v - 15);
        else if (v >= 17) v = uint8_t(v - 8);
        else if (v > 0) v = uint8_t(v - 1);
    } else if (kind == 11 || kind == 29) {
        // The reactive rise: a fresh level climbs through bits 4 to 6 before it decays. Once a
        // level has none of bits 4 to 7 it can only be below 16, so it fades by one.
        if ((v & 0x90) == 0x90) v = uint8_t(v + 211);
        else if (v & 0x80) v = uint8_t(v - 40);
        else if (v & 0x70) v = uint8_t(v + 221);
        else if (v > 16) v = uint8_t(v - 5);
        else if (v > 0) v = uint8_t(v - 1);
    } else {
        if (v & 0x80) v = uint8_t(v - 40);
        else if (v & 0x40) v = uint8_t(v - 30);
        else if (v & 0x20) v = uint8_t(v - 10);
        else if (v >= 17) v = uint8_t(v - 8);
        else if (v > 0) v = uint8_t(v - 1);
    }
}

void DeviceEffectState::MarkRingLeds()
{
    for (size_t i = 0; i < 9; ++i) {
        if (m_ring[i])
            m_levels[i] = 255;
    }
}

void DeviceEffectState::MarkRingOverLedList()
{
    for (size_t i = 0; i < m_ring.size() && i < m_levels.size() && i < m_render.size(); ++i)
        if (m_ring[i])
            m_levels[i] = 255;
}

void DeviceEffectState::RotateRingBytes(int n, bool towardsEnd)
{
    n = std::clamp(n, 1, int(m_ring.size()));
    if (towardsEnd)
        std::rotate(m_ring.begin(), m_ring.begin() + (n - 1), m_ring.begin() + n);
    else
        std::rotate(m_ring.begin(), m_ring.begin() + 1, m_ring.begin() + n);
}

void DeviceEffectState::RenderPadTable(uint8_t mode)
{
    if (PlaysLightSequence(mode)) {
        RenderLightSequence();
        return;
    }
    switch (mode) {
    case 0: RenderPadWave(); break;
    case 1: RenderSpectrum(); break;
    case 2: RenderBreathing(); break;
    case 4: RenderFlash(); break;
    case 6: RenderPadRing(false); break;
    case 7: RenderPadRing(true); break;
    case 8: RenderOff(); break;
    default: RenderStatic(); break;
    }
}

void DeviceEffectState::RenderPadRing(bool paired)
{
    const LightState s = GetLightState();
    const uint8_t level = lighting::BrightnessOf(s.brightness);
    const size_t count = m_render.size();
    // A ring cleared with the effect state starts again from its first LED.
    if (std::none_of(m_ring.begin(), m_ring.end(), [](uint8_t b) { return b != 0; }))
        m_ring[0] = 1;
    if (m_ringPass++ % 2 == 0) {
        MarkRingLeds();
        if (paired)
            RotateRingBytes(8, !s.direction);
        else
            RotateRingBytes(int(std::min<size_t>(count, 23)), s.direction != 0);
    }
    const bool hold = s.direction ? m_levels[0] != 0 : (count < m_levels.size() && m_levels[count] != 0);
    uint8_t position = m_phase;
    auto paint = [&](int led, uint8_t ledLevel) {
        if (led < 0 || size_t(led) >= count)
            return;
        LedColour& c = m_render[size_t(led)];
        const lighting::Rgb rgb = s.multicolour ? lighting::ColourWheel()[position]
                                                : lighting::Rgb{s.red, s.green, s.blue};
        const auto shown = uint8_t((ledLevel * level) >> 8);
        if (hold && (c.red | c.green | c.blue))
            c.brightness = shown;
        else
            c = {rgb.red, rgb.green, rgb.blue, shown};
    };
    if (paired) {
        // LED p goes with LED count - p, mirrored around LED 0 (1/14 ... 7/8 on the pad's 15),
        // seven pairs at most.
        const int pairs = std::min(7, (int(count) - 1) / 2);
        for (int p = 0; p < pairs; ++p) {
            DecayLedLevel(p, 6);
            position = uint8_t((position + 12) % lighting::kWheelSize);
            paint(p + 1, m_levels[size_t(p)]);
            paint(int(count) - 1 - p, m_levels[size_t(p)]);
        }
        paint(0, m_levels[7]);
        DecayLedLevel(7, 6);
    } else {
        for (size_t i = 0; i < count; ++i) {
            DecayLedLevel(int(i), 6);
            position = uint8_t((position + 12) % lighting::kWheelSize);
            paint(int(i), m_levels[i]);
        }
    }
    m_phase = uint8_t((m_phase + 1) % lighting::kWheelSize);
}

void DeviceEffectState::RotateRing(int direction)
{
    if (direction)
        std::rotate(m_ring.rbegin(), m_ring.rbegin() + 1, m_ring.rend());
    else
        std::rotate(m_ring.begin(), m_ring.begin() + 1, m_ring.end());
}

void DeviceEffectState::ResetEffectState()
{
    m_levels.fill(0);
    m_ring.fill(0);
    m_stepPlayer.Reset();
}

void DeviceEffectState::RenderMode(uint8_t mode)
{
    switch (mode) {
    case 1: RenderSpectrum(); break;
    case 2: RenderBreathing(); break;
    case 4: RenderFlash(); break;
    default: RenderStatic(); break;
    }
}

uint32_t DeviceEffectState::StepTicks(uint8_t mode, uint8_t speed) const
{
    if (PlaysLightSequence(mode))
        return 1;
    return lighting::TickThreshold(speed);
}

bool DeviceEffectState::IsStillMode(uint8_t mode) const
{
    return mode == 3;
}

void DeviceEffectState::RenderStep(uint8_t mode)
{
    RenderSteps(mode, 1);
}

void DeviceEffectState::RenderSteps(uint8_t mode, uint32_t steps)
{
    {
        std::lock_guard lock(m_colourLock);
        m_render = m_leds;
    }
    for (uint32_t i = 0; i < steps; ++i)
        RenderMode(mode);
    std::lock_guard lock(m_colourLock);
    // Colours set from outside while this step was rendered win over it.
    if (m_directColours.load())
        return;
    if (m_render.size() == m_leds.size() && m_render != m_leds) {
        m_leds.swap(m_render);
        ++m_ledGeneration;
    }
}

// --- Light thread ---

void DeviceEffectState::StartLightThread()
{
    StopLightThread();
    {
        std::lock_guard lock(m_wakeLock);
        m_wakeRequested = false;
    }
    m_lightThread.Start([this](const hid::Event& exit) { LightLoop(exit); });
}

void DeviceEffectState::StopLightThread()
{
    m_lightThread.RequestStop();
    WakeLightThread();
    if (!m_lightThread.Stop(kLightStopMs))
        qCDebug(tesselDebug) << "线程退出：：对象处于非激发状态，超时";
}

void DeviceEffectState::WakeLightThread()
{
    {
        std::lock_guard lock(m_wakeLock);
        m_wakeRequested = true;
    }
    m_wake.notify_all();
}

void DeviceEffectState::LightLoop(const hid::Event& exit)
{
    // One step per threshold of ticks. Instead of waking every millisecond to count ticks, the
    // thread sleeps until the next step is due; a still effect (static, off) rests until the
    // lighting choice changes. Either way a change or the exit wakes it at once. Fast effects
    // are not woken for every step: the thread wakes at most every MinWakeMs() and renders the
    // steps that fell due, so the effect keeps its speed while the picture and the device get
    // what the eye can follow. Frames streamed to the device still go step by step.
    bool renderedStill = false;
    uint8_t lastMode = 0xFF;
    auto lastStep = std::chrono::steady_clock::now();
    while (!exit.isSet()) {
        uint32_t waitMs = 100;
        bool rest = false;
        if (m_directColours.load()) {
            rest = true;
        } else if (LightsReady() && !m_sameLighting.load()) {
            const LightState s = GetLightState();
            if (m_effectRestart.exchange(false)) {
                m_phase = 0;
                m_colourIndex = 0;
                m_flashOn = 0;
                ResetEffectState();
            }
            if (s.mode != lastMode) {
                renderedStill = false;
                lastMode = s.mode;
            }
            if ((IsStillMode(s.mode) && renderedStill) || !StepsWanted(s.mode)) {
                rest = true;
            } else {
                const uint32_t stepMs = std::max<uint32_t>(1, StepTicks(s.mode, s.speed) * TickMs());
                const auto now = std::chrono::steady_clock::now();
                const auto elapsed = uint32_t(std::chrono::duration_cast<std::chrono::milliseconds>(now - lastStep).count());
                const uint32_t minWakeMs = MinWakeMs(s.mode);
                const bool stepwise = StreamsEveryStep(s.mode) || stepMs >= minWakeMs;
                const uint32_t due = elapsed / stepMs;
                const uint32_t steps = stepwise ? 1 : std::clamp<uint32_t>(due, 1, kMaxStepsPerWake);
                RenderSteps(s.mode, steps);
                // Gathered steps keep the part of a step left over, so the effect runs at its
                // speed whatever the wake-up period; a wake-up that came early or far too late
                // starts counting afresh.
                if (!stepwise && due >= 1 && due <= kMaxStepsPerWake)
                    lastStep += std::chrono::milliseconds(steps * stepMs);
                else
                    lastStep = now;
                renderedStill = IsStillMode(s.mode);
                ColoursChanged();
                waitMs = stepwise ? stepMs : minWakeMs;
            }
        }
        std::unique_lock lock(m_wakeLock);
        auto woken = [&] { return m_wakeRequested || exit.isSet(); };
        if (rest)
            m_wake.wait(lock, woken);
        else
            m_wake.wait_for(lock, std::chrono::milliseconds(waitMs), woken);
        if (m_wakeRequested) {
            m_wakeRequested = false;
            renderedStill = false;
        }
    }
    qCDebug(tesselDebug) << LightExitTrace();
}

LightState DeviceEffectState::LightStateOf(const LightInfo& info)
{
    LightState s;
    s.mode = info.mode;
    s.brightness = info.brightness;
    s.speed = info.speed;
    s.direction = info.direction;
    s.multicolour = info.multicolour;
    s.red = info.red;
    s.green = info.green;
    s.blue = info.blue;
    s.extra[3] = info.zzccMode;
    s.extra[4] = info.customGroup;
    s.extra[5] = info.previousMode;
    return s;
}

void DeviceEffectState::SetLightSequence(const std::vector<LedEffectStep>& steps)
{
    {
        std::lock_guard lock(m_stateLock);
        m_pendingSequence = steps;
        m_sequenceChanged = true;
    }
    WakeLightThread();
}

void DeviceEffectState::RenderLightSequence()
{
    {
        // Only the hand-over runs under the lock; the pass itself runs without it.
        std::lock_guard lock(m_stateLock);
        if (m_sequenceChanged) {
            m_stepPlayer.SetSteps(m_pendingSequence);
            m_sequenceChanged = false;
        }
    }
    m_stepPlayer.Render(m_render.data(), m_render.size(), LightClockMs());
}

uint64_t DeviceEffectState::LightClockMs() const
{
    return lighting::NowMs();
}
