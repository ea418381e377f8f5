// Audio-reactive lighting figures: the capture program's CPU while a tone plays, the cost of
// turning its frames into levels in Tessel, the delay from a tone starting in the sink to the
// simulated keyboard's light changing, and the cost of one screen-colour sample on a 1920 x 1080
// X server. Prints figures; asserts nothing.
// Usage: tessel_bench_lightrecord [--seconds S] [--trials N]

#include "app/Application.h"
#include "app/AudioRecorder.h"
#include "app/AudioSpectrum.h"
#include "app/CMainWnd.h"
#include "app/DeviceHub.h"
#include "app/RegisteredMessages.h"
#include "devices/CVantikKeyboardDevice.h"
#include "lightrecord/RecorderProtocol.h"
#include "lightrecord/ScreenColour.h"
#include "sim/Simulator.h"
#include "tests/support/ScriptedMessages.h"
#include "tests/support/SoundServer.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QLocalSocket>
#include <QProcess>
#include <QStandardPaths>
#include <QTimer>

#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <sys/resource.h>
#include <unistd.h>

namespace {

double ProcessCpuSeconds(qint64 pid)
{
    std::ifstream f("/proc/" + std::to_string(pid) + "/stat");
    std::string line;
    std::getline(f, line);
    const auto close = line.rfind(')');
    if (close == std::string::npos)
        return 0;
    std::istringstream rest(line.substr(close + 2));
    std::string field;
    unsigned long long utime = 0, stime = 0;
    for (int i = 3; i <= 15 && rest >> field; ++i) {
        if (i == 14) utime = std::stoull(field);
        if (i == 15) stime = std::stoull(field);
    }
    return double(utime + stime) / double(sysconf(_SC_CLK_TCK));
}

// A player that writes real-time chunks into one open stream: silence until Tone(), so the
// moment a tone starts is known to within one 10 ms chunk.
class LivePlayer {
public:
    LivePlayer()
    {
        m_pacat.start(QStringLiteral("pacat"), {"--playback", "--format=float32le", "--rate=48000", "--channels=1",
                                               "--latency-msec=10", "--client-name=tessel-bench"});
        m_pacat.waitForStarted(5000);
        m_clock.start();
        QObject::connect(&m_timer, &QTimer::timeout, [this] { Feed(); });
        m_timer.start(5);
    }
    ~LivePlayer()
    {
        m_pacat.kill();
        m_pacat.waitForFinished(2000);
    }
    void Tone(double seconds, double hz = 1000, double tremolo = 6)
    {
        m_tone = testsupport::SoundServer::Tone(hz, seconds, tremolo);
        m_toneAt = 0;
    }
    bool Playing() const { return m_toneAt < m_tone.size(); }

private:
    void Feed()
    {
        // Keep about 20 ms written ahead of the clock.
        const qint64 due = (m_clock.elapsed() + 20) * 48;
        while (m_written < due) {
            float chunk[480] = {};
            const qsizetype n = std::min<qsizetype>(sizeof chunk, m_tone.size() - m_toneAt);
            if (n > 0) {
                std::memcpy(chunk, m_tone.constData() + m_toneAt, size_t(n));
                m_toneAt += n;
            }
            m_pacat.write(reinterpret_cast<const char*>(chunk), sizeof chunk);
            m_written += 480;
        }
    }
    QProcess m_pacat;
    QTimer m_timer;
    QElapsedTimer m_clock;
    qint64 m_written = 0;
    QByteArray m_tone;
    qsizetype m_toneAt = 0;
};

struct Frames {
    QLocalSocket socket;
    std::vector<std::array<int32_t, 500>> frames;
    lightrecord::StreamParser parser{nullptr, [this](uint32_t type, const uint8_t* d, size_t kept, uint32_t) {
                                         if (type != 1 || kept < 2000)
                                             return;
                                         std::array<int32_t, 500> v;
                                         for (size_t i = 0; i < 500; ++i)
                                             v[i] = int32_t(lightrecord::ReadLe32(d + 4 * i));
                                         frames.push_back(v);
                                     }};
    bool Register()
    {
        QElapsedTimer t;
        t.start();
        while (t.elapsed() < 10000) {
            socket.connectToServer(QString::fromStdString(lightrecord::SocketPath()));
            if (socket.waitForConnected(200))
                break;
            QThread::msleep(50);
        }
        if (socket.state() != QLocalSocket::ConnectedState)
            return false;
        QObject::connect(&socket, &QLocalSocket::readyRead, [this] {
            const QByteArray b = socket.readAll();
            parser.Feed(reinterpret_cast<const uint8_t*>(b.data()), size_t(b.size()));
        });
        for (uint32_t code : {0u, 3u, 1u}) {
            const auto m = lightrecord::EncodeMessage(code, code == 0 ? uint32_t(getpid()) : 0);
            socket.write(reinterpret_cast<const char*>(m.data()), qint64(m.size()));
        }
        socket.flush();
        return true;
    }
};

void Wait(int ms)
{
    QElapsedTimer t;
    t.start();
    while (t.elapsed() < ms)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
}

bool WaitFor(const std::function<bool()>& f, int ms)
{
    QElapsedTimer t;
    t.start();
    while (!f()) {
        if (t.elapsed() > ms)
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 1);
    }
    return true;
}

