#include "app/CMainWnd.h"
#include "ui/SkinDpi.h"
#include "app/Autostart.h"
#include "app/CommandLine.h"
#include "profiles/DataPaths.h"

#include "app/Application.h"
#include "app/AudioRecorder.h"
#include "app/MusicWnd.h"
#include "app/CColorSelectWnd.h"
#include "app/CSkinFrame.h"
#include "devices/CVantikMouseDevice.h"
#include "app/DBusInterface.h"
#include "app/DeviceControl.h"
#include "app/FocusSwitcher.h"
#include "editors/FocusRulesEditor.h"
#include "app/PrivateFontLoader.h"
#include "app/PrivateMessages.h"
#include "app/RegisteredMessages.h"
#include "app/SkinResources.h"
#include "app/CMsgWnd.h"
#include "devices/CVantikUSBDevice.h"
#include "editors/CDeviceProfileUI.h"
#include "editors/CShootControlUI.h"
#include "editors/LightingActions.h"
#include "editors/PanelServices.h"
#include "hid/DeviceCapture.h"
#include "profiles/DataPaths.h"
#include "profiles/UserFiles.h"
#include "ui/CDeviceOptionUI.h"
#include "app/WorkToolAnswer.h"
#include "hid/DebugLog.h"
#include "ui/Builder.h"
#include "ui/ControlFactory.h"
#include "ui/Language.h"
#include "ui/MenuWnd.h"
#include "ui/TrayIcon.h"
#include "ui/CAboutWnd.h"
#include "update/CSetWnd.h"
#include "update/UpdateCheck.h"

#include <QApplication>
#include <QFileInfo>
#include <cstdio>
#include <QCloseEvent>
#include <QCursor>
#include <QDBusConnection>
#include <QGuiApplication>
#include <QLayout>
#include <QMouseEvent>
#include <QProcess>
#include <QTimer>
#include <QPushButton>
#include <QScreen>
#include <QStandardPaths>
#include <QWindow>

#include <chrono>
#include <condition_variable>
#include <mutex>

// The tray and popup menus of the UI layer report with the main window's message numbers.
static_assert(app::pm::kTrayCallback == ui::kTrayMessage);
static_assert(app::pm::kTrayLeftButtonUp == ui::kTrayLeftButtonUp);
static_assert(app::pm::kTrayRightButtonUp == ui::kTrayRightButtonUp);
static_assert(app::pm::kMenuCommand == ui::kMenuCommand);

namespace {

// Tags of the skins' own controls and what builds them: a control class of the factory, or the
// sub-tree of a layout file. The classes come with the layers that own them; until a class is
// registered its tag yields no control.
struct ControlTag {
    const char* tag;
    const char* factoryClass;  // null for a sub-tree
    const char* layout;        // null for a class
};
constexpr ControlTag kControlTags[] = {
    {"CircleProgress", "CCircleProgressUI", nullptr},
    {"SelectPanel", "CSelectPanelUI", nullptr},
    {"DeviceKeyButton", "CDeviceKeyButtonUI", nullptr},
    {"HandImgButton", "CHandImgButtonUI", nullptr},
    {"AudioRecord", "CAudioRecordUI", nullptr},
    {"HandImgSelectButton", "CHandImgSelectButtonUI", nullptr},
    {"RedioMacroButton", "CRedioMacroButtonUI", nullptr},
    {"ComboEditContainerElement", "CComboEditContainerElementUI", nullptr},
    {"VantikMousePadDevice", "CVantikMousePadDevice", nullptr},
    {"VantikHS6533Device", "CVantikHS6533Device", nullptr},
    {"VantikMouseDevice", "CVantikMouseDevice", nullptr},
    {"VantikKeyboardDevice", "CVantikKeyboardDevice", nullptr},
    {"DeviceProfile", "CDeviceProfileUI", nullptr},
    {"LightControl", "CLightControlUI", nullptr},
    {"MagicControl", "CMagicControlUI", nullptr},
    {"Voice6533Control", "CVoice6533ControlUI", nullptr},
    {"KeySetControl", "CKeySetControlUI", nullptr},
    {"MacroControl", "CMacroControlUI", nullptr},
    {"ShootControl", "CShootControlUI", nullptr},
    {"DeviceProfileUI", nullptr, "XML/CustomControlXML/DeviceProfile.xml"},
    {"LightSetControlUI", nullptr, "XML/CustomControlXML/LightControl.xml"},
    {"Voice6533SetControlUI", nullptr, "XML/CustomControlXML/Voice6533Control.xml"},
    {"MagicSetControlUI", nullptr, "XML/CustomControlXML/MagicControl.xml"},
    {"KeySetControlUI", nullptr, "XML/CustomControlXML/KeySetControl.xml"},
    {"MacroSetControlUI", nullptr, "XML/CustomControlXML/MacroControl.xml"},
    {"ShootKeySetControlUI", nullptr, "XML/CustomControlXML/ShootControl.xml"},
    {"VirtualSetControlUI", nullptr, "XML/CustomControlXML/VirtualSet.xml"},
};

constexpr int kBaseWidth = 1000;
constexpr int kBaseHeight = 640;

// Texts of the lighting-control label, by state; they are text ids of the language files.
const QString kLightControlOn = QStringLiteral("控制灯光");
const QString kLightControlOff = QStringLiteral("不控制灯光");

QString nameOf(const QWidget* w)
{
    return w ? w->objectName() : QString();
}

}  // namespace

CMainWnd::CMainWnd(const QString& storePath, const QString& languageConfig, QWidget* parent)
    : WindowImplBase(parent), m_store(storePath), m_languages(m_store, languageConfig),
      m_link(app::WindowLink::Create(this))
{
    // The built skin resolves its text ids as it is created, so a language file is loaded
    // before that: the one the start is going to choose, so that a start in another language
    // never lays out Chinese texts (nor opens a CJK font for them), else "lan_cn.xml". The
    // choice itself, with its fonts, is applied during "windowinit".
    const std::vector<app::LanguageEntry> list = m_languages.Languages();
    const size_t chosen = size_t(m_languages.ReadStoredLanguage());
    QString first = chosen < list.size() ? app::LanguageSettings::LanguageFilePath(ui::PaintManager::GetResourcePath(),
                                                                                  list[chosen].file)
                                         : QString();
    if (first.isEmpty() || !QFileInfo::exists(first))
        first = app::LanguageSettings::LanguageFilePath(ui::PaintManager::GetResourcePath(), QStringLiteral("lan_cn.xml"));
    if (!first.isEmpty())
        ui::Language::instance().LoadLanguage(first);
    setWindowFlag(Qt::FramelessWindowHint);
    setAttribute(Qt::WA_QuitOnClose, false);
}

