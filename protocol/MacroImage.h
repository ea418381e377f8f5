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

// The events one macro may hold: as many as the largest macro memory of the devices (the
// keyboard's 32 units of 128 bytes) takes when the image holds that macro alone:
// (4096 - 16 - 6) / 4 = 1018.
inline constexpr uint32_t kLargestMacroMemory = 32 * kMacroMemoryUnit;
inline constexpr uint32_t kMaxMacroEvents = (kLargestMacroMemory - kMacroHeaderLength - 6) / 4;
// The longest delay an event can carry (a 16-bit field).
inline constexpr int64_t kMaxMacroDelay = 0xFFFF;

// Converts one "Events" element: "Delay" as a JSON integer or decimal text (its leading number,
// as atoi reads it), longer delays held at 65535; "Type" 0-127 and "Button" 0-255 as integers
// (JSON or decimal text); bit 7 when "Action" is "down". Nothing when the element is no object,
// a member is missing or mistyped, the delay is negative or a value is out of its range: such
// an event is never sent. Never throws.
std::optional<MacroEvent> macroEventFromJson(const Json::Value& event);
// Every element of an "Events" array that converts; anything but an array gives no events.
MacroRecord macroRecordFromJson(const Json::Value& events);

// 16 + 6n + 4 × (all events), the length the image of these records takes.
uint32_t macroImageLength(const std::vector<MacroRecord>& records);
// The image bytes; none when the image would not fit the 16-bit length field.
std::optional<std::vector<uint8_t>> buildMacroImage(const std::vector<MacroRecord>& records);

// The excess count reported when an image does not fit: ((total − capacity) ÷ 4) + 1, or 0 when
// it fits.
int macroExcessCount(uint32_t imageLength, uint32_t capacityBytes);

}  // namespace protocol
