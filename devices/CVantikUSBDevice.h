#pragma once

#include <QPointer>
#include <QString>
#include <QStringList>
#include <QWidget>

#include <array>
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <map>
#include <mutex>
#include <vector>

#include "devices/LightTypes.h"
#include "devices/StepSequence.h"
#include "hid/HidChannel.h"
#include "hid/SupportedInterfaces.h"
#include "hid/WorkerThread.h"
#include "profiles/ProfileRecords.h"
#include "protocol/CommandTransport.h"
#include "ui/Notify.h"

class CBasicProfiledata;
class WindowImplBase;
namespace ui {
class CDeviceOptionUI;
class CMpDevicePowerUI;
}


// What discovery hands a new device object before starting it.
struct DeviceSetup {
    QString pageFile;          // its page layout, relative to the skin folder
    WindowImplBase* mainWnd = nullptr;
    uint32_t keyCount = 0;     // key buttons of its picture
    uint32_t ledCount = 0;     // LEDs of its colour list
    int optionIndex = 0;       // its row of the device option table
    uint32_t hasPowerPanel = 0;
    int mouseValue = -1;       // mice only
    QString kindName;          // "mouse", "keyboard", "MousePad", "HD": names its data folder
    ui::CMpDevicePowerUI* powerPanel = nullptr;
    hid::InterfaceEntry entry; // the command entry of its cable route
    int deviceNumber = 0;      // its model index
    QString lightControlName;
};

// Every connected device is one object of a class derived from this one. The object is at once
// the device's page in the window (the root of its page layout) and the owner of what the
// application knows about the device: its command transport, its event listener, its
// information block, its profile, its software lighting state and its threads.
//
// Objects are created the first time a device of their identity appears and live until the
// application ends; a device that goes away keeps its object (transport not ready, tab hidden)
// and finds it again when it returns.
//
// Threads: the UI thread runs every timer and most device commands. The light thread renders
// the lighting effect into the LED colour list; one listener thread per open listener channel
// reads event reports and hands them to the UI thread. The state lock guards the light state
// and effect state, the colour lock the LED colour list; neither is held longer than a copy.
class CVantikUSBDevice : public QWidget {
    Q_OBJECT
public:
    // The device tab's timers.
    static constexpr int kTimerFramePush = 1000;
    static constexpr int kTimerConnect = 1001;
    static constexpr int kTimerReadSettings = 1002;
    static constexpr int kTimerReserved1 = 1003;
    static constexpr int kTimerReserved2 = 1004;
    static constexpr int kTimerStatus = 1005;
    static constexpr int kTimerLinkCheck = 1007;
    // The main window's message that shows (lParam 1) or hides (0) tab wParam.
    static constexpr uint32_t kTabVisibilityMessage = 0x0D03;

    explicit CVantikUSBDevice(QWidget* parent = nullptr);
    ~CVantikUSBDevice() override;

    // The class name of the skin library: "VantikUSBDevice" for the base and the mouse.
    virtual QString GetClass() const { return QStringLiteral("VantikUSBDevice"); }

    // Takes what discovery hands over (sizes, tables, its power panel and register entry).
    void Setup(const DeviceSetup& setup);
    // Binds the panel's controls once the page is built.
    void Start();

