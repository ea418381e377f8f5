#pragma once

#include <QList>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QVariantMap>
#include <memory>

namespace app {

// The application that holds the focus, as far as the desktop tells it.
struct FocusedApp {
    QString appId;       // Wayland application id or desktop file name
    QString executable;  // base name of the program (/proc/<pid>/exe)
    QString wmInstance;  // WM_CLASS instance (X11)
    QString wmClass;     // WM_CLASS class (X11; KWin's resource class)
    QString title;
    qint64 pid = 0;

    // The names a rule may match, the empty ones left out.
    QStringList Names() const;
    // One name to offer in a list of running applications: the id, else the program, else the class.
    QString DisplayName() const;
    bool operator==(const FocusedApp&) const = default;
    // From what the desktop shell scripts send over the bus: "app_id", "executable",
    // "wm_class", "wm_instance", "title" (strings), "pid" (integer). Unknown keys are ignored;
    // the executable is found from the pid when not given.
    static FocusedApp FromReport(const QVariantMap& report);
};

// The base name of the program of process `pid` (the target of /proc/<pid>/exe, else its
// "comm"); empty when the process is gone or not ours to read.
QString ExecutableOfPid(qint64 pid);

// One way of learning which application is in focus. Each source reports every change of the
// focused application through FocusChanged, on the thread it was created on, without polling.
class FocusSource : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;
    // "x11", "kwin", "gnome", "wlroots".
    virtual QString Name() const = 0;
    // Starts listening; false when this source does not work in this session.
    virtual bool Start() = 0;
    // The applications with a window now, when the source can tell (for picking in the panel).
    virtual bool CanListApplications() const { return false; }
    virtual QList<FocusedApp> RunningApplications() { return {}; }

signals:
    void FocusChanged(const app::FocusedApp& app);
};

// Reports that reach Tessel over the session bus (the KWin script, the GNOME Shell extension):
// each report is a focus change. The applications seen so far are offered as running ones.
class BusFocusSource : public FocusSource {
    Q_OBJECT
public:
    explicit BusFocusSource(QString name, QObject* parent = nullptr);
    QString Name() const override { return m_name; }
    bool Start() override;
    bool CanListApplications() const override { return true; }
    QList<FocusedApp> RunningApplications() override;
    // One report from the desktop shell.
    void Report(const QVariantMap& report);

private:
    QString m_name;
    QList<FocusedApp> m_seen;
};

// The source for this session: TESSEL_FOCUS_SOURCE ("x11", "kwin", "gnome", "wlroots", "none")
// when set; else on a Wayland session KDE's KWin script, GNOME Shell's extension or a wlroots
// compositor's toplevel list, by XDG_CURRENT_DESKTOP and what the compositor offers; else X11
// when DISPLAY is set. Null when none works. Started already.
std::unique_ptr<FocusSource> ChooseFocusSource(QObject* parent = nullptr);

}  // namespace app
