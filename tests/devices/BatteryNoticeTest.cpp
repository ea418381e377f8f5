#include "app/BatteryNotices.h"
#include "app/BatteryWatch.h"
#include "devices/CVantikUSBDevice.h"
#include "tests/support/SimulatorProcess.h"
#include "tests/support/WindowOnSimulator.h"
#include "ui/TrayIcon.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QVariantMap>

// Low-battery notices: the rule of when to tell (a table over level sequences), and end to end
// the simulated wireless mouse's battery falling, read by the real window, told to a
// notification server on the session bus that records what it receives.
namespace {

using app::BatteryWatch;

struct WatchCase {
    const char* name;
    std::vector<std::pair<int, bool>> readings;  // level, charging
    std::vector<int> noticeAt;                   // indices of readings that notify (negative: critical)
};

TEST(BatteryWatch, TellsOncePerCrossingAndNeverWhileCharging)
{
    const WatchCase cases[] = {
        {"falling through both thresholds", {{50, false}, {16, false}, {15, false}, {14, false}, {6, false}, {5, false}, {2, false}},
         {2, -5}},
        {"already low when first read", {{10, false}, {9, false}}, {0}},
        {"critical at once tells critical only", {{50, false}, {3, false}, {10, false}}, {-1}},
        {"wavering around the threshold tells once", {{15, false}, {16, false}, {15, false}, {17, false}, {14, false}}, {0}},
        {"climbing well above re-arms", {{15, false}, {19, false}, {15, false}}, {0, 2}},
        {"charging tells nothing, unplugged still low tells", {{40, true}, {12, true}, {12, false}}, {2}},
        {"unknown level tells nothing", {{-1, false}, {-1, false}}, {}},
    };
    for (const WatchCase& c : cases) {
        SCOPED_TRACE(c.name);
        BatteryWatch watch;
        std::vector<int> told;
        for (size_t i = 0; i < c.readings.size(); ++i)
            for (const auto& n : watch.Update({{"mouse", c.readings[i].first, c.readings[i].second}}))
                told.push_back(n.critical ? -int(i) : int(i));
        EXPECT_EQ(told, c.noticeAt);
    }
    // A device that went is forgotten: plugged in again low, it is told again.
    BatteryWatch watch;
    EXPECT_EQ(watch.Update({{"mouse", 10, false}}).size(), 1u);
    EXPECT_TRUE(watch.Update({}).empty());
    EXPECT_EQ(watch.Update({{"mouse", 10, false}}).size(), 1u);
    // Thresholds are kept in order and range.
    watch.SetThresholds(120, 150);
    EXPECT_EQ(watch.Low(), 100);
    EXPECT_EQ(watch.Critical(), 100);
    watch.SetThresholds(20, -4);
    EXPECT_EQ(watch.Critical(), 0);
}

// A notification server as desktops run one: it records each Notify call and answers an id.
class NotificationServer : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Notifications")
public:
    struct Received {
        QString app, icon, summary, body;
        uint replaces = 0;
        int urgency = -1;
        uint id = 0;
    };
    explicit NotificationServer(QDBusConnection bus) : m_bus(bus)
    {
        m_ok = m_bus.registerObject("/org/freedesktop/Notifications", this, QDBusConnection::ExportAllSlots) &&
               m_bus.registerService("org.freedesktop.Notifications");
    }
    ~NotificationServer() override { m_bus.unregisterService("org.freedesktop.Notifications"); }
    bool ok() const { return m_ok; }
    std::vector<Received> received;

public slots:
    uint Notify(const QString& app, uint replaces, const QString& icon, const QString& summary, const QString& body,
                const QStringList&, const QVariantMap& hints, int)
    {
        const uint id = replaces ? replaces : ++m_next;
        received.push_back({app, icon, summary, body, replaces, hints.value("urgency").toInt(), id});
        return id;
    }
    QStringList GetCapabilities() { return {"body"}; }

private:
    QDBusConnection m_bus;
    uint m_next = 0;
    bool m_ok = false;
};

class BatteryNoticeTest : public testsupport::WindowOnSimulatorTest<testsupport::SimulatorProcess> {
protected:
    void SetUp() override
    {
        if (!QDBusConnection::sessionBus().isConnected())
            GTEST_SKIP() << "no session bus (the suite runs under dbus-run-session)";
        WindowOnSimulatorTest::SetUp();
    }
    bool waitFor(const std::function<bool()>& c) { return QTest::qWaitFor(c, 20000); }
    bool setBattery(int level, int charging)
    {
        return sim->Run({"status", "mouse", "battery", QString::number(level), "charging", QString::number(charging)});
    }
};

TEST_F(BatteryNoticeTest, TheWirelessMouseRunningLowIsToldOnceThenCriticalReplacingIt)
{
    QDBusConnection serverBus = QDBusConnection::connectToBus(QDBusConnection::SessionBus, "battery-notification-server");
    NotificationServer server(serverBus);
    ASSERT_TRUE(server.ok()) << "could not own org.freedesktop.Notifications on the session bus";

    ASSERT_TRUE(sim->Run({"plug", "mouse", "--route", "receiver"}));
    ASSERT_TRUE(setBattery(60, 2));
    ASSERT_TRUE(waitFor([&] {
        const auto devices = window->ListConnectedDevices();
        return !devices.empty() && devices.front().battery == 60;
    }));
    // The tray's tool tip lists the mouse with its level.
    ASSERT_NE(window->Tray(), nullptr);
    EXPECT_TRUE(window->Tray()->Tip().contains("60%")) << window->Tray()->Tip().toStdString();
    EXPECT_TRUE(server.received.empty());

    ASSERT_TRUE(setBattery(14, 2));
    ASSERT_TRUE(waitFor([&] { return server.received.size() == 1; }));
    const NotificationServer::Received low = server.received[0];
    EXPECT_EQ(low.app, "Tessel");
    EXPECT_EQ(low.urgency, 1);
    EXPECT_EQ(low.replaces, 0u);
    EXPECT_TRUE(low.body.contains("14%")) << low.body.toStdString();
    EXPECT_TRUE(low.icon.endsWith("images/device/mouse.svg")) << low.icon.toStdString();
    EXPECT_TRUE(QFileInfo::exists(low.icon));

    // Read again at the same level: nothing more. Critical: one notice, replacing the first.
    ASSERT_TRUE(setBattery(13, 2));
    ASSERT_TRUE(waitFor([&] { return window->Tray()->Tip().contains("13%"); }));
    EXPECT_EQ(server.received.size(), 1u);
    ASSERT_TRUE(setBattery(4, 2));
    ASSERT_TRUE(waitFor([&] { return server.received.size() == 2; }));
    EXPECT_EQ(server.received[1].urgency, 2);
    EXPECT_EQ(server.received[1].replaces, low.id);

    // Charging: the tip says so, and nothing is told.
    ASSERT_TRUE(setBattery(3, 1));
    ASSERT_TRUE(waitFor([&] { return window->Tray()->Tip().contains("3%"); }));
    EXPECT_TRUE(window->Tray()->Tip().contains("(charging)")) << window->Tray()->Tip().toStdString();
    EXPECT_EQ(server.received.size(), 2u);
}

}  // namespace

#include "BatteryNoticeTest.moc"
