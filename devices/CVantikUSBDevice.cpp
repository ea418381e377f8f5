#include "devices/CVantikUSBDevice.h"
#include "ui/IndexedName.h"

#include "hid/DebugLog.h"
#include "devices/LightingTables.h"
#include "devices/CDevicePanel.h"
#include "profiles/CBasicProfiledata.h"
#include "profiles/DataPaths.h"
#include "profiles/ProfileList.h"
#include "protocol/ResultCodes.h"
#include "ui/CDeviceKeyButtonUI.h"
#include "ui/CDeviceOptionUI.h"
#include "ui/CMpDevicePowerUI.h"
#include "ui/CSelectPanelUI.h"
#include "ui/Language.h"
#include "ui/PaintManager.h"
#include "ui/WindowImplBase.h"

#include <QDateTime>
#include <QLabel>
#include <QStackedWidget>
#include <QTabWidget>
#include <QTimer>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <thread>
#include <utility>

namespace {

constexpr int kStatusLength = 6;
// A frame that failed is sent again after this pause, so a device that refuses frames is not
// sent one on every tick of the push.
constexpr uint64_t kFailedFramePauseMs = 200;
// Frame pushes with nothing new before the 5 ms timer rests (until the light thread changes
// the colours again): an unchanged frame is never sent twice.
constexpr int kIdlePushesBeforeRest = 20;

}  // namespace

CVantikUSBDevice::CVantikUSBDevice(QWidget* parent) : QWidget(parent)
{
    m_saveSoon.setSingleShot(true);
    m_saveSoon.callOnTimeout(this, [this] { SaveProfile(); });
    m_settingsPace.setSingleShot(true);
    m_settingsPace.callOnTimeout(this, [this] { PostSettings(0); });
    m_io.SetAvailabilityHandler([this](bool answering, int64_t sinceMs) { OnAvailabilityChanged(answering, sinceMs); });
    m_io.SetEventHandler([this](uint32_t code) { HandleDeviceEvent(code); });
}

CVantikUSBDevice::~CVantikUSBDevice()
{
    ShutDown();
}

void CVantikUSBDevice::ShutDown()
{
    FlushProfileSave();
    StopLightThread();
    DetachListener(hid::devtype::kKeyboard);
    DetachListener(hid::devtype::kKeyboardReceiver);
    m_transport.setReady(0);
    // Closing the channels releases a transfer the I/O worker is waiting in.
    m_transport.channelA().close();
    m_transport.channelB().close();
    m_io.Stop();
}

void CVantikUSBDevice::Setup(const DeviceSetup& setup)
{
    m_pageFile = setup.pageFile;
    m_mainWnd = setup.mainWnd;
    SetKeyCount(setup.keyCount);
    SetLightCount(setup.ledCount);
    m_optionIndex = setup.optionIndex;
    m_hasPowerPanel = setup.hasPowerPanel;
    m_mouseValue = setup.mouseValue;
    m_folderName = setup.kindName;
    m_powerPanel = setup.powerPanel;
    m_entry = setup.entry;
    m_modelIndex = setup.deviceNumber;
    m_lightControlName = setup.lightControlName;
}

void CVantikUSBDevice::Start()
{
    BindPanelControls();
    BuildProfilePaths();
    ShowDeviceInfo();
    AttachPanels();
}

void CVantikUSBDevice::StartPage()
{
    m_functionSwitch = nullptr;
    m_keyFunctionSwitch = nullptr;
    BindPanelControls();
    AttachPanels();
    RefreshPanel();
}

// --- Editor panels ---

void CVantikUSBDevice::AttachPanels()
{
    m_panels.clear();
    for (QWidget* w : findChildren<QWidget*>()) {
        if (auto* panel = dynamic_cast<CDevicePanel*>(w)) {
            m_panels.emplace_back(w);
            panel->AttachDevice(*this);
        }
    }
}

bool CVantikUSBDevice::HandlePanelNotify(TNotifyUI& msg)
{
    for (const QPointer<QWidget>& w : m_panels) {
        if (auto* panel = dynamic_cast<CDevicePanel*>(w.data()); panel && panel->HandlePanelNotify(msg))
            return true;
    }
    return false;
}

// --- Key assignment editing ---

std::vector<KeyAssignmentPair> CVantikUSBDevice::KeyAssignments()
{
    return Profile().GetKeyList();
}

void CVantikUSBDevice::StoreKeyAssignments(const std::vector<KeyAssignmentPair>& keys)
{
    Profile().SetKeyList(keys);
}

// --- Panel ---

