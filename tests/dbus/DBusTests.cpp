#include "app/Application.h"
#include "app/CMainWnd.h"
#include "app/DBusInterface.h"
#include "app/RegisteredMessages.h"
#include "app/WorkToolAnswer.h"
#include "devices/CVantikHS6533Device.h"
#include "devices/CVantikMouseDevice.h"
#include "editors/CDeviceProfileUI.h"
#include "profiles/CJsonFile.h"
#include "profiles/ProfileList.h"
#include "tests/support/SimulatorProcess.h"
#include "tests/support/WindowOnSimulator.h"
#include "ui/CDeviceOptionUI.h"
#include "ui/PaintManager.h"

#include <QAbstractButton>
#include <QAbstractSlider>
#include <QComboBox>
#include <QLineEdit>

#include <algorithm>
#include <QDBusConnection>
#include <QDir>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLoggingCategory>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>

#include <array>
#include <memory>
#include <vector>

// Tessel's D-Bus interface, reached with programs nobody here wrote (gdbus, dbus-send,
// dbus-monitor) and with tesselctl. Every test runs its own bus daemon, so tests running side
// by side, or a Tessel on the desktop's session bus, never answer in its place.
namespace {

constexpr int kGenerousMs = 30000;  // only guards against a hang

// A private session bus for one test.
class PrivateBus {
public:
    PrivateBus()
    {
        m_daemon.start("dbus-daemon", {"--session", "--nofork", "--nopidfile", "--print-address"});
        if (!m_daemon.waitForStarted(kGenerousMs))
            return;
        if (!QTest::qWaitFor([&] { return m_daemon.canReadLine(); }, kGenerousMs))
            return;
        m_address = QString::fromUtf8(m_daemon.readLine()).trimmed();
    }
    ~PrivateBus()
    {
        m_daemon.terminate();
        if (!m_daemon.waitForFinished(kGenerousMs))
            m_daemon.kill();
    }
    const QString& address() const { return m_address; }
    QProcessEnvironment environment() const
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("DBUS_SESSION_BUS_ADDRESS", m_address);
        return env;
    }

private:
    QProcess m_daemon;
    QString m_address;
};

struct Ran {
    int exitCode = -1;
    QString out;
    QString err;
    QString all() const { return "exit " + QString::number(exitCode) + "\nstdout: " + out + "\nstderr: " + err; }
};

// Runs a program to its end while this process's event loop keeps turning (an in-process
// service must answer the program's calls).
Ran run(const QString& program, const QStringList& args, const QProcessEnvironment& env)
{
    QProcess p;
    p.setProcessEnvironment(env);
    p.start(program, args);
    Ran r;
    if (!p.waitForStarted(kGenerousMs)) {
        r.err = program + " did not start";
        return r;
    }
    const bool ended = QTest::qWaitFor([&] { return p.state() == QProcess::NotRunning; }, kGenerousMs);
    if (!ended) {
        p.kill();
        p.waitForFinished();
    }
    r.exitCode = ended && p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    r.out = QString::fromUtf8(p.readAllStandardOutput());
    r.err = QString::fromUtf8(p.readAllStandardError());
    return r;
}

Ran tesselctl(const QStringList& args, const QProcessEnvironment& env)
{
    return run(TESSELCTL_EXECUTABLE, args, env);
}

QStringList gdbusCall(const QString& method, const QStringList& args = {})
{
    return QStringList{"call", "--session", "--dest", "org.tessel.Tessel", "--object-path",
                       "/org/tessel/Tessel", "--method", "org.tessel.Tessel1." + method} +
           args;
}

QStringList dbusSend(const QString& method, const QStringList& args = {})
{
    return QStringList{"--session", "--print-reply", "--dest=org.tessel.Tessel", "/org/tessel/Tessel",
                       "org.tessel.Tessel1." + method} +
           args;
}

// The real application on a private bus, with its debug traces collected.
class TesselProcess : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_FALSE(bus.address().isEmpty()) << "dbus-daemon gave no address";
        ASSERT_TRUE(home.isValid());
        ASSERT_TRUE(QDir(home.path()).mkpath("runtime"));
        QFile::setPermissions(home.filePath("runtime"), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        env = bus.environment();
        env.insert("QT_QPA_PLATFORM", "offscreen");
        env.insert("TESSEL_DEBUG", "1");
        env.insert("XDG_CONFIG_HOME", home.filePath("config"));
        env.insert("XDG_DATA_HOME", home.filePath("data"));
        env.insert("XDG_RUNTIME_DIR", home.filePath("runtime"));
        env.remove("TESSEL_DATA_DIR");  // the build's data folder beside the executable
        env.remove("TESSEL_SCREENSHOT");
        if (!env.contains("TSAN_OPTIONS"))
            env.insert("TSAN_OPTIONS", "suppressions=" TESSEL_TSAN_SUPPRESSIONS);
    }
    void TearDown() override
    {
        if (tessel.state() != QProcess::NotRunning) {
            tessel.terminate();
            if (!tessel.waitForFinished(kGenerousMs))
                tessel.kill();
            EXPECT_EQ(tessel.exitCode(), 0) << traces().toStdString();
        }
    }

    void startTessel()
    {
        tessel.setProcessEnvironment(env);
        tessel.setProcessChannelMode(QProcess::MergedChannels);
        tessel.start(TESSEL_EXECUTABLE, {});
        ASSERT_TRUE(tessel.waitForStarted(kGenerousMs));
        ASSERT_TRUE(waitForTrace("D-Bus interface ready")) << traces().toStdString();
    }
    QString traces()
    {
        m_output += QString::fromUtf8(tessel.readAll());
        return m_output;
    }
    bool waitForTrace(const QString& text)
    {
        return QTest::qWaitFor([&] { return traces().contains(text); }, kGenerousMs);
    }

    PrivateBus bus;
    QTemporaryDir home;
    QProcessEnvironment env;
    QProcess tessel;

