#include "app/CommandLine.h"

#include <QDir>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>

#if defined(TESSEL_DEVSIM) && defined(TESSEL_CTL)
#include "tests/support/SimulatorProcess.h"
#endif

// The command line: parsed in-process for the table of cases, then the real program for what
// only the process shows (no GUI, no lock, exit codes, who raises whom).
namespace {

TEST(CommandLine, OptionsAndTheirOutcomes)
{
    QTemporaryDir folder;
    ASSERT_TRUE(folder.isValid());
    using R = app::CommandLineResult;
    struct Case {
        QStringList args;
        R::Action action;
        int exitCode;
        bool minimized;
        const char* language;
        const char* outputHas;
    };
    const Case cases[] = {
        {{}, R::Run, 0, false, "", ""},
        {{"--help"}, R::ExitOk, 0, false, "", "Usage: tessel"},
        {{"-h"}, R::ExitOk, 0, false, "", "--minimized"},
        {{"--version"}, R::ExitOk, 0, false, "", "tessel " TESSEL_VERSION "\n"},
        {{"-V", "--bogus"}, R::ExitUsage, 2, false, "", "Unknown option 'bogus'"},
        {{"--minimized"}, R::Run, 0, true, "", ""},
        {{"--hidden", "--lang", "zh_CN"}, R::Run, 0, true, "zh_CN", ""},
        {{"--lang=en"}, R::Run, 0, false, "en", ""},
        {{"--lang"}, R::ExitUsage, 2, false, "", "Missing value after '--lang'"},
        {{"--bogus"}, R::ExitUsage, 2, false, "", "Usage: tessel"},
        {{"stray"}, R::ExitUsage, 2, false, "", "unexpected argument 'stray'"},
        {{"--data-dir", "/nonexistent/tessel"}, R::ExitUsage, 2, false, "", "does not exist"},
        // Qt's own options are Qt's.
        {{"-platform", "offscreen", "--minimized", "-reverse"}, R::Run, 0, true, "", ""},
        {{"--sdk-server", "--minimized"}, R::Run, 0, true, "", ""},
        {{"--sdk-server=0"}, R::Run, 0, false, "", ""},
        {{"--sdk-server=70000"}, R::ExitUsage, 2, false, "", "is not a port number"},
        {{"--help"}, R::ExitOk, 0, false, "", "--sdk-server[=port]"},
        {{"-style=Fusion", "-s"}, R::ExitUsage, 2, false, "", "Unknown option 's'"},
    };
    for (const Case& c : cases) {
        const R r = app::ParseCommandLine(QStringList{"tessel"} + c.args);
        const std::string what = c.args.join(' ').toStdString();
        EXPECT_EQ(r.action, c.action) << what;
        EXPECT_EQ(r.exitCode, c.exitCode) << what;
        EXPECT_EQ(r.options.minimized, c.minimized) << what;
        EXPECT_EQ(r.options.language, QLatin1String(c.language)) << what;
        EXPECT_TRUE(r.output.contains(QString::fromUtf8(c.outputHas))) << what << "\n" << r.output.toStdString();
    }
    const R background = app::ParseCommandLine({"tessel", "--background"});
    EXPECT_TRUE(background.options.background && !background.options.minimized);
    EXPECT_TRUE(app::ParseCommandLine({"tessel", "--help"}).output.contains("--background"));
    const R withFolder = app::ParseCommandLine({"tessel", "--data-dir", folder.path()});
    EXPECT_EQ(withFolder.action, R::Run);
    EXPECT_EQ(withFolder.options.dataDir, QFileInfo(folder.path()).absoluteFilePath());
}

TEST(CommandLine, LanguageMustBeInTheList)
{
    const QString config = TESSEL_DATA_DIR "/Language.config";
    struct Case {
        const char* code;
        bool known;
        int index;  // in the list of names "zh_CN", "en_US"
    };
    const Case cases[] = {{"zh_CN", true, 0}, {"en_US", true, 1}, {"en", true, 1}, {"en-GB", true, 1},
                          {"ZH-cn", true, 0}, {"xx", false, -1}, {"", true, -1}};
    for (const Case& c : cases) {
        app::StartOptions options;
        options.language = QString::fromLatin1(c.code);
        const app::CommandLineResult r = app::CheckLanguage(options, config);
        EXPECT_EQ(r.action == app::CommandLineResult::Run, c.known) << c.code;
        if (!c.known) {
            EXPECT_EQ(r.exitCode, 2);
            EXPECT_TRUE(r.output.contains("known: zh_CN, en_US")) << r.output.toStdString();
        }
        app::SetCurrentStartOptions(options);
        EXPECT_EQ(app::SessionLanguageIndex({"zh_CN", "en_US"}), c.index) << c.code;
    }
    app::SetCurrentStartOptions({});
}

#ifdef TESSEL_EXECUTABLE

// A home with its own runtime, config and data folders, and a data folder for --data-dir.
struct Home {
    QTemporaryDir dir;
    QString runtime, share;
    QString simDir;      // the simulator's folder, when the test runs one
    QString busAddress;  // a session bus of the test's own, when it has one