void CVantikUSBDevice::BindPanelControls()
{
    if (m_deviceName.isEmpty()) {
        m_keyCount = 0;
        m_ledCount = 0;
        m_keyButtons.clear();
        m_lightButtons.clear();
        return;
    }
    auto* panel = findChild<ui::CSelectPanelUI*>();
    if (!panel)
        return;
    for (auto* button : panel->findChildren<ui::CDeviceKeyButtonUI*>()) {
        const auto [prefix, number] = ui::SplitTrailingNumber(button->objectName());
        if (number >= 0 && prefix.compare(QLatin1String("key_"), Qt::CaseInsensitive) == 0 &&
            uint32_t(number) < m_keyCount)
            m_keyButtons[size_t(number)] = button;
        const auto [dataPrefix, led] = ui::SplitTrailingNumber(button->property("userdata").toString());
        if (led >= 0 && dataPrefix.compare(QLatin1String("light_"), Qt::CaseInsensitive) == 0 &&
            uint32_t(led) < m_ledCount) {
            m_lightButtons[size_t(led)] = button;
            button->SetLightColour(0xFFFFFF, 255, true);
        }
    }
}

QWidget* CVantikUSBDevice::FindPanelControl(const QString& name) const
{
    return ui::PaintManager::FindSubControlByName(const_cast<CVantikUSBDevice*>(this), name);
}

void CVantikUSBDevice::SelectFunctionPage(int page)
{
    m_functionPage = page;
    if (!m_functionSwitch)
        m_functionSwitch = FindPanelControl(QStringLiteral("device_function_switch"));
    if (!m_keyFunctionSwitch)
        m_keyFunctionSwitch = FindPanelControl(QStringLiteral("device_key_function_switch"));
    auto select = [](QWidget* w, int index) {
        if (auto* stack = qobject_cast<QStackedWidget*>(w); stack && index < stack->count())
            stack->setCurrentIndex(index);
        else if (auto* tabs = qobject_cast<QTabWidget*>(w); tabs && index < tabs->count())
            tabs->setCurrentIndex(index);
    };
    const bool keysOrMouse = m_deviceType == 1 || m_deviceType == 2;
    if (page == 3 || page == 8) {
        select(m_functionSwitch, 1);
    } else if (page == 5) {
        select(m_functionSwitch, 2);
    } else if (page == 4 && keysOrMouse) {
        select(m_functionSwitch, 3);
    } else {
        select(m_functionSwitch, 0);
        const int keyTab = (page == 2 || page == 6) ? 1 : (page == 4 || page == 7) ? 2 : 0;
        select(m_keyFunctionSwitch, keyTab);
    }
}

void CVantikUSBDevice::RefreshPanel()
{
    ShowDeviceInfo();
    for (const QPointer<QWidget>& w : m_panels) {
        if (auto* panel = dynamic_cast<CDevicePanel*>(w.data()))
            panel->DeviceRefreshed();
    }
}

void CVantikUSBDevice::SendLighting()
{
    if (!m_lightingControl.load() || !m_transport.isReady() || m_externalLighting.load())
        return;
    PostSettings(0);
}

std::vector<QWidget*> CVantikUSBDevice::Panels() const
{
    std::vector<QWidget*> out;
    for (const QPointer<QWidget>& w : m_panels) {
        if (w)
            out.push_back(w.data());
    }
    return out;
}

KeySlotMemory CVantikUSBDevice::KeySlots() const
{
    const int version = m_infoValid ? (m_info[0] | (m_info[1] << 8)) : 0;
    const QString layout = QStringLiteral("%1-%2-%3")
                               .arg(m_entry.productId, 4, 16, QLatin1Char('0'))
                               .arg(version, 4, 16, QLatin1Char('0'))
                               .arg(int(m_info[CommandTransport::kInfoKeySlots]));
    return KeySlotMemory(DataFolder() + QStringLiteral("/keyslots.json"), layout);
}

QString CVantikUSBDevice::FirmwareVersion() const
{
    // Only the version the device itself reports: the USB release number is another figure,
    // so nothing is shown until the information block has been read.
    const uint16_t version = m_infoValid ? uint16_t(m_info[0] | (m_info[1] << 8)) : 0;
    if (version == 0)
        return {};
    // Binary-coded like a USB release number: 0x0123 is version 1.23.
    return QStringLiteral("%1.%2").arg(version >> 8, 0, 16).arg(version & 0xFF, 2, 16, QLatin1Char('0'));
}

std::vector<uint8_t> CVantikUSBDevice::LastStatus() const
{
    return m_lastStatus;
}

