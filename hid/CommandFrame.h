#pragma once

// The 64-byte command report that the devices speak on their vendor collection, request and
// reply alike: the one framing Tessel and the simulator share. Header-only, so the simulator
// uses it without linking the HID layer.
//
// Documented offsets:
//   0      report ID, always 4 in a request (not checked in a reply)
//   1..2   checksum, little-endian: low 16 bits of the sum of bytes 3..63 (not checked in a reply)
//   3      command number; the reply echoes it (0xAA from a receiver that cannot reach the device)
//   4      payload length of a chunk, or a command argument
//   5..6   memory offset of a chunk, little-endian, or a command argument
//   7      0 in a request; the status in a reply (0xFF and 0xFE are failures)
//   8..63  payload; data returned by read commands

#include <cstddef>
#include <cstdint>

namespace hid::frame {

inline constexpr size_t kLength = 64;
inline constexpr uint8_t kReportId = 4;
inline constexpr size_t kChecksumLow = 1;
inline constexpr size_t kChecksumHigh = 2;
inline constexpr size_t kCommand = 3;
inline constexpr size_t kChunkLength = 4;
inline constexpr size_t kOffsetLow = 5;
inline constexpr size_t kOffsetHigh = 6;
inline constexpr size_t kStatus = 7;
inline constexpr size_t kPayload = 8;
inline constexpr size_t kPayloadCapacity = kLength - kPayload;  // 56

inline constexpr uint8_t kStatusOk = 0x00;
inline constexpr uint8_t kStatusBadRequest = 0xFF;   // checksum, length, offset or image refused
inline constexpr uint8_t kStatusUnsupported = 0xFE;  // command or memory the device lacks
inline constexpr uint8_t kNoLink = 0xAA;             // receiver: the device is out of reach

// Sum of bytes 3..63 as an unsigned 32-bit value; the report carries its low 16 bits.
inline constexpr uint32_t checksum(const uint8_t* report)
{
    uint32_t sum = 0;
    for (size_t i = kCommand; i < kLength; ++i)
        sum += report[i];
    return sum;
}

// Writes the checksum of bytes 3..63 into bytes 1 and 2; call after every other byte is set.
inline constexpr void seal(uint8_t* report)
{
    const uint32_t sum = checksum(report);
    report[kChecksumLow] = static_cast<uint8_t>(sum & 0xFF);
    report[kChecksumHigh] = static_cast<uint8_t>((sum >> 8) & 0xFF);
}

// The checksum the report carries in bytes 1 and 2.
inline constexpr uint16_t carriedChecksum(const uint8_t* report)
{
    return static_cast<uint16_t>(report[kChecksumLow] | (report[kChecksumHigh] << 8));
}

}  // namespace hid::frame

namespace hid::cmd {
inline constexpr uint8_t kOpenSession = 0x01;
inline constexpr uint8_t kCloseSession = 0x02;
inline constexpr uint8_t kReadInfo = 0x03;
inline constexpr uint8_t kReadSettings = 0x05;
inline constexpr uint8_t kWriteSettings = 0x06;
inline constexpr uint8_t kReadKeyTable = 0x07;
inline constexpr uint8_t kWriteKeyTable = 0x09;
inline constexpr uint8_t kWriteLightTable = 0x0B;
inline constexpr uint8_t kLightingFrame = 0x12;
inline constexpr uint8_t kWriteMacro = 0x15;
inline constexpr uint8_t kWriteShoot = 0x17;
inline constexpr uint8_t kReadStatus = 0x1A;
inline constexpr uint8_t kReadLedMap = 0x1B;
inline constexpr uint8_t kLightingNotice = 0x1C;
inline constexpr uint8_t kLinkCheck = 0xAA;
}  // namespace hid::cmd
