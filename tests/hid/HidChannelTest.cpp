#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <future>
#include <thread>
#include <memory>
#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

#include "hid/DeviceCapture.h"
#include "hid/HidChannel.h"
#include "hid/HidrawBackend.h"
#include "hid/SimWire.h"
#include "tests/hid/Descriptors.h"
#include "tests/hid/TinySim.h"

namespace hid {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

// Generous bound for "returns promptly": the tests must not flake on a loaded machine.
constexpr auto kPrompt = 10s;

fs::path makeTempDir()
{
    std::string pattern = (fs::temp_directory_path() / "tessel-hid-XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr)
        throw std::runtime_error("mkdtemp");
    return pattern;
}

// A channel opened on the vendor command collection of the gaming keyboard interface, with a
// way to play the device's side. Both backends go through the same waits, so every transfer
// rule is checked on both.
class Rig {
public:
    virtual ~Rig() = default;
    virtual void inject(const std::vector<uint8_t>& report) = 0;
    // What the device received from the channel's last write.
    virtual std::vector<uint8_t> received() = 0;
    virtual void hangUp() = 0;
    HidChannel channel;
};

class SimRig : public Rig {
public:
    SimRig()
        : dir(makeTempDir()),
          sim((dir / "hid#vid_3a17&pid_5055&mi_01&col04").string(),
              test::TinySim::makeHello(test::kGamingKeyboard, 0x3A17, 0x5055, 4))
    {
        if (!channel.open((dir / "hid#vid_3a17&pid_5055&mi_01&col04").string(), true, true,
                          true, false))
            throw std::runtime_error("open");
    }
    ~SimRig() override
    {
        channel.close();
        fs::remove_all(dir);
    }
    void inject(const std::vector<uint8_t>& report) override { sim.sendInput(report); }
    std::vector<uint8_t> received() override
    {
        // The stand-in echoes writes back as input reports.
        std::vector<uint8_t> echo(80);
        uint32_t n = 0;
        if (!channel.readReport(echo.data(), uint32_t(echo.size()), &n, 5000))
            return {};
        echo.resize(n);
        return echo;
    }
    void hangUp() override { sim.hangUp(); }

    fs::path dir;
    test::TinySim sim;
};

class HidrawRig : public Rig {
public:
    explicit HidrawRig(const std::vector<uint8_t>& descriptor = test::kGamingKeyboard,
                       uint32_t collection = 4)
    {
        int fds[2];
        if (::socketpair(AF_UNIX, SOCK_SEQPACKET | SOCK_NONBLOCK | SOCK_CLOEXEC, 0, fds) != 0)
            throw std::runtime_error("socketpair");
        device = fds[1];
        auto backend = HidrawBackend::adopt(fds[0], descriptor.data(), descriptor.size(),
                                            collection, HidAttributes{0x3A17, 0x5055, 0x0102});
        if (!channel.openBackend("/dev/hidraw-standin#vid_3a17&pid_5055&mi_01&col04",
                                 std::move(backend), true, true))
            throw std::runtime_error("openBackend");
    }
    ~HidrawRig() override
    {
        channel.close();
        if (device >= 0)
            ::close(device);
    }
    void inject(const std::vector<uint8_t>& report) override
    {
        ::send(device, report.data(), report.size(), MSG_NOSIGNAL);
    }
    std::vector<uint8_t> received() override
    {
        std::vector<uint8_t> out(80);
        const ssize_t n = ::recv(device, out.data(), out.size(), MSG_DONTWAIT);
        out.resize(n < 0 ? 0 : size_t(n));
        return out;
    }
    void hangUp() override { ::shutdown(device, SHUT_RDWR); }

    int device = -1;
};

std::vector<uint8_t> commandReport(uint8_t command)
{
    std::vector<uint8_t> r(65, 0);
    r[0] = 4;
    r[3] = command;
    return r;
}

class ChannelTransfer : public ::testing::TestWithParam<const char*> {
protected:
    void SetUp() override
    {
        if (std::string(GetParam()) == "simulator")
            rig = std::make_unique<SimRig>();
        else
            rig = std::make_unique<HidrawRig>();
    }
    std::unique_ptr<Rig> rig;
};

TEST_P(ChannelTransfer, OpenGivesCapsAttributesAndPathNumbers)
{
    const HidChannel& ch = rig->channel;
    EXPECT_TRUE(ch.isOpen());
    EXPECT_EQ(ch.caps().usagePage, 0xFF1C);
    EXPECT_EQ(ch.caps().usage, 0x92);
    EXPECT_EQ(ch.caps().inputReportByteLength, 65);
    EXPECT_EQ(ch.caps().outputReportByteLength, 65);
    EXPECT_EQ(ch.attributes().vendorId, 0x3A17);
    EXPECT_EQ(ch.attributes().productId, 0x5055);
    EXPECT_EQ(ch.attributes().versionNumber, 0x0102);
    EXPECT_EQ(ch.interfaceNumber(), 1u);
    EXPECT_EQ(ch.collectionNumber(), 4u);
    EXPECT_EQ(ch.items(ReportType::Input).size(), 1u);
}

TEST_P(ChannelTransfer, WriteAndReadWholeReports)
{
    const std::vector<uint8_t> out = commandReport(0x01);
    uint32_t n = 0;
    ASSERT_TRUE(rig->channel.writeReport(out.data(), uint32_t(out.size()), &n, 1000));
    EXPECT_EQ(n, 65u);
    EXPECT_EQ(rig->received(), out);

    const std::vector<uint8_t> in = commandReport(0x02);
    rig->inject(in);
    std::vector<uint8_t> buffer(65);
    ASSERT_TRUE(rig->channel.readReport(buffer.data(), 65, &n, kInfinite));
    EXPECT_EQ(n, 65u);
    EXPECT_EQ(buffer, in);
}

TEST_P(ChannelTransfer, TimeOutReturnsNothingAndLeavesNothingPending)
{
    std::vector<uint8_t> buffer(65, 0xEE);
    uint32_t n = 12345;
    EXPECT_FALSE(rig->channel.readReport(buffer.data(), 65, &n, 50));
    EXPECT_EQ(n, 0u);
    // The next report is read whole by the next read: the timed-out one took nothing.
    rig->inject(commandReport(0x03));
    ASSERT_TRUE(rig->channel.readReport(buffer.data(), 65, &n, 5000));
    EXPECT_EQ(n, 65u);
    EXPECT_EQ(buffer[3], 0x03);
}

TEST_P(ChannelTransfer, CloseOrReopenReleasesAReaderWaitingForever)
{
    for (bool reopen : {false, true}) {
        SCOPED_TRACE(reopen ? "reopen" : "close");
        if (!rig->channel.isOpen())
            SetUp();
        auto reader = std::async(std::launch::async, [this] {
            std::vector<uint8_t> buffer(65);
            uint32_t n = 99;
            const bool ok = rig->channel.readReport(buffer.data(), 65, &n, kInfinite);
            return std::make_pair(ok, n);
        });
        // The reader may not be in its wait yet when the channel is released. A reader that
        // starts after a close fails at once; one that starts after a reopen waits on the new
        // handle, so the release is repeated until the reader is back, within a bound.
        const auto release = [&] {
            if (reopen)
                rig->channel.reopen();
            else
                rig->channel.close();
        };
        const auto deadline = std::chrono::steady_clock::now() + kPrompt;
        release();
        while (reader.wait_for(10ms) != std::future_status::ready && std::chrono::steady_clock::now() < deadline)
            release();
        if (reader.wait_for(0ms) != std::future_status::ready) {
            // Never leave the future's destructor waiting forever on a reader still blocked.
            rig->channel.close();
            reader.wait_for(kPrompt);
        }
        ASSERT_EQ(reader.wait_for(0ms), std::future_status::ready);
        const auto [ok, n] = reader.get();
        EXPECT_FALSE(ok);
        EXPECT_EQ(n, 0u);
    }
}

TEST_P(ChannelTransfer, ReaderAndWriterRunTogether)
{
    auto reader = std::async(std::launch::async, [this] {
        std::vector<uint8_t> buffer(65);
        uint32_t n = 0;
        return rig->channel.readReport(buffer.data(), 65, &n, 5000) ? buffer[3] : 0;
    });
    const std::vector<uint8_t> out = commandReport(0x20);
    uint32_t n = 0;
    EXPECT_TRUE(rig->channel.writeReport(out.data(), 65, &n, 1000));
    rig->inject(commandReport(0x21));
    ASSERT_EQ(reader.wait_for(kPrompt), std::future_status::ready);
    const uint8_t got = reader.get();
    // The simulator rig's echo may win the race with the injected report; either is a whole
    // report delivered to the waiting reader.
    EXPECT_TRUE(got == 0x20 || got == 0x21) << int(got);
}

TEST_P(ChannelTransfer, UnpluggedDeviceFailsTheRead)
{
    auto reader = std::async(std::launch::async, [this] {
        std::vector<uint8_t> buffer(65);
        uint32_t n = 0;
        return rig->channel.readReport(buffer.data(), 65, &n, kInfinite);
    });
    std::this_thread::sleep_for(50ms);
    rig->hangUp();
    ASSERT_EQ(reader.wait_for(kPrompt), std::future_status::ready);
    EXPECT_FALSE(reader.get());
}

TEST_P(ChannelTransfer, ClosedChannelRefusesEverything)
{
    rig->channel.close();
    std::vector<uint8_t> buffer = commandReport(1);
    uint32_t n = 7;
    EXPECT_FALSE(rig->channel.isOpen());
    EXPECT_FALSE(rig->channel.readReport(buffer.data(), 65, &n, 10));
    EXPECT_EQ(n, 0u);
    EXPECT_FALSE(rig->channel.writeReport(buffer.data(), 65, &n, 10));
    EXPECT_FALSE(rig->channel.decodeInputReport(buffer.data(), 65, ReportType::Input));
    EXPECT_EQ(rig->channel.caps().inputReportByteLength, 0);
    EXPECT_TRUE(rig->channel.items(ReportType::Input).empty());
}

INSTANTIATE_TEST_SUITE_P(Backends, ChannelTransfer, ::testing::Values("simulator", "hidraw"),
                         [](const auto& info) { return std::string(info.param); });

TEST(HidrawStandIn, ReadsOnlyTheOpenedCollectionsReports)
{
    HidrawRig rig(test::kGamingKeyboard, 3);  // consumer control, report ID 3
    rig.inject(commandReport(0x55));          // ID 4 belongs to the vendor collection
    rig.inject({0x02, 0x01});                 // ID 2 to system control
    rig.inject({0x03, 0x01, 0x04});
    std::vector<uint8_t> buffer(65);
    uint32_t n = 0;
    ASSERT_TRUE(rig.channel.readReport(buffer.data(), 65, &n, 5000));
    ASSERT_EQ(n, 3u);
    EXPECT_EQ(buffer[0], 0x03);
    ASSERT_TRUE(rig.channel.decodeInputReport(buffer.data(), n, ReportType::Input));
    EXPECT_EQ(rig.channel.items(ReportType::Input)[0].usages[0], 0x401);
}

TEST(HidrawStandIn, ReportsWithoutIdsGetAZeroIdByte)
{
    HidrawRig rig(test::kBootKeyboard, 1);
    // The kernel delivers the eight data bytes alone.
    rig.inject({0x02, 0x00, 0x04, 0, 0, 0, 0, 0});
    std::vector<uint8_t> buffer(9);
    uint32_t n = 0;
    ASSERT_TRUE(rig.channel.readReport(buffer.data(), 9, &n, 5000));
    ASSERT_EQ(n, 9u);
    EXPECT_EQ(buffer, (std::vector<uint8_t>{0x00, 0x02, 0x00, 0x04, 0, 0, 0, 0, 0}));
    ASSERT_TRUE(rig.channel.decodeInputReport(buffer.data(), n, ReportType::Input));
    EXPECT_EQ(rig.channel.items(ReportType::Input)[0].usages[0], 0xE1);
    EXPECT_EQ(rig.channel.items(ReportType::Input)[1].usages[0], 0x04);
}

TEST(HidrawStandIn, WriteWaitsForRoomAndGivesUpOrIsReleased)
{
    HidrawRig rig;
    const std::vector<uint8_t> out = commandReport(0x30);
    uint32_t n = 0;
    // Fill the device's queue until a write cannot complete within its time-out.
    int written = 0;
    while (rig.channel.writeReport(out.data(), 65, &n, 50) && written < 100000)
        ++written;
    ASSERT_LT(written, 100000);
    EXPECT_EQ(n, 0u);

    auto writer = std::async(std::launch::async, [&rig, &out] {
        uint32_t sent = 99;
        const bool ok = rig.channel.writeReport(out.data(), 65, &sent, kInfinite);
        return std::make_pair(ok, sent);
    });
    // Taking one report off the queue makes room: the waiting write goes out whole.
    std::this_thread::sleep_for(50ms);
    EXPECT_EQ(rig.received().size(), 65u);
    ASSERT_EQ(writer.wait_for(kPrompt), std::future_status::ready);
    EXPECT_EQ(writer.get(), std::make_pair(true, 65u));

    auto blocked = std::async(std::launch::async, [&rig, &out] {
        uint32_t sent = 99;
        return rig.channel.writeReport(out.data(), 65, &sent, kInfinite) || sent != 0;
    });
    std::this_thread::sleep_for(50ms);
    rig.channel.close();
    ASSERT_EQ(blocked.wait_for(kPrompt), std::future_status::ready);
    EXPECT_FALSE(blocked.get());
}

TEST(ChannelOpen, FailsWithoutAnAbortEventAndOpensOnceOneCanBeMade)
{
#if defined(__SANITIZE_ADDRESS__)
    // The sanitizers' own checks need descriptors too; with none left they report faults of
    // their own, so the plain build carries this test.
    GTEST_SKIP() << "needs every descriptor, which the sanitizer runtime cannot do without";
#endif
    // Runs in a child of its own: it uses up every descriptor the process may have.
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            const auto standIn = [] {
                int fds[2];
                if (::socketpair(AF_UNIX, SOCK_SEQPACKET | SOCK_NONBLOCK | SOCK_CLOEXEC, 0, fds))
                    std::_Exit(10);
                return HidrawBackend::adopt(fds[0], test::kGamingKeyboard.data(),
                                            test::kGamingKeyboard.size(), 4, HidAttributes{});
            };
            auto first = standIn();
            auto second = standIn();
            const int probe = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
            rlimit limit{};
            ::getrlimit(RLIMIT_NOFILE, &limit);
            limit.rlim_cur = std::min<rlim_t>(limit.rlim_cur, 64);
            ::setrlimit(RLIMIT_NOFILE, &limit);
            std::vector<int> spare;
            for (int fd; (fd = ::dup(probe)) >= 0;)
                spare.push_back(fd);
            if (errno != EMFILE || spare.empty())
                std::_Exit(11);

            // No descriptor is left for the abort event, so nothing could ever release a
            // reader waiting on this channel: it must not open.
            HidChannel channel;
            const char* path = "/dev/hidraw-standin#vid_3a17&pid_5055&mi_01&col04";
            if (channel.openBackend(path, std::move(first), true, true) || channel.isOpen())
                std::_Exit(12);
            uint8_t buffer[65] = {};
            uint32_t n = 0;
            if (channel.readReport(buffer, 65, &n, kInfinite))
                std::_Exit(13);
            ::close(spare.back());
            if (!channel.openBackend(path, std::move(second), true, true))
                std::_Exit(14);
            channel.close();
            std::_Exit(0);
        },
        ::testing::ExitedWithCode(0), "");
}

