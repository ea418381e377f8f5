#pragma once

#include "app/AudioSpectrum.h"
#include "app/CColorSelectWnd.h"
#include "app/CSkinFrame.h"
#include "app/AudioStyles.h"
#include "app/ConnectedDevice.h"
#include "app/DeviceHub.h"
#include "app/BatteryNotices.h"
#include "app/LanguageSettings.h"
#include "app/LightingSync.h"
#include "app/SdkBridge.h"
#include "app/PermissionNotice.h"
#include "app/MusicWnd.h"
#include "app/SettingsStore.h"
#include "app/SoftwareIdentity.h"
#include "app/WindowLink.h"
#include "app/WorkerThreads.h"
#include "ui/CAboutWnd.h"
#include "ui/SkinChangedParam.h"
#include "ui/WindowImplBase.h"
#include "update/CSetWnd.h"

#include <QImage>
#include <QPixmap>
#include <QPointer>
#include <QSize>
#include <atomic>
#include <memory>
#include <optional>

class CVantikUSBDevice;
namespace ui {
class TrayIcon;
}
namespace app {
class AudioRecorder;
class DBusInterface;
class FocusSwitcher;
}

class CDeviceHook;

// The application's main window and hub: title bar, device strip, the "no device" page, the
// tray icon and its menu, the language, the DPI set-up and the worker threads. Every
// notification of its skin arrives in Notify; the registered and private messages of other
// programs and of its own threads arrive in HandleCustomMessage.
class CMainWnd : public WindowImplBase, public SkinReceiver {
    Q_OBJECT
public:
    // Worker thread slots.
    static constexpr int kCaptureThreadSlot = 0;
    static constexpr int kAudioWatchdogSlot = 1;
    static constexpr int kLightingSyncSlot = 8;

    // `store` and `languageConfig`: the settings store file and the language list (empty: the
    // application's own).
    explicit CMainWnd(const QString& storePath = {}, const QString& languageConfig = {},
                      QWidget* parent = nullptr);
    ~CMainWnd() override;

    QString GetSkinFile() override;
    QString GetWindowClassName() override { return QStringLiteral("MainWnd"); }
    void InitWindow() override;
    void Notify(TNotifyUI& msg) override;
    intptr_t HandleCustomMessage(uint32_t msg, intptr_t wParam, intptr_t lParam,
                                 bool& bHandled) override;
    QWidget* CreateControl(const QString& className) override;

    // 144 on a monitor wider than 1500 and taller than 960 pixels, else 96.
    static int ChooseDpi(QSize monitor);
    // `dpi` when it is one of 48, 72, 96, 120, 144, 168, 192; else 96 and the debug trace.
    static int ValidDpi(int dpi, const char* trace);
    // Splits "key_12" into ("key_", 12); a name without a trailing "_<number>" gives (name, -1).
    static std::pair<QString, int> SplitIndexedName(const QString& name);

    // Lays the window out at 1000 x 640 scaled to the monitor's DPI and centres it; a window
    // that was hidden or minimised ends hidden.
    void SetupDpi();
    // Lays the window out at `dpi` (one of the accepted values) without looking at the monitor.
    void ApplyDpi(int dpi);
    int Dpi() const { return m_dpi; }
    // Shows "No_device_Link" when no device tab is visible, restores, raises and activates.
    void RestoreAndBringForward();
    // The tray's left click: hide a shown window, show a hidden or minimised one.
    void ToggleFromTray();
    // Makes language `index` current (fonts, texts, stored choice); nothing when it already is.
    void ApplyLanguage(int index, bool store = true);
    int CurrentLanguage() const { return m_languages.currentIndex(); }
    // Ends the application: closes the sub-windows, stops the worker threads, quits the loop.
    void Exit();
    // The shutdown: hide, signal every exit event, bounded waits, then cut the worker link, so a
    // thread that did not end in time can no longer reach the window. Returns the threads that
    // did not end in time. Runs once; later calls return 0.
    int Shutdown();

