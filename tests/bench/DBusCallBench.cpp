// Round trips of Tessel's per-device D-Bus calls: Tessel runs as its own process on the simulator
// process (with its USB timing model) and a mouse on its cable. Printed:
//   - a read (GetDpi) from call to answer: median, 95th percentile, longest; goal below 2 ms;
//   - a DPI write (SetDpiStage, alternating values) from call to answer. The answer comes once
//     the mouse acknowledged the settings block, so this is the time until the value is in the
//     simulated mouse's memory; the memory is read back after the timing to confirm it. Goal
//     below 30 ms. Then the same writes back to back, which the page paces at one settings
//     block per 50 ms (as while a slider is dragged).
// Figures only: nothing is asserted.
//
// Usage: tessel_bench_dbus_calls [--reads N] [--writes N] (default 500 and 100). Run it on a
// session bus of its own (dbus-run-session) so the Tessel it starts owns the service name.
#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusInterface>
#include <QDBusReply>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QProcessEnvironment>
#include <QTemporaryDir>
#include <QThread>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <vector>

namespace {

constexpr char kMouse[] = "mouse:3a17:221c:cable";

bool waitUntil(const std::function<bool()>& condition, int ms)
{
    QElapsedTimer t;
    t.start();
    while (!condition()) {
        if (t.elapsed() > ms)
            return false;
        QThread::msleep(20);
    }
    return true;
}

void print(const char* what, std::vector<double> ms, double goal)
{
    if (ms.empty()) {
        std::printf("%-34s no samples\n", what);
        return;
    }
    std::sort(ms.begin(), ms.end());
    const double median = ms[ms.size() / 2];
    const double p95 = ms[std::min(ms.size() - 1, ms.size() * 95 / 100)];
    std::printf("%-34s n=%-4zu median %7.3f ms  p95 %7.3f ms  max %7.3f ms  (goal < %.0f ms: %s)\n", what, ms.size(),
                median, p95, ms.back(), goal, median < goal ? "met" : "missed");
}

class Bench {
public:
    Bench(int reads, int writes) : m_reads(reads), m_writes(writes) {}
    ~Bench()
    {
        if (m_tessel.state() != QProcess::NotRunning) {
            m_tessel.terminate();
            if (!m_tessel.waitForFinished(10000))
                m_tessel.kill();
        }
        if (m_sim.state() != QProcess::NotRunning) {
            devsim({"shutdown"});
            if (!m_sim.waitForFinished(5000))
                m_sim.kill();
        }
    }

