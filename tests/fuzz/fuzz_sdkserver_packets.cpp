// Bytes from a network client: cut into packets at a place the input chooses, every request
// decoder run on every payload in every protocol version. Nothing may read outside the input,
// the reader must never hold more than one packet's worth, and a mode that decodes must encode
// back to the same bytes.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "sdkserver/SdkProtocol.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size == 0)
        return 0;
    // The first byte picks the size of the pieces the stream arrives in.
    const size_t piece = size_t(data[0] % 32) + 1;
    ++data;
    --size;
    sdk::PacketReader reader;
    for (size_t at = 0; at < size; at += piece) {
        reader.Append(data + at, std::min(piece, size - at));
        if (reader.Buffered() > sdk::kHeaderSize + sdk::kMaxPayload + piece)
            std::abort();
        sdk::Packet p;
        sdk::PacketReader::Status status;
        while ((status = reader.Next(p)) == sdk::PacketReader::Status::Ready) {
            if (p.payload.size() != p.header.size)
                std::abort();
            sdk::DecodeUint32(p.payload);
            sdk::DecodeControllerDataRequest(p.payload);
            sdk::DecodeClientName(p.payload);
            if (auto leds = sdk::DecodeUpdateLeds(p.payload); leds && 6 + 4 * leds->size() != p.payload.size())
                std::abort();
            if (auto z = sdk::DecodeUpdateZoneLeds(p.payload); z && 10 + 4 * z->colours.size() != p.payload.size())
                std::abort();
            sdk::DecodeUpdateSingleLed(p.payload);
            for (uint32_t version = 0; version <= sdk::kMaxProtocolVersion; ++version) {
                const auto u = sdk::DecodeUpdateMode(p.payload, version);
                if (!u)
                    continue;
                // Encoded again inside a controller, the mode's bytes are the request's after
                // its data size and index (names with a NUL inside are the one change made).
                if (u->mode.name.find('\0') != std::string::npos || u->mode.name.size() >= 0xFFFE)
                    continue;
                sdk::Controller c;
                c.modes = {u->mode};
                const std::vector<uint8_t> out = sdk::EncodeController(c, version);
                const size_t modeBytes = p.payload.size() - 8;
                // Size and type, the empty strings (length 1 and a NUL each), mode count, active mode.
                const size_t start = 8 + 3 * (version >= 1 ? 6 : 5) + 2 + 4;
                const bool sameName = p.payload.size() >= 10 && size_t(p.payload[8] | (p.payload[9] << 8)) == u->mode.name.size() + 1 &&
                    p.payload[10 + u->mode.name.size()] == 0;
                if (sameName && (out.size() < start + modeBytes ||
                                 std::memcmp(out.data() + start, p.payload.data() + 8, modeBytes) != 0))
                    std::abort();
            }
        }
        if (status == sdk::PacketReader::Status::Bad)
            break;
    }
    return 0;
}
