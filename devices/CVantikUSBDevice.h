#pragma once

#include <QPointer>
#include <QString>
#include <QStringList>
#include <QTimer>
#include <QWidget>

#include <array>
#include <atomic>
#include <cstdint>
#include <functional>
#include <limits>
#include <map>
#include <optional>
#include <vector>

#include "devices/DeviceEffectState.h"
#include "devices/DeviceIo.h"
#include "devices/KeySlotMemory.h"
#include "devices/LightTypes.h"
#include "hid/SupportedInterfaces.h"
#include "profiles/ProfileCheck.h"
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
// The object is split three ways, each in its own file: this class is the page (its controls,
// its tab and the tab's timers, the profile, and the functions where the device's answers land);
// DeviceIo is the device's I/O (its worker thread, where every command is queued and sent in
// order, and its listener channels); DeviceEffectState is the software lighting (light state,
// LED colour list, effects and the light thread).
//
// Threads: the UI thread runs every timer and never waits for the device: the timers and the
// page build their requests from the profile held in memory and post them to the I/O worker,
// and the answers land back on the UI thread as queued calls. The light thread renders the
// lighting effect into the LED colour list; one listener thread per open listener channel
// reads event reports and hands them to the UI thread. Requests carry copies of what they need;
// only the UI thread touches the page, the profile and the fields below.
class CVantikUSBDevice : public QWidget, public DeviceEffectState {
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
    // The page's controls were built after Start (the device ran without them until the
    // window was first wanted): binds them and shows the device's present state in them.
    void StartPage();

    // --- The device classes' operations (the base behaviour unless a class replaces it) ---
    virtual void BindPanelControls();
    virtual int ApplyLightSettings() { return 0; }
    // Shows the colours in the page and posts the frame to the device.
    virtual void PushLightingFrame();
    // Reads the device at its connection (posted), shows what it read and starts the light
    // thread once the reads landed.
    virtual void OnConnected() {}
    // Posts the read-back of the settings memory (the device changed it itself); the block
    // lands in the class's own function, which shows it.
    virtual void ReadSettings() {}
    virtual void OnReservedTimer1() {}
    virtual void OnReservedTimer2() {}
    // Posts the read of the status block; it lands in ShowStatus.
    virtual void ReadStatus();
    // Posts the wireless link check (command 0xAA behind the receiver; true without traffic on
    // the cable). The answer lands in LinkChecked, then in `landed`.
    void CheckWirelessLink(std::function<void(bool answers)> landed = {});
    virtual int ReloadProfile() { return 0; }
    virtual void RefreshPanel();
    virtual void ShowKeyAssignments() {}
    virtual void RestoreDefaults() {}
    virtual std::vector<int> CollectUsedMacros() { return {}; }

    // --- Writes: each is built on the UI thread from the profile held in memory as a request
    // for the I/O worker. Post... queues it (page actions); Write... runs it on the calling
    // thread and returns its code (tests and tools). ---
    using Request = std::function<IoResult(CommandTransport&)>;
    // The settings block into on-device slot `slot` (command 0x06 in a session). Base: nothing
    // to write (null).
    virtual Request SettingsWriteJob(int slot);
    int WriteSettings(int slot);
    void PostSettings(int slot = 0, std::function<void(IoResult)> landed = {});
    // Where every settings write lands first (the mouse shows whether it was out of reach).
    virtual void SettingsWritten(const IoResult& result) { (void)result; }
    // What writing the keys did: `macros` is the macro image write's own result (0 written, > 0
    // that many events too many, < 0 failed; see CommandTransport::writeMacros), `keys` the key
    // table's (1 written, 0 also when it was not tried); code is the outcome as a whole (1 when
    // the table was written).
    struct KeyWriteResult : IoResult {
        int macros = 0;
        int keys = 0;
        std::optional<CommandTransport::InfoBlock> info;  // read on the way
        std::vector<uint8_t> table;                       // the key table as written
    };
    // One half of the key write, run on the I/O worker: fills its part of the result and
    // returns its own code.
    using KeyStep = std::function<int(CommandTransport&, KeyWriteResult&)>;
    // The macros `macros` (positions in the macro list) as the macro image; the class's key
    // table of the assignments held in memory into `bank`. Null for devices without keys.
    virtual KeyStep MacroWriteStep(const std::vector<int>& macros)
    {
        (void)macros;
        return {};
    }
    virtual KeyStep KeyTableWriteStep(int bank)
    {
        (void)bank;
        return {};
    }
    // The key write of the key editor: the macros the keys use, then the key table unless the
    // macros did not fit or failed (a macro image that could not be built, -1, still lets the
    // table go). Posted; the result lands in `landed` (code 0 for a device without keys).
    void PostKeyWrite(std::function<void(KeyWriteResult)> landed);
    // The two halves on the calling thread; their own codes.
    int WriteMacros(const std::vector<int>& macros);
    int WriteCurrentKeyTable(int bank);

