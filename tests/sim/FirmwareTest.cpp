#include "sim/Firmware.h"

#include <gtest/gtest.h>

#include <set>

#include "SimTestSupport.h"
#include "keytables/DefaultKeyTables.h"

namespace {

using sim::DeviceKind;
using sim::Firmware;
using sim::Region;
using sim::Route;
using simtest::request;

sim::Report run(Firmware& fw, const simtest::Report& req, Route route = Route::Cable) {
    return fw.execute(req.data(), req.size(), route);
}

// Requests the firmware must refuse without touching memory, whatever the device.
TEST(Firmware, RefusedRequestsChangeNothing) {
    const uint8_t data[56] = {0xAB, 0xCD, 0xEF};
    struct Case {
        const char* name;
        DeviceKind kind;
        simtest::Report req;
        uint8_t status;
    };
    simtest::Report badChecksum = request(0x06, 3, 10, data, 3);
    badChecksum[1] ^= 0x01;
    simtest::Report paddingChanged = request(0x06, 3, 10, data, 3);
    paddingChanged[63] = 0x01;  // the sum covers the padding too
    const Case cases[] = {
        {"bad checksum", DeviceKind::Keyboard, badChecksum, 0xFF},
        {"padding outside the checksum", DeviceKind::Keyboard, paddingChanged, 0xFF},
        {"offset past the memory", DeviceKind::Keyboard, request(0x06, 3, 256, data, 3), 0xFF},
        {"chunk crossing the end", DeviceKind::Keyboard, request(0x06, 3, 254, data, 3), 0xFF},
        {"chunk longer than 56", DeviceKind::Keyboard, request(0x06, 57, 0, data, 56), 0xFF},
        {"mouse settings past 640", DeviceKind::Mouse, request(0x06, 56, 600, data, 56), 0xFF},
        {"key table past its slots", DeviceKind::Keyboard, request(0x09, 3, 396, data, 3), 0xFF},
        {"key table bank 1", DeviceKind::Mouse, request(0x09, 3, 512, data, 3), 0xFF},
        {"pad has no key table", DeviceKind::Pad, request(0x09, 3, 0, data, 3), 0xFE},
        {"headset takes no frame", DeviceKind::Headset, request(0x12, 3, 0, data, 3), 0xFE},
        {"unknown command", DeviceKind::Keyboard, request(0x99), 0xFE},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Firmware fw(c.kind);
        std::vector<std::vector<uint8_t>> before;
        for (int r = 0; r <= int(Region::Status); ++r) before.push_back(fw.region(Region(r)));
        const sim::Report reply = run(fw, c.req);
        EXPECT_EQ(reply[3], c.req[3]);
        EXPECT_EQ(reply[7], c.status);
        for (int r = 0; r <= int(Region::Status); ++r)
            EXPECT_EQ(fw.region(Region(r)), before[size_t(r)]) << sim::regionName(Region(r));
    }
}

TEST(Firmware, ReadsOutsideMemoryAreRefused) {
    Firmware fw(DeviceKind::Keyboard);
    EXPECT_EQ(run(fw, request(0x03, 34, 0))[7], 0x00);
    EXPECT_EQ(run(fw, request(0x03, 24, 24))[7], 0xFF);  // 34-byte block
    EXPECT_EQ(run(fw, request(0x1A, 6, 0))[7], 0x00);
    EXPECT_EQ(run(fw, request(0x1A, 8, 0))[7], 0xFF);  // 6-byte status block
}

TEST(Firmware, ReplyIsFramedAndChecksummed) {
    Firmware fw(DeviceKind::Keyboard);
    const sim::Report reply = run(fw, request(0x05, 27, 26));
    EXPECT_EQ(reply[0], 4);
    EXPECT_EQ(reply[3], 0x05);
    EXPECT_EQ(reply[7], 0x00);
    uint32_t sum = 0;
    for (size_t i = 3; i < 64; ++i) sum += reply[i];
    EXPECT_EQ(reply[1] | (reply[2] << 8), int(sum & 0xFFFF));
    // Block 1's light bytes as the factory left them: mode 2, full brightness, colourful red.
    EXPECT_EQ(reply[8 + 1], 2);
    EXPECT_EQ(reply[8 + 5], 1);
    EXPECT_EQ(reply[8 + 6], 255);
}

TEST(Firmware, StatusBlockSaysWhichRouteAnswered) {
    Firmware fw(DeviceKind::Mouse);
    fw.setBattery(35);
    EXPECT_EQ(run(fw, request(0x1A, 6, 0), Route::Receiver)[8 + 3], 1);
    const sim::Report wired = run(fw, request(0x1A, 6, 0), Route::Cable);
    EXPECT_EQ(wired[8 + 3], 0);
    EXPECT_EQ(wired[8 + 0], 35);
}

// The keyboard's key table is the factory layout in the firmware's own slot order, and every
// lit slot has a distinct LED inside the frame the host sends (3 bytes per slot).
TEST(Firmware, KeyboardKeyTableHoldsEveryFactoryKeyOnce) {
    Firmware fw(DeviceKind::Keyboard);
    const auto& info = fw.region(Region::Info);
    const size_t slots = info[5];
    ASSERT_LE(3 * slots, 512u);
    const auto& keys = fw.region(Region::KeyTable);
    const auto& leds = fw.region(Region::LedMap);
    std::set<int> positions;
    std::set<int> ledIndexes;
    for (size_t slot = 0; slot < slots; ++slot) {
        const keytables::KeyTriple t{keys[3 * slot], keys[3 * slot + 1], keys[3 * slot + 2]};
        const auto& table = keytables::keyboardDefaultKeyTable();
        const auto it = std::find(table.begin(), table.end(), t);
        ASSERT_NE(it, table.end()) << "slot " << slot;
        positions.insert(int(it - table.begin()));
        EXPECT_LT(leds[slot], slots);
        ledIndexes.insert(leds[slot]);
    }
    EXPECT_EQ(positions.size(), slots);
    EXPECT_EQ(ledIndexes.size(), slots);
}

TEST(Firmware, MacroImageIsCheckedWhenItsLastByteArrives) {
    const std::vector<uint8_t> good = simtest::macroImage({2, 0, 3});
    struct Case {
        const char* name;
        std::vector<uint8_t> image;
        bool valid;
    };
    std::vector<uint8_t> badMagic = good;
    badMagic[0] = 0x55;
    std::vector<uint8_t> shortTotal = good;
    shortTotal[2] -= 4;  // claims one event fewer than the records hold
    std::vector<uint8_t> misplaced = good;
    misplaced[18] += 4;  // second record's offset points into the first
    const Case cases[] = {
        {"valid", good, true},
        {"bad magic", badMagic, false},
        {"total shorter than the records", shortTotal, false},
        {"record out of place", misplaced, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Firmware fw(DeviceKind::Keyboard);
        const size_t total = std::min<size_t>(c.image.size(), c.image[2] | (c.image[3] << 8));
        uint8_t lastStatus = 0;
        for (size_t pos = 0; pos < total; pos += 24) {
            const size_t n = std::min<size_t>(24, total - pos);
            lastStatus = run(fw, request(0x15, uint8_t(n), uint16_t(pos), c.image.data() + pos, n))[7];
        }
        EXPECT_EQ(lastStatus, c.valid ? 0x00 : 0xFF);
        EXPECT_EQ(fw.macroImage().valid, c.valid) << fw.macroImage().problem;
        if (c.valid) {
            ASSERT_EQ(fw.macroImage().macros.size(), 3u);
            EXPECT_EQ(fw.macroImage().macros[2].size(), 3u);
            EXPECT_TRUE(fw.macroImage().macros[2][0].down);
            EXPECT_EQ(fw.macroImage().macros[2][1].delay, 12);
        }
    }
}

TEST(Firmware, MacroImageLargerThanTheMemoryIsRefusedAtItsFirstChunk) {
    Firmware fw(DeviceKind::Mouse);  // 16 units: 2048 bytes
    std::vector<uint8_t> image = simtest::macroImage({1});
    image[2] = 0x01;
    image[3] = 0x08;  // claims 2049 bytes
    EXPECT_EQ(run(fw, request(0x15, 24, 0, image.data(), 24))[7], 0xFF);
    EXPECT_FALSE(fw.macroImage().valid);
}

TEST(Firmware, HeadsetLightingReportsFillTheColourPlanes) {
    Firmware fw(DeviceKind::Headset);
    uint8_t report[17] = {0xFF, 0x44, 0xAE, 0x00, 1, 2, 3, 4, 5, 6};  // green, LEDs 7-12
    EXPECT_TRUE(fw.lightingReport(report, sizeof report));
    const auto& planes = fw.region(Region::Frame);  // target 0x22 then 0x44; R, G, B of 13
    EXPECT_EQ(planes[39 + 13 + 7], 1);
    EXPECT_EQ(planes[39 + 13 + 12], 6);
    report[2] = 0xB0;
    EXPECT_FALSE(fw.lightingReport(report, sizeof report));
    EXPECT_FALSE(fw.lightingReport(report, 16));
    EXPECT_EQ(fw.counters().headsetLightReports, 1u);
}

}  // namespace