std::vector<std::array<int32_t, 500>> RecorderCpu(double seconds)
{
    QProcess recorder;
    recorder.start(QStringLiteral(TESSEL_LIGHTRECORD_EXE), {"--no-screen"});
    recorder.waitForStarted(5000);
    Frames client;
    if (!client.Register()) {
        std::printf("capture program: no connection, no figure\n");
        return {};
    }
    LivePlayer player;
    player.Tone(seconds + 1.0);
    Wait(500);
    const size_t framesBefore = client.frames.size();
    const double cpu0 = ProcessCpuSeconds(recorder.processId());
    QElapsedTimer t;
    t.start();
    Wait(int(seconds * 1000));
    const double wall = double(t.elapsed()) / 1000.0;
    const double cpu = ProcessCpuSeconds(recorder.processId()) - cpu0;
    std::printf("tessel-lightrecord while a tone plays: %.2f %% of one core (goal < 2 %%), %.1f frames a second\n",
                100.0 * cpu / wall, double(client.frames.size() - framesBefore) / wall);
    const auto m = lightrecord::EncodeMessage(2, 0);
    client.socket.write(reinterpret_cast<const char*>(m.data()), qint64(m.size()));
    client.socket.flush();
    recorder.waitForFinished(3000);
    return client.frames;
}

void SpectrumCost(const std::vector<std::array<int32_t, 500>>& frames)
{
    if (frames.empty())
        return;
    app::AudioSpectrum s;
    const int rounds = 20000;
    const auto start = std::chrono::steady_clock::now();
    int sent = 0;
    for (int i = 0; i < rounds; ++i)
        sent += s.ProcessSpectrum(frames[size_t(i) % frames.size()].data(), i * 16).sendKeyboards;
    const double us = std::chrono::duration<double, std::micro>(std::chrono::steady_clock::now() - start).count() / rounds;
    std::printf("Tessel turning a frame into levels: %.2f us a frame, %.3f %% of one core at 60 frames a second "
                "(goal < 1 %%; %d level hand-outs)\n", us, us * 60 / 1e4, sent);
}

