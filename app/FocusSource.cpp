#include "app/FocusSource.h"

#include "app/WlrFocusSource.h"
#include "app/X11FocusSource.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

namespace app {

QStringList FocusedApp::Names() const
{
    QStringList out;
    for (const QString& n : {appId, executable, wmInstance, wmClass}) {
        if (!n.isEmpty() && !out.contains(n, Qt::CaseInsensitive))
            out << n;
    }
    return out;
}

QString FocusedApp::DisplayName() const
{
    for (const QString& n : {appId, executable, wmClass, wmInstance}) {
        if (!n.isEmpty())
            return n;
    }
    return {};
}

FocusedApp FocusedApp::FromReport(const QVariantMap& report)
{
    // Texts from another process are cut to a sane length; they are only compared and shown.
    auto text = [&](const char* key) { return report.value(QLatin1String(key)).toString().left(256); };
    FocusedApp app;
    app.appId = text("app_id");
    app.executable = text("executable");
    app.wmClass = text("wm_class");
    app.wmInstance = text("wm_instance");
    app.title = text("title");
    bool ok = false;
    const qint64 pid = report.value(QStringLiteral("pid")).toLongLong(&ok);
    app.pid = ok && pid > 0 ? pid : 0;
    if (app.executable.isEmpty() && app.pid > 0)
        app.executable = ExecutableOfPid(app.pid);
    return app;
}

QString ExecutableOfPid(qint64 pid)
{
    if (pid <= 0)
        return {};
    const QString proc = QStringLiteral("/proc/%1/").arg(pid);
    const QString target = QFileInfo(proc + QStringLiteral("exe")).symLinkTarget();
    if (!target.isEmpty()) {
        QString name = QFileInfo(target).fileName();
        // A program replaced on disk while it runs reads as "name (deleted)".
        name.remove(QStringLiteral(" (deleted)"));
        return name;
    }
    // Another user's process: its exe is not ours to read, but its name is.
    QFile comm(proc + QStringLiteral("comm"));
    if (comm.open(QIODevice::ReadOnly))
        return QString::fromLocal8Bit(comm.readAll().trimmed());
    return {};
}

BusFocusSource::BusFocusSource(QString name, QObject* parent) : FocusSource(parent), m_name(std::move(name)) {}

bool BusFocusSource::Start()
{
    if (m_name != QLatin1String("kwin"))
        return true;
    // KWin runs scripts it is asked to load; the script installed with Tessel reports the
    // active window back to Tessel's bus interface. Without KWin nothing comes, and nothing fails.
    const QString script =
        QStandardPaths::locate(QStandardPaths::GenericDataLocation, QStringLiteral("kwin/scripts/tessel-focus/contents/code/main.js"));
    if (script.isEmpty())
        return true;
    QDBusConnection bus = QDBusConnection::sessionBus();
    QDBusMessage load = QDBusMessage::createMethodCall(QStringLiteral("org.kde.KWin"), QStringLiteral("/Scripting"),
                                                       QStringLiteral("org.kde.kwin.Scripting"), QStringLiteral("loadScript"));
    load << script << QStringLiteral("tessel-focus");
    bus.call(load, QDBus::Block, 2000);
    bus.call(QDBusMessage::createMethodCall(QStringLiteral("org.kde.KWin"), QStringLiteral("/Scripting"),
                                            QStringLiteral("org.kde.kwin.Scripting"), QStringLiteral("start")),
             QDBus::Block, 2000);
    return true;
}

QList<FocusedApp> BusFocusSource::RunningApplications()
{
    return m_seen;
}

void BusFocusSource::Report(const QVariantMap& report)
{
    const FocusedApp app = FocusedApp::FromReport(report);
    if (!app.DisplayName().isEmpty()) {
        for (int i = 0; i < m_seen.size(); ++i) {
            if (m_seen[i].DisplayName() == app.DisplayName())
                m_seen.removeAt(i--);
        }
        m_seen.prepend(app);
        // The list offers what was in focus lately, not everything ever seen.
        while (m_seen.size() > 30)
            m_seen.removeLast();
    }
    emit FocusChanged(app);
}

std::unique_ptr<FocusSource> ChooseFocusSource(QObject* parent)
{
    QString wanted = QString::fromLocal8Bit(qgetenv("TESSEL_FOCUS_SOURCE")).trimmed().toLower();
    if (wanted == QLatin1String("none"))
        return nullptr;
    if (wanted.isEmpty()) {
        const QString desktop = QString::fromLocal8Bit(qgetenv("XDG_CURRENT_DESKTOP")).toUpper();
        const bool wayland = qgetenv("XDG_SESSION_TYPE") == "wayland" || !qgetenv("WAYLAND_DISPLAY").isEmpty();
        if (wayland && desktop.contains(QLatin1String("KDE")))
            wanted = QStringLiteral("kwin");
        else if (wayland && desktop.contains(QLatin1String("GNOME")))
            wanted = QStringLiteral("gnome");
        else if (wayland)
            wanted = QStringLiteral("wlroots");
        else
            wanted = QStringLiteral("x11");
    }
    std::unique_ptr<FocusSource> source;
    if (wanted == QLatin1String("kwin") || wanted == QLatin1String("gnome")) {
        source = std::make_unique<BusFocusSource>(wanted, parent);
    } else if (wanted == QLatin1String("wlroots")) {
        source = std::make_unique<WlrFocusSource>(QString(), parent);
        if (source->Start())
            return source;
        // A compositor without the toplevel list: X11 applications may still be seen.
        source = std::make_unique<X11FocusSource>(QString(), parent);
    } else {
        source = std::make_unique<X11FocusSource>(QString(), parent);
    }
    if (!source->Start())
        return nullptr;
    return source;
}

}  // namespace app
