#include "protocol/LightingFrame.h"

namespace protocol {

size_t buildLightingFrame(const uint8_t* colours, size_t ledCount, LightingFrame& frame)
{
    const size_t leds = ledCount < kFrameMaxLeds ? ledCount : kFrameMaxLeds;
    for (size_t i = 0; i < leds; ++i) {
        const uint8_t* c = colours + 4 * i;
        const unsigned brightness = c[3];
        frame[3 * i] = static_cast<uint8_t>((c[0] * brightness) >> 8);
        frame[3 * i + 1] = static_cast<uint8_t>((c[1] * brightness) >> 8);
        frame[3 * i + 2] = static_cast<uint8_t>((c[2] * brightness) >> 8);
    }
    return 3 * leds;
}

}  // namespace protocol
