// Macro files come from anywhere (import): whatever their bytes, reading them must not throw,
// every event kept must be an object, and every delay shown must be one the edit can hold.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "editors/MacroFile.h"
#include "profiles/CJsonFile.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    // Parsed as the product reads a file: the reader's own exceptions end as a null value.
    const Json::Value root = CJsonFile::ParseJson(std::string(reinterpret_cast<const char*>(data), size));
    if (root.isNull())
        return 0;
    for (const Json::Value& event : macrofile::Events(root)) {
        if (!event.isObject())
            std::abort();
        const int delay = macrofile::DelayOf(event);
        if (delay < 0 || delay > 65535)
            std::abort();
        const int button = macrofile::IntOf(event, "Button");
        if (button < 0 || button > 0xFFFF)
            std::abort();
        macrofile::IsDown(event);
        macrofile::EventTextId(event);
    }
    macrofile::DelayOf(root);
    macrofile::EventTextId(root);
    return 0;
}
