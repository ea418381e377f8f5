#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "sdk/osConfLib.h"

namespace osconf {

// One place the headset's properties live: the USB headset's sound card or the simulator's model
// of the audio chip. Results are the library's OSCONF_* codes.
class ConfBackend {
public:
    virtual ~ConfBackend() = default;
    // The devices of `kind` (0 playback, 1 capture) at the time of the call.
    virtual std::vector<OsConfDevice> Devices(int kind) = 0;
    // Reads `name` of `device` as decimal text.
    virtual int Read(const OsConfDevice& device, const std::string& name, std::string& text) = 0;
    // Writes `name`; `value` is the decimal text of the binary value the caller passed.
    virtual int Write(const OsConfDevice& device, const std::string& name, const std::string& value) = 0;
};

// The simulated headset when the simulator folder ($TESSEL_SIM_DIR) serves one; else null.
std::unique_ptr<ConfBackend> MakeSimBackend();
// The USB headset's sound card (found by vendor and product id, or the card named by
// $TESSEL_OSCONF_ALSA_CARD); null when there is none.
std::unique_ptr<ConfBackend> MakeAlsaBackend();

// Whether the property takes a 32-bit float (the scalar volumes) rather than an integer.
bool IsFloatProperty(const std::string& name);

}  // namespace osconf
