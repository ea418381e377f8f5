#include "sdkserver/SdkServer.h"

#include <QLoggingCategory>
#include <QSocketNotifier>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

Q_LOGGING_CATEGORY(tesselSdk, "tessel.sdk", QtWarningMsg)

namespace sdk {

struct SdkServer::Client {
    int fd = -1;
    QSocketNotifier* readNotifier = nullptr;
    QSocketNotifier* writeNotifier = nullptr;
    PacketReader reader;
    // Answers the kernel has not taken yet, from `sent` on.
    std::vector<uint8_t> out;
    size_t sent = 0;
    std::string name;
    uint32_t version = 0;
};

namespace {

// A listening socket on `port` of every address or of the loopback; -1 with errno set.
int OpenListener(bool anyAddress, quint16 port, int backlog)
{
    const int one = 1;
    if (anyAddress) {
        // One IPv6 socket that takes IPv4 too; a machine without IPv6 gets an IPv4 one.
        const int fd = ::socket(AF_INET6, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
        if (fd >= 0) {
            const int zero = 0;
            ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
            ::setsockopt(fd, IPPROTO_IPV6, IPV6_V6ONLY, &zero, sizeof zero);
            sockaddr_in6 a = {};
            a.sin6_family = AF_INET6;
            a.sin6_addr = in6addr_any;
            a.sin6_port = htons(port);
            if (::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0 && ::listen(fd, backlog) == 0)
                return fd;
            const int e = errno;
            ::close(fd);
            if (e != EAFNOSUPPORT && e != EADDRNOTAVAIL) {
                errno = e;
                return -1;
            }
        }
    }
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return -1;
    ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    sockaddr_in a = {};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(anyAddress ? INADDR_ANY : INADDR_LOOPBACK);
    a.sin_port = htons(port);
    if (::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 || ::listen(fd, backlog) != 0) {
        const int e = errno;
        ::close(fd);
        errno = e;
        return -1;
    }
    return fd;
}

// True when the peer has closed its side or the connection failed.
bool PeerGone(int fd)
{
    pollfd p = {fd, POLLRDHUP, 0};
    return ::poll(&p, 1, 0) > 0 && (p.revents & (POLLRDHUP | POLLHUP | POLLERR | POLLNVAL));
}

}  // namespace

SdkServer::SdkServer(SdkBackend& backend, QObject* parent) : QObject(parent), m_backend(backend) {}

SdkServer::~SdkServer()
{
    Close();
}

bool SdkServer::Listen(const Options& options, QString* error)
{
    Close();
    m_options = options;
    const int fd = OpenListener(options.anyAddress, options.port, std::max(1, options.maxClients));
    if (fd < 0) {
        if (error)
            *error = QString::fromLocal8Bit(std::strerror(errno));
        return false;
    }
    m_listenFd = fd;
    m_listenNotifier = new QSocketNotifier(fd, QSocketNotifier::Read, this);
    connect(m_listenNotifier, &QSocketNotifier::activated, this, &SdkServer::OnNewConnection);
    return true;
}

void SdkServer::Close()
{
    while (!m_clients.empty())
        Drop(m_clients.begin()->first, nullptr);
    if (m_listenFd >= 0) {
        delete m_listenNotifier;
        m_listenNotifier = nullptr;
        ::close(m_listenFd);
        m_listenFd = -1;
    }
}

quint16 SdkServer::Port() const
{
    if (m_listenFd < 0)
        return 0;
    sockaddr_storage a = {};
    socklen_t size = sizeof a;
    if (::getsockname(m_listenFd, reinterpret_cast<sockaddr*>(&a), &size) != 0)
        return 0;
    if (a.ss_family == AF_INET6)
        return ntohs(reinterpret_cast<sockaddr_in6*>(&a)->sin6_port);
    return ntohs(reinterpret_cast<sockaddr_in*>(&a)->sin_port);
}

void SdkServer::SetControllers(std::vector<Controller> controllers)
{
    // Control follows the location; a controller that is gone is released (its device went
    // away), and what a client set on one that stays is kept.
    std::vector<std::string> gone;
    for (const auto& held : m_holders) {
        const std::string& location = held.first;
        const bool present = std::any_of(controllers.begin(), controllers.end(),
                                         [&](const Controller& c) { return c.location == location; });
        if (!present)
            gone.push_back(location);
    }
    for (const std::string& location : gone)
        ReleaseControl(location);
    for (Controller& c : controllers) {
        auto old = std::find_if(m_controllers.begin(), m_controllers.end(),
                                [&](const Controller& o) { return o.location == c.location; });
        if (old != m_controllers.end() && m_holders.count(c.location) && old->colours.size() == c.colours.size()) {
            c.colours = old->colours;
            c.activeMode = old->activeMode;
        }
    }
    const bool changed = controllers.size() != m_controllers.size() ||
        !std::equal(controllers.begin(), controllers.end(), m_controllers.begin(),
                    [](const Controller& a, const Controller& b) {
                        return a.location == b.location && a.name == b.name && a.leds.size() == b.leds.size() &&
                            a.modes.size() == b.modes.size();
                    });
    m_controllers = std::move(controllers);
    if (!changed)
        return;
    std::vector<int> sockets;
    for (auto& [fd, client] : m_clients)
        sockets.push_back(fd);
    for (int fd : sockets) {
        auto it = m_clients.find(fd);
        if (it != m_clients.end() && it->second->version >= 1)
            Send(*it->second, 0, packet::kDeviceListUpdated, {});
    }
}

void SdkServer::OnNewConnection()
{
    for (;;) {
        const int fd = ::accept4(m_listenFd, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
        if (fd < 0) {
            if (errno == EINTR || errno == ECONNABORTED)
                continue;
            // EAGAIN: none left. Out of descriptors or memory: the notifier comes back later.
            return;
        }
        if (int(m_clients.size()) >= m_options.maxClients) {
            // A client that just closed and came back may still be counted: those gone are
            // let go first.
            std::vector<int> closed;
            for (const auto& [s, c] : m_clients) {
                if (PeerGone(s))
                    closed.push_back(s);
            }
            for (int s : closed)
                Drop(s, nullptr);
        }
        if (int(m_clients.size()) >= m_options.maxClients) {
            qCWarning(tesselSdk) << "SDK client refused: already" << m_clients.size() << "clients";
            ::close(fd);
            continue;
        }
        const int one = 1;
        // Answers are small and awaited one by one: never hold them back.
        ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
        // What the kernel holds for a client that does not read is bounded too, not only the
        // server's own queue.
        const int sendBuffer = 64 * 1024;
        ::setsockopt(fd, SOL_SOCKET, SO_SNDBUF, &sendBuffer, sizeof sendBuffer);
        auto client = std::make_unique<Client>();
        client->fd = fd;
        client->readNotifier = new QSocketNotifier(fd, QSocketNotifier::Read, this);
        client->writeNotifier = new QSocketNotifier(fd, QSocketNotifier::Write, this);
        client->writeNotifier->setEnabled(false);
        connect(client->readNotifier, &QSocketNotifier::activated, this, [this, fd] { OnReadyRead(fd); });
        connect(client->writeNotifier, &QSocketNotifier::activated, this, [this, fd] { OnWritable(fd); });
        m_clients.emplace(fd, std::move(client));
        emit clientCountChanged(int(m_clients.size()));
    }
}

void SdkServer::OnReadyRead(int fd)
{
    auto it = m_clients.find(fd);
    if (it == m_clients.end())
        return;
    Client& c = *it->second;
    char buffer[16 * 1024];
    // A bounded number of reads per wake-up, so one busy client cannot hold the others (the
    // notifier fires again while data is waiting).
    for (int round = 0; round < 8; ++round) {
        const ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK))
            return;
        if (n <= 0) {
            // The client closed its side or the connection failed.
            Drop(fd, nullptr);
            return;
        }
        c.reader.Append(reinterpret_cast<const uint8_t*>(buffer), size_t(n));
        Packet p;
        for (;;) {
            const PacketReader::Status status = c.reader.Next(p);
            if (status == PacketReader::Status::NeedMore)
                break;
            if (status == PacketReader::Status::Bad) {
                Drop(fd, c.reader.Problem().c_str());
                return;
            }
            if (!Handle(c, p)) {
                Drop(fd, "malformed request");
                return;
            }
            // Sending may have found the client not reading and dropped it (and `c` with it).
            if (!m_clients.count(fd))
                return;
        }
        if (size_t(n) < sizeof buffer)
            return;
    }
}

void SdkServer::OnWritable(int fd)
{
    auto it = m_clients.find(fd);
    if (it != m_clients.end())
        Flush(*it->second);
}

bool SdkServer::Flush(Client& c)
{
    while (c.sent < c.out.size()) {
        const ssize_t n = ::send(c.fd, c.out.data() + c.sent, c.out.size() - c.sent, MSG_NOSIGNAL | MSG_DONTWAIT);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            c.writeNotifier->setEnabled(true);
            return true;
        }
        if (n <= 0) {
            Drop(c.fd, nullptr);
            return false;
        }
        c.sent += size_t(n);
    }
    c.out.clear();
    c.sent = 0;
    c.writeNotifier->setEnabled(false);
    return true;
}