private:
    QString m_output;
};

// dbus-monitor watching Tessel's signals; ready once it has seen a probe signal of our own.
class SignalMonitor {
public:
    explicit SignalMonitor(const QProcessEnvironment& env) : m_env(env)
    {
        m_monitor.setProcessEnvironment(env);
        m_monitor.start("dbus-monitor", {"--session", "type='signal',interface='org.tessel.Tessel1'"});
    }
    ~SignalMonitor()
    {
        m_monitor.kill();
        m_monitor.waitForFinished();
    }
    bool waitUntilListening()
    {
        if (!m_monitor.waitForStarted(kGenerousMs))
            return false;
        for (int attempt = 0; attempt < 60; ++attempt) {
            run("dbus-send", {"--session", "--type=signal", "/probe", "org.tessel.Tessel1.Probe"}, m_env);
            if (QTest::qWaitFor([&] { return text().contains("member=Probe"); }, 500))
                return true;
        }
        return false;
    }
    // The values of the LightingControl signals seen so far, in order.
    std::vector<bool> lightingControl()
    {
        std::vector<bool> values;
        const QStringList lines = text().split('\n');
        // A signal counts once its argument line is complete.
        for (qsizetype i = 0; i + 2 < lines.size(); ++i) {
            if (lines[i].contains("member=LightingControl"))
                values.push_back(lines[i + 1].trimmed() == "boolean true");
        }
        return values;
    }
    bool waitForLightingControl(const std::vector<bool>& expected)
    {
        return QTest::qWaitFor([&] { return lightingControl().size() >= expected.size(); }, kGenerousMs) &&
               lightingControl() == expected;
    }
    QString text()
    {
        m_text += QString::fromUtf8(m_monitor.readAllStandardOutput());
        return m_text;
    }

private:
    QProcessEnvironment m_env;
    QProcess m_monitor;
    QString m_text;
};

TEST_F(TesselProcess, LightingRequestsFlipTheSwitchAndEveryChangeIsASignal)
{
    SignalMonitor monitor(env);
    ASSERT_TRUE(monitor.waitUntilListening()) << monitor.text().toStdString();
    startTessel();
    ASSERT_TRUE(monitor.waitForLightingControl({true})) << "taken at start-up\n" << monitor.text().toStdString();

    Ran r = run("gdbus", gdbusCall("SetLightingControl", {"false"}), env);
    ASSERT_EQ(r.exitCode, 0) << r.all().toStdString();
    ASSERT_TRUE(monitor.waitForLightingControl({true, false})) << monitor.text().toStdString();

    r = run("dbus-send", dbusSend("SetLightingControl", {"boolean:true"}), env);
    ASSERT_EQ(r.exitCode, 0) << r.all().toStdString();
    ASSERT_TRUE(monitor.waitForLightingControl({true, false, true})) << monitor.text().toStdString();

    r = tesselctl({"lighting", "release"}, env);
    ASSERT_EQ(r.exitCode, 0) << r.all().toStdString();
    EXPECT_TRUE(r.out.isEmpty() && r.err.isEmpty()) << r.all().toStdString();
    EXPECT_TRUE(monitor.waitForLightingControl({true, false, true, false})) << monitor.text().toStdString();
}

TEST_F(TesselProcess, GameEventsReachTheGameHookByTheirMessageNames)
{
    startTessel();
    struct Case {
        const char* program;
        QStringList args;
        const char* message;
    };
    const Case cases[] = {
        {"gdbus", gdbusCall("GameEvent", {"Game_Start"}), "Game_Start"},
        {"dbus-send", dbusSend("GameEvent", {"string:Game_End"}), "Game_End"},
        {TESSELCTL_EXECUTABLE, {"game", "kill"}, "Game_Kill"},
        {TESSELCTL_EXECUTABLE, {"game", "die"}, "Game_Death"},
        {TESSELCTL_EXECUTABLE, {"game", "Game_Start"}, "Game_Start"},
        {TESSELCTL_EXECUTABLE, {"game", "end", "2", "7"}, "Game_End"},
    };
    for (const Case& c : cases) {
        const qsizetype before = traces().count(QStringLiteral("game event %1").arg(c.message));
        const Ran r = run(c.program, c.args, env);
        EXPECT_EQ(r.exitCode, 0) << c.program << " " << c.message << "\n" << r.all().toStdString();
        EXPECT_TRUE(QTest::qWaitFor([&] {
            return traces().count(QStringLiteral("game event %1").arg(c.message)) == before + 1;
        }, kGenerousMs)) << c.program << " " << c.message << "\n" << traces().toStdString();
    }

    // A misspelt name is refused by name, and reaches nothing.
    const Ran wrong = run("gdbus", gdbusCall("GameEvent", {"Game_Begin"}), env);
    EXPECT_NE(wrong.exitCode, 0);
    EXPECT_TRUE(wrong.err.contains("org.tessel.Tessel1.Error.UnknownGameEvent")) << wrong.all().toStdString();
    EXPECT_FALSE(traces().contains("Game_Begin"));

    // Values a game cannot mean are refused with a clear error and reach nothing.
    const qsizetype starts = traces().count(QStringLiteral("game event Game_Start"));
    for (const QStringList& values : {QStringList{"7", "1"}, QStringList{"0", "999"}, QStringList{"0", "-3"},
                                      QStringList{"0", "4294967296"}, QStringList{"-1", "0"}}) {
        // "--" lets gdbus take the negative values as arguments, not options.
        const Ran r = run("gdbus", gdbusCall("GameEventWithMode", {"--", "Game_Start", values[0], values[1]}), env);
        EXPECT_NE(r.exitCode, 0) << values.join(' ').toStdString();
        EXPECT_TRUE(r.err.contains("org.freedesktop.DBus.Error.InvalidArgs")) << r.all().toStdString();
    }
    EXPECT_EQ(traces().count(QStringLiteral("game event Game_Start")), starts);
}

