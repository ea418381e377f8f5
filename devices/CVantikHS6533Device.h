#pragma once

#include "devices/CVantikUSBDevice.h"
#include "devices/HeadsetPanels.h"
#include "profiles/CHs6533Profiledata.h"
#include "profiles/DeviceNameLists.h"
#include "sdk/osConfLib.h"

#include <QPointer>

#include <array>
#include <functional>
#include <memory>

class OsConfLibrary;
class SoundCardMonitor;

// The USB headset: its lighting over short output reports, and the audio chip's equaliser,
// microphone and voice effects through the chip's configuration library.
class CVantikHS6533Device : public CVantikUSBDevice {
    Q_OBJECT
public:
    static constexpr int kSettingsLength = 21;
    static constexpr int kLightReportLength = 17;
    static constexpr int kLightReportsPerFrame = 12;
    static constexpr int kLeds = 13;
    static constexpr int kMaxCustomEqNames = 20;

    // Shows a message box (text ready to show, or a text id) over `parent`. The application
    // installs its own; without one the message goes to the debug output.
    using MessageHandler = std::function<void(QWidget* parent, const QString& text, bool isTextId)>;
    static void SetMessageHandler(MessageHandler handler);
    // Asks the user to confirm `text` (ready to show) over `parent`; true when confirmed. The
    // application installs its own; without one the question counts as confirmed.
    using ConfirmHandler = std::function<bool(QWidget* parent, const QString& text)>;
    static void SetConfirmHandler(ConfirmHandler handler);

    // What the headset mirrors of the audio chip.
    struct AudioMirror {
        bool magicOn = false;
        int magicSelection = 0;  // 0..3, the chip's numbering
        bool magicKnown = false, magicSelectionKnown = false;  // read from the chip
        int eqPreset = 0;
        std::array<int, 10> eqBands{};
        bool micMute = false;
        int micPercent = 0;
        bool sideToneMute = false;
        int sideTonePercent = 0;
        bool sideToneAvailable = false;
        QString micMax, micMin, micLevel, sideMax, sideMin, sideLevel;  // "%.2f" texts
    };

    explicit CVantikHS6533Device(QWidget* parent = nullptr);
    ~CVantikHS6533Device() override;

    QString GetClass() const override { return QStringLiteral("VantikHS6533Device"); }
    CBasicProfiledata& Profile() override { return m_profile; }

    void BindPanelControls() override;
    int ApplyLightSettings() override;
    void OnConnected() override;
    int ReloadProfile() override;
    void ReadSettings() override;
    Request SettingsWriteJob(int slot) override;
    void LoadNameLists() override;
    LightModeList LightModes() const override { return {m_names.modeNames(), m_names.modeVisible()}; }
    void RefreshPanel() override;
    void PushLightingFrame() override;
    bool HandlePanelNotify(TNotifyUI& msg) override;

    // --- Audio property operations (the sound panels') ---
    // Each returns true when the chip took the change; the profile is saved after it. A slider's
    // level while its handle is still held (`dragging`) goes to the chip at once, but the profile
    // file is written once the handle is let go (or shortly after the drag pauses).
    bool SetMicVolume(int percent, bool dragging = false);
    bool ToggleMicMute();
    bool SetSideToneVolume(int percent, bool dragging = false);
    bool ToggleSideToneMute();
    // Presets 1..12 are written and stored whatever the chip answers; 13 is the custom preset.
    void SelectEqPreset(int preset);
    bool SetEqBand(int band, int value, bool dragging = false);  // band 0..9
    bool SetMagicEnabled(bool on);
    bool SetMagicEffect(int effect);      // 1..4
    // The selected custom preset's bands written to the chip and stored as the selection.
    void ApplyCustomEqSelection();
    // 1 saved, 0 the name exists, -1 nothing to save into (no name and no selection, or full).
    int SaveCustomEqPreset();
    void DeleteCustomEqPreset();