void CVantikUSBDevice::ShowDeviceInfo()
{
    ui::Language& lang = ui::Language::instance();
    if (auto* name = qobject_cast<QLabel*>(FindPanelControl(QStringLiteral("device_info_name"))))
        lang.SetTextId(name, m_deviceName);
    const bool ready = m_transport.isReady() != 0;
    const bool wireless = m_transport.isWireless() != 0;
    if (auto* route = qobject_cast<QLabel*>(FindPanelControl(QStringLiteral("device_info_route"))))
        lang.SetTextId(route, wireless ? QStringLiteral("device_route_receiver") : QStringLiteral("device_route_cable"));
    if (auto* firmware = qobject_cast<QLabel*>(FindPanelControl(QStringLiteral("device_info_firmware")))) {
        const QString version = FirmwareVersion();
        if (version.isEmpty())
            lang.SetTextId(firmware, QStringLiteral("device_firmware_unknown"));
        else
            firmware->setText(lang.Text(QStringLiteral("device_firmware_format")).arg(version));
    }
    const bool hasBattery = m_lastStatus.size() >= 2 && (m_hasPowerPanel || wireless);
    if (auto* battery = qobject_cast<QLabel*>(FindPanelControl(QStringLiteral("device_info_battery")))) {
        battery->setVisible(hasBattery);
        if (hasBattery)
            battery->setText(lang.Text(QStringLiteral("device_battery_format")).arg(m_lastStatus[0]));
    }
    // A device that stopped answering says so, with the time, until its next answer.
    const bool answering = m_notAnsweringSinceMs == 0;
    const QString since = answering ? QString()
                                    : QDateTime::fromMSecsSinceEpoch(m_notAnsweringSinceMs).toString(QStringLiteral("HH:mm:ss"));
    if (auto* status = qobject_cast<QLabel*>(FindPanelControl(QStringLiteral("device_info_status")))) {
        if (ready && !answering) {
            status->setProperty("textid", QVariant());
            status->setText(lang.Text(QStringLiteral("device_status_not_answering")).arg(since));
        } else {
            lang.SetTextId(status, ready ? QStringLiteral("device_status_ready") : QStringLiteral("device_status_no_answer"));
        }
    }
    if (m_tab) {
        QString line = lang.Text(wireless ? QStringLiteral("tab_route_receiver") : QStringLiteral("tab_route_cable"));
        if (hasBattery)
            line += QStringLiteral(" · %1%").arg(m_lastStatus[0]);
        // The tab has room for a few words: the time it stopped answering is on the page.
        if (ready && !answering)
            line = lang.Text(QStringLiteral("tab_status_not_answering"));
        m_tab->SetStatusText(line);
    }
    emit stateChanged();
}

// --- Counts of the page's key and light buttons ---

void CVantikUSBDevice::SetLightCount(uint32_t n)
{
    ResizeLeds(n);
    m_lightButtons.assign(n, nullptr);
}

void CVantikUSBDevice::SetKeyCount(uint32_t n)
{
    m_keyCount = n;
    m_keyButtons.assign(n, nullptr);
}

const char* CVantikUSBDevice::LightExitTrace() const
{
    return m_deviceType == 1 ? "KB灯光线程设定退出" : "MS灯光线程设定退出";
}

void CVantikUSBDevice::SetPickerColour(int x, int y, int kind)
{
    m_pickerColour = {x, y, kind};
}

uint32_t CVantikUSBDevice::FramePushIntervalMs() const
{
    // Unless every step is streamed, the light thread publishes new colours at most every
    // MinWakeMs(): a faster timer would only wake the window to find nothing new.
    const uint8_t mode = GetLightState().mode;
    return StreamsEveryStep(mode) ? 5 : MinWakeMs(mode);
}

void CVantikUSBDevice::RequestFramePush()
{
    if (m_framePushArmed.exchange(true))
        return;
    // The push timer rests while nothing changes; the light thread re-arms it.
    QMetaObject::invokeMethod(this, [this] {
        if (m_transport.isReady())
            StartTabTimer(kTimerFramePush, int(FramePushIntervalMs()));
    }, Qt::QueuedConnection);
}

// --- Frame push (UI thread builds, the I/O worker sends) ---

std::vector<uint8_t> CVantikUSBDevice::BuildFrame(const std::vector<LedColour>& leds) const
{
    const size_t count = std::min<size_t>(leds.size(), 170);
    std::vector<uint8_t> frame(count * 3, 0);
    for (size_t i = 0; i < count; ++i) {
        const LedColour c = leds[i];
        frame[3 * i] = uint8_t((c.red * c.brightness) >> 8);
        frame[3 * i + 1] = uint8_t((c.green * c.brightness) >> 8);
        frame[3 * i + 2] = uint8_t((c.blue * c.brightness) >> 8);
    }
    return frame;
}

bool CVantikUSBDevice::TakeChangedColours(std::vector<LedColour>& leds, uint64_t& generation) const
{
    {
        std::lock_guard lock(m_colourLock);
        leds = m_leds;
        generation = m_ledGeneration;
    }
    return generation != m_lastPushedGeneration;
}