CMainWnd::~CMainWnd()
{
    Shutdown();
    CVantikMouseDevice::SetStageColourChooser({});
}

QString CMainWnd::GetSkinFile()
{
    return app::SkinResources::Instance().Resolve(QStringLiteral("XML_MAIN"));
}

QWidget* CMainWnd::CreateControl(const QString& className)
{
    for (const ControlTag& t : kControlTags) {
        if (className.compare(QLatin1String(t.tag), Qt::CaseInsensitive) != 0)
            continue;
        if (t.factoryClass)
            return ui::ControlFactory::instance().Create(QLatin1String(t.factoryClass), nullptr);
        ui::Builder builder(this);
        return builder.Create(QLatin1String(t.layout), nullptr);
    }
    return nullptr;
}

void CMainWnd::InitWindow()
{
    qCDebug(tesselDebug) << "InitWindow";
    const QIcon icon(ui::PaintManager::ResourceFile(QStringLiteral("images/logo.svg")));
    // In the background there is no tray icon: the way back to the window is another start,
    // and the window's icon is drawn when the window first shows.
    if (app::CurrentStartOptions().background) {
        connect(this, &CMainWnd::firstShown, this, [this, icon] { setWindowIcon(icon); });
    } else {
        setWindowIcon(icon);
        m_tray = new ui::TrayIcon(this);
        m_tray->Create(this, icon, QString::fromLatin1(app::msg::kInstance), app::pm::kTrayCallback);
    }

    // The window's size is the DPI set-up's (or the user's) choice, never the contents': a page
    // that asks for a few pixels more for a moment (a lighting mode's rows) must not grow it for
    // good. What the pages need at every DPI fits the skin size.
    if (layout())
        layout()->setSizeConstraint(QLayout::SetNoConstraint);
    // The title bar moves the frameless window and maximises it on a double click.
    if (QWidget* titlebar = PM().FindControl(QStringLiteral("titlebar")))
        titlebar->installEventFilter(this);
    // The chosen background is painted under the root's controls.
    if (Root())
        Root()->installEventFilter(this);
    UpdateMaxRestoreButtons();
    if (QWidget* version = PM().FindControl(QStringLiteral("app_version")))
        version->setProperty("textid", QVariant());
}

void CMainWnd::StartFocusFollowing()
{
    // Profiles follow the application in focus whether the window is shown or not: the switcher
    // works on the device hub's devices, and the bus reaches it without the window.
    m_focus = new app::FocusSwitcher([this] { return m_devices ? m_devices->AllDevices() : std::vector<CVantikUSBDevice*>{}; }, this);
    m_focus->SetSource(app::ChooseFocusSource());
    m_focus->SetPageBuilder([this] { BuildDevicePages(); });
    if (m_dbus)
        m_dbus->SetFocusSwitcher(m_focus);
    // The profile panel's rule lists offer the running applications and tell the bus of changes.
    QPointer<app::FocusSwitcher> focus(m_focus);
    FocusRulesEditor::SetHooks({[focus]() -> std::optional<QStringList> {
                                    app::FocusSource* source = focus ? focus->Source() : nullptr;
                                    if (!source || !source->CanListApplications())
                                        return std::nullopt;
                                    QStringList names;
                                    for (const app::FocusedApp& a : source->RunningApplications())
                                        names << a.DisplayName();
                                    return names;
                                },
                                [focus](const QString& folder) {
                                    if (focus)
                                        focus->RulesEdited(folder);
                                }});
}

void CMainWnd::OnDeviceStateChanged()
{
    const app::ConnectedDevices devices = m_devices->ListConnected();
    m_battery->Update(devices);
    if (m_dbus)
        m_dbus->DevicesChanged(devices);
    if (m_tray)
        m_tray->SetTip(app::BatteryNotices::TipText(QString::fromLatin1(app::msg::kInstance), devices));
}

void CMainWnd::OnWindowInit()
{
    // Other programs reach Tessel on the session bus; it is up before Tessel takes the
    // lighting, so they hear that.
    m_dbus = new app::DBusInterface([this](uint32_t m, intptr_t w, intptr_t l) { return SendMessage(m, w, l); },
                                    [this] { return ListConnectedDevices(); }, this);
    m_dbus->Register(QDBusConnection::sessionBus());
    InstallPanelServices();
    LoadStoredSkin();
    // A user file that could not be read is told once, after the window has come up; notices
    // may come from worker threads.
    userfiles::SetNoticeListener([this] {
        QMetaObject::invokeMethod(this, [this] { ShowFileNotices(); }, Qt::QueuedConnection);
    });
    SetLightingControl(true);
    {
        // --lang picks the language of this session only; the stored choice stays.
        QStringList names;
        for (const app::LanguageEntry& entry : m_languages.Languages())
            names << entry.name;
        const int session = app::SessionLanguageIndex(names);
        ApplyLanguage(session >= 0 ? session : m_languages.ReadStoredLanguage(), session < 0);
    }
    m_devices = std::make_unique<app::DeviceHub>(*this, PM());
    // Other programs change the devices through their pages, as the user does.
    auto* control = new app::DeviceControl([this] {
        return m_devices ? m_devices->ConnectedObjects() : app::DeviceControl::Entries{};
    }, this);
    control->SetPageBuilder([this] { BuildDevicePages(); });
    m_dbus->SetDeviceControl(control);
    // A start without the window builds no device page until the window is first wanted.
    m_devices->SetPagesDeferred(app::StartsWithoutWindow());
    m_battery = new app::BatteryNotices(this);
    m_battery->SetThresholds(m_store.ReadInt(QLatin1String(app::kBatteryLowKey)).value_or(app::BatteryWatch::kDefaultLow),
                             m_store.ReadInt(QLatin1String(app::kBatteryCriticalKey)).value_or(app::BatteryWatch::kDefaultCritical));
    m_devices->SetDeviceStateHandler([this] { OnDeviceStateChanged(); });
    StartFocusFollowing();
    StartSdkServer();
    m_permissionNotice = new app::PermissionNotice(this, PM(), paths::dataFolder() + QStringLiteral("/70-tessel.rules"));
    hide();
    StartWorkerThreads();
    // Audio-reactive lighting: the capture program, the styles it gets, its watchdog; it is
    // registered with at timer 1011 and its frames expire at timer 1067, which runs only while
    // frames are held (ProcessSpectrum starts it), so an idle Tessel is not woken ten times a
    // second for nothing.
    StartRecorder();
    LoadAudioStyles();
    SendStyleColour();
    StartAudioWatchdog();
    // The window takes its DPI now, while it is still hidden, so it is first shown at its size
    // (the style sheet is already at that DPI); the timer checks again once the window is up.
    SetupDpi();
    PM().SetTimer(this, app::pm::kTimerDpiSetup, 100);
    m_initDone = true;

    // The monitor's size decides the DPI: follow a screen changing its size and a monitor added
    // or removed.
    auto displayChanged = [this] {
        qCDebug(tesselDebug) << "显示器分辨率发生变化";
        m_displayChanged = true;
        SetupDpi();
    };
    auto watchScreen = [this, displayChanged](QScreen* screen) {
        connect(screen, &QScreen::geometryChanged, this, displayChanged);
    };
    for (QScreen* screen : QGuiApplication::screens())
        watchScreen(screen);
    connect(qApp, &QGuiApplication::screenAdded, this, [watchScreen, displayChanged](QScreen* screen) {
        watchScreen(screen);
        displayChanged();
    });
    connect(qApp, &QGuiApplication::screenRemoved, this, displayChanged);
    QDBusConnection::systemBus().connect(
        QStringLiteral("org.freedesktop.login1"), QStringLiteral("/org/freedesktop/login1"),
        QStringLiteral("org.freedesktop.login1.Manager"), QStringLiteral("PrepareForSleep"), this,
        SLOT(OnPrepareForSleep(bool)));
    StartDeviceCapture();
}

