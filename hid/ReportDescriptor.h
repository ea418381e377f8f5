#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "hid/HidTypes.h"

namespace hid {

// One Usage or Usage Minimum..Maximum pair of a main item, with its usage page resolved.
struct UsageEntry {
    uint16_t page = 0;
    uint16_t min = 0;
    uint16_t max = 0;
    bool isRange = false;
    uint32_t size() const { return uint32_t(max) - min + 1; }
};

// One Input, Output or Feature main item: reportCount fields of reportSize bits each, starting
// bitOffset bits after the report-ID byte of report reportId.
struct ReportField {
    ReportType type = ReportType::Input;
    uint8_t reportId = 0;
    uint32_t bitOffset = 0;
    uint32_t reportSize = 0;
    uint32_t reportCount = 0;
    uint32_t flags = 0;  // the main item's data: bit 0 constant, bit 1 variable, bit 2 relative
    // 64-bit so that an unsigned 32-bit maximum keeps its value.
    int64_t logicalMin = 0;
    int64_t logicalMax = 0;
    int64_t physicalMin = 0;
    int64_t physicalMax = 0;
    std::vector<UsageEntry> usages;

    bool isConstant() const { return flags & 0x01; }
    bool isVariable() const { return flags & 0x02; }
    // Buttons are one-bit variables and arrays (whose fields hold indices of usages that are on).
    bool isButton() const { return !isVariable() || reportSize == 1; }
};

// A cap: one usage entry of a field, or a usage range. Button caps and value caps carry the
// same record and differ in how their fields are read:
// - a button cap of a variable field covers `fieldCount` one-bit fields from `firstField`; of an
//   array field it stands for the whole field;
// - a value cap is one usage (or a range, one field per usage); a single usage over several
//   fields (a byte array such as a 64-byte vendor report) has fieldCount > 1 and its value reads
//   as the first field.
struct UsageCap {
    uint16_t usagePage = 0;
    uint8_t reportId = 0;
    uint16_t usageMin = 0;
    uint16_t usageMax = 0;
    bool isRange = false;
    uint32_t field = 0;  // index into TopCollection::fields
    uint32_t firstField = 0;
    uint32_t fieldCount = 0;
};
using ButtonCap = UsageCap;
using ValueCap = UsageCap;

// One top-level collection with everything a channel on it needs: its usage, the report IDs and
// lengths per report type, and the caps in descriptor order.
struct TopCollection {
    uint16_t usagePage = 0;
    uint16_t usage = 0;
    std::vector<ReportField> fields;
    std::array<std::vector<ButtonCap>, 3> buttonCaps;
    std::array<std::vector<ValueCap>, 3> valueCaps;
    std::array<std::vector<uint8_t>, 3> reportIds;  // sorted, unique
    // Per type: bytes of the longest report of this collection plus the report-ID byte; 0 when
    // the collection has no report of that type.
    std::array<uint16_t, 3> reportByteLength{};

    HidCaps caps() const;
    bool hasReportId(ReportType type, uint8_t id) const;
    // The most usages one report of `type` can turn on for `usagePage` (0: any page).
    uint32_t maxUsageListLength(ReportType type, uint16_t usagePage) const;
};

// Our own HID report-descriptor parser. parse() never reads outside the bytes it is given and
// rejects descriptors larger than the limits below (which no real device comes near) instead of
// allocating without bound.
class ReportDescriptor {
public:
    static constexpr size_t kMaxDescriptorBytes = 65535;
    static constexpr uint32_t kMaxUsagesPerItem = 1024;
    static constexpr uint32_t kMaxCapsPerType = 1024;
    static constexpr uint32_t kMaxValueItemsPerType = 4096;
    static constexpr uint32_t kMaxButtonFieldsPerType = 8192;
    static constexpr uint32_t kMaxNesting = 32;

    // Replaces the previous contents; false (and no collections) on a malformed descriptor.
    bool parse(const uint8_t* data, size_t length);
    bool parse(const std::vector<uint8_t>& bytes) { return parse(bytes.data(), bytes.size()); }

    const std::vector<TopCollection>& collections() const { return m_collections; }
    // True when the descriptor declares report IDs, so every report starts with its ID.
    bool usesReportIds() const { return m_usesReportIds; }

private:
    std::vector<TopCollection> m_collections;
    bool m_usesReportIds = false;
};

}  // namespace hid
