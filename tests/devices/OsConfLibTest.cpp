#include "sdk/HostAudio.h"
#include "sdk/osConfLib.h"
#include "sim/Simulator.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <dlfcn.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <optional>
#include <string>
#include <vector>

// osConfLib as the headset loads it (dlopen by name), against the simulator's audio chip and
// against a real ALSA card where the machine has one.
namespace {

struct Lib {
    void* handle = nullptr;
    decltype(&ConfLibInit) init = nullptr;
    decltype(&CreateDeviceList) createList = nullptr;
    decltype(&GetDeviceCount) count = nullptr;
    decltype(&GetDeviceById) byId = nullptr;
    decltype(&PropertyControl) property = nullptr;

    Lib()
    {
        handle = dlopen(TESSEL_OSCONFLIB, RTLD_NOW | RTLD_LOCAL);
        if (!handle)
            return;
        init = reinterpret_cast<decltype(init)>(dlsym(handle, "ConfLibInit"));
        createList = reinterpret_cast<decltype(createList)>(dlsym(handle, "CreateDeviceList"));
        count = reinterpret_cast<decltype(count)>(dlsym(handle, "GetDeviceCount"));
        byId = reinterpret_cast<decltype(byId)>(dlsym(handle, "GetDeviceById"));
        property = reinterpret_cast<decltype(property)>(dlsym(handle, "PropertyControl"));
    }
    // Reads `name` as text; the result code in `r`.
    std::string read(const OsConfDevice& d, const char* name, int* r = nullptr)
    {
        char buffer[OSCONF_VALUE_BUFFER_SIZE] = {};
        void* p = buffer;
        const int result = property(d, name, &p, nullptr, 0);
        if (r)
            *r = result;
        return result == 0 ? std::string(buffer) : std::string();
    }
    int writeInt(const OsConfDevice& d, const char* name, int32_t v)
    {
        char buffer[OSCONF_VALUE_BUFFER_SIZE] = {};
        std::memcpy(buffer, &v, sizeof v);
        void* p = buffer;
        return property(d, name, &p, nullptr, 1);
    }
    int writeFloat(const OsConfDevice& d, const char* name, float v, int32_t channel)
    {
        char buffer[OSCONF_VALUE_BUFFER_SIZE] = {};
        char second[OSCONF_VALUE_BUFFER_SIZE] = {};
        std::memcpy(buffer, &v, sizeof v);
        std::memcpy(second, &channel, sizeof channel);
        void* p = buffer;
        void* q = second;
        return property(d, name, &p, &q, 1);
    }
    // The first device of `kind`, or a record of zeros.
    OsConfDevice first(int kind)
    {
        OsConfDevice d{};
        int n = 0;
        if (count(kind, &n) == 0 && n > 0)
            byId(kind, 0, &d);
        return d;
    }
};

class OsConfLibTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_NE(lib.handle, nullptr) << dlerror();
        ASSERT_EQ(lib.init(), 0);
    }
    void TearDown() override
    {
        unsetenv("TESSEL_SIM_DIR");
        unsetenv("TESSEL_OSCONF_ALSA_CARD");
    }
    Lib lib;
};

}  // namespace

