// How long the window waits while a device misbehaves: Tessel runs as its own process on the
// simulator process with its four devices (keyboard on its cable, mouse through its receiver,
// mouse pad, headset). Each device in turn gets each fault kind of the simulator (no reply, a
// late reply, a reply that echoes another command, a failure status, an unplug in the middle
// of a transfer) while the device announces settings changes, so its reads meet the fault.
// Meanwhile this program calls ListDevices over D-Bus back to back: a call that arrives while
// the window's event loop is held waits for it, so the longest round trip is the longest stall.
//
// Printed per device and fault: ListDevices round trips (median, 95th percentile, longest) and
// the count of calls; then the longest over all. The goals: the longest stall below 50 ms and
// ListDevices below 20 ms. Figures only: nothing is asserted.
//
// Usage: tessel_bench_fault_stall [--seconds S] (per device and fault, default 4). Run it on a
// session bus of its own (dbus-run-session) so the Tessel it starts owns the service name.
#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusInterface>
#include <QDBusReply>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QProcess>
#include <QProcessEnvironment>
#include <QTemporaryDir>
#include <QThread>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

struct Device {
    const char* sim;
    QStringList plug;  // the simulator's plug words
};
const Device kDevices[] = {
    {"keyboard", {"keyboard", "--route", "cable"}},
    {"mouse", {"mouse", "--route", "receiver"}},
    {"pad", {"pad"}},
    {"headset", {"headset"}},
};
struct Fault {
    const char* name;
    QStringList words;
    bool unplugs;
};
const Fault kFaults[] = {
    {"drop-reply", {"drop-reply", "--count", "100000"}, false},
    {"late-reply", {"late-reply", "1500", "--count", "100000"}, false},
    {"bad-echo", {"bad-echo", "--count", "100000"}, false},
    {"status-ff", {"status-ff", "--count", "100000"}, false},
    {"unplug-mid-transfer", {"unplug-mid-transfer"}, true},
};

class Bench {
public:
    explicit Bench(double seconds) : m_seconds(seconds) {}

