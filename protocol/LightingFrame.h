#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

namespace protocol {

// A lighting frame (command 0x12): red, green, blue per LED index, each component already scaled
// by the LED's brightness. The device's frame buffer is 512 bytes, so at most 170 LEDs
// (indexes 0..169) travel; index 170 and above are never filled.
inline constexpr size_t kFrameBufferLength = 512;
inline constexpr size_t kFrameMaxLeds = 170;
using LightingFrame = std::array<uint8_t, kFrameBufferLength>;

// Fills `frame` from `ledCount` colours of 4 bytes each (red, green, blue, brightness 0-255):
// component × brightness >> 8. Bytes of LEDs not filled are left as they are. Returns the
// number of bytes to send: 3 × ledCount, at most 3 × 170.
size_t buildLightingFrame(const uint8_t* colours, size_t ledCount, LightingFrame& frame);

}  // namespace protocol
