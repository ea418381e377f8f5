#pragma once

#include <array>
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <vector>

#include "devices/LightTypes.h"
#include "devices/StepSequence.h"
#include "hid/WorkerThread.h"
#include "profiles/ProfileRecords.h"

// A device's software lighting: the lighting choice (light state), the LED colour list the
// effects render into, the running state of the effects (phase, colour index, flash, per-LED
// levels, ring, light sequence) and the light thread that steps the effect.
//
// Threads: the light thread renders into a private copy of the colour list and publishes it
// under the colour lock (raising the list's generation); the UI thread changes the light state
// under the state lock and reads the colour list (for frames and the preview) under the colour
// lock. The effect state (phase, levels, ring, step player) belongs to the light thread between
// steps; the UI thread asks for a restart instead of touching it. Neither lock is held longer
// than a copy.
//
// The device classes derive from this (through CVantikUSBDevice) and replace the renderers and
// the pacing hooks below; they must stop the light thread in their destructors (ShutDown does),
// since it calls back into them.
class DeviceEffectState {
public:
    DeviceEffectState();
    virtual ~DeviceEffectState();
    DeviceEffectState(const DeviceEffectState&) = delete;
    DeviceEffectState& operator=(const DeviceEffectState&) = delete;

    // --- Base effects (light thread): each fills every entry of the colour list being rendered ---
    virtual void RenderBreathing();
    virtual void RenderBreathingFourColours();
    virtual void RenderStatic();
    virtual void RenderSpectrum();
    virtual void RenderFlash();
    virtual void RenderFlashFourColours();
    virtual void RenderOff();
    virtual void DecayLedLevel(int led, int kind);
    virtual void MarkRingLeds();
    virtual void RotateRing(int direction);
    virtual void ResetEffectState();
    // The ring of the mouse pad and the headset (modes 6 and 7): ring bytes marked every second
    // pass, rotated over the first bytes, each LED decaying; paired, LED p goes with LED count - p.
    void RenderPadRing(bool paired);
    // The mode table the mouse pad and the headset share: their own wave (0), spectrum,
    // breathing, static (3), flash, ring, paired ring, off (8), the light sequence elsewhere.
    void RenderPadTable(uint8_t mode);
    virtual void RenderPadWave() { RenderStatic(); }
    static bool IsPadTableStill(uint8_t mode) { return mode == 3 || mode == 8; }
    // Rotates the first n ring bytes one place towards the end (or towards the front).
    void RotateRingBytes(int n, bool towardsEnd);
    // Level 255 for every LED of the colour list whose ring byte is set.
    void MarkRingOverLedList();

    // --- The LED colour list (any thread) ---
    virtual void SetLedColour(int index, uint32_t colour);
    virtual uint32_t GetLedColour(int index) const;
    // A copy of the LED colour list.
    std::vector<LedColour> LedColours() const;
    uint32_t LedCount() const { return m_ledCount; }

    // --- The lighting choice ---
    virtual void SetLightBlock(const LightState& state);
    LightState GetLightState() const;
    // The light state of a profile's lighting choice.
    static LightState LightStateOf(const LightInfo& info);
    void SetSameLighting(uint32_t on) { m_sameLighting = on; }
    uint32_t SameLighting() const { return m_sameLighting.load(); }

    // --- The light thread ---
    // Starts, and stops, the light thread (restarting a running one).
    void StartLightThread();
    void StopLightThread();
    // Called when the lighting choice changed so a resting light thread renders at once.
    void WakeLightThread();

protected:
    // Sizes the colour list and the per-LED levels for n LEDs, all dark.
    void ResizeLeds(uint32_t n);
    // Whether the light thread renders now (the device is connected); while not, it polls.
    virtual bool LightsReady() const = 0;
    // The colour list changed (a rendered step, a colour set from outside): frames and the
    // preview should follow. Called on the light thread or the caller's.
    virtual void ColoursChanged() = 0;
    // The debug trace written when the light thread ends.
    virtual const char* LightExitTrace() const { return "MS灯光线程设定退出"; }