class SimFolder : public ::testing::Test {
protected:
    void SetUp() override
    {
        dir = makeTempDir();
        fs::create_directories(dir / "sys");
        HidChannel::setSysfsRoot((dir / "sys").string());  // no hidraw nodes at all
        ::setenv(simwire::kEnvSimDir, dir.c_str(), 1);
    }
    void TearDown() override
    {
        ::unsetenv(simwire::kEnvSimDir);
        HidChannel::setSysfsRoot("/sys");
        fs::remove_all(dir);
    }
    fs::path dir;
};

TEST_F(SimFolder, ListingHasEverySimulatorSocketAndNothingElse)
{
    HidChannel ch;
    ASSERT_TRUE(ch.listDevices());
    EXPECT_EQ(ch.nextDevicePath(), "");  // an empty system lists nothing, successfully

    const std::string keyboard = (dir / "hid#vid_3a17&pid_5055&mi_01&col04").string();
    const std::string headset = (dir / "hid#vid_0c76&pid_1630&mi_03").string();
    test::TinySim a(keyboard, test::TinySim::makeHello(test::kGamingKeyboard, 0x3A17, 0x5055, 4));
    test::TinySim b(headset, test::TinySim::makeHello(test::kHeadset, 0x0C76, 0x1630, 1));
    fs::create_directories(dir / "hid#not-a-socket");
    { std::ofstream(dir / "control"); }

    ASSERT_TRUE(ch.listDevices());
    std::vector<std::string> paths;
    for (std::string p = ch.nextDevicePath(); !p.empty(); p = ch.nextDevicePath())
        paths.push_back(p);
    EXPECT_EQ(paths, (std::vector<std::string>{headset, keyboard}));
    ch.freeDeviceList();
    EXPECT_EQ(ch.nextDevicePath(), "");
}