    // What a profile push did: the code of the step that failed (1 when every step went), the
    // text id of that step, and how many steps the device took before it.
    struct PushResult : IoResult {
        QString step;
        int stepsDone = 0;
        KeyWriteResult keys;  // what the key write of the push did, where it made one
    };
    // Makes the selected profile the device's: reloads it and shows it at once, then writes it
    // through the I/O worker (settings; the keyboard and mouse also their macros and key table),
    // stopping at the first step that fails. The result lands in `landed`: 1 also when the
    // device is not connected (it gets the profile at its next connection).
    void PushProfile(std::function<void(PushResult)> landed = {});

    virtual void LoadNameLists() {}
    virtual void SetKeyMap(const std::map<int, int>& map) { m_keyMapExtra = map; }
    virtual void SelectFunctionPage(int page);
    virtual int GetFunctionPage() const { return m_functionPage; }
    virtual void BuildProfilePaths();
    virtual QString GetProfileName() const { return {}; }
    virtual void SaveProfile();
    // Saves the profile once changes stop coming for a moment (a drag over the colour field or
    // a slider changes it at every mouse move); FlushProfileSave saves one still pending now.
    void SaveProfileSoon();
    void FlushProfileSave();
    // A settings block waits for the end of its pause (PostSettings) before it is posted.
    bool SettingsPaced() const { return m_settingsPace.isActive(); }
    static constexpr int kSaveSoonMs = 250;
    // Settings writes nobody waits for go out at most once per kSettingsPaceMs; the last one
    // of a burst when the pause is over.
    static constexpr qint64 kSettingsPaceMs = 50;
    virtual void SetCurrentProfile(int index) { m_currentProfile = index; }
    virtual int GetCurrentProfile() const { return m_currentProfile; }
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
    // The ranges the device's profile must keep: its kind and its number of lighting modes
    // (a mouse adds its sensor's highest DPI step once it has been read).
    virtual profilecheck::Limits ProfileLimits() const;
    // Posts the profile's lighting to the device (its settings block). Skipped while another
    // program holds the lighting or the device is not connected.
    virtual void SendLighting();
    // The page's editor panels, for code that looks for one kind of panel.
    std::vector<QWidget*> Panels() const;

    // --- Non-virtual members used by the main window, discovery and the editors ---
    CommandTransport& Transport() { return m_transport; }
    // The device's I/O worker and listener channels.
    DeviceIo& Io() { return m_io; }
    // Queues a request for the I/O worker; see DeviceIo::Post.
    template <class R>
        requires std::derived_from<R, IoResult>
    void PostIo(IoKind kind, std::function<R(CommandTransport&)> io, std::function<void(R)> landed = {},
                const char* coalesce = nullptr)
    {
        if (kind == IoKind::Command)
            ++m_commandsPosted;
        m_io.Post<R>(kind, std::move(io), std::move(landed), coalesce);
    }
    // How many commands were posted so far. A read-back of the device's settings that was posted
    // before a command and lands after it shows the device as it was before that command: the
    // profile already holds what the command wrote, so such a read is dropped rather than taken.
    uint64_t CommandsPosted() const { return m_commandsPosted; }
    // Whether a settings read-back posted at `mark` (CommandsPosted() then) may be taken as it
    // lands: no command was posted since, and no settings write is waiting for its pace (the
    // block read shows the device without it; taken, it would replace the newer settings the
    // waiting write is built from when it goes).
    bool ReadBackCurrent(uint64_t mark) const { return mark == m_commandsPosted && !m_settingsPace.isActive(); }
    // Whether the device answers (it is marked "not answering" after a time-out until its next
    // answer).
    bool Answering() const { return m_io.Answering(); }
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

