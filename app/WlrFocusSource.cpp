#include "app/WlrFocusSource.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QSocketNotifier>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace app {

namespace {

// Opcodes of the interfaces used.
enum : uint16_t {
    kDisplaySync = 0, kDisplayGetRegistry = 1,             // requests of wl_display
    kDisplayError = 0, kDisplayDeleteId = 1,               // its events
    kRegistryBind = 0,                                      // request of wl_registry
    kRegistryGlobal = 0, kRegistryGlobalRemove = 1,         // its events
    kCallbackDone = 0,                                      // event of wl_callback
    kManagerToplevel = 0, kManagerFinished = 1,             // events of the manager
    kHandleTitle = 0, kHandleAppId = 1, kHandleOutputEnter = 2, kHandleOutputLeave = 3,
    kHandleState = 4, kHandleDone = 5, kHandleClosed = 6, kHandleParent = 7,  // events of a toplevel
    kHandleDestroy = 7,                                     // its request
};
constexpr uint32_t kStateActivated = 2;
constexpr int kMaxMessage = 4096;  // the wire's limit for one message

void PutU32(QByteArray& out, uint32_t v)
{
    out.append(reinterpret_cast<const char*>(&v), 4);
}

void PutString(QByteArray& out, const QByteArray& s)
{
    PutU32(out, uint32_t(s.size() + 1));
    out.append(s);
    out.append('\0');
    while (out.size() % 4)
        out.append('\0');
}

// Reads the arguments of one message in order; any read past its end fails the whole message.
class Args {
public:
    Args(const char* data, int size) : m_p(data), m_end(data + size) {}
    bool U32(uint32_t& v)
    {
        if (m_end - m_p < 4)
            return false;
        std::memcpy(&v, m_p, 4);
        m_p += 4;
        return true;
    }
    bool Bytes(QByteArray& out, bool string)
    {
        uint32_t len = 0;
        if (!U32(len))
            return false;
        const uint64_t padded = (uint64_t(len) + 3) & ~uint64_t(3);
        if (padded > uint64_t(m_end - m_p))
            return false;
        if (string) {
            // A string's length counts its closing zero; 0 is a null string.
            out = len ? QByteArray(m_p, int(len) - 1) : QByteArray();
            if (len && m_p[len - 1] != '\0')
                return false;
        } else {
            out = QByteArray(m_p, int(len));
        }
        m_p += padded;
        return true;
    }

private:
    const char* m_p;
    const char* m_end;
};

}  // namespace

WlrToplevelProtocol::WlrToplevelProtocol()
{
    m_objects.insert(kDisplayId, Kind::Display);
}

uint32_t WlrToplevelProtocol::NewId(Kind kind)
{
    const uint32_t id = m_nextId++;
    m_objects.insert(id, kind);
    return id;
}

void WlrToplevelProtocol::Send(uint32_t object, uint16_t opcode, const QByteArray& args)
{
    PutU32(m_out, object);
    PutU32(m_out, (uint32_t(8 + args.size()) << 16) | opcode);
    m_out.append(args);
}

void WlrToplevelProtocol::Begin()
{
    QByteArray a;
    m_registry = NewId(Kind::Registry);
    PutU32(a, m_registry);
    Send(kDisplayId, kDisplayGetRegistry, a);
    a.clear();
    m_sync = NewId(Kind::Callback);
    PutU32(a, m_sync);
    Send(kDisplayId, kDisplaySync, a);
}

QByteArray WlrToplevelProtocol::TakeOutgoing()
{
    QByteArray out;
    out.swap(m_out);
    return out;
}

