#include "app/LightingSync.h"

#include "devices/CVantikUSBDevice.h"
#include "devices/LightingTables.h"
#include "hid/DebugLog.h"

#include <chrono>

namespace app {

namespace {
uint64_t nowMs()
{
    using namespace std::chrono;
    return uint64_t(duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
}
uint32_t pack(lighting::Rgb c, uint8_t brightness)
{
    return uint32_t(c.red) | (uint32_t(c.green) << 8) | (uint32_t(c.blue) << 16) | (uint32_t(brightness) << 24);
}
}  // namespace

void LightingSync::SetDevices(std::vector<CVantikUSBDevice*> devices)
{
    std::lock_guard lock(m_lock);
    m_devices = std::move(devices);
}

void LightingSync::SetSettings(const Settings& settings)
{
    std::lock_guard lock(m_lock);
    m_settings = settings;
}

LightingSync::Settings LightingSync::GetSettings() const
{
    std::lock_guard lock(m_lock);
    return m_settings;
}

std::vector<CVantikUSBDevice*> LightingSync::Targets() const
{
    std::vector<CVantikUSBDevice*> out;
    std::lock_guard lock(m_lock);
    for (CVantikUSBDevice* d : m_devices) {
        if (d->SameLighting() && d->Transport().isReady())
            out.push_back(d);
    }
    return out;
}

void LightingSync::Run(const hid::Event& exit)
{
    // With no device marked it rests a second at a time; with some, it sleeps until the next
    // step is due (2 ms per tick), so it never spins. The exit event ends either wait at once.
    for (;;) {
        const std::vector<CVantikUSBDevice*> targets = Targets();
        if (targets.empty()) {
            if (exit.wait(1000))
                break;
            continue;
        }
        const Settings s = GetSettings();
        Step(s, targets, nowMs());
        if (exit.wait(uint32_t(lighting::TickThreshold(s.speed)) * 2))
            break;
    }
    qCDebug(tesselDebug) << "同步灯光线程设定退出";
}

void LightingSync::Step(const Settings& s, const std::vector<CVantikUSBDevice*>& targets, uint64_t now)
{
    const auto& wheel = lighting::ColourWheel();
    const uint8_t level = lighting::BrightnessOf(s.brightness);
    lighting::Rgb colour = s.multicolour ? wheel[m_wheel % lighting::kWheelSize] : lighting::Rgb{s.red, s.green, s.blue};
    uint32_t packed = 0;
    switch (s.family) {
    case 0:
        if (s.direction)
            m_breathing = uint8_t((m_breathing + 1) % lighting::kBreathingSteps);
        else
            m_breathing = m_breathing == 0 ? uint8_t(lighting::kBreathingSteps - 1) : uint8_t(m_breathing - 1);
        if (s.multicolour && m_breathing < 2) {
            m_wheel = uint8_t(m_wheel + 16 >= lighting::kWheelSize ? 0 : m_wheel + 16);
            colour = wheel[m_wheel];
        }
        packed = pack(colour, uint8_t(level * lighting::BreathingCurve()[m_breathing] / 256));
        break;
    case 1:
        packed = pack(colour, level);
        break;
    case 2:
        if (now - m_lastToggleMs >= uint64_t(lighting::TickThreshold(s.speed)) * 200) {
            m_lastToggleMs = now;
            m_flashOn = !m_flashOn;
            m_wheel = uint8_t(m_wheel + 14 >= lighting::kWheelSize ? 0 : m_wheel + 14);
        }
        packed = m_flashOn ? pack(s.multicolour ? wheel[m_wheel] : colour, level) : 0;
        break;
    case 3:
        m_wheel = uint8_t((m_wheel + 1) % lighting::kWheelSize);
        packed = pack(wheel[m_wheel], level);
        break;
    default:
        packed = 0;
        break;
    }
    for (CVantikUSBDevice* d : targets) {
        for (uint32_t led = 0; led < d->LedCount(); ++led)
            d->SetLedColour(int(led), packed);
    }
}

}  // namespace app
