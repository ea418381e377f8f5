#pragma once

// The wire format of the RGB SDK network protocol ("ORGB" packets) that lighting tools use to
// list and drive the lights of a machine: the packet header, the controller description
// Tessel sends, and the requests it takes. Pure byte work, no sockets and no Qt, so the fuzz
// target and the unit tests drive it directly.
//
// Every integer is little-endian. A request that does not add up (a size field that disagrees
// with the bytes that came, a count that runs past the end, bytes left over) is refused as a
// whole: the decoders return nothing and the server drops the connection that sent it.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace sdk {

// Versions 0 to 4 of the protocol: 1 added the vendor string, 2 the profile requests, 3 the
// brightness of modes, 4 the segments of zones (always none here). A client asking for more
// gets 4; one that never asks speaks 0.
inline constexpr uint32_t kMaxProtocolVersion = 4;
inline constexpr uint16_t kDefaultPort = 6742;
inline constexpr size_t kHeaderSize = 16;
// No request Tessel takes comes near this: the largest, a colour for each of 170 keys, is 690
// bytes. A header announcing more is a broken or hostile client.
inline constexpr uint32_t kMaxPayload = 64 * 1024;

namespace packet {
inline constexpr uint32_t kRequestControllerCount = 0;
inline constexpr uint32_t kRequestControllerData = 1;
inline constexpr uint32_t kRequestProtocolVersion = 40;
inline constexpr uint32_t kSetClientName = 50;
inline constexpr uint32_t kDeviceListUpdated = 100;
inline constexpr uint32_t kRequestProfileList = 150;
inline constexpr uint32_t kRequestSaveProfile = 151;
inline constexpr uint32_t kRequestLoadProfile = 152;
inline constexpr uint32_t kRequestDeleteProfile = 153;
inline constexpr uint32_t kResizeZone = 1000;
inline constexpr uint32_t kUpdateLeds = 1050;
inline constexpr uint32_t kUpdateZoneLeds = 1051;
inline constexpr uint32_t kUpdateSingleLed = 1052;
inline constexpr uint32_t kSetCustomMode = 1100;
inline constexpr uint32_t kUpdateMode = 1101;
inline constexpr uint32_t kSaveMode = 1102;
}  // namespace packet

// Mode flags, colour modes, directions, zone and device types as the protocol numbers them.
namespace modeflag {
inline constexpr uint32_t kHasSpeed = 1u << 0;
inline constexpr uint32_t kHasDirectionLR = 1u << 1;
inline constexpr uint32_t kHasDirectionUD = 1u << 2;
inline constexpr uint32_t kHasDirectionHV = 1u << 3;
inline constexpr uint32_t kHasBrightness = 1u << 4;
inline constexpr uint32_t kHasPerLedColour = 1u << 5;
inline constexpr uint32_t kHasModeSpecificColour = 1u << 6;
inline constexpr uint32_t kHasRandomColour = 1u << 7;
}  // namespace modeflag
enum class ColourMode : uint32_t { None = 0, PerLed = 1, ModeSpecific = 2, Random = 3 };
enum class ZoneType : int32_t { Single = 0, Linear = 1, Matrix = 2 };
enum class DeviceType : int32_t { Keyboard = 5, Mouse = 6, MouseMat = 7, Headset = 8 };

// A colour as the protocol carries it: red in bits 0-7, green 8-15, blue 16-23.
inline constexpr uint32_t Rgb(uint8_t r, uint8_t g, uint8_t b) { return r | (uint32_t(g) << 8) | (uint32_t(b) << 16); }
inline constexpr uint8_t Red(uint32_t c) { return uint8_t(c); }
inline constexpr uint8_t Green(uint32_t c) { return uint8_t(c >> 8); }
inline constexpr uint8_t Blue(uint32_t c) { return uint8_t(c >> 16); }

