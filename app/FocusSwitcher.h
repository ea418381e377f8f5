#pragma once

#include "app/FocusSource.h"
#include "profiles/FocusRules.h"

#include <QObject>
#include <QTimer>
#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

class CVantikUSBDevice;
class CDeviceProfileUI;

namespace app {

// What a settled focus change does to one device.
enum class FocusAction {
    Switch,         // the device takes the rule's profile
    NoRule,         // no rule matches and there is no default profile: nothing changes
    AlreadyActive,  // the device holds that profile already: nothing is written
    ManualHold,     // the user switched by hand a moment ago: the focus does not undo it
};
// `target`: the profile the rules give (empty: none); `active`: the device's profile now;
// `sinceManual`: time since the user's last switch of this device, none when never.
FocusAction DecideFocusSwitch(const QString& target, const QString& active,
                              std::optional<std::chrono::milliseconds> sinceManual);

// Lets an application's focus count only once it has held it for the debounce time, so a
// launcher or splash window that flashes past switches nothing. Times are passed in.
class FocusDebounce {
public:
    using Clock = std::chrono::steady_clock;
    explicit FocusDebounce(std::chrono::milliseconds delay) : m_delay(delay) {}
    // The focus moved to `app` at `now`; returns when to look again.
    Clock::time_point Focus(const FocusedApp& app, Clock::time_point now);
    // The application that has held the focus for the whole delay at `now`, once.
    std::optional<FocusedApp> Settled(Clock::time_point now);
    bool Pending() const { return m_pending.has_value(); }

private:
    std::chrono::milliseconds m_delay;
    std::optional<FocusedApp> m_pending;
    Clock::time_point m_since;
};

// Switches each device's profile to follow the application in focus, by the device's rules
// (FocusRules.json beside its profiles). A focus change counts once it has lasted kDebounceMs;
// a device already holding the profile is not written; a device the user switched by hand in
// the last kManualHoldMs keeps the user's choice. The switch is the profile panel's own.
// Lives beside the device hub, not the window, so it works as well with no window shown.
class FocusSwitcher : public QObject {
    Q_OBJECT
public:
    static constexpr int kDebounceMs = 60;
    static constexpr int kManualHoldMs = 5000;

    using DeviceList = std::function<std::vector<CVantikUSBDevice*>()>;
    FocusSwitcher(DeviceList devices, QObject* parent = nullptr);
    ~FocusSwitcher() override;

    // Takes the source (may be null: nothing is followed, the rules can still be edited).
    void SetSource(std::unique_ptr<FocusSource> source);
    FocusSource* Source() const { return m_source.get(); }
    // Switches go through a device's profile panel; a start without the window builds the
    // pages only when first wanted, so a switch that has rules to follow asks for them.
    void SetPageBuilder(std::function<void()> buildPages) { m_buildPages = std::move(buildPages); }
    // The focus changed (what the source reports; also callable directly).
    void OnFocus(const FocusedApp& app);
    const FocusedApp& Focused() const { return m_focused; }

    // The connected device a bus caller names: a kind word as ListDevices gives it
    // ("keyboard", "mouse", "mousepad", "headset"), optionally followed by ':' or '/' and more.
    CVantikUSBDevice* FindDevice(const QString& name) const;
    static QString KindWord(const CVantikUSBDevice& device);

    // Reads and writes a device's rules; Save tells listeners.
    static focusrules::LoadResult Load(const CVantikUSBDevice& device);
    bool Save(CVantikUSBDevice& device, const FocusRuleSet& set);
    // The rules in `userFolder` were changed in a profile panel.
    void RulesEdited(const QString& userFolder);

    // The switches made by focus so far (for tests and the bench).
    int SwitchCount() const { return m_switches; }

signals:
    void RulesChanged(const QString& kindWord);
    // A device was told to take `profileId` because `app` came into focus.
    void Switched(CVantikUSBDevice* device, const QString& profileId);

private:
    void Settle();
    void Apply(const FocusedApp& app);

    DeviceList m_devices;
    std::function<void()> m_buildPages;
    std::unique_ptr<FocusSource> m_source;
    FocusDebounce m_debounce{std::chrono::milliseconds(kDebounceMs)};
    QTimer m_timer;
    FocusedApp m_focused;
    int m_switches = 0;
};

}  // namespace app