TEST_F(TesselProcess, TesselctlListsShowsAndQueriesTheRunningTessel)
{
    startTessel();

    Ran r = tesselctl({"devices", "--json"}, env);
    ASSERT_EQ(r.exitCode, 0) << r.all().toStdString();
    QJsonParseError error;
    const QJsonDocument json = QJsonDocument::fromJson(r.out.toUtf8(), &error);
    EXPECT_EQ(error.error, QJsonParseError::NoError) << r.out.toStdString();
    EXPECT_TRUE(json.isArray() && json.array().isEmpty()) << r.out.toStdString();

    r = tesselctl({"devices"}, env);
    EXPECT_EQ(r.exitCode, 0) << r.all().toStdString();
    EXPECT_EQ(r.out, "No devices connected.\n");

    // The production tool's answer: version 2.3.0.2 and the four device rows.
    r = tesselctl({"work-tool"}, env);
    ASSERT_EQ(r.exitCode, 0) << r.all().toStdString();
    EXPECT_TRUE(r.out.startsWith("Version: 2.3.0.2\nDevices: 4\n")) << r.out.toStdString();
    for (const char* row : {"3a17    221c     2 (mouse)", "3a17    5055     1 (keyboard)",
                            "3a17    1004     3 (mouse pad)", "0c76    1630     7 (headset)"})
        EXPECT_TRUE(r.out.contains(row)) << row << "\n" << r.out.toStdString();
    r = tesselctl({"work-tool", "--raw"}, env);
    ASSERT_EQ(r.exitCode, 0) << r.all().toStdString();
    EXPECT_EQ(r.out.count('\n'), 64) << "1024 bytes, 16 a line";
    EXPECT_TRUE(r.out.startsWith("0000: 02 00 00 00 03 00 00 00 00 00 00 00 02 00 00 00\n"
                                 "0010: 04 00 00 00 17 3a 00 00 1c 22 00 00 02 00 00 00\n"))
        << r.out.toStdString();
    // The same bytes as gdbus prints them.
    r = run("gdbus", gdbusCall("QueryWorkTool"), env);
    ASSERT_EQ(r.exitCode, 0) << r.all().toStdString();
    EXPECT_TRUE(r.out.startsWith("([byte 0x02, 0x00, 0x00, 0x00, 0x03,")) << r.out.toStdString();
    EXPECT_EQ(r.out.count("0x"), 1024);

    // The updater's progress is accepted as it is.
    r = run("dbus-send", dbusSend("RelayUpdate", {"int64:1", "int64:50"}), env);
    EXPECT_EQ(r.exitCode, 0) << r.all().toStdString();

    // "show" is the instance message of a second start (lParam 1); the first scan's own has 0.
    ASSERT_FALSE(traces().contains(QStringLiteral("，0d1d")));
    r = tesselctl({"show"}, env);
    EXPECT_EQ(r.exitCode, 0) << r.all().toStdString();
    EXPECT_TRUE(waitForTrace(QStringLiteral("，0d1d"))) << traces().toStdString();
}

// The simulator process serves four devices; tesselctl lists them as Tessel found them.
TEST_F(TesselProcess, TesselctlListsTheFourSimulatedDevices)
{
    const QString simDir = home.filePath("sim");
    ASSERT_TRUE(QDir().mkpath(simDir));
    QProcess sim;
    sim.start(TESSEL_DEVSIM, {"serve", "--dir", simDir});
    ASSERT_TRUE(sim.waitForStarted(kGenerousMs));
    ASSERT_TRUE(QTest::qWaitFor([&] { return QFileInfo::exists(simDir + "/control"); }, kGenerousMs));
    for (const QStringList& plug : {QStringList{"keyboard", "--route", "cable"}, QStringList{"mouse", "--route", "receiver"},
                                    QStringList{"pad"}, QStringList{"headset"}})
        ASSERT_EQ(run(TESSEL_DEVSIM, QStringList{"--dir", simDir, "plug"} + plug, env).exitCode, 0);
    env.insert("TESSEL_SIM_DIR", simDir);
    startTessel();

    QJsonArray devices;
    EXPECT_TRUE(QTest::qWaitFor([&] {
        const Ran r = tesselctl({"devices", "--json"}, env);
        devices = QJsonDocument::fromJson(r.out.toUtf8()).array();
        // The firmware version comes with each device's first read, a moment after its tab.
        return devices.size() == 4 && std::all_of(devices.begin(), devices.end(), [](const QJsonValue& d) {
            return !d.toObject().value("firmware").toString().isEmpty();
        });
    }, kGenerousMs)) << QJsonDocument(devices).toJson().toStdString();
    QStringList seen;
    for (const QJsonValue& d : devices) {
        const QJsonObject o = d.toObject();
        seen << o.value("kind").toString() + "/" + o.value("route").toString() + "/" +
                    QString::number(o.value("product_id").toInt(), 16);
        EXPECT_FALSE(o.value("firmware").toString().isEmpty()) << o.value("kind").toString().toStdString();
    }
    seen.sort();
    EXPECT_EQ(seen, QStringList({"headset/cable/1630", "keyboard/cable/5055", "mouse/receiver/221d",
                                 "mousepad/cable/1004"}));
    run(TESSEL_DEVSIM, {"--dir", simDir, "shutdown"}, env);
    sim.waitForFinished(kGenerousMs);
}

