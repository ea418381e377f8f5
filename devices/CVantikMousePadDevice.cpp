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
    // The information block, then what the pad holds now, so the bytes only the pad knows go
    // back as it has them; the lighting is the profile's.
    PostConnectionRead<LiveRead>(&CVantikMousePadDevice::ReadLiveIo, [this](const LiveRead& live) {
        TakeLiveBlock(live);
        ReloadProfile();
        RefreshPanel();
        StartLightThread();
    });
}

CVantikMousePadDevice::LiveRead CVantikMousePadDevice::ReadLiveIo(CommandTransport& t)
{
    LiveRead r;
    r.ready = t.isReady() != 0;
    if (!r.ready)
        return r;
    r.code = t.readSettings(&r.profile, 1, 0);
    if (r.code == 1)
        r.code = t.readSettings(r.block.data(), uint32_t(r.block.size()), blocks::kPadReadStride * r.profile);
    return r;
}

bool CVantikMousePadDevice::TakeLiveBlock(const LiveRead& r)
{
    m_liveBackup = m_live;
    // A failed read leaves what the page knew.
    if (r.ready && !r.ok())
        return false;
    std::copy_n(r.block.begin(), blocks::kPadLength, m_live.begin());
    m_live[0] = r.profile;
    m_live[1] = uint8_t(blocks::ModeItemOf(m_modeList, m_live[1], m_live[1]));
    m_live[3] = uint8_t(4 - std::min<int>(m_live[3], 4));
    return r.ready;
}

void CVantikMousePadDevice::ReadSettings()
{
    PostIo<LiveRead>(IoKind::Read, &CVantikMousePadDevice::ReadLiveIo, [this, mark = CommandsPosted()](LiveRead r) {
        if (ReadBackCurrent(mark))
            SettingsRead(r);
        else
            ReadStatus();  // the charger state the announcement may also mean
    });
}

void CVantikMousePadDevice::SettingsRead(const LiveRead& read)
{
    // The pad changed its own lighting: it no longer shares the others'. (The connection's
    // read takes only the pad's own bytes and leaves a shared lighting as it is.)
    SetSameLighting(0);
    if (!TakeLiveBlock(read))
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

CVantikUSBDevice::Request CVantikMousePadDevice::SettingsWriteJob(int slot)
{
    m_live = blocks::ApplyPadLight(m_live, m_profile.GetLightInfo());
    const blocks::PadBlock block = BuildSettingsBlock();
    return [block, slot](CommandTransport& t) {
        if (!t.isReady())
            return IoResult{0};
        t.openSession();
        const int result = t.writeSettings(block.data(), uint32_t(block.size()), blocks::kPadWriteStride * uint32_t(slot));
        t.closeSession();
        return IoResult{result};
    };
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
