#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace sim {

// The macro image (also the shoot-pattern image), all integers little-endian:
//   0   2   magic, bytes AA 55
//   2   2   total image length
//   4   2   number of macros n
//   6   10  reserved
//   16  2n  offset of each macro record from the start of the image
//   16+2n   records: 2-byte event count c, 2 reserved bytes, then 4 bytes per event
//           (delay 16-bit, type in bits 0-6 with bit 7 = key down, button)
// so the total is 16 + 6n + 4 * (sum of event counts).
inline constexpr size_t kMacroImageHeader = 16;
inline constexpr uint16_t kMacroImageMagic = 0x55AA;

struct MacroEvent {
    uint16_t delay = 0;
    uint8_t type = 0;
    bool down = false;
    uint8_t button = 0;
};

struct MacroImageInfo {
    bool valid = false;
    std::string problem;  // why the image was refused; empty when valid
    uint16_t length = 0;
    std::vector<std::vector<MacroEvent>> macros;
};

// Checks an image held in `capacity` bytes of memory: the magic, a total that fits the memory,
// a record table and records that lie inside the image, one after another, and a total equal to
// the sum of their sizes.
MacroImageInfo parseMacroImage(const uint8_t* memory, size_t capacity);

}  // namespace sim
