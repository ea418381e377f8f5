#pragma once

#include "app/FocusSource.h"

#include <QByteArray>
#include <QHash>
#include <cstdint>
#include <functional>

class QSocketNotifier;

namespace app {

// The client side of the Wayland wire protocol as far as following the focus needs it: the
// registry, and wlroots' foreign toplevel list (zwlr_foreign_toplevel_manager_v1, versions 1
// to 3). Bytes from the compositor go in through Feed; requests to send come out of
// TakeOutgoing. No file descriptors travel in either direction for these interfaces.
class WlrToplevelProtocol {
public:
    static constexpr uint32_t kDisplayId = 1;
    static constexpr char kManagerInterface[] = "zwlr_foreign_toplevel_manager_v1";

    WlrToplevelProtocol();
    // The first requests: the registry and a sync whose answer ends the initial round trip.
    void Begin();
    // Bytes read from the compositor; whole messages are handled, a partial one waits for more.
    // False on a protocol error (a malformed message, or the compositor's error event).
    bool Feed(const QByteArray& bytes);
    QByteArray TakeOutgoing();

    // The first sync answered: the globals are known, and the manager bound when it was there.
    bool InitialRoundTripDone() const { return m_syncDone; }
    bool ManagerBound() const { return m_manager != 0; }
    bool Failed() const { return m_failed; }
    // The toplevels as last completed ("done"), for listing.
    QList<FocusedApp> Toplevels() const;

    // Called once a toplevel that is activated completes a change.
    std::function<void(const FocusedApp&)> onActivated;

private:
    struct Toplevel {
        FocusedApp pending, current;
        bool pendingActivated = false, activated = false;
    };
    enum class Kind { Display, Registry, Callback, Manager, Handle };
    uint32_t NewId(Kind kind);
    void Send(uint32_t object, uint16_t opcode, const QByteArray& args);
    bool Handle(uint32_t object, uint16_t opcode, const char* args, int size);

    QByteArray m_in, m_out;
    QHash<uint32_t, Kind> m_objects;
    QHash<uint32_t, Toplevel> m_toplevels;
    uint32_t m_nextId = 2;
    uint32_t m_registry = 0, m_sync = 0, m_manager = 0;
    uint32_t m_activeHandle = 0;
    bool m_syncDone = false;
    bool m_failed = false;
};

// The focused application on a wlroots compositor (sway, labwc, Hyprland, river...): the
// toplevel whose state holds "activated", from the compositor's foreign toplevel list.
class WlrFocusSource : public FocusSource {
    Q_OBJECT
public:
    // `socketPath`: the compositor's socket; empty for $XDG_RUNTIME_DIR/$WAYLAND_DISPLAY.
    explicit WlrFocusSource(QString socketPath = {}, QObject* parent = nullptr);
    ~WlrFocusSource() override;
    QString Name() const override { return QStringLiteral("wlroots"); }
    // Connects and makes the first round trip (up to 2 s); false when there is no compositor or
    // it does not offer the toplevel list.
    bool Start() override;
    bool CanListApplications() const override { return true; }
    QList<FocusedApp> RunningApplications() override { return m_protocol.Toplevels(); }

private:
    void ReadSocket();
    // Writes what the protocol has queued; false when the compositor is gone.
    bool Flush();
    // Everything the socket holds now, without waiting; false at the end of the connection.
    bool ReadAvailable(QByteArray& into);
    void Close();

    QString m_socketPath;
    // A plain Unix socket: the application links no network module for this one connection.
    int m_fd = -1;
    QSocketNotifier* m_notifier = nullptr;
    WlrToplevelProtocol m_protocol;
};

}  // namespace app
