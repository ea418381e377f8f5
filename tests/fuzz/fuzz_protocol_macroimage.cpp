// Macro events come from files the user can import from anywhere: whatever JSON they hold, the
// conversion must not throw or read outside the document, and the image built from them must be
// one the firmware takes: the simulator's parser, written apart from the builder, must accept it
// and read back every record and event that went in.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "profiles/CJsonFile.h"
#include "protocol/MacroImage.h"
#include "sim/MacroImage.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    // Parsed as the product reads a file: the reader's own exceptions end as a null value.
    const Json::Value root = CJsonFile::ParseJson(std::string(reinterpret_cast<const char*>(data), size));
    if (root.isNull())
        return 0;
    protocol::macroEventFromJson(root);
    const std::vector<protocol::MacroRecord> records = {
        protocol::macroRecordFromJson(protocol::jsonMember(root, "Events")),
        protocol::macroRecordFromJson(root),
    };
    const auto image = protocol::buildMacroImage(records);
    if (!image)
        return 0;
    const sim::MacroImageInfo parsed = sim::parseMacroImage(image->data(), image->size());
    if (!parsed.valid || parsed.length != image->size() || parsed.macros.size() != records.size())
        std::abort();
    for (size_t m = 0; m < records.size(); ++m) {
        if (parsed.macros[m].size() != records[m].size())
            std::abort();
        for (size_t e = 0; e < records[m].size(); ++e) {
            const protocol::MacroEvent& in = records[m][e];
            const sim::MacroEvent& out = parsed.macros[m][e];
            if (out.delay != in.delay || out.type != (in.typeAndAction & 0x7F) ||
                out.down != ((in.typeAndAction & 0x80) != 0) || out.button != in.button)
                std::abort();
        }
    }
    return 0;
}
