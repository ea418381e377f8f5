#pragma once


#include "devices/CVantikUSBDevice.h"
#include "devices/KeyboardEffects.h"
#include "profiles/CKeyboardProfiledata.h"

#include <array>
#include <atomic>
#include <deque>
#include <memory>

class KeyReportListener;

// The keyboard: a 104/108-key picture whose keys light as the keyboard does, its settings block,
// key table, macros and the keyboard lighting engine.
class CVantikKeyboardDevice : public CVantikUSBDevice {
    Q_OBJECT
public:
    static constexpr int kKeyPositions = lighting::kKeyPositions;
    static constexpr uint8_t kUnknown = 255;
    static constexpr uint32_t kSettingsBlock = 27;
    static constexpr uint32_t kSettingsStride = 26;
    // Assignment types that run a macro of the macro list.
    static constexpr uint8_t kMacroType = 0x70;
    static constexpr uint8_t kMacroRepeatType = 0x71;

    explicit CVantikKeyboardDevice(QWidget* parent = nullptr);
    ~CVantikKeyboardDevice() override;

    QString GetClass() const override { return QStringLiteral("VantikKeyboardDevice"); }
    CBasicProfiledata& Profile() override { return m_profile; }
    CKeyboardProfiledata& KeyboardProfile() { return m_profile; }

    void BindPanelControls() override;
    int ApplyLightSettings() override;
    void PushLightingFrame() override;
    void OnConnected() override;
    void ReadSettings() override;
    void ReadStatus() override;
    int ReloadProfile() override;
    void RefreshPanel() override;
    void ShowKeyAssignments() override;
    void RestoreDefaults() override;
    std::vector<int> CollectUsedMacros() override;
    // The assignments by key position, macros renumbered in the order they are used.
    KeyStep KeyAssignmentsWriteStep(int bank, const std::vector<KeyAssignmentPair>& assignments);
    KeyStep KeyTableWriteStep(int bank) override;
    KeyStep MacroWriteStep(const std::vector<int>& macros) override;
    Request SettingsWriteJob(int slot) override { return SettingsWriteJob(slot, 0); }
    Request SettingsWriteJob(int slot, uint8_t firstByte);
    void LoadNameLists() override;
    LightModeList LightModes() const override { return {m_modeNames, m_visibleList}; }
    // Whether the key at `position` has an LED of its own (known once the keyboard was read).
    bool KeyLit(int position) const
    {
        return position >= 0 && position < kKeyPositions && m_ledMap[size_t(position)] != kUnknown;
    }
    void SelectFunctionPage(int page) override;
    void SetLightBlock(const LightState& state) override;
    void SetAudioLevels(const int* levels, int count) override;
    void SetExternalColour(const int* values, int count) override;
    void LightingControlNotice(uint32_t on) override;
    bool HandlePanelNotify(TNotifyUI& msg) override;
    void HandleDeviceEvent(uint32_t code) override;
    // The key assignment editor works on the keyboard's own copy of the assignments.
    std::vector<KeyAssignmentPair> KeyAssignments() override { return m_keys; }
    void StoreKeyAssignments(const std::vector<KeyAssignmentPair>& keys) override;

    // Posts the custom colour table of the light state's group: the colour list as shown
    // (with its brightness) on entering the custom mode, else the group's colours as stored.
    void WriteCustomColourTable(bool fromColourList);
    // Gives every key of `positions` one colour in the custom mode, stores the group in the
    // profile and writes the table once (the lighting panel's painting of a key selection).
    void PaintCustomKeys(const std::vector<int>& positions, uint8_t red, uint8_t green, uint8_t blue);
    // A key pressed (1) or released (2) on the keyboard, by key slot.
    void OnKeyEvent(int slot, int action);
    // A key the keyboard reported pressed (1) or released (2), by keyboard usage (0xE0-0xE7 the
    // modifiers): handed to the lighting engine as the key that sends it by factory assignment.
    void OnKeyUsage(uint8_t usage, int action);
    // Besides the event reports, the keys reports of the same interface are read (they feed
    // the modes that react to key presses).
    bool AttachListener(const std::string& path, uint16_t deviceType) override;
    void DetachListener(uint16_t deviceType) override;
    bool KeyReportsOpen(bool receiver) const;