TEST(Tesselctl, SaysSoWhenTesselIsNotRunningAndRejectsBadUsage)
{
    PrivateBus bus;
    ASSERT_FALSE(bus.address().isEmpty());
    QProcessEnvironment noBus = QProcessEnvironment::systemEnvironment();
    noBus.insert("DBUS_SESSION_BUS_ADDRESS", "unix:path=/nonexistent/tessel-test-bus");
    for (const QProcessEnvironment& env : {bus.environment(), noBus}) {
        for (const QStringList& args : {QStringList{"devices", "--json"}, QStringList{"game", "start"},
                                        QStringList{"lighting", "take"}, QStringList{"work-tool"},
                                        QStringList{"show"}, QStringList{"dpi"}, QStringList{"profile", "list"},
                                        QStringList{"key", "set", "Esc", "Mute"}, QStringList{"eq", "mic", "5"}}) {
            const Ran r = tesselctl(args, env);
            EXPECT_EQ(r.exitCode, 3) << args.join(' ').toStdString() << "\n" << r.all().toStdString();
            EXPECT_TRUE(r.err.startsWith("tesselctl: Tessel is not running")) << r.all().toStdString();
            EXPECT_TRUE(r.out.isEmpty()) << r.all().toStdString();
        }
    }

    // Bad usage is told apart from a missing Tessel, with or without a session bus.
    for (const QProcessEnvironment& env : {bus.environment(), noBus}) {
        for (const QStringList& args :
             {QStringList{}, QStringList{"frobnicate"}, QStringList{"game"}, QStringList{"game", "jump"},
              QStringList{"game", "start", "end"}, QStringList{"game", "start", "3", "1"},
              QStringList{"game", "start", "0", "x"}, QStringList{"game", "start", "0"}, QStringList{"lighting"},
              QStringList{"lighting", "on"}, QStringList{"devices", "--xml"}, QStringList{"devices", "--bogus"},
              QStringList{"work-tool", "--hex"}, QStringList{"show", "now"}, QStringList{"dpi", "set", "3"},
              QStringList{"dpi", "set", "x", "800"}, QStringList{"dpi", "--device"}, QStringList{"profile"},
              QStringList{"profile", "switch"}, QStringList{"lighting", "set", "--brightness"},
              QStringList{"lighting", "set", "--glow", "1"}, QStringList{"polling-rate", "fast"},
              QStringList{"key", "set", "Esc"}, QStringList{"eq", "preset"}, QStringList{"watch", "now"}}) {
            const Ran r = tesselctl(args, env);
            EXPECT_EQ(r.exitCode, 2) << args.join(' ').toStdString() << "\n" << r.all().toStdString();
            EXPECT_TRUE(r.err.contains("Try 'tesselctl --help'")) << r.all().toStdString();
        }
    }

    Ran r = tesselctl({"--help"}, bus.environment());
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_TRUE(r.out.startsWith("Usage: tesselctl")) << r.all().toStdString();
    r = tesselctl({"--version"}, bus.environment());
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.out, "tesselctl " TESSEL_VERSION "\n");
}

// The interface in this process, in front of a recording stand-in for the main window.
class InterfaceInProcess : public ::testing::Test {
protected:
    struct Sent {
        QString message;
        intptr_t wParam;
        intptr_t lParam;
        bool operator==(const Sent&) const = default;
    };

    void SetUp() override
    {
        ASSERT_FALSE(bus.address().isEmpty());
        connection = std::make_unique<QDBusConnection>(
            QDBusConnection::connectToBus(bus.address(), QStringLiteral("tessel-test")));
        ASSERT_TRUE(connection->isConnected());
        iface = std::make_unique<app::DBusInterface>(
            [this](uint32_t m, intptr_t w, intptr_t l) {
                sent.push_back({app::RegisteredMessages::Name(m), w, l});
                return intptr_t(0);
            },
            [this] { return devices; });
        ASSERT_TRUE(iface->Register(*connection));
    }
    void TearDown() override
    {
        iface.reset();
        connection.reset();
        QDBusConnection::disconnectFromBus(QStringLiteral("tessel-test"));
    }

    PrivateBus bus;
    std::unique_ptr<QDBusConnection> connection;
    std::unique_ptr<app::DBusInterface> iface;
    std::vector<Sent> sent;
    app::ConnectedDevices devices;
};

