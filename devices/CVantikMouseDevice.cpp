#include "devices/CVantikMouseDevice.h"

#include "protocol/ResultCodes.h"

CVantikMouseDevice::CVantikMouseDevice(QWidget* parent) : CVantikUSBDevice(parent)
{
    m_deviceType = 2;
    m_deviceName = QStringLiteral("ms_device_name_text");
}

CVantikMouseDevice::~CVantikMouseDevice()
{
    ShutDown();
}

int CVantikMouseDevice::ApplyLightSettings()
{
    ApplyProfileLight();
    return 1;
}

int CVantikMouseDevice::ReloadProfile()
{
    if (!LoadSelectedProfile())
        return 0;
    return ApplyLightSettings();
}

void CVantikMouseDevice::RenderMode(uint8_t mode)
{
    switch (mode) {
    case 1: RenderSpectrum(); break;
    case 2: RenderBreathing(); break;
    case 4: RenderFlash(); break;
    case 7: RenderBreathingFourColours(); break;
    case 8: RenderFlashFourColours(); break;
    case 9: RenderOff(); break;
    default: RenderStatic(); break;
    }
}

bool CVantikMouseDevice::IsStillMode(uint8_t mode) const
{
    return mode == 3 || mode == 9;
}

void CVantikMouseDevice::OnConnected()
{
    ReadInformationBlock();
    ReloadProfile();
    RefreshPanel();
    StartLightThread();
}

int CVantikMouseDevice::CheckWirelessLink()
{
    return m_transport.checkWirelessLink() ? 1 : 0;
}

// --- Shoot patterns ---

int CVantikMouseDevice::WriteShootData(const std::vector<uint8_t>& image)
{
    if (!m_transport.isReady())
        return protocol::kNoReply;
    if (m_transport.isWireless() && !m_transport.checkWirelessLink())
        return protocol::kNoLink;
    m_transport.openSession();
    const int result = m_transport.writeShootData(image.data(), uint32_t(image.size()));
    m_transport.closeSession();
    return result;
}
