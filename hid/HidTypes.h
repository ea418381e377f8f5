#pragma once

#include <cstdint>
#include <vector>

namespace hid {

enum class ReportType { Input = 0, Output = 1, Feature = 2 };

// Waits until the transfer completes or the channel is closed.
inline constexpr uint32_t kInfinite = 0xFFFFFFFFu;

// What the HID parser returns for an item; kept so callers can read an item's last status.
// The values are those Windows callers know, so logs read the same on both systems.
inline constexpr uint32_t kHidpStatusSuccess = 0x00110000u;
inline constexpr uint32_t kHidpStatusInvalidReportLength = 0xC0110003u;
inline constexpr uint32_t kHidpStatusUsageNotFound = 0xC0110004u;
inline constexpr uint32_t kHidpStatusValueOutOfRange = 0xC0110005u;
inline constexpr uint32_t kHidpStatusBadLogPhyValues = 0xC0110006u;
inline constexpr uint32_t kHidpStatusBufferTooSmall = 0xC0110007u;
inline constexpr uint32_t kHidpStatusIncompatibleReportId = 0xC011000Au;

// Capabilities of one top-level collection. Report lengths include the report-ID byte, as the
// Windows HID parser counts them (a 64-byte report with ID 4 is 65 bytes long).
struct HidCaps {
    uint16_t usage = 0;
    uint16_t usagePage = 0;
    uint16_t inputReportByteLength = 0;
    uint16_t outputReportByteLength = 0;
    uint16_t featureReportByteLength = 0;
    uint16_t numberInputButtonCaps = 0;
    uint16_t numberInputValueCaps = 0;
    uint16_t numberInputDataIndices = 0;
    uint16_t numberOutputButtonCaps = 0;
    uint16_t numberOutputValueCaps = 0;
    uint16_t numberOutputDataIndices = 0;
    uint16_t numberFeatureButtonCaps = 0;
    uint16_t numberFeatureValueCaps = 0;
    uint16_t numberFeatureDataIndices = 0;
};

struct HidAttributes {
    uint16_t vendorId = 0;
    uint16_t productId = 0;
    uint16_t versionNumber = 0;
};

// One decoded button or value item of a report. A device reads the first usage of the first
// input item as its event code.
struct HidDataItem {
    bool isButton = false;
    uint16_t usagePage = 0;
    uint32_t status = 0;
    uint32_t reportId = 0;
    bool isSet = false;

    // Button part: the usages within [usageMin, usageMax] that are on, at the front of the
    // list, followed by a 0 when there is room.
    uint32_t usageMin = 0;
    uint32_t usageMax = 0;
    uint32_t maxUsageListLength = 0;
    std::vector<uint16_t> usages;

    // Value part.
    uint16_t usage = 0;
    uint32_t value = 0;
    int32_t scaledValue = 0;
};

}  // namespace hid
