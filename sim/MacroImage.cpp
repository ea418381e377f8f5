#include "sim/MacroImage.h"

namespace sim {
namespace {

uint16_t le16(const uint8_t* p) { return uint16_t(p[0] | (p[1] << 8)); }

MacroImageInfo refuse(std::string why) {
    MacroImageInfo info;
    info.problem = std::move(why);
    return info;
}

}  // namespace

MacroImageInfo parseMacroImage(const uint8_t* memory, size_t capacity) {
    if (capacity < kMacroImageHeader) return refuse("memory smaller than the image header");
    if (le16(memory) != kMacroImageMagic) return refuse("bad magic");
    const size_t total = le16(memory + 2);
    const size_t count = le16(memory + 4);
    if (total > capacity) return refuse("image longer than the macro memory");
    const size_t table = kMacroImageHeader + 2 * count;
    if (table > total) return refuse("record table runs past the image");

    MacroImageInfo info;
    info.length = uint16_t(total);
    size_t expected = table;
    for (size_t i = 0; i < count; ++i) {
        const size_t offset = le16(memory + kMacroImageHeader + 2 * i);
        if (offset != expected) return refuse("record " + std::to_string(i) + " out of place");
        if (offset + 4 > total) return refuse("record " + std::to_string(i) + " runs past the image");
        const size_t events = le16(memory + offset);
        const size_t end = offset + 4 + 4 * events;
        if (end > total) return refuse("record " + std::to_string(i) + " runs past the image");
        std::vector<MacroEvent> record;
        record.reserve(events);
        for (size_t e = 0; e < events; ++e) {
            const uint8_t* ev = memory + offset + 4 + 4 * e;
            record.push_back({le16(ev), uint8_t(ev[2] & 0x7F), (ev[2] & 0x80) != 0, ev[3]});
        }
        info.macros.push_back(std::move(record));
        expected = end;
    }
    if (expected != total) return refuse("length does not match the records");
    info.valid = true;
    return info;
}

}  // namespace sim