    Home()
    {
        runtime = dir.filePath("runtime");
        share = dir.filePath("share");
        QDir().mkpath(runtime);
        QFile::setPermissions(runtime, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        QDir().mkpath(share);
        QFile::link(TESSEL_SKIN_DIR, share + "/skin");
        QFile::link(TESSEL_DATA_DIR, share + "/DefaultData");
    }

    QProcessEnvironment environment(bool display = true) const
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("TESSEL_DEBUG", "1");
        env.insert("LC_ALL", "C.UTF-8");
        env.insert("XDG_CONFIG_HOME", dir.filePath("config"));
        env.insert("XDG_DATA_HOME", dir.filePath("data"));
        env.insert("XDG_RUNTIME_DIR", runtime);
        env.remove("TESSEL_DATA_DIR");
        env.remove("TESSEL_SIM_DIR");
        if (!simDir.isEmpty())
            env.insert("TESSEL_SIM_DIR", simDir);
        if (!busAddress.isEmpty())
            env.insert("DBUS_SESSION_BUS_ADDRESS", busAddress);
        env.remove("TESSEL_SCREENSHOT");
        if (display) {
            env.insert("QT_QPA_PLATFORM", "offscreen");
        } else {
            for (const char* name : {"QT_QPA_PLATFORM", "DISPLAY", "WAYLAND_DISPLAY"})
                env.remove(name);
        }
        return env;
    }
};

struct Finished {
    int exitCode = -1;
    QByteArray out, err;
};

Finished runToEnd(const Home& home, const QStringList& args, bool display = true)
{
    QProcess p;
    p.setProcessEnvironment(home.environment(display));
    p.start(TESSEL_EXECUTABLE, args);
    Finished f;
    if (!p.waitForFinished(30000)) {
        p.kill();
        p.waitForFinished();
        return f;
    }
    f.exitCode = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    f.out = p.readAllStandardOutput();
    f.err = p.readAllStandardError();
    return f;
}

// A running Tessel whose debug output is collected.
struct Running {
    QProcess process;
    QByteArray output;

