// Audio-reactive lighting, the application's side without windows: the spectrum rules, the
// capture program's stream, the audio style file and the codes sent to a capture program.

#include "app/AudioRecorder.h"
#include "app/AudioSpectrum.h"
#include "app/AudioStyles.h"
#include "lightrecord/RecorderProtocol.h"
#include "profiles/CJsonFile.h"

#include <QDir>
#include <QFile>
#include <QLocalServer>
#include <QLocalSocket>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>

#include <climits>
#include <cstring>

using namespace app;

namespace {

// Feeds difference frames: each spectrum is the one before plus `d`, with alternating signs so
// the values stay small.
struct SpectrumFeed {
    AudioSpectrum spectrum;
    std::array<int32_t, 500> values{};
    int64_t now = 0;
    bool up = true;

    AudioSpectrum::Result Diff(const std::map<int, int>& d)
    {
        for (auto [i, v] : d)
            values[size_t(i)] += up ? v : -v;
        up = !up;
        now += 16;
        return spectrum.ProcessSpectrum(values.data(), now);
    }
    // Active: 200 in a value no band reads (the fifth of band 0), plus `band0` in its four.
    AudioSpectrum::Result Active(int band0 = 0)
    {
        return Diff({{0, band0}, {1, band0}, {2, band0}, {3, band0}, {4, 200}});
    }
    AudioSpectrum::Result Quiet(int total = 0) { return Diff({{10, total}}); }
};

}  // namespace