    // --- Lighting driven by a program outside the profile (a client of the SDK server) ---
    // While it lasts the profile and its file stay as they are and nothing of the profile's
    // lighting is sent; the colours go out through the same frame path as the effects'. The
    // main window's lighting-control switch still rules over it: while Tessel does not hold
    // the lighting, no frame goes out, whoever set the colours.
    // Starts it (again) with the software engine running `state` (mode, speed, brightness,
    // direction, colours as the light state holds them).
    void SetExternalLightState(const LightState& state);
    // Starts it (again) with these colours, one per LED of the colour list; the engine rests.
    void SetExternalColours(const std::vector<LedColour>& leds);
    // Ends it: the profile's lighting returns, on the device and in the picture.
    void EndExternalLighting();
    bool ExternalLighting() const { return m_externalLighting.load(); }

    // The main window's lighting-control switch (and 0 while the system sleeps).
    virtual void LightingControlNotice(uint32_t on);
    uint32_t LightingControl() const { return m_lightingControl.load(); }
    void SetPreviewFlag(uint32_t on) { m_previewFlag = on; }
    void SetSuppressStatus(uint32_t on) { m_suppressStatus = m_hasPowerPanel ? on : 0; }
    uint32_t SuppressStatus() const { return m_suppressStatus; }
    uint32_t KeyCount() const { return m_keyCount; }
    void SetLightCount(uint32_t n);
    void SetKeyCount(uint32_t n);

    // Listener channels: A behind the cable, B behind the receiver. `deviceType` picks the
    // channel (the receiver types 6 and 9 take B).
    virtual bool AttachListener(const std::string& path, uint16_t deviceType);
    virtual void DetachListener(uint16_t deviceType);
    bool ListenerOpen(bool receiver) const { return m_io.ListenerOpen(receiver); }
    // After a switch to the receiver: the link check tried `tries` times, `pauseMs` apart, until
    // the device answers through it, then the status read; all on the I/O worker.
    void CheckLinkAfterRouteSwitch(int tries, int pauseMs);

    // Shows the device's state (name, route, firmware, battery, whether it answers) in its page
    // and tab.
    void ShowDeviceInfo();
    // The device tab's timers, delivered by the main window.
    void OnTabTimer(int id);
    // Starts (or restarts) timer `id` of the device's tab.
    void StartTabTimer(int id, int ms);
    void StopTabTimer(int id);

    // Stops every thread and closes every channel; the object stays usable for a later attach.
    void ShutDown();

signals:
    // The device's shown state changed (name, route, firmware, battery): the tab follows.
    void stateChanged();
    // The key assignments were loaded anew from a profile (a profile switch, a reset, the
    // defaults restored): the key labels and the key editor follow.
    void keyAssignmentsReloaded();

protected:
    // DeviceEffectState: the light thread runs while the transport is ready, and a change of
    // the colours re-arms the frame push.
    bool LightsReady() const override { return m_transport.isReady() != 0; }
    void ColoursChanged() override { RequestFramePush(); }
    const char* LightExitTrace() const override;