    // --- The device classes' operations (the base behaviour unless a class replaces it) ---
    virtual void BindPanelControls();
    virtual int ApplyLightSettings() { return 0; }
    virtual void RenderBreathing();
    virtual void RenderBreathingFourColours();
    virtual void RenderStatic();
    virtual void RenderSpectrum();
    virtual void RenderFlash();
    virtual void RenderFlashFourColours();
    virtual void RenderOff();
    virtual void PushLightingFrame();
    virtual void SetLedColour(int index, uint32_t colour);
    virtual uint32_t GetLedColour(int index) const;
    virtual void OnConnected() {}
    virtual void ReadSettings() {}
    virtual void OnReservedTimer1() {}
    virtual void OnReservedTimer2() {}
    virtual void ReadStatus();
    virtual int CheckWirelessLink() { return 1; }
    virtual int ReloadProfile() { return 0; }
    // Makes the selected profile the device's: reloads it, shows it and writes it to the device
    // (settings; the keyboard and mouse also their macros and key table). 1 when the device took
    // it or is not connected (it gets the profile at its next connection); else the failing
    // command's code.
    virtual int PushProfile();
    virtual void RefreshPanel();
    virtual void ShowKeyAssignments() {}
    virtual void RestoreDefaults() {}
    virtual std::vector<int> CollectUsedMacros() { return {}; }
    virtual int WriteKeyTable(int bank, const std::vector<uint8_t>& table)
    {
        (void)bank, (void)table;
        return 0;
    }
    virtual int WriteCurrentKeyTable(int bank)
    {
        (void)bank;
        return 0;
    }
    virtual int WriteMacros(const std::vector<int>& macros)
    {
        (void)macros;
        return 0;
    }
    virtual int WriteSettings(int slot)
    {
        (void)slot;
        return 0;
    }
    virtual void LoadNameLists() {}
    virtual void SetKeyMap(const std::map<int, int>& map) { m_keyMapExtra = map; }
    virtual void DecayLedLevel(int led, int kind);
    virtual void MarkRingLeds();
    virtual void RotateRing(int direction);
    // The ring of the mouse pad and the headset (modes 6 and 7): ring bytes marked every second
    // pass, rotated over the first bytes, each LED decaying; paired, LED p goes with LED count - p.
    void RenderPadRing(bool paired);
    // The mode table the mouse pad and the headset share: their own wave (0), spectrum,
    // breathing, static (3), flash, ring, paired ring, off (8), the light sequence elsewhere.
    void RenderPadTable(uint8_t mode);
    virtual void RenderPadWave() { RenderStatic(); }
    static bool IsPadTableStill(uint8_t mode) { return mode == 3 || mode == 8; }
    // Rotates the first n ring bytes one place towards the end (or towards the front).
    void RotateRingBytes(int n, bool towardsEnd);
    // Level 255 for every LED of the colour list whose ring byte is set.
    void MarkRingOverLedList();
    virtual void ResetEffectState();
    virtual void SelectFunctionPage(int page);
    virtual int GetFunctionPage() const { return m_functionPage; }
    virtual void BuildProfilePaths();
    virtual QString GetProfileName() const { return {}; }
    virtual void SaveProfile();
    virtual void SetCurrentProfile(int index) { m_currentProfile = index; }
    virtual int GetCurrentProfile() const { return m_currentProfile; }
    virtual void SetLightBlock(const LightState& state);
    virtual void SetPickerColour(int x, int y, int kind);
    virtual std::array<int, 3> GetPickerColour() const { return m_pickerColour; }
    virtual void SelectKey(int index) { m_selectedKey = index; }
    virtual void SetAudioLevels(const int* levels, int count) { (void)levels, (void)count; }
    virtual void SetExternalColour(const int* values, int count) { (void)values, (void)count; }

    // A notification of a control of the device's page (or of a window acting for it) that the
    // main window does not handle itself: clicks, selections, values, list clicks, edits. The
    // device hands it to its panels; true when one of them took it.
    // The base offers it to the page's editor panels (CDevicePanel); a class that handles
    // controls of its own calls the base for the rest.
    virtual bool HandlePanelNotify(TNotifyUI& msg);

    // An event report the listener read (0x401 and the like), on the UI thread. The base
    // schedules the settings read-back for 0x401.
    virtual void HandleDeviceEvent(uint32_t code);