bool WlrToplevelProtocol::Feed(const QByteArray& bytes)
{
    if (m_failed)
        return false;
    m_in.append(bytes);
    int pos = 0;
    while (m_in.size() - pos >= 8) {
        uint32_t object = 0, header = 0;
        std::memcpy(&object, m_in.constData() + pos, 4);
        std::memcpy(&header, m_in.constData() + pos + 4, 4);
        const int size = int(header >> 16);
        const uint16_t opcode = uint16_t(header & 0xffff);
        if (size < 8 || size > kMaxMessage || size % 4) {
            m_failed = true;
            return false;
        }
        if (m_in.size() - pos < size)
            break;
        if (!Handle(object, opcode, m_in.constData() + pos + 8, size - 8)) {
            m_failed = true;
            return false;
        }
        pos += size;
    }
    m_in.remove(0, pos);
    return true;
}

bool WlrToplevelProtocol::Handle(uint32_t object, uint16_t opcode, const char* data, int size)
{
    Args args(data, size);
    const auto kind = m_objects.constFind(object);
    // Events for an object already destroyed on this side are dropped, as the wire allows.
    if (kind == m_objects.constEnd())
        return true;
    switch (*kind) {
    case Kind::Display:
        if (opcode == kDisplayError)
            return false;
        if (opcode == kDisplayDeleteId) {
            uint32_t id = 0;
            if (!args.U32(id))
                return false;
            if (id != kDisplayId)
                m_objects.remove(id);
        }
        return true;
    case Kind::Registry:
        if (opcode == kRegistryGlobal) {
            uint32_t name = 0, version = 0;
            QByteArray interface;
            if (!args.U32(name) || !args.Bytes(interface, true) || !args.U32(version))
                return false;
            if (interface == kManagerInterface && m_manager == 0) {
                QByteArray a;
                PutU32(a, name);
                PutString(a, interface);
                PutU32(a, std::min<uint32_t>(version, 3));
                m_manager = NewId(Kind::Manager);
                PutU32(a, m_manager);
                Send(m_registry, kRegistryBind, a);
            }
        }
        return true;
    case Kind::Callback:
        if (opcode == kCallbackDone && object == m_sync)
            m_syncDone = true;
        m_objects.remove(object);
        return true;
    case Kind::Manager:
        if (opcode == kManagerToplevel) {
            uint32_t id = 0;
            if (!args.U32(id))
                return false;
            m_objects.insert(id, Kind::Handle);
            m_toplevels.insert(id, Toplevel{});
        } else if (opcode == kManagerFinished) {
            m_objects.remove(object);
            m_manager = 0;
        }
        return true;
    case Kind::Handle: {
        Toplevel& t = m_toplevels[object];
        QByteArray value;
        switch (opcode) {
        case kHandleTitle:
            if (!args.Bytes(value, true))
                return false;
            t.pending.title = QString::fromUtf8(value);
            return true;
        case kHandleAppId:
            if (!args.Bytes(value, true))
                return false;
            t.pending.appId = QString::fromUtf8(value);
            return true;
        case kHandleState: {
            if (!args.Bytes(value, false) || value.size() % 4)
                return false;
            t.pendingActivated = false;
            for (int i = 0; i + 4 <= value.size(); i += 4) {
                uint32_t s = 0;
                std::memcpy(&s, value.constData() + i, 4);
                t.pendingActivated |= s == kStateActivated;
            }
            return true;
        }
        case kHandleDone: {
            // The values sent since the last "done" take effect together.
            const bool becameActive = t.pendingActivated && (!t.activated || !(t.current == t.pending));
            t.current = t.pending;
            t.activated = t.pendingActivated;
            if (t.activated)
                m_activeHandle = object;
            if (becameActive && onActivated)
                onActivated(t.current);
            return true;
        }
        case kHandleClosed: {
            m_toplevels.remove(object);
            m_objects.remove(object);
            if (m_activeHandle == object)
                m_activeHandle = 0;
            Send(object, kHandleDestroy, {});
            return true;
        }
        case kHandleOutputEnter:
        case kHandleOutputLeave:
        case kHandleParent:
        default:
            return true;
        }
    }
    }
    return true;
}

