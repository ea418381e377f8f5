#pragma once

#include "devices/CVantikUSBDevice.h"
#include "profiles/CKeyboardProfiledata.h"

// The keyboard: a 104/108-key picture whose keys light as the keyboard does, its settings block,
// key table, macros and the keyboard lighting engine.
class CVantikKeyboardDevice : public CVantikUSBDevice {
    Q_OBJECT
public:
    explicit CVantikKeyboardDevice(QWidget* parent = nullptr);
    ~CVantikKeyboardDevice() override;

    QString GetClass() const override { return QStringLiteral("VantikKeyboardDevice"); }
    CBasicProfiledata& Profile() override { return m_profile; }

    int ApplyLightSettings() override;
    void OnConnected() override;
    int ReloadProfile() override;
    int CheckWirelessLink() override;
    void LightingControlNotice(uint32_t on) override;
protected:
    void RenderMode(uint8_t mode) override;
    bool IsStillMode(uint8_t mode) const override;
    uint32_t TickMs() const override { return 2; }

private:
    CKeyboardProfiledata m_profile;
};
