#include "keytables/DefaultKeyTables.h"

namespace keytables {
namespace {

// Assignment types of a factory triple.
constexpr uint8_t kKey = 0x20;       // keyboard key: p1 modifier bits, p2 key usage
constexpr uint8_t kConsumer = 0x30;  // consumer control: p1 usage low byte, p2 high byte
constexpr uint8_t kSpecial = 0xA0;   // FN (0x01) and GM (0x1B)
constexpr uint8_t kOnboardMacro = 0xD0;

constexpr KeyTriple key(uint8_t usage) { return {kKey, 0, usage}; }
constexpr KeyTriple modifier(uint8_t bit) { return {kKey, bit, 0}; }
constexpr KeyTriple consumer(uint16_t usage) {
    return {kConsumer, uint8_t(usage & 0xFF), uint8_t(usage >> 8)};
}

struct PositionTriple {
    uint8_t position;
    KeyTriple triple;
};

// The keyboard: a full-size board with an ISO/JIS-capable main block, a navigation block, a
// number pad, five on-board macro keys down the left edge, FN and GM keys and twelve media keys.
// Positions 0..131 are the keys the lighting layout tables place; 132..169 hold no key.
// Rows run from the function-key row (0) to the space-bar row (5).
constexpr PositionTriple kKeyboard[] = {
    // Row 0: Esc, F1..F12, Print Screen, Scroll Lock, Pause.
    {0, key(0x29)},   {1, key(0x3A)},   {2, key(0x3B)},   {3, key(0x3C)},  {4, key(0x3D)},
    {5, key(0x3E)},   {6, key(0x3F)},   {7, key(0x40)},   {8, key(0x41)},  {9, key(0x42)},
    {10, key(0x43)},  {11, key(0x44)},  {12, key(0x45)},  {13, key(0x46)}, {14, key(0x47)},
    {15, key(0x48)},
    // Media keys above the number pad and along its right edge.
    {16, consumer(0x00B6)},  // previous track
    {17, consumer(0x00E2)},  // mute
    {18, consumer(0x00EA)},  // volume down
    {19, consumer(0x00E9)},  // volume up
    {20, consumer(0x00CD)},  // play / pause
    // Row 1: ` 1..0 - = Backspace, Insert Home Page-Up, Num-Lock / * -.
    {21, key(0x35)},  {22, key(0x1E)},  {23, key(0x1F)},  {24, key(0x20)}, {25, key(0x21)},
    {26, key(0x22)},  {27, key(0x23)},  {28, key(0x24)},  {29, key(0x25)}, {30, key(0x26)},
    {31, key(0x27)},  {32, key(0x2D)},  {33, key(0x2E)},  {34, key(0x2A)}, {35, key(0x49)},
    {36, key(0x4A)},  {37, key(0x4B)},  {38, key(0x53)},  {39, key(0x54)}, {40, key(0x55)},
    {41, key(0x56)},
    // Row 2: Tab Q..P [ ] \, Delete End Page-Down, Num 7 8 9.
    {42, key(0x2B)},  {43, key(0x14)},  {44, key(0x1A)},  {45, key(0x08)}, {46, key(0x15)},
    {47, key(0x17)},  {48, key(0x1C)},  {49, key(0x18)},  {50, key(0x0C)}, {51, key(0x12)},
    {52, key(0x13)},  {53, key(0x2F)},  {54, key(0x30)},  {55, key(0x31)}, {56, key(0x4C)},
    {57, key(0x4D)},  {58, key(0x4E)},  {59, key(0x5F)},  {60, key(0x60)}, {61, key(0x61)},
    // Row 3: Caps A..L ; ' (ISO #) Enter, Num 4 5 6.
    {62, key(0x32)},  // K42, the ISO key left of Enter
    {63, key(0x39)},  {64, key(0x04)},  {65, key(0x16)},  {66, key(0x07)}, {67, key(0x09)},
    {68, key(0x0A)},  {69, key(0x0B)},  {70, key(0x0D)},  {71, key(0x0E)}, {72, key(0x0F)},
    {73, key(0x33)},  {74, key(0x34)},  {75, key(0x28)},  {76, key(0x5C)}, {77, key(0x5D)},
    {78, key(0x5E)},
    // More media keys.
    {79, consumer(0x00B5)},  // next track
    {80, consumer(0x00B7)},  // stop
    {81, consumer(0x0192)},  // calculator
    {82, consumer(0x018A)},  // mail
    {83, key(0x87)},         // K56, JIS key left of right Shift
    // Row 4: LShift Z../ RShift Up, Num 1 2 3.
    {84, modifier(0x02)},
    {85, key(0x1D)},  {86, key(0x1B)},  {87, key(0x06)},  {88, key(0x19)}, {89, key(0x05)},
    {90, key(0x11)},  {91, key(0x10)},  {92, key(0x36)},  {93, key(0x37)}, {94, key(0x38)},
    {95, modifier(0x20)},
    {96, key(0x52)},  {97, key(0x59)},  {98, key(0x5A)},  {99, key(0x5B)},
    {100, consumer(0x0223)},  // browser home
    {101, consumer(0x0194)},  // my computer
    {102, key(0x64)},         // K45, the ISO key right of left Shift
    {103, key(0x89)},         // K14, JIS yen key beside Backspace
    {104, key(0x85)},         // K107, keypad comma
    // Row 5: LCtrl LWin LAlt Space RAlt FN App RCtrl, Left Down Right, Num 0 and decimal.
    {105, modifier(0x01)}, {106, modifier(0x08)}, {107, modifier(0x04)}, {108, key(0x2C)},
    {109, modifier(0x40)}, {110, KeyTriple{kSpecial, 0x01, 0}},          {111, key(0x65)},
    {112, modifier(0x10)}, {113, key(0x50)},      {114, key(0x51)},      {115, key(0x4F)},
    {116, key(0x62)},      {117, key(0x63)},
    // Number pad Enter and +.
    {118, key(0x58)}, {119, key(0x57)},
    // On-board macro keys M1..M5 down the left edge.
    {120, KeyTriple{kOnboardMacro, 0xA2, 1}}, {121, KeyTriple{kOnboardMacro, 0xA2, 2}},
    {122, KeyTriple{kOnboardMacro, 0xA2, 3}}, {123, KeyTriple{kOnboardMacro, 0xA2, 4}},
    {124, KeyTriple{kOnboardMacro, 0xA2, 5}},
    // JIS and Korean conversion keys around the space bar.
    {125, key(0x90)},  // K151
    {126, key(0x8B)},  // K131
    {127, key(0x91)},  // K150
    {128, key(0x8A)},  // K132
    {129, key(0x88)},  // K133
    {130, KeyTriple{kSpecial, 0x1B, 0}},  // GM
    {131, consumer(0x0183)},              // media player
};

constexpr std::array<KeyTriple, kKeyboardKeyPositions> buildKeyboard() {
    std::array<KeyTriple, kKeyboardKeyPositions> table{};
    for (const PositionTriple& entry : kKeyboard) table[entry.position] = entry.triple;
    return table;
}

constexpr std::array<KeyTriple, kKeyboardKeyPositions> kKeyboardTable = buildKeyboard();

// Left, right, middle, forward, back; DPI up, down, cycle; the GM key; DPI shift; fire
// (interval 120, count 2).
constexpr std::array<KeyTriple, kMouseButtons> kMouseTable = {{
    {16, 1, 0},
    {16, 2, 0},
    {16, 4, 0},
    {16, 16, 0},
    {16, 8, 0},
    {19, 1, 0},
    {19, 2, 0},
    {19, 3, 0},
    {160, 27, 0},
    {22, 144, 1},
    {20, 120, 2},
}};

}  // namespace

const std::array<KeyTriple, kKeyboardKeyPositions>& keyboardDefaultKeyTable() { return kKeyboardTable; }

const std::array<KeyTriple, kMouseButtons>& mouseDefaultButtons() { return kMouseTable; }

}  // namespace keytables