    // The period of the frame push while the colours change: as often as the light thread
    // publishes colours (5 ms where every step is streamed); a device that only shows a
    // preview needs no more than the preview's rate.
    virtual uint32_t FramePushIntervalMs() const;
    // Where a status block lands: kept, shown in the power panel and the page.
    void ShowStatus(std::array<uint8_t, 6> block, bool wireless);
    // Posts the status read; with `linkFirst`, behind the receiver the link check goes first and
    // a device out of reach is not read.
    void PostStatusRead(bool linkFirst);
    // Where every link check lands first; the keyboard and mouse keep what it means for them.
    virtual void LinkChecked(bool answers) { (void)answers; }
    // The device stopped (or started) answering: the page and tab say so.
    void OnAvailabilityChanged(bool answering, int64_t sinceMs);

    // --- Profile push ---
    // Runs `then` once the device is known well enough to take a profile (the keyboard and the
    // mouse read themselves first when the push came before their connection read).
    virtual void BeforeProfilePush(std::function<void()> then) { then(); }
    // Shows a profile that was just reloaded for a push.
    virtual void ShowPushedProfile() { RefreshPanel(); }
    // The writes of a push, built now from the reloaded profile; base: the settings block.
    virtual std::function<PushResult(CommandTransport&)> ProfilePushJob();
    // Records the outcome `code` of one step of a push (`step` its text id): counted done when
    // 1; otherwise the push's failure, and false (the push stops there).
    static bool PushStep(PushResult& result, const char* step, int code);
    // The key write the push and the key editor make, composed of the class's two steps; the
    // macros are those the keys held in memory use. Null for devices without keys.
    std::function<KeyWriteResult(CommandTransport&)> KeyWriteJob();
    // The memory of which slot holds each key, for this device's table layout (product,
    // firmware version, slot count) in its user folder.
    KeySlotMemory KeySlots() const;
    // Where a key write lands: the information block read on the way; the mouse keeps the table.
    virtual void KeysWritten(const KeyWriteResult& result);

    // --- Reads at connection ---
    struct InfoRead : IoResult {
        CommandTransport::InfoBlock info{};
    };
    // The information block in a session (0x01, 0x03, 0x02), on the I/O worker.
    static int ReadInformationIo(CommandTransport& t, CommandTransport::InfoBlock& info);
    // Where an information block read lands.
    void TakeInformation(const CommandTransport::InfoBlock& info);
    // The information block and then what the device holds now, read in one request at
    // connection; the block is taken first, then `landed` gets the live read (a device whose
    // bytes only it knows sends them back as it has them).
    template <class Live>
    void PostConnectionRead(Live (*readLive)(CommandTransport&), std::function<void(const Live&)> landed)
    {
        struct Connected : IoResult {
            CommandTransport::InfoBlock info{};
            bool infoRead = false;
            Live live;
        };
        PostIo<Connected>(IoKind::Read, [readLive](CommandTransport& t) {
            Connected r;
            r.infoRead = ReadInformationIo(t, r.info) == 1;
            r.live = readLive(t);
            r.code = r.live.code;
            return r;
        }, [this, landed = std::move(landed)](Connected r) {
            if (r.infoRead)
                TakeInformation(r.info);
            landed(r.live);
        });
    }
    // Whether the status block (battery, charging, phone) is read while connected: devices
    // with a power panel, and the mouse pad for its phone-charging state.
    virtual bool ReadsStatusBlock() const { return m_hasPowerPanel != 0; }
    // Loads the selected profile of the device's profile list (made from the default profile
    // when there is none yet) into the profile object; false when no profile file is usable.
    bool LoadSelectedProfile();
    // Copies the profile's lighting into the light state, hands the light thread the profile's
    // light sequence and restarts the effect.
    void ApplyProfileLight();

