#pragma once

#include <array>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "hid/CommandFrame.h"
#include "sim/DeviceKind.h"
#include "sim/MacroImage.h"

namespace sim {

// The memories a device's firmware keeps; each is addressed by the commands that read or write
// it (offsets are relative to the start of the region).
enum class Region : uint8_t {
    Info,        // 34-byte information block (command 0x03)
    Settings,    // settings memory; byte 0 is the active profile (0x05, 0x06)
    KeyTable,    // 3 bytes per key slot (0x07, 0x09)
    LedMap,      // LED index per key slot (0x1B)
    Macro,       // macro memory, 128 bytes per unit of information byte 6 (0x15)
    LightTable,  // custom light tables, 512 bytes per profile (0x0B)
    Frame,       // the last lighting frame (0x12); on the headset its 17-byte lighting reports
    Shoot,       // shoot-pattern memory (0x17)
    Status,      // 6-byte status block (0x1A)
};

std::string_view regionName(Region region);
std::optional<Region> parseRegion(std::string_view text);

// The command report's numbers and offsets are the framing shared with Tessel's HID layer.
namespace cmd = hid::cmd;
namespace frame = hid::frame;

using Report = std::array<uint8_t, frame::kLength>;

// What the firmware counts, for tests and benchmarks that check what the host did.
struct FirmwareCounters {
    std::map<uint8_t, uint64_t> commands;  // accepted requests by command number
    uint64_t badChecksums = 0;
    uint64_t refused = 0;  // requests answered 0xFF or 0xFE
    uint64_t sessionsOpened = 0;
    uint64_t sessionsClosed = 0;
    bool sessionOpen = false;
    uint64_t framesStarted = 0;  // lighting-frame chunks at offset 0
    uint64_t lightingNotices = 0;
    uint64_t headsetLightReports = 0;
};

// The firmware of one virtual device: its memories and the command set. It knows nothing of
// sockets or timing; the simulator hands it each command report and sends back the reply.
class Firmware {
public:
    explicit Firmware(DeviceKind kind);

    DeviceKind kind() const { return m_kind; }

    // Executes one command report (report ID first; shorter reports are zero-padded) received
    // on `route` and returns the reply: the echoed command in byte 3, the status in byte 7 and
    // read data from byte 8. A bad checksum, a chunk longer than 56 bytes or one outside its
    // memory is answered 0xFF and changes nothing.
    Report execute(const uint8_t* request, size_t length, Route route);

    // The headset's 17-byte lighting output report (ID 0xFF, target, register group, 0, data).
    // Returns false for a report of another shape, which is ignored.
    bool lightingReport(const uint8_t* report, size_t length);

    bool hasRegion(Region region) const;
    const std::vector<uint8_t>& region(Region region) const;
    // Writes bytes into a memory as the device itself would (buttons on the device, tests).
    bool poke(Region region, size_t offset, const std::vector<uint8_t>& bytes);

    uint8_t activeProfile() const;
    uint8_t profileCount() const { return m_profileCount; }
    void setActiveProfile(uint8_t profile);

    void setBattery(uint8_t level);
    void setCharging(uint8_t state);
    void setPhoneType(uint8_t type);

    const MacroImageInfo& macroImage() const { return m_macroInfo; }
    const MacroImageInfo& shootImage() const { return m_shootInfo; }
    const FirmwareCounters& counters() const { return m_counters; }
    // Key slot -> key position of the factory layout (the slot order of the key table).
    const std::vector<uint8_t>& slotPositions() const { return m_slotPositions; }

private:
    // Tracks an image arriving in chunks so it is checked once its last byte is in.
    struct ImageWrite {
        size_t contiguousEnd = 0;
        bool complete = false;
    };

    uint8_t chunkedRead(Region region, const uint8_t* request, Report& reply, Route route);
    uint8_t chunkedWrite(Region region, const uint8_t* request);
    uint8_t imageChunk(Region region, const uint8_t* request, ImageWrite& write,
                       MacroImageInfo& info);
    std::vector<uint8_t>& mutableRegion(Region region);
    void factoryReset();

    DeviceKind m_kind;
    uint8_t m_profileCount = 1;
    std::array<std::vector<uint8_t>, 9> m_regions;
    std::vector<uint8_t> m_slotPositions;
    MacroImageInfo m_macroInfo;
    MacroImageInfo m_shootInfo;
    ImageWrite m_macroWrite;
    ImageWrite m_shootWrite;
    FirmwareCounters m_counters;
};

}  // namespace sim