    bool start(const Home& home, const QStringList& args)
    {
        process.setProcessEnvironment(home.environment());
        process.setProcessChannelMode(QProcess::MergedChannels);
        process.start(TESSEL_EXECUTABLE, args);
        return process.waitForStarted(10000);
    }
    bool waitFor(const QByteArray& text, int ms = 30000)
    {
        return QTest::qWaitFor([&] {
            output += process.readAll();
            return output.contains(text);
        }, ms);
    }
    int stop()
    {
        process.terminate();
        if (!process.waitForFinished(30000)) {
            process.kill();
            process.waitForFinished();
            return -1;
        }
        output += process.readAll();
        return process.exitCode();
    }
};

const QByteArray kRaised = QStringLiteral("，0d1d").toUtf8();  // the instance message from a start

TEST(TesselCommandLine, HelpVersionAndBadOptionsNeedNoDisplayNorLock)
{
    Home home;
    const Finished version = runToEnd(home, {"--version"}, false);
    EXPECT_EQ(version.exitCode, 0);
    EXPECT_EQ(version.out, "tessel " TESSEL_VERSION "\n");
    const Finished help = runToEnd(home, {"--help"}, false);
    EXPECT_EQ(help.exitCode, 0);
    EXPECT_TRUE(help.out.startsWith("Usage: tessel")) << help.out.toStdString();
    const Finished bad = runToEnd(home, {"--no-such-option"}, false);
    EXPECT_EQ(bad.exitCode, 2);
    EXPECT_TRUE(bad.out.isEmpty());
    EXPECT_TRUE(bad.err.contains("Unknown option 'no-such-option'") && bad.err.contains("Usage: tessel"))
        << bad.err.toStdString();
    // None of them took the instance lock or opened its socket.
    EXPECT_TRUE(QDir(home.runtime).isEmpty()) << QDir(home.runtime).entryList().join(' ').toStdString();
}

TEST(TesselCommandLine, MinimizedStartsStayInTheTrayAndDoNotRaiseTheRunningOne)
{
    Home home;
    Running first;
    ASSERT_TRUE(first.start(home, {"--minimized", "--data-dir", home.share, "--lang", "en_US"}));
    ASSERT_TRUE(first.waitFor("started in the tray")) << first.output.toStdString();
    EXPECT_TRUE(first.output.contains("language en_US for this session")) << first.output.toStdString();
    EXPECT_FALSE(first.output.contains(QStringLiteral("写成功").toUtf8())) << "a session language is not stored";

    // While it runs: --version and --help answer at once and leave it alone.
    for (const char* option : {"--version", "--help"}) {
        const Finished f = runToEnd(home, {option});
        EXPECT_EQ(f.exitCode, 0) << option;
        EXPECT_FALSE(f.out.isEmpty()) << option;
    }
    // A second start in the tray exits 0 without asking the first to show its window...
    EXPECT_EQ(runToEnd(home, {"--hidden"}).exitCode, 0);
    // ...a plain start does ask; the only raise the first sees is this one's.
    EXPECT_EQ(runToEnd(home, {}).exitCode, 0);
    ASSERT_TRUE(first.waitFor(kRaised)) << first.output.toStdString();
    EXPECT_EQ(first.output.count(kRaised), 1) << first.output.toStdString();
    EXPECT_EQ(first.stop(), 0) << first.output.toStdString();
}

#if defined(TESSEL_DEVSIM) && defined(TESSEL_CTL)

// A session bus of the test's own, so no other Tessel (another test's) answers in its place.
struct PrivateBus {
    QProcess daemon;
    QString address;

