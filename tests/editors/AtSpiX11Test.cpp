// Tessel as a screen reader meets it: the program itself on the X server, four simulated devices,
// a session bus of its own with the accessibility bus (at-spi2-core) started on it, and a client
// in another process (atspi_walk.py, with python3-pyatspi) that chooses every device and feature
// tab through their accessible actions and fails on an unnamed control, an action that does
// nothing or a tab that does not switch.
#include "tests/support/SimulatorProcess.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QProcessEnvironment>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <iostream>

// Why the X server the tests need is not there (empty when it runs); set by main.
extern std::string g_noXServer;

namespace {

constexpr int kWaitMs = 20000;
// The walk through every page takes about a minute and a half on an idle machine.
constexpr int kWalkMs = 600000;

// A python with the AT-SPI bindings: the system's own first (a python on PATH from elsewhere
// does not see Debian's packages).
QString pythonWithAtSpi()
{
    for (const QString& python : {QStringLiteral("/usr/bin/python3"), QStandardPaths::findExecutable("python3")}) {
        if (python.isEmpty() || !QFile::exists(python))
            continue;
        QProcess probe;
        probe.start(python, {"-c", "import pyatspi"});
        if (probe.waitForFinished(kWaitMs) && probe.exitStatus() == QProcess::NormalExit && probe.exitCode() == 0)
            return python;
    }
    return {};
}

void stop(QProcess& p)
{
    if (p.state() == QProcess::NotRunning)
        return;
    p.terminate();
    if (!p.waitForFinished(10000)) {
        p.kill();
        p.waitForFinished(5000);
    }
}

class AtSpiX11 : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (!g_noXServer.empty())
            GTEST_SKIP() << g_noXServer;
        python = pythonWithAtSpi();
        if (python.isEmpty())
            GTEST_SKIP() << "python3-pyatspi is not installed";
        if (QStandardPaths::findExecutable("dbus-daemon").isEmpty() ||
            QStandardPaths::locate(QStandardPaths::GenericDataLocation, "dbus-1/services/org.a11y.Bus.service").isEmpty())
            GTEST_SKIP() << "dbus-daemon or at-spi2-core is not installed";
        ASSERT_TRUE(home.isValid());
        const QDir dir(home.path());
        for (const char* sub : {"sim", "config/tamrel wireless", "data", "runtime", "cache"})
            ASSERT_TRUE(dir.mkpath(sub));
        ASSERT_TRUE(QFile::setPermissions(dir.filePath("runtime"), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
        QFile settings(dir.filePath("config/tamrel wireless/settings.ini"));
        ASSERT_TRUE(settings.open(QIODevice::WriteOnly));
        settings.write("[General]\nLANGUAGE=1033\n");
        settings.close();

        env = QProcessEnvironment::systemEnvironment();
        env.insert("XDG_CONFIG_HOME", dir.filePath("config"));
        env.insert("XDG_DATA_HOME", dir.filePath("data"));
        env.insert("XDG_CACHE_HOME", dir.filePath("cache"));
        // The accessibility bus puts its socket here: a run of its own never meets another's.
        env.insert("XDG_RUNTIME_DIR", dir.filePath("runtime"));
        env.insert("TESSEL_SIM_DIR", dir.filePath("sim"));
        env.insert("QT_QPA_PLATFORM", "xcb");
        env.insert("QT_LINUX_ACCESSIBILITY_ALWAYS_ON", "1");
        env.remove("TESSEL_SCREENSHOT");
        env.remove("TESSEL_DATA_DIR");
        env.remove("QT_ACCESSIBILITY");

        // A session bus of our own, so nothing of the desktop's and no other run is on it.
        bus.setProcessEnvironment(env);
        bus.start("dbus-daemon", {"--session", "--nofork", "--print-address=1"});
        ASSERT_TRUE(bus.waitForStarted(kWaitMs));
        QByteArray address;
        while (!address.contains('\n') && bus.waitForReadyRead(kWaitMs))
            address += bus.readAllStandardOutput();
        address = address.trimmed();
        ASSERT_FALSE(address.isEmpty());
        env.insert("DBUS_SESSION_BUS_ADDRESS", QString::fromUtf8(address));

        // The accessibility bus is started on request; Qt joins it when it is there at start-up.
        {
            QDBusConnection session = QDBusConnection::connectToBus(QString::fromUtf8(address), "atspi-test");
            ASSERT_TRUE(session.isConnected());
            const QDBusMessage reply = session.call(
                QDBusMessage::createMethodCall("org.a11y.Bus", "/org/a11y/bus", "org.a11y.Bus", "GetAddress"),
                QDBus::Block, kWaitMs);
            ASSERT_EQ(reply.type(), QDBusMessage::ReplyMessage) << reply.errorMessage().toStdString();
        }
        QDBusConnection::disconnectFromBus("atspi-test");

        sim = std::make_unique<testsupport::SimulatorProcess>(dir.filePath("sim"));
        ASSERT_TRUE(sim->ready());
    }
    void TearDown() override
    {
        stop(tessel);
        sim.reset();
        stop(bus);
    }

    QString python;
    QTemporaryDir home;
    QProcessEnvironment env;
    QProcess bus;
    QProcess tessel;
    std::unique_ptr<testsupport::SimulatorProcess> sim;
};

}  // namespace

// Every device page and feature tab with the keyboard, the mouse (through its receiver), the pad
// and the headset, in English.
TEST_F(AtSpiX11, EveryPageIsUsableThroughTheAccessibilityBus)
{
    for (const QStringList& plug : {QStringList{"plug", "keyboard", "--route", "cable"},
                                    QStringList{"plug", "mouse", "--route", "receiver"},
                                    QStringList{"plug", "pad"}, QStringList{"plug", "headset"}})
        ASSERT_TRUE(sim->Run(plug)) << plug.join(' ').toStdString();
    tessel.setProcessEnvironment(env);
    tessel.setProcessChannelMode(QProcess::ForwardedChannels);
    tessel.start(TESSEL_EXECUTABLE, {});
    ASSERT_TRUE(tessel.waitForStarted(kWaitMs));

    QProcess walk;
    walk.setProcessEnvironment(env);
    walk.setProcessChannelMode(QProcess::MergedChannels);
    walk.start(python, {TESSEL_ATSPI_WALK, QString::number(tessel.processId()), "4", "60"});
    ASSERT_TRUE(walk.waitForStarted(kWaitMs));
    const bool finished = walk.waitForFinished(kWalkMs);
    const QString out = QString::fromUtf8(walk.readAll());
    std::cout << out.toStdString();
    if (!finished)
        stop(walk);
    ASSERT_TRUE(finished) << "the walk did not end";
    EXPECT_EQ(tessel.state(), QProcess::Running) << "Tessel ended during the walk";
    EXPECT_EQ(walk.exitCode(), 0) << out.toStdString();
    // It walked every device's pages, not an empty window.
    EXPECT_GE(out.count(QLatin1String("\nwalked ")), 12) << out.toStdString();
}
