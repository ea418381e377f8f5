#include "devices/CVantikKeyboardDevice.h"

CVantikKeyboardDevice::CVantikKeyboardDevice(QWidget* parent) : CVantikUSBDevice(parent)
{
    m_deviceType = 1;
    m_deviceName = QStringLiteral("kb_device_name_text");
}

CVantikKeyboardDevice::~CVantikKeyboardDevice()
{
    ShutDown();
}

int CVantikKeyboardDevice::ApplyLightSettings()
{
    ApplyProfileLight();
    return 1;
}

int CVantikKeyboardDevice::ReloadProfile()
{
    if (!LoadSelectedProfile())
        return 0;
    return ApplyLightSettings();
}

void CVantikKeyboardDevice::RenderMode(uint8_t mode)
{
    // The keyboard's own effects replace this; until then every mode shows its colour.
    (void)mode;
    RenderStatic();
}

bool CVantikKeyboardDevice::IsStillMode(uint8_t mode) const
{
    (void)mode;
    return true;
}

void CVantikKeyboardDevice::OnConnected()
{
    ReadInformationBlock();
    ReloadProfile();
    RefreshPanel();
    StartLightThread();
}

int CVantikKeyboardDevice::CheckWirelessLink()
{
    return m_transport.checkWirelessLink() ? 1 : 0;
}

void CVantikKeyboardDevice::LightingControlNotice(uint32_t on)
{
    CVantikUSBDevice::LightingControlNotice(on);
    // The keyboard runs its own lighting until told that the software drives it again.
    if (on && m_transport.isReady())
        m_transport.lightingControlNotice();
}
