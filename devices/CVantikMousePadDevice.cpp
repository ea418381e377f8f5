#include "devices/CVantikMousePadDevice.h"

CVantikMousePadDevice::CVantikMousePadDevice(QWidget* parent) : CVantikUSBDevice(parent)
{
    m_deviceType = 3;
    m_deviceName = QStringLiteral("hard_mp_device_name_text");
}

CVantikMousePadDevice::~CVantikMousePadDevice()
{
    ShutDown();
}

int CVantikMousePadDevice::ApplyLightSettings()
{
    ApplyProfileLight();
    return 1;
}

int CVantikMousePadDevice::ReloadProfile()
{
    if (!LoadSelectedProfile())
        return 0;
    return ApplyLightSettings();
}

void CVantikMousePadDevice::RenderMode(uint8_t mode)
{
    switch (mode) {
    case 1: RenderSpectrum(); break;
    case 2: RenderBreathing(); break;
    case 4: RenderFlash(); break;
    case 8: RenderOff(); break;
    default: RenderStatic(); break;
    }
}

bool CVantikMousePadDevice::IsStillMode(uint8_t mode) const
{
    return mode == 3 || mode == 8;
}

void CVantikMousePadDevice::OnConnected()
{
    ReadInformationBlock();
    ReloadProfile();
    RefreshPanel();
    StartLightThread();
}