    // --- Key assignment editing ---
    // The keys' current and factory assignments by key index, as the device holds them.
    virtual std::vector<KeyAssignmentPair> KeyAssignments();
    // Replaces the assignments in the device and in the profile held in memory (no file write).
    virtual void StoreKeyAssignments(const std::vector<KeyAssignmentPair>& keys);
    // The page's button of key index `position` ("key_<position>"), or null.
    QWidget* KeyButton(int position) const
    {
        return position >= 0 && size_t(position) < m_keyButtons.size() ? m_keyButtons[size_t(position)] : nullptr;
    }
    // --- Lighting panel support ---
    // The built-in lighting modes of the device's model: a text id and a visible flag per mode,
    // in the order of the lighting record's mode index.
    struct LightModeList {
        QStringList names;
        std::vector<int> visible;
    };
    virtual LightModeList LightModes() const { return {}; }
    // Sends the profile's lighting to the device (its settings block). Skipped, returning 1,
    // while another program holds the lighting or the device is not connected.
    virtual int SendLighting();
    // The page's editor panels, for code that looks for one kind of panel.
    std::vector<QWidget*> Panels() const;

    // --- Non-virtual members used by the main window, discovery and the editors ---
    CommandTransport& Transport() { return m_transport; }
    const hid::InterfaceEntry& StoredEntry() const { return m_entry; }
    void SetStoredEntry(const hid::InterfaceEntry& entry) { m_entry = entry; }
    uint32_t DeviceType() const { return m_deviceType; }
    int ModelIndex() const { return m_modelIndex; }
    int OptionIndex() const { return m_optionIndex; }
    uint32_t HasPowerPanel() const { return m_hasPowerPanel; }
    const QString& FolderName() const { return m_folderName; }
    const QString& DeviceName() const { return m_deviceName; }
    const CommandTransport::InfoBlock& InfoBlock() const { return m_info; }
    // The firmware version shown to the user ("1.23"); empty before the device was read.
    QString FirmwareVersion() const;
    // The last status block read (battery, charging, receiver, phone); empty when none was.
    std::vector<uint8_t> LastStatus() const;

    void SetTab(ui::CDeviceOptionUI* tab) { m_tab = tab; }
    ui::CDeviceOptionUI* Tab() const { return m_tab; }
    ui::CMpDevicePowerUI* PowerPanel() const { return m_powerPanel; }

    // The device's user data folder (created on demand) and its shipped default profile.
    QString DataFolder() const;
    QString DefaultProfileFile() const;
    // The profile object of the class.
    virtual CBasicProfiledata& Profile() = 0;

    // The main window's lighting-control switch (and 0 while the system sleeps).
    virtual void LightingControlNotice(uint32_t on);
    uint32_t LightingControl() const { return m_lightingControl.load(); }
    void SetPreviewFlag(uint32_t on) { m_previewFlag = on; }
    void SetSuppressStatus(uint32_t on) { m_suppressStatus = m_hasPowerPanel ? on : 0; }
    uint32_t SuppressStatus() const { return m_suppressStatus; }
    void SetSameLighting(uint32_t on) { m_sameLighting = on; }
    uint32_t SameLighting() const { return m_sameLighting.load(); }
    uint32_t LedCount() const { return m_ledCount; }
    uint32_t KeyCount() const { return m_keyCount; }
    void SetLightCount(uint32_t n);
    void SetKeyCount(uint32_t n);
    LightState GetLightState() const;
    // A copy of the LED colour list.
    std::vector<LedColour> LedColours() const;

    // Listener channels: A behind the cable, B behind the receiver. `deviceType` picks the
    // channel (the receiver types 6 and 9 take B).
    bool AttachListener(const std::string& path, uint16_t deviceType);
    void DetachListener(uint16_t deviceType);
    bool ListenerOpen(bool receiver) const;

    // The device tab's timers, delivered by the main window.
    void OnTabTimer(int id);
    // Starts (or restarts) timer `id` of the device's tab.
    void StartTabTimer(int id, int ms);
    void StopTabTimer(int id);

    // Starts, and stops, the light thread (restarting a running one).
    void StartLightThread();
    void StopLightThread();
    // Called when the lighting choice changed so a resting light thread renders at once.
    void WakeLightThread();

