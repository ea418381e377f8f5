// The headset equaliser's graph in a private PipeWire session: the latency it adds (a click
// through the equaliser's sink and the headset's sink recorded by one stream, both on the same
// clock), the CPU of the graph (ten bands, stereo, in this process) and the time from a slider
// change to the change heard on the headset's sink. Prints figures; asserts nothing.
#include "sdk/HostEffects.h"
#include "tests/support/PipeWireSession.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>

#include <sys/resource.h>

#include <algorithm>
#include <cstdio>
#include <vector>

using testsupport::PipeWireSession;

namespace {

double cpuSeconds()
{
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return double(u.ru_utime.tv_sec + u.ru_stime.tv_sec) + double(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

double median(std::vector<double> v)
{
    if (v.empty())
        return -1;
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

std::vector<float> readRaw(const QString& wav)
{
    const QString raw = wav + ".raw";
    if (!PipeWireSession::Run("sox", {wav, "-t", "raw", "-e", "floating-point", "-b", "32", raw}))
        return {};
    QFile f(raw);
    if (!f.open(QIODevice::ReadOnly))
        return {};
    const QByteArray bytes = f.readAll();
    std::vector<float> out(size_t(bytes.size()) / sizeof(float));
    std::memcpy(out.data(), bytes.constData(), out.size() * sizeof(float));
    return out;
}

// Added latency: one recorder, its left input on the equaliser sink's monitor (what goes in),
// its right on the headset sink's monitor (what comes out).
double addedLatencyMs(PipeWireSession& session)
{
    const QString wav = session.path("latency.wav"), click = session.path("click.wav");
    if (!PipeWireSession::Run("sox", {"-n", "-r", "48000", "-c", "2", "-e", "floating-point", "-b", "32", click,
                                      "synth", "0.002", "square", "500", "vol", "0.5", "pad", "0.2", "0.3"}))
        return -1;
    QProcess recorder;
    recorder.start("pw-record", {"-P", "{ node.autoconnect = false node.name = tessel.bench.recorder }",
                                 "--channels", "2", "--format", "f32", "--rate", "48000", wav});
    if (!QTest::qWaitFor([] {
            QByteArray out;
            PipeWireSession::Run("pw-link", {"-i"}, &out);
            return out.contains("tessel.bench.recorder:input_FR");
        }, 5000))
        return -1;
    PipeWireSession::Run("pw-link", {"tessel.effects.eq:monitor_FL", "tessel.bench.recorder:input_FL"});
    PipeWireSession::Run("pw-link", {QStringLiteral("%1:monitor_FL").arg(PipeWireSession::kHeadsetSink),
                                     "tessel.bench.recorder:input_FR"});
    QTest::qWait(300);
    for (int i = 0; i < 5; ++i)
        PipeWireSession::Run("paplay", {"-d", "tessel.effects.eq", click});
    QTest::qWait(300);
    recorder.terminate();
    recorder.waitForFinished(5000);
    const std::vector<float> rec = readRaw(wav);
    // Each click's onset in both channels.
    std::vector<double> delays;
    size_t i = 0;
    const size_t frames = rec.size() / 2;
    while (i < frames) {
        size_t in = i;
        while (in < frames && std::fabs(rec[2 * in]) < 0.1f)
            ++in;
        if (in >= frames)
            break;
        size_t out = in > 2400 ? in - 2400 : 0;
        while (out < frames && std::fabs(rec[2 * out + 1]) < 0.1f)
            ++out;
        if (out < frames)
            delays.push_back(double(int64_t(out) - int64_t(in)) * 1000.0 / 48000.0);
        i = in + 4800;  // past this click (0.1 s)
    }
    return median(delays);
}

// CPU of this process (which runs the graph) while ten bands filter a stereo stream.
double graphCpuPercent(PipeWireSession& session, osconf::HostEffects& effects)
{
    const QString noise = session.path("noise.wav");
    PipeWireSession::Run("sox", {"-n", "-r", "48000", "-c", "2", "-e", "floating-point", "-b", "32", noise, "synth",
                                 "10", "pinknoise", "vol", "0.1"});
    effects.SetEqualiser(true, {2, 1, -2, -4, -8, 4, 12, 16, 18, 15});
    QElapsedTimer wall;
    const double before = cpuSeconds();
    wall.start();
    PipeWireSession::Run("paplay", {"-d", "tessel.effects.eq", noise}, nullptr, 30000);
    return 100.0 * (cpuSeconds() - before) / (double(wall.elapsed()) / 1000.0);
}

// From the call that moves the 1 kHz band to the first recorded block of the headset's sink
// whose 1 kHz level has moved by 6 dB: includes the recorder's own 10 ms of buffering.
std::vector<double> sliderToHeardMs(PipeWireSession& session, osconf::HostEffects& effects)
{
    const QString tone = session.path("long1k.wav");
    PipeWireSession::Run("sox", {"-n", "-r", "48000", "-c", "2", "-e", "floating-point", "-b", "32", tone, "synth",
                                 "30", "sine", "1000", "vol", "0.1"});
    effects.SetEqualiser(true, {});
    QProcess player, recorder;
    player.start("paplay", {"-d", "tessel.effects.eq", tone});
    recorder.start("parecord", {"--raw", "--format=float32le", "--rate=48000", "--channels=2", "--latency-msec=10",
                                "-d", QStringLiteral("%1.monitor").arg(PipeWireSession::kHeadsetSink)});
    std::vector<double> out;
    QByteArray pending;
    auto level = [](const QByteArray& block) {
        const auto* f = reinterpret_cast<const float*>(block.constData());
        double peak = 0;
        for (int i = 0; i < block.size() / 4; i += 2)
            peak = std::max(peak, double(std::fabs(f[i])));
        return peak;
    };
    // Wait for the tone to flow.
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < 5000) {
        recorder.waitForReadyRead(100);
        const QByteArray b = recorder.readAllStandardOutput();
        if (b.size() >= 8 && level(b) > 0.05)
            break;
    }
    for (int round = 0; round < 8; ++round) {
        const bool up = round % 2 == 0;
        QTest::qWait(200);
        recorder.readAllStandardOutput();
        const double quiet = 0.1, loud = 0.1 * std::pow(10.0, 12 / 20.0);
        const double threshold = up ? quiet * 2 : loud / 2;
        QElapsedTimer t;
        t.start();
        std::array<int, 10> bands{};
        bands[5] = up ? 12 : 0;
        effects.SetEqualiser(true, bands);
        bool heard = false;
        while (!heard && t.elapsed() < 2000) {
            recorder.waitForReadyRead(5);
            const QByteArray b = recorder.readAllStandardOutput();
            if (b.size() < 8)
                continue;
            const double l = level(b);
            heard = up ? l > threshold : l < threshold;
        }
        if (heard)
            out.push_back(double(t.nsecsElapsed()) / 1e6);
    }
    player.kill();
    recorder.kill();
    player.waitForFinished(2000);
    recorder.waitForFinished(2000);
    return out;
}

}  // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    PipeWireSession session;
    if (!session.ready()) {
        std::printf("host effects bench skipped: %s\n", session.why().c_str());
        return 0;
    }
    osconf::HostEffects::Options options;
    options.voice = false;
    auto effects = osconf::HostEffects::Start(options);
    if (!effects || !effects->EqualiserLoaded()) {
        std::printf("host effects bench skipped: the equaliser's graph did not load\n");
        return 0;
    }
    effects->SetEqualiser(false, {});
    const double latency = addedLatencyMs(session);
    std::printf("equaliser sink added latency (48 kHz, median of 5 clicks): %.2f ms (goal < 5 ms)\n", latency);
    const double cpu = graphCpuPercent(session, *effects);
    std::printf("equaliser graph CPU, ten bands stereo, whole process: %.2f %% of one core (goal < 1 %%)\n", cpu);
    const std::vector<double> heard = sliderToHeardMs(session, *effects);
    std::printf("slider change to heard change (%zu of 8 changes seen): median %.1f ms, worst %.1f ms (goal < 50 ms)\n",
                heard.size(), median(heard), heard.empty() ? -1.0 : *std::max_element(heard.begin(), heard.end()));
    return 0;
}
