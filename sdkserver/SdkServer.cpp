#include "sdkserver/SdkServer.h"

#include <QLoggingCategory>
#include <QPointer>
#include <QTcpServer>
#include <QTcpSocket>

#include <algorithm>

Q_LOGGING_CATEGORY(tesselSdk, "tessel.sdk", QtWarningMsg)

namespace sdk {

struct SdkServer::Client {
    QTcpSocket* socket = nullptr;
    PacketReader reader;
    std::string name;
    uint32_t version = 0;
};

SdkServer::SdkServer(SdkBackend& backend, QObject* parent) : QObject(parent), m_backend(backend) {}

SdkServer::~SdkServer()
{
    Close();
}

bool SdkServer::Listen(const Options& options, QString* error)
{
    Close();
    m_options = options;
    m_server = new QTcpServer(this);
    m_server->setMaxPendingConnections(std::max(1, options.maxClients));
    connect(m_server, &QTcpServer::newConnection, this, &SdkServer::OnNewConnection);
    if (!m_server->listen(options.address, options.port)) {
        if (error)
            *error = m_server->errorString();
        delete m_server;
        m_server = nullptr;
        return false;
    }
    return true;
}

void SdkServer::Close()
{
    while (!m_clients.empty())
        Drop(m_clients.begin()->first, nullptr);
    if (m_server) {
        m_server->close();
        delete m_server;
        m_server = nullptr;
    }
}

bool SdkServer::IsListening() const
{
    return m_server && m_server->isListening();
}

quint16 SdkServer::Port() const
{
    return m_server ? m_server->serverPort() : 0;
}

void SdkServer::SetControllers(std::vector<Controller> controllers)
{
    // Control follows the location; a controller that is gone is released (its device went
    // away), and what a client set on one that stays is kept.
    std::vector<std::string> gone;
    for (const auto& [location, holder] : m_holders) {
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
    std::vector<QTcpSocket*> sockets;
    for (auto& [socket, client] : m_clients)
        sockets.push_back(socket);
    for (QTcpSocket* s : sockets) {
        auto it = m_clients.find(s);
        if (it != m_clients.end() && it->second->version >= 1)
            Send(*it->second, 0, packet::kDeviceListUpdated, {});
    }
}

void SdkServer::OnNewConnection()
{
    while (QTcpSocket* socket = m_server->nextPendingConnection()) {
        if (int(m_clients.size()) >= m_options.maxClients) {
            // A client that just closed and came back may still be counted: those gone are
            // let go first.
            std::vector<QTcpSocket*> closed;
            for (const auto& [s, c] : m_clients) {
                if (s->state() != QAbstractSocket::ConnectedState)
                    closed.push_back(s);
            }
            for (QTcpSocket* s : closed)
                Drop(s, nullptr);
        }
        if (int(m_clients.size()) >= m_options.maxClients) {
            qCWarning(tesselSdk) << "SDK client refused: already" << m_clients.size() << "clients";
            socket->abort();
            socket->deleteLater();
            continue;
        }
        auto client = std::make_unique<Client>();
        client->socket = socket;
        m_clients.emplace(socket, std::move(client));
        connect(socket, &QTcpSocket::readyRead, this, [this, socket] { OnReadyRead(socket); });
        connect(socket, &QTcpSocket::disconnected, this, [this, socket] { Drop(socket, nullptr); });
        // A socket already closed when it is taken gives no signal of its own.
        if (socket->state() != QAbstractSocket::ConnectedState) {
            Drop(socket, nullptr);
            continue;
        }
        emit clientCountChanged(int(m_clients.size()));
        if (socket->bytesAvailable() > 0)
            OnReadyRead(socket);
    }
}

void SdkServer::OnReadyRead(QTcpSocket* socket)
{
    auto it = m_clients.find(socket);
    if (it == m_clients.end())
        return;
    Client& c = *it->second;
    char buffer[16 * 1024];
    while (socket->bytesAvailable() > 0) {
        const qint64 n = socket->read(buffer, sizeof buffer);
        if (n <= 0)
            break;
        c.reader.Append(reinterpret_cast<const uint8_t*>(buffer), size_t(n));
        Packet p;
        for (;;) {
            const PacketReader::Status status = c.reader.Next(p);
            if (status == PacketReader::Status::NeedMore)
                break;
            if (status == PacketReader::Status::Bad) {
                Drop(socket, c.reader.Problem().c_str());
                return;
            }
            if (!Handle(c, p)) {
                Drop(socket, "malformed request");
                return;
            }
            // Sending may have found the client not reading and dropped it (and `c` with it).
            if (!m_clients.count(socket))
                return;
        }
    }
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
    QTcpSocket*& holder = m_holders[ctl.location];
    if (holder == c.socket)
        return;
    holder = c.socket;
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
    if (c.socket->bytesToWrite() + qint64(kHeaderSize + payload.size()) > m_options.maxQueuedBytes) {
        Drop(c.socket, "client does not read its answers");
        return;
    }
    const std::vector<uint8_t> bytes = EncodePacket(device, id, payload);
    c.socket->write(reinterpret_cast<const char*>(bytes.data()), qint64(bytes.size()));
}

void SdkServer::Drop(QTcpSocket* socket, const char* why)
{
    auto it = m_clients.find(socket);
    if (it == m_clients.end())
        return;
    std::unique_ptr<Client> client = std::move(it->second);
    m_clients.erase(it);
    if (why)
        qCWarning(tesselSdk) << "SDK client" << QString::fromStdString(client->name) << "disconnected:" << why;
    std::vector<std::string> held;
    for (const auto& [location, holder] : m_holders) {
        if (holder == socket)
            held.push_back(location);
    }
    for (const std::string& location : held)
        ReleaseControl(location);
    socket->disconnect(this);
    socket->abort();
    socket->deleteLater();
    emit clientCountChanged(int(m_clients.size()));
}

}  // namespace sdk