TEST_F(OsConfLibTest, SimulatedChipTakesWhatTheHeadsetWrites)
{
    QTemporaryDir dir;
    sim::SimulatorOptions options;
    options.dir = dir.path().toStdString();
    options.timing = false;
    sim::Simulator simulator(options);
    ASSERT_TRUE(simulator.start());
    ASSERT_TRUE(simulator.plug(sim::DeviceKind::Headset).ok);
    setenv("TESSEL_SIM_DIR", options.dir.c_str(), 1);
    ASSERT_EQ(lib.createList(), 0);

    int playback = 0, capture = 0;
    ASSERT_EQ(lib.count(0, &playback), 0);
    ASSERT_EQ(lib.count(1, &capture), 0);
    ASSERT_EQ(playback, 1);
    ASSERT_EQ(capture, 1);
    const OsConfDevice out = lib.first(0), in = lib.first(1);
    EXPECT_EQ(out.type, 1u);
    EXPECT_EQ(out.flag, 1u);
    EXPECT_EQ(in.type, 2u);

    // 35 percent goes as the float 0.35 on all channels; the decibel value follows.
    EXPECT_EQ(lib.writeFloat(in, "VolumeScalarControl", 0.35f, -1), 0);
    EXPECT_EQ(lib.read(in, "VolumeScalarControl"), "0.35");
    EXPECT_EQ(simulator.audio(sim::DeviceKind::Headset, "get", "input", "VolumeControl").data["value"].asString(), "0.1");
    EXPECT_EQ(lib.writeInt(out, "EQ_Slider4", -7), 0);
    EXPECT_EQ(simulator.audio(sim::DeviceKind::Headset, "get", "output", "EQ_Slider4").data["value"].asString(), "-7");
    const std::string features = lib.read(in, "GetSupportFeature");
    EXPECT_GE(std::count(features.begin(), features.end(), ','), 6);

    // What fails is a result, never a crash.
    int r = 0;
    lib.read(in, "NoSuchProperty", &r);
    EXPECT_EQ(r, OSCONF_ERR_PROPERTY);
    EXPECT_EQ(lib.writeInt(out, "MuteControl", 1), OSCONF_ERR_PROPERTY);  // the capture device's
    EXPECT_EQ(lib.writeInt(in, "GetMaxVol", 1), OSCONF_ERR_READ_ONLY);
    EXPECT_EQ(lib.writeInt(out, "EQ_Slider1", 99), OSCONF_ERR_VALUE);
    EXPECT_EQ(lib.property(in, nullptr, nullptr, nullptr, 0), OSCONF_ERR_ARGUMENT);
    EXPECT_EQ(lib.property(in, "MuteControl", nullptr, nullptr, 2), OSCONF_ERR_ARGUMENT);
    OsConfDevice stranger{42, 2, 0, 1};
    lib.read(stranger, "MuteControl", &r);
    EXPECT_EQ(r, OSCONF_ERR_NO_DEVICE);

    // The headset unplugged: its devices answer no more.
    ASSERT_TRUE(simulator.unplug(sim::DeviceKind::Headset).ok);
    lib.read(in, "MuteControl", &r);
    EXPECT_NE(r, 0);
    EXPECT_EQ(lib.createList(), 0);
    ASSERT_EQ(lib.count(0, &playback), 0);
    EXPECT_EQ(playback, 0);
    simulator.stop();
}

TEST_F(OsConfLibTest, MissingCardListsNothingAndRefusesProperties)
{
    setenv("TESSEL_OSCONF_ALSA_CARD", "NoSuchTesselCard", 1);
    ASSERT_EQ(lib.createList(), 0);
    int n = -1;
    ASSERT_EQ(lib.count(0, &n), 0);
    EXPECT_EQ(n, 0);
    OsConfDevice d{};
    EXPECT_NE(lib.byId(0, 0, &d), 0);
    int r = 0;
    lib.read(OsConfDevice{1, 1, 0, 1}, "EQ_Slider1", &r);
    EXPECT_NE(r, 0);
}

namespace {
// A unix socket bound at `path`; listening or not (a server that ended leaves such a file).
int bindSocket(const std::string& path, bool listening)
{
    const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un a{};
    a.sun_family = AF_UNIX;
    std::strncpy(a.sun_path, path.c_str(), sizeof a.sun_path - 1);
    if (fd < 0 || ::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 || (listening && ::listen(fd, 4) != 0))
        return -1;
    return fd;
}

struct SavedEnv {
    std::vector<std::pair<std::string, std::optional<std::string>>> saved;
    void set(const char* name, const std::string& value)
    {
        const char* old = std::getenv(name);
        saved.emplace_back(name, old ? std::optional<std::string>(old) : std::nullopt);
        setenv(name, value.c_str(), 1);
    }
    void unset(const char* name)
    {
        const char* old = std::getenv(name);
        saved.emplace_back(name, old ? std::optional<std::string>(old) : std::nullopt);
        unsetenv(name);
    }
    ~SavedEnv()
    {
        for (auto it = saved.rbegin(); it != saved.rend(); ++it) {
            if (it->second)
                setenv(it->first.c_str(), it->second->c_str(), 1);
            else
                unsetenv(it->first.c_str());
        }
    }
};
}  // namespace