// --- Profile switch ---

void CMainWnd::ArmProfileSwitch()
{
    // A quick run through the combo switches once, to where it ends.
    PM().SetTimer(this, app::pm::kTimerProfileSwitch, 400);
}

void CMainWnd::SwitchProfileOfCurrentDevice()
{
    CVantikUSBDevice* current = m_devices ? m_devices->CurrentDevice() : nullptr;
    if (auto* panel = current ? current->findChild<CDeviceProfileUI*>() : nullptr)
        panel->SwitchToSelectedProfile();
}

void CMainWnd::InstallPanelServices()
{
    editors::PanelServices services;
    services.message = [this](QWidget* parent, const QString& body, bool bodyIsId, int buttonMode) {
        return CMsgWnd::ShowMessage(parent ? parent : this, QString(), body, PM().GetDPI(), bodyIsId, buttonMode);
    };
    editors::InstallServices(services);
    editors::SetSameLightingHandler([this](CVantikUSBDevice& current) { RunSameLighting(current); });
    CVantikMouseDevice::SetStageColourChooser([this](QWidget*, uint32_t rgb, int stage) { return ChooseStageColour(rgb, stage); });
    CShootControlUI::SetSettingsPath(m_store.path());
}

void CMainWnd::ShowFileNotices()
{
    if (m_showingFileNotices || m_shutDown)
        return;
    // Told over the window, never under it: while the window is not up yet (start-up lays it
    // out first) or is in the tray, the notices wait for it.
    if (!isVisible() || isMinimized()) {
        QTimer::singleShot(250, this, [this] { ShowFileNotices(); });
        return;
    }
    m_showingFileNotices = true;
    const ui::Language& language = ui::Language::instance();
    for (std::vector<userfiles::Notice> notices = userfiles::TakeNotices(); !notices.empty();
         notices = userfiles::TakeNotices()) {
        QStringList lines;
        for (const userfiles::Notice& n : notices) {
            QString line;
            if (n.kind == userfiles::Notice::Corrected) {
                line = language.Text(QStringLiteral("message_text_file_corrected")).arg(n.file, n.detail);
            } else if (n.kind == userfiles::Notice::NotSaved) {
                line = language.Text(QStringLiteral("message_text_file_not_saved")).arg(n.file);
            } else if (n.kind == userfiles::Notice::TooLarge) {
                line = language.Text(QStringLiteral("message_text_file_too_large"))
                           .arg(n.file)
                           .arg((n.size + 1023) / 1024)
                           .arg(n.limit / 1024);
            } else if (n.keptAs.isEmpty()) {
                line = language.Text(QStringLiteral("message_text_file_damaged_not_kept")).arg(n.file);
            } else {
                line = language.Text(QStringLiteral("message_text_file_damaged")).arg(n.file, n.keptAs);
            }
            lines.append(line);
        }
        editors::Services().message(this, lines.join(QStringLiteral("\n\n")), false, 0);
    }
    m_showingFileNotices = false;
}

void CMainWnd::OnPrepareForSleep(bool sleeping)
{
    s_awake = !sleeping;
    NoticeLightingControl(sleeping ? 0 : (m_lightingControl ? 1 : 0));
}

void CMainWnd::NoticeLightingControl(uint32_t on)
{
    if (!m_devices)
        return;
    for (CVantikUSBDevice* d : m_devices->AllDevices()) {
        if (d->DeviceType() != hid::devtype::kHeadset)
            d->LightingControlNotice(on);
    }
}

void CMainWnd::SetSuppressStatus(uint32_t on)
{
    if (!m_devices)
        return;
    for (CVantikUSBDevice* d : m_devices->AllDevices())
        d->SetSuppressStatus(on);
}

void CMainWnd::SetPreviewFlags(uint32_t on)
{
    if (!m_devices)
        return;
    for (CVantikUSBDevice* d : m_devices->AllDevices()) {
        if (d->DeviceType() != hid::devtype::kHeadset)
            d->SetPreviewFlag(on);
    }
}

namespace {

// Runs a message on the window's thread like SendMessage, but gives up when `abort` is set, so a
// worker thread told to stop is never stuck behind a UI thread that is waiting for it to end.
intptr_t SendUnlessAborted(WindowImplBase* window, uint32_t msg, intptr_t wParam, const hid::Event& abort)
{
    struct Reply {
        std::mutex lock;
        std::condition_variable done;
        bool finished = false;
        intptr_t result = 0;
    };
    auto reply = std::make_shared<Reply>();
    QMetaObject::invokeMethod(
        window,
        [window, msg, wParam, reply] {
            bool handled = false;
            const intptr_t result = window->HandleCustomMessage(msg, wParam, 0, handled);
            std::lock_guard lock(reply->lock);
            reply->finished = true;
            reply->result = result;
            reply->done.notify_all();
        },
        Qt::QueuedConnection);
    std::unique_lock lock(reply->lock);
    while (!reply->done.wait_for(lock, std::chrono::milliseconds(10), [&] { return reply->finished; })) {
        if (abort.isSet())
            return 0;
    }
    return reply->result;
}

}  // namespace