void CVantikUSBDevice::UpdatePreview(const std::vector<LedColour>& leds)
{
    // Off screen (another device's page, the window minimised) the picture stands still; it
    // catches up when the page is shown again.
    if (!m_previewFlag.load() || !isVisible() || window()->isMinimized())
        return;
    // The frames may come at 60 a second or more; the eye and the window's painting need no
    // more than 30. Colours that come within the period wait for its end, so the picture
    // always ends on the newest ones.
    const uint64_t now = lighting::NowMs();
    if (now - m_previewPaintedMs < kPreviewPeriodMs) {
        m_previewWaiting = leds;
        if (!m_previewFlushArmed) {
            m_previewFlushArmed = true;
            QTimer::singleShot(int(kPreviewPeriodMs - (now - m_previewPaintedMs)), this, [this] {
                m_previewFlushArmed = false;
                if (!m_previewWaiting.empty())
                    UpdatePreview(std::exchange(m_previewWaiting, {}));
            });
        }
        return;
    }
    m_previewPaintedMs = now;
    m_previewWaiting.clear();
    for (size_t i = 0; i < leds.size() && i < m_lightButtons.size(); ++i) {
        auto* button = static_cast<ui::CDeviceKeyButtonUI*>(m_lightButtons[i]);
        if (button && button->isVisible())
            button->SetLightColour(PackForPreview(leds[i]), leds[i].brightness, true);
    }
}

void CVantikUSBDevice::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    std::vector<LedColour> leds;
    {
        std::lock_guard lock(m_colourLock);
        leds = m_leds;
    }
    m_previewPaintedMs = 0;
    UpdatePreview(leds);
    if (!m_pageOnScreen.exchange(true))
        WakeLightThread();
}

void CVantikUSBDevice::hideEvent(QHideEvent* event)
{
    QWidget::hideEvent(event);
    m_pageOnScreen = false;
}

bool CVantikUSBDevice::StepsWanted(uint8_t mode) const
{
    (void)mode;
    return !m_transport.isWireless() || m_pageOnScreen.load();
}

void CVantikUSBDevice::PostFrame(Request send, uint64_t generation)
{
    m_lastPushedGeneration = generation;
    PostIo<IoResult>(IoKind::Frame, std::move(send), [this, generation](IoResult r) {
        if (r.ok())
            return;
        // Sent again after a pause (unless newer colours went out meanwhile).
        m_frameRetryAtMs = lighting::NowMs() + kFailedFramePauseMs;
        if (m_lastPushedGeneration == generation)
            m_lastPushedGeneration = ~uint64_t(0);
        RequestFramePush();
    }, "frame");
}

void CVantikUSBDevice::PushLightingFrame()
{
    if (!m_lightingControl.load())
        return;
    std::vector<LedColour> leds;
    uint64_t generation = 0;
    if (!TakeChangedColours(leds, generation))
        return;
    UpdatePreview(leds);
    // Frames travel by cable only; behind the receiver the preview alone follows.
    if (m_transport.isWireless() || !m_io.Answering()) {
        m_lastPushedGeneration = generation;
        return;
    }
    // After a failed frame the colours go out again once the pause is over.
    if (lighting::NowMs() < m_frameRetryAtMs)
        return;
    PostFrame([frame = BuildFrame(leds)](CommandTransport& t) {
        return IoResult{t.sendLightingFrame(frame.data(), uint32_t(frame.size()))};
    }, generation);
}

void CVantikUSBDevice::OnFramePushTimer()
{
    if (!m_transport.isReady()) {
        StopTabTimer(kTimerFramePush);
        m_framePushArmed = false;
        return;
    }
    // A change of mode may change the pace the device wants its frames at.
    if (const int period = int(FramePushIntervalMs()); period != m_framePushPeriod) {
        m_framePushPeriod = period;
        StartTabTimer(kTimerFramePush, period);
    }
    const uint64_t before = m_lastPushedGeneration;
    PushLightingFrame();
    if (m_lastPushedGeneration != before) {
        m_idleFramePushes = 0;
        return;
    }
    if (++m_idleFramePushes >= kIdlePushesBeforeRest) {
        m_idleFramePushes = 0;
        StopTabTimer(kTimerFramePush);
        m_framePushArmed = false;
        // A change that came in between must not wait for the next one.
        std::lock_guard lock(m_colourLock);
        if (m_ledGeneration != m_lastPushedGeneration)
            RequestFramePush();
    }
}

// --- Status, link check, availability ---

void CVantikUSBDevice::ReadStatus()
{
    if (!m_transport.isReady())
        return;
    PostStatusRead(false);
}

