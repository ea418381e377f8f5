#pragma once

#include "devices/CVantikUSBDevice.h"
#include "profiles/CMouseProfiledata.h"

// The mouse, by cable or through its receiver: buttons, DPI stages, polling rate, lighting in
// seven LED groups and its battery.
class CVantikMouseDevice : public CVantikUSBDevice {
    Q_OBJECT
public:
    explicit CVantikMouseDevice(QWidget* parent = nullptr);
    ~CVantikMouseDevice() override;

    QString GetClass() const override { return QStringLiteral("VantikUSBDevice"); }
    CBasicProfiledata& Profile() override { return m_profile; }

    int ApplyLightSettings() override;
    void OnConnected() override;
    int ReloadProfile() override;
    int CheckWirelessLink() override;
protected:
    void RenderMode(uint8_t mode) override;
    bool IsStillMode(uint8_t mode) const override;
    uint32_t TickMs() const override { return 2; }

private:
    CMouseProfiledata m_profile;

    // --- Shoot patterns ---
public:
    // Writes the shoot image (the four gun patterns as one macro image, command 0x17) in a
    // session; through the receiver only while the mouse answers. A result code (1 success).
    int WriteShootData(const std::vector<uint8_t>& image);
};