bool SdkServer::Handle(Client& c, const Packet& p)
{
    const Header& h = p.header;
    switch (h.id) {
    case packet::kRequestControllerCount:
        if (!p.payload.empty())
            return false;
        Send(c, 0, h.id, EncodeUint32(uint32_t(m_controllers.size())));
        return true;
    case packet::kRequestProtocolVersion: {
        const auto v = DecodeUint32(p.payload);
        if (!v)
            return false;
        c.version = std::min(*v, kMaxProtocolVersion);
        Send(c, 0, h.id, EncodeUint32(kMaxProtocolVersion));
        return true;
    }
    case packet::kSetClientName:
        if (p.payload.size() > 1024)
            return false;
        c.name = DecodeClientName(p.payload);
        return true;
    case packet::kRequestProfileList:
        if (!p.payload.empty())
            return false;
        Send(c, 0, h.id, EncodeProfileList(m_backend.ProfileNames()));
        return true;
    case packet::kRequestSaveProfile:
    case packet::kRequestLoadProfile:
    case packet::kRequestDeleteProfile:
        // Tessel's profiles belong to its window: named here, never changed from outside.
        return p.payload.size() <= 1024;
    default:
        break;
    }
    const bool perController = h.id == packet::kRequestControllerData || h.id == packet::kResizeZone ||
        h.id == packet::kUpdateLeds || h.id == packet::kUpdateZoneLeds || h.id == packet::kUpdateSingleLed ||
        h.id == packet::kSetCustomMode || h.id == packet::kUpdateMode || h.id == packet::kSaveMode;
    if (!perController) {
        // A request of a later version than this server speaks: not understood, left alone.
        qCDebug(tesselSdk) << "SDK request" << h.id << "ignored";
        return true;
    }
    if (h.device >= m_controllers.size()) {
        // The device list may have changed under the client; it hears of it and asks again.
        // The request must still be well formed.
        if (h.id == packet::kRequestControllerData)
            return DecodeControllerDataRequest(p.payload).has_value();
        return true;
    }
    return HandleControllerRequest(c, p, m_controllers[h.device]);
}