void CVantikUSBDevice::PostStatusRead(bool linkFirst)
{
    struct StatusRead : IoResult {
        std::array<uint8_t, kStatusLength> block{};
        bool wireless = false;
        bool linkChecked = false;
        bool linkUp = false;
    };
    PostIo<StatusRead>(IoKind::Read, [linkFirst](CommandTransport& t) {
        StatusRead r;
        r.wireless = t.isWireless() != 0;
        if (linkFirst && r.wireless) {
            r.linkChecked = true;
            r.linkUp = t.checkWirelessLink();
            if (!r.linkUp)
                return r;
        }
        r.code = t.readStatus(r.block.data(), kStatusLength, 0);
        return r;
    }, [this](StatusRead r) {
        if (r.linkChecked)
            LinkChecked(r.linkUp);
        if (r.ok())
            ShowStatus(r.block, r.wireless);
    }, "status");
}

void CVantikUSBDevice::ShowStatus(std::array<uint8_t, 6> block, bool wireless)
{
    block[3] = wireless ? 1 : 0;
    m_lastStatus.assign(block.begin(), block.end());
    if (m_powerPanel)
        m_powerPanel->ShowStatus(block.data(), kStatusLength);
    ShowDeviceInfo();
}

void CVantikUSBDevice::CheckWirelessLink(std::function<void(bool)> landed)
{
    PostIo<IoResult>(IoKind::Read, [](CommandTransport& t) {
        return IoResult{t.isReady() && (!t.isWireless() || t.checkWirelessLink()) ? 1 : 0};
    }, [this, landed = std::move(landed)](IoResult r) {
        LinkChecked(r.ok());
        if (landed)
            landed(r.ok());
    });
}

void CVantikUSBDevice::CheckLinkAfterRouteSwitch(int tries, int pauseMs)
{
    struct Checked : IoResult {
        std::array<uint8_t, kStatusLength> block{};
        bool linkUp = false;
        bool wireless = false;
    };
    PostIo<Checked>(IoKind::Read, [tries, pauseMs](CommandTransport& t) {
        Checked r;
        r.wireless = t.isWireless() != 0;
        for (int attempt = 1; attempt <= tries && !r.linkUp; ++attempt) {
            r.linkUp = t.checkWirelessLink();
            if (!r.linkUp && attempt < tries) {
                qCDebug(tesselDebug) << "获取2.4G模式失败";
                std::this_thread::sleep_for(std::chrono::milliseconds(pauseMs));
            }
        }
        qCDebug(tesselDebug) << "获取2";
        r.code = t.readStatus(r.block.data(), kStatusLength, 0);
        return r;
    }, [this](Checked r) {
        LinkChecked(r.linkUp);
        if (r.ok())
            ShowStatus(r.block, r.wireless);
    });
}

void CVantikUSBDevice::OnAvailabilityChanged(bool answering, int64_t sinceMs)
{
    m_notAnsweringSinceMs = answering ? 0 : sinceMs;
    if (answering) {
        // Whatever the device missed meanwhile: the colours go out afresh, and the settings
        // block when a write of it did not reach the device.
        m_lastPushedGeneration = ~uint64_t(0);
        m_frameRetryAtMs = 0;
        RequestFramePush();
        if (m_settingsOwed && m_transport.isReady()) {
            m_settingsOwed = false;
            PostSettings(0);
        }
    }
    ShowDeviceInfo();
}

void CVantikUSBDevice::LightingControlNotice(uint32_t on)
{
    m_lightingControl = on;
    if (on)
        m_lastPushedGeneration = ~uint64_t(0);  // take the lighting back with a full frame
}

void CVantikUSBDevice::HandleDeviceEvent(uint32_t code)
{
    if (code == 0x401)
        StartTabTimer(kTimerReadSettings, m_deviceType == 1 || m_deviceType == 2 ? 50 : 500);
}

// --- Writes ---

CVantikUSBDevice::Request CVantikUSBDevice::SettingsWriteJob(int slot)
{
    (void)slot;
    return {};
}

int CVantikUSBDevice::WriteSettings(int slot)
{
    const Request job = SettingsWriteJob(slot);
    if (!job)
        return 0;
    const IoResult r = job(m_transport);
    SettingsWritten(r);
    return r.code;
}

