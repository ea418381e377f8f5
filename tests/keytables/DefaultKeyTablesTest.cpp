#include "keytables/DefaultKeyTables.h"

#include <gtest/gtest.h>

#include <array>
#include <set>

namespace {

// The keyboard identifies a key by finding its factory triple in the device's key table, so two
// keys with the same triple would be indistinguishable and a key without one could not be found.
TEST(DefaultKeyTables, EveryLaidOutKeyHasItsOwnTripleAndTheRestAreEmpty) {
    const auto& table = keytables::keyboardDefaultKeyTable();
    std::set<uint32_t> seen;
    for (int pos = 0; pos < keytables::kKeyboardKeyPositions; ++pos) {
        const keytables::KeyTriple t = table[pos];
        if (pos < 132) {
            EXPECT_NE(t.type, 0) << "position " << pos;
            EXPECT_TRUE(seen.insert(t.packed()).second) << "duplicate triple at " << pos;
        } else {
            EXPECT_EQ(t, keytables::KeyTriple{}) << "position " << pos;
        }
    }
}

TEST(DefaultKeyTables, KnownKeysAndMouseButtons) {
    const auto& kb = keytables::keyboardDefaultKeyTable();
    EXPECT_EQ(kb[0], (keytables::KeyTriple{0x20, 0, 0x29}));    // Esc
    EXPECT_EQ(kb[64], (keytables::KeyTriple{0x20, 0, 0x04}));   // A
    EXPECT_EQ(kb[105], (keytables::KeyTriple{0x20, 0x01, 0}));  // left Ctrl
    EXPECT_EQ(kb[110], (keytables::KeyTriple{0xA0, 0x01, 0}));  // FN
    EXPECT_EQ(kb[124], (keytables::KeyTriple{0xD0, 0xA2, 5}));  // M5
    EXPECT_EQ(kb[64].packed(), 0x200004u);

    const auto& mouse = keytables::mouseDefaultButtons();
    EXPECT_EQ(mouse[0], (keytables::KeyTriple{16, 1, 0}));
    EXPECT_EQ(mouse[10], (keytables::KeyTriple{20, 120, 2}));
    std::set<uint32_t> distinct;
    for (const auto& b : mouse) distinct.insert(b.packed());
    EXPECT_EQ(distinct.size(), size_t(keytables::kMouseButtons));
}

// Written out byte by byte (type, p1, p2 as they travel to the device), not built with the
// helpers of the table, so a slip in a helper or a row shows here. Consumer keys carry the
// usage low byte first.
TEST(DefaultKeyTables, RepresentativeRowsAsTheyTravel) {
    struct Row {
        int position;
        uint8_t bytes[3];
        const char* key;
    };
    const Row keyboard[] = {
        {0, {0x20, 0x00, 0x29}, "Esc"},
        {13, {0x20, 0x00, 0x46}, "Print Screen"},
        {16, {0x30, 0xB6, 0x00}, "previous track, consumer 0x00B6"},
        {17, {0x30, 0xE2, 0x00}, "mute, consumer 0x00E2"},
        {64, {0x20, 0x00, 0x04}, "A"},
        {75, {0x20, 0x00, 0x28}, "Enter"},
        {81, {0x30, 0x92, 0x01}, "calculator, consumer 0x0192"},
        {84, {0x20, 0x02, 0x00}, "left Shift"},
        {100, {0x30, 0x23, 0x02}, "browser home, consumer 0x0223"},
        {105, {0x20, 0x01, 0x00}, "left Ctrl"},
        {110, {0xA0, 0x01, 0x00}, "FN"},
        {112, {0x20, 0x10, 0x00}, "right Ctrl"},
        {120, {0xD0, 0xA2, 0x01}, "M1"},
        {124, {0xD0, 0xA2, 0x05}, "M5"},
        {130, {0xA0, 0x1B, 0x00}, "GM"},
        {131, {0x30, 0x83, 0x01}, "media player, consumer 0x0183"},
        {132, {0x00, 0x00, 0x00}, "first position without a key"},
        {169, {0x00, 0x00, 0x00}, "last position"},
    };
    const auto& kb = keytables::keyboardDefaultKeyTable();
    for (const Row& r : keyboard) {
        const keytables::KeyTriple t = kb[r.position];
        EXPECT_EQ((std::array<uint8_t, 3>{t.type, t.p1, t.p2}),
                  (std::array<uint8_t, 3>{r.bytes[0], r.bytes[1], r.bytes[2]}))
            << r.position << " " << r.key;
    }
    EXPECT_EQ(kb[81].packed(), 0x309201u) << "stored as (type << 16) | (p1 << 8) | p2";

    // The mouse's eleven, in button order, all of them.
    const uint8_t mouse[11][3] = {
        {16, 1, 0}, {16, 2, 0}, {16, 4, 0}, {16, 16, 0}, {16, 8, 0},  {19, 1, 0},
        {19, 2, 0}, {19, 3, 0}, {160, 27, 0}, {22, 144, 1}, {20, 120, 2},
    };
    const auto& buttons = keytables::mouseDefaultButtons();
    for (int i = 0; i < 11; ++i)
        EXPECT_EQ((std::array<uint8_t, 3>{buttons[i].type, buttons[i].p1, buttons[i].p2}),
                  (std::array<uint8_t, 3>{mouse[i][0], mouse[i][1], mouse[i][2]}))
            << "button " << i;
}

}  // namespace