TEST_F(InterfaceInProcess, EachCallBecomesItsRegisteredMessage)
{
    struct Case {
        QStringList gdbus;
        Sent expected;
    };
    const Case cases[] = {
        {gdbusCall("Show"), {app::msg::kInstance, 0, 1}},
        {gdbusCall("SetLightingControl", {"true"}), {app::msg::kLightControlRequest, 1, 1}},
        {gdbusCall("SetLightingControl", {"false"}), {app::msg::kLightControlRequest, 1, 0}},
        {gdbusCall("RelayUpdate", {"7", "--", "-3000000000"}), {app::msg::kUpdateRelay, 7, -3000000000}},
        {gdbusCall("GameEvent", {"Game_Death"}), {"Game_Death", 0, 0}},
        {gdbusCall("GameEventWithMode", {"Game_Start", "1", "23"}), {"Game_Start", 1, 23}},
    };
    for (const Case& c : cases) {
        sent.clear();
        const Ran r = run("gdbus", c.gdbus, bus.environment());
        EXPECT_EQ(r.exitCode, 0) << c.gdbus.join(' ').toStdString() << "\n" << r.all().toStdString();
        ASSERT_EQ(sent.size(), 1u) << c.gdbus.join(' ').toStdString();
        EXPECT_EQ(sent[0], c.expected) << c.gdbus.join(' ').toStdString() << " -> "
                                       << sent[0].message.toStdString() << " " << sent[0].wParam << " "
                                       << sent[0].lParam;
    }

    // A window that gives no answer to the work tool query is an error, not 1024 zero bytes.
    sent.clear();
    const Ran r = run("gdbus", gdbusCall("QueryWorkTool"), bus.environment());
    EXPECT_NE(r.exitCode, 0) << r.all().toStdString();
    EXPECT_TRUE(r.err.contains("org.tessel.Tessel1.Error.Failed")) << r.all().toStdString();
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_EQ(sent[0].message, app::msg::kWorkToolQuery);
    // An answer nobody waits for goes nowhere: the next query still has none.
    iface->AnswerWorkTool(app::BuildWorkToolAnswer());
    EXPECT_TRUE(iface->QueryWorkTool().isEmpty());
}

TEST_F(InterfaceInProcess, DeviceListReadsWellInGdbusAndTesselctl)
{
    using D = app::ConnectedDevice;
    devices = {
        {D::Kind::Keyboard, "K1 Pro", 0x3A17, 0x5088, D::Route::Receiver, "V0102", 85, true},
        {D::Kind::Headset, "H7", 0x0C76, 0x1630, D::Route::Cable, "", -1, false},
    };

    Ran r = run("gdbus", gdbusCall("ListDevices"), bus.environment());
    ASSERT_EQ(r.exitCode, 0) << r.all().toStdString();
    for (const char* part : {"'kind': <'keyboard'>", "'vendor_id': <uint16 14871>", "'product_id': <uint16 20616>",
                             "'route': <'receiver'>", "'battery': <85>", "'charging': <true>",
                             "'name': <'H7'>", "'battery': <-1>", "'firmware': <''>",
                             "'id': <'headset:0c76:1630:cable'>"})
        EXPECT_TRUE(r.out.contains(part)) << part << "\n" << r.out.toStdString();

    r = tesselctl({"devices", "--json"}, bus.environment());
    ASSERT_EQ(r.exitCode, 0) << r.all().toStdString();
    const QJsonArray array = QJsonDocument::fromJson(r.out.toUtf8()).array();
    ASSERT_EQ(array.size(), 2) << r.out.toStdString();
    EXPECT_EQ(array[0].toObject(), (QJsonObject{{"kind", "keyboard"}, {"name", "K1 Pro"}, {"vendor_id", 0x3A17},
                                                {"product_id", 0x5088}, {"route", "receiver"},
                                                {"firmware", "V0102"}, {"battery", 85}, {"charging", true},
                                                {"id", "keyboard:3a17:5088:receiver"}}));
    EXPECT_EQ(array[1].toObject().value("battery"), -1);
    EXPECT_EQ(array[1].toObject().value("kind"), "headset");

    r = tesselctl({"devices"}, bus.environment());
    ASSERT_EQ(r.exitCode, 0) << r.all().toStdString();
    const QStringList lines = r.out.split('\n', Qt::SkipEmptyParts);
    ASSERT_EQ(lines.size(), 3) << r.out.toStdString();
    EXPECT_EQ(lines[0].simplified(), "KIND NAME VENDOR PRODUCT ROUTE FIRMWARE BATTERY CHARGING ID");
    EXPECT_EQ(lines[1].simplified(), "keyboard K1 Pro 3a17 5088 receiver V0102 85% yes keyboard:3a17:5088:receiver");
    EXPECT_EQ(lines[2].simplified(), "headset H7 0c76 1630 cable - - no headset:0c76:1630:cable");
    EXPECT_EQ(lines[1].indexOf("3a17"), lines[2].indexOf("0c76")) << "columns line up\n" << r.out.toStdString();
}

// The real main window on the simulator process, with its interface also on a private bus:
// tesselctl and gdbus change the devices, and the device's memory, the page and the profile file
// must all show the change by the time the call returns.
class DevicesOverTheBus : public testsupport::WindowOnSimulatorTest<testsupport::SimulatorProcess> {
protected:
    static constexpr char kMouse[] = "mouse:3a17:221c:cable";
    static constexpr char kKeyboard[] = "keyboard:3a17:5055:cable";
    static constexpr char kPad[] = "mousepad:3a17:1004:cable";