struct Mode {
    std::string name;
    int32_t value = 0;
    uint32_t flags = 0;
    uint32_t speedMin = 0, speedMax = 0;
    uint32_t brightnessMin = 0, brightnessMax = 0;  // sent from version 3
    uint32_t coloursMin = 0, coloursMax = 0;
    uint32_t speed = 0;
    uint32_t brightness = 0;                        // sent from version 3
    uint32_t direction = 0;
    uint32_t colourMode = 0;
    std::vector<uint32_t> colours;
    friend bool operator==(const Mode&, const Mode&) = default;
};

struct Zone {
    std::string name;
    ZoneType type = ZoneType::Linear;
    uint32_t ledsMin = 0, ledsMax = 0, ledsCount = 0;
    // Row-major height x width; each cell the zone's LED index there, 0xFFFFFFFF for none.
    uint32_t matrixHeight = 0, matrixWidth = 0;
    std::vector<uint32_t> matrix;
};

struct Led {
    std::string name;
    uint32_t value = 0;
};

// One controller as a client sees it: the LEDs are listed zone after zone.
struct Controller {
    DeviceType type = DeviceType::Keyboard;
    std::string name, vendor, description, version, serial, location;
    std::vector<Mode> modes;
    int32_t activeMode = 0;
    std::vector<Zone> zones;
    std::vector<Led> leds;
    std::vector<uint32_t> colours;  // one per LED
};

struct Header {
    uint32_t device = 0;
    uint32_t id = 0;
    uint32_t size = 0;
};

struct Packet {
    Header header;
    std::vector<uint8_t> payload;
};

// Cuts a byte stream into packets. Bytes are appended as they arrive; Next hands out complete
// packets. A stream that does not start with "ORGB" where a header is due, or whose header
// announces more than kMaxPayload, is broken for good: Next returns Bad from then on.
class PacketReader {
public:
    enum class Status { NeedMore, Ready, Bad };
    void Append(const uint8_t* data, size_t size);
    Status Next(Packet& out);
    // Why the stream was refused (for the log), empty while it is good.
    const std::string& Problem() const { return m_problem; }
    // Bytes held that are not yet a whole packet (at most one header and kMaxPayload).
    size_t Buffered() const { return m_buffer.size() - m_offset; }

private:
    std::vector<uint8_t> m_buffer;
    size_t m_offset = 0;
    std::string m_problem;
};

// --- Building what the server sends ---
std::vector<uint8_t> EncodePacket(uint32_t device, uint32_t id, const std::vector<uint8_t>& payload);
// The controller's description in the layout of protocol `version` (capped at the highest
// version implemented).
std::vector<uint8_t> EncodeController(const Controller& c, uint32_t version);
std::vector<uint8_t> EncodeUint32(uint32_t value);
// The profile list: data size, count and the names.
std::vector<uint8_t> EncodeProfileList(const std::vector<std::string>& names);

// --- Reading requests (payloads) ---
std::optional<uint32_t> DecodeUint32(const std::vector<uint8_t>& payload);
// The controller data request: empty (version 0) or the client's version.
std::optional<uint32_t> DecodeControllerDataRequest(const std::vector<uint8_t>& payload);
// A name up to its first NUL (or the whole payload); control characters become spaces and it
// is cut at 64 bytes on a character boundary, since it is shown in the window.
std::string DecodeClientName(const std::vector<uint8_t>& payload);
std::optional<std::vector<uint32_t>> DecodeUpdateLeds(const std::vector<uint8_t>& payload);
struct ZoneColours {
    uint32_t zone = 0;
    std::vector<uint32_t> colours;
};
std::optional<ZoneColours> DecodeUpdateZoneLeds(const std::vector<uint8_t>& payload);
struct SingleLed {
    int32_t led = 0;
    uint32_t colour = 0;
};
std::optional<SingleLed> DecodeUpdateSingleLed(const std::vector<uint8_t>& payload);
struct ModeUpdate {
    int32_t index = 0;
    Mode mode;
};
// UpdateMode and SaveMode: the mode in the layout of `version`.
std::optional<ModeUpdate> DecodeUpdateMode(const std::vector<uint8_t>& payload, uint32_t version);

}  // namespace sdk
