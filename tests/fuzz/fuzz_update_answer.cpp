// Update answer: the input is the response buffer of one request, parsed as the check parses it
// for a firmware row (hexadecimal versions) and for the application row (decimal).

#include "update/UpdateCheck.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const char* text = reinterpret_cast<const char*>(data);
    for (const bool hex : {true, false}) {
        const update::UpdateResult r = update::ParseAnswer(text, size, hex ? 0x0105 : 2302, hex, "NO_LINK_SERVER");
        if (r.status != update::kStatusNewer && r.status != update::kStatusNothingNewer)
            __builtin_trap();
    }
    return 0;
}
