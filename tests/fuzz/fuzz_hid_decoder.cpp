// Input reports against a descriptor: byte 0 picks one of the real descriptors below or, for
// any other value, takes the descriptor from the input itself (byte 1 its length); the rest is
// the report. Decoding must never read outside the report, whatever its length or ID.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "hid/ReportDecoder.h"
#include "hid/ReportDescriptor.h"
#include "tests/hid/Descriptors.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 2)
        return 0;
    const std::vector<uint8_t>* known[] = {&hid::test::kBootKeyboard, &hid::test::kGamingKeyboard,
                                           &hid::test::kHeadset, &hid::test::kMouse};
    hid::ReportDescriptor descriptor;
    const uint8_t* report = data + 1;
    size_t reportLength = size - 1;
    if (data[0] < 4) {
        if (!descriptor.parse(*known[data[0]]))
            __builtin_trap();
    } else {
        const size_t length = data[1];
        if (size - 2 < length)
            return 0;
        if (!descriptor.parse(data + 2, length))
            return 0;
        report = data + 2 + length;
        reportLength = size - 2 - length;
    }
    // Copied so that the sanitizer sees exactly the report's bytes and nothing after them.
    const std::vector<uint8_t> copy(report, report + reportLength);
    for (const hid::TopCollection& c : descriptor.collections()) {
        for (int t = 0; t < 3; ++t) {
            const auto type = hid::ReportType(t);
            auto items = hid::ReportDecoder::buildItems(c, type);
            hid::ReportDecoder::decode(c, type, copy.data(), copy.size(), items);
            std::vector<uint16_t> usages;
            hid::ReportDecoder::getUsages(c, type, 0x07, copy.data(), copy.size(), 4, usages);
            if (usages.size() > 4)
                __builtin_trap();
        }
    }
    return 0;
}
