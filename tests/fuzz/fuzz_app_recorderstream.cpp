// The capture program's stream as the application reads it: records split at chunk boundaries
// taken from the input, blocks clipped to their buffers, and every spectrum block run through
// the spectrum rules, as the main window does.

#include "app/AudioSpectrum.h"
#include "lightrecord/RecorderProtocol.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 1)
        return 0;
    // The first byte picks the chunk size, so one input exercises many splits.
    const size_t chunk = size_t(data[0] % 64) + 1;
    ++data, --size;
    app::AudioSpectrum spectrum;
    std::array<uint8_t, lightrecord::kSpectrumBufferBytes> buffer{};
    int64_t now = 0;
    lightrecord::StreamParser parser(
        [](uint32_t, uint32_t) {},
        [&](uint32_t type, const uint8_t* block, size_t kept, uint32_t blockSize) {
            if (blockSize == 0 || kept > buffer.size())
                return;
            if (type == lightrecord::kSpectrumBlock) {
                std::memcpy(buffer.data(), block, kept);
                std::array<int32_t, lightrecord::kSpectrumValues> values;
                for (size_t i = 0; i < values.size(); ++i)
                    values[i] = int32_t(lightrecord::ReadLe32(buffer.data() + 4 * i));
                spectrum.ProcessSpectrum(values.data(), now += 16);
                spectrum.ExpireFrames(now + (kept % 700));
            }
        });
    for (size_t at = 0; at < size && parser.Feed(data + at, std::min(chunk, size - at)); at += chunk) {
    }
    return 0;
}