TEST_F(SimFolder, HeadsetWithoutCollectionTokenAndControlPipeReports)
{
    const std::string headset = (dir / "hid#vid_0c76&pid_1630&mi_03").string();
    test::TinySim sim(headset, test::TinySim::makeHello(test::kHeadset, 0x0C76, 0x1630, 1));
    HidChannel ch;
    // Exclusive cannot be honoured; a second opener still gets in.
    ASSERT_TRUE(ch.open(headset, true, true, true, true));
    HidChannel other;
    EXPECT_TRUE(other.open(headset, true, false, true, false));
    EXPECT_EQ(ch.interfaceNumber(), 3u);
    EXPECT_EQ(ch.collectionNumber(), 0u);
    EXPECT_EQ(ch.caps().usagePage, 0x0C);
    EXPECT_EQ(ch.caps().outputReportByteLength, 17);

    std::vector<uint8_t> lighting(17, 0x11);
    lighting[0] = 0x02;
    ASSERT_TRUE(ch.setOutputReport(lighting.data(), 17));
    for (int i = 0; i < 500 && sim.lastSetOutput().empty(); ++i)
        std::this_thread::sleep_for(10ms);
    EXPECT_EQ(sim.lastSetOutput(), lighting);
    // A channel without write access writes nothing.
    EXPECT_FALSE(other.setOutputReport(lighting.data(), 17));
}