    // --- State for the page, tests and the D-Bus list ---
    bool AudioAvailable() const { return m_audioReady; }
    // Why a sound feature cannot be used on this machine: a text id, empty while it can. The
    // panels show it and stay disabled; the profile keeps its values meanwhile.
    struct SoundAvailability {
        QString eq, mic, magic;
    };
    const SoundAvailability& Availability() const { return m_available; }
    const AudioMirror& Mirror() const { return m_mirror; }
    const std::array<uint8_t, kSettingsLength>& LiveSettings() const { return m_settings; }
    // The twelve lighting reports of a colour list, as they go to the headset.
    static std::array<std::array<uint8_t, kLightReportLength>, kLightReportsPerFrame>
    BuildLightReports(const std::vector<LedColour>& leds);

protected:
    void RenderMode(uint8_t mode) override;
    bool IsStillMode(uint8_t mode) const override;
    void RenderPadWave() override;
    void MarkRingLeds() override;
    uint32_t TickMs() const override { return 1; }
    int LightSequenceModel() const override { return DeviceNameLists::Headset; }
    // The custom effect: mode 5, and 9 and above, as on the mouse pad.
    bool PlaysLightSequence(uint8_t mode) const override { return mode == 5 || mode >= 9; }

private:
    // Audio side: load, initialise and enumerate; all inert when the library is missing.
    void StartAudio();
    // Finds the endpoints and reads what the chip holds; with `pushProfile`, the loaded
    // profile's sound values then go to the chip.
    void RefreshAudioDevices(bool pushProfile);
    // The profile's sound values (equaliser, microphone, side tone, voice) written to the chip,
    // so the chip, the profile and the panel agree; a profile that never stored them takes the
    // chip's instead.
    void ApplyProfileSound();
    void StoreChipSound();
    // The curve the profile's equaliser preset plays; empty when the profile names none.
    std::vector<int> ProfileEqCurve(const HeadsetSystemSetStages& s);
    // The ten bands the sliders show (the chip's when the panel is missing).
    std::vector<int> ShownBands() const;
    bool ChooseDevices();
    void ReadFeatures();
    void UpdateAvailability();
    // True (and the panels showing the profile again) when `why` names a missing feature.
    bool RefusedAsUnavailable(const QString& why);
    // The profile file written now, or (while a slider is dragged) once the drag ends.
    void SaveProfileAfter(bool dragging);
    void InitialiseProperties();
    void ReadAudioValues();
    void ShowAudioPanels();
    int ReadProperty(const OsConfDevice& device, const char* name, QString& text, const void* second = nullptr,
                     size_t secondLength = 0);
    int WriteInt(const OsConfDevice& device, const char* name, int32_t value, const void* second = nullptr,
                 size_t secondLength = 0);
    int WriteFloat(const OsConfDevice& device, const char* name, float value, int32_t channel);
    void StoreStages(const std::function<void(HeadsetSystemSetStages&)>& change);
    void ShowBands(const std::vector<int>& bands);
    bool WriteBands(const std::vector<int>& bands);
    void ShowMessage(const QString& text, bool isTextId);
    bool Confirm(const QString& text);
    // The headset's settings block as read on the I/O worker: the active profile and its block.
    struct LiveRead : IoResult {
        uint8_t active = 0;
        std::array<uint8_t, 27> block{};
        bool ready = false;
    };
    static LiveRead ReadLiveIo(CommandTransport& t);
    // Takes the headset's own bytes (the active profile, bytes 9-20) of a block that was read;
    // false (nothing changed) when the read failed, so a failed read never replaces them with
    // zeros.
    bool TakeLiveBlock(const LiveRead& read);
    // Where the settings read-back lands: the light thread follows what the headset reports.
    void SettingsRead(uint8_t active, const uint8_t* block);

    CHs6533Profiledata m_profile;
    DeviceNameLists m_names;
    std::array<uint8_t, kSettingsLength> m_settings{};
    std::array<uint8_t, kSettingsLength> m_settingsBackup{};
    bool m_liveKnown = false;  // m_settings holds a block read from the headset

    std::unique_ptr<OsConfLibrary> m_lib;  // the object only: the library itself stays loaded
    bool m_audioReady = false;  // library loaded and initialised
    bool m_haveOutput = false, m_haveInput = false;
    OsConfDevice m_output{}, m_input{};
    std::array<int, 3> m_outputFeatures{}, m_inputFeatures{};
    // Field 1 of each feature list (what the machine lacks), and whether the list could be read.
    int m_outputMissing = 0, m_inputMissing = 0;
    bool m_outputListed = false, m_inputListed = false;
    SoundAvailability m_available;
    AudioMirror m_mirror;
    SoundCardMonitor* m_soundCards = nullptr;

    QPointer<QWidget> m_voiceWidget, m_magicWidget;
    IVoice6533Panel* m_voice = nullptr;
    IMagicPanel* m_magic = nullptr;

    // The lighting reports the headset holds, so a frame sends only those that changed. Read
    // and written on the I/O worker alone; a connection (epoch) of its own starts with none
    // known, and a report that failed is forgotten, so it goes out again in full.
    struct SentLightReports {
        uint64_t epoch = 0;
        std::array<std::array<uint8_t, kLightReportLength>, kLightReportsPerFrame> reports{};
        std::array<bool, kLightReportsPerFrame> known{};
    };
    std::shared_ptr<SentLightReports> m_sentReports = std::make_shared<SentLightReports>();
    uint64_t m_lightEpoch = 1;  // UI thread: raised at each connection
};
