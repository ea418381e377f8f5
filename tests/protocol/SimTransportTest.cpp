#include <gtest/gtest.h>

#include <QTemporaryDir>
#include <atomic>
#include <chrono>
#include <cstring>
#include <thread>

#include "SimDevice.h"
#include "protocol/LightingFrame.h"
#include "protocol/MacroImage.h"

using namespace protocol;
using sim::DeviceKind;
using sim::FaultKind;
using sim::Region;
using sim::Route;
using Clock = std::chrono::steady_clock;

namespace {

// Long enough for a loaded machine; the fault cases wait for it, so not longer.
constexpr uint32_t kTimeoutMs = 800;
constexpr auto kHangBound = std::chrono::seconds(5);

class SimTransportTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_dir.isValid());
        m_sim = std::make_unique<SimDevice>(m_dir.path().toStdString(), true);
    }

    void attach(Route route)
    {
        ASSERT_TRUE(m_sim->attach(m_transport, DeviceKind::Keyboard, route));
    }
    uint64_t accepted(uint8_t command)
    {
        return m_sim->simulator().counters(DeviceKind::Keyboard).commands[command];
    }
    std::vector<uint8_t> memory(Region region)
    {
        return m_sim->simulator().memory(DeviceKind::Keyboard, region);
    }
    // Waits for the simulator to have sent every report it holds back (a late reply among
    // them); false only if that never happens.
    bool waitUntilNothingPending()
    {
        const auto start = Clock::now();
        while (m_sim->simulator().state().data["pendingReports"].asUInt64() != 0) {
            if (Clock::now() - start > kHangBound)
                return false;
            std::this_thread::yield();
        }
        return true;
    }

    QTemporaryDir m_dir;
    std::unique_ptr<SimDevice> m_sim;
    CommandTransport m_transport{CommandTransport::Timeouts{kTimeoutMs, kTimeoutMs, kTimeoutMs}};
};

}  // namespace

TEST_F(SimTransportTest, CommandSetRoundTripsOnBothRoutes)
{
    for (Route route : {Route::Cable, Route::Receiver}) {
        SCOPED_TRACE(route == Route::Cable ? "cable" : "receiver");
        attach(route);
        const uint64_t infoBefore = accepted(0x03);
        CommandTransport::InfoBlock info{};
        ASSERT_EQ(m_transport.readInformation(info), kOk);
        EXPECT_EQ(accepted(0x03) - infoBefore, route == Route::Cable ? 1u : 2u);
        EXPECT_EQ(info[CommandTransport::kInfoKeySlots], 132);
        EXPECT_EQ(info[CommandTransport::kInfoMacroUnits], 32);

        ASSERT_EQ(m_transport.openSession(), kOk);
        std::vector<uint8_t> block(27);
        for (size_t i = 0; i < block.size(); ++i)
            block[i] = static_cast<uint8_t>(route == Route::Cable ? i : 100 + i);
        EXPECT_EQ(m_transport.writeSettings(block.data(), 27, 26), kOk);
        std::vector<uint8_t> back(27);
        EXPECT_EQ(m_transport.readSettings(back.data(), 27, 26), kOk);
        EXPECT_EQ(back, block);

        ASSERT_EQ(m_transport.setBlockLength(3 * 132), 1);
        std::vector<uint8_t> keys(3 * 132);
        EXPECT_EQ(m_transport.readKeyTable(keys.data()), kOk);
        keys[0] = 0x71;
        EXPECT_EQ(m_transport.writeKeyTable(keys.data(), 0), kOk);
        const auto keyMemory = memory(Region::KeyTable);
        ASSERT_GE(keyMemory.size(), keys.size());
        EXPECT_TRUE(std::equal(keys.begin(), keys.end(), keyMemory.begin()));
        std::vector<uint8_t> ledMap(132);
        EXPECT_EQ(m_transport.readLedMap(ledMap.data()), kOk);
        const auto ledMemory = memory(Region::LedMap);
        ASSERT_GE(ledMemory.size(), ledMap.size());
        EXPECT_TRUE(std::equal(ledMap.begin(), ledMap.end(), ledMemory.begin()));
        EXPECT_EQ(m_transport.lightingControlNotice(), kOk);
        uint8_t status[6];
        EXPECT_EQ(m_transport.readStatus(status, 6, 0), kOk);
        EXPECT_EQ(m_transport.closeSession(), kOk);
        EXPECT_TRUE(m_transport.checkWirelessLink());
        EXPECT_EQ(m_sim->simulator().counters(DeviceKind::Keyboard).badChecksums, 0u);
    }
}