// The real window on the in-process simulator: the keyboard in its music mode, a tone started in
// the sink, the time until the keyboard's frame in the simulator changes.
void Latency(int trials, const QString& home)
{
    qputenv("XDG_DATA_HOME", (home + "/data").toUtf8());
    qputenv("XDG_CONFIG_HOME", (home + "/config").toUtf8());
    qputenv("TESSEL_SIM_DIR", (home + "/sim").toUtf8());
    qputenv("TESSEL_LIGHTRECORD", TESSEL_LIGHTRECORD_EXE);
    qputenv("TESSEL_LIGHTRECORD_SCREEN", "0");
    sim::SimulatorOptions options;
    options.dir = (home + "/sim").toStdString();
    sim::Simulator simulator(options);
    if (!simulator.start()) {
        std::printf("latency: the simulator did not start, no figure\n");
        return;
    }
    app::RegisteredMessages::RegisterAll();
    app::SetUpSkin(TESSEL_SKIN_DIR);
    app::RegisterControlClasses();
    auto window = std::make_unique<CMainWnd>(home + "/settings.ini", QString(TESSEL_DATA_DIR) + "/Language.config");
    window->Create(nullptr, "tamrel wireless");
    testsupport::AnswerMessages();
    simulator.plug(sim::DeviceKind::Keyboard, sim::Route::Cable);
    CVantikKeyboardDevice* keyboard = nullptr;
    WaitFor([&] {
        for (CVantikUSBDevice* d : window->Devices()->AllDevices())
            if (auto* k = qobject_cast<CVantikKeyboardDevice*>(d); k && k->Transport().isReady() && k->IdentifiedKeyCount() > 0)
                keyboard = k;
        return keyboard && window->Devices()->CurrentDevice() == keyboard;
    }, 20000);
    if (!keyboard) {
        std::printf("latency: no keyboard, no figure\n");
        return;
    }
    auto drained = std::make_shared<bool>(false);
    keyboard->Io().AfterQueued([drained] { *drained = true; });
    WaitFor([&] { return *drained; }, 20000);
    LightState s = keyboard->GetLightState();
    s.mode = 29;
    s.brightness = 4;
    keyboard->SetLightBlock(s);

    LivePlayer player;
    std::vector<double> ms;
    for (int i = 0; i < trials; ++i) {
        // Silence first: the capture program is stopped by it and started again by the watchdog.
        // Silence has set the levels to zero (the frame is dark and still) and the capture
        // program is registered again.
        WaitFor([&] {
            const auto& k = window->Spectrum().KeyboardLevels();
            return window->Recorder() && *window->Recorder()->IsRegisteredFlag() && !window->Spectrum().FramesPending() &&
                   std::all_of(k.begin(), k.end(), [](int v) { return v == 0; });
        }, 20000);
        Wait(300);
        const auto before = simulator.memory(sim::DeviceKind::Keyboard, sim::Region::Frame);
        Wait(100);
        if (simulator.memory(sim::DeviceKind::Keyboard, sim::Region::Frame) != before) {
            --i;
            continue;  // still moving from the last tone
        }
        QElapsedTimer t;
        player.Tone(0.6);
        t.start();
        if (WaitFor([&] { return simulator.memory(sim::DeviceKind::Keyboard, sim::Region::Frame) != before; }, 5000))
            ms.push_back(double(t.nsecsElapsed()) / 1e6);
        WaitFor([&] { return !player.Playing(); }, 5000);
        // The quiet tail and the stop codes; the watchdog brings a new capture program.
        Wait(2500);
    }
    if (ms.empty()) {
        std::printf("tone to keyboard light: no change seen, no figure\n");
    } else {
        std::sort(ms.begin(), ms.end());
        std::printf("tone to keyboard light: median %.0f ms, min %.0f, max %.0f over %zu tones (goal < 100 ms median; "
                    "includes the player's 10 ms buffer)\n", ms[ms.size() / 2], ms.front(), ms.back(), ms.size());
    }
    window->Shutdown();
    window.reset();
    simulator.stop();
}

void ScreenCost()
{
    const QString xvfb = QStandardPaths::findExecutable(QStringLiteral("Xvfb"));
    if (xvfb.isEmpty()) {
        std::printf("screen colour: Xvfb is not installed, no figure\n");
        return;
    }
    const QString display = QStringLiteral(":%1").arg(140 + getpid() % 50);
    QProcess server;
    server.start(xvfb, {display, "-screen", "0", "1920x1080x24", "-nolisten", "tcp"});
    server.waitForStarted(5000);
    const QByteArray old = qgetenv("DISPLAY");
    qputenv("DISPLAY", display.toUtf8());
    auto owned = std::make_unique<lightrecord::ScreenColour>();
    lightrecord::ScreenColour& screen = *owned;
    std::string why;
    Display* d = nullptr;
    if (!WaitFor([&] { return (d = XOpenDisplay(display.toUtf8().constData())) != nullptr; }, 10000) ||
        !screen.Open(why)) {
        std::printf("screen colour: no X server (%s), no figure\n", why.c_str());
        return;
    }
    std::array<int32_t, 6> c{};
    const int rounds = 200;
    auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < rounds; ++i)
        screen.Sample(c);
    const double grid = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count() / rounds;
    start = std::chrono::steady_clock::now();
    for (int i = 0; i < 20; ++i)
        XDestroyImage(XGetImage(d, DefaultRootWindow(d), 0, 0, 1920, 1080, AllPlanes, ZPixmap));
    const double full = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count() / 20;
    std::printf("screen colour on 1920 x 1080: %.3f ms a sample (goal < 1 ms); a full-screen copy would take %.2f ms\n",
                grid, full);
    XCloseDisplay(d);
    owned.reset();  // before its server goes
    qputenv("DISPLAY", old);
    server.terminate();
    server.waitForFinished(3000);
}

}  // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    double seconds = 5;
    int trials = 9;
    for (int i = 1; i + 1 < argc; i += 2) {
        if (!std::strcmp(argv[i], "--seconds"))
            seconds = std::atof(argv[i + 1]);
        else if (!std::strcmp(argv[i], "--trials"))
            trials = std::atoi(argv[i + 1]);
    }
    ScreenCost();
    testsupport::SoundServer sound;
    if (!sound.ready()) {
        std::printf("sound figures skipped: %s\n", sound.why().c_str());
        return 0;
    }
    const auto frames = RecorderCpu(seconds);
    SpectrumCost(frames);
    QTemporaryDir home;
    Latency(trials, home.path());
    return 0;
}