QList<FocusedApp> WlrToplevelProtocol::Toplevels() const
{
    QList<FocusedApp> out;
    for (const Toplevel& t : m_toplevels) {
        if (!t.current.appId.isEmpty())
            out << t.current;
    }
    return out;
}

WlrFocusSource::WlrFocusSource(QString socketPath, QObject* parent) : FocusSource(parent), m_socketPath(std::move(socketPath))
{
    m_protocol.onActivated = [this](const FocusedApp& app) { emit FocusChanged(app); };
}

WlrFocusSource::~WlrFocusSource()
{
    Close();
}

bool WlrFocusSource::Start()
{
    if (m_socketPath.isEmpty()) {
        const QString display = QString::fromLocal8Bit(qgetenv("WAYLAND_DISPLAY"));
        const QString runtime = QString::fromLocal8Bit(qgetenv("XDG_RUNTIME_DIR"));
        if (display.isEmpty())
            return false;
        m_socketPath = display.startsWith(QLatin1Char('/')) ? display : QDir(runtime).filePath(display);
    }
    const QByteArray path = QFile::encodeName(m_socketPath);
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    if (path.size() >= int(sizeof addr.sun_path))
        return false;
    std::memcpy(addr.sun_path, path.constData(), size_t(path.size()));
    m_fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (m_fd < 0)
        return false;
    // A local connect completes at once or is refused; EINPROGRESS is not expected here.
    if (::connect(m_fd, reinterpret_cast<const sockaddr*>(&addr), sizeof addr) != 0) {
        Close();
        return false;
    }
    m_protocol.Begin();
    if (!Flush()) {
        Close();
        return false;
    }
    // The first round trip tells whether the compositor offers the toplevel list.
    QElapsedTimer waited;
    waited.start();
    while (!m_protocol.InitialRoundTripDone() && !m_protocol.Failed() && waited.elapsed() < 2000) {
        pollfd p{m_fd, POLLIN, 0};
        if (::poll(&p, 1, int(2000 - waited.elapsed())) <= 0)
            break;
        QByteArray in;
        const bool open = ReadAvailable(in);
        m_protocol.Feed(in);
        if (!open || !Flush())
            break;
    }
    if (!m_protocol.ManagerBound()) {
        Close();
        return false;
    }
    m_notifier = new QSocketNotifier(m_fd, QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, &WlrFocusSource::ReadSocket);
    // Events that came with the round trip's answer are handled now.
    ReadSocket();
    return true;
}

bool WlrFocusSource::ReadAvailable(QByteArray& into)
{
    char buffer[4096];
    for (;;) {
        const ssize_t n = ::recv(m_fd, buffer, sizeof buffer, 0);
        if (n > 0) {
            into.append(buffer, qsizetype(n));
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        return n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK);
    }
}

void WlrFocusSource::ReadSocket()
{
    if (m_fd < 0)
        return;
    QByteArray in;
    const bool open = ReadAvailable(in);
    // A compositor that speaks nonsense (or reports an error), or that went, is left.
    if ((!in.isEmpty() && !m_protocol.Feed(in)) || !open || !Flush())
        Close();
}

bool WlrFocusSource::Flush()
{
    const QByteArray out = m_protocol.TakeOutgoing();
    qsizetype sent = 0;
    while (sent < out.size()) {
        const ssize_t n = ::send(m_fd, out.constData() + sent, size_t(out.size() - sent), MSG_NOSIGNAL);
        if (n > 0) {
            sent += n;
        } else if (n < 0 && errno == EINTR) {
            continue;
        } else if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            // The requests are a few bytes; a full buffer clears as soon as the compositor reads.
            pollfd p{m_fd, POLLOUT, 0};
            if (::poll(&p, 1, 1000) <= 0)
                return false;
        } else {
            return false;
        }
    }
    return true;
}

void WlrFocusSource::Close()
{
    delete m_notifier;
    m_notifier = nullptr;
    if (m_fd >= 0)
        ::close(m_fd);
    m_fd = -1;
}

}  // namespace app
