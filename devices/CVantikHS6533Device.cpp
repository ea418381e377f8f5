#include "devices/CVantikHS6533Device.h"

CVantikHS6533Device::CVantikHS6533Device(QWidget* parent) : CVantikUSBDevice(parent)
{
    m_deviceType = 7;
    m_deviceName = QStringLiteral("hd_device_name_text");
}

CVantikHS6533Device::~CVantikHS6533Device()
{
    ShutDown();
}

int CVantikHS6533Device::ApplyLightSettings()
{
    ApplyProfileLight();
    return 1;
}

int CVantikHS6533Device::ReloadProfile()
{
    if (!LoadSelectedProfile())
        return 0;
    return ApplyLightSettings();
}

void CVantikHS6533Device::RenderMode(uint8_t mode)
{
    switch (mode) {
    case 1: RenderSpectrum(); break;
    case 2: RenderBreathing(); break;
    case 4: RenderFlash(); break;
    case 8: RenderOff(); break;
    default: RenderStatic(); break;
    }
}

bool CVantikHS6533Device::IsStillMode(uint8_t mode) const
{
    return mode == 3 || mode == 8;
}

void CVantikHS6533Device::OnConnected()
{
    ReloadProfile();
    RefreshPanel();
    StartLightThread();
}

void CVantikHS6533Device::PushLightingFrame()
{
    // The headset takes its lighting as short output reports rather than command frames; until
    // those are sent, the page's preview alone follows the colour list.
    if (!m_lightingControl.load())
        return;
    std::vector<LedColour> leds;
    uint64_t generation = 0;
    if (!TakeChangedColours(leds, generation))
        return;
    UpdatePreview(leds);
    m_lastPushedGeneration = generation;
}
