#pragma once

#include <array>
#include <cstdint>
#include <span>

namespace app {

// What a production tool learns about the application: its version and the device kinds it
// supports (vendor, product, type code of each device option row).
struct WorkToolDeviceRow {
    uint16_t vendorId;
    uint16_t productId;
    int32_t typeCode;
};

inline constexpr size_t kWorkToolAnswerSize = 1024;
// Tag of the answer in the copy-data exchange with the tool.
inline constexpr uint32_t kWorkToolAnswerTag = 5;

// The device option rows in strip order: mouse, keyboard, mouse pad, headset.
std::span<const WorkToolDeviceRow> WorkToolDeviceRows();

// The 1024-byte answer: 32-bit little-endian integers - the version bytes 2, 3, 0, 2; the row
// count; then vendor, product and type per row; zero after that. Rows that would not fit are
// left out (the count says how many follow).
std::array<uint8_t, kWorkToolAnswerSize> BuildWorkToolAnswer(std::span<const WorkToolDeviceRow> rows);
std::array<uint8_t, kWorkToolAnswerSize> BuildWorkToolAnswer();

}  // namespace app
