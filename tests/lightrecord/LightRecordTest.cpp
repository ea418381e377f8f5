// Audio-reactive lighting end to end with a real sound server: the capture program on its own
// (the tone's energy lands in its bins), and the real main window with the simulated keyboard in
// its music mode (light that follows the sound, the stop codes after silence, the watchdog
// bringing a killed capture program back). Skipped, with the reason, when no sound server runs.

#include "devices/CVantikKeyboardDevice.h"
#include "lightrecord/RecorderProtocol.h"
#include "tests/support/SimulatorProcess.h"
#include "tests/support/SoundServer.h"
#include "tests/support/WindowOnSimulator.h"
#include "app/AudioRecorder.h"

#include <QElapsedTimer>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLocalSocket>
#include <QProcess>
#include <QSet>
#include <csignal>
#include <numeric>

namespace {

constexpr int kWaitMs = 20000;

qint64 RecorderPid()
{
    if (!lightrecord::RecorderRunning())
        return 0;
    QFile f(QString::fromStdString(lightrecord::LockPath()));
    return f.open(QIODevice::ReadOnly) ? f.readAll().trimmed().toLongLong() : 0;
}

// Connects to the capture program as Tessel does and collects its spectrum frames.
struct RecorderClient {
    QLocalSocket socket;
    std::vector<std::array<int32_t, 500>> frames;
    lightrecord::StreamParser parser{nullptr, [this](uint32_t type, const uint8_t* d, size_t kept, uint32_t) {
                                         if (type != lightrecord::kSpectrumBlock || kept < 2000)
                                             return;
                                         std::array<int32_t, 500> v;
                                         for (size_t i = 0; i < v.size(); ++i)
                                             v[i] = int32_t(lightrecord::ReadLe32(d + 4 * i));
                                         frames.push_back(v);
                                     }};

    bool Register()
    {
        if (!QTest::qWaitFor([&] {
                socket.connectToServer(QString::fromStdString(lightrecord::SocketPath()));
                return socket.waitForConnected(200);
            }, kWaitMs))
            return false;
        QObject::connect(&socket, &QLocalSocket::readyRead, [this] {
            const QByteArray b = socket.readAll();
            parser.Feed(reinterpret_cast<const uint8_t*>(b.data()), size_t(b.size()));
        });
        for (uint32_t code : {0u, 3u, 1u}) {
            const auto m = lightrecord::EncodeMessage(code, code == 0 ? uint32_t(getpid()) : 0);
            socket.write(reinterpret_cast<const char*>(m.data()), qint64(m.size()));
        }
        return socket.flush() || socket.bytesToWrite() == 0;
    }
    void Send(uint32_t code)
    {
        const auto m = lightrecord::EncodeMessage(code, 0);
        socket.write(reinterpret_cast<const char*>(m.data()), qint64(m.size()));
        socket.flush();
    }
};

int PeakBin(const std::array<int32_t, 500>& v)
{
    return int(std::max_element(v.begin(), v.end()) - v.begin());
}

}  // namespace

TEST(LightRecord, ReportsAToneInItsBinsAndStopsAfterTheQuietTail)
{
    testsupport::SoundServer sound;
    if (!sound.ready())
        GTEST_SKIP() << "no sound server for the test: " << sound.why();
    QProcess recorder;
    recorder.setProcessChannelMode(QProcess::ForwardedChannels);
    recorder.start(TESSEL_LIGHTRECORD_EXE, {"--no-screen"});
    ASSERT_TRUE(recorder.waitForStarted(5000));
    RecorderClient client;
    ASSERT_TRUE(client.Register());
    ASSERT_TRUE(QTest::qWaitFor([&] { return RecorderPid() == recorder.processId(); }, kWaitMs));

    // Silence (the idle sink) sends nothing.
    QTest::qWait(300);
    EXPECT_TRUE(client.frames.empty());

    // 1 kHz lies between bins 42 and 43 (48000 / 2048 = 23.4 Hz a bin).
    sound.Play(testsupport::SoundServer::Tone(1000, 1.0));
    ASSERT_TRUE(QTest::qWaitFor([&] { return client.frames.size() > 20; }, kWaitMs));
    int inBin = 0;
    for (const auto& f : client.frames)
        inBin += PeakBin(f) == 42 || PeakBin(f) == 43;
    EXPECT_GT(inBin, int(client.frames.size()) / 2) << "most frames peak at the tone";
    const auto& loud = client.frames[client.frames.size() / 2];
    EXPECT_GT(loud[43], loud[200] + 300) << "far above a bin without sound";

    // After the tone, frames go on for a short tail (quiet ones), then stop.
    ASSERT_TRUE(QTest::qWaitFor([&] {
        const size_t n = client.frames.size();
        QTest::qWait(400);
        return n == client.frames.size();
    }, kWaitMs));
    const auto& last = client.frames.back();
    EXPECT_EQ(std::accumulate(last.begin(), last.end(), 0LL), 0) << "the tail ends in silence";

    // The stop codes end it, and its lock with it.
    client.Send(lightrecord::kStop1);
    EXPECT_TRUE(recorder.waitForFinished(5000));
    EXPECT_FALSE(lightrecord::RecorderRunning());
}