    void SetUp() override
    {
        ASSERT_FALSE(bus.address().isEmpty());
        UseFreshFolders();
        qputenv("TESSEL_DATA_DIR", QByteArray(TESSEL_BIN_DIR));
        qputenv("TESSEL_OSCONFLIB", QByteArray(TESSEL_OSCONFLIB));
        StartSimulator();
        ASSERT_FALSE(HasFatalFailure());
        for (const QStringList& plug : {QStringList{"mouse", "--route", "cable"}, QStringList{"keyboard", "--route", "cable"},
                                        QStringList{"pad"}, QStringList{"headset"}})
            ASSERT_TRUE(sim->Run(QStringList{"plug"} + plug)) << plug.join(' ').toStdString();
        QFile settings(home.filePath("settings.ini"));
        ASSERT_TRUE(settings.open(QIODevice::WriteOnly));
        settings.write("[General]\nLANGUAGE=1033\n");
        settings.close();
        OpenWindow();
        ASSERT_FALSE(HasFatalFailure());
        ASSERT_TRUE(QTest::qWaitFor([&] {
            mouse = qobject_cast<CVantikMouseDevice*>(device("mouse"));
            headset = qobject_cast<CVantikHS6533Device*>(device("HD"));
            return mouse && headset && device("keyboard") && device("MousePad") && mouse->Sensor().step != 0 &&
                   headset->AudioAvailable() && window->ListConnectedDevices().size() == 4;
        }, kGenerousMs));
        // Settled: the pages show what the devices were read to hold, and nothing is on its way.
        ASSERT_TRUE(QTest::qWaitFor([&] {
            auto* modes = control<QComboBox>(mouse, "light_combo_modeSelect");
            return modes && modes->currentIndex() >= 0;
        }, kGenerousMs));
        for (const char* folder : {"mouse", "keyboard", "MousePad", "HD"}) {
            auto drained = std::make_shared<bool>(false);
            device(folder)->Io().AfterQueued([drained] { *drained = true; });
            ASSERT_TRUE(QTest::qWaitFor([&] { return *drained; }, kGenerousMs)) << folder;
        }
        connection = std::make_unique<QDBusConnection>(QDBusConnection::connectToBus(bus.address(), "devices-test"));
        ASSERT_TRUE(connection->isConnected());
        auto* iface = window->findChild<app::DBusInterface*>();
        ASSERT_NE(iface, nullptr);
        ASSERT_TRUE(iface->Register(*connection));
        env = bus.environment();
    }
    void TearDown() override
    {
        CloseWindow();
        connection.reset();
        QDBusConnection::disconnectFromBus("devices-test");
        WindowOnSimulatorTest::TearDown();
        qunsetenv("TESSEL_DATA_DIR");
        qunsetenv("TESSEL_OSCONFLIB");
    }

    // The connected device of data folder `folder`.
    CVantikUSBDevice* device(const QString& folder) const
    {
        for (CVantikUSBDevice* d : hub->AllDevices())
            if (d->FolderName() == folder && d->Transport().isReady() && d->Tab() && !d->Tab()->isHidden())
                return d;
        return nullptr;
    }
    QByteArray memory(const QString& simDevice, const QString& region)
    {
        const auto answer = sim->Call({"dump", simDevice, region});
        if (!answer)
            return {};
        return QByteArray::fromHex(QJsonDocument::fromJson(*answer).object().value("hex").toString().toLatin1());
    }
    template <class T>
    static T* control(QWidget* page, const QString& name)
    {
        return qobject_cast<T*>(ui::PaintManager::FindSubControlByName(page, name));
    }
    static Json::Value profileEntry(CVantikUSBDevice* d)
    {
        return CJsonFile::ReadJson(d->Profile().GetProfilePath())["Device"][Json::ArrayIndex(d->Profile().GetDeviceIndex())];
    }
    Ran ctl(const QStringList& args) { return tesselctl(args, env); }

    PrivateBus bus;
    std::unique_ptr<QDBusConnection> connection;
    QProcessEnvironment env;
    CVantikMouseDevice* mouse = nullptr;
    CVantikHS6533Device* headset = nullptr;
};

