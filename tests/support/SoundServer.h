#pragma once

// A private PulseAudio server for tests and benchmarks: a null sink as the default output, in
// its own runtime folder, which becomes this process's XDG_RUNTIME_DIR (so the capture program
// and its lock and socket live there too). Tones are played into it with pacat.
#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QProcessEnvironment>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <cmath>
#include <vector>

namespace testsupport {

class SoundServer {
public:
    static constexpr int kRate = 48000;

    SoundServer()
    {
        m_oldRuntime = qgetenv("XDG_RUNTIME_DIR");
        const QString pulseaudio = QStandardPaths::findExecutable(QStringLiteral("pulseaudio"));
        const QString pacat = QStandardPaths::findExecutable(QStringLiteral("pacat"));
        if (pulseaudio.isEmpty() || pacat.isEmpty()) {
            m_why = "pulseaudio or pacat is not installed (scripts/install-deps.sh installs them)";
            return;
        }
        QFile conf(m_dir.filePath("server.pa"));
        if (!conf.open(QIODevice::WriteOnly))
            return;
        conf.write("load-module module-null-sink sink_name=tessel_test rate=48000\n"
                   "set-default-sink tessel_test\n"
                   "load-module module-native-protocol-unix auth-anonymous=1\n");
        conf.close();
        qputenv("XDG_RUNTIME_DIR", m_dir.path().toUtf8());
        qputenv("PULSE_SERVER", ("unix:" + m_dir.filePath("pulse/native")).toUtf8());
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("HOME"), m_dir.path());
        // Off the session bus: a PulseAudio daemon claims the bus name org.PulseAudio1 there and
        // exits when another one (a test running beside this one under the same bus) holds it.
        // Without a bus it only warns; clients reach it through PULSE_SERVER.
        env.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), "unix:path=" + m_dir.filePath("no-session-bus"));
        m_server.setProcessEnvironment(env);
        m_server.setProcessChannelMode(QProcess::MergedChannels);
        m_server.start(pulseaudio, {"-n", "-F", conf.fileName(), "--daemonize=no", "--exit-idle-time=-1",
                                    "--disallow-exit", "--use-pid-file=no", "--log-target=stderr"});
        if (!m_server.waitForStarted(10000)) {
            m_why = "pulseaudio did not start";
            return;
        }
        m_ready = QTest::qWaitFor([&] {
            if (m_server.state() != QProcess::Running)
                return true;
            QProcess info;
            info.start(QStringLiteral("pactl"), {"info"});
            return info.waitForFinished(3000) && info.exitCode() == 0;
        }, 30000) && m_server.state() == QProcess::Running;
        if (!m_ready)
            m_why = "pulseaudio did not come up: " + m_server.readAll().right(400).toStdString();
    }
    ~SoundServer()
    {
        for (QProcess* p : m_players) {
            p->kill();
            p->waitForFinished(2000);
            delete p;
        }
        m_server.terminate();
        if (!m_server.waitForFinished(5000))
            m_server.kill();
        qputenv("XDG_RUNTIME_DIR", m_oldRuntime);
        qunsetenv("PULSE_SERVER");
    }
    SoundServer(const SoundServer&) = delete;
    SoundServer& operator=(const SoundServer&) = delete;

    bool ready() const { return m_ready; }
    const std::string& why() const { return m_why; }
    QString runtime() const { return m_dir.path(); }

    // A sine of `hz` for `seconds`; with `tremoloHz` its loudness swings between 10 % and 100 %
    // that many times a second, so its spectrum keeps changing as music's does.
    static QByteArray Tone(double hz, double seconds, double tremoloHz = 0)
    {
        const int n = int(seconds * kRate);
        QByteArray out(n * int(sizeof(float)), Qt::Uninitialized);
        auto* f = reinterpret_cast<float*>(out.data());
        for (int i = 0; i < n; ++i) {
            const double t = double(i) / kRate;
            const double gain = tremoloHz > 0 ? 0.55 + 0.45 * std::sin(2 * M_PI * tremoloHz * t) : 1.0;
            f[i] = float(0.5 * gain * std::sin(2 * M_PI * hz * t));
        }
        return out;
    }
    // Plays mono float samples into the default sink; returns at once (the player runs on).
    QProcess* Play(const QByteArray& samples)
    {
        auto* p = new QProcess;
        p->start(QStringLiteral("pacat"), {"--playback", "--format=float32le", "--rate=48000", "--channels=1",
                                          "--latency-msec=10", "--client-name=tessel-test"});
        p->waitForStarted(5000);
        p->write(samples);
        p->closeWriteChannel();
        m_players.push_back(p);
        return p;
    }

private:
    QTemporaryDir m_dir;
    QByteArray m_oldRuntime;
    QProcess m_server;
    std::vector<QProcess*> m_players;
    bool m_ready = false;
    std::string m_why;
};

}  // namespace testsupport
