#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <future>
#include <thread>

#include "hid/HidTypes.h"
#include "hid/SimWire.h"
#include "hid/UdevMonitor.h"
#include "tests/hid/Descriptors.h"
#include "tests/hid/TinySim.h"

namespace hid {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

// Real hidraw nodes cannot be made here; the simulator folder goes through the same wait, and
// udev itself is checked only for starting.
class MonitorFolder : public ::testing::Test {
protected:
    void SetUp() override
    {
        std::string pattern = (fs::temp_directory_path() / "tessel-mon-XXXXXX").string();
        ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
        dir = pattern;
        ::setenv(simwire::kEnvSimDir, dir.c_str(), 1);
        ASSERT_TRUE(monitor.start());
        EXPECT_EQ(monitor.simulatorFolder(), dir.string());
    }
    void TearDown() override
    {
        monitor.stop();
        ::unsetenv(simwire::kEnvSimDir);
        fs::remove_all(dir);
    }
    fs::path dir;
    UdevMonitor monitor;
};

TEST_F(MonitorFolder, InterfaceComingAndGoingWakesTheWait)
{
    // Other files in the folder (the control socket, temporaries) are no reason to list again.
    { std::ofstream(dir / "control"); }
    EXPECT_FALSE(monitor.waitForChange(100));

    auto plug = std::async(std::launch::async, [this] {
        std::this_thread::sleep_for(50ms);
        return std::make_unique<test::TinySim>(
            (dir / "hid#vid_3a17&pid_1004&mi_01&col04").string(),
            test::TinySim::makeHello(test::kGamingKeyboard, 0x3A17, 0x1004, 4));
    });
    EXPECT_TRUE(monitor.waitForChange(10000));
    auto sim = plug.get();
    sim.reset();  // unplugging removes the socket
    EXPECT_TRUE(monitor.waitForChange(10000));
}

TEST_F(MonitorFolder, WakeEndsAWaitWithoutChange)
{
    auto waiter = std::async(std::launch::async, [this] { return monitor.waitForChange(kInfinite); });
    std::this_thread::sleep_for(50ms);
    monitor.wake();
    ASSERT_EQ(waiter.wait_for(10s), std::future_status::ready);
    EXPECT_FALSE(waiter.get());
}

}  // namespace
}  // namespace hid
