// The server over real TCP connections on the loopback: what a client is answered, and that a
// client that misbehaves loses its own connection and nothing else.
#include "sdkserver/SdkServer.h"

#include <QCoreApplication>
#include <QTcpSocket>
#include <QTest>

#include <gtest/gtest.h>

#include <cstring>

namespace {

using Bytes = std::vector<uint8_t>;

struct Recorder : sdk::SdkBackend {
    std::vector<std::pair<std::string, std::vector<uint32_t>>> colours;
    std::vector<std::pair<std::string, int>> modes;
    std::vector<std::pair<std::string, std::string>> control;
    void ApplyColours(const std::string& l, const std::vector<uint32_t>& c) override { colours.emplace_back(l, c); }
    void ApplyMode(const std::string& l, int i, const sdk::Mode&) override { modes.emplace_back(l, i); }
    void ControlChanged(const std::string& l, const std::string& c) override { control.emplace_back(l, c); }
};

sdk::Controller Pad(const char* location, uint32_t leds)
{
    sdk::Controller c;
    c.type = sdk::DeviceType::MouseMat;
    c.name = "Pad";
    c.location = location;
    sdk::Mode direct;
    direct.name = "Direct";
    direct.flags = sdk::modeflag::kHasPerLedColour;
    c.modes = {direct};
    sdk::Zone z;
    z.name = "Ring";
    z.ledsMin = z.ledsMax = z.ledsCount = leds;
    c.zones = {z};
    for (uint32_t i = 0; i < leds; ++i)
        c.leds.push_back({"LED", i});
    c.colours.assign(leds, 0);
    return c;
}

Bytes Packet(uint32_t dev, uint32_t id, const Bytes& payload)
{
    return sdk::EncodePacket(dev, id, payload);
}

Bytes Leds(const std::vector<uint32_t>& colours)
{
    Bytes b(6 + 4 * colours.size());
    const uint32_t size = uint32_t(b.size());
    const uint16_t n = uint16_t(colours.size());
    std::memcpy(&b[0], &size, 4);
    std::memcpy(&b[4], &n, 2);
    std::memcpy(&b[6], colours.data(), 4 * colours.size());
    return b;
}

class Client {
public:
    explicit Client(quint16 port)
    {
        m_socket.connectToHost(QHostAddress::LocalHost, port);
        m_socket.waitForConnected(5000);
    }
    void Send(const Bytes& b) { m_socket.write(reinterpret_cast<const char*>(b.data()), qint64(b.size())); m_socket.flush(); }
    // The next packet from the server, or nothing within the wait.
    std::optional<sdk::Packet> Receive()
    {
        sdk::Packet p;
        const bool got = QTest::qWaitFor([&] {
            const QByteArray in = m_socket.readAll();
            m_reader.Append(reinterpret_cast<const uint8_t*>(in.data()), size_t(in.size()));
            return m_reader.Next(p) == sdk::PacketReader::Status::Ready;
        }, 5000);
        return got ? std::optional(p) : std::nullopt;
    }
    bool Closed(int ms = 5000)
    {
        return QTest::qWaitFor([&] { return m_socket.state() == QAbstractSocket::UnconnectedState; }, ms);
    }
    bool Connected() const { return m_socket.state() == QAbstractSocket::ConnectedState; }
    QTcpSocket& socket() { return m_socket; }

private:
    QTcpSocket m_socket;
    sdk::PacketReader m_reader;
};

class SdkServerTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        sdk::SdkServer::Options o;
        o.port = 0;
        o.maxClients = 3;
        o.maxQueuedBytes = 64 * 1024;
        ASSERT_TRUE(server.Listen(o));
        server.SetControllers({Pad("pad:0", 4), Pad("pad:1", 2)});
    }
    Recorder backend;
    sdk::SdkServer server{backend};
};

TEST_F(SdkServerTest, AnswersCountVersionAndDescriptions)
{
    Client c(server.Port());
    c.Send(Packet(0, sdk::packet::kRequestProtocolVersion, sdk::EncodeUint32(5)));
    auto p = c.Receive();
    ASSERT_TRUE(p);
    EXPECT_EQ(sdk::DecodeUint32(p->payload), sdk::kMaxProtocolVersion);
    c.Send(Packet(0, sdk::packet::kRequestControllerCount, {}));
    p = c.Receive();
    ASSERT_TRUE(p);
    EXPECT_EQ(sdk::DecodeUint32(p->payload), 2u);
    c.Send(Packet(1, sdk::packet::kRequestControllerData, sdk::EncodeUint32(4)));
    p = c.Receive();
    ASSERT_TRUE(p);
    EXPECT_EQ(p->header.device, 1u);
    EXPECT_EQ(p->payload, sdk::EncodeController(Pad("pad:1", 2), 4));
}