    // Stops every thread and closes every channel; the object stays usable for a later attach.
    void ShutDown();

signals:
    // The device's shown state changed (name, route, firmware, battery): the tab follows.
    void stateChanged();
    // The key assignments were loaded anew from a profile (a profile switch, a reset, the
    // defaults restored): the key labels and the key editor follow.
    void keyAssignmentsReloaded();

protected:
    // The base effect of the light thread for `mode`; the device classes map their modes.
    virtual void RenderMode(uint8_t mode);
    // Milliseconds per light-thread tick: the keyboard and mouse count a tick whenever two
    // milliseconds have passed, the mouse pad and headset every pass of a 1 ms sleep.
    virtual uint32_t TickMs() const { return 2; }
    // Light-thread ticks between two steps of `mode` at `speed`; the device classes whose
    // modes run at their own pace replace it.
    virtual uint32_t StepTicks(uint8_t mode, uint8_t speed) const;
    // Whether `mode` looks the same on every step (static, off), so the light thread can rest
    // until the choice changes instead of rendering the same colours again.
    virtual bool IsStillMode(uint8_t mode) const;
    // Renders one step into a private copy of the list, published afterwards.
    void RenderStep(uint8_t mode);
    // The same for `steps` steps in a row, published once.
    void RenderSteps(uint8_t mode, uint32_t steps);
    // Whether every step of `mode` is streamed to the device as a frame (so steps are not
    // gathered into one wake-up of the light thread).
    virtual bool StreamsEveryStep(uint8_t mode) const
    {
        (void)mode;
        return false;
    }
    // The light thread wakes at most this often for fast effects, and catches up on at most
    // this many steps at once.
    static constexpr uint32_t kMinWakeMs = 16;
    // The wake-up period for fast effects in `mode`: kMinWakeMs unless the device needs its
    // frames less often.
    virtual uint32_t MinWakeMs(uint8_t mode) const
    {
        (void)mode;
        return kMinWakeMs;
    }
    // The period of the frame push while the colours change: 5 ms for devices that take every
    // frame; a device that only shows a preview needs no more than the preview's rate.
    virtual uint32_t FramePushIntervalMs() const { return 5; }
    static constexpr uint32_t kMaxStepsPerWake = 64;
    // Shows the device's state in its page and tab.
    void ShowDeviceInfo();
    // Whether the status block (battery, charging, phone) is read while connected: devices
    // with a power panel, and the mouse pad for its phone-charging state.
    virtual bool ReadsStatusBlock() const { return m_hasPowerPanel != 0; }
    // Loads the selected profile of the device's profile list (made from the default profile
    // when there is none yet) into the profile object; false when no profile file is usable.
    bool LoadSelectedProfile();
    // Copies the profile's lighting into the light state, hands the light thread the profile's
    // light sequence and restarts the effect.
    void ApplyProfileLight();

    // --- Light sequence (the custom effect's steps) ---
    // The profile's light sequence for the current lighting choice: loads the user's light
    // configuration of the device's folder, then the effect file the current mode names in
    // entry `model` (a DeviceNameLists model) of it. Empty when there is none.
    std::vector<LedEffectStep> LoadLightSequence(int model);
    // Hands `steps` to the light thread's step player; it starts again at the first step.
    void SetLightSequence(const std::vector<LedEffectStep>& steps);
    // The DeviceNameLists model whose light sequence ApplyProfileLight loads; -1 for none.
    virtual int LightSequenceModel() const { return -1; }
    // Whether `mode` plays the light sequence. The step player paces its steps by passes, so
    // these modes are rendered on every light-thread tick.
    virtual bool PlaysLightSequence(uint8_t mode) const
    {
        (void)mode;
        return false;
    }
    // One pass of the step player over the device's LEDs, in list order (light thread).
    void RenderLightSequence();
    // The millisecond clock the step player times its steps by.
    virtual uint64_t LightClockMs() const;
    // The light state of a profile's lighting choice.
    static LightState LightStateOf(const LightInfo& info);
    // Reads the information block in a session (0x01, 0x03, 0x02) when the transport is ready.
    bool ReadInformationBlock();
    // A copy of the LED list and its generation; false when it did not change since the last
    // frame that reached the device.
    bool TakeChangedColours(std::vector<LedColour>& leds, uint64_t& generation) const;
    // Shows the colours on the page's light buttons while the preview is wanted.
    void UpdatePreview(const std::vector<LedColour>& leds);
    // The frame of the LED list as the device takes it, 3 bytes per LED.
    std::vector<uint8_t> BuildFrame(const std::vector<LedColour>& leds) const;
    void SendToMainWindow(uint32_t msg, intptr_t wParam, intptr_t lParam);
    bool TabVisible() const;
    QWidget* FindPanelControl(const QString& name) const;