bool SdkServer::HandleControllerRequest(Client& c, const Packet& p, Controller& ctl)
{
    const Header& h = p.header;
    const std::string location = ctl.location;  // ctl may move when the list changes below
    switch (h.id) {
    case packet::kRequestControllerData: {
        const auto v = DecodeControllerDataRequest(p.payload);
        if (!v)
            return false;
        Send(c, h.device, h.id, EncodeController(ctl, std::min(*v, kMaxProtocolVersion)));
        return true;
    }
    case packet::kResizeZone:
        // No zone of these devices can change its size.
        return p.payload.size() == 8;
    case packet::kUpdateLeds: {
        auto colours = DecodeUpdateLeds(p.payload);
        if (!colours || colours->size() != ctl.colours.size())
            return false;
        ctl.colours = std::move(*colours);
        break;
    }
    case packet::kUpdateZoneLeds: {
        auto z = DecodeUpdateZoneLeds(p.payload);
        if (!z || z->zone >= ctl.zones.size() || z->colours.size() != ctl.zones[z->zone].ledsCount)
            return false;
        size_t first = 0;
        for (uint32_t i = 0; i < z->zone; ++i)
            first += ctl.zones[i].ledsCount;
        if (first + z->colours.size() > ctl.colours.size())
            return false;
        std::copy(z->colours.begin(), z->colours.end(), ctl.colours.begin() + std::ptrdiff_t(first));
        break;
    }
    case packet::kUpdateSingleLed: {
        const auto s = DecodeUpdateSingleLed(p.payload);
        if (!s || s->led < 0 || size_t(s->led) >= ctl.colours.size())
            return false;
        ctl.colours[size_t(s->led)] = s->colour;
        break;
    }
    case packet::kSetCustomMode:
        if (!p.payload.empty())
            return false;
        break;
    case packet::kUpdateMode:
    case packet::kSaveMode: {
        auto u = DecodeUpdateMode(p.payload, c.version);
        if (!u || u->index < 0 || size_t(u->index) >= ctl.modes.size())
            return false;
        Mode& ours = ctl.modes[size_t(u->index)];
        const Mode& theirs = u->mode;
        if (theirs.colours.size() > ours.coloursMax)
            return false;
        // The ranges and flags are the device's; only the settings are the client's.
        if (ours.flags & modeflag::kHasSpeed)
            ours.speed = std::clamp(theirs.speed, std::min(ours.speedMin, ours.speedMax), std::max(ours.speedMin, ours.speedMax));
        if (ours.flags & modeflag::kHasBrightness && c.version >= 3)
            ours.brightness = std::clamp(theirs.brightness, ours.brightnessMin, ours.brightnessMax);
        if (ours.flags & (modeflag::kHasDirectionLR | modeflag::kHasDirectionUD | modeflag::kHasDirectionHV))
            ours.direction = std::min<uint32_t>(theirs.direction, 5);
        if (theirs.colours.size() >= ours.coloursMin)
            ours.colours = theirs.colours;
        ctl.activeMode = u->index;
        TakeControl(c, ctl);
        m_backend.ApplyMode(location, u->index, ours);
        return true;
    }
    default:
        return true;
    }
    // Colours: shown through the per-LED ("Direct") mode, which is mode 0.
    ctl.activeMode = 0;
    TakeControl(c, ctl);
    m_backend.ApplyColours(location, ctl.colours);
    return true;
}