TEST_F(DevicesOverTheBus, WritesReachTheDeviceThePageAndTheProfileBeforeTheCallReturns)
{
    struct Case {
        QStringList args;
        std::function<bool()> done;  // checked at once when the call returned
    };
    const QString m = kMouse;
    const Case cases[] = {
        // Stage 3 at 3200 DPI is index 30 of the simulated sensor (200 + 30 x 100).
        {{"dpi", "set", "3", "3200", "--device", m}, [&] {
             const QByteArray s = memory("mouse", "settings");
             return s.size() > 36 && s[34] == 30 && s[36] == 30 &&
                    control<QAbstractSlider>(mouse, "DPI_slider_2")->value() == 30 &&
                    control<QLineEdit>(mouse, "DPI_edit_2")->text() == "3200" &&
                    profileEntry(mouse)["DPIStages"]["StageDPIs"][2]["StageDPIX"].asInt() == 30;
         }},
        // The only mouse needs no id.
        {{"dpi", "select", "5"}, [&] {
             return memory("mouse", "settings")[12] == 4 && control<QAbstractButton>(mouse, "DPI_select_check_4")->isChecked() &&
                    mouse->MouseProfile().GetActiveStage() == 4;
         }},
        {{"polling-rate", "250", "--device", m}, [&] {
             return memory("mouse", "settings")[11] == 1 && control<QAbstractButton>(mouse, "polling_rate_option_1")->isChecked();
         }},
        {{"lighting", "set", "--mode", "3", "--brightness", "2", "--colour", "#ffff00", "--device", m}, [&] {
             const QByteArray s = memory("mouse", "settings");
             const Json::Value light = profileEntry(mouse)["LightInfo"];
             return s[1] == 3 && s[2] == 2 && s.mid(5, 4).toHex() == "00ffff00" &&
                    control<QComboBox>(mouse, "light_combo_modeSelect")->currentIndex() == 3 &&
                    control<QAbstractSlider>(mouse, "deng_light_slider")->value() == 2 &&
                    control<QLineEdit>(mouse, "deng_edit_G")->text() == "255" && light["SelectItem"].asInt() == 3 &&
                    light["Light"].asInt() == 2 && light["Blue"].asInt() == 0;
         }},
        // The right button mutes: its slot of the mouse's key table, its label and the profile.
        {{"key", "set", "right BUTTON", "Mute", "--device", m}, [&] {
             const int slot = mouse->ButtonSlots()[1];
             const QByteArray table = memory("mouse", "keytable");
             auto* label = qobject_cast<QAbstractButton*>(mouse->KeyButton(1));
             return table.mid(slot * 3, 3).toHex() == "30e200" && label && label->text() == "Mute" &&
                    profileEntry(mouse)["KeyList"][1]["Assignment"].asUInt() == 0x30e200u;
         }},
        {{"eq", "preset", "7"}, [&] {
             return control<QAbstractButton>(headset, "6533_eq_option_7")->isChecked() &&
                    profileEntry(headset)["SystemSetStages"]["EqType"].asInt() == 7;
         }},
        {{"eq", "mic", "35", "--device", "headset:0c76:1630:cable"}, [&] {
             return control<QAbstractSlider>(headset, "6533_MicIn_slider")->value() == 35 &&
                    profileEntry(headset)["SystemSetStages"]["MicInValue"].asInt() == 35;
         }},
    };
    for (const Case& c : cases) {
        const Ran r = ctl(c.args);
        EXPECT_EQ(r.exitCode, 0) << c.args.join(' ').toStdString() << "\n" << r.all().toStdString();
        EXPECT_TRUE(c.done()) << c.args.join(' ').toStdString() << "\nmouse settings "
                              << memory("mouse", "settings").left(40).toHex().toStdString();
    }

    // The reads give what was written.
    Ran r = run("gdbus", gdbusCall("GetDpi", {m}), env);
    EXPECT_TRUE(r.out.contains("'stages': <[600, 1100, 3200,") && r.out.contains("'current': <5>") &&
                r.out.contains("'polling_rate': <250>")) << r.all().toStdString();
    r = ctl({"lighting", "show", "--device", m});
    EXPECT_TRUE(r.out.contains("Mode: 3 (Static)\nBrightness: 2\n") && r.out.contains("Colour: #ffff00")) << r.all().toStdString();
    r = ctl({"eq"});
    EXPECT_TRUE(r.out.startsWith("Equaliser preset: 7\nMicrophone: 35")) << r.all().toStdString();
}

TEST_F(DevicesOverTheBus, BadCallsFailByNameAndChangeNothing)
{
    const QByteArray before = memory("mouse", "settings");
    const int lightMode = control<QComboBox>(mouse, "light_combo_modeSelect")->currentIndex();
    const QString m = kMouse;
    struct Case {
        QStringList args;
        int exitCode;
    };
    const Case cases[] = {
        {{"dpi", "set", "1", "800", "--device", "mouse:ffff:0000:cable"}, 4},
        {{"dpi", "set", "1", "800", "--device", kKeyboard}, 8},
        {{"polling-rate", "250"}, 4},  // the mouse and the keyboard both have one
        {{"dpi", "set", "9", "800"}, 5},
        {{"dpi", "set", "1", "99999"}, 5},
        {{"dpi", "set", "1", "100"}, 5},
        {{"dpi", "select", "0"}, 5},
        {{"polling-rate", "300", "--device", m}, 5},
        {{"lighting", "set", "--brightness", "7", "--device", m}, 5},
        // One bad value refuses the whole call: the good mode before it is not taken either.
        {{"lighting", "set", "--mode", "2", "--colour", "red", "--device", m}, 5},
        {{"lighting", "set", "--mode", "Disco", "--device", m}, 5},
        {{"eq", "preset", "14"}, 5},
        {{"key", "set", "Esc", "Fly", "--device", kKeyboard}, 5},
        {{"key", "set", "Any key", "Mute", "--device", kKeyboard}, 5},
        {{"eq", "mic", "101"}, 5},
        {{"profile", "switch", "nonesuch", "--device", m}, 7},
        {{"profile", "import", "/nonexistent/profile.json", "--device", m}, 10},
    };
    for (const Case& c : cases) {
        const Ran r = ctl(c.args);
        EXPECT_EQ(r.exitCode, c.exitCode) << c.args.join(' ').toStdString() << "\n" << r.all().toStdString();
        EXPECT_FALSE(r.err.isEmpty()) << c.args.join(' ').toStdString();
    }
    // The names other programs see.
    const std::pair<QStringList, const char*> named[] = {
        {gdbusCall("SetDpiStage", {"mouse:ffff:0000:cable", "1", "800"}), "Error.NoSuchDevice"},
        {gdbusCall("SetLighting", {m, "{'glow': <1>}"}), "Error.InvalidValue"},
        {gdbusCall("SwitchProfile", {m, "nonesuch"}), "Error.NoSuchProfile"},
        {gdbusCall("GetSound", {kPad}), "Error.NotSupported"},
    };
    for (const auto& [args, error] : named) {
        const Ran r = run("gdbus", args, env);
        EXPECT_NE(r.exitCode, 0) << args.join(' ').toStdString();
        EXPECT_TRUE(r.err.contains(QLatin1String("org.tessel.Tessel1.") + error)) << r.all().toStdString();
    }
    EXPECT_EQ(memory("mouse", "settings").toHex().toStdString(), before.toHex().toStdString());
    EXPECT_EQ(control<QComboBox>(mouse, "light_combo_modeSelect")->currentIndex(), lightMode);
}