    // The profile's light sequence for the current lighting choice: loads the user's light
    // configuration of the device's folder, then the effect file the current mode names in
    // entry `model` (a DeviceNameLists model) of it. Empty when there is none.
    std::vector<LedEffectStep> LoadLightSequence(int model);
    // The DeviceNameLists model whose light sequence ApplyProfileLight loads; -1 for none.
    virtual int LightSequenceModel() const { return -1; }
    // A copy of the LED list and its generation; false when it did not change since the last
    // frame that reached the device.
    bool TakeChangedColours(std::vector<LedColour>& leds, uint64_t& generation) const;
    // Shows the colours on the page's light buttons while the preview is wanted, at most
    // every kPreviewPeriodMs; the last colours of a burst are shown when the period is over.
    void UpdatePreview(const std::vector<LedColour>& leds);
    static constexpr uint64_t kPreviewPeriodMs = 33;
    // The page's picture catches up with the colours of now.
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;
    // Behind the receiver the steps only feed the picture: while the page is off screen the
    // light thread rests.
    bool StepsWanted(uint8_t mode) const override;
    // The frame of the LED list as the device takes it, 3 bytes per LED.
    std::vector<uint8_t> BuildFrame(const std::vector<LedColour>& leds) const;
    // Posts a frame of colour generation `generation` (only the newest frame waits). It counts
    // as pushed at once; one that fails is sent again after a pause.
    void PostFrame(Request send, uint64_t generation);
    // The frame push pauses until then after a failed frame.
    uint64_t m_frameRetryAtMs = 0;
    // Re-arms the resting frame push (any thread).
    void RequestFramePush();
    void SendToMainWindow(uint32_t msg, intptr_t wParam, intptr_t lParam);
    bool TabVisible() const;
    QWidget* FindPanelControl(const QString& name) const;

    CommandTransport m_transport;
    DeviceIo m_io{m_transport, this};
    CommandTransport::InfoBlock m_info{};
    bool m_infoValid = false;
    QString m_deviceName, m_displayName, m_folderName;
    uint32_t m_deviceType = 0;
    int m_modelIndex = 0;
    uint32_t m_keyCount = 0;
    std::vector<QWidget*> m_keyButtons;
    std::vector<QWidget*> m_lightButtons;
    std::map<int, int> m_keySlotMap, m_keyLedMap, m_keyMapExtra;

    std::atomic<uint32_t> m_lightingControl{1};
    std::atomic<bool> m_externalLighting{false};
    // A class whose device runs its lighting itself unless told otherwise hears here that
    // external lighting starts (true) or ends.
    virtual void ExternalLightingChanged(bool on) { (void)on; }
    std::atomic<uint32_t> m_previewFlag{1};
    // The page is shown (set and cleared on the UI thread, read by the light thread).
    std::atomic<bool> m_pageOnScreen{false};
    // The page's picture (UI thread): when it was last painted, and colours waiting for the
    // end of the period.
    uint64_t m_previewPaintedMs = 0;
    std::vector<LedColour> m_previewWaiting;
    bool m_previewFlushArmed = false;
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
    // When the device stopped answering (milliseconds since the epoch); 0 while it answers.
    int64_t m_notAnsweringSinceMs = 0;
    uint64_t m_commandsPosted = 0;
    QTimer m_saveSoon;
    QTimer m_settingsPace;
    // A settings write failed while the device was not answering: sent again when it answers.
    bool m_settingsOwed = false;
    // When the last paced settings write went, on the monotonic clock (a wall clock set back
    // would hold the writes back for as long).
    qint64 m_lastPacedSettingsMs = std::numeric_limits<qint64>::min() / 2;
    uint64_t m_lastPushedGeneration = ~uint64_t(0);
    int m_idleFramePushes = 0;
    int m_framePushPeriod = 5;

private:
    void OnConnectTimer();
    // The rest of the connection once the device answers (behind the receiver) or at once.
    void ConnectDevice();
    void OnLinkCheckTimer();
    void OnFramePushTimer();

    std::atomic<bool> m_framePushArmed{false};
    QWidget* m_functionSwitch = nullptr;
    QWidget* m_keyFunctionSwitch = nullptr;

    // The page's editor panels, found when the page starts.
    void AttachPanels();
    std::vector<QPointer<QWidget>> m_panels;
};