// PipeWire counts as present only when a server accepts on the session's socket; the feature
// lists leave out what the host cannot apply and say what is missing.
TEST(HostAudioTest, DetectsTheServerAndReportsWhatIsMissing)
{
    QTemporaryDir runtime;
    ASSERT_TRUE(runtime.isValid());
    const std::string dir = runtime.path().toStdString();
    SavedEnv env;
    env.unset("PIPEWIRE_REMOTE");
    env.unset("PIPEWIRE_RUNTIME_DIR");
    env.set("XDG_RUNTIME_DIR", dir);
    EXPECT_EQ(osconf::PipeWireSocketPath(), dir + "/pipewire-0");
    EXPECT_FALSE(osconf::PipeWireRunning()) << "no socket";

    const int stale = bindSocket(dir + "/pipewire-0", false);
    ASSERT_GE(stale, 0);
    ::close(stale);
    EXPECT_FALSE(osconf::PipeWireRunning()) << "a socket file nobody listens on";
    ::unlink((dir + "/pipewire-0").c_str());

    const int server = bindSocket(dir + "/pipewire-0", true);
    ASSERT_GE(server, 0);
    EXPECT_TRUE(osconf::PipeWireRunning());
    // PIPEWIRE_REMOTE names another socket, by name or by path.
    env.set("PIPEWIRE_REMOTE", "pipewire-1");
    EXPECT_FALSE(osconf::PipeWireRunning());
    env.set("PIPEWIRE_REMOTE", dir + "/pipewire-0");
    EXPECT_TRUE(osconf::PipeWireRunning());
    ::close(server);

    env.set("LADSPA_PATH", dir + "/none:" + dir);
    EXPECT_FALSE(osconf::LadspaPluginPresent("ladspa-rubberband.so"));
    { std::ofstream(dir + "/ladspa-rubberband.so") << "x"; }
    EXPECT_TRUE(osconf::LadspaPluginPresent("ladspa-rubberband.so"));

    struct Case {
        osconf::HostAudio host;
        const char* playback;
        const char* capture;
    };
    const Case cases[] = {
        {{false, false, false, false}, "0,5,0,0,0,0,0", "0,7,0,0,0,0,0"},
        {{true, false, false, false}, "0,4,0,0,0,0,0", "0,6,0,0,0,0,0"},
        // The equaliser's graph loaded, the microphone's not (no pitch shifter, or no microphone).
        {{true, false, true, false}, "65536,0,0,0,10,0,0", "0,6,0,0,0,0,0"},
        {{true, true, true, false}, "65536,0,0,0,10,0,0", "0,4,0,0,0,0,0"},
        {{true, true, true, true}, "65536,0,0,0,10,0,0", "131072,0,0,0,0,0,0"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(osconf::PlaybackFeatures(c.host), c.playback);
        EXPECT_EQ(osconf::CaptureFeatures(c.host), c.capture);
    }
}

TEST_F(OsConfLibTest, RealAlsaMixer)
{
    std::ifstream cards("/proc/asound/cards");
    std::string line;
    if (!cards || !std::getline(cards, line) || line.find("no soundcards") != std::string::npos || line.empty())
        GTEST_SKIP() << "no ALSA sound card on this machine (/proc/asound/cards is missing or empty)";
    // The first card stands in for the headset's.
    setenv("TESSEL_OSCONF_ALSA_CARD", "0", 1);
    ASSERT_EQ(lib.createList(), 0);
    const OsConfDevice in = lib.first(1);
    if (in.type != 2)
        GTEST_SKIP() << "card 0 has no capture volume control";
    int r = 0;
    const std::string before = lib.read(in, "VolumeScalarControl", &r);
    ASSERT_EQ(r, 0);
    ASSERT_EQ(lib.writeFloat(in, "VolumeScalarControl", 0.5f, -1), 0);
    EXPECT_NEAR(std::stod(lib.read(in, "VolumeScalarControl")), 0.5, 0.05);
    lib.writeFloat(in, "VolumeScalarControl", std::stof(before), -1);
    // The equaliser is host-side processing: it answers only where the feature list offers it.
    const OsConfDevice out = lib.first(0);
    const std::string features = lib.read(out, "GetSupportFeature");
    if (std::stoi(features) & osconf::kFeatureEqualiser) {
        EXPECT_EQ(lib.writeInt(out, "EQ_Slider2", 5), 0);
        EXPECT_EQ(lib.read(out, "EQ_Slider2"), "5");
    } else {
        EXPECT_EQ(lib.writeInt(out, "EQ_Slider2", 5), OSCONF_ERR_UNSUPPORTED);
        lib.read(out, "EQ_Slider2", &r);
        EXPECT_EQ(r, OSCONF_ERR_UNSUPPORTED);
    }
    lib.read(in, "NoSuchProperty", &r);
    EXPECT_EQ(r, OSCONF_ERR_PROPERTY);
}
