#include "devices/CVantikMousePadDevice.h"

#include "devices/LightingTables.h"
#include "profiles/DataPaths.h"

#include <algorithm>

namespace {

// The LED pairs the paired ring lights together.
constexpr int kPairs[7][2] = {{1, 14}, {2, 13}, {3, 12}, {4, 11}, {5, 10}, {6, 9}, {7, 8}};

}  // namespace

CVantikMousePadDevice::CVantikMousePadDevice(QWidget* parent) : CVantikUSBDevice(parent)
{
    m_deviceType = 3;
    m_deviceName = QStringLiteral("hard_mp_device_name_text");
    m_ring[0] = 1;
}

CVantikMousePadDevice::~CVantikMousePadDevice()
{
    ShutDown();
}

void CVantikMousePadDevice::LoadNameLists()
{
    m_names.Load(DeviceNameLists::MousePad, paths::defaultLightFile(), paths::lightConfigFile(m_folderName),
                 paths::macroListFile(DataFolder()));
    if (!m_names.modeValues().empty())
        m_modeList = m_names.modeValues();
}

int CVantikMousePadDevice::ApplyLightSettings()
{
    m_live = blocks::ApplyPadLight(m_live, m_profile.GetLightInfo());
    ApplyProfileLight();
    return 1;
}

int CVantikMousePadDevice::ReloadProfile()
{
    if (!LoadSelectedProfile())
        return 0;
    return ApplyLightSettings();
}

void CVantikMousePadDevice::RefreshPanel()
{
    LoadNameLists();
    CVantikUSBDevice::RefreshPanel();
}

void CVantikMousePadDevice::OnConnected()
{
    LoadNameLists();
    ReadInformationBlock();
    // What the pad holds now, so the bytes only the pad knows go back as it has them; the
    // lighting is the profile's.
    ReadLiveBlock();
    ReloadProfile();
    RefreshPanel();
    StartLightThread();
}

bool CVantikMousePadDevice::ReadLiveBlock()
{
    SetSameLighting(0);
    m_liveBackup = m_live;
    std::array<uint8_t, blocks::kPadReadLength> block{};
    uint8_t profile = 0;
    if (m_transport.isReady()) {
        if (m_transport.readSettings(&profile, 1, 0) != 1 ||
            m_transport.readSettings(block.data(), uint32_t(block.size()), blocks::kPadReadStride * profile) != 1) {
            // A failed read leaves what the page knew.
            m_live = m_liveBackup;
            return false;
        }
    }
    std::copy_n(block.begin(), blocks::kPadLength, m_live.begin());
    m_live[0] = profile;
    m_live[1] = uint8_t(blocks::ModeItemOf(m_modeList, m_live[1], m_live[1]));
    m_live[3] = uint8_t(4 - std::min<int>(m_live[3], 4));
    return m_transport.isReady() != 0;
}

void CVantikMousePadDevice::ReadSettings()
{
    if (!ReadLiveBlock())
        return;
    // A change made on the pad (a lighting key) becomes the profile's lighting.
    LightInfo light = m_profile.GetLightInfo();
    light.mode = m_live[1];
    light.brightness = m_live[2];
    light.speed = m_live[3];
    light.direction = m_live[4];
    light.multicolour = m_live[5];
    light.red = m_live[6];
    light.green = m_live[7];
    light.blue = m_live[8];
    if (!m_profile.GetProfilePath().isEmpty()) {
        m_profile.SetLightInfo(light);
        SaveProfile();
        ApplyProfileLight();
    }
    // The same announcement covers the charger: a phone laid down or taken away.
    ReadStatus();
}

blocks::PadBlock CVantikMousePadDevice::BuildSettingsBlock() const
{
    return blocks::BuildPadBlock(m_live, m_modeList, m_live[1], m_live[3]);
}

int CVantikMousePadDevice::WriteSettings(int slot)
{
    m_live = blocks::ApplyPadLight(m_live, m_profile.GetLightInfo());
    const blocks::PadBlock block = BuildSettingsBlock();
    if (!m_transport.isReady())
        return 0;
    m_transport.openSession();
    const int result = m_transport.writeSettings(block.data(), uint32_t(block.size()), blocks::kPadWriteStride * uint32_t(slot));
    m_transport.closeSession();
    return result;
}

// --- Lighting preview ---

bool CVantikMousePadDevice::IsStillMode(uint8_t mode) const
{
    return mode == 3 || mode == 8;
}

void CVantikMousePadDevice::RenderMode(uint8_t mode)
{
    ++m_passes;
    switch (mode) {
    case 0: RenderWave(); break;
    case 1: RenderSpectrum(); break;
    case 2: RenderBreathing(); break;
    case 4: RenderFlash(); break;
    case 6: RenderRing(false); break;
    case 7: RenderRing(true); break;
    case 8: RenderOff(); break;
    default: RenderStatic(); break;
    }
}

void CVantikMousePadDevice::RenderWave()
{
    const LightState s = GetLightState();
    const uint8_t level = lighting::BrightnessOf(s.brightness);
    m_phase = lighting::Step(s.direction, s.multicolour ? lighting::kWheelSize : 96, m_phase, 1);
    for (size_t i = 0; i < m_render.size(); ++i) {
        if (s.multicolour) {
            const lighting::Rgb rgb = lighting::ColourWheel()[(m_phase + 1 + 7 * i) % lighting::kWheelSize];
            m_render[i] = {rgb.red, rgb.green, rgb.blue, level};
        } else {
            const size_t at = (m_phase + 1 + 7 * i) % 96;
            const uint8_t curve = lighting::BreathingCurve()[at * lighting::kBreathingSteps / 96];
            m_render[i] = {s.red, s.green, s.blue, uint8_t((curve * level) >> 8)};
        }
    }
}

void CVantikMousePadDevice::MarkRingLeds()
{
    for (size_t i = 0; i < m_ring.size() && i < m_levels.size() && i < m_render.size(); ++i)
        if (m_ring[i])
            m_levels[i] = 255;
}

void CVantikMousePadDevice::RotateFirst(int n, bool towardsEnd)
{
    n = std::clamp(n, 1, int(m_ring.size()));
    if (towardsEnd)
        std::rotate(m_ring.begin(), m_ring.begin() + (n - 1), m_ring.begin() + n);
    else
        std::rotate(m_ring.begin(), m_ring.begin() + 1, m_ring.begin() + n);
}

void CVantikMousePadDevice::RenderRing(bool paired)
{
    const LightState s = GetLightState();
    const uint8_t level = lighting::BrightnessOf(s.brightness);
    const size_t count = m_render.size();
    if (m_passes % 2 == 0) {
        MarkRingLeds();
        if (paired)
            RotateFirst(8, !s.direction);
        else
            RotateFirst(int(std::min<size_t>(count, 23)), s.direction != 0);
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
        for (int p = 0; p < 7; ++p) {
            DecayLedLevel(p, 6);
            position = uint8_t((position + 12) % lighting::kWheelSize);
            for (int led : kPairs[p])
                paint(led, m_levels[size_t(p)]);
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