void CMainWnd::StartDeviceCapture()
{
    // The capture thread lists the interfaces and reports what came and went; the register
    // outlives it (shared), and it reaches this window only through messages it can abandon.
    auto reg = m_devices->Register();
    m_workers.Start(kCaptureThreadSlot, [this, reg, link = m_link](const hid::Event& exit) {
        hid::DeviceCapture::Callbacks callbacks;
        callbacks.found = [this, &exit](int i) {
            return SendUnlessAborted(this, app::pm::kInterfaceFound, i, exit) != 0;
        };
        callbacks.lost = [this, &exit](int i) { SendUnlessAborted(this, app::pm::kInterfaceLost, i, exit); };
        // The first scan shows the window, with or without a device.
        callbacks.firstScan = [link, &exit] {
            if (!exit.isSet())
                link->Post(app::RegisteredMessages::Register(app::msg::kInstance), 0, 0);
        };
        // Devices this user may not open: shown in the strip with the way to fix it.
        callbacks.accessDenied = [notice = m_permissionNotice](const std::vector<hid::DeviceAccess>& denied) {
            QMetaObject::invokeMethod(notice, [notice, denied] {
                if (notice)
                    notice->SetDenied(denied);
            }, Qt::QueuedConnection);
        };
        hid::DeviceCapture capture(*reg, std::move(callbacks));
        capture.Run(exit);
    });
}

void CMainWnd::UpdateSyncDevices()
{
    if (!m_devices)
        return;
    std::vector<CVantikUSBDevice*> ordered;
    for (const auto* list : {&m_devices->Mice(), &m_devices->MousePads(), &m_devices->Headsets(), &m_devices->Keyboards()})
        ordered.insert(ordered.end(), list->begin(), list->end());
    m_sync->SetDevices(std::move(ordered));
}

void CMainWnd::StartWorkerThreads()
{
    UpdateSyncDevices();
    // The thread holds the sync state, never `this`.
    m_workers.Start(kLightingSyncSlot, [sync = m_sync](const hid::Event& exit) { sync->Run(exit); });
}

void CMainWnd::Notify(TNotifyUI& msg)
{
    if (msg.sType != QLatin1String(ui::kNotifyTimer))
        qCDebug(tesselDebug) << msg.sType << nameOf(msg.pSender);

    if (msg.sType == QLatin1String(ui::kNotifyWindowInit)) {
        OnWindowInit();
    } else if (msg.sType == QLatin1String(ui::kNotifyWindowSize)) {
        if (m_displayChanged) {
            m_displayChanged = false;
            SetupDpi();
        }
        UpdateMaxRestoreButtons();
    } else if ((msg.sType == QLatin1String(ui::kNotifyValueChanged) ||
                msg.sType == QLatin1String(ui::kNotifyMoveValueChanged)) &&
               (nameOf(msg.pSender) == QLatin1String("R_light_slider") ||
                nameOf(msg.pSender) == QLatin1String("G_light_slider") ||
                nameOf(msg.pSender) == QLatin1String("B_light_slider"))) {
        OnLightSlider(nameOf(msg.pSender), int(msg.wParam));
    } else if (msg.sType == QLatin1String(ui::kNotifyClick)) {
        if (!OnClick(msg))
            RouteToCurrentDevice(msg);
    } else if (msg.sType == QLatin1String(ui::kNotifyTimer)) {
        if (msg.pSender == this)
            OnTimer(int(msg.wParam));
        else if (CVantikUSBDevice* device = m_devices ? m_devices->DeviceOfTab(msg.pSender) : nullptr)
            device->OnTabTimer(int(msg.wParam));
    } else if (msg.sType == QLatin1String(ui::kNotifySelectChanged)) {
        if (nameOf(msg.pSender) == QLatin1String("device_select") && m_devices) {
            for (QWidget* w = msg.pSender; w; w = w->parentWidget()) {
                if (auto* tab = qobject_cast<ui::CDeviceOptionUI*>(w)) {
                    m_devices->TabSelected(tab);
                    break;
                }
            }
        } else {
            RouteToCurrentDevice(msg);
        }
    } else if (msg.sType == QLatin1String(ui::kNotifyMenu) && msg.wParam == ui::kMenuCommand) {
        const auto* cmd = reinterpret_cast<const ui::MenuCmd*>(msg.lParam);
        if (!cmd)
            return;
        // Items of a menu that a panel opened (the macro row menu) go to the current device's
        // panels.
        if (cmd->name == QLatin1String("exit"))
            Exit();
        else if (cmd->name == QLatin1String("setwnd_menu"))
            OpenSettings(false);
        else if (cmd->name == QLatin1String("about_menu"))
            OpenAbout();
        else if (cmd->name == QLatin1String("autostart_menu"))
            SetAutostart(cmd->checked);
        else
            RouteToCurrentDevice(msg);
    } else if (msg.sType != QLatin1String(ui::kNotifyMenu)) {
        if (msg.sType == QLatin1String(ui::kNotifyItemSelect) &&
            nameOf(msg.pSender) == QLatin1String(CDeviceProfileUI::kComboName))
            ArmProfileSwitch();
        // Values, selections, list clicks and edits of the device pages' panels.
        RouteToCurrentDevice(msg);
    }
}

void CMainWnd::RouteToCurrentDevice(TNotifyUI& msg)
{
    // The current device (of the visible, selected tab) and its panels take what the window
    // does not handle itself. A control inside another device's page is not the current
    // device's: such a notification is dropped.
    CVantikUSBDevice* current = m_devices ? m_devices->CurrentDevice() : nullptr;
    if (!current)
        return;
    for (QWidget* w = msg.pSender; w; w = w->parentWidget()) {
        if (auto* owner = qobject_cast<CVantikUSBDevice*>(w)) {
            if (owner != current)
                return;
            break;
        }
    }
    current->HandlePanelNotify(msg);
}

