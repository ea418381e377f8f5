#include "devices/CVantikMousePadDevice.h"

#include "devices/LightingTables.h"
#include "profiles/DataPaths.h"

#include <algorithm>

namespace {


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
    return IsPadTableStill(mode);
}

void CVantikMousePadDevice::RenderMode(uint8_t mode)
{
    RenderPadTable(mode);
}

void CVantikMousePadDevice::RenderPadWave()
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
    MarkRingOverLedList();
}