    void FillAll(LedColour c);

    CommandTransport m_transport;
    CommandTransport::InfoBlock m_info{};
    bool m_infoValid = false;
    QString m_deviceName, m_displayName, m_folderName;
    uint32_t m_deviceType = 0;
    int m_modelIndex = 0;
    uint32_t m_keyCount = 0;
    uint32_t m_ledCount = 0;
    std::vector<QWidget*> m_keyButtons;
    std::vector<QWidget*> m_lightButtons;
    std::map<int, int> m_keySlotMap, m_keyLedMap, m_keyMapExtra;

    // Guarded by m_colourLock.
    std::vector<LedColour> m_leds;
    uint64_t m_ledGeneration = 0;
    mutable std::mutex m_colourLock;
    // Guarded by m_stateLock.
    LightState m_lightState;
    mutable std::mutex m_stateLock;

    // Effect state: the light thread's own between steps (reset under the state lock).
    uint8_t m_phase = 0, m_colourIndex = 0, m_flashOn = 0;
    uint64_t m_lastFlashToggleMs = 0;
    std::array<uint8_t, 170> m_levels{};
    std::array<uint8_t, 23> m_ring{};
    uint32_t m_ringPass = 0;
    std::vector<LedColour> m_render;  // the light thread's scratch copy of the list
    lighting::StepSequence m_stepPlayer;  // the light thread's own
    // Guarded by m_stateLock: a light sequence waiting for the light thread.
    std::vector<LedEffectStep> m_pendingSequence;
    bool m_sequenceChanged = false;

    std::atomic<bool> m_effectRestart{false};
    std::atomic<uint32_t> m_lightingControl{1};
    std::atomic<uint32_t> m_previewFlag{1};
    std::atomic<uint32_t> m_sameLighting{0};
    int m_functionPage = 1;
    int m_currentProfile = 0;
    std::array<int, 3> m_pickerColour{};
    int m_selectedKey = -1;
    ui::CDeviceOptionUI* m_tab = nullptr;
    ui::CMpDevicePowerUI* m_powerPanel = nullptr;
    uint32_t m_hasPowerPanel = 0;
    uint32_t m_suppressStatus = 0;
    WindowImplBase* m_mainWnd = nullptr;
    int m_optionIndex = 0;
    int m_mouseValue = -1;
    hid::InterfaceEntry m_entry;
    QString m_pageFile;
    QString m_lightControlName;
    std::vector<uint8_t> m_lastStatus;
    uint64_t m_lastPushedGeneration = ~uint64_t(0);
    int m_idleFramePushes = 0;
    int m_framePushPeriod = 5;

private:
    struct Listener {
        hid::HidChannel channel;
        std::atomic<bool> open{false};
        std::mutex lock;
        hid::WorkerThread thread;
    };
    void ListenerLoop(Listener& listener, const hid::Event& exit);
    void LightLoop(const hid::Event& exit);
    void OnConnectTimer();
    void OnLinkCheckTimer();
    void OnFramePushTimer();
    void RequestFramePush();

    Listener m_listeners[2];  // [0] channel A (cable), [1] channel B (receiver)
    hid::WorkerThread m_lightThread;
    std::mutex m_wakeLock;
    std::condition_variable m_wake;
    bool m_wakeRequested = false;
    std::atomic<bool> m_framePushArmed{false};
    QWidget* m_functionSwitch = nullptr;
    QWidget* m_keyFunctionSwitch = nullptr;

    // The page's editor panels, found when the page starts.
    void AttachPanels();
    std::vector<QPointer<QWidget>> m_panels;
};