TEST_F(SdkServerTest, ColoursTakeControlUntilTheClientGoes)
{
    {
        Client c(server.Port());
        const std::string name = "Visualiser";
        c.Send(Packet(0, sdk::packet::kSetClientName, Bytes(name.begin(), name.end() + 1)));
        c.Send(Packet(0, sdk::packet::kUpdateLeds, Leds({1, 2, 3, 4})));
        ASSERT_TRUE(QTest::qWaitFor([&] { return backend.colours.size() == 1; }, 5000));
        EXPECT_EQ(backend.colours[0], (std::pair{std::string("pad:0"), std::vector<uint32_t>{1, 2, 3, 4}}));
        ASSERT_EQ(backend.control.size(), 1u);
        EXPECT_EQ(backend.control[0], (std::pair{std::string("pad:0"), name}));
        // A device index past the list (it may just have changed) is no fault of the client.
        c.Send(Packet(7, sdk::packet::kUpdateLeds, Leds({1})));
        c.Send(Packet(0, sdk::packet::kRequestControllerCount, {}));
        ASSERT_TRUE(c.Receive());
        EXPECT_TRUE(c.Connected());
    }
    ASSERT_TRUE(QTest::qWaitFor([&] { return backend.control.size() == 2; }, 5000));
    EXPECT_EQ(backend.control[1], (std::pair{std::string("pad:0"), std::string()}));
}

// Every bad request drops its sender, and only it: a bystander is answered as before.
TEST_F(SdkServerTest, MalformedRequestsCloseThatClientOnly)
{
    const Bytes bad[] = {
        Packet(0, sdk::packet::kUpdateLeds, Leds({1, 2, 3})),  // 3 colours for 4 LEDs
        [] { Bytes b = Packet(0, sdk::packet::kUpdateLeds, Leds({1, 2, 3, 4})); b[16]++; return b; }(),
        Packet(0, sdk::packet::kUpdateSingleLed, Bytes{4, 0, 0, 0, 1, 2, 3, 4}),  // LED 4 of 0..3
        Packet(0, sdk::packet::kUpdateZoneLeds, [] { Bytes b = Leds({1, 2}); b.insert(b.begin() + 4, {1, 0, 0, 0}); b[0] += 4; return b; }()),
        Packet(0, sdk::packet::kRequestControllerCount, {1}),
        Packet(0, sdk::packet::kRequestProtocolVersion, {1, 2}),
        Packet(0, sdk::packet::kSetCustomMode, {0}),
        Bytes{'O', 'R', 'G', 'X'},
        sdk::EncodePacket(0, sdk::packet::kUpdateLeds, {}),
        [] { Bytes b = sdk::EncodePacket(0, 1050, {}); const uint32_t huge = 1u << 30; std::memcpy(&b[12], &huge, 4); return b; }(),
    };
    Client bystander(server.Port());
    for (size_t i = 0; i < std::size(bad); ++i) {
        Client c(server.Port());
        c.Send(bad[i]);
        EXPECT_TRUE(c.Closed()) << "case " << i;
        bystander.Send(Packet(0, sdk::packet::kRequestControllerCount, {}));
        EXPECT_TRUE(bystander.Receive()) << "case " << i;
    }
    EXPECT_TRUE(backend.colours.empty());
    EXPECT_EQ(server.ClientCount(), 1);
}

TEST_F(SdkServerTest, ClientsBeyondTheLimitAreTurnedAway)
{
    Client a(server.Port()), b(server.Port()), c(server.Port());
    ASSERT_TRUE(QTest::qWaitFor([&] { return server.ClientCount() == 3; }, 5000));
    Client d(server.Port());
    EXPECT_TRUE(d.Closed());
    a.socket().disconnectFromHost();
    ASSERT_TRUE(QTest::qWaitFor([&] { return server.ClientCount() == 2; }, 5000));
    Client e(server.Port());
    e.Send(Packet(0, sdk::packet::kRequestControllerCount, {}));
    EXPECT_TRUE(e.Receive());
}

TEST_F(SdkServerTest, AClientThatDoesNotReadIsDroppedBeforeItsAnswersPileUp)
{
    Client c(server.Port());
    // The client takes no more than a little from its socket: what the server sends piles up
    // in the kernel's buffers and then in the server's queue.
    c.socket().setReadBufferSize(1024);
    // Thousands of requests in one go: their answers (about 80 bytes each, 1.6 MB in all) are
    // far beyond the socket buffers and the 64 KiB bound together.
    Bytes many;
    for (int i = 0; i < 20000; ++i) {
        const Bytes p = Packet(0, sdk::packet::kRequestControllerData, {});
        many.insert(many.end(), p.begin(), p.end());
    }
    c.Send(many);
    EXPECT_TRUE(QTest::qWaitFor([&] { return server.ClientCount() == 0; }, 10000));
}

TEST_F(SdkServerTest, AControllerThatGoesAwayIsReleased)
{
    Client c(server.Port());
    c.Send(Packet(0, sdk::packet::kRequestProtocolVersion, sdk::EncodeUint32(4)));
    ASSERT_TRUE(c.Receive());
    c.Send(Packet(1, sdk::packet::kUpdateLeds, Leds({5, 6})));
    ASSERT_TRUE(QTest::qWaitFor([&] { return backend.control.size() == 1; }, 5000));
    server.SetControllers({Pad("pad:0", 4)});
    ASSERT_EQ(backend.control.size(), 2u);
    EXPECT_EQ(backend.control[1], (std::pair{std::string("pad:1"), std::string()}));
    // The client hears that the list changed.
    auto p = c.Receive();
    ASSERT_TRUE(p);
    EXPECT_EQ(p->header.id, sdk::packet::kDeviceListUpdated);
}

}  // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