// tesselctl watch: a profile switch over the bus and one in the window, a device unplugged and
// plugged again, a battery that runs down; plus import, export and the profile list.
TEST_F(DevicesOverTheBus, ProfilesAndSignals)
{
    QProcess watch;
    watch.setProcessEnvironment(env);
    watch.start(TESSELCTL_EXECUTABLE, {"watch"});
    QString seen;
    auto waitForLine = [&](const QString& line) {
        return QTest::qWaitFor([&] {
            seen += QString::fromUtf8(watch.readAllStandardOutput());
            return seen.contains(line);
        }, kGenerousMs);
    };
    ASSERT_TRUE(waitForLine("watching\n")) << seen.toStdString();

    const QString m = kMouse;
    const QString exported = home.filePath("exported.json");
    Ran r = ctl({"profile", "export", exported, "--device", m});
    ASSERT_EQ(r.exitCode, 0) << r.all().toStdString();
    r = ctl({"profile", "import", exported, "--device", m});
    ASSERT_EQ(r.exitCode, 0) << r.all().toStdString();
    const QString imported = r.out.trimmed();
    EXPECT_EQ(imported, "exported");
    r = ctl({"profile", "list", "--device", m});
    EXPECT_EQ(r.out, "* profile1\n  exported\n") << r.all().toStdString();

    // Over the bus: the page and the list on disk follow, and the signal comes.
    r = ctl({"profile", "switch", "EXPORTED", "--device", m});
    ASSERT_EQ(r.exitCode, 0) << r.all().toStdString();
    auto* combo = control<QComboBox>(mouse, CDeviceProfileUI::kComboName);
    EXPECT_EQ(combo->currentText(), imported);
    auto* panel = mouse->findChild<CDeviceProfileUI*>();
    ASSERT_NE(panel, nullptr);
    EXPECT_FALSE(panel->SwitchInFlight()) << "the call answers once the mouse took the profile";
    EXPECT_TRUE(waitForLine("profile-changed " + m + " exported\n")) << seen.toStdString();
    // In the window (on the mouse's tab): the signal comes all the same.
    hub->TabSelected(mouse->Tab());
    combo->setCurrentIndex(0);
    EXPECT_TRUE(waitForLine("profile-changed " + m + " profile1\n")) << seen.toStdString();

    ASSERT_TRUE(sim->Run({"unplug", "pad"}));
    EXPECT_TRUE(waitForLine(QStringLiteral("device-removed %1\n").arg(kPad))) << seen.toStdString();
    ASSERT_TRUE(sim->Run({"plug", "pad"}));
    EXPECT_TRUE(waitForLine(QStringLiteral("device-added %1 ").arg(kPad))) << seen.toStdString();
    ASSERT_TRUE(sim->Run({"status", "mouse", "battery", "12"}));
    EXPECT_TRUE(waitForLine("battery-changed " + m + " 12% not-charging\n")) << seen.toStdString();
    watch.kill();
    watch.waitForFinished();
}

// The main window's side: game messages wait while the system sleeps; the work tool query
// is answered all the same.
TEST(MainWindowMessages, GameHookOnlyWhileAwakeWorkToolAnswerAlways)
{
    app::RegisteredMessages::RegisterAll();
    ASSERT_TRUE(app::SetUpSkin(TESSEL_SKIN_DIR));
    QTemporaryDir dir;
    CMainWnd window(dir.filePath("settings.ini"), QString(TESSEL_DATA_DIR) + "/Language.config");
    ASSERT_TRUE(window.Create(nullptr, "tamrel wireless"));

    static QStringList traces;
    traces.clear();
    QLoggingCategory::setFilterRules("tessel.debug.debug=true");
    const QtMessageHandler previous =
        qInstallMessageHandler([](QtMsgType, const QMessageLogContext&, const QString& text) { traces << text; });
    const uint32_t gameStart = app::RegisteredMessages::Find("Game_Start");
    const uint32_t query = app::RegisteredMessages::Find(app::msg::kWorkToolQuery);

    window.OnPrepareForSleep(true);
    bool handled = true;
    window.HandleCustomMessage(gameStart, 0, 0, handled);
    EXPECT_FALSE(handled);
    EXPECT_FALSE(traces.join('\n').contains("game event")) << traces.join('\n').toStdString();
    // The window's own interface asks, as a call from the bus would.
    auto* iface = window.findChild<app::DBusInterface*>();
    ASSERT_NE(iface, nullptr);
    const auto expected = app::BuildWorkToolAnswer();
    EXPECT_EQ(iface->QueryWorkTool(),
              QByteArray(reinterpret_cast<const char*>(expected.data()), qsizetype(expected.size())));
    window.HandleCustomMessage(query, 0, 0, handled);
    EXPECT_TRUE(handled) << "a query nobody waits for is taken and dropped";

    window.OnPrepareForSleep(false);
    window.HandleCustomMessage(gameStart, 0, 0, handled);
    EXPECT_TRUE(handled);
    EXPECT_TRUE(traces.contains("game event Game_Start")) << traces.join('\n').toStdString();

    qInstallMessageHandler(previous);
    QLoggingCategory::setFilterRules("tessel.debug.debug=false");
    window.Shutdown();
}

}  // namespace
