#pragma once

#include "hid/Event.h"

#include <cstdint>
#include <mutex>
#include <vector>

class CVantikUSBDevice;

namespace app {

// The lighting sync thread's work: one shared effect rendered onto every device marked for
// same lighting. The main window hands it a view of its device lists (devices are never
// destroyed while it runs) and the settings of the same-lighting action; both are copied under
// a lock, so the thread never reads a list the UI thread is changing.
class LightingSync {
public:
    struct Settings {
        uint8_t family = 1;       // 0 breathing, 1 steady, 2 flashing, 3 wheel, 4 off
        uint8_t brightness = 4;   // level 0..4
        uint8_t speed = 2;        // level 0..4
        uint8_t direction = 1;
        uint8_t multicolour = 0;
        uint8_t red = 255, green = 255, blue = 255;
    };

    // Mice, mouse pads, headsets and keyboards: the order the colour is written in.
    void SetDevices(std::vector<CVantikUSBDevice*> devices);
    void SetSettings(const Settings& settings);
    Settings GetSettings() const;

    // The thread body; returns once `exit` is set.
    void Run(const hid::Event& exit);
    // One step of the shared effect for the devices given (tests call it directly).
    void Step(const Settings& s, const std::vector<CVantikUSBDevice*>& targets, uint64_t nowMs);

private:
    std::vector<CVantikUSBDevice*> Targets() const;

    mutable std::mutex m_lock;
    std::vector<CVantikUSBDevice*> m_devices;
    Settings m_settings;
    uint8_t m_breathing = 0, m_wheel = 0, m_flashOn = 0;
    uint64_t m_lastToggleMs = 0;
};

}  // namespace app