    int VisibleDeviceTabs() const;
    // False between the system's announcement of a suspend and its resume; while false only
    // the registered messages of other programs are handled.
    static bool IsSystemAwake() { return s_awake.load(); }
    bool LightingControl() const { return m_lightingControl; }
    app::WorkerThreads& Workers() { return m_workers; }
    // The device lists and the device strip; null before "windowinit".
    app::DeviceHub* Devices() const { return m_devices.get(); }
    // Switches profiles after the application in focus (null before the window's start-up).
    app::FocusSwitcher* FocusFollower() const { return m_focus; }
    app::LightingSync& Sync() { return *m_sync; }
    // What worker threads hold to reach the window: they never capture the window itself.
    std::shared_ptr<app::WindowLink> Link() const { return m_link; }
    ui::TrayIcon* Tray() const { return m_tray; }
    bool HasTray() const;
    // The connected devices as other programs see them (the D-Bus device list).
    virtual app::ConnectedDevices ListConnectedDevices() const;

    // The rows the update check asks about: the application row with the installed version and
    // each firmware row whose device (on the tab of the same place in the strip) is connected.
    std::vector<app::SoftwareIdentity> UpdateRows() const;
    // Creates and shows the settings window (at most one; an open one is brought forward), beside
    // the gear button or, with `centred`, in the middle of the main window. Not modal: the
    // callers that want it modal run ShowModal on it.
    CSetWnd* CreateSettingsWindow(bool centred);
    CAboutWnd* CreateAboutWindow();
    CSetWnd* SettingsWindow() const { return m_setWnd; }
    CAboutWnd* AboutWindow() const { return m_aboutWnd; }
    // Audio-reactive lighting: the capture program and what it sends.
    app::AudioRecorder* Recorder() const { return m_recorder; }
    void StartRecorder();
    void RegisterWithRecorder();
    void StopRecorder();
    void SendStyleColour();
    // One spectrum frame (500 values) and one screen colour (6 values) from the capture program.
    void ProcessSpectrum(const int32_t* values);
    void ProcessScreenColour(const int32_t* values);
    // Hands the current levels to every connected keyboard and to the first connected mouse.
    void SendAudioLevels(bool keyboards, bool mouse);
    const app::AudioSpectrum& Spectrum() const { return m_spectrum; }
    const app::AudioStyles& AudioStyles() const { return m_audioStyles; }
    // Opens the audio style window (one at a time); its OK keeps, stores and saves the styles.
    void OpenMusicWindow();
    MusicWnd* MusicWindow() const { return m_musicWnd; }

    // The skin (MainWndSkin.cpp). A broadcast background: the root control shows the colour or
    // the image at once (an image is read off the window's thread; one that cannot be used falls
    // back to the default background and the user is told). Returns 1.
    int Receive(SkinChangedParam param) override;
    enum class Background { Default, Colour, Image };
    Background BackgroundShown() const { return m_bgKind; }
    uint32_t BackgroundColour() const { return m_bgColour; }
    QString BackgroundImagePath() const { return m_bgPath; }
    // Opens the skin chooser under "skinbtn" (a second click while it is open closes it).
    CSkinFrame* OpenSkinFrame();
    CSkinFrame* SkinFrame() const { return m_skinFrame; }
    // The palette window for DPI stage `stage` (0-based) starting at `rgb` (0xRRGGBB), modal;
    // the chosen colour, or none when cancelled or a palette window is already open.
    std::optional<uint32_t> ChooseStageColour(uint32_t rgb, int stage);
    CColorSelectWnd* ColourWindow() const { return m_colourWnd; }

public slots:
    // logind's PrepareForSleep: true before a suspend, false after the resume.
    void OnPrepareForSleep(bool sleeping);

signals:
    // The window was shown with its "no device" page decided (first show after start-up).
    void firstShown();

protected:
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    // Tells the user of files that could not be read (kept copies, files too large).
    void ShowFileNotices();
    bool m_showingFileNotices = false;
    void OnWindowInit();
    // True when the window handled the click itself.
    bool OnClick(TNotifyUI& msg);
    void RouteToCurrentDevice(TNotifyUI& msg);
    // The profile switch: armed by a selection in a page's profile combo, run by timer 1055.
    void ArmProfileSwitch();
    void SwitchProfileOfCurrentDevice();
    // The message box and dialogs of the editor panels.
    void InstallPanelServices();
    void OnTimer(int id);
    // A device's shown state changed (connected, gone, a status read): battery notices and the
    // tray's tool tip follow.
    void OnDeviceStateChanged();
    void UpdateNoDeviceLink();
    void UpdateMaxRestoreButtons();
    // The device pages that a start without the window left unbuilt, built now (before the
    // window shows, so it never shows a page filling in).
    void BuildDevicePages();
    // Whether a device that comes or goes leaves the window closed.
    bool KeepsWindowClosed() const;
    void SetLightingControl(bool on);
    void HideToTray();
    void CloseSubWindows();
    void ShowTrayMenu();
    // Writes or removes the session autostart entry; tells the user when that failed.
    void SetAutostart(bool on);
    void StartWorkerThreads();
    // Hands the lighting sync thread the device lists in its order.
    void UpdateSyncDevices();
    void StartFocusFollowing();
    void StartDeviceCapture();
    // Gives every mouse, mouse pad and keyboard the lighting-control switch (0 while asleep).
    void NoticeLightingControl(uint32_t on);
    void SetSuppressStatus(uint32_t on);
    void SetPreviewFlags(uint32_t on);
    void OpenSystemSettings(int which);
    // The gear, the tray menu and 0x0C15: the settings window, modal.
    void OpenSettings(bool centred);
    void OpenAbout();
    // One of the four game messages arrived (Tessel awake): the game lighting reaction.
    // The recording hook (MainWndHook.cpp): 0x041E and the hook's messages; true when `msg` was
    // one of them.
    bool HandleHookMessage(uint32_t msg, intptr_t wParam, intptr_t lParam, intptr_t& result);
    // The hook went off because the application lost the focus: end the capture or recording.
    void OnHookLost();
    // Removes the hook if one was ever started.
    void OnShutdownHook();
    // wParam and lParam: how the event acts and the mode it asks for.
    void OnGameEvent(uint32_t msg, intptr_t wParam = 0, intptr_t lParam = 0);
    // The lighting of `current` carried to every connected device.
    void RunSameLighting(CVantikUSBDevice& current);
    // Starts the SDK server when the command line or the settings ask for it.
    void StartSdkServer();

