#pragma once

#include "devices/CVantikUSBDevice.h"
#include "devices/SettingsBlocks.h"
#include "profiles/CBasicProfiledata.h"
#include "profiles/DeviceNameLists.h"

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
    void ReadSettings() override;
    int ReloadProfile() override;
    void RefreshPanel() override;
    void LoadNameLists() override;
    LightModeList LightModes() const override { return {m_names.modeNames(), m_names.modeVisible()}; }
    // Writes the pad's 21 bytes at 64 × slot; callers pass slot 0.
    Request SettingsWriteJob(int slot) override;
    void MarkRingLeds() override;

    // The live block: what the pad last reported with the profile's lighting put in.
    blocks::PadBlock LiveSettings() const { return m_live; }
    // The block WriteSettings would send now.
    blocks::PadBlock BuildSettingsBlock() const;

protected:
    void RenderMode(uint8_t mode) override;
    bool IsStillMode(uint8_t mode) const override;
    void RenderPadWave() override;
    int LightSequenceModel() const override { return DeviceNameLists::MousePad; }
    // The custom effect: mode 5, and 9 and above.
    bool PlaysLightSequence(uint8_t mode) const override { return mode == 5 || mode >= 9; }
    uint32_t TickMs() const override { return 1; }
    // The pad shows battery, charging and the kind of phone on it.
    bool ReadsStatusBlock() const override { return true; }

private:
    // The pad's block as read on the I/O worker: the active profile and its block.
    struct LiveRead : IoResult {
        uint8_t profile = 0;
        std::array<uint8_t, blocks::kPadReadLength> block{};
        bool ready = false;
    };
    static LiveRead ReadLiveIo(CommandTransport& t);
    // Takes a block read into the live settings; false when nothing was read.
    bool TakeLiveBlock(const LiveRead& read);
    // Where the settings read-back lands: a change made on the pad becomes the profile's.
    void SettingsRead(const LiveRead& read);

    CBasicProfiledata m_profile;
    DeviceNameLists m_names;
    std::vector<int> m_modeList;
    blocks::PadBlock m_live{}, m_liveBackup{};
};
