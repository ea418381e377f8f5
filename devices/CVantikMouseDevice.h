#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

#include "devices/CVantikUSBDevice.h"
#include "devices/MouseSensor.h"
#include "devices/SettingsBlocks.h"
#include "profiles/CMouseProfiledata.h"
#include "profiles/DeviceNameLists.h"

class QButtonGroup;
class QColorDialog;

// The mouse, by cable or through its receiver: eleven buttons, five DPI stages with their
// colours, the polling rate, lighting in seven LED groups and its battery.
//
// Behind the receiver every command of a write group is preceded by the wireless link check; a
// mouse that does not answer ends the group with 0 and the page says so.
class CVantikMouseDevice : public CVantikUSBDevice {
    Q_OBJECT
public:
    static constexpr int kButtons = 11;
    static constexpr int kLeds = 15;
    static constexpr int kNotFound = 170;
    static constexpr int kPollingRates = 4;

    explicit CVantikMouseDevice(QWidget* parent = nullptr);
    ~CVantikMouseDevice() override;

    // How a DPI stage's colour is chosen: `parent` the page, `rgb` the stage's colour (0xRRGGBB);
    // the chosen colour, or none when the user cancelled. The application installs its palette
    // window; without one, Qt's colour dialog is used. An empty function restores that.
    using StageColourChooser = std::function<std::optional<uint32_t>(QWidget* parent, uint32_t rgb, int stage)>;
    static void SetStageColourChooser(StageColourChooser chooser);

    QString GetClass() const override { return QStringLiteral("VantikUSBDevice"); }
    CBasicProfiledata& Profile() override { return m_profile; }
    CMouseProfiledata& MouseProfile() { return m_profile; }

    int ApplyLightSettings() override;
    void OnConnected() override;
    void ReadSettings() override;
    int ReloadProfile() override;
    void RefreshPanel() override;
    void LoadNameLists() override;
    LightModeList LightModes() const override { return {m_names.modeNames(), m_names.modeVisible()}; }
    std::vector<int> CollectUsedMacros() override;
    // `assignments`: three code bytes per button position (0 to 10).
    KeyStep ButtonTableWriteStep(int bank, const std::vector<uint8_t>& assignments);
    KeyStep KeyTableWriteStep(int bank) override;
    KeyStep MacroWriteStep(const std::vector<int>& macros) override;
    // Slot 0, first byte 0, third byte 1 and the primary screen's size in pixels.
    Request SettingsWriteJob(int slot) override;
    Request SettingsWriteJob(int slot, int firstByte, int thirdByte, int width, int height);
    void SelectFunctionPage(int page) override;
    void ResetEffectState() override;
    void MarkRingLeds() override;
    bool HandlePanelNotify(TNotifyUI& msg) override;
    void HandleDeviceEvent(uint32_t code) override;

    // Writes a shoot-pattern image (command 0x17) in a session, link-checked behind the
    // receiver. The transport's result code; 0 when the mouse is out of reach. Post... queues it
    // on the I/O worker (the shoot editor); Write... runs it on the calling thread.
    Request ShootWriteJob(const std::vector<uint8_t>& image);
    int WriteShootData(const std::vector<uint8_t>& image);
    void PostShootData(const std::vector<uint8_t>& image, std::function<void(IoResult)> landed);
    // The image of the four "ShootData_N.Shoot" files of the mouse's folder, written as above;
    // -1 when no image can be built from them.
    int WriteShootPatterns();