TEST_F(SimTransportTest, MacroImageIsAcceptedByTheFirmware)
{
    attach(Route::Receiver);
    // Two macros filling the keyboard's 4 KiB exactly: 16 + 12 + 4 × 1017 bytes.
    std::vector<MacroRecord> records(2);
    for (int i = 0; i < 1017; ++i)
        records[i % 2].push_back({static_cast<uint16_t>(i), static_cast<uint8_t>(0x80 | 10),
                                  static_cast<uint8_t>(i)});
    const auto image = buildMacroImage(records);
    ASSERT_TRUE(image);
    ASSERT_EQ(image->size(), 4096u);
    ASSERT_EQ(m_transport.openSession(), kOk);
    EXPECT_EQ(m_transport.writeMacroImage(image->data(), 4096), kOk);
    EXPECT_EQ(m_transport.closeSession(), kOk);
    EXPECT_EQ(memory(Region::Macro), *image);
}

TEST_F(SimTransportTest, LightingFrameAndLightTableLandInDeviceMemory)
{
    attach(Route::Cable);
    std::vector<uint8_t> colours(4 * 104);
    for (size_t i = 0; i < colours.size(); ++i)
        colours[i] = static_cast<uint8_t>(i * 7);
    LightingFrame frame{};
    const size_t length = buildLightingFrame(colours.data(), 104, frame);
    ASSERT_EQ(length, 312u);
    EXPECT_EQ(m_transport.sendLightingFrame(frame.data(), 312), kOk);
    EXPECT_EQ(accepted(0x12), 6u);
    EXPECT_TRUE(std::equal(frame.begin(), frame.begin() + 312, memory(Region::Frame).begin()));

    EXPECT_EQ(m_transport.writeLightTable(frame.data(), 312, 2), kOk);
    EXPECT_TRUE(std::equal(frame.begin(), frame.begin() + 312,
                           memory(Region::LightTable).begin() + 2 * 512));
}

TEST_F(SimTransportTest, ReceiverReportsADeviceThatIsOff)
{
    attach(Route::Receiver);
    ASSERT_TRUE(m_sim->simulator().power(DeviceKind::Keyboard, false).ok);
    EXPECT_EQ(m_transport.openSession(), kNoLink);
    EXPECT_FALSE(m_transport.checkWirelessLink());
    ASSERT_TRUE(m_sim->simulator().power(DeviceKind::Keyboard, true).ok);
    EXPECT_TRUE(m_transport.checkWirelessLink());
}