void CVantikUSBDevice::PostSettings(int slot, std::function<void(IoResult)> landed)
{
    Request job = SettingsWriteJob(slot);
    if (!job) {
        if (landed)
            landed(IoResult{});
        return;
    }
    // Without a caller waiting for it, a block is sent at most once per kSettingsPaceMs (a drag
    // over the colour field or a slider changes the settings at every mouse move): one that
    // comes sooner is sent when the pause is over, built then from the newest settings, and one
    // still waiting for the device is replaced by a newer one.
    const char* coalesce = nullptr;
    if (!landed) {
        coalesce = "settings";
        const qint64 now = std::chrono::duration_cast<std::chrono::milliseconds>(
                               std::chrono::steady_clock::now().time_since_epoch()).count();
        if (slot == 0 && now - m_lastPacedSettingsMs < kSettingsPaceMs) {
            if (!m_settingsPace.isActive())
                m_settingsPace.start(int(kSettingsPaceMs - (now - m_lastPacedSettingsMs)));
            return;
        }
        m_settingsPace.stop();
        m_lastPacedSettingsMs = now;
    }
    PostIo<IoResult>(IoKind::Command, std::move(job), [this, landed = std::move(landed)](IoResult r) {
        // A block that met a device not answering (failed at once or timed out) is owed to it:
        // it goes again, built from the settings of that moment, once the device answers.
        if (r.failure == IoFailure::NotAnswering)
            m_settingsOwed = true;
        SettingsWritten(r);
        if (landed)
            landed(r);
    }, coalesce);
}

std::function<CVantikUSBDevice::KeyWriteResult(CommandTransport&)> CVantikUSBDevice::KeyWriteJob()
{
    KeyStep macros = MacroWriteStep(CollectUsedMacros());
    KeyStep keys = KeyTableWriteStep(0);
    if (!macros || !keys)
        return {};
    return [macros = std::move(macros), keys = std::move(keys)](CommandTransport& t) {
        KeyWriteResult r;
        r.macros = macros(t, r);
        // Macros that do not fit, or an image the device did not take, keep the table back: no
        // key may point at a macro the device does not hold.
        if (r.macros > 0 || (r.macros < 0 && r.macros != protocol::kMacroNoMemory)) {
            r.code = r.macros;
            return r;
        }
        r.keys = keys(t, r);
        r.code = r.keys;
        return r;
    };
}

void CVantikUSBDevice::KeysWritten(const KeyWriteResult& result)
{
    if (result.info)
        TakeInformation(*result.info);
}

void CVantikUSBDevice::PostKeyWrite(std::function<void(KeyWriteResult)> landed)
{
    auto job = KeyWriteJob();
    if (!job) {
        if (landed)
            landed(KeyWriteResult{});
        return;
    }
    PostIo<KeyWriteResult>(IoKind::Command, std::move(job), [this, landed = std::move(landed)](KeyWriteResult r) {
        KeysWritten(r);
        if (landed)
            landed(std::move(r));
    });
}

int CVantikUSBDevice::WriteMacros(const std::vector<int>& macros)
{
    const KeyStep step = MacroWriteStep(macros);
    if (!step)
        return 0;
    KeyWriteResult r;
    r.macros = step(m_transport, r);
    KeysWritten(r);
    return r.macros;
}

int CVantikUSBDevice::WriteCurrentKeyTable(int bank)
{
    const KeyStep step = KeyTableWriteStep(bank);
    if (!step)
        return 0;
    KeyWriteResult r;
    r.keys = step(m_transport, r);
    KeysWritten(r);
    return r.keys;
}

// --- Files ---

QString CVantikUSBDevice::DataFolder() const
{
    return paths::deviceUserFolder(m_folderName);
}

QString CVantikUSBDevice::DefaultProfileFile() const
{
    return paths::defaultProfileFile(m_folderName);
}

void CVantikUSBDevice::BuildProfilePaths()
{
    if (!m_folderName.isEmpty())
        Profile().SetDefaultPath(DefaultProfileFile());
}

void CVantikUSBDevice::SaveProfile()
{
    m_saveSoon.stop();
    Profile().Save();
}

void CVantikUSBDevice::SaveProfileSoon()
{
    m_saveSoon.start(kSaveSoonMs);
}

void CVantikUSBDevice::FlushProfileSave()
{
    if (m_saveSoon.isActive())
        SaveProfile();
}

// --- Profile push ---

bool CVantikUSBDevice::PushStep(PushResult& result, const char* step, int code)
{
    result.code = code;
    if (code != 1) {
        result.step = QString::fromLatin1(step);
        return false;
    }
    ++result.stepsDone;
    return true;
}

std::function<CVantikUSBDevice::PushResult(CommandTransport&)> CVantikUSBDevice::ProfilePushJob()
{
    Request settings = SettingsWriteJob(0);
    return [settings = std::move(settings)](CommandTransport& t) {
        PushResult r;
        r.code = 1;
        if (settings)
            PushStep(r, "push_step_settings", settings(t).code);
        return r;
    };
}

