#include "app/FocusSwitcher.h"

#include "devices/CVantikUSBDevice.h"
#include "editors/CDeviceProfileUI.h"
#include "editors/FocusRulesEditor.h"
#include "profiles/ProfileList.h"
#include "ui/CDeviceOptionUI.h"

#include <QRegularExpression>

namespace app {

FocusAction DecideFocusSwitch(const QString& target, const QString& active, std::optional<std::chrono::milliseconds> sinceManual)
{
    if (target.isEmpty())
        return FocusAction::NoRule;
    if (target == active)
        return FocusAction::AlreadyActive;
    if (sinceManual && *sinceManual < std::chrono::milliseconds(FocusSwitcher::kManualHoldMs))
        return FocusAction::ManualHold;
    return FocusAction::Switch;
}

FocusDebounce::Clock::time_point FocusDebounce::Focus(const FocusedApp& app, Clock::time_point now)
{
    m_pending = app;
    m_since = now;
    return now + m_delay;
}

std::optional<FocusedApp> FocusDebounce::Settled(Clock::time_point now)
{
    if (!m_pending || now - m_since < m_delay)
        return std::nullopt;
    std::optional<FocusedApp> out;
    out.swap(m_pending);
    return out;
}

FocusSwitcher::FocusSwitcher(DeviceList devices, QObject* parent) : QObject(parent), m_devices(std::move(devices))
{
    m_timer.setSingleShot(true);
    m_timer.setTimerType(Qt::PreciseTimer);
    connect(&m_timer, &QTimer::timeout, this, &FocusSwitcher::Settle);
}

FocusSwitcher::~FocusSwitcher() = default;

void FocusSwitcher::SetSource(std::unique_ptr<FocusSource> source)
{
    // A change still settling came from the source being replaced.
    m_timer.stop();
    m_source = std::move(source);
    if (m_source)
        connect(m_source.get(), &FocusSource::FocusChanged, this, &FocusSwitcher::OnFocus);
}

void FocusSwitcher::OnFocus(const FocusedApp& app)
{
    const auto now = FocusDebounce::Clock::now();
    const auto due = m_debounce.Focus(app, now);
    m_timer.start(int(std::chrono::ceil<std::chrono::milliseconds>(due - now).count()));
}

void FocusSwitcher::Settle()
{
    const auto now = FocusDebounce::Clock::now();
    if (std::optional<FocusedApp> app = m_debounce.Settled(now)) {
        Apply(*app);
        return;
    }
    // A timer that fired a little early looks again.
    if (m_debounce.Pending())
        m_timer.start(1);
}

void FocusSwitcher::Apply(const FocusedApp& app)
{
    m_focused = app;
    const QStringList names = app.Names();
    if (names.isEmpty())
        return;
    for (CVantikUSBDevice* device : m_devices()) {
        if (!device || !device->Transport().isReady() || (device->Tab() && device->Tab()->isHidden()))
            continue;
        const FocusRuleSet rules = Load(*device).set;
        if (rules.rules.empty() && rules.defaultProfileId.isEmpty())
            continue;
        auto* panel = device->findChild<CDeviceProfileUI*>();
        if (!panel && m_buildPages) {
            m_buildPages();
            panel = device->findChild<CDeviceProfileUI*>();
        }
        if (!panel)
            continue;
        const QString target = rules.ProfileFor(names);
        std::optional<std::chrono::milliseconds> sinceManual;
        if (const auto last = panel->LastUserSwitch())
            sinceManual = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - *last);
        if (DecideFocusSwitch(target, panel->GetSelectedProfileId(), sinceManual) != FocusAction::Switch)
            continue;
        if (panel->SwitchToProfileId(target)) {
            ++m_switches;
            emit Switched(device, target);
        }
    }
}

QString FocusSwitcher::KindWord(const CVantikUSBDevice& device)
{
    switch (device.DeviceType()) {
    case 1: return QStringLiteral("keyboard");
    case 2: return QStringLiteral("mouse");
    case 3: return QStringLiteral("mousepad");
    default: return QStringLiteral("headset");
    }
}

CVantikUSBDevice* FocusSwitcher::FindDevice(const QString& name) const
{
    const QString kind = name.section(QRegularExpression(QStringLiteral("[:/]")), 0, 0).trimmed().toLower();
    if (kind.isEmpty())
        return nullptr;
    for (CVantikUSBDevice* device : m_devices()) {
        if (device && device->Transport().isReady() && !(device->Tab() && device->Tab()->isHidden()) && KindWord(*device) == kind)
            return device;
    }
    return nullptr;
}

focusrules::LoadResult FocusSwitcher::Load(const CVantikUSBDevice& device)
{
    return focusrules::Load(device.DataFolder());
}

bool FocusSwitcher::Save(CVantikUSBDevice& device, const FocusRuleSet& set)
{
    const bool saved = focusrules::Save(device.DataFolder(), set);
    if (!saved)
        return false;
    // The panel shows the change at once.
    if (auto* panel = device.findChild<CDeviceProfileUI*>(); panel && panel->FocusRules())
        panel->FocusRules()->Reload();
    emit RulesChanged(KindWord(device));
    return true;
}

void FocusSwitcher::RulesEdited(const QString& userFolder)
{
    for (CVantikUSBDevice* device : m_devices()) {
        if (device && device->DataFolder() == userFolder) {
            emit RulesChanged(KindWord(*device));
            return;
        }
    }
}

}  // namespace app