bool CMainWnd::OnClick(TNotifyUI& msg)
{
    const QString name = nameOf(msg.pSender);
    const auto [prefix, index] = SplitIndexedName(name);
    if (name == QLatin1String("closebtn")) {
        HideToTray();
    } else if (name == QLatin1String("nodevice_ok_btn")) {
        HideToTray();
    } else if (name == QLatin1String("minbtn")) {
        showMinimized();
    } else if (name == QLatin1String("maxbtn")) {
        showMaximized();
    } else if (name == QLatin1String("restorebtn")) {
        showNormal();
    } else if (name == QLatin1String("control_light_status")) {
        SetLightingControl(!m_lightingControl);
    } else if (name == QLatin1String("skinbtn")) {
        OpenSkinFrame();
    } else if (name == QLatin1String("setbtn")) {
        OpenSettings(false);
    } else if (name == QLatin1String("music_setting_btn")) {
        OpenMusicWindow();
    } else if (prefix == QLatin1String("windowdeviceset_")) {
        OpenSystemSettings(index);
    } else if (name == QLatin1String("device_select_prev") && m_devices) {
        m_devices->SelectNeighbour(-1);
    } else if (name == QLatin1String("device_select_next") && m_devices) {
        m_devices->SelectNeighbour(1);
    } else {
        return false;
    }
    return true;
}

void CMainWnd::OnTimer(int id)
{
    switch (id) {
    case app::pm::kTimerDpiSetup:
        PM().KillTimer(this, id);
        // In the background the window is laid out when it is first shown.
        if (!app::CurrentStartOptions().background || m_firstShowSent) {
            SetupDpi();
            update();
        }
        RegisterWithRecorder();
        break;
    case app::pm::kTimerAudioFrames:
        if (m_spectrum.ExpireFrames(std::chrono::duration_cast<std::chrono::milliseconds>(
                                        std::chrono::steady_clock::now().time_since_epoch()).count()))
            SendAudioLevels(true, true);
        if (!m_spectrum.FramesPending())
            PM().KillTimer(this, id);
        break;
    case app::pm::kTimerTrayMenu:
        PM().KillTimer(this, id);
        ShowTrayMenu();
        break;
    case app::pm::kTimerGameLightRestore:
        PM().KillTimer(this, id);
        // The device the events acted on, even when another tab was chosen meanwhile.
        if (m_gameDevice)
            editors::RestoreAfterGame(*m_gameDevice);
        m_gameDevice.clear();
        break;
    case app::pm::kTimerProfileSwitch:
        PM().KillTimer(this, id);
        SwitchProfileOfCurrentDevice();
        break;
    default:
        break;
    }
}

intptr_t CMainWnd::HandleCustomMessage(uint32_t msg, intptr_t wParam, intptr_t lParam, bool& bHandled)
{
    using app::RegisteredMessages;
    if (intptr_t result = 0; HandleHookMessage(msg, wParam, lParam, result)) {
        bHandled = true;
        return result;
    }
    if (msg == app::pm::kRecorderStart) {
        StartRecorder();
        bHandled = true;
        return 0;
    }
    if (msg == app::pm::kRecorderRegister) {
        RegisterWithRecorder();
        bHandled = true;
        return 0;
    }
    if (msg == RegisteredMessages::Find(app::msg::kInstance)) {
        qCDebug(tesselDebug).noquote()
            << QStringLiteral("软件标示 %1，%2d%3d").arg(msg).arg(wParam, 0, 16).arg(lParam, 0, 16);
        // A start in the tray: the first scan's own post (0, 0) leaves the window closed until
        // the user opens it from the tray or another start asks for it.
        if (wParam == 0 && lParam == 0 && !m_firstShowSent && app::CurrentStartOptions().background) {
            qCDebug(tesselDebug) << "running in the background";
            bHandled = true;
            return 0;
        }
        if (wParam == 0 && lParam == 0 && !m_firstShowSent && app::CurrentStartOptions().minimized) {
            qCDebug(tesselDebug) << "started in the tray";
            if (!HasTray())
                showMinimized();
            bHandled = true;
            return 0;
        }
        RestoreAndBringForward();
        bHandled = true;
        return 0;
    }
    if (msg == RegisteredMessages::Find(app::msg::kLightControlRequest)) {
        if (wParam == 1 && (lParam == 0 || lParam == 1))
            SetLightingControl(lParam == 1);
        bHandled = true;
        return 0;
    }
    if (msg == RegisteredMessages::Find(app::msg::kWorkToolQuery)) {
        // The answer goes to the asker on the bus; when nobody asked, nothing is sent.
        if (m_dbus)
            m_dbus->AnswerWorkTool(app::BuildWorkToolAnswer());
        bHandled = true;
        return 0;
    }
    if (msg == RegisteredMessages::Find(app::msg::kUpdateRelay)) {
        // Passed on unchanged to the settings window while it is open.
        if (m_setWnd)
            m_setWnd->PostMessage(msg, wParam, lParam);
        bHandled = true;
        return 0;
    }
    if (!s_awake) {
        bHandled = false;
        return 0;
    }
    for (const char* game : app::msg::kGameMessages) {
        if (msg == RegisteredMessages::Find(game)) {
            OnGameEvent(msg, wParam, lParam);
            bHandled = true;
            return 0;
        }
    }
    switch (msg) {
    case app::pm::kTrayCallback:
        if (lParam == app::pm::kTrayLeftButtonUp)
            ToggleFromTray();
        else if (lParam == app::pm::kTrayRightButtonUp)
            PM().SetTimer(this, app::pm::kTimerTrayMenu, 10);
        bHandled = true;
        return 0;
    case app::pm::kDpiChangedTrace:
        qCDebug(tesselDebug) << "界面 DPI 1发生变化";
        bHandled = true;
        return 0;
    case app::pm::kShowSettingProgress:
        if (QWidget* progress = PM().FindControl(QStringLiteral("setting_progress")))
            progress->setVisible(true);
        bHandled = true;
        return 0;
    case app::pm::kLanguageChange:
        ApplyLanguage(int(wParam));
        bHandled = true;
        return 0;
    case app::pm::kOpenSettingsCentred:
        bHandled = true;
        // Opened after this message returns: the window runs modally and its sender goes on.
        QTimer::singleShot(0, this, [this] { OpenSettings(true); });
        return 0;
    case app::pm::kClearSetButtonImage:
        if (auto* setbtn = PM().Find<QPushButton>(QStringLiteral("setbtn")))
            setbtn->setIcon(QIcon());
        bHandled = true;
        return 0;
    case app::pm::kDeviceTabIgnored:
        bHandled = true;
        return 0;
    case app::pm::kInterfaceFound: {
        bHandled = true;
        if (!m_devices || m_shutDown)
            return 0;
        const bool attached = m_devices->InterfaceFound(int(wParam));
        UpdateSyncDevices();
        if (m_sdk)
            m_sdk->DevicesChanged();
        if (!KeepsWindowClosed())
            RestoreAndBringForward();
        return attached ? 1 : 0;
    }
    case app::pm::kInterfaceLost:
        bHandled = true;
        if (m_devices && !m_shutDown)
            m_devices->InterfaceLost(int(wParam));
        if (m_sdk)
            m_sdk->DevicesChanged();
        return 0;
    case app::pm::kDeviceTabVisibility:
        bHandled = true;
        if (m_devices && !m_shutDown)
            m_devices->SetTabVisibility(int(wParam), lParam != 0);
        if (m_sdk)
            m_sdk->DevicesChanged();
        return 0;
    default:
        break;
    }
    return WindowImplBase::HandleCustomMessage(msg, wParam, lParam, bHandled);
}