    void LoadAudioStyles();
    void StartAudioWatchdog();
    void OnLightSlider(const QString& name, int value);

    // The skin (MainWndSkin.cpp).
    void LoadStoredSkin();
    void ShowBackground(const SkinChangedParam& param, bool chosenNow);
    void BackgroundRead(int generation, const QString& path, const QImage& image, int failure, bool chosenNow);
    void ShowSkinNotice();
    bool PaintBackground(QWidget* root);
    Background m_bgKind = Background::Default;
    uint32_t m_bgColour = 0;
    QString m_bgPath;
    QImage m_bgImage;
    QPixmap m_bgScaled;
    int m_bgGeneration = 0;
    QStringList m_skinNotices;
    bool m_showingSkinNotices = false;
    QPointer<CSkinFrame> m_skinFrame;
    QPointer<CColorSelectWnd> m_colourWnd;

    app::AudioRecorder* m_recorder = nullptr;
    app::AudioSpectrum m_spectrum;
    app::AudioStyles m_audioStyles;
    Json::Value m_audioDocument;  // "AudioFile.json" as held: the styles live in its "Device"
    QPointer<MusicWnd> m_musicWnd;
    bool m_recorderFailureShown = false;

    app::SettingsStore m_store;
    app::LanguageSettings m_languages;
    std::shared_ptr<app::WindowLink> m_link;
    std::unique_ptr<app::DeviceHub> m_devices;
    // The SDK server, when it is on; it refers to the devices, so it goes before them.
    std::unique_ptr<app::SdkBridge> m_sdk;
    QPointer<app::PermissionNotice> m_permissionNotice;
    // The device a game event last acted on; it returns to its saved mode when the timer fires.
    QPointer<CVantikUSBDevice> m_gameDevice;
    // Shared with the lighting sync thread, which may outlive a stop that timed out.
    std::shared_ptr<app::LightingSync> m_sync = std::make_shared<app::LightingSync>();
    app::WorkerThreads m_workers;
    ui::TrayIcon* m_tray = nullptr;
    app::BatteryNotices* m_battery = nullptr;
    app::DBusInterface* m_dbus = nullptr;
    app::FocusSwitcher* m_focus = nullptr;
    QPointer<CDeviceHook> m_hook;
    QPointer<CSetWnd> m_setWnd;
    QPointer<CAboutWnd> m_aboutWnd;
    bool m_hookConnected = false;
    int m_dpi = 96;
    bool m_lightingControl = true;
    bool m_initDone = false;
    bool m_displayChanged = false;
    bool m_shutDown = false;
    bool m_exiting = false;
    bool m_firstShowSent = false;
    static inline std::atomic<bool> s_awake{true};
};
