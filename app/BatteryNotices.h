#pragma once

#include "app/BatteryWatch.h"
#include "app/ConnectedDevice.h"

#include <QObject>
#include <functional>
#include <map>

namespace app {

// Low-battery notices on the desktop: when a connected device's battery falls to the low or the
// critical threshold, one notification through org.freedesktop.Notifications on the session bus
// (no modal box; the call never waits for the notification server). While another program holds
// the screen in full screen (a game), a low notice waits until it lets go; a critical one is
// shown at once. Also makes the tray icon's tool tip, which lists every device's battery.
class BatteryNotices : public QObject {
    Q_OBJECT
public:
    explicit BatteryNotices(QObject* parent = nullptr);

    // Thresholds in percent (kept within 0-100, critical at or below low).
    void SetThresholds(int low, int critical);
    const BatteryWatch& Watch() const { return m_watch; }
    // Whether another program covers the screen now; by default the X11 desktop is asked (false
    // elsewhere).
    void SetFullscreenProbe(std::function<bool()> probe) { m_fullscreen = std::move(probe); }

    // The devices now connected (each status read calls this): sends the notices their levels
    // call for.
    void Update(const ConnectedDevices& devices);

    // "Tessel" and a line per device with a battery: "Mouse: 14 %", "(charging)" when it charges.
    static QString TipText(const QString& title, const ConnectedDevices& devices);
    // The key under which a device's battery is watched: its kind and USB ids, the same on
    // either route.
    static QString KeyOf(const ConnectedDevice& device);

private:
    void Send(const BatteryWatch::Notice& notice, const ConnectedDevice& device);

    BatteryWatch m_watch;
    std::function<bool()> m_fullscreen;
    // Low notices held back while a program is in full screen, by device key.
    std::map<QString, BatteryWatch::Notice> m_waiting;
    // The notification id the server gave each device's last notice, so that a newer notice
    // replaces it instead of piling up.
    std::map<QString, uint> m_shown;
};

// Whether the active window of the X11 desktop is in full screen (and is not one of ours).
bool ActiveWindowIsFullscreen();

}  // namespace app