TEST_F(SimTransportTest, InjectedFaultsGiveTheirCodeWithinTheTimeOut)
{
    struct Case {
        const char* what;
        sim::FaultSpec fault;
        int expected;
    };
    const Case cases[] = {
        {"dropped reply", {FaultKind::DropReply, 0, 1, 0x1A}, kNoReply},
        {"reply after the time-out", {FaultKind::LateReply, 3 * kTimeoutMs, 1, 0x1A}, kNoReply},
        {"wrong echo", {FaultKind::BadEcho, 0, 1, 0x1A}, kNoReply},
        {"status 0xFE", {FaultKind::StatusFE, 0, 1, 0x1A}, kStatusFE},
        {"status 0xFF", {FaultKind::StatusFF, 0, 1, 0x1A}, kStatusFF},
    };
    attach(Route::Cable);
    uint8_t round = 0;
    for (const Case& c : cases) {
        // Each round's status block differs, so a stale reply taken for the follow-up's would
        // show in its data.
        ++round;
        ASSERT_TRUE(m_sim->simulator().poke(DeviceKind::Keyboard, Region::Status, 0, {round}, false).ok);
        ASSERT_TRUE(m_sim->simulator().fault(DeviceKind::Keyboard, c.fault).ok) << c.what;
        uint8_t status[6];
        std::memset(status, 0xEE, sizeof status);
        const auto start = Clock::now();
        EXPECT_EQ(m_transport.readStatus(status, 6, 0), c.expected) << c.what;
        EXPECT_LT(Clock::now() - start, kHangBound) << c.what;
        EXPECT_EQ(status[0], 0xEE) << c.what << ": buffer untouched";
        EXPECT_FALSE(m_transport.isBusy());
        // A late reply that has arrived by now must not be taken for the next command's.
        ASSERT_TRUE(waitUntilNothingPending()) << c.what;
        ++round;
        ASSERT_TRUE(m_sim->simulator().poke(DeviceKind::Keyboard, Region::Status, 0, {round}, false).ok);
        EXPECT_EQ(m_transport.readStatus(status, 6, 0), kOk) << "after " << c.what;
        EXPECT_EQ(status[0], round) << "after " << c.what << ": the follow-up's own data";
    }
}

TEST_F(SimTransportTest, UnplugInTheMiddleOfAChunkedWriteFailsPromptly)
{
    attach(Route::Cable);
    ASSERT_TRUE(
        m_sim->simulator().fault(DeviceKind::Keyboard, {FaultKind::UnplugMidTransfer, 0, 1, 0x15}).ok);
    const auto image = buildMacroImage({MacroRecord(100)});
    ASSERT_TRUE(image);
    const auto start = Clock::now();
    const int result =
        m_transport.writeMacroImage(image->data(), static_cast<uint32_t>(image->size()));
    EXPECT_TRUE(result == kNoReply || result == kWriteFailed) << result;
    EXPECT_LT(Clock::now() - start, kHangBound);
    EXPECT_EQ(accepted(0x15), 1u) << "the transfer stops at the failing chunk";
    EXPECT_NE(m_transport.openSession(), kOk);
    EXPECT_FALSE(m_transport.isBusy());
}

TEST_F(SimTransportTest, FrameStreamBesideConfigurationKeepsEveryReplyWithItsCommand)
{
    attach(Route::Cable);
    std::atomic<bool> stop{false};
    std::atomic<int> frames{0};
    std::atomic<int> failedFrames{0};
    std::thread stream([&] {
        std::vector<uint8_t> frame(312);
        while (!stop) {
            std::memset(frame.data(), frames.load() & 0xFF, frame.size());
            if (m_transport.sendLightingFrame(frame.data(), 312) != kOk)
                ++failedFrames;
            ++frames;
        }
    });
    for (int i = 0; i < 40; ++i) {
        std::vector<uint8_t> block(26);
        for (size_t j = 0; j < block.size(); ++j)
            block[j] = static_cast<uint8_t>(i * 3 + j);
        EXPECT_EQ(m_transport.openSession(), kOk) << i;
        EXPECT_EQ(m_transport.writeSettings(block.data(), 26, 26), kOk) << i;
        std::vector<uint8_t> back(26);
        EXPECT_EQ(m_transport.readSettings(back.data(), 26, 26), kOk) << i;
        EXPECT_EQ(back, block) << i;
        CommandTransport::InfoBlock info{};
        EXPECT_EQ(m_transport.readInformation(info), kOk) << i;
        EXPECT_EQ(info[CommandTransport::kInfoKeySlots], 132) << i;
        EXPECT_EQ(m_transport.closeSession(), kOk) << i;
    }
    stop = true;
    stream.join();
    EXPECT_GT(frames.load(), 0);
    EXPECT_EQ(failedFrames.load(), 0);
    EXPECT_EQ(m_sim->simulator().counters(DeviceKind::Keyboard).badChecksums, 0u);
}
