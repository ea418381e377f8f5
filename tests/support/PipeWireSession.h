#pragma once

// A private PipeWire session for tests and benchmarks: pipewire, wireplumber and pipewire-pulse
// in their own runtime folder (which becomes this process's XDG_RUNTIME_DIR), with a null sink
// carrying the headset's USB ids standing in for the headset's sink, as the default output.
#include <QProcess>
#include <QProcessEnvironment>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace testsupport {

class PipeWireSession {
public:
    static constexpr int kRate = 48000;
    static constexpr char kHeadsetSink[] = "tessel_test_headset";
    static constexpr char kHeadsetMic[] = "tessel_test_headset_mic";
    // What is played into this sink is what the stand-in microphone hears.
    static constexpr char kMicFeed[] = "tessel_test_mic_feed";

    PipeWireSession()
    {
        m_oldRuntime = qgetenv("XDG_RUNTIME_DIR");
        for (const char* tool : {"pipewire", "wireplumber", "pipewire-pulse", "pactl", "parecord", "pw-cli"}) {
            if (QStandardPaths::findExecutable(QString::fromLatin1(tool)).isEmpty()) {
                m_why = std::string(tool) + " is not installed (scripts/install-deps.sh installs it)";
                return;
            }
        }
        qputenv("XDG_RUNTIME_DIR", m_dir.path().toUtf8());
        qunsetenv("PIPEWIRE_REMOTE");
        qunsetenv("PIPEWIRE_RUNTIME_DIR");
        qunsetenv("PULSE_SERVER");
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("HOME"), m_dir.path());
        env.insert(QStringLiteral("XDG_CONFIG_HOME"), m_dir.filePath("config"));
        env.insert(QStringLiteral("XDG_STATE_HOME"), m_dir.filePath("state"));
        for (QProcess* p : {&m_pipewire, &m_wireplumber, &m_pulse}) {
            p->setProcessEnvironment(env);
            p->setProcessChannelMode(QProcess::MergedChannels);
        }
        m_pipewire.start(QStringLiteral("pipewire"), {});
        if (!m_pipewire.waitForStarted(5000) ||
            !QTest::qWaitFor([&] { return QFile::exists(m_dir.filePath("pipewire-0")) ||
                                          m_pipewire.state() != QProcess::Running; }, 10000) ||
            m_pipewire.state() != QProcess::Running) {
            m_why = "pipewire did not start here: " + m_pipewire.readAll().right(300).toStdString();
            return;
        }
        m_wireplumber.start(QStringLiteral("wireplumber"), {});
        m_pulse.start(QStringLiteral("pipewire-pulse"), {});
        m_wireplumber.waitForStarted(5000);
        m_pulse.waitForStarted(5000);
        const bool up = QTest::qWaitFor([&] { return Run("pactl", {"info"}); }, 15000);
        if (!up || m_wireplumber.state() != QProcess::Running) {
            m_why = "wireplumber or pipewire-pulse did not come up: " + m_wireplumber.readAll().right(300).toStdString();
            return;
        }
        if (!Run("pactl", {"load-module", "module-null-sink", QStringLiteral("sink_name=%1").arg(kHeadsetSink),
                           "rate=48000", "sink_properties=device.vendor.id=0x0c76 device.product.id=0x1630"}) ||
            !Run("pactl", {"load-module", "module-null-sink", QStringLiteral("sink_name=%1").arg(kMicFeed),
                           "rate=48000"}) ||
            !Run("pactl", {"load-module", "module-remap-source", QStringLiteral("master=%1.monitor").arg(kMicFeed),
                           QStringLiteral("source_name=%1").arg(kHeadsetMic), "channels=1", "channel_map=mono",
                           "source_properties=\"device.vendor.id=0x0c76 device.product.id=0x1630\""})) {
            m_why = "the stand-in headset could not be made";
            return;
        }
        m_ready = QTest::qWaitFor([&] {
            Run("pactl", {"set-default-sink", kHeadsetSink});
            return DefaultSink() == kHeadsetSink;
        }, 10000);
        if (!m_ready)
            m_why = "the stand-in headset did not become the default output";
    }
    ~PipeWireSession()
    {
        for (QProcess* p : {&m_pulse, &m_wireplumber, &m_pipewire}) {
            p->terminate();
            if (!p->waitForFinished(5000))
                p->kill();
            p->waitForFinished(2000);
        }
        qputenv("XDG_RUNTIME_DIR", m_oldRuntime);
    }
    PipeWireSession(const PipeWireSession&) = delete;
    PipeWireSession& operator=(const PipeWireSession&) = delete;

    bool ready() const { return m_ready; }
    const std::string& why() const { return m_why; }
    QString path(const QString& name) const { return m_dir.filePath(name); }

    // Runs a tool of the session to its end; whether it succeeded. `out` gets its output.
    static bool Run(const QString& program, const QStringList& args, QByteArray* out = nullptr, int timeoutMs = 10000)
    {
        QProcess p;
        p.start(program, args);
        const bool ok = p.waitForFinished(timeoutMs) && p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
        if (!ok && p.state() != QProcess::NotRunning) {
            p.kill();
            p.waitForFinished(2000);
        }
        if (out)
            *out = p.readAllStandardOutput();
        return ok;
    }
    static QString DefaultSink()
    {
        QByteArray out;
        Run("pactl", {"get-default-sink"}, &out);
        return QString::fromUtf8(out).trimmed();
    }
    // The nodes named `name`, or whose name starts with `name` when it ends in a dot.
    static int CountNodes(const QString& name)
    {
        QByteArray out;
        Run("pw-cli", {"ls", "Node"}, &out);
        int n = 0;
        for (const QByteArray& line : out.split('\n')) {
            const QByteArray t = line.trimmed();
            const QByteArray wanted = "node.name = \"" + name.toUtf8();
            if (name.endsWith('.') ? t.startsWith(wanted) : t == wanted + '"')
                ++n;
        }
        return n;
    }

    // Plays a sound file through `sink` (the default output when empty) while recording
    // `source` (a sink's monitor is "<sink>.monitor"); the recording as interleaved stereo.
    static std::vector<float> PlayAndRecord(const QString& file, const QString& sink, const QString& source)
    {
        auto recorders = [] {
            QByteArray out;
            Run("pactl", {"list", "short", "source-outputs"}, &out);
            return out.trimmed().isEmpty() ? 0 : int(out.trimmed().count('\n')) + 1;
        };
        const int already = recorders();
        QProcess recorder;
        recorder.start(QStringLiteral("parecord"), {"--raw", "--format=float32le", "--rate=48000", "--channels=2",
                                                    "--latency-msec=100", "-d", source});
        if (!recorder.waitForStarted(5000))
            return {};
        // The tone starts only once the recorder is connected, so none of it is missed.
        const bool connected = QTest::qWaitFor([&] { return recorders() > already; }, 5000);
        if (!connected)
            return {};
        QStringList args{"--latency-msec=100"};
        if (!sink.isEmpty())
            args << "-d" << sink;
        Run("paplay", args << file, nullptr, 20000);
        QTest::qWait(150);  // the tail still on its way through the graph
        recorder.terminate();
        recorder.waitForFinished(5000);
        const QByteArray raw = recorder.readAllStandardOutput();
        std::vector<float> samples(size_t(raw.size()) / sizeof(float));
        if (!samples.empty())
            std::memcpy(samples.data(), raw.constData(), samples.size() * sizeof(float));
        return samples;
    }

    // The amplitude of `hz` in the left channel of `samples` from `start`, over `count` frames
    // (single-bin DFT, Hann-windowed unless the frames hold whole periods of every tone).
    static double Amplitude(const std::vector<float>& samples, size_t start, size_t count, double hz, bool hann = true)
    {
        double re = 0, im = 0, wsum = 0;
        for (size_t i = 0; i < count && 2 * (start + i) < samples.size(); ++i) {
            const double w = hann ? 0.5 - 0.5 * std::cos(2 * M_PI * double(i) / double(count)) : 1.0;
            const double x = samples[2 * (start + i)] * w;
            re += x * std::cos(2 * M_PI * hz * double(i) / kRate);
            im -= x * std::sin(2 * M_PI * hz * double(i) / kRate);
            wsum += w;
        }
        return 2 * std::sqrt(re * re + im * im) / wsum;
    }
    // The strongest frequency between `lo` and `hi` Hz in the left channel, to half a hertz: a
    // coarse search over a short window, then a fine one around its peak.
    static double DominantHz(const std::vector<float>& samples, size_t start, size_t count, double lo, double hi)
    {
        auto peak = [&](double from, double to, double step, size_t n) {
            double best = from, level = -1;
            for (double hz = from; hz <= to; hz += step) {
                const double a = Amplitude(samples, start, n, hz);
                if (a > level)
                    level = a, best = hz;
            }
            return best;
        };
        const double coarse = peak(lo, hi, 5, std::min<size_t>(count, 4800));
        return peak(coarse - 6, coarse + 6, 0.5, count);
    }
    // The first frame whose left sample is louder than `level`.
    static size_t Onset(const std::vector<float>& samples, float level = 0.002f)
    {
        for (size_t i = 0; 2 * i < samples.size(); ++i) {
            if (std::fabs(samples[2 * i]) > level)
                return i;
        }
        return samples.size() / 2;
    }
    // One past the last frame whose left sample is louder than `level`.
    static size_t End(const std::vector<float>& samples, float level = 0.002f)
    {
        for (size_t i = samples.size() / 2; i > 0; --i) {
            if (std::fabs(samples[2 * (i - 1)]) > level)
                return i;
        }
        return 0;
    }

private:
    QTemporaryDir m_dir;
    QByteArray m_oldRuntime;
    QProcess m_pipewire, m_wireplumber, m_pulse;
    bool m_ready = false;
    std::string m_why;
};

}  // namespace testsupport