int CMainWnd::ChooseDpi(QSize monitor)
{
    return monitor.width() > 1500 && monitor.height() > 960 ? 144 : 96;
}

int CMainWnd::ValidDpi(int dpi, const char* trace)
{
    return ui::ValidDpi(dpi, trace);
}

std::pair<QString, int> CMainWnd::SplitIndexedName(const QString& name)
{
    const qsizetype underscore = name.lastIndexOf('_');
    if (underscore < 0 || underscore + 1 >= name.size())
        return {name, -1};
    const QStringView digits = QStringView(name).mid(underscore + 1);
    for (QChar c : digits) {
        if (c < '0' || c > '9')
            return {name, -1};
    }
    bool ok = false;
    const int number = digits.toInt(&ok);
    if (!ok)
        return {name, -1};
    return {name.left(underscore + 1), number};
}

void CMainWnd::SetupDpi()
{
    const bool wasShown = isVisible() && !isMinimized();
    if (isMinimized())
        setWindowState(windowState() & ~Qt::WindowMinimized);
    QScreen* monitor = screen() ? screen() : QGuiApplication::primaryScreen();
    ApplyDpi(ValidDpi(monitor ? ChooseDpi(monitor->geometry().size()) : 96, "MAIN_WND DPI SET ERROR"));
    if (wasShown)
        show();
    else
        hide();
}

void CMainWnd::ApplyDpi(int dpi)
{
    // Every size is scaled from the skin's own, so the new DPI is set at once; an unchanged DPI
    // leaves the other windows (an open message box, the settings window) as they are.
    if (dpi != m_dpi || dpi != PM().GetDPI()) {
        ui::PaintManager::SetAllDPI(dpi);
        m_dpi = dpi;
    }
    // The style sheet is the process's: it may have been left at another DPI by an earlier
    // window (applying the one it has costs nothing).
    app::ApplyStyleSheet(dpi);
    resize(kBaseWidth * dpi / 96, kBaseHeight * dpi / 96);
    CenterWindow();
    qCDebug(tesselDebug).noquote() << QStringLiteral("DPI set-up: %1, %2 x %3").arg(dpi).arg(width()).arg(height());
}

int CMainWnd::VisibleDeviceTabs() const
{
    return m_devices ? m_devices->VisibleTabCount() : 0;
}

void CMainWnd::UpdateNoDeviceLink()
{
    if (m_devices) {
        m_devices->UpdateNoDeviceLink();
        return;
    }
    const bool none = true;
    if (QWidget* link = PM().FindControl(QStringLiteral("No_device_Link")))
        link->setVisible(none);
    if (QWidget* strip = PM().FindControl(QStringLiteral("device_select_layout")))
        strip->setVisible(!none);
    if (QWidget* waiting = PM().FindControl(QStringLiteral("device_strip_empty")))
        waiting->setVisible(none);
    for (const char* name : {"device_switch", "device_power_switch"}) {
        if (QWidget* w = PM().FindControl(QLatin1String(name)))
            w->setVisible(!none);
    }
}

void CMainWnd::UpdateMaxRestoreButtons()
{
    const bool maximized = isMaximized();
    if (QWidget* max = PM().FindControl(QStringLiteral("maxbtn")))
        max->setVisible(!maximized);
    if (QWidget* restore = PM().FindControl(QStringLiteral("restorebtn")))
        restore->setVisible(maximized);
}

bool CMainWnd::KeepsWindowClosed() const
{
    // A device that comes or goes never opens the window of a Tessel in the background, nor
    // that of a start in the tray before the user first opened it.
    const app::StartOptions& options = app::CurrentStartOptions();
    return options.background || (options.minimized && !m_firstShowSent);
}

void CMainWnd::BuildDevicePages()
{
    if (m_devices && m_devices->PagesPending() > 0)
        m_devices->BuildPages();
    else if (m_devices)
        m_devices->SetPagesDeferred(false);
}

void CMainWnd::RestoreAndBringForward()
{
    if (m_shutDown)
        return;
    BuildDevicePages();
    if (!m_firstShowSent && app::CurrentStartOptions().background)
        SetupDpi();
    UpdateNoDeviceLink();
    SetSuppressStatus(0);
    if (isMinimized())
        showNormal();
    else
        show();
    raise();
    activateWindow();
    if (!m_firstShowSent) {
        m_firstShowSent = true;
        qCDebug(tesselDebug) << "window shown";
        emit firstShown();
    }
}

void CMainWnd::ToggleFromTray()
{
    const bool shown = isVisible() && !isMinimized();
    UpdateNoDeviceLink();
    CloseSubWindows();
    if (!shown) {
        BuildDevicePages();
        show();
        SetupDpi();
        RestoreAndBringForward();
        update();
    } else {
        hide();
        SetSuppressStatus(1);
    }
}

bool CMainWnd::HasTray() const
{
    return m_tray && ui::TrayIcon::IsAvailable();
}

void CMainWnd::HideToTray()
{
    CloseSubWindows();
    SetSuppressStatus(1);
    // Without a tray there would be no way back to a hidden window: minimise instead. In the
    // background the window closes: the next start opens it again.
    if (HasTray() || app::CurrentStartOptions().background)
        hide();
    else
        showMinimized();
}