void CVantikUSBDevice::PushProfile(std::function<void(PushResult)> landed)
{
    BeforeProfilePush([this, landed = std::move(landed)]() mutable {
        const int loaded = ReloadProfile();
        ShowPushedProfile();
        if (loaded != 1 || !m_transport.isReady()) {
            // A profile file that could not be loaded is this push's failure; a device that is
            // not connected gets the profile at its next connection.
            PushResult r;
            r.code = loaded != 1 ? loaded : 1;
            if (loaded != 1)
                r.step = QStringLiteral("push_step_profile_file");
            if (landed)
                landed(std::move(r));
            return;
        }
        PostIo<PushResult>(IoKind::Command, ProfilePushJob(), [this, landed = std::move(landed)](PushResult r) {
            if (r.stepsDone > 0)
                SettingsWritten(IoResult{1});  // the settings block, the push's first step, went
            KeysWritten(r.keys);
            if (landed)
                landed(std::move(r));
        });
    });
}

bool CVantikUSBDevice::LoadSelectedProfile()
{
    // A change still to be saved belongs to the profile in memory, not to the one loaded now.
    FlushProfileSave();
    BuildProfilePaths();
    const QString file = ProfileList(DataFolder(), DefaultProfileFile()).SelectedProfileFile();
    if (file.isEmpty())
        return false;
    Profile().SetProfilePath(file);
    Profile().LoadDeviceData(file);
    // A file edited by hand or written by another program may hold values the device does not
    // define; they are corrected before anything is sent, and the user is told.
    Profile().CorrectActive(ProfileLimits());
    return true;
}

profilecheck::Limits CVantikUSBDevice::ProfileLimits() const
{
    profilecheck::Limits limits;
    limits.deviceKind = int(DeviceType());
    limits.lightModes = int(LightModes().names.size());
    return limits;
}

void CVantikUSBDevice::SetExternalLightState(const LightState& state)
{
    const bool starting = !m_externalLighting.exchange(true);
    m_directColours = false;
    // The light state alone: a class's own SetLightBlock stores the choice in the profile.
    DeviceEffectState::SetLightBlock(state);
    m_effectRestart = true;
    WakeLightThread();
    if (starting)
        ExternalLightingChanged(true);
}

void CVantikUSBDevice::SetExternalColours(const std::vector<LedColour>& leds)
{
    const bool starting = !m_externalLighting.exchange(true);
    const bool wasDirect = m_directColours.exchange(true);
    {
        std::lock_guard lock(m_colourLock);
        const size_t n = std::min(leds.size(), m_leds.size());
        // Lighting tools often send the same colours again at their frame rate: the device
        // already shows them, so nothing new is pushed (a frame that failed is sent again by
        // the push itself).
        if (!starting && wasDirect && std::equal(leds.begin(), leds.begin() + std::ptrdiff_t(n), m_leds.begin()))
            return;
        std::copy(leds.begin(), leds.begin() + std::ptrdiff_t(n), m_leds.begin());
        ++m_ledGeneration;
    }
    if (starting)
        ExternalLightingChanged(true);
    ColoursChanged();
}

void CVantikUSBDevice::EndExternalLighting()
{
    if (!m_externalLighting.exchange(false))
        return;
    m_directColours = false;
    ExternalLightingChanged(false);
    // The class's own reading of the profile's lighting where it has one.
    if (ApplyLightSettings() == 0)
        ApplyProfileLight();
    // The device gets the profile's lighting again: its settings, and a full frame.
    m_lastPushedGeneration = ~uint64_t(0);
    SendLighting();
    RequestFramePush();
}

void CVantikUSBDevice::ApplyProfileLight()
{
    const LightState s = LightStateOf(Profile().GetLightInfo());
    const int model = LightSequenceModel();
    std::vector<LedEffectStep> steps;
    if (model >= 0)
        steps = LoadLightSequence(model);
    {
        std::lock_guard lock(m_stateLock);
        m_lightState = s;
        if (model >= 0) {
            m_pendingSequence = std::move(steps);
            m_sequenceChanged = true;
        }
    }
    // The effect state belongs to the light thread: it restarts the effect on its next pass.
    m_effectRestart = true;
    WakeLightThread();
}

std::vector<LedEffectStep> CVantikUSBDevice::LoadLightSequence(int model)
{
    // A device not yet set up has no user folder to hold a light configuration.
    if (m_folderName.isEmpty())
        return {};
    // The effect file is the one the current mode names: the cached lighting record decides.
    Profile().GetLightInfo();
    Profile().LoadLightConfig(paths::lightConfigFile(m_folderName));
    return Profile().GetLedEffects(model);
}

// --- Reads at connection ---

int CVantikUSBDevice::ReadInformationIo(CommandTransport& t, CommandTransport::InfoBlock& info)
{
    if (!t.isReady())
        return 0;
    t.openSession();
    const int result = t.readInformation(info);
    t.closeSession();
    return result;
}

void CVantikUSBDevice::TakeInformation(const CommandTransport::InfoBlock& info)
{
    m_info = info;
    m_infoValid = true;
}

