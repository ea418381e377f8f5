#include "app/X11FocusSource.h"

#include <QSocketNotifier>
#include <cstdlib>
#include <cstring>
#include <xcb/xcb.h>

namespace app {

namespace {

// A property's value as bytes (at most 64 KiB), empty when the window or property is not there.
QByteArray ReadProperty(xcb_connection_t* c, uint32_t window, uint32_t property, uint32_t type)
{
    xcb_get_property_cookie_t cookie = xcb_get_property(c, 0, window, property, type, 0, 16384);
    xcb_get_property_reply_t* reply = xcb_get_property_reply(c, cookie, nullptr);
    if (!reply)
        return {};
    QByteArray out;
    const int len = xcb_get_property_value_length(reply);
    if (reply->type != XCB_NONE && len > 0)
        out = QByteArray(static_cast<const char*>(xcb_get_property_value(reply)), len);
    std::free(reply);
    return out;
}

uint32_t FirstCardinal(const QByteArray& value)
{
    if (value.size() < 4)
        return 0;
    uint32_t v = 0;
    std::memcpy(&v, value.constData(), 4);
    return v;
}

}  // namespace

X11FocusSource::X11FocusSource(QString display, QObject* parent) : FocusSource(parent), m_display(std::move(display)) {}

X11FocusSource::~X11FocusSource()
{
    delete m_notifier;
    if (m_conn)
        xcb_disconnect(m_conn);
}

uint32_t X11FocusSource::Atom(const char* name)
{
    xcb_intern_atom_reply_t* reply =
        xcb_intern_atom_reply(m_conn, xcb_intern_atom(m_conn, 0, uint16_t(std::strlen(name)), name), nullptr);
    const uint32_t atom = reply ? reply->atom : 0;
    std::free(reply);
    return atom;
}

bool X11FocusSource::Start()
{
    if (m_conn)
        return true;
    const QByteArray display = m_display.toLocal8Bit();
    if (m_display.isEmpty() && qgetenv("DISPLAY").isEmpty())
        return false;
    m_conn = xcb_connect(m_display.isEmpty() ? nullptr : display.constData(), nullptr);
    if (!m_conn || xcb_connection_has_error(m_conn)) {
        if (m_conn)
            xcb_disconnect(m_conn);
        m_conn = nullptr;
        return false;
    }
    const xcb_setup_t* setup = xcb_get_setup(m_conn);
    m_root = xcb_setup_roots_iterator(setup).data->root;
    m_activeAtom = Atom("_NET_ACTIVE_WINDOW");
    m_pidAtom = Atom("_NET_WM_PID");
    m_nameAtom = Atom("_NET_WM_NAME");
    m_utf8Atom = Atom("UTF8_STRING");
    m_clientListAtom = Atom("_NET_CLIENT_LIST");
    // Only property changes of the root window reach this connection.
    const uint32_t mask = XCB_EVENT_MASK_PROPERTY_CHANGE;
    xcb_change_window_attributes(m_conn, m_root, XCB_CW_EVENT_MASK, &mask);
    xcb_flush(m_conn);
    m_notifier = new QSocketNotifier(xcb_get_file_descriptor(m_conn), QSocketNotifier::Read);
    connect(m_notifier, &QSocketNotifier::activated, this, [this] { ReadEvents(); });
    // The window in focus at start counts as a change.
    ActiveWindowChanged();
    // Replies read above may have brought events along.
    ReadEvents();
    return true;
}

void X11FocusSource::ReadEvents()
{
    if (!m_conn)
        return;
    if (xcb_connection_has_error(m_conn)) {
        // The X server went away: nothing more will come.
        m_notifier->setEnabled(false);
        return;
    }
    bool changed = false;
    while (xcb_generic_event_t* e = xcb_poll_for_event(m_conn)) {
        if ((e->response_type & 0x7f) == XCB_PROPERTY_NOTIFY) {
            const auto* p = reinterpret_cast<xcb_property_notify_event_t*>(e);
            if (p->window == m_root && p->atom == m_activeAtom)
                changed = true;
        }
        std::free(e);
    }
    // A burst of changes is read once: what counts is the window active now.
    if (changed)
        ActiveWindowChanged();
}

uint32_t X11FocusSource::ActiveWindow()
{
    return m_conn ? FirstCardinal(ReadProperty(m_conn, m_root, m_activeAtom, XCB_ATOM_WINDOW)) : 0;
}

FocusedApp X11FocusSource::Describe(uint32_t window)
{
    FocusedApp app;
    if (!m_conn || window == 0)
        return app;
    // WM_CLASS: instance and class, each ended by a zero byte.
    const QByteArray wmClass = ReadProperty(m_conn, window, XCB_ATOM_WM_CLASS, XCB_ATOM_STRING);
    const QList<QByteArray> parts = wmClass.split('\0');
    if (!parts.isEmpty())
        app.wmInstance = QString::fromLocal8Bit(parts.value(0));
    if (parts.size() > 1)
        app.wmClass = QString::fromLocal8Bit(parts.value(1));
    app.title = QString::fromUtf8(ReadProperty(m_conn, window, m_nameAtom, m_utf8Atom));
    if (app.title.isEmpty())
        app.title = QString::fromLocal8Bit(ReadProperty(m_conn, window, XCB_ATOM_WM_NAME, XCB_ATOM_STRING));
    app.pid = FirstCardinal(ReadProperty(m_conn, window, m_pidAtom, XCB_ATOM_CARDINAL));
    if (app.pid > 0)
        app.executable = ExecutableOfPid(app.pid);
    return app;
}

void X11FocusSource::ActiveWindowChanged()
{
    const uint32_t window = ActiveWindow();
    const FocusedApp app = Describe(window);
    if (window == m_lastWindow && app == m_last)
        return;
    m_lastWindow = window;
    m_last = app;
    emit FocusChanged(app);
}

QList<FocusedApp> X11FocusSource::RunningApplications()
{
    QList<FocusedApp> out;
    if (!m_conn)
        return out;
    const QByteArray list = ReadProperty(m_conn, m_root, m_clientListAtom, XCB_ATOM_WINDOW);
    for (int i = 0; i + 4 <= list.size(); i += 4) {
        uint32_t w = 0;
        std::memcpy(&w, list.constData() + i, 4);
        const FocusedApp app = Describe(w);
        if (!app.DisplayName().isEmpty())
            out << app;
    }
    return out;
}

}  // namespace app
