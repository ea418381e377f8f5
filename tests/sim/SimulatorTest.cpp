#include "sim/Simulator.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <future>
#include <thread>

#include <unistd.h>

#include "SimTestSupport.h"
#include "hid/HidChannel.h"

namespace {

using sim::DeviceKind;
using sim::Region;
using sim::Route;
using simtest::openPath;
using simtest::readChunked;
using simtest::request;
using simtest::transact;
using simtest::writeChunked;

constexpr char kKeyboardCommand[] = "hid#vid_3a17&pid_5055&mi_01&col04";
constexpr char kKeyboardEvents[] = "hid#vid_3a17&pid_5055&mi_01&col03";
constexpr char kKeyboardReceiverCommand[] = "hid#vid_3a17&pid_5088&mi_01&col04";
constexpr char kKeyboardReceiverEvents[] = "hid#vid_3a17&pid_5088&mi_01&col03";
constexpr char kMouseReceiverCommand[] = "hid#vid_3a17&pid_221d&mi_01&col04";
constexpr char kMouseEvents[] = "hid#vid_3a17&pid_221c&mi_01&col03";
constexpr char kPadCommand[] = "hid#vid_3a17&pid_1004&mi_01&col04";
constexpr char kHeadset[] = "hid#vid_0c76&pid_1630&mi_03";

std::vector<uint8_t> pattern(size_t n, uint8_t seed) {
    std::vector<uint8_t> v(n);
    for (size_t i = 0; i < n; ++i) v[i] = uint8_t(seed + 7 * i);
    return v;
}

class SimulatorTest : public ::testing::Test {
protected:
    void SetUp() override {
        sim::SimulatorOptions options;
        options.dir = dir.path();
        options.timing = false;
        simulator = std::make_unique<sim::Simulator>(options);
        std::string error;
        ASSERT_TRUE(simulator->start(&error)) << error;
    }