namespace {

class Simulator : public testsupport::SimulatorProcess {
public:
    using testsupport::SimulatorProcess::SimulatorProcess;
    QByteArray frame()
    {
        const auto out = Call({"dump", "keyboard", "frame"});
        return out ? QByteArray::fromHex(QJsonDocument::fromJson(*out).object().value("hex").toString().toLatin1())
                   : QByteArray();
    }
};

// The window is made after the sound server, so it and the capture program it starts use the
// server's runtime folder.
class AudioLightingTest : public testsupport::WindowOnSimulatorTest<Simulator> {
protected:
    void SetUp() override
    {
        sound = std::make_unique<testsupport::SoundServer>();
        if (!sound->ready())
            GTEST_SKIP() << "no sound server for the test: " << sound->why();
        qputenv("TESSEL_LIGHTRECORD", TESSEL_LIGHTRECORD_EXE);
        qputenv("TESSEL_LIGHTRECORD_SCREEN", "0");
        WindowOnSimulatorTest::SetUp();
        if (HasFatalFailure())
            return;
        ASSERT_TRUE(sim->Run({"plug", "keyboard", "--route", "cable"}));
        ASSERT_TRUE(QTest::qWaitFor([&] {
            for (CVantikUSBDevice* d : window->Devices()->AllDevices())
                if (auto* k = qobject_cast<CVantikKeyboardDevice*>(d); k && k->Transport().isReady() && k->IdentifiedKeyCount() > 0)
                    keyboard = k;
            return keyboard != nullptr;
        }, kWaitMs));
        ASSERT_TRUE(QTest::qWaitFor([&] { return window->Devices()->CurrentDevice() == keyboard; }, kWaitMs));
    }
    void TearDown() override
    {
        if (window)
            WindowOnSimulatorTest::TearDown();
        // The capture program ends on the window's stop codes; the sound server goes last.
        QTest::qWaitFor([] { return !lightrecord::RecorderRunning(); }, 5000);
        sound.reset();
        qunsetenv("TESSEL_LIGHTRECORD");
        qunsetenv("TESSEL_LIGHTRECORD_SCREEN");
    }
    bool Registered() const { return window->Recorder() && *window->Recorder()->IsRegisteredFlag(); }

    std::unique_ptr<testsupport::SoundServer> sound;
    CVantikKeyboardDevice* keyboard = nullptr;
};

}  // namespace

TEST_F(AudioLightingTest, MusicModeFollowsTheSoundAndSilenceStopsTheCaptureProgram)
{
    ASSERT_TRUE(QTest::qWaitFor([&] { return Registered() && RecorderPid() > 0; }, kWaitMs));
    // The connection's reads land first (the keyboard's own mode would replace the one set here).
    auto drained = std::make_shared<bool>(false);
    keyboard->Io().AfterQueued([drained] { *drained = true; });
    ASSERT_TRUE(QTest::qWaitFor([&] { return *drained; }, kWaitMs));
    LightState s = keyboard->GetLightState();
    s.mode = 29;  // music
    s.brightness = 4;
    keyboard->SetLightBlock(s);
    const qint64 first = RecorderPid();

    // A pulsing tone: the keyboard's frames keep changing and light up.
    sound->Play(testsupport::SoundServer::Tone(1000, 3.0, 6));
    QSet<QByteArray> frames;
    bool lit = false;
    ASSERT_TRUE(QTest::qWaitFor([&] {
        const QByteArray f = sim->frame();
        frames.insert(f);
        lit = lit || f.count('\0') < f.size();
        return frames.size() >= 4 && lit;
    }, kWaitMs)) << frames.size() << " different frames, lit " << lit << "; keyboard level of band 8: "
                 << window->Spectrum().KeyboardLevels()[8] << ", frames queued " << window->Spectrum().Queued()
                 << ", mode " << int(keyboard->GetLightState().mode);

    // Once the tone is over the frames fall quiet, the window sends the stop codes and the
    // capture program ends; the watchdog starts a new one.
    ASSERT_TRUE(QTest::qWaitFor([&] { return RecorderPid() != first; }, kWaitMs));
    EXPECT_TRUE(QTest::qWaitFor([&] { return RecorderPid() > 0 && RecorderPid() != first && Registered(); }, kWaitMs));
}

TEST_F(AudioLightingTest, WatchdogBringsAKilledCaptureProgramBack)
{
    ASSERT_TRUE(QTest::qWaitFor([&] { return Registered() && RecorderPid() > 0; }, kWaitMs));
    const qint64 pid = RecorderPid();
    QElapsedTimer t;
    t.start();
    ASSERT_EQ(::kill(pid_t(pid), SIGKILL), 0);
    ASSERT_TRUE(QTest::qWaitFor([&] { return RecorderPid() > 0 && RecorderPid() != pid && Registered(); }, kWaitMs));
    const qint64 back = t.elapsed();
    std::printf("capture program back and registered %lld ms after kill -9\n", static_cast<long long>(back));
    // The watchdog looks once a second and registers 500 ms after a launch: about 1.5 s. The
    // bound leaves room for a loaded machine.
    EXPECT_LT(back, 6000);
}

TEST_F(AudioLightingTest, AHungCaptureProgramDoesNotBlockTheWindow)
{
    ASSERT_TRUE(QTest::qWaitFor([&] { return Registered() && RecorderPid() > 0; }, kWaitMs));
    const qint64 pid = RecorderPid();
    ASSERT_EQ(::kill(pid_t(pid), SIGSTOP), 0);
    // Style colours and slider codes pile up unread; the window's event loop keeps turning.
    QElapsedTimer t;
    t.start();
    for (int i = 0; i < 5000; ++i)
        window->Recorder()->SendCode(lightrecord::kSliderR, uint32_t(i));
    window->SendStyleColour();
    EXPECT_LT(t.elapsed(), 1500);
    bool turned = false;
    QTimer::singleShot(10, [&] { turned = true; });
    EXPECT_TRUE(QTest::qWaitFor([&] { return turned; }, 2000));
    ::kill(pid_t(pid), SIGCONT);
}
