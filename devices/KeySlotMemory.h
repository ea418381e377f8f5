#pragma once

#include <QString>

#include <array>
#include <cstdint>
#include <vector>

// Which slot of a device's key table holds each key (or button) of its picture.
//
// A key is found the first time by its factory code: the slot whose triple is the code the key
// has when nothing was reassigned. That search fails for a key the user has reassigned, and may
// even find another key's slot, so the answer is remembered per device layout (product, firmware,
// slot count) in the device's user folder and used from then on: a key keeps its slot whatever it
// was given. Keys the memory does not know yet are searched for among the slots no known key
// holds, and added to it.
class KeySlotMemory {
public:
    using Triple = std::array<uint8_t, 3>;
    static constexpr int kNone = -1;

    // `file`: the memory file of the device (JSON, one entry per layout); `layout`: what names the
    // device's table layout.
    KeySlotMemory(QString file, QString layout);

    // The slot of each position (kNone where none is known). `factory` holds each position's
    // factory triple (all zero: a position without a key); `table` the device's key table, three
    // bytes per slot. Saves what it learned.
    std::vector<int> Identify(const std::vector<Triple>& factory, const uint8_t* table, int slotCount) const;

private:
    QString m_file;
    QString m_layout;
};
