// A stream of command reports against the simulator's firmware. Each 65-byte step is a control
// byte (bit 0: give the report a correct checksum so it reaches the command code; bits 1-2: the
// device; bit 3: through the receiver; bit 4: send it to the headset as a lighting report)
// followed by the report. Whatever arrives, the firmware answers with the command echoed, keeps
// every memory at its size and never reads or writes outside one.
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "sim/Firmware.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 1)
        return 0;
    sim::Firmware devices[4] = {sim::Firmware(sim::DeviceKind::Keyboard),
                                sim::Firmware(sim::DeviceKind::Mouse),
                                sim::Firmware(sim::DeviceKind::Pad),
                                sim::Firmware(sim::DeviceKind::Headset)};
    size_t sizes[4][9];
    for (int d = 0; d < 4; ++d)
        for (int r = 0; r < 9; ++r)
            sizes[d][r] = devices[d].region(sim::Region(r)).size();

    while (size > 0) {
        const uint8_t control = data[0];
        const size_t length = size - 1 < 64 ? size - 1 : 64;
        uint8_t report[64] = {};
        std::memcpy(report, data + 1, length);
        data += 1 + length;
        size -= 1 + length;

        sim::Firmware& fw = devices[(control >> 1) & 3];
        if (control & 0x10) {
            fw.lightingReport(report, length < 17 ? length : 17);
            continue;
        }
        if (control & 0x01)
            sim::frame::seal(report);
        const sim::Report reply = fw.execute(report, length, (control & 0x08) ? sim::Route::Receiver : sim::Route::Cable);
        if (reply[sim::frame::kCommand] != report[sim::frame::kCommand])
            __builtin_trap();
    }
    for (int d = 0; d < 4; ++d) {
        for (int r = 0; r < 9; ++r)
            if (devices[d].region(sim::Region(r)).size() != sizes[d][r])
                __builtin_trap();
        sim::parseMacroImage(devices[d].region(sim::Region::Macro).data(),
                             devices[d].region(sim::Region::Macro).size());
    }
    return 0;
}
