#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "hid/HidTypes.h"
#include "hid/ReportDescriptor.h"

namespace hid {

// Reads reports of one top-level collection the way callers of the Windows HID parser expect:
// the usages that are on, raw and scaled values, and the per-channel item arrays built from the
// caps. A report starts with its report ID (0 when the descriptor declares none). Nothing here
// reads outside the report: a field the report is too short to hold is an error, not a read.
class ReportDecoder {
public:
    // One button item per button cap, then one value item per usage of each value cap (a range
    // cap gives one item per usage), in caps order. Button items get a zeroed usage list of
    // maxUsageListLength(type, their usage page) entries.
    static std::vector<HidDataItem> buildItems(const TopCollection& collection, ReportType type);

    // Usages on `usagePage` that are on in the report, in caps order, at most `capacity` of
    // them (kHidpStatusBufferTooSmall when more are on).
    static uint32_t getUsages(const TopCollection& collection, ReportType type,
                              uint16_t usagePage, const uint8_t* report, size_t length,
                              uint32_t capacity, std::vector<uint16_t>& usages);
    // The raw bits of a value usage, zero-extended.
    static uint32_t getUsageValue(const TopCollection& collection, ReportType type,
                                  uint16_t usagePage, uint16_t usage, const uint8_t* report,
                                  size_t length, uint32_t& value);
    // The value in physical units: logical when the physical extents are both 0.
    static uint32_t getScaledUsageValue(const TopCollection& collection, ReportType type,
                                        uint16_t usagePage, uint16_t usage,
                                        const uint8_t* report, size_t length, int32_t& value);

    // Fills the items whose report ID is the report's first byte; false when a value item
    // cannot be read or the report is empty. Items of other reports are left as they are.
    static bool decode(const TopCollection& collection, ReportType type, const uint8_t* report,
                       size_t length, std::vector<HidDataItem>& items);
};

}  // namespace hid
