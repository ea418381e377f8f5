// Macro events come from files the user can import from anywhere: whatever JSON they hold, the
// conversion must not throw or read outside the document, and the image must have the length
// its header states.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <json/reader.h>

#include "protocol/MacroImage.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    Json::Value root;
    Json::Reader reader;
    const char* text = reinterpret_cast<const char*>(data);
    if (!reader.parse(text, text + size, root, false))
        return 0;
    protocol::macroEventFromJson(root);
    const std::vector<protocol::MacroRecord> records = {
        protocol::macroRecordFromJson(protocol::jsonMember(root, "Events")),
        protocol::macroRecordFromJson(root),
    };
    const auto image = protocol::buildMacroImage(records);
    if (image && (image->size() != protocol::macroImageLength(records) ||
                  ((*image)[2] | ((*image)[3] << 8)) != image->size()))
        std::abort();
    return 0;
}