    // The base effect of the light thread for `mode`; the device classes map their modes.
    virtual void RenderMode(uint8_t mode);
    // Milliseconds per light-thread tick: the keyboard and mouse count a tick whenever two
    // milliseconds have passed, the mouse pad and headset every pass of a 1 ms sleep.
    virtual uint32_t TickMs() const { return 2; }
    // Light-thread ticks between two steps of `mode` at `speed`; the device classes whose
    // modes run at their own pace replace it.
    virtual uint32_t StepTicks(uint8_t mode, uint8_t speed) const;
    // Whether `mode` looks the same on every step (static, off), so the light thread can rest
    // until the choice changes instead of rendering the same colours again.
    virtual bool IsStillMode(uint8_t mode) const;
    // Renders one step into a private copy of the list, published afterwards.
    void RenderStep(uint8_t mode);
    // The same for `steps` steps in a row, published once.
    void RenderSteps(uint8_t mode, uint32_t steps);
    // Whether every step of `mode` is streamed to the device as a frame (so steps are not
    // gathered into one wake-up of the light thread).
    virtual bool StreamsEveryStep(uint8_t mode) const
    {
        (void)mode;
        return false;
    }
    // Whether anything takes the steps of `mode` now (frames to the device, a picture on
    // screen). When nothing does, the light thread rests as for a still effect, until it is woken.
    virtual bool StepsWanted(uint8_t mode) const
    {
        (void)mode;
        return true;
    }
    // The light thread wakes at most this often for fast effects (about 30 frames a second,
    // as smooth as the eye follows on a mouse, pad or headset, at half the wake-ups, frames and
    // repaints of 60), and catches up on at most this many steps at once.
    static constexpr uint32_t kMinWakeMs = 33;
    // The wake-up period for fast effects in `mode`: kMinWakeMs unless the device needs its
    // frames less often.
    virtual uint32_t MinWakeMs(uint8_t mode) const
    {
        (void)mode;
        return kMinWakeMs;
    }
    static constexpr uint32_t kMaxStepsPerWake = 64;

    // --- Light sequence (the custom effect's steps) ---
    // Hands `steps` to the light thread's step player; it starts again at the first step.
    void SetLightSequence(const std::vector<LedEffectStep>& steps);
    // Whether `mode` plays the light sequence. The step player paces its steps by passes, so
    // these modes are rendered on every light-thread tick.
    virtual bool PlaysLightSequence(uint8_t mode) const
    {
        (void)mode;
        return false;
    }
    // One pass of the step player over the device's LEDs, in list order (light thread).
    void RenderLightSequence();
    // The millisecond clock the step player times its steps by.
    virtual uint64_t LightClockMs() const;

    void FillAll(LedColour c);

    uint32_t m_ledCount = 0;

    // Guarded by m_colourLock.
    std::vector<LedColour> m_leds;
    uint64_t m_ledGeneration = 0;
    mutable std::mutex m_colourLock;
    // Guarded by m_stateLock.
    LightState m_lightState;
    mutable std::mutex m_stateLock;

    // Effect state: the light thread's own between steps (reset under the state lock).
    uint8_t m_phase = 0, m_colourIndex = 0, m_flashOn = 0;
    uint64_t m_lastFlashToggleMs = 0;
    std::array<uint8_t, 170> m_levels{};
    std::array<uint8_t, 23> m_ring{};
    uint32_t m_ringPass = 0;
    std::vector<LedColour> m_render;  // the light thread's scratch copy of the list
    lighting::StepSequence m_stepPlayer;  // the light thread's own
    // Guarded by m_stateLock: a light sequence waiting for the light thread.
    std::vector<LedEffectStep> m_pendingSequence;
    bool m_sequenceChanged = false;

    std::atomic<bool> m_effectRestart{false};
    std::atomic<uint32_t> m_sameLighting{0};
    // The colour list is set from outside, LED by LED (a client of the SDK server in its
    // per-LED mode): the light thread renders nothing and rests until this ends.
    std::atomic<bool> m_directColours{false};

private:
    void LightLoop(const hid::Event& exit);

    hid::WorkerThread m_lightThread;
    std::mutex m_wakeLock;
    std::condition_variable m_wake;
    bool m_wakeRequested = false;
};
