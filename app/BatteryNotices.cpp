#include "app/BatteryNotices.h"

#include "ui/Language.h"
#include "ui/PaintManager.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QApplication>
#include <QGuiApplication>
#include <QPointer>
#include <QWidget>

#include <X11/Xatom.h>
#include <X11/Xlib.h>

namespace app {

namespace {

constexpr char kService[] = "org.freedesktop.Notifications";
constexpr char kPath[] = "/org/freedesktop/Notifications";

QString Text(const char* id)
{
    return ui::Language::instance().Text(QLatin1String(id));
}

// The atoms of one property read: the window's list of states, or one window.
std::vector<unsigned long> ReadProperty(Display* display, Window window, Atom property, Atom type)
{
    std::vector<unsigned long> values;
    Atom actualType = 0;
    int format = 0;
    unsigned long count = 0, after = 0;
    unsigned char* data = nullptr;
    if (XGetWindowProperty(display, window, property, 0, 64, False, type, &actualType, &format, &count, &after, &data) ==
            Success &&
        data && format == 32) {
        const auto* items = reinterpret_cast<const unsigned long*>(data);
        values.assign(items, items + count);
    }
    if (data)
        XFree(data);
    return values;
}

}  // namespace

bool ActiveWindowIsFullscreen()
{
    auto* x11 = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    Display* display = x11 ? x11->display() : nullptr;
    if (!display)
        return false;
    const Window root = DefaultRootWindow(display);
    const auto active = ReadProperty(display, root, XInternAtom(display, "_NET_ACTIVE_WINDOW", False), XA_WINDOW);
    if (active.empty() || active[0] == 0)
        return false;
    // Our own window in full screen is no game.
    for (QWidget* w : QApplication::topLevelWidgets())
        if (w->isVisible() && w->winId() == active[0])
            return false;
    const Atom fullscreen = XInternAtom(display, "_NET_WM_STATE_FULLSCREEN", False);
    for (unsigned long state : ReadProperty(display, Window(active[0]), XInternAtom(display, "_NET_WM_STATE", False), XA_ATOM))
        if (state == fullscreen)
            return true;
    return false;
}

BatteryNotices::BatteryNotices(QObject* parent) : QObject(parent), m_fullscreen(&ActiveWindowIsFullscreen) {}

void BatteryNotices::SetThresholds(int low, int critical)
{
    m_watch.SetThresholds(low, critical);
}

QString BatteryNotices::KeyOf(const ConnectedDevice& device)
{
    return QStringLiteral("%1-%2-%3")
        .arg(KindName(device.kind))
        .arg(device.vendorId, 4, 16, QLatin1Char('0'))
        .arg(device.cableProductId, 4, 16, QLatin1Char('0'));
}

void BatteryNotices::Update(const ConnectedDevices& devices)
{
    std::vector<BatteryWatch::Reading> readings;
    std::map<QString, const ConnectedDevice*> byKey;
    for (const ConnectedDevice& d : devices) {
        readings.push_back({KeyOf(d), d.battery, d.charging});
        byKey[KeyOf(d)] = &d;
    }
    for (const BatteryWatch::Notice& n : m_watch.Update(readings))
        m_waiting[n.key] = n;
    const bool covered = m_fullscreen && m_fullscreen();
    for (auto it = m_waiting.begin(); it != m_waiting.end();) {
        const auto device = byKey.find(it->first);
        // A device that went, or that is charging now, has nothing left to be told.
        if (device == byKey.end() || device->second->charging) {
            it = m_waiting.erase(it);
            continue;
        }
        if (covered && !it->second.critical) {
            ++it;
            continue;
        }
        BatteryWatch::Notice notice = it->second;
        notice.level = device->second->battery;
        Send(notice, *device->second);
        it = m_waiting.erase(it);
    }
}

void BatteryNotices::Send(const BatteryWatch::Notice& notice, const ConnectedDevice& device)
{
    QDBusMessage call = QDBusMessage::createMethodCall(QLatin1String(kService), QLatin1String(kPath),
                                                       QLatin1String(kService), QStringLiteral("Notify"));
    const QString summary = Text(notice.critical ? "battery_critical_title" : "battery_low_title").arg(device.name);
    const QString body = Text(notice.critical ? "battery_critical_body" : "battery_low_body").arg(notice.level);
    const QString icon = ui::PaintManager::ResourceFile(QStringLiteral("images/device/%1.svg").arg(KindName(device.kind)));
    QVariantMap hints;
    hints.insert(QStringLiteral("urgency"), QVariant::fromValue<uchar>(notice.critical ? 2 : 1));
    hints.insert(QStringLiteral("category"), QStringLiteral("device"));
    hints.insert(QStringLiteral("desktop-entry"), QStringLiteral("tessel"));
    const auto shown = m_shown.find(notice.key);
    call << QStringLiteral("Tessel") << uint(shown == m_shown.end() ? 0 : shown->second) << icon << summary << body
         << QStringList() << hints << int(-1);
    // Asynchronous: a notification server that is slow or missing never holds up the window.
    auto* watcher = new QDBusPendingCallWatcher(QDBusConnection::sessionBus().asyncCall(call), this);
    const QString key = notice.key;
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [this, key](QDBusPendingCallWatcher* w) {
        const QDBusPendingReply<uint> reply = *w;
        if (reply.isValid())
            m_shown[key] = reply.value();
        w->deleteLater();
    });
}

QString BatteryNotices::TipText(const QString& title, const ConnectedDevices& devices)
{
    QStringList lines{title};
    for (const ConnectedDevice& d : devices) {
        if (d.battery < 0)
            continue;
        QString line = Text("battery_tip_line").arg(d.name).arg(d.battery);
        if (d.charging)
            line += QLatin1Char(' ') + Text("battery_tip_charging");
        lines << line;
    }
    return lines.join(QLatin1Char('\n'));
}

}  // namespace app
