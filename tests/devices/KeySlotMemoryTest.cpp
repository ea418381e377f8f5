// The memory of which slot holds each key: found by factory code once, then kept whatever the
// keys were given, per layout.
#include "devices/KeySlotMemory.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

using Triple = KeySlotMemory::Triple;

// Four keys A, B, C, D with factory codes; the device holds them in slots 2, 0, 3, 1.
const std::vector<Triple> kFactory = {{0x20, 0, 4}, {0x20, 0, 5}, {0x20, 0, 6}, {0, 0, 0}};

std::vector<uint8_t> table(std::initializer_list<Triple> entries)
{
    std::vector<uint8_t> t;
    for (const Triple& s : entries)
        t.insert(t.end(), s.begin(), s.end());
    return t;
}

TEST(KeySlotMemory, KeysKeepTheirSlotsWhateverTheyWereGiven)
{
    QTemporaryDir dir;
    const QString file = dir.filePath("keyslots.json");
    const Triple mute{0x30, 0xE2, 0x00};
    // First sight: factory codes; the position without a key claims nothing.
    auto fresh = table({{0x20, 0, 5}, {0, 0, 0}, {0x20, 0, 4}, {0x20, 0, 6}});
    EXPECT_EQ(KeySlotMemory(file, "L1").Identify(kFactory, fresh.data(), 4), (std::vector<int>{2, 0, 3, -1}));

    // A was given B's code and B was given Mute: a factory search would take A's slot for B and
    // lose A. The memory keeps both.
    auto changed = table({mute, {0, 0, 0}, {0x20, 0, 5}, {0x20, 0, 6}});
    EXPECT_EQ(KeySlotMemory(file, "L1").Identify(kFactory, changed.data(), 4), (std::vector<int>{2, 0, 3, -1}));

    // Another layout (another firmware) is searched afresh and remembered on its own; a slot
    // beyond the table is never used.
    EXPECT_EQ(KeySlotMemory(file, "L2").Identify(kFactory, changed.data(), 4), (std::vector<int>{-1, 2, 3, -1}));
    EXPECT_EQ(KeySlotMemory(file, "L1").Identify(kFactory, changed.data(), 3), (std::vector<int>{2, 0, -1, -1}));
}

TEST(KeySlotMemory, AMemoryThatMakesNoSenseFallsBackToTheFactorySearch)
{
    auto fresh = table({{0x20, 0, 5}, {0, 0, 0}, {0x20, 0, 4}, {0x20, 0, 6}});
    for (const QByteArray& content : {QByteArray(R"({"L1":[2,2,"x"]})"),  // wrong length, a slot twice, not a number
                                      QByteArray(R"({"L1":[2,0,3)")}) {   // cut short
        SCOPED_TRACE(content.toStdString());
        QTemporaryDir dir;
        const QString file = dir.filePath("keyslots.json");
        QFile f(file);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(content);
        f.close();
        EXPECT_EQ(KeySlotMemory(file, "L1").Identify(kFactory, fresh.data(), 4), (std::vector<int>{2, 0, 3, -1}));
        // A file that cannot be read at all is kept beside itself before it is replaced.
        const bool unreadable = !content.endsWith('}');
        EXPECT_EQ(QDir(dir.path()).entryList({"keyslots.json.damaged-*"}, QDir::Files).size(), unreadable ? 1 : 0);
    }
}

}  // namespace