    uint8_t SlotOf(int position) const { return m_slotMap[size_t(position)]; }
    uint8_t LedOf(int position) const { return m_ledMap[size_t(position)]; }
    int IdentifiedKeyCount() const;
    uint8_t ActiveDeviceProfile() const { return m_settings[0]; }
    const std::array<uint8_t, kSettingsBlock>& SettingsMirror() const { return m_settingsMirror; }
    bool StreamSuspended(bool wireless) const { return wireless ? m_wirelessSuspended : m_wiredSuspended; }
    // Sets a suspension flag by hand (a slow device); the flags otherwise follow the send times.
    void SetStreamSuspended(bool wireless, bool suspended);
    const std::vector<int>& ModeList() const { return m_modeList; }
    uint64_t PreviewUpdates() const { return m_previewUpdates; }

protected:
    // The whole profile onto the keyboard, as a profile switch does: settings, the macros the
    // keys use, the key table and the custom colours, stopping at the first that fails (macros
    // that do not fit count as failing, with their excess count as the code).
    void BeforeProfilePush(std::function<void()> then) override;
    void ShowPushedProfile() override;
    std::function<PushResult(CommandTransport&)> ProfilePushJob() override;
    void LinkChecked(bool answers) override;
    void RenderMode(uint8_t mode) override;
    bool IsStillMode(uint8_t mode) const override;
    bool StreamsEveryStep(uint8_t mode) const override;
    uint32_t FramePushIntervalMs() const override;
    uint32_t MinWakeMs(uint8_t mode) const override;
    uint32_t TickMs() const override { return 2; }
    uint32_t StepTicks(uint8_t mode, uint8_t speed) const override;
    void ResetEffectState() override;
    bool StepsWanted(uint8_t mode) const override;
    // The picture is only worth animating while the page is on screen.
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    // Frames are streamed in the modes the software drives and whenever a program outside the
    // profile drives the lights; otherwise the keyboard runs its lighting itself.
    bool Streams(uint8_t mode) const;
    void ExternalLightingChanged(bool on) override;

    // Posts the read of the information block, key table and LED map; the keys are identified
    // where it lands, then `then` runs.
    void ReadKeyboard(std::function<void()> then);
    // Where the settings read-back lands.
    void SettingsRead(uint8_t active, std::array<uint8_t, kSettingsBlock> block);
    Request CustomColourTableJob(bool fromColourList);
    void IdentifyKeys();
    void EnterCustomMode();
    int MacroCount() const;
    std::array<uint8_t, kSettingsBlock> BuildSettingsBlock(uint8_t firstByte);
    void StoreSystemStage(const std::function<void(KeyboardSystemStages&)>& change, bool send);
    void ShowSystemStages();
    void ShowRepeatDelay(int index);
    void ShowOnboardProfile();
    // The block is written as on-board profile 1's (its first byte, the active profile, 0): the
    // keyboard is on that profile from then on, and the page says so.
    void SettingsWritten(const IoResult& result) override;
    void PaintPreview(const std::vector<LedColour>& leds);
    // Posts the frame of colour generation `generation`; false while a failed one waits out
    // its pause. Where it lands: the route's suspension follows how long the send took.
    bool SendFrame(const std::vector<LedColour>& leds, uint64_t generation);
    void FrameSent(bool wireless, uint64_t generation, int result, uint64_t tookMs);
    lighting::KeyboardEffectInput EffectInput(const LightState& s) const;

    CKeyboardProfiledata m_profile;
    std::vector<KeyAssignmentPair> m_keys;
    std::array<uint8_t, 23> m_settings{};
    std::array<uint8_t, 23> m_settingsBackup{};
    std::array<uint8_t, kSettingsBlock> m_settingsMirror{};
    KeyboardSystemStages m_stages;
    // Whether the profile and the keyboard's settings have been read since it connected. Until
    // then the system page is disabled and takes no change: what is read next would override
    // the change on the page without sending it.
    bool m_profileLoaded = false;
    void SetSystemPageReady(bool ready);
    std::array<uint8_t, 512> m_keyTableCopy{};
    std::array<uint8_t, 512> m_ledMapCopy{};
    std::array<uint8_t, kKeyPositions> m_slotMap{};
    std::array<uint8_t, kKeyPositions> m_ledMap{};
    std::vector<int> m_modeList;
    std::vector<int> m_visibleList;
    QStringList m_modeNames;

    // The page is on screen (shown, not hidden with the window, minimised or behind another
    // device's page); read by the light thread.
    std::atomic<bool> m_previewOnScreen{false};
    // Streaming suspension: a send slower than 500 ms twice running drops that route.
    bool m_wirelessSuspended = false, m_wiredSuspended = false;
    int m_wirelessSlow = 0, m_wiredSlow = 0;
    std::array<uint8_t, 512> m_frame{};

    // Preview: repainted at a steady rate, whatever the light thread's pace.
    uint64_t m_lastPreviewMs = 0;
    uint64_t m_previewUpdates = 0;
    std::vector<LedColour> m_pushLeds;
    // The colour generation of the last frame handed to the I/O worker: the push timer runs
    // faster than the picture, and a frame already on its way is not sent again.
    uint64_t m_streamedGeneration = ~uint64_t(0);

    // Light thread's own.
    lighting::KeyboardEffects m_effects;
    // Handed from the UI thread to the light thread under the state lock.
    struct Pending {
        std::array<int, 25> audio{};
        bool audioChanged = false;
        std::array<int, 6> external{};
        bool externalChanged = false;
        std::array<std::pair<int16_t, int8_t>, 32> keys{};
        size_t keyCount = 0;
        std::vector<LedEffectStep> steps;
        bool stepsChanged = false;
        std::vector<LightInfo> overlay;  // the profile's per-key effect records
        bool overlayChanged = false;
        uint8_t musicStyle = 0;
        uint8_t musicRed = 0, musicGreen = 0, musicBlue = 0, musicColourful = 0;
    } m_pending;
    uint8_t m_enteredMode = 0xFF;
    std::unique_ptr<KeyReportListener> m_keyReports;
};