// --- Listener channels ---

bool CVantikUSBDevice::AttachListener(const std::string& path, uint16_t deviceType)
{
    const bool receiver = deviceType == hid::devtype::kMouseReceiver ||
                          deviceType == hid::devtype::kKeyboardReceiver;
    m_io.SetListenerExitTrace(m_deviceType == 3 || m_deviceType == 7 ? "MS设备同步线程设定退出" : "MS 设备同步线程设定退出");
    return m_io.AttachListener(path, receiver);
}

void CVantikUSBDevice::DetachListener(uint16_t deviceType)
{
    const bool receiver = deviceType == hid::devtype::kMouseReceiver ||
                          deviceType == hid::devtype::kKeyboardReceiver;
    m_io.DetachListener(receiver);
}

// --- Device tab timers: each posts its request; the answer lands in the function it names ---

void CVantikUSBDevice::StartTabTimer(int id, int ms)
{
    if (!m_tab)
        return;
    if (ui::PaintManager* pm = ui::PaintManager::ForControl(m_tab))
        pm->SetTimer(m_tab, id, ms);
}

void CVantikUSBDevice::StopTabTimer(int id)
{
    if (!m_tab)
        return;
    if (ui::PaintManager* pm = ui::PaintManager::ForControl(m_tab))
        pm->KillTimer(m_tab, id);
}

bool CVantikUSBDevice::TabVisible() const
{
    return m_tab && !m_tab->isHidden();
}

void CVantikUSBDevice::SendToMainWindow(uint32_t msg, intptr_t wParam, intptr_t lParam)
{
    if (m_mainWnd)
        m_mainWnd->SendMessage(msg, wParam, lParam);
}

void CVantikUSBDevice::OnTabTimer(int id)
{
    switch (id) {
    case kTimerFramePush:
        OnFramePushTimer();
        break;
    case kTimerConnect:
        StopTabTimer(kTimerConnect);
        OnConnectTimer();
        break;
    case kTimerReadSettings:
        StopTabTimer(kTimerReadSettings);
        // Lands in the class's settings function; the page is refreshed once it did.
        ReadSettings();
        m_io.AfterQueued([this] { RefreshPanel(); });
        break;
    case kTimerReserved1:
        StopTabTimer(id);
        OnReservedTimer1();
        break;
    case kTimerReserved2:
        StopTabTimer(id);
        OnReservedTimer2();
        break;
    case kTimerStatus:
        if (!m_transport.isReady()) {
            StopTabTimer(kTimerStatus);
            break;
        }
        StartTabTimer(kTimerStatus, 5000);
        if (!m_suppressStatus)
            ReadStatus();
        break;
    case kTimerLinkCheck:
        OnLinkCheckTimer();
        break;
    default:
        break;
    }
}

void CVantikUSBDevice::OnConnectTimer()
{
    // A new connection: whatever the device did on an earlier one, it is asked afresh (and
    // what an earlier one still owed it is left to the connection's own reads and writes).
    m_settingsOwed = false;
    m_io.Reset();
    if (m_transport.isWireless() && m_transport.isReady()) {
        CheckWirelessLink([this](bool answers) {
            if (!answers) {
                // Out of reach behind its receiver: hidden until it answers.
                SendToMainWindow(kTabVisibilityMessage, m_optionIndex, 0);
                StartTabTimer(kTimerConnect, 3000);
                return;
            }
            SendToMainWindow(kTabVisibilityMessage, m_optionIndex, 1);
            ConnectDevice();
        });
        return;
    }
    ConnectDevice();
}

void CVantikUSBDevice::ConnectDevice()
{
    OnConnected();
    m_lastPushedGeneration = ~uint64_t(0);
    StartTabTimer(kTimerFramePush, int(FramePushIntervalMs()));
    if (ReadsStatusBlock() && m_transport.isReady())
        StartTabTimer(kTimerStatus, 50);
    if (m_transport.isWireless() && m_transport.isReady())
        StartTabTimer(kTimerLinkCheck, 2000);
    ShowDeviceInfo();
}

void CVantikUSBDevice::OnLinkCheckTimer()
{
    if (!m_transport.isReady() || !m_transport.isWireless()) {
        StopTabTimer(kTimerLinkCheck);
        return;
    }
    StartTabTimer(kTimerLinkCheck, 3000);
    CheckWirelessLink([this](bool answers) {
        if (answers) {
            if (!TabVisible()) {
                SendToMainWindow(kTabVisibilityMessage, m_optionIndex, 1);
                if (m_hasPowerPanel)
                    ReadStatus();
            }
        } else if (TabVisible()) {
            SendToMainWindow(kTabVisibilityMessage, m_optionIndex, 0);
        }
    });
}
