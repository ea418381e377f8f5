#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// The 64-byte command report, request and reply alike. Documented offsets:
//   0      report ID, always 4 in a request (not checked in a reply)
//   1..2   checksum, little-endian: low 16 bits of the sum of bytes 3..63 (not checked in a reply)
//   3      command number; the reply echoes it (0xAA from a receiver that cannot reach the device)
//   4      payload length of a chunk, or a command argument
//   5..6   memory offset of a chunk, little-endian, or a command argument
//   7      0 in a request; the status in a reply (0xFF and 0xFE are failures)
//   8..63  payload; data returned by read commands
namespace protocol {

inline constexpr size_t kReportLength = 64;
inline constexpr uint8_t kReportId = 4;
inline constexpr size_t kChecksumLow = 1;
inline constexpr size_t kChecksumHigh = 2;
inline constexpr size_t kCommand = 3;
inline constexpr size_t kLength = 4;
inline constexpr size_t kOffsetLow = 5;
inline constexpr size_t kOffsetHigh = 6;
inline constexpr size_t kStatus = 7;
inline constexpr size_t kPayload = 8;
inline constexpr size_t kPayloadCapacity = kReportLength - kPayload;  // 56

inline constexpr uint8_t kStatusFailFF = 0xFF;
inline constexpr uint8_t kStatusFailFE = 0xFE;
// The receiver's answer in place of the echo when the wireless device is out of reach.
inline constexpr uint8_t kReceiverNoLink = 0xAA;

// Sum of bytes 3..63 as an unsigned 32-bit value; the report carries its low 16 bits.
uint32_t reportChecksum(const uint8_t* report);
// Writes the checksum of bytes 3..63 into bytes 1 and 2; call after every other byte is set.
void sealReport(uint8_t* report);

// The report as the two 32-byte lines of the debug dump: lower-case hex pairs in groups of
// four, three spaces between the first four groups and two between the rest.
std::string formatDumpLine(const uint8_t* bytes32);

}  // namespace protocol