    int run()
    {
        if (!m_home.isValid())
            return fail("no temporary folder");
        const QString bin = QCoreApplication::applicationDirPath();
        m_devsim = bin + "/tessel-devsim";
        m_simDir = m_home.filePath("sim");
        QDir().mkpath(m_simDir);
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("QT_QPA_PLATFORM", "offscreen");
        env.insert("TESSEL_SIM_DIR", m_simDir);
        env.insert("XDG_DATA_HOME", m_home.filePath("data"));
        env.insert("XDG_CONFIG_HOME", m_home.filePath("config"));
        m_sim.setProcessEnvironment(env);
        m_sim.start(m_devsim, {"--dir", m_simDir, "serve"});
        if (!m_sim.waitForStarted() || !waitUntil([&] { return QFileInfo::exists(m_simDir + "/control"); }, 10000))
            return fail("the simulator did not start");
        for (const Device& d : kDevices)
            if (!devsim(QStringList{"plug"} + d.plug))
                return fail("the simulator refused a plug");
        m_tessel.setProcessEnvironment(env);
        // Tessel's own log stays out of the figures.
        m_tessel.setStandardOutputFile(QProcess::nullDevice());
        m_tessel.setStandardErrorFile(QProcess::nullDevice());
        m_tessel.start(bin + "/tessel", {});
        if (!m_tessel.waitForStarted())
            return fail("Tessel did not start");
        if (!waitUntil([&] { return listed() == 4; }, 30000))
            return fail("Tessel did not list the four devices");
        QThread::msleep(1500);  // the connection reads of the four devices

        std::printf("%-9s %-20s %7s %7s %7s %7s  (ListDevices round trip, ms)\n", "device", "fault", "median",
                    "p95", "longest", "calls");
        double worst = 0, worstMedian = 0;
        for (const Device& d : kDevices) {
            for (const Fault& f : kFaults) {
                if (!devsim(QStringList{"fault", d.sim} + f.words))
                    return fail("the simulator refused a fault");
                std::vector<double> trips = sample(d.sim);
                devsim({"fault", d.sim, "clear"});
                if (f.unplugs) {
                    devsim(QStringList{"unplug"} + d.plug);
                    devsim(QStringList{"plug"} + d.plug);
                    if (!waitUntil([&] { return listed() == 4; }, 30000))
                        return fail("the device did not come back after its unplug");
                }
                QThread::msleep(1200);  // the device answers again before the next fault
                if (trips.empty())
                    return fail("no ListDevices call answered");
                std::sort(trips.begin(), trips.end());
                const double median = trips[trips.size() / 2];
                const double p95 = trips[std::min(trips.size() - 1, trips.size() * 95 / 100)];
                worst = std::max(worst, trips.back());
                worstMedian = std::max(worstMedian, median);
                std::printf("%-9s %-20s %7.1f %7.1f %7.1f %7zu\n", d.sim, f.name, median, p95, trips.back(),
                            trips.size());
                std::fflush(stdout);
            }
        }
        std::printf("longest stall of the window's event loop (longest ListDevices round trip): %.1f ms (goal < 50)\n",
                    worst);
        std::printf("slowest median ListDevices round trip under a fault: %.1f ms (goal < 20)\n", worstMedian);
        stop();
        return 0;
    }

private:
    // ListDevices back to back for the phase, with the device announcing a settings change every
    // half second so that its reads meet the fault.
    std::vector<double> sample(const char* device)
    {
        std::vector<double> trips;
        QElapsedTimer phase;
        phase.start();
        qint64 nextEvent = 0;
        while (phase.elapsed() < qint64(m_seconds * 1000)) {
            if (phase.elapsed() >= nextEvent) {
                QProcess event;
                event.setProgram(m_devsim);
                event.setArguments({"--dir", m_simDir, "event", device, "0x401"});
                event.setStandardOutputFile(QProcess::nullDevice());
                event.startDetached();
                nextEvent += 500;
            }
            QElapsedTimer trip;
            trip.start();
            if (listed() >= 0)
                trips.push_back(double(trip.nsecsElapsed()) / 1e6);
            QThread::msleep(5);
        }
        return trips;
    }
    // The count of devices Tessel lists; -1 when the call failed.
    int listed()
    {
        QDBusInterface tessel("org.tessel.Tessel", "/org/tessel/Tessel", "org.tessel.Tessel1",
                              QDBusConnection::sessionBus());
        tessel.setTimeout(10000);
        const QDBusMessage reply = tessel.call("ListDevices");
        if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty())
            return -1;
        const QDBusArgument devices = reply.arguments().first().value<QDBusArgument>();
        int count = 0;
        devices.beginArray();
        while (!devices.atEnd()) {
            QVariantMap entry;
            devices >> entry;
            ++count;
        }
        devices.endArray();
        return count;
    }
    bool devsim(const QStringList& words)
    {
        QProcess p;
        p.start(m_devsim, QStringList{"--dir", m_simDir} + words);
        return p.waitForFinished(10000) && p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
    }
    template <class F>
    static bool waitUntil(F done, int ms)
    {
        QElapsedTimer t;
        t.start();
        while (t.elapsed() < ms) {
            if (done())
                return true;
            QThread::msleep(50);
        }
        return false;
    }
    int fail(const char* what)
    {
        std::fprintf(stderr, "fault stall bench: %s\n", what);
        stop();
        return 1;
    }
    void stop()
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

    double m_seconds;
    QTemporaryDir m_home;
    QString m_devsim, m_simDir;
    QProcess m_sim, m_tessel;
};

}  // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    double seconds = 4;
    const QStringList args = app.arguments();
    if (const int i = int(args.indexOf("--seconds")); i > 0 && i + 1 < args.size())
        seconds = args[i + 1].toDouble();
    if (!QDBusConnection::sessionBus().isConnected()) {
        std::fprintf(stderr, "fault stall bench: no session bus (run it under dbus-run-session)\n");
        return 1;
    }
    return Bench(seconds).run();
}