TEST_F(SimFolder, OpenFailsCleanlyWithoutAValidHello)
{
    const struct {
        const char* name;
        std::vector<uint8_t> hello;
    } cases[] = {
        {"wrong magic", [] {
             auto h = test::TinySim::makeHello(test::kHeadset, 1, 2, 1);
             h[0] = 'X';
             return h;
         }()},
        {"length disagrees", [] {
             auto h = test::TinySim::makeHello(test::kHeadset, 1, 2, 1);
             h.pop_back();
             return h;
         }()},
        {"no such collection", test::TinySim::makeHello(test::kHeadset, 1, 2, 2)},
        {"short", {'T', 'S', 'I', 'M'}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string path = (dir / "hid#vid_0001&pid_0002&mi_00").string();
        test::TinySim sim(path, c.hello);
        HidChannel ch;
        EXPECT_FALSE(ch.open(path, true, true, true, false));
        EXPECT_FALSE(ch.isOpen());
        EXPECT_EQ(ch.caps().usagePage, 0);
        EXPECT_TRUE(ch.items(ReportType::Input).empty());
    }
    HidChannel ch;
    EXPECT_FALSE(ch.open((dir / "hid#gone").string(), true, true, true, false));
}

// Discovery judges presence by the node, not the path: a socket replaced under the same name
// between two passes is a loss (and then a new find), and so is a channel that saw its device
// end while the path stayed.
TEST_F(SimFolder, DiscoveryLosesAReplacedNodeAndAChannelThatEnded)
{
    const std::string keyboard = (dir / "hid#vid_3a17&pid_5055&mi_01&col04").string();
    const auto hello = test::TinySim::makeHello(test::kGamingKeyboard, 0x3A17, 0x5055, 4);
    auto sim = std::make_unique<test::TinySim>(keyboard, hello);
    InterfaceRegister reg;
    std::vector<int> found, lost;
    DeviceCapture capture(reg, {[&](int i) { found.push_back(i); return true; },
                                [&](int i) { lost.push_back(i); }, nullptr});
    capture.ScanOnce();
    ASSERT_EQ(found.size(), 1u);
    const int row = found.front();
    capture.ScanOnce();
    EXPECT_TRUE(lost.empty()) << "the same node stays present";

    // Unplugged and plugged back before the next pass: the path never went missing. (A second
    // name keeps the old socket's inode taken, as a real replug's seconds would keep the two
    // apart: both the inode and the change time then differ.)
    fs::create_hard_link(keyboard, dir / "old-socket");
    sim.reset();
    sim = std::make_unique<test::TinySim>(keyboard, hello);
    capture.ScanOnce();
    EXPECT_EQ(lost, std::vector<int>{row});
    capture.ScanOnce();
    EXPECT_EQ(found, (std::vector<int>{row, row})) << "the new node is found again";

    // The device ends its connections while the node stays: a channel's failed read says so.
    // The stand-in counts a connection before it sends the hello, so once the channel is open
    // its connection is among those the hang-up ends, whatever probes are still counted.
    HidChannel channel;
    ASSERT_TRUE(channel.open(keyboard, true, true, true, false));
    sim->hangUp();
    std::vector<uint8_t> buffer(65);
    uint32_t n = 0;
    EXPECT_FALSE(channel.readReport(buffer.data(), 65, &n, 5000));
    capture.ScanOnce();
    EXPECT_EQ(lost, (std::vector<int>{row, row}));
    channel.close();
}

}  // namespace
}  // namespace hid
