#include "profiles/HeadsetEqPresets.h"
#include "sdk/HostAudio.h"
#include "sdk/HostEffects.h"
#include "tests/support/PipeWireSession.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <dlfcn.h>
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cstdlib>
#include <memory>
#include <thread>

// The headset's sound processing as PipeWire filter graphs, heard through a real PipeWire
// session: tones played through the equaliser's sink and recorded from the stand-in headset.
namespace {

using testsupport::PipeWireSession;

// The built-in equaliser curves of presets 1 to 12, the values a chosen preset sends.
const std::array<eq::Curve, eq::kBuiltinPresets> kPresets = [] {
    std::array<eq::Curve, eq::kBuiltinPresets> curves{};
    for (int p = 0; p < eq::kBuiltinPresets; ++p)
        curves[size_t(p)] = eq::builtinCurve(p + 1);
    return curves;
}();

constexpr char kEqNode[] = "tessel.effects.eq";

// The process that holds a graph for the crash test: this binary again, told by the environment.
constexpr char kHoldVariable[] = "TESSEL_TEST_HOLD_EFFECTS";

struct Holder {
    QProcess process;
    bool Start()
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(kHoldVariable, "1");
        process.setProcessEnvironment(env);
        process.start(QCoreApplication::applicationFilePath(), {"--gtest_filter=HostEffectsHolder.*"});
        return process.waitForStarted(5000) &&
               QTest::qWaitFor([&] { return process.readAllStandardOutput().contains("HOLDING") ||
                                            process.state() != QProcess::Running; }, 15000) &&
               process.state() == QProcess::Running;
    }
};

std::unique_ptr<PipeWireSession> g_session;

// Recordings are made with the server's usual 1024-frame cycle: a non-realtime server on a
// loaded machine drops short cycles now and then, which the frequency response does not
// depend on (the short cycle's added latency is the bench's to measure).
osconf::HostEffects::Options Measuring()
{
    osconf::HostEffects::Options options;
    options.cycleFrames = 1024;
    return options;
}

class HostEffectsTest : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        if (!g_session)
            g_session = std::make_unique<PipeWireSession>();
    }
    static void TearDownTestSuite() { g_session.reset(); }
    void SetUp() override
    {
        if (!g_session->ready())
            GTEST_SKIP() << "no PipeWire session could be started here: " << g_session->why();
    }
};

}  // namespace

// Not a test of its own: the graph holder of the crash test, run as a separate process.
TEST(HostEffectsHolder, HoldsAGraphUntilKilled)
{
    if (!std::getenv(kHoldVariable))
        GTEST_SKIP() << "only run as the crash test's graph holder";
    auto effects = osconf::HostEffects::Start({});
    ASSERT_TRUE(effects && effects->EqualiserLoaded());
    std::printf("HOLDING\n");
    std::fflush(stdout);
    for (;;)
        ::pause();
}

// The filters' gains make the cascade hit every band value at its centre, neighbours included.
TEST(HostEffectsCurve, FilterGainsReachEveryPresetAtTheBandCentres)
{
    for (const auto& preset : kPresets) {
        std::array<double, 10> wanted{};
        for (size_t b = 0; b < 10; ++b)
            wanted[b] = preset[b];
        const auto gains = osconf::EqFilterGains(wanted, 48000);
        for (size_t b = 0; b < 10; ++b)
            EXPECT_NEAR(osconf::EqResponseDb(gains, osconf::kEqBandHz[b], 48000), wanted[b], 0.05) << "band " << b;
    }
    // Values beyond the sliders' range are limited, not amplified without bound.
    std::array<double, 10> loud{};
    loud.fill(1000);
    const auto gains = osconf::EqFilterGains(loud, 48000);
    EXPECT_NEAR(osconf::EqResponseDb(gains, 1000, 48000), osconf::kEqMaxDb, 0.1);
}