    // Button position -> key slot of the mouse's table (kNotFound where absent).
    const std::array<int, kButtons>& ButtonSlots() const { return m_buttonSlots; }
    const MouseSensor& Sensor() const { return m_sensor; }
    profilecheck::Limits ProfileLimits() const override;
    // The last settings block read (71 bytes, byte 0 the active profile).
    const std::array<uint8_t, blocks::kMouseReadLength>& SettingsMirror() const { return m_mirror; }
    // The block WriteSettings would send now.
    std::array<uint8_t, blocks::kMouseWriteLength> BuildSettingsBlock(int firstByte, int thirdByte,
                                                                     int width, int height);
    int ActiveProfile() const { return m_current[0]; }

protected:
    void BeforeProfilePush(std::function<void()> then) override;
    // Settings, then the macros, then the button table; a macro transfer that fails stops it.
    std::function<PushResult(CommandTransport&)> ProfilePushJob() override;
    void LinkChecked(bool answers) override;
    void KeysWritten(const KeyWriteResult& result) override;
    void SettingsWritten(const IoResult& result) override;
    void RenderMode(uint8_t mode) override;
    bool IsStillMode(uint8_t mode) const override;
    int LightSequenceModel() const override { return DeviceNameLists::Mouse; }
    // The custom effect: modes 10 and above.
    bool PlaysLightSequence(uint8_t mode) const override { return mode >= 10; }
    uint32_t TickMs() const override { return 2; }

private:
    // The link check that precedes every command behind the receiver (on the I/O worker); true
    // on the cable. False, with the result marked out of reach, when the mouse does not answer.
    static bool LinkAnswers(CommandTransport& t, IoResult& result);
    // Where a request that went through the link check lands: the page says whether the mouse
    // is out of reach.
    void TakeLink(const IoResult& result);
    // Posts the read of the session, information block and key table; the buttons are found in
    // it where it lands, then `then` runs.
    void ReadMouse(std::function<void()> then);
    void IdentifyButtons();
    // Where the settings read-back lands.
    void SettingsRead(uint8_t profile, std::array<uint8_t, blocks::kMouseReadLength> block);
    // The button table built from the assignments and written (on the I/O worker).
    static int WriteButtonTable(CommandTransport& t, KeyWriteResult& r, int bank,
                                const std::vector<uint8_t>& assignments, const std::vector<uint8_t>& base,
                                const std::array<int, kButtons>& slotOf, const CommandTransport::InfoBlock& info,
                                int count);
    // The page's status line: a text id, or the connection state when empty.
    void ShowLinkProblem(bool problem);

    // The page.
    void BindDpiControls();
    void ShowDpiStages();
    void ShowDpiStage(int stage);
    void ShowPollingRate();
    void ShowSystemStages();
    void StoreStages(const std::vector<DpiStage>& stages, bool write);
    void SetStageIndex(int stage, int index, bool write);
    void SelectStage(int stage);
    void PickStageColour(int stage);
    void SelectOptionPage(int page);
    void StoreSystemValue(const QString& control, int value);

    // Effects of the light thread.
    void RenderGroupWave();
    void RenderRingChase();
    void RenderReaction();

    CMouseProfiledata m_profile;
    DeviceNameLists m_names;
    std::vector<int> m_modeList;
    MouseSensor m_sensor;
    // The stage radios and the polling-rate buttons each exclusive among themselves only: left
    // auto-exclusive, showing the polling rate took the check off the active stage's radio.
    QButtonGroup* m_stageGroup = nullptr;
    QButtonGroup* m_pollingGroup = nullptr;
    std::vector<uint8_t> m_keyTable;
    // Unknown until the mouse's table has been read.
    std::array<int, kButtons> m_buttonSlots = [] {
        std::array<int, kButtons> unknown{};
        unknown.fill(kNotFound);
        return unknown;
    }();
    // Active profile, mode, brightness, speed, direction, colourful, red, green, blue.
    std::array<uint8_t, 9> m_current{}, m_currentBackup{};
    std::array<uint8_t, blocks::kMouseReadLength> m_mirror{};
    bool m_linkProblem = false;
    QColorDialog* m_colourDialog = nullptr;

    // The reaction effect's per-LED state (1 rising, 2 falling) and colour positions; set by
    // the UI thread on a click, read by the light thread under the state lock.
    std::array<uint8_t, kLeds> m_keyStates{};
    std::array<uint8_t, kLeds> m_keyColours{};
    std::array<uint8_t, kLeds> m_keyLevels{};
    int m_tick = 0;
};