    PrivateBus()
    {
        daemon.start("dbus-daemon", {"--session", "--nofork", "--print-address=1"});
        if (!daemon.waitForStarted(10000))
            return;
        while (!daemon.canReadLine() && daemon.waitForReadyRead(10000)) {
        }
        address = QString::fromUtf8(daemon.readLine()).trimmed();
    }
    ~PrivateBus()
    {
        daemon.terminate();
        if (!daemon.waitForFinished(5000))
            daemon.kill();
    }
};

// The connected devices as the running Tessel lists them to `tesselctl devices` on the bus at
// `address`; -1 without answer.
int countDevicesOn(const QString& address)
{
    QProcess ctl;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("DBUS_SESSION_BUS_ADDRESS", address);
    ctl.setProcessEnvironment(env);
    ctl.start(TESSEL_CTL, {"devices", "--json"});
    if (!ctl.waitForFinished(10000) || ctl.exitStatus() != QProcess::NormalExit || ctl.exitCode() != 0)
        return -1;
    const QJsonDocument doc = QJsonDocument::fromJson(ctl.readAllStandardOutput());
    return doc.isArray() ? int(doc.array().size()) : -1;
}

TEST(TesselBackground, RunsTheDevicesWithoutWindowAndOpensItForALaterStart)
{
    PrivateBus privateBus;
    ASSERT_FALSE(privateBus.address.isEmpty()) << "dbus-daemon did not start";
    auto devicesOnTheBus = [&privateBus] { return countDevicesOn(privateBus.address); };
    Home home;
    home.busAddress = privateBus.address;
    testsupport::SimulatorProcess sim(home.dir.filePath("sim"));
    ASSERT_TRUE(sim.ready());
    ASSERT_TRUE(sim.Run({"plug", "mouse", "--route", "cable"}));
    // The mouse's first DPI stage moved away from what its profile says.
    ASSERT_TRUE(sim.Run({"poke", "mouse", "settings", "16", "2000200000"}));
    home.simDir = sim.dir();
    Running service;
    ASSERT_TRUE(service.start(home, {"--background", "--data-dir", home.share, "--lang", "en_US"}));
    ASSERT_TRUE(service.waitFor("running in the background")) << service.output.toStdString();

    // The profile reaches the device; the bus answers; a device plugged later is followed.
    auto mouseSettings = [&] {
        const auto out = sim.Call({"dump", "mouse", "settings"});
        return out ? QByteArray::fromHex(QJsonDocument::fromJson(*out).object()["hex"].toString().toLatin1()) : QByteArray();
    };
    EXPECT_TRUE(QTest::qWaitFor([&] {
        const QByteArray m = mouseSettings();
        return m.size() > 20 && m[16] == 4 && m[18] == 4 && uint8_t(m[20]) == 0xff;
    }, 20000)) << mouseSettings().toHex().toStdString();
    EXPECT_TRUE(QTest::qWaitFor([&] { return devicesOnTheBus() == 1; }, 20000)) << devicesOnTheBus();
    ASSERT_TRUE(sim.Run({"plug", "pad"}));
    EXPECT_TRUE(QTest::qWaitFor([&] { return devicesOnTheBus() == 2; }, 20000)) << devicesOnTheBus();
    ASSERT_TRUE(sim.Run({"unplug", "pad"}));
    EXPECT_TRUE(QTest::qWaitFor([&] { return devicesOnTheBus() == 1; }, 20000)) << devicesOnTheBus();
    // Neither the devices nor another background start open the window or build a page.
    EXPECT_EQ(runToEnd(home, {"--background"}).exitCode, 0);
    service.output += service.process.readAll();
    EXPECT_FALSE(service.output.contains(kRaised)) << service.output.toStdString();
    EXPECT_FALSE(service.output.contains("device pages built")) << service.output.toStdString();
    EXPECT_FALSE(service.output.contains("window shown")) << service.output.toStdString();

    // A device call over the bus works without the window: the pages it works through are
    // built for it, the window stays closed. Stage 1 at 3200 DPI is the sensor's index 30.
    QProcess ctl;
    QProcessEnvironment ctlEnv = QProcessEnvironment::systemEnvironment();
    ctlEnv.insert("DBUS_SESSION_BUS_ADDRESS", privateBus.address);
    ctl.setProcessEnvironment(ctlEnv);
    ctl.start(TESSEL_CTL, {"dpi", "set", "1", "3200"});
    ASSERT_TRUE(ctl.waitForFinished(20000));
    EXPECT_EQ(ctl.exitCode(), 0) << ctl.readAllStandardError().toStdString();
    const QByteArray afterCall = mouseSettings();
    EXPECT_TRUE(afterCall.size() > 18 && afterCall[16] == 30 && afterCall[18] == 30) << afterCall.toHex().toStdString();
    EXPECT_TRUE(service.waitFor("device pages built")) << service.output.toStdString();
    EXPECT_FALSE(service.output.contains("window shown")) << service.output.toStdString();

    // The GUI started now: the running one shows its window; no second Tessel takes the
    // devices.
    const Finished gui = runToEnd(home, {});
    EXPECT_EQ(gui.exitCode, 0);
    ASSERT_TRUE(service.waitFor("window shown")) << service.output.toStdString();
    EXPECT_EQ(devicesOnTheBus(), 1);
    EXPECT_EQ(service.stop(), 0) << service.output.toStdString();
}

#endif

#endif

}  // namespace