    simtest::TempDir dir;
    std::unique_ptr<sim::Simulator> simulator;
};

TEST_F(SimulatorTest, InterfacesCarryTheCollectionsOfTheSupportedTable) {
    ASSERT_TRUE(simulator->plug(DeviceKind::Keyboard, Route::Cable).ok);
    ASSERT_TRUE(simulator->plug(DeviceKind::Headset).ok);
    struct Expect {
        const char* name;
        uint16_t usagePage;
        uint16_t usage;
    };
    const Expect expected[] = {
        {"hid#vid_3a17&pid_5055&mi_00", 0x0001, 0x0006},
        {"hid#vid_3a17&pid_5055&mi_01&col01", 0x0001, 0x0006},
        {"hid#vid_3a17&pid_5055&mi_01&col02", 0x0001, 0x0080},
        {kKeyboardEvents, 0x000C, 0x0001},
        {kKeyboardCommand, 0xFF1C, 0x0092},
        {kHeadset, 0x000C, 0x0001},
    };
    for (const Expect& e : expected) {
        SCOPED_TRACE(e.name);
        hid::HidChannel channel;
        ASSERT_TRUE(openPath(channel, dir.path(), e.name));
        EXPECT_EQ(channel.caps().usagePage, e.usagePage);
        EXPECT_EQ(channel.caps().usage, e.usage);
    }
    hid::HidChannel command;
    ASSERT_TRUE(openPath(command, dir.path(), kKeyboardCommand));
    EXPECT_EQ(command.attributes().vendorId, 0x3A17);
    EXPECT_EQ(command.attributes().productId, 0x5055);
    EXPECT_EQ(command.caps().inputReportByteLength, 64);
    EXPECT_EQ(command.caps().outputReportByteLength, 64);
    EXPECT_EQ(command.interfaceNumber(), 1u);
    EXPECT_EQ(command.collectionNumber(), 4u);
}

// Every memory the host writes reads back (or dumps) as written, in the chunk size of each
// route: 56 on the cable, 24 through the receiver.
TEST_F(SimulatorTest, EveryMemoryRoundTripsAtBothChunkSizes) {
    struct Route_ {
        Route route;
        const char* keyboard;
        size_t chunk;
    };
    for (const Route_ r : {Route_{Route::Cable, kKeyboardCommand, 56},
                           Route_{Route::Receiver, kKeyboardReceiverCommand, 24}}) {
        SCOPED_TRACE(r.chunk);
        ASSERT_TRUE(simulator->plug(DeviceKind::Keyboard, r.route).ok);
        hid::HidChannel ch;
        ASSERT_TRUE(openPath(ch, dir.path(), r.keyboard));
        std::vector<uint8_t> back;

        ASSERT_EQ(readChunked(ch, 0x03, 0, 34, r.chunk, back), 0);
        EXPECT_EQ(back, simulator->memory(DeviceKind::Keyboard, Region::Info));
        const size_t slots = back[5];

        const auto settings = pattern(27, uint8_t(r.chunk));
        ASSERT_EQ(writeChunked(ch, 0x06, 26 * 3, settings, r.chunk), 0);
        ASSERT_EQ(readChunked(ch, 0x05, 26 * 3, 27, r.chunk, back), 0);
        EXPECT_EQ(back, settings);

        const auto keys = pattern(3 * slots, 1);
        ASSERT_EQ(writeChunked(ch, 0x09, 0, keys, r.chunk), 0);
        ASSERT_EQ(readChunked(ch, 0x07, 0, keys.size(), r.chunk, back), 0);
        EXPECT_EQ(back, keys);

        ASSERT_EQ(readChunked(ch, 0x1B, 0, slots, r.chunk, back), 0);
        EXPECT_EQ(back, simulator->memory(DeviceKind::Keyboard, Region::LedMap));

        const auto table = pattern(3 * slots, 2);
        ASSERT_EQ(writeChunked(ch, 0x0B, 3 * 512, table, r.chunk), 0);
        const auto tables = simulator->memory(DeviceKind::Keyboard, Region::LightTable);
        EXPECT_TRUE(std::equal(table.begin(), table.end(), tables.begin() + 3 * 512));

        const auto frame = pattern(3 * 104, 3);
        ASSERT_EQ(writeChunked(ch, 0x12, 0, frame, r.chunk), 0);
        const auto last = simulator->memory(DeviceKind::Keyboard, Region::Frame);
        EXPECT_TRUE(std::equal(frame.begin(), frame.end(), last.begin()));

        const auto image = simtest::macroImage({3, 1});
        ASSERT_EQ(writeChunked(ch, 0x15, 0, image, r.chunk), 0);
        const sim::SimResult macro = simulator->dump(DeviceKind::Keyboard, Region::Macro);
        EXPECT_TRUE(macro.data["image"]["valid"].asBool());
        EXPECT_EQ(macro.data["image"]["macros"].size(), 2u);

        ASSERT_EQ(readChunked(ch, 0x1A, 0, 6, 6, back), 0);
        EXPECT_EQ(back[3], r.route == Route::Receiver ? 1 : 0);
    }

    // The mouse through its receiver: its 128-byte blocks and shoot data in fixed 56-byte chunks.
    ASSERT_TRUE(simulator->plug(DeviceKind::Mouse, Route::Receiver).ok);
    hid::HidChannel mouse;
    ASSERT_TRUE(openPath(mouse, dir.path(), kMouseReceiverCommand));
    std::vector<uint8_t> back;
    const auto block = pattern(66, 9);
    ASSERT_EQ(writeChunked(mouse, 0x06, 128 * 2, block, 24), 0);
    ASSERT_EQ(readChunked(mouse, 0x05, 128 * 2, 71, 24, back), 0);
    EXPECT_TRUE(std::equal(block.begin(), block.end(), back.begin()));
    ASSERT_EQ(writeChunked(mouse, 0x17, 0, simtest::macroImage({4, 4, 4, 4}), 56), 0);
    EXPECT_TRUE(simulator->dump(DeviceKind::Mouse, Region::Shoot).data["image"]["valid"].asBool());

    // Pad and headset: 21 bytes written at 64 x slot, 27 read at 26 x profile.
    ASSERT_TRUE(simulator->plug(DeviceKind::Pad).ok);
    ASSERT_TRUE(simulator->plug(DeviceKind::Headset).ok);
    for (const char* name : {kPadCommand, kHeadset}) {
        SCOPED_TRACE(name);
        hid::HidChannel ch;
        ASSERT_TRUE(openPath(ch, dir.path(), name));
        const auto live = pattern(21, 5);
        ASSERT_EQ(writeChunked(ch, 0x06, 0, live, 56), 0);
        ASSERT_EQ(readChunked(ch, 0x05, 0, 27, 56, back), 0);
        EXPECT_TRUE(std::equal(live.begin(), live.end(), back.begin()));
    }
}

TEST_F(SimulatorTest, RefusedRequestsOnTheWireChangeNothing) {
    ASSERT_TRUE(simulator->plug(DeviceKind::Keyboard).ok);
    hid::HidChannel ch;
    ASSERT_TRUE(openPath(ch, dir.path(), kKeyboardCommand));
    const auto before = simulator->memory(DeviceKind::Keyboard, Region::Settings);
    const std::vector<uint8_t> data(56, 0x5A);
    simtest::Report badChecksum = request(0x06, 4, 0, data.data(), 4);
    badChecksum[2] ^= 0x80;
    for (const simtest::Report& req : {badChecksum, request(0x06, 4, 0x0200, data.data(), 4),
                                       request(0x06, 57, 0, data.data(), 56)}) {
        const auto reply = transact(ch, req);
        ASSERT_TRUE(reply);
        EXPECT_EQ((*reply)[3], 0x06);
        EXPECT_EQ((*reply)[7], 0xFF);
    }
    EXPECT_EQ(simulator->memory(DeviceKind::Keyboard, Region::Settings), before);
    EXPECT_EQ(simulator->counters(DeviceKind::Keyboard).refused, 3u);
}

TEST(SimulatorStart, RemovesSocketsAKilledSimulatorLeftBehind) {
    simtest::TempDir dir;
    const std::string stale = dir.path() + "/hid#vid_3a17&pid_1004&mi_01&col04";
    {
        sim::SimulatorOptions options;
        options.dir = dir.path();
        sim::Simulator first(options);
        ASSERT_TRUE(first.start());
        ASSERT_TRUE(first.plug(DeviceKind::Pad).ok);
        // A killed process leaves its socket files: keep this one by linking it aside.
        ASSERT_EQ(::link(stale.c_str(), (stale + ".keep").c_str()), 0);
    }
    ASSERT_EQ(::rename((stale + ".keep").c_str(), stale.c_str()), 0);
    sim::SimulatorOptions options;
    options.dir = dir.path();
    sim::Simulator second(options);
    ASSERT_TRUE(second.start());
    EXPECT_FALSE(std::filesystem::exists(stale));
}

TEST_F(SimulatorTest, ReceiverAnswersNoLinkOnlyWhileTheDeviceIsOff) {
    ASSERT_TRUE(simulator->plug(DeviceKind::Keyboard, Route::Cable).ok);
    ASSERT_TRUE(simulator->plug(DeviceKind::Keyboard, Route::Receiver).ok);
    hid::HidChannel cable;
    hid::HidChannel receiver;
    ASSERT_TRUE(openPath(cable, dir.path(), kKeyboardCommand));
    ASSERT_TRUE(openPath(receiver, dir.path(), kKeyboardReceiverCommand));

    auto link = transact(receiver, request(0xAA));
    ASSERT_TRUE(link);
    EXPECT_EQ((*link)[3], 0xAA);
    EXPECT_EQ((*link)[8], 0xFF);  // the device answered

    ASSERT_TRUE(simulator->power(DeviceKind::Keyboard, false).ok);
    auto off = transact(receiver, request(0x05, 1, 0));
    ASSERT_TRUE(off);
    EXPECT_EQ((*off)[3], 0xAA);
    link = transact(receiver, request(0xAA));
    ASSERT_TRUE(link);
    EXPECT_NE((*link)[8], 0xFF);
    auto wired = transact(cable, request(0x05, 1, 0));
    ASSERT_TRUE(wired);
    EXPECT_EQ((*wired)[3], 0x05);

    ASSERT_TRUE(simulator->power(DeviceKind::Keyboard, true).ok);
    auto on = transact(receiver, request(0x05, 1, 0));
    ASSERT_TRUE(on);
    EXPECT_EQ((*on)[3], 0x05);

    EXPECT_FALSE(simulator->power(DeviceKind::Pad, false).ok);
}

TEST_F(SimulatorTest, UnplugRemovesTheInterfaceAndReleasesItsReaders) {
    ASSERT_TRUE(simulator->plug(DeviceKind::Keyboard).ok);
    hid::HidChannel ch;
    ASSERT_TRUE(openPath(ch, dir.path(), kKeyboardCommand));
    auto reader = std::async(std::launch::async, [&] {
        uint8_t buffer[64];
        uint32_t n = 0;
        return ch.readReport(buffer, sizeof buffer, &n, hid::kInfinite);
    });
    ASSERT_TRUE(simulator->unplug(DeviceKind::Keyboard).ok);
    ASSERT_EQ(reader.wait_for(std::chrono::seconds(10)), std::future_status::ready);
    EXPECT_FALSE(reader.get());
    EXPECT_FALSE(std::filesystem::exists(dir.path() + "/" + kKeyboardCommand));
    hid::HidChannel again;
    EXPECT_FALSE(openPath(again, dir.path(), kKeyboardCommand));

    ASSERT_TRUE(simulator->plug(DeviceKind::Keyboard).ok);
    EXPECT_TRUE(openPath(again, dir.path(), kKeyboardCommand));
    EXPECT_TRUE(transact(again, request(0x01)));
}

// Event codes arrive on the consumer-control collection of every route that reaches the device,
// as the first usage of the first input item.
TEST_F(SimulatorTest, EventsArriveOnTheConsumerCollection) {
    ASSERT_TRUE(simulator->plug(DeviceKind::Keyboard, Route::Cable).ok);
    ASSERT_TRUE(simulator->plug(DeviceKind::Keyboard, Route::Receiver).ok);
    ASSERT_TRUE(simulator->plug(DeviceKind::Mouse, Route::Cable).ok);
    hid::HidChannel cable, receiver, mouse;
    ASSERT_TRUE(openPath(cable, dir.path(), kKeyboardEvents));
    ASSERT_TRUE(openPath(receiver, dir.path(), kKeyboardReceiverEvents));
    ASSERT_TRUE(openPath(mouse, dir.path(), kMouseEvents));

    auto firstUsage = [](hid::HidChannel& ch) -> int {
        uint8_t report[64] = {};
        uint32_t n = 0;
        if (!ch.readReport(report, sizeof report, &n, 5000)) return -1;
        if (!ch.decodeInputReport(report, n, hid::ReportType::Input)) return -2;
        const auto& items = ch.items(hid::ReportType::Input);
        if (items.empty() || items[0].usages.empty()) return -3;
        return items[0].usages[0];
    };

    ASSERT_TRUE(simulator->profile(DeviceKind::Keyboard, 2).ok);
    EXPECT_EQ(firstUsage(cable), 0x1002);
    EXPECT_EQ(firstUsage(receiver), 0x1002);
    EXPECT_EQ(simulator->memory(DeviceKind::Keyboard, Region::Settings)[0], 2);

    ASSERT_TRUE(simulator->profile(DeviceKind::Keyboard, 1, true).ok);
    EXPECT_EQ(firstUsage(cable), 0x1101);
    ASSERT_TRUE(simulator->poke(DeviceKind::Keyboard, Region::Settings, 2, {1}, true).ok);
    EXPECT_EQ(firstUsage(cable), 0x401);
    ASSERT_TRUE(simulator->event(DeviceKind::Mouse, 0x403).ok);
    EXPECT_EQ(firstUsage(mouse), 0x403);

    EXPECT_FALSE(simulator->profile(DeviceKind::Keyboard, 8).ok);  // profiles 0 to 7
}

TEST_F(SimulatorTest, FaultsAffectTheNextMatchingReplies) {
    ASSERT_TRUE(simulator->plug(DeviceKind::Keyboard).ok);
    hid::HidChannel ch;
    ASSERT_TRUE(openPath(ch, dir.path(), kKeyboardCommand));
    auto arm = [&](sim::FaultKind kind, uint32_t lateMs = 0) {
        sim::FaultSpec spec;
        spec.kind = kind;
        spec.lateMs = lateMs;
        spec.command = 0x05;
        ASSERT_TRUE(simulator->fault(DeviceKind::Keyboard, spec).ok);
    };
    const auto read = request(0x05, 1, 0);

    // Other commands pass untouched while a fault waits for its command.
    arm(sim::FaultKind::DropReply);
    EXPECT_TRUE(transact(ch, request(0x01)));
    EXPECT_FALSE(transact(ch, read, 300));  // nothing comes
    EXPECT_TRUE(transact(ch, read));        // one report only

    arm(sim::FaultKind::BadEcho);
    auto reply = transact(ch, read);
    ASSERT_TRUE(reply);
    EXPECT_NE((*reply)[3], 0x05);
    EXPECT_NE((*reply)[3], 0xAA);

    for (const auto& [kind, status] : {std::pair{sim::FaultKind::StatusFF, 0xFF},
                                       std::pair{sim::FaultKind::StatusFE, 0xFE}}) {
        arm(kind);
        reply = transact(ch, read);
        ASSERT_TRUE(reply);
        EXPECT_EQ((*reply)[3], 0x05);
        EXPECT_EQ((*reply)[7], status);
    }

    // A late reply comes no sooner than its delay after the request (a lower bound, which no
    // load on the machine can break).
    arm(sim::FaultKind::LateReply, 400);
    uint32_t n = 0;
    const auto sent = std::chrono::steady_clock::now();
    ASSERT_TRUE(ch.writeReport(read.data(), 64, &n, 1000));
    uint8_t buffer[64];
    ASSERT_TRUE(ch.readReport(buffer, 64, &n, 10000));
    EXPECT_GE(std::chrono::steady_clock::now() - sent, std::chrono::milliseconds(400));
    EXPECT_EQ(buffer[3], 0x05);
}

TEST_F(SimulatorTest, UnplugMidTransferCutsAMultiChunkTransfer) {
    ASSERT_TRUE(simulator->plug(DeviceKind::Keyboard).ok);
    hid::HidChannel ch;
    ASSERT_TRUE(openPath(ch, dir.path(), kKeyboardCommand));
    sim::FaultSpec spec;
    spec.kind = sim::FaultKind::UnplugMidTransfer;
    ASSERT_TRUE(simulator->fault(DeviceKind::Keyboard, spec).ok);
    EXPECT_TRUE(transact(ch, request(0x05, 27, 0)));  // single-chunk transfers pass
    std::vector<uint8_t> back;
    EXPECT_EQ(readChunked(ch, 0x07, 0, 396, 56, back), -1);
    EXPECT_FALSE(std::filesystem::exists(dir.path() + "/" + kKeyboardCommand));
    EXPECT_FALSE(simulator->state().data["devices"]["keyboard"]["routes"]["cable"]["plugged"].asBool());
}

TEST_F(SimulatorTest, HeadsetTakesLightingThroughTheControlPipe) {
    ASSERT_TRUE(simulator->plug(DeviceKind::Headset).ok);
    hid::HidChannel ch;
    ASSERT_TRUE(openPath(ch, dir.path(), kHeadset));
    const uint8_t report[17] = {0xFF, 0x22, 0xAA, 0x00, 247, 1, 2, 3, 4, 5, 6};
    ASSERT_TRUE(ch.setOutputReport(report, sizeof report));
    EXPECT_TRUE(transact(ch, request(0x01)));  // the report was handled before this reply
    const auto planes = simulator->memory(DeviceKind::Headset, Region::Frame);
    EXPECT_EQ(planes[0], 247);
    EXPECT_EQ(planes[6], 6);
}

// The bus model gives one report per direction per millisecond on the cable and adds the
// receiver's latency; a round trip can never be faster (only lower bounds are checked).
TEST(SimulatorTiming, RoundTripsTakeAtLeastTheBusFrames) {
    simtest::TempDir dir;
    sim::SimulatorOptions options;
    options.dir = dir.path();
    options.receiverDelayMs = 5;
    sim::Simulator simulator(options);
    ASSERT_TRUE(simulator.start());
    ASSERT_TRUE(simulator.plug(DeviceKind::Keyboard, Route::Cable).ok);
    ASSERT_TRUE(simulator.plug(DeviceKind::Keyboard, Route::Receiver).ok);
    for (const auto& [name, perTrip] : {std::pair{kKeyboardCommand, 1}, std::pair{kKeyboardReceiverCommand, 5}}) {
        SCOPED_TRACE(name);
        hid::HidChannel ch;
        ASSERT_TRUE(openPath(ch, dir.path(), name));
        ASSERT_TRUE(transact(ch, request(0x01)));
        const auto start = std::chrono::steady_clock::now();
        for (int i = 0; i < 20; ++i) ASSERT_TRUE(transact(ch, request(0x05, 1, 0)));
        const auto elapsed = std::chrono::steady_clock::now() - start;
        EXPECT_GE(elapsed, std::chrono::milliseconds(20 * perTrip - 1));
    }
}

}  // namespace
