#pragma once

// The factory key tables of the keyboard and the mouse: what the firmware holds after a reset
// and what the shipped default profiles ("keyboard.Json", "mouse.Json") hold. Defined once here,
// in a library without any dependency: the data generator writes the shipped profiles from
// them, the simulator serves them as its firmware, and the profile tests check the shipped
// files against them.

#include <array>
#include <cstdint>

namespace keytables {

// A key's function as sent to a device: type, p1, p2.
struct KeyTriple {
    uint8_t type = 0;
    uint8_t p1 = 0;
    uint8_t p2 = 0;
    constexpr uint32_t packed() const { return (uint32_t(type) << 16) | (uint32_t(p1) << 8) | p2; }
    friend constexpr bool operator==(const KeyTriple&, const KeyTriple&) = default;
};

inline constexpr int kKeyboardKeyPositions = 170;
inline constexpr int kMouseButtons = 11;

// Key position 0..169 -> default triple; positions with no physical key hold {0,0,0}.
const std::array<KeyTriple, kKeyboardKeyPositions>& keyboardDefaultKeyTable();
// Mouse buttons 0..10 in the order of the mouse's key table.
const std::array<KeyTriple, kMouseButtons>& mouseDefaultButtons();

}  // namespace keytables
