#pragma once

#include "app/FocusSource.h"

#include <cstdint>

class QSocketNotifier;
struct xcb_connection_t;

namespace app {

// The focused window of an X11 session: the root window's _NET_ACTIVE_WINDOW, which the window
// manager sets, is watched through PropertyNotify on its own X connection (no polling). Each new
// active window is resolved to its WM_CLASS, its _NET_WM_NAME and, through _NET_WM_PID, its
// program's name. The running applications are those of _NET_CLIENT_LIST.
class X11FocusSource : public FocusSource {
    Q_OBJECT
public:
    // `display`: the X display to use; empty for DISPLAY.
    explicit X11FocusSource(QString display = {}, QObject* parent = nullptr);
    ~X11FocusSource() override;

    QString Name() const override { return QStringLiteral("x11"); }
    bool Start() override;
    bool CanListApplications() const override { return true; }
    QList<FocusedApp> RunningApplications() override;

    // The window _NET_ACTIVE_WINDOW names now (0: none), and what it resolves to.
    uint32_t ActiveWindow();
    FocusedApp Describe(uint32_t window);

private:
    void ReadEvents();
    void ActiveWindowChanged();
    uint32_t Atom(const char* name);

    QString m_display;
    xcb_connection_t* m_conn = nullptr;
    uint32_t m_root = 0;
    uint32_t m_activeAtom = 0, m_pidAtom = 0, m_nameAtom = 0, m_utf8Atom = 0, m_clientListAtom = 0;
    uint32_t m_lastWindow = UINT32_MAX;
    FocusedApp m_last;
    QSocketNotifier* m_notifier = nullptr;
};

}  // namespace app
