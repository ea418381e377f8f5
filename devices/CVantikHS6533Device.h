#pragma once

#include "devices/CVantikUSBDevice.h"
#include "profiles/CHs6533Profiledata.h"

// The USB headset: its lighting over short output reports, and the audio chip's equaliser,
// microphone and voice effects.
class CVantikHS6533Device : public CVantikUSBDevice {
    Q_OBJECT
public:
    explicit CVantikHS6533Device(QWidget* parent = nullptr);
    ~CVantikHS6533Device() override;

    QString GetClass() const override { return QStringLiteral("VantikHS6533Device"); }
    CBasicProfiledata& Profile() override { return m_profile; }

    int ApplyLightSettings() override;
    void OnConnected() override;
    int ReloadProfile() override;
    void PushLightingFrame() override;
protected:
    void RenderMode(uint8_t mode) override;
    bool IsStillMode(uint8_t mode) const override;
    uint32_t TickMs() const override { return 1; }

private:
    CHs6533Profiledata m_profile;
};
