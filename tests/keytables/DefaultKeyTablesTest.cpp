#include "keytables/DefaultKeyTables.h"

#include <gtest/gtest.h>

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

}  // namespace