void SdkServer::TakeControl(Client& c, const Controller& ctl)
{
    auto [it, added] = m_holders.try_emplace(ctl.location, c.fd);
    if (!added && it->second == c.fd)
        return;
    it->second = c.fd;
    m_backend.ControlChanged(ctl.location, c.name.empty() ? std::string("SDK client") : c.name);
}

void SdkServer::ReleaseControl(const std::string& location)
{
    if (m_holders.erase(location))
        m_backend.ControlChanged(location, {});
}

void SdkServer::Send(Client& c, uint32_t device, uint32_t id, const std::vector<uint8_t>& payload)
{
    // A client that stops reading must not make Tessel hold its answers without end.
    if (c.out.size() - c.sent + kHeaderSize + payload.size() > size_t(std::max<qint64>(0, m_options.maxQueuedBytes))) {
        Drop(c.fd, "client does not read its answers");
        return;
    }
    if (c.sent > 0) {
        c.out.erase(c.out.begin(), c.out.begin() + std::ptrdiff_t(c.sent));
        c.sent = 0;
    }
    const std::vector<uint8_t> bytes = EncodePacket(device, id, payload);
    c.out.insert(c.out.end(), bytes.begin(), bytes.end());
    Flush(c);
}

void SdkServer::Drop(int fd, const char* why)
{
    auto it = m_clients.find(fd);
    if (it == m_clients.end())
        return;
    std::unique_ptr<Client> client = std::move(it->second);
    m_clients.erase(it);
    if (why)
        qCWarning(tesselSdk) << "SDK client" << QString::fromStdString(client->name) << "disconnected:" << why;
    std::vector<std::string> held;
    for (const auto& [location, holder] : m_holders) {
        if (holder == fd)
            held.push_back(location);
    }
    for (const std::string& location : held)
        ReleaseControl(location);
    // The notifiers may be the ones whose signal is being delivered: switched off now, deleted
    // once the event loop is back.
    for (QSocketNotifier* n : {client->readNotifier, client->writeNotifier}) {
        n->setEnabled(false);
        n->disconnect(this);
        n->deleteLater();
    }
    ::close(fd);
    emit clientCountChanged(int(m_clients.size()));
}

}  // namespace sdk