void CMainWnd::CloseSubWindows()
{
    // The skin window closes here once it exists.
    if (m_setWnd) {
        m_setWnd->StopWorkers();
        m_setWnd->Close(0);
    }
    if (m_aboutWnd)
        m_aboutWnd->Close(0);
    if (m_musicWnd)
        m_musicWnd->Close(0);
    if (m_skinFrame)
        m_skinFrame->Close(0);
    if (m_colourWnd)
        m_colourWnd->Close(0);
}

std::vector<app::SoftwareIdentity> CMainWnd::UpdateRows() const
{
    std::vector<app::SoftwareIdentity> rows;
    const auto& table = app::SoftwareIdentityTable();
    for (size_t k = 0; k < table.size(); ++k) {
        app::SoftwareIdentity row = table[k];
        if (row.modelCode == QLatin1String(app::kApplicationModelCode)) {
            row.version = update::InstalledVersionNumber(update::InstalledVersionText());
            row.versionText = QStringLiteral("V") + update::InstalledVersionText();
        } else if (m_devices && int(k) < m_devices->TabCount()) {
            // The firmware of the device on the tab of the same place, when it is connected.
            const ui::CDeviceOptionUI* tab = m_devices->TabAt(int(k));
            auto* device = tab ? qobject_cast<CVantikUSBDevice*>(tab->Device()) : nullptr;
            if (device && !tab->isHidden() && device->Transport().isReady()) {
                // Shown as "1.05" for 0x0105: the digits are the hexadecimal number.
                QString digits = device->FirmwareVersion();
                digits.remove(QLatin1Char('.'));
                row.version = int32_t(digits.toUInt(nullptr, 16));
            }
        }
        if (row.version != 0)
            rows.push_back(row);
    }
    return rows;
}

CSetWnd* CMainWnd::CreateSettingsWindow(bool centred)
{
    if (m_setWnd) {
        m_setWnd->raise();
        m_setWnd->activateWindow();
        return m_setWnd;
    }
    auto* wnd = new CSetWnd();
    wnd->SetOwnerWindow(this, CurrentLanguage());
    wnd->SetLanguageConfig(m_languages.configPath());
    wnd->SetUpdateRows(UpdateRows());
    wnd->Create(this, QString());
    wnd->SetWindowDpi(m_dpi);
    m_setWnd = wnd;
    if (centred) {
        wnd->CenterWindow();
    } else {
        // Below the gear: the right edge 30 and the top 60 scaled pixels inside the main window.
        const int inset = 30 * m_dpi / 96, top = 60 * m_dpi / 96;
        const QRect frame = geometry();
        wnd->move(frame.right() - inset - wnd->width() + 1, frame.top() + top);
    }
    wnd->show();
    return wnd;
}

void CMainWnd::OpenSettings(bool centred)
{
    const bool wasOpen = m_setWnd;
    CSetWnd* wnd = CreateSettingsWindow(centred);
    if (!wasOpen)
        wnd->ShowModal();
}

CAboutWnd* CMainWnd::CreateAboutWindow()
{
    if (m_aboutWnd) {
        m_aboutWnd->raise();
        m_aboutWnd->activateWindow();
        return m_aboutWnd;
    }
    auto* wnd = new CAboutWnd();
    wnd->Create(this, QString());
    wnd->SetVersionText(QStringLiteral("V") + update::InstalledVersionText());
    m_aboutWnd = wnd;
    wnd->CenterWindow();
    wnd->show();
    return wnd;
}

void CMainWnd::OpenAbout()
{
    const bool wasOpen = m_aboutWnd;
    CAboutWnd* wnd = CreateAboutWindow();
    if (!wasOpen)
        wnd->ShowModal();
}

void CMainWnd::ShowTrayMenu()
{
    ui::MenuWnd* menu = ui::MenuWnd::Popup(QStringLiteral("menu.xml"), QCursor::pos(), this);
    if (QAction* autostart = menu ? menu->FindItem(QStringLiteral("autostart_menu")) : nullptr)
        autostart->setChecked(app::Autostart::IsEnabled());
}

void CMainWnd::SetAutostart(bool on)
{
    QString error;
    if (app::Autostart::SetEnabled(on, &error))
        return;
    qCDebug(tesselDebug) << "autostart entry not changed:" << error;
    const QString text = ui::Language::instance().Text(QStringLiteral("autostart_failed")).replace(QLatin1String("%1"), error);
    CMsgWnd::ShowMessage(this, QString(), text, PM().GetDPI(), false, CMsgWnd::ConfirmOnly);
}

void CMainWnd::StartSdkServer()
{
    QString badArgument;
    const std::optional<app::SdkServerConfig> asked = app::SdkServerFromArguments(QCoreApplication::arguments(), &badArgument);
    if (!badArgument.isEmpty())
        std::fprintf(stderr, "%s: the port must be a number from 0 to 65535; the SDK server stays off.\n",
                     qPrintable(badArgument));
    const app::SdkServerConfig config = asked ? *asked : app::SdkServerFromSettings();
    if (!config.enabled)
        return;
    m_sdk = std::make_unique<app::SdkBridge>(*m_devices);
    QString error;
    if (!m_sdk->Start(config, &error)) {
        std::fprintf(stderr, "The SDK server could not listen on port %u: %s\n", unsigned(config.port), qPrintable(error));
        m_sdk.reset();
        return;
    }
    // Scripts and tests that asked for any free port (0) learn which one from here.
    std::fprintf(stderr, "SDK server listening on %s port %u\n", config.anyAddress ? "every address" : "127.0.0.1",
                 unsigned(m_sdk->Server().Port()));
}

void CMainWnd::SetLightingControl(bool on)
{
    m_lightingControl = on;
    NoticeLightingControl(on ? 1 : 0);
    if (m_dbus)
        m_dbus->BroadcastLightingControl(on);
    if (QWidget* label = PM().FindControl(QStringLiteral("control_light_status")))
        ui::Language::instance().SetTextId(label, on ? kLightControlOn : kLightControlOff);
}

void CMainWnd::OnGameEvent(uint32_t msg, intptr_t wParam, intptr_t lParam)
{
    qCDebug(tesselDebug).noquote() << "game event" << app::RegisteredMessages::Name(msg);
    qCDebug(tesselDebug) << "game event parameters" << wParam << lParam;
    CVantikUSBDevice* device = m_devices ? m_devices->CurrentDevice() : nullptr;
    if (!device)
        return;
    // A new device's first event: the one before it goes back to its mode first.
    if (m_gameDevice && m_gameDevice != device)
        editors::RestoreAfterGame(*m_gameDevice);
    m_gameDevice = device;
    editors::ApplyGameEvent(*device, int(wParam), int(lParam));
    // Every event, whatever it asked, puts the return to the saved mode five seconds away.
    PM().SetTimer(this, app::pm::kTimerGameLightRestore, 5000);
}