// Ten sines at the band centres played through the default output (the equaliser's sink once it
// is loaded) and recorded from the headset's sink: flat when off, each preset's curve when on.
TEST_F(HostEffectsTest, MeasuredResponseFollowsEveryPreset)
{
    auto effects = osconf::HostEffects::Start(Measuring());
    ASSERT_TRUE(effects);
    ASSERT_TRUE(effects->EqualiserLoaded());
    EXPECT_EQ(effects->TargetSink(), PipeWireSession::kHeadsetSink);
    ASSERT_TRUE(QTest::qWaitFor([] { return PipeWireSession::DefaultSink() == kEqNode; }, 10000))
        << "default output: " << PipeWireSession::DefaultSink().toStdString();

    // Each tone at 1/10 of full scale before mixing (sox -m divides by the count).
    const QString tones = g_session->path("tones.wav");
    QStringList args{"-m"};
    for (size_t b = 0; b < 10; ++b) {
        const QString one = g_session->path(QStringLiteral("tone%1.wav").arg(b));
        ASSERT_TRUE(PipeWireSession::Run("sox", {"-n", "-r", "48000", "-c", "2", "-e", "floating-point", "-b", "32",
                                                 one, "synth", "1.6", "sine", QString::number(osconf::kEqBandHz[b]),
                                                 "vol", "0.2"}));
        args << one;
    }
    ASSERT_TRUE(PipeWireSession::Run("sox", args << tones));
    const double input = 0.2 / 10;

    // The band centres are all multiples of 31.25 Hz, so the ten tones together repeat every
    // 1536 frames: over whole periods each tone's level is read exactly (no leakage between
    // bands), and every whole period of a clean recording has the same energy. A loaded machine
    // may drop a few milliseconds of a recording, which would take every band down alike and pass
    // for a wrong gain: only three consecutive periods at the recording's usual energy (its
    // median) are measured, and the tone is played again (at most five times) when a recording
    // has none.
    auto measure = [&](std::array<double, 10>& db) -> bool {
        constexpr size_t kPeriod = 1536, kPeriods = 3;
        for (int attempt = 0; attempt < 5; ++attempt) {
            const std::vector<float> rec =
                PipeWireSession::PlayAndRecord(tones, {}, QStringLiteral("%1.monitor").arg(PipeWireSession::kHeadsetSink));
            const size_t onset = PipeWireSession::Onset(rec), end = PipeWireSession::End(rec);
            std::vector<double> energy;
            for (size_t p = onset + 4800; p + kPeriod + 2400 <= end; p += kPeriod) {
                double e = 0;
                for (size_t i = p; i < p + kPeriod; ++i)
                    e += double(rec[2 * i]) * rec[2 * i];
                energy.push_back(e);
            }
            if (energy.size() < kPeriods)
                continue;
            std::vector<double> sorted = energy;
            std::nth_element(sorted.begin(), sorted.begin() + long(sorted.size() / 2), sorted.end());
            const double usual = sorted[sorted.size() / 2];
            for (size_t first = 0; first + kPeriods <= energy.size(); ++first) {
                if (!std::all_of(energy.begin() + long(first), energy.begin() + long(first + kPeriods),
                                 [&](double e) { return std::fabs(e / usual - 1) < 0.002; }))
                    continue;
                const size_t start = onset + 4800 + first * kPeriod;
                for (size_t b = 0; b < 10; ++b)
                    db[b] = 20 * std::log10(PipeWireSession::Amplitude(rec, start, kPeriods * kPeriod,
                                                                       osconf::kEqBandHz[b], false) / input);
                return true;
            }
        }
        return false;
    };
    auto applied = [&](unsigned before) {
        // The update leaves within 30 ms; one more server round trip brings it to the graph.
        return QTest::qWaitFor([&] { return effects->Updates() > before; }, 2000);
    };

    unsigned before = effects->Updates();
    effects->SetEqualiser(true, kPresets[0]);
    ASSERT_TRUE(applied(before));
    before = effects->Updates();
    effects->SetEqualiser(false, kPresets[0]);
    ASSERT_TRUE(applied(before));
    std::array<double, 10> db{};
    ASSERT_TRUE(measure(db)) << "every recording had a dropout";
    for (size_t b = 0; b < 10; ++b)
        EXPECT_NEAR(db[b], 0.0, 0.1) << "equaliser off, band " << b + 1;

    for (size_t p = 0; p < kPresets.size(); ++p) {
        before = effects->Updates();
        effects->SetEqualiser(true, kPresets[p]);
        if (p != 4) {  // preset 5 is flat: the same gains as off, nothing to send
            ASSERT_TRUE(applied(before));
        }
        ASSERT_TRUE(measure(db)) << "preset " << p + 1 << ": every recording had a dropout";
        for (size_t b = 0; b < 10; ++b)
            EXPECT_NEAR(db[b], kPresets[p][b], 1.0) << "preset " << p + 1 << ", band " << b + 1;
    }

    // A dragged slider: many changes, at most one update per 30 ms, and the last one arrives.
    QElapsedTimer clock;
    clock.start();
    before = effects->Updates();
    std::array<int, 10> bands{};
    for (int v = -20; v <= 20; ++v) {
        bands[5] = v;
        effects->SetEqualiser(true, bands);
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    const qint64 elapsed = clock.elapsed();
    QTest::qWait(2 * osconf::kUpdateSpacingMs);
    EXPECT_LE(effects->Updates() - before, unsigned(elapsed / osconf::kUpdateSpacingMs + 2));
    EXPECT_GE(effects->Updates() - before, 2u);

    // A clean end gives the default output back to the headset.
    effects.reset();
    EXPECT_EQ(PipeWireSession::CountNodes("tessel.effects."), 0);
    EXPECT_TRUE(QTest::qWaitFor([] { return PipeWireSession::DefaultSink() == PipeWireSession::kHeadsetSink; }, 10000))
        << PipeWireSession::DefaultSink().toStdString();
}

// A 440 Hz tone spoken into the headset's microphone comes out of the voice changer's source
// shifted by each pitch effect's ratio, and unchanged with the voice changer off.
TEST_F(HostEffectsTest, VoiceChangerShiftsThePitch)
{
    if (!osconf::LadspaPluginPresent("ladspa-rubberband.so"))
        GTEST_SKIP() << "the LADSPA pitch shifter is not installed (rubberband-ladspa)";
    auto effects = osconf::HostEffects::Start(Measuring());
    ASSERT_TRUE(effects);
    ASSERT_TRUE(effects->VoiceLoaded());
    const QString tone = g_session->path("a440.wav");
    ASSERT_TRUE(PipeWireSession::Run("sox", {"-n", "-r", "48000", "-c", "1", "-e", "floating-point", "-b", "32", tone,
                                             "synth", "1.6", "sine", "440", "vol", "0.3"}));
    struct Case {
        bool on;
        int effect;
        double ratio;
    };
    const Case cases[] = {{false, 1, 1.0}, {true, 1, std::pow(2.0, -4 / 12.0)}, {true, 2, std::pow(2.0, 4 / 12.0)},
                          {true, 4, std::pow(2.0, 7 / 12.0)}};
    for (const Case& c : cases) {
        const unsigned before = effects->Updates();
        effects->SetVoice(c.on, c.effect);
        if (c.on) {
            ASSERT_TRUE(QTest::qWaitFor([&] { return effects->Updates() > before; }, 2000));
        }
        // A loaded machine may start the recorder too late for a play; the tone is played again.
        std::vector<float> rec;
        size_t onset = 0, end = 0;
        for (int attempt = 0; attempt < 3 && end <= onset + 24000; ++attempt) {
            rec = PipeWireSession::PlayAndRecord(tone, PipeWireSession::kMicFeed, "tessel.effects.voice");
            onset = PipeWireSession::Onset(rec, 0.01f);
            end = PipeWireSession::End(rec, 0.01f);
        }
        ASSERT_GT(end, onset + 24000) << "effect " << c.effect << ": recorded " << rec.size() / 2 << " frames";
        const double hz = PipeWireSession::DominantHz(rec, (onset + end) / 2 - 6000, 12000, 200, 1000);
        EXPECT_NEAR(hz, 440 * c.ratio, 440 * c.ratio * 0.02) << "effect " << c.effect << (c.on ? " on" : " off");
    }
}

// kill -9 leaves no graph behind, and a graph still held by another process (a Tessel whose
// window hangs while its sound thread runs) is replaced: at every start there is exactly one.
TEST_F(HostEffectsTest, RestartAfterACrashLeavesExactlyOneGraph)
{
    Holder crashed;
    ASSERT_TRUE(crashed.Start()) << crashed.process.readAllStandardError().toStdString();
    EXPECT_EQ(PipeWireSession::CountNodes(kEqNode), 1);
    ::kill(pid_t(crashed.process.processId()), SIGKILL);
    crashed.process.waitForFinished(5000);
    {
        auto effects = osconf::HostEffects::Start({});
        ASSERT_TRUE(effects && effects->EqualiserLoaded());
        EXPECT_EQ(PipeWireSession::CountNodes(kEqNode), 1);
    }

    Holder hung;
    ASSERT_TRUE(hung.Start());
    {
        auto effects = osconf::HostEffects::Start({});
        ASSERT_TRUE(effects && effects->EqualiserLoaded());
        EXPECT_EQ(PipeWireSession::CountNodes(kEqNode), 1);
    }
    ::kill(pid_t(hung.process.processId()), SIGKILL);
    hung.process.waitForFinished(5000);
}

// The headset's sink going away takes the graph with it; the default output falls back.
TEST_F(HostEffectsTest, UnplugRemovesTheGraph)
{
    // A second headset of its own (another product id), so the session's stays for the others.
    QByteArray module;
    ASSERT_TRUE(PipeWireSession::Run("pactl", {"load-module", "module-null-sink", "sink_name=tessel_test_second",
                                               "sink_properties=device.vendor.id=0x0c76 device.product.id=0x9999"},
                                     &module));
    ASSERT_TRUE(PipeWireSession::Run("pactl", {"set-default-sink", "tessel_test_second"}));
    ASSERT_TRUE(QTest::qWaitFor([] { return PipeWireSession::DefaultSink() == "tessel_test_second"; }, 10000));
    osconf::HostEffects::Options options;
    options.usbProduct = "0x9999";
    options.voice = false;
    auto effects = osconf::HostEffects::Start(options);
    ASSERT_TRUE(effects && effects->EqualiserLoaded());
    EXPECT_EQ(effects->TargetSink(), "tessel_test_second");
    ASSERT_TRUE(QTest::qWaitFor([] { return PipeWireSession::DefaultSink() == kEqNode; }, 10000));
    ASSERT_TRUE(PipeWireSession::Run("pactl", {"unload-module", QString::fromUtf8(module).trimmed()}));
    EXPECT_TRUE(QTest::qWaitFor([&] { return !effects->EqualiserLoaded(); }, 5000));
    EXPECT_TRUE(QTest::qWaitFor([] { return PipeWireSession::CountNodes(kEqNode) == 0; }, 5000));
    EXPECT_TRUE(QTest::qWaitFor([] {
        const QString now = PipeWireSession::DefaultSink();
        return !now.isEmpty() && now != kEqNode;
    }, 10000)) << PipeWireSession::DefaultSink().toStdString();
    effects.reset();
}

// Without a PipeWire server nothing is loaded, nothing waits, and the features say why.
TEST(HostEffectsWithoutPipeWire, ReportsTheMissingServer)
{
    QTemporaryDir empty;
    const QByteArray old = qgetenv("XDG_RUNTIME_DIR");
    qputenv("XDG_RUNTIME_DIR", empty.path().toUtf8());
    QElapsedTimer clock;
    clock.start();
    EXPECT_EQ(osconf::HostEffects::Start({}), nullptr);
    EXPECT_LT(clock.elapsed(), 2000);
    const osconf::HostAudio host = osconf::DetectHostAudio();
    EXPECT_FALSE(host.pipewire);
    EXPECT_FALSE(osconf::EqualiserAvailable(host));
    EXPECT_EQ(std::stoi(osconf::PlaybackFeatures(host).substr(osconf::PlaybackFeatures(host).find(',') + 1)) &
                  osconf::kMissingPipeWire,
              osconf::kMissingPipeWire);
    qputenv("XDG_RUNTIME_DIR", old);
}

// PipeWire 0.3.65's filter chain leaves 22 bytes behind for each LADSPA graph it unloads. The
// leak checker names a frame only by its library, so that library stays loaded for the whole run
// and its leaks alone are let through.
extern "C" const char* __lsan_default_suppressions()
{
    return "leak:libpipewire-module-filter-chain.so\n";
}

int main(int argc, char** argv)
{
    dlopen(TESSEL_PIPEWIRE_MODULEDIR "/libpipewire-module-filter-chain.so", RTLD_NOW | RTLD_NODELETE);
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
