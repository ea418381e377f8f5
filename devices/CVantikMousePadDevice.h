#pragma once

#include "devices/CVantikUSBDevice.h"
#include "profiles/CBasicProfiledata.h"

// The lit mouse pad that charges a phone: lighting and the phone-charging status.
class CVantikMousePadDevice : public CVantikUSBDevice {
    Q_OBJECT
public:
    explicit CVantikMousePadDevice(QWidget* parent = nullptr);
    ~CVantikMousePadDevice() override;

    QString GetClass() const override { return QStringLiteral("VantikMousePadDevice"); }
    CBasicProfiledata& Profile() override { return m_profile; }

    int ApplyLightSettings() override;
    void OnConnected() override;
    int ReloadProfile() override;

protected:
    void RenderMode(uint8_t mode) override;
    bool IsStillMode(uint8_t mode) const override;
    uint32_t TickMs() const override { return 1; }
    // The pad shows battery, charging and the kind of phone on it.
    bool ReadsStatusBlock() const override { return true; }

private:
    CBasicProfiledata m_profile;
};