void CMainWnd::RunSameLighting(CVantikUSBDevice& current)
{
    if (!m_devices)
        return;
    app::LightingSync::Settings sync = m_sync->GetSettings();
    if (editors::ApplySameLighting(current, m_devices->AllDevices(), &sync))
        m_sync->SetSettings(sync);
}

app::ConnectedDevices CMainWnd::ListConnectedDevices() const
{
    return m_devices ? m_devices->ListConnected() : app::ConnectedDevices{};
}

void CMainWnd::ApplyLanguage(int index, bool store)
{
    const auto change = m_languages.Choose(index, store);
    if (!change)
        return;
    // The language's script gets its face (from the system, else the shipped file) before the
    // fonts that name it are set.
    app::LanguageFonts::Instance().Prepare(index, app::LanguageSettings::FontFaceFor(index),
                                           change->entry ? change->entry->name : QString());
    if (change->fontsChanged) {
        PM().RemoveAllFonts();
        for (const app::InterfaceFont& f : app::LanguageSettings::InterfaceFonts()) {
            if (f.id == app::LanguageSettings::kDefaultFontId)
                PM().SetDefaultFont(change->fontFace, f.pixelSize, f.bold, f.underline, false, true);
            else
                PM().AddFont(f.id, change->fontFace, f.pixelSize, f.bold, f.underline, false, true);
        }
        PM().ApplyFonts();
    }
    if (change->entry) {
        const QString file = app::LanguageSettings::LanguageFilePath(ui::PaintManager::GetResourcePath(),
                                                                     change->entry->file);
        if (!file.isEmpty())
            ui::Language::instance().SetLanguage(file);
        qCDebug(tesselDebug).noquote() << "language" << change->entry->name << (store ? "chosen" : "for this session");
        if (m_permissionNotice)
            m_permissionNotice->ReloadText();
    }
    // Texts a page composes from parts (a tab's route and battery line, the repeat delay) are
    // not ids: every device shows them again in the new language.
    if (m_devices) {
        for (CVantikUSBDevice* device : m_devices->AllDevices())
            device->RefreshPanel();
    }
    // The open sub-windows redo what is not a plain text id (the audio-lighting window's here
    // once it exists).
    if (m_setWnd) {
        m_setWnd->SetOwnerWindow(this, index);
        m_setWnd->SendMessage(app::pm::kLanguageChange, 0, 0);
    }
    if (m_aboutWnd)
        m_aboutWnd->SendMessage(app::pm::kLanguageChange, 0, 0);
    if (m_colourWnd)
        m_colourWnd->SendMessage(app::pm::kLanguageChange, 0, 0);
    if (m_skinFrame)
        m_skinFrame->SendMessage(app::pm::kLanguageChange, 0, 0);
    update();
}

void CMainWnd::OpenSystemSettings(int which)
{
    // 1 the mouse, 0 the keyboard settings of the desktop, whichever desktop is there.
    if (which != 0 && which != 1)
        return;
    const char* const candidates[3][3] = {
        {"gnome-control-center", "keyboard", "mouse"},
        {"systemsettings", "kcm_keyboard", "kcm_mouse"},
        {nullptr, nullptr, nullptr},
    };
    for (const auto& c : candidates) {
        if (!c[0])
            break;
        const QString program = QStandardPaths::findExecutable(QLatin1String(c[0]));
        if (!program.isEmpty()) {
            QProcess::startDetached(program, {QLatin1String(c[which == 1 ? 2 : 1])});
            return;
        }
    }
    const QString xfce = QStandardPaths::findExecutable(
        QLatin1String(which == 1 ? "xfce4-mouse-settings" : "xfce4-keyboard-settings"));
    if (!xfce.isEmpty())
        QProcess::startDetached(xfce, {});
}

void CMainWnd::Exit()
{
    CloseSubWindows();
    m_exiting = true;
    Shutdown();
    QCoreApplication::quit();
}

int CMainWnd::Shutdown()
{
    if (m_shutDown)
        return 0;
    m_shutDown = true;
    // No focus change switches a device that is being closed.
    if (m_focus)
        m_focus->SetSource(nullptr);
    userfiles::SetNoticeListener({});
    qCDebug(tesselDebug) << "退出测试";
    // Closing mid-capture or mid-recording never leaves the keyboard held.
    OnShutdownHook();
    hide();
    StopRecorder();
    PM().KillTimer(this);
    const int timedOut = m_workers.StopAll(app::WorkerThreads::kStopWaitMs);
    m_link->Detach();
    // No client reaches a device once its threads are stopped.
    m_sdk.reset();
    if (m_devices)
        m_devices->DetachAll();
    if (m_tray)
        m_tray->Hide();
    return timedOut;
}

void CMainWnd::closeEvent(QCloseEvent* event)
{
    // Closing the window (its close button, the window manager) keeps the application in the
    // tray; only "exit" ends it.
    if (!m_exiting) {
        event->ignore();
        HideToTray();
        return;
    }
    WindowImplBase::closeEvent(event);
}

void CMainWnd::changeEvent(QEvent* event)
{
    if (event->type() == QEvent::WindowStateChange) {
        UpdateMaxRestoreButtons();
        // Restored by the desktop (a minimised window of a start in the tray without a tray).
        if (isVisible() && !isMinimized() && m_devices && m_devices->PagesPending() > 0)
            QTimer::singleShot(0, this, [this] {
                // Still shown once the state settled (a platform may pass through "normal" on
                // its way to minimised).
                if (isVisible() && !isMinimized())
                    BuildDevicePages();
            });
    }
    WindowImplBase::changeEvent(event);
}

bool CMainWnd::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::Paint && watched == Root() && PaintBackground(Root()))
        return true;
    if (watched->objectName() == QLatin1String("titlebar")) {
        if (event->type() == QEvent::MouseButtonPress &&
            static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton && windowHandle()) {
            windowHandle()->startSystemMove();
            return true;
        }
        if (event->type() == QEvent::MouseButtonDblClick) {
            isMaximized() ? showNormal() : showMaximized();
            return true;
        }
    }
    return WindowImplBase::eventFilter(watched, event);
}
