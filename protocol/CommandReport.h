#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "hid/CommandFrame.h"

// The 64-byte command report, request and reply alike; its layout is hid/CommandFrame.h.
namespace protocol {

inline constexpr size_t kReportLength = hid::frame::kLength;
inline constexpr uint8_t kReportId = hid::frame::kReportId;
inline constexpr size_t kChecksumLow = hid::frame::kChecksumLow;
inline constexpr size_t kChecksumHigh = hid::frame::kChecksumHigh;
inline constexpr size_t kCommand = hid::frame::kCommand;
inline constexpr size_t kLength = hid::frame::kChunkLength;
inline constexpr size_t kOffsetLow = hid::frame::kOffsetLow;
inline constexpr size_t kOffsetHigh = hid::frame::kOffsetHigh;
inline constexpr size_t kStatus = hid::frame::kStatus;
inline constexpr size_t kPayload = hid::frame::kPayload;
inline constexpr size_t kPayloadCapacity = hid::frame::kPayloadCapacity;  // 56

inline constexpr uint8_t kStatusFailFF = hid::frame::kStatusBadRequest;
inline constexpr uint8_t kStatusFailFE = hid::frame::kStatusUnsupported;
// The receiver's answer in place of the echo when the wireless device is out of reach.
inline constexpr uint8_t kReceiverNoLink = hid::frame::kNoLink;

// Sum of bytes 3..63 as an unsigned 32-bit value; the report carries its low 16 bits.
uint32_t reportChecksum(const uint8_t* report);
// Writes the checksum of bytes 3..63 into bytes 1 and 2; call after every other byte is set.
void sealReport(uint8_t* report);

// The report as the two 32-byte lines of the debug dump: lower-case hex pairs in groups of
// four, three spaces between the first four groups and two between the rest.
std::string formatDumpLine(const uint8_t* bytes32);

}  // namespace protocol