TEST(AudioSpectrum, QuietFramesStopTheRecorderOnTheThirdInARow)
{
    struct Case {
        const char* name;
        std::vector<int> totals;  // summed difference of each frame
        std::vector<bool> stops;
    };
    const Case cases[] = {
        {"three quiet", {0, 0, 0}, {false, false, true}},
        {"99 is still quiet", {99, 99, 99}, {false, false, true}},
        {"100 resets the count", {0, 0, 100, 0, 0, 0}, {false, false, false, false, false, true}},
        {"the count starts over after a stop", {0, 0, 0, 0, 0, 0}, {false, false, true, false, false, true}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        SpectrumFeed f;
        for (size_t i = 0; i < c.totals.size(); ++i)
            EXPECT_EQ(f.Quiet(c.totals[i]).stopRecorder, c.stops[i]) << "frame " << i;
    }
}

TEST(AudioSpectrum, QueueOfFourReleasesTheOldestOrDropsAllForOneQuiet)
{
    SpectrumFeed f;
    for (int i = 0; i < 3; ++i)
        f.Active(40);
    EXPECT_EQ(f.spectrum.Queued(), 3u);
    f.Active(40);
    EXPECT_EQ(f.spectrum.Queued(), 3u) << "the fourth active frame releases the oldest";
    EXPECT_EQ(f.spectrum.KeyboardLevels()[0], 40);

    SpectrumFeed g;
    g.Active(40), g.Active(40), g.Quiet(), g.Active(40);
    EXPECT_EQ(g.spectrum.Queued(), 0u) << "one quiet frame among four discards all four";
    EXPECT_EQ(g.spectrum.KeyboardLevels()[0], 0) << "nothing was released";
}

TEST(AudioSpectrum, LevelsMoveAQuarterAndGoOutOnEveryThirdMessage)
{
    SpectrumFeed f;
    f.Active(40);   // released at the fourth: K0 = (0 + 160) / 4 = 40
    f.Active(10);   // released at the fifth: K0 = (40 + 40) / 4 = 20
    f.Active(), f.Active();
    EXPECT_EQ(f.spectrum.KeyboardLevels()[0], 40);
    f.Active();
    EXPECT_EQ(f.spectrum.KeyboardLevels()[0], 20);

    SpectrumFeed g;
    std::vector<int> sentAt;
    for (int i = 1; i <= 10; ++i) {
        const auto r = g.Active(100);
        EXPECT_EQ(r.sendKeyboards, r.sendMouse);
        if (r.sendKeyboards)
            sentAt.push_back(i);
    }
    EXPECT_EQ(sentAt, (std::vector<int>{4, 7, 10}));
    // Band 1 of the mouse reads values 5 to 8; its buffer starts there, zeros after band 9.
    EXPECT_EQ(g.spectrum.MouseBuffer()[0], g.spectrum.MouseLevels()[1]);
    EXPECT_EQ(g.spectrum.MouseBuffer()[8], g.spectrum.MouseLevels()[9]);
    EXPECT_EQ(g.spectrum.MouseBuffer()[9], 0);
    EXPECT_EQ(g.spectrum.KeyboardBuffer()[0], g.spectrum.KeyboardLevels()[0]);
    EXPECT_GT(g.spectrum.KeyboardBuffer()[0], 0);
    EXPECT_EQ(g.spectrum.KeyboardBuffer()[25], 0);
}

TEST(AudioSpectrum, FramesExpireAfterHalfASecondWithoutOneAndTheLevelsFall)
{
    SpectrumFeed f;
    for (int i = 0; i < 6; ++i)
        f.Active(100);
    ASSERT_GT(f.spectrum.KeyboardBuffer()[0], 0);
    f.Active(), f.Active();
    EXPECT_FALSE(f.spectrum.ExpireFrames(f.now + 500));
    EXPECT_EQ(f.spectrum.Queued(), 3u);
    EXPECT_TRUE(f.spectrum.ExpireFrames(f.now + 501));
    EXPECT_EQ(f.spectrum.Queued(), 0u);
    EXPECT_FALSE(f.spectrum.FramesPending());
    EXPECT_EQ(f.spectrum.KeyboardLevels()[0], 0) << "lights do not go on showing a sound that stopped";
    EXPECT_EQ(f.spectrum.KeyboardBuffer()[0], 0);
    EXPECT_EQ(f.spectrum.MouseBuffer()[0], 0);
    EXPECT_FALSE(f.spectrum.ExpireFrames(f.now + 5000)) << "nothing pending";
}

TEST(AudioSpectrum, ExtremeValuesNeitherOverflowNorWrap)
{
    AudioSpectrum s;
    std::array<int32_t, 500> v;
    for (int i = 0; i < 8; ++i) {
        v.fill(i % 2 ? INT_MAX : INT_MIN);
        s.ProcessSpectrum(v.data(), i);
    }
    for (int level : s.KeyboardLevels())
        EXPECT_GE(level, 0);
}

// --- The capture program's stream ---

namespace {

struct Parsed {
    std::vector<std::pair<uint32_t, uint32_t>> messages;
    struct Block {
        uint32_t type;
        std::vector<uint8_t> kept;
        uint32_t size;
    };
    std::vector<Block> blocks;
    bool ok = true;
};

Parsed Parse(const std::vector<uint8_t>& stream, size_t chunk, size_t keep = lightrecord::kSpectrumBufferBytes)
{
    Parsed p;
    lightrecord::StreamParser parser(
        [&](uint32_t c, uint32_t v) { p.messages.push_back({c, v}); },
        [&](uint32_t t, const uint8_t* d, size_t kept, uint32_t size) {
            p.blocks.push_back({t, std::vector<uint8_t>(d, d + kept), size});
        },
        keep);
    for (size_t at = 0; at < stream.size(); at += chunk)
        p.ok = parser.Feed(stream.data() + at, std::min(chunk, stream.size() - at)) && p.ok;
    return p;
}

std::vector<uint8_t> Join(std::initializer_list<std::vector<uint8_t>> parts)
{
    std::vector<uint8_t> out;
    for (const auto& p : parts)
        out.insert(out.end(), p.begin(), p.end());
    return out;
}

}  // namespace

TEST(RecorderStream, RecordsSurviveAnyChunkingAndLargeBlocksAreClipped)
{
    std::vector<uint8_t> big(5000, 0x11);
    const auto stream = Join({lightrecord::EncodeMessage(0, 1234), lightrecord::EncodeBlock(1, big.data(), big.size()),
                              lightrecord::EncodeBlock(2, nullptr, 0), lightrecord::EncodeStyleColour(1, 2, 3),
                              lightrecord::EncodeMessage(5, 0)});
    for (size_t chunk : {stream.size(), size_t(1), size_t(7), size_t(4096)}) {
        SCOPED_TRACE(chunk);
        const Parsed p = Parse(stream, chunk);
        EXPECT_TRUE(p.ok);
        ASSERT_EQ(p.messages.size(), 2u);
        EXPECT_EQ(p.messages[0], std::make_pair(0u, 1234u));
        EXPECT_EQ(p.messages[1], std::make_pair(5u, 0u));
        ASSERT_EQ(p.blocks.size(), 3u);
        EXPECT_EQ(p.blocks[0].kept.size(), lightrecord::kSpectrumBufferBytes) << "clipped to the buffer";
        EXPECT_EQ(p.blocks[0].size, 5000u);
        EXPECT_EQ(p.blocks[1].kept.size(), 0u);
        ASSERT_EQ(p.blocks[2].kept.size(), lightrecord::kStyleColourBytes);
        EXPECT_EQ(lightrecord::ReadLe32(p.blocks[2].kept.data() + 4), 2u);
        EXPECT_EQ(lightrecord::ReadLe32(p.blocks[2].kept.data() + 12), 0u);
    }
}

TEST(RecorderStream, GarbageFailsTheStreamForGood)
{
    std::vector<uint8_t> unknownKind(12, 0);
    unknownKind[0] = 7;
    std::vector<uint8_t> hugeBlock = lightrecord::EncodeBlock(1, nullptr, 0);
    lightrecord::WriteLe32(hugeBlock.data() + 8, lightrecord::kMaxBlockBytes + 1);
    for (const auto& bad : {unknownKind, hugeBlock}) {
        const Parsed p = Parse(Join({bad, lightrecord::EncodeMessage(1, 0)}), 5);
        EXPECT_FALSE(p.ok);
        EXPECT_TRUE(p.messages.empty()) << "nothing after the failure is believed";
    }
}

// --- The audio style file ---

TEST(AudioStyles, LoadHoldsValuesInRangeAndStoreRoundTrips)
{
    Json::Value device;
    Json::Value& info = device["AudioLightInfo"];
    info["nAudioStyle"] = 7;
    info["nStyleR1"] = 12;
    info["nStyleG1"] = -3;
    info["nStyleB1"] = 4;
    info["nStyleName2"] = "";
    info["nStyleName3"] = "Bass";
    const AudioStyles s = AudioStyles::Load(device);
    EXPECT_EQ(s.current, 3);
    EXPECT_EQ(s.colours[1], (std::array<uint8_t, 3>{9, 0, 4}));
    EXPECT_EQ(s.names[1], QString::fromUtf8("第二组")) << "an empty name is the default";
    EXPECT_EQ(s.names[2], QStringLiteral("Bass"));
    EXPECT_EQ(AudioStyles::NameOrDefault(2, {}), QString::fromUtf8("第三组"));

    Json::Value out;
    out["Other"] = 1;
    s.Store(out);
    EXPECT_EQ(AudioStyles::Load(out), s);
    EXPECT_EQ(out["Other"].asInt(), 1) << "other members stay";
}

TEST(AudioStyles, StartKeepsTheUsersFileAndReplacesOnlyOneWithoutStyles)
{
    QTemporaryDir dir;
    const QString user = dir.filePath("AudioFile.json");
    const QString shipped = QStringLiteral(TESSEL_DATA_DIR "/AudioFile.json");
    ASSERT_TRUE(audiofile::HoldsStyles(CJsonFile::ReadJson(shipped)));

    // No user file: the shipped one is copied.
    Json::Value doc = audiofile::LoadAtStart(user, shipped);
    EXPECT_TRUE(audiofile::HoldsStyles(doc));
    EXPECT_TRUE(audiofile::HoldsStyles(CJsonFile::ReadJson(user)));

    // The user's own styles survive the next start.
    AudioStyles mine = AudioStyles::Load(doc["Device"]);
    mine.names[0] = QStringLiteral("Mine");
    mine.colours[0] = {1, 2, 3};
    mine.Store(doc["Device"]);
    ASSERT_EQ(audiofile::Save(user, doc), 0);
    EXPECT_EQ(AudioStyles::Load(audiofile::LoadAtStart(user, shipped)["Device"]), mine);
    EXPECT_EQ(AudioStyles::Load(CJsonFile::ReadJson(user)["Device"]), mine);

    // A file without the styles (damaged) is kept beside the shipped copy.
    QFile f(user);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write("{ not json");
    f.close();
    EXPECT_TRUE(audiofile::HoldsStyles(audiofile::LoadAtStart(user, shipped)));
    EXPECT_TRUE(audiofile::HoldsStyles(CJsonFile::ReadJson(user)));
    EXPECT_EQ(QDir(dir.path()).entryList({QStringLiteral("AudioFile.json.damaged-*")}).size(), 1);
}

// --- Codes to a capture program ---

namespace {

// Stands in for the capture program's socket in a private runtime folder.
struct FakeRecorder {
    QTemporaryDir runtime;
    QByteArray oldRuntime = qgetenv("XDG_RUNTIME_DIR");
    QLocalServer server;
    QLocalSocket* peer = nullptr;
    Parsed got;
    std::unique_ptr<lightrecord::StreamParser> parser;

    FakeRecorder()
    {
        qputenv("XDG_RUNTIME_DIR", runtime.path().toUtf8());
        server.listen(QString::fromStdString(lightrecord::SocketPath()));
        parser = std::make_unique<lightrecord::StreamParser>(
            [this](uint32_t c, uint32_t v) { got.messages.push_back({c, v}); },
            [this](uint32_t t, const uint8_t* d, size_t kept, uint32_t size) {
                got.blocks.push_back({t, std::vector<uint8_t>(d, d + kept), size});
            },
            64);
        QObject::connect(&server, &QLocalServer::newConnection, [this] {
            peer = server.nextPendingConnection();
            QObject::connect(peer, &QLocalSocket::readyRead, [this] {
                const QByteArray b = peer->readAll();
                parser->Feed(reinterpret_cast<const uint8_t*>(b.data()), size_t(b.size()));
            });
        });
    }
    ~FakeRecorder() { qputenv("XDG_RUNTIME_DIR", oldRuntime); }
    std::vector<uint32_t> Codes() const
    {
        std::vector<uint32_t> out;
        for (auto [c, v] : got.messages)
            out.push_back(c);
        return out;
    }
    void Send(const std::vector<uint8_t>& bytes)
    {
        peer->write(reinterpret_cast<const char*>(bytes.data()), qint64(bytes.size()));
        peer->flush();
    }
};

}  // namespace

TEST(AudioRecorder, RegistersStopsAndSendsTheStyleColourWithGreenNeverZero)
{
    FakeRecorder fake;
    AudioRecorder recorder;
    std::vector<int32_t> spectrumFirst;
    std::vector<int32_t> screen;
    recorder.SetHandlers([&](const int32_t* v) { spectrumFirst.push_back(v[0]); },
                         [&](const int32_t* v) { screen.assign(v, v + 6); });
    recorder.SendStyleColour(1, 0, 2);  // not connected: nothing
    ASSERT_TRUE(recorder.RegisterWithRecorder());
    recorder.SendStyleColour(4, 0, 9);
    recorder.SendCode(lightrecord::kSliderG, 200);
    recorder.StopRecorder();
    QTRY_COMPARE_WITH_TIMEOUT(fake.got.messages.size(), size_t(7), 5000);
    EXPECT_EQ(fake.Codes(), (std::vector<uint32_t>{0, 3, 1, 7, 2, 4, 5}));
    EXPECT_EQ(fake.got.messages[0].second, uint32_t(getpid()));
    EXPECT_EQ(fake.got.messages[3].second, 200u);
    ASSERT_EQ(fake.got.blocks.size(), 1u);
    EXPECT_EQ(fake.got.blocks[0].type, lightrecord::kStyleColourBlock);
    EXPECT_EQ(fake.got.blocks[0].size, 40u);
    EXPECT_EQ(lightrecord::ReadLe32(fake.got.blocks[0].kept.data() + 4), 1u) << "G 0 goes as 1";

    // Blocks from the capture program: a short spectrum replaces the front of the buffer, an
    // empty one is ignored, a screen colour reaches its handler.
    int32_t one[2] = {77, 78};
    int32_t colour[6] = {10, 20, 30, 40, 50, 60};
    fake.Send(Join({lightrecord::EncodeBlock(1, one, sizeof one), lightrecord::EncodeBlock(1, nullptr, 0),
                    lightrecord::EncodeBlock(2, colour, sizeof colour)}));
    QTRY_COMPARE_WITH_TIMEOUT(screen.size(), size_t(6), 5000);
    EXPECT_EQ(spectrumFirst, std::vector<int32_t>{77});
    EXPECT_EQ(screen[5], 60);

    // Garbage drops the connection; nothing after it is taken.
    fake.Send(std::vector<uint8_t>(12, 0xEE));
    fake.Send(lightrecord::EncodeBlock(1, one, sizeof one));
    QTRY_VERIFY_WITH_TIMEOUT(!recorder.IsConnected(), 5000);
    EXPECT_EQ(spectrumFirst.size(), 1u);
}

TEST(AudioRecorder, NoCaptureProgramMeansNothingIsSentAndStartFailsForAMissingProgram)
{
    QTemporaryDir runtime;
    const QByteArray old = qgetenv("XDG_RUNTIME_DIR");
    qputenv("XDG_RUNTIME_DIR", runtime.path().toUtf8());
    qputenv("TESSEL_LIGHTRECORD", runtime.filePath("missing").toUtf8());
    AudioRecorder recorder;
    EXPECT_FALSE(recorder.RegisterWithRecorder());
    recorder.StopRecorder();
    EXPECT_FALSE(recorder.IsConnected());
    EXPECT_FALSE(recorder.StartRecorder());
    EXPECT_FALSE(lightrecord::RecorderRunning());
    qunsetenv("TESSEL_LIGHTRECORD");
    qputenv("XDG_RUNTIME_DIR", old);
}
