#include <gtest/gtest.h>

#include "hid/HidChannel.h"
#include "hid/ReportDecoder.h"
#include "hid/ReportDescriptor.h"
#include "tests/hid/Descriptors.h"

namespace hid {
namespace {

using test::kBootKeyboard;
using test::kGamingKeyboard;
using test::kHeadset;
using test::kMouse;

struct CollectionCase {
    const char* name;
    const std::vector<uint8_t>* descriptor;
    size_t index;
    uint16_t usagePage, usage;
    uint16_t inputLength, outputLength, featureLength;
    uint16_t inputButtonCaps, inputValueCaps, outputButtonCaps, outputValueCaps;
    size_t inputItems;
};

// Lengths count the report-ID byte even without report IDs, as callers of the Windows parser
// expect; a type the collection does not have is 0 long.
const CollectionCase kCollections[] = {
    {"boot keyboard", &kBootKeyboard, 0, 0x01, 0x06, 9, 2, 0, 2, 0, 1, 0, 2},
    {"keyboard", &kGamingKeyboard, 0, 0x01, 0x06, 15, 2, 0, 2, 0, 1, 0, 2},
    {"system control", &kGamingKeyboard, 1, 0x01, 0x80, 2, 0, 0, 1, 0, 0, 0, 1},
    {"consumer control", &kGamingKeyboard, 2, 0x0C, 0x01, 3, 0, 0, 1, 0, 0, 0, 1},
    {"vendor commands", &kGamingKeyboard, 3, 0xFF1C, 0x92, 65, 65, 0, 0, 1, 0, 1, 1},
    {"headset", &kHeadset, 0, 0x0C, 0x01, 2, 17, 0, 4, 0, 0, 1, 4},
    // X..Y is one range cap: it gives two value items, the wheel a third.
    {"mouse", &kMouse, 0, 0x01, 0x02, 7, 0, 0, 1, 2, 0, 0, 4},
};

TEST(ReportDescriptor, CollectionsLengthsAndCaps)
{
    for (const CollectionCase& c : kCollections) {
        SCOPED_TRACE(c.name);
        ReportDescriptor d;
        ASSERT_TRUE(d.parse(*c.descriptor));
        ASSERT_LT(c.index, d.collections().size());
        const TopCollection& col = d.collections()[c.index];
        const HidCaps caps = col.caps();
        EXPECT_EQ(caps.usagePage, c.usagePage);
        EXPECT_EQ(caps.usage, c.usage);
        EXPECT_EQ(caps.inputReportByteLength, c.inputLength);
        EXPECT_EQ(caps.outputReportByteLength, c.outputLength);
        EXPECT_EQ(caps.featureReportByteLength, c.featureLength);
        EXPECT_EQ(caps.numberInputButtonCaps, c.inputButtonCaps);
        EXPECT_EQ(caps.numberInputValueCaps, c.inputValueCaps);
        EXPECT_EQ(caps.numberOutputButtonCaps, c.outputButtonCaps);
        EXPECT_EQ(caps.numberOutputValueCaps, c.outputValueCaps);
        EXPECT_EQ(ReportDecoder::buildItems(col, ReportType::Input).size(), c.inputItems);
    }
    ReportDescriptor d;
    ASSERT_TRUE(d.parse(kGamingKeyboard));
    EXPECT_EQ(d.collections().size(), 4u);
    EXPECT_TRUE(d.usesReportIds());
    EXPECT_TRUE(d.collections()[3].hasReportId(ReportType::Input, 4));
    EXPECT_FALSE(d.collections()[3].hasReportId(ReportType::Input, 3));
    ASSERT_TRUE(d.parse(kBootKeyboard));
    EXPECT_FALSE(d.usesReportIds());
}

TEST(ReportDescriptor, ItemsCarryRangesAndUsageListCapacity)
{
    ReportDescriptor d;
    ASSERT_TRUE(d.parse(kBootKeyboard));
    auto items = ReportDecoder::buildItems(d.collections()[0], ReportType::Input);
    ASSERT_EQ(items.size(), 2u);
    // Eight modifier bits plus six key slots can be on at once.
    for (const HidDataItem& item : items) {
        EXPECT_TRUE(item.isButton);
        EXPECT_EQ(item.status, kHidpStatusSuccess);
        EXPECT_EQ(item.maxUsageListLength, 14u);
        EXPECT_EQ(item.usages.size(), 14u);
    }
    EXPECT_EQ(items[0].usageMin, 0xE0u);
    EXPECT_EQ(items[0].usageMax, 0xE7u);
    EXPECT_EQ(items[1].usageMin, 0x00u);
    EXPECT_EQ(items[1].usageMax, 0x65u);

    ASSERT_TRUE(d.parse(kMouse));
    items = ReportDecoder::buildItems(d.collections()[0], ReportType::Input);
    ASSERT_EQ(items.size(), 4u);
    EXPECT_EQ(items[1].usage, 0x30);
    EXPECT_EQ(items[2].usage, 0x31);
    EXPECT_EQ(items[3].usage, 0x38);
    EXPECT_FALSE(items[1].isButton);
}

struct DecodeCase {
    const char* name;
    const std::vector<uint8_t>* descriptor;
    size_t collection;
    std::vector<uint8_t> report;
    // Expected usage lists (up to the first 0) of the button items, in item order.
    std::vector<std::vector<uint16_t>> usages;
};

const DecodeCase kDecodes[] = {
    {"boot keyboard: shift, A, B", &kBootKeyboard, 0, {0x00, 0x02, 0x00, 0x04, 0x05, 0, 0, 0, 0},
     {{0xE1}, {0x04, 0x05}}},
    {"boot keyboard: roll-over error", &kBootKeyboard, 0, {0x00, 0x00, 0x00, 1, 1, 1, 1, 1, 1},
     {{}, {1, 1, 1, 1, 1, 1}}},
    {"bitmap keyboard: ctrl, A, H", &kGamingKeyboard, 0,
     {0x01, 0x01, 0x10, 0x01, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}, {{0xE0}, {0x04, 0x08}}},
    {"system control: sleep", &kGamingKeyboard, 1, {0x02, 0x02}, {{0x82}}},
    {"system control: out of range is empty", &kGamingKeyboard, 1, {0x02, 0x00}, {{}}},
    {"consumer: device event 0x401", &kGamingKeyboard, 2, {0x03, 0x01, 0x04}, {{0x401}}},
    {"headset: volume up and mute", &kHeadset, 0, {0x01, 0x05}, {{0xE9}, {}, {0xE2}, {}}},
};

TEST(ReportDecoder, ButtonsKeepUsagesInTheirRangeAtTheFront)
{
    for (const DecodeCase& c : kDecodes) {
        SCOPED_TRACE(c.name);
        ReportDescriptor d;
        ASSERT_TRUE(d.parse(*c.descriptor));
        const TopCollection& col = d.collections()[c.collection];
        auto items = ReportDecoder::buildItems(col, ReportType::Input);
        // Leftovers of an earlier report must not survive the next one.
        for (auto& item : items)
            std::fill(item.usages.begin(), item.usages.end(), uint16_t(0x77));
        ASSERT_TRUE(ReportDecoder::decode(col, ReportType::Input, c.report.data(), c.report.size(), items));
        ASSERT_EQ(items.size(), c.usages.size());
        for (size_t i = 0; i < items.size(); ++i) {
            SCOPED_TRACE(i);
            EXPECT_TRUE(items[i].isSet);
            EXPECT_EQ(items[i].status, kHidpStatusSuccess);
            std::vector<uint16_t> got;
            for (uint16_t u : items[i].usages) {
                if (u == 0)
                    break;
                got.push_back(u);
            }
            EXPECT_EQ(got, c.usages[i]);
        }
    }
}

TEST(ReportDecoder, ValuesRawAndScaled)
{
    ReportDescriptor d;
    ASSERT_TRUE(d.parse(kMouse));
    const TopCollection& mouse = d.collections()[0];
    auto items = ReportDecoder::buildItems(mouse, ReportType::Input);
    const std::vector<uint8_t> report = {0x00, 0x05, 0xFE, 0xFF, 0x10, 0x00, 0xFF};
    ASSERT_TRUE(ReportDecoder::decode(mouse, ReportType::Input, report.data(), report.size(), items));
    EXPECT_EQ(items[0].usages[0], 1);
    EXPECT_EQ(items[0].usages[1], 3);
    EXPECT_EQ(items[0].usages[2], 0);
    EXPECT_EQ(items[1].value, 0xFFFEu);  // raw bits, not sign-extended
    EXPECT_EQ(items[1].scaledValue, -2);
    EXPECT_EQ(items[2].value, 16u);
    EXPECT_EQ(items[2].scaledValue, 16);
    EXPECT_EQ(items[3].value, 0xFFu);
    EXPECT_EQ(items[3].scaledValue, -1);

    ASSERT_TRUE(d.parse(kGamingKeyboard));
    const TopCollection& vendor = d.collections()[3];
    items = ReportDecoder::buildItems(vendor, ReportType::Input);
    std::vector<uint8_t> command(65, 0);
    command[0] = 4;
    command[1] = 0xAB;
    ASSERT_TRUE(ReportDecoder::decode(vendor, ReportType::Input, command.data(), command.size(), items));
    EXPECT_EQ(items[0].value, 0xABu);
    EXPECT_EQ(items[0].scaledValue, 0xAB);
}

TEST(ReportDecoder, ScalingWideValuesDoesNotOverflow)
{
    // One 32-bit value: logical 0..0xFFFFFFFF (unsigned, written in four bytes), physical the
    // whole signed 32-bit range.
    const std::vector<uint8_t> wide = {
        0x06, 0x00, 0xFF, 0x09, 0x01, 0xA1, 0x01, 0x09, 0x02, 0x15, 0x00, 0x27, 0xFF, 0xFF,
        0xFF, 0xFF, 0x37, 0x00, 0x00, 0x00, 0x80, 0x47, 0xFF, 0xFF, 0xFF, 0x7F, 0x75, 0x20,
        0x95, 0x01, 0x81, 0x02, 0xC0,
    };
    ReportDescriptor d;
    ASSERT_TRUE(d.parse(wide));
    const TopCollection& c = d.collections()[0];
    const struct {
        uint32_t raw;
        int32_t scaled;
    } cases[] = {{0, INT32_MIN}, {0xFFFFFFFF, INT32_MAX}, {0x80000000, 0}};
    for (const auto& v : cases) {
        SCOPED_TRACE(v.raw);
        const std::vector<uint8_t> report = {0x00, uint8_t(v.raw), uint8_t(v.raw >> 8),
                                             uint8_t(v.raw >> 16), uint8_t(v.raw >> 24)};
        auto items = ReportDecoder::buildItems(c, ReportType::Input);
        ASSERT_TRUE(ReportDecoder::decode(c, ReportType::Input, report.data(), report.size(), items));
        EXPECT_EQ(items[0].value, v.raw);
        EXPECT_EQ(items[0].status, kHidpStatusSuccess);
        EXPECT_EQ(items[0].scaledValue, v.scaled);
    }
}

TEST(ReportDecoder, ForeignReportLeavesItemsAloneAndShortReportFails)
{
    ReportDescriptor d;
    ASSERT_TRUE(d.parse(kGamingKeyboard));
    const TopCollection& consumer = d.collections()[2];
    auto items = ReportDecoder::buildItems(consumer, ReportType::Input);
    const std::vector<uint8_t> other = {0x04, 0x01, 0x04};
    ASSERT_TRUE(ReportDecoder::decode(consumer, ReportType::Input, other.data(), other.size(), items));
    EXPECT_FALSE(items[0].isSet);
    EXPECT_EQ(items[0].usages[0], 0);
    EXPECT_EQ(items[0].status, kHidpStatusSuccess);

    // A report cut short is never read past its end: the button item reports the length, and
    // a value that does not fit stops the decode with false.
    const std::vector<uint8_t> cut = {0x03, 0x01};
    ASSERT_TRUE(ReportDecoder::decode(consumer, ReportType::Input, cut.data(), cut.size(), items));
    EXPECT_EQ(items[0].status, kHidpStatusInvalidReportLength);
    EXPECT_EQ(items[0].usages[0], 0);

    ASSERT_TRUE(d.parse(kMouse));
    items = ReportDecoder::buildItems(d.collections()[0], ReportType::Input);
    const std::vector<uint8_t> shortMouse = {0x00, 0x01, 0x02};
    EXPECT_FALSE(ReportDecoder::decode(d.collections()[0], ReportType::Input, shortMouse.data(),
                                       shortMouse.size(), items));
    EXPECT_EQ(items[0].usages[0], 1);
    EXPECT_EQ(items[1].status, kHidpStatusInvalidReportLength);
    EXPECT_FALSE(ReportDecoder::decode(d.collections()[0], ReportType::Input, nullptr, 0, items));
}

TEST(ReportDescriptor, RejectsMalformedDescriptors)
{
    std::vector<uint8_t> deep;
    for (int i = 0; i < 40; ++i)
        deep.insert(deep.end(), {0xA1, 0x01});
    const struct {
        const char* name;
        std::vector<uint8_t> bytes;
    } bad[] = {
        {"item data cut off", {0x05, 0x01, 0x26, 0xFF}},
        {"four-byte item cut off", {0x27, 0x01, 0x02}},
        {"long item cut off", {0xFE, 0x05, 0x00, 0x01}},
        {"report ID 0", {0x05, 0x01, 0x09, 0x06, 0xA1, 0x01, 0x85, 0x00, 0xC0}},
        {"collections nested too deep", deep},
        // 255-bit fields, 65535 of them: far more than a 16-bit report length can say.
        {"report too long", {0xA1, 0x01, 0x75, 0xFF, 0x96, 0xFF, 0xFF, 0x81, 0x03, 0xC0}},
    };
    for (const auto& c : bad) {
        SCOPED_TRACE(c.name);
        ReportDescriptor d;
        EXPECT_FALSE(d.parse(c.bytes));
        EXPECT_TRUE(d.collections().empty());
    }
    // Nothing to describe is not an error, and a long item is skipped whole.
    ReportDescriptor d;
    EXPECT_TRUE(d.parse(nullptr, 0));
    std::vector<uint8_t> withLongItem = {0xFE, 0x02, 0x10, 0xAA, 0xBB};
    withLongItem.insert(withLongItem.end(), kMouse.begin(), kMouse.end());
    ASSERT_TRUE(d.parse(withLongItem));
    EXPECT_EQ(d.collections().size(), 1u);
}

TEST(DevicePath, NumbersAfterTokens)
{
    const struct {
        const char* path;
        uint32_t vendor, product, interface, collection;
    } cases[] = {
        {"/dev/hidraw3#vid_3a17&pid_5055&mi_01&col04", 0x3A17, 0x5055, 1, 4},
        {R"(\\?\HID#VID_0C76&PID_1630&MI_03#7&1a2b)", 0x0C76, 0x1630, 3, 0},
        {"/tmp/sim/hid#vid_3a17&pid_221d&mi_01&col0a", 0x3A17, 0x221D, 1, 10},
        {"/dev/hidraw0", 0, 0, 0, 0},
        {"&mi_&col", 0, 0, 0, 0},
        {"&col123456789", 0, 0, 0, 0xFFFFFFFF},  // saturates instead of wrapping
        // Folders above the device may look like tokens; only the device's own name counts.
        {"/home/david_x/sim/hid#vid_3a17&pid_5055&mi_01&col04", 0x3A17, 0x5055, 1, 4},
        {"/home/vid_9/pid_8&mi_7&col6/hid#vid_0c76&pid_1630&mi_03", 0x0C76, 0x1630, 3, 0},
        {"/tmp/a#vid_1&pid_2&mi_3/hid#vid_3a17&pid_221c&mi_00", 0x3A17, 0x221C, 0, 0},
        {"/home/david_x/hidraw-standin", 0, 0, 0, 0},
        {"/home/david_x/sim/hid#", 0, 0, 0, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.path);
        EXPECT_EQ(vendorIdFromPath(c.path), c.vendor);
        EXPECT_EQ(productIdFromPath(c.path), c.product);
        EXPECT_EQ(interfaceNumberFromPath(c.path), c.interface);
        EXPECT_EQ(collectionNumberFromPath(c.path), c.collection);
    }
    EXPECT_TRUE(isSimulatorPath("/tmp/sim/hid#vid_3a17&pid_5055&mi_01"));
    EXPECT_FALSE(isSimulatorPath("/dev/hidraw3#vid_3a17&pid_5055&mi_01"));
}

}  // namespace
}  // namespace hid