    int run()
    {
        if (!m_home.isValid())
            return fail("no temporary folder");
        const QString bin = QCoreApplication::applicationDirPath();
        m_devsim = bin + "/tessel-devsim";
        const QString simDir = m_home.filePath("sim");
        QDir().mkpath(simDir);
        QDir().mkpath(m_home.filePath("runtime"));
        QFile::setPermissions(m_home.filePath("runtime"), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("QT_QPA_PLATFORM", "offscreen");
        env.insert("TESSEL_SIM_DIR", simDir);
        env.insert("XDG_DATA_HOME", m_home.filePath("data"));
        env.insert("XDG_CONFIG_HOME", m_home.filePath("config"));
        env.insert("XDG_RUNTIME_DIR", m_home.filePath("runtime"));
        m_env = env;
        m_sim.setProcessEnvironment(env);
        m_sim.start(m_devsim, {"--dir", simDir, "serve"});
        if (!m_sim.waitForStarted() || !waitUntil([&] { return QFileInfo::exists(simDir + "/control"); }, 10000))
            return fail("the simulator did not start");
        if (!devsim({"plug", "mouse", "--route", "cable"}))
            return fail("the simulator refused the plug");
        m_tessel.setProcessEnvironment(env);
        m_tessel.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        m_tessel.start(bin + "/tessel", {});
        if (!m_tessel.waitForStarted())
            return fail("tessel did not start");

        QDBusInterface tessel("org.tessel.Tessel", "/org/tessel/Tessel", "org.tessel.Tessel1");
        tessel.setTimeout(10000);
        // Ready once the sensor is read: the DPI range is known.
        if (!waitUntil([&] {
                QDBusReply<QVariantMap> r = tessel.call("GetDpi", QString::fromLatin1(kMouse));
                return r.isValid() && r.value().value("max").toInt() > 0;
            }, 30000))
            return fail("the mouse did not come up in Tessel");

        std::vector<double> reads;
        QElapsedTimer t;
        for (int i = 0; i < m_reads; ++i) {
            t.start();
            QDBusReply<QVariantMap> r = tessel.call("GetDpi", QString::fromLatin1(kMouse));
            const double ms = double(t.nsecsElapsed()) / 1e6;
            if (r.isValid())
                reads.push_back(ms);
        }

        // A write on its own (a script setting one value), then writes back to back: the page
        // sends the settings block at most every 50 ms, as it does while a slider is dragged.
        std::vector<double> writes, burst;
        int failed = 0;
        for (int i = 0; i < 2 * m_writes; ++i) {
            const bool alone = i < m_writes;
            if (alone)
                QThread::msleep(80);
            const int dpi = i % 2 ? 3200 : 1600;
            t.start();
            QDBusReply<int> r = tessel.call("SetDpiStage", QString::fromLatin1(kMouse), 3, dpi);
            const double ms = double(t.nsecsElapsed()) / 1e6;
            if (r.isValid())
                (alone ? writes : burst).push_back(ms);
            else
                ++failed;
        }
        // The last write is in the mouse's memory: stage 3's index at byte 34.
        const int last = (2 * m_writes - 1) % 2 ? 30 : 14;
        const QByteArray settings = dump("mouse", "settings");
        const bool landed = settings.size() > 34 && settings[34] == last;

        std::printf("Tessel's D-Bus calls on a simulated mouse (cable, USB timing model)\n");
        print("read: GetDpi round trip", reads, 2);
        print("write: SetDpiStage to mouse memory", writes, 30);
        print("  the same back to back (paced)", burst, 60);
        std::printf("writes refused: %d; last write in the mouse's memory: %s\n", failed, landed ? "yes" : "NO");
        return 0;
    }

private:
    int fail(const char* why)
    {
        std::fprintf(stderr, "tessel_bench_dbus_calls: %s\n", why);
        return 1;
    }
    bool devsim(const QStringList& args)
    {
        QProcess p;
        p.setProcessEnvironment(m_env);
        p.start(m_devsim, QStringList{"--dir", m_home.filePath("sim")} + args);
        return p.waitForFinished(10000) && p.exitCode() == 0;
    }
    QByteArray dump(const QString& device, const QString& region)
    {
        QProcess p;
        p.start(m_devsim, {"--dir", m_home.filePath("sim"), "dump", device, region});
        if (!p.waitForFinished(10000))
            return {};
        return QByteArray::fromHex(QJsonDocument::fromJson(p.readAllStandardOutput()).object().value("hex").toString().toLatin1());
    }

    int m_reads, m_writes;
    QTemporaryDir m_home;
    QString m_devsim;
    QProcessEnvironment m_env;
    QProcess m_sim, m_tessel;
};

}  // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    int reads = 500, writes = 100;
    const QStringList args = app.arguments();
    for (qsizetype i = 1; i + 1 < args.size(); i += 2) {
        if (args[i] == "--reads")
            reads = std::max(1, args[i + 1].toInt());
        else if (args[i] == "--writes")
            writes = std::max(1, args[i + 1].toInt());
    }
    if (!QDBusConnection::sessionBus().isConnected()) {
        std::fprintf(stderr, "tessel_bench_dbus_calls: no session bus; run it under dbus-run-session\n");
        return 1;
    }
    return Bench(reads, writes).run();
}
