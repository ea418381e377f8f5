// Any bytes as a report descriptor: parsing and everything a channel derives from it on open
// (caps, items, usage-list capacities) must stay inside the input and within bounded memory.
#include <cstddef>
#include <cstdint>

#include "hid/ReportDecoder.h"
#include "hid/ReportDescriptor.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    hid::ReportDescriptor descriptor;
    if (!descriptor.parse(data, size))
        return 0;
    for (const hid::TopCollection& c : descriptor.collections()) {
        (void)c.caps();
        for (int t = 0; t < 3; ++t) {
            const auto type = hid::ReportType(t);
            const auto items = hid::ReportDecoder::buildItems(c, type);
            for (const hid::HidDataItem& item : items) {
                if (item.isButton && item.usages.size() != item.maxUsageListLength)
                    __builtin_trap();
            }
            for (const hid::ButtonCap& b : c.buttonCaps[t]) {
                if (b.field >= c.fields.size())
                    __builtin_trap();
            }
            for (const hid::ValueCap& v : c.valueCaps[t]) {
                if (v.field >= c.fields.size() || v.usageMin > v.usageMax)
                    __builtin_trap();
            }
        }
    }
    return 0;
}
