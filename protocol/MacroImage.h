#pragma once

#include <cstdint>
#include <json/value.h>
#include <optional>
#include <vector>

// The macro image the keyboard and the mouse keep in their macro memory (command 0x15; the
// mouse's shoot patterns travel in the same format with command 0x17). Little-endian layout:
//   0        magic 0x55AA (bytes AA 55)
//   2        total image length in bytes
//   4        number of macros n
//   6..15    reserved, 0
//   16       n offsets (2 bytes each) of the records from the start of the image
//   16 + 2n  the records in macro order: event count (2), reserved (2), 4 bytes per event
namespace protocol {

// One event as the device plays it: delay in ms, type in bits 0-6 with bit 7 for "down",
// and the button (key usage, modifier bit, mouse button or distance).
struct MacroEvent {
    uint16_t delay = 0;
    uint8_t typeAndAction = 0;
    uint8_t button = 0;
    friend bool operator==(const MacroEvent&, const MacroEvent&) = default;
};

using MacroRecord = std::vector<MacroEvent>;

inline constexpr uint16_t kMacroImageMagic = 0x55AA;
inline constexpr uint32_t kMacroHeaderLength = 16;
// Macro memory is counted in units of this many bytes (information block byte 6).
inline constexpr uint32_t kMacroMemoryUnit = 128;

// object[key] when `object` is an object holding it, else a null value; never throws.
const Json::Value& jsonMember(const Json::Value& object, const char* key);

// Converts one "Events" element: "Delay" as decimal text (leading number, as atoi reads it) or
// a JSON integer, low 16 bits; "Type" bits 0-6; bit 7 when "Action" is "down"; "Button" low 8
// bits. Missing or mistyped members count as 0; never throws.
MacroEvent macroEventFromJson(const Json::Value& event);
// Every element of an "Events" array; anything but an array gives no events.
MacroRecord macroRecordFromJson(const Json::Value& events);

// 16 + 6n + 4 × (all events), the length the image of these records takes.
uint32_t macroImageLength(const std::vector<MacroRecord>& records);
// The image bytes; none when the image would not fit the 16-bit length field.
std::optional<std::vector<uint8_t>> buildMacroImage(const std::vector<MacroRecord>& records);

// The excess count reported when an image does not fit: ((total − capacity) ÷ 4) + 1, or 0 when
// it fits.
int macroExcessCount(uint32_t imageLength, uint32_t capacityBytes);

}  // namespace protocol
