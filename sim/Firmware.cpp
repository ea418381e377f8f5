#include "sim/Firmware.h"

#include <algorithm>
#include <cstring>

#include "keytables/DefaultKeyTables.h"

namespace sim {
namespace {

// Information block, documented offsets (34 bytes, all integers little-endian):
//   0-1  firmware version           2  device class (1 keyboard, 2 mouse, 3 pad, 7 headset)
//   3    on-device profile count    4  LED count
//   5    key slots                  6  macro memory in units of 128 bytes
//   7    custom light tables        8  reserved
//   9-10 sensor code (mouse)        11 DPI per step (mouse)
//   12-13 highest DPI step index    14-15 lowest DPI (mouse)
//   16-33 reserved
constexpr size_t kInfoSize = 34;
constexpr size_t kStatusSize = 6;
constexpr size_t kFrameSize = 512;
constexpr size_t kLightTableStride = 512;
constexpr size_t kHeadsetLeds = 13;
constexpr size_t kHeadsetFrameSize = 2 * 3 * kHeadsetLeds;  // two targets, three colour planes

// Status block: battery level, charging state, reserved, receiver flag, reserved, phone type.
constexpr size_t kStatusBattery = 0;
constexpr size_t kStatusCharging = 1;
constexpr size_t kStatusReceiver = 3;
constexpr size_t kStatusPhone = 5;

struct Layout {
    uint8_t deviceClass;
    uint8_t profiles;
    size_t profileStride;  // where the factory blocks go; the host addresses the memory itself
    size_t settingsSize;
    uint8_t leds;
    uint8_t keySlots;
    uint8_t macroUnits;
    uint8_t lightTables;
    size_t shootSize;
};

// The mouse keeps four shoot patterns (one per gun) of up to 30 bullets, six events a bullet:
// 16 + 4 x 6 + 4 x 4 x 180 = 2920 bytes of image, so the memory is 3 KiB.
constexpr size_t kMouseShootSize = 3072;

Layout layoutOf(DeviceKind kind) {
    switch (kind) {
    case DeviceKind::Keyboard: return {1, 8, 26, 256, 132, 132, 32, 8, 0};
    case DeviceKind::Mouse: return {2, 5, 128, 640, 15, 11, 16, 0, kMouseShootSize};
    case DeviceKind::Pad: return {3, 4, 26, 256, 15, 0, 0, 0, 0};
    case DeviceKind::Headset: return {7, 4, 26, 256, 13, 0, 0, 0, 0};
    }
    return {};
}

// The keyboard's slot order: the keys of the main and navigation blocks first (the ones the
// host lights by LED index, slots below 90), then the rest of the board by key position.
constexpr uint8_t kKeyboardLitOrder[] = {
    56, 12, 11, 10, 9,  8,   7,   6,   5,   4,   3,   2,   1,   0,   21,  42,  63,  84,
    105, 106, 107, 108, 109, 110, 112, 113, 114, 115, 58,  37,  57,  35,  34,  33,  32,  31,
    30, 29, 28, 27, 26, 25, 24, 23, 22, 43, 64, 102, 85, 86, 87, 88, 89, 90, 91, 92,
    93, 94, 95, 96, 55, 54, 53, 52, 51, 50, 49, 48, 47, 46, 45, 44, 65, 66, 67, 68,
    69, 70, 71, 72, 73, 74, 62, 75, 13, 14, 15, 36, 111, 83,
};
static_assert(sizeof(kKeyboardLitOrder) == 90, "the host lights slots 0..89");

// The keyboard's LEDs are chained column by column over the lighting matrix (23 columns of six
// rows, 170 = no key), so LED indexes differ from slot numbers.
constexpr uint8_t kColumns[23][6] = {
    {170, 120, 121, 122, 123, 124}, {170, 21, 42, 63, 84, 105}, {0, 22, 43, 64, 102, 106},
    {1, 23, 44, 65, 85, 107},       {2, 24, 45, 66, 86, 20},    {3, 25, 46, 67, 87, 126},
    {4, 26, 47, 68, 88, 127},       {18, 27, 48, 69, 89, 108},  {5, 28, 49, 70, 90, 128},
    {6, 29, 50, 71, 91, 129},       {7, 30, 51, 72, 92, 125},   {8, 31, 52, 73, 93, 109},
    {9, 32, 53, 74, 94, 110},       {10, 33, 54, 75, 95, 112},  {11, 34, 55, 83, 96, 113},
    {12, 36, 103, 62, 19, 114},     {56, 35, 57, 37, 58, 115},  {14, 101, 13, 82, 80, 111},
    {15, 79, 81, 17, 100, 130},     {170, 38, 59, 76, 97, 116}, {170, 39, 60, 77, 98, 104},
    {170, 40, 61, 78, 99, 117},     {170, 41, 16, 119, 118, 131},
};

// The mouse's buttons in slot order (button positions of the factory table).
constexpr uint8_t kMouseSlotOrder[] = {0, 1, 2, 3, 4, 8, 5, 6, 7, 9, 10};

void put16(std::vector<uint8_t>& mem, size_t at, uint16_t value) {
    mem[at] = uint8_t(value);
    mem[at + 1] = uint8_t(value >> 8);
}

}  // namespace


std::string_view regionName(Region region) {
    switch (region) {
    case Region::Info: return "info";
    case Region::Settings: return "settings";
    case Region::KeyTable: return "keytable";
    case Region::LedMap: return "ledmap";
    case Region::Macro: return "macro";
    case Region::LightTable: return "lighttable";
    case Region::Frame: return "frame";
    case Region::Shoot: return "shoot";
    case Region::Status: return "status";
    }
    return "?";
}

std::optional<Region> parseRegion(std::string_view text) {
    for (int i = 0; i <= int(Region::Status); ++i) {
        if (regionName(Region(i)) == text) return Region(i);
    }
    return std::nullopt;
}

Firmware::Firmware(DeviceKind kind) : m_kind(kind) { factoryReset(); }

void Firmware::factoryReset() {
    const Layout l = layoutOf(m_kind);
    m_profileCount = l.profiles;
    for (auto& r : m_regions) r.clear();

    auto& info = mutableRegion(Region::Info);
    info.assign(kInfoSize, 0);
    put16(info, 0, 0x0123);
    info[2] = l.deviceClass;
    info[3] = l.profiles;
    info[4] = l.leds;
    info[5] = l.keySlots;
    info[6] = l.macroUnits;
    info[7] = l.lightTables;
    if (m_kind == DeviceKind::Mouse) {
        put16(info, 9, 13093);  // sensor code
        info[11] = 100;         // DPI per step
        put16(info, 12, 100);   // highest step index
        put16(info, 14, 200);   // lowest DPI
    }

    // Factory settings: every profile lit red at full brightness, medium speed, colourful.
    auto& settings = mutableRegion(Region::Settings);
    settings.assign(l.settingsSize, 0);
    for (size_t p = 0; p < l.profiles; ++p) {
        const size_t b = p * l.profileStride;
        const uint8_t light[] = {uint8_t(1 + p), 4, 2, 0, 1, 255, 0, 0};
        std::memcpy(&settings[b + 1], light, sizeof light);
        if (m_kind == DeviceKind::Keyboard) {
            settings[b + 22] = 1;  // polling rate choice
        } else if (m_kind == DeviceKind::Mouse) {
            settings[b + 11] = 3;  // polling rate choice
            settings[b + 12] = 1;  // current DPI stage
            const uint16_t dpi[5] = {4, 9, 14, 24, 49};
            const uint8_t colour[5][3] = {{255, 0, 0}, {0, 255, 0}, {0, 0, 255}, {255, 255, 0},
                                          {255, 0, 255}};
            for (size_t s = 0; s < 5; ++s) {
                const size_t at = b + 14 + 9 * s;
                settings[at] = 1;
                put16(settings, at + 2, dpi[s]);
                put16(settings, at + 4, dpi[s]);
                std::memcpy(&settings[at + 6], colour[s], 3);
            }
            put16(settings, b + 60, 1920);
            put16(settings, b + 62, 1080);
            settings[b + 66] = 0x5A;  // firmware-private bytes the host only reads
            settings[b + 67] = 0xA5;
        } else {
            // Further pad and headset settings the host keeps as the device reports them.
            for (size_t i = 9; i <= 20; ++i) settings[b + i] = uint8_t(0x10 + i);
        }
    }
    settings[0] = 0;

    m_slotPositions.clear();
    if (m_kind == DeviceKind::Keyboard) {
        m_slotPositions.assign(std::begin(kKeyboardLitOrder), std::end(kKeyboardLitOrder));
        for (int pos = 0; pos < 132; ++pos) {
            if (std::find(m_slotPositions.begin(), m_slotPositions.end(), pos) ==
                m_slotPositions.end())
                m_slotPositions.push_back(uint8_t(pos));
        }
    } else if (m_kind == DeviceKind::Mouse) {
        m_slotPositions.assign(std::begin(kMouseSlotOrder), std::end(kMouseSlotOrder));
    }

    auto& keys = mutableRegion(Region::KeyTable);
    auto& leds = mutableRegion(Region::LedMap);
    keys.assign(3 * size_t(l.keySlots), 0);
    leds.assign(l.keySlots, 0xFF);
    for (size_t slot = 0; slot < m_slotPositions.size(); ++slot) {
        const uint8_t pos = m_slotPositions[slot];
        const keytables::KeyTriple t = m_kind == DeviceKind::Keyboard
                                           ? keytables::keyboardDefaultKeyTable()[pos]
                                           : keytables::mouseDefaultButtons()[pos];
        keys[3 * slot] = t.type;
        keys[3 * slot + 1] = t.p1;
        keys[3 * slot + 2] = t.p2;
        if (m_kind == DeviceKind::Keyboard) {
            uint8_t led = 0;
            for (const auto& column : kColumns) {
                for (uint8_t p : column) {
                    if (p == 170) continue;
                    if (p == pos) leds[slot] = led;
                    ++led;
                }
            }
        } else {
            leds[slot] = uint8_t(slot);
        }
    }

    mutableRegion(Region::Macro).assign(size_t(l.macroUnits) * 128, 0);
    mutableRegion(Region::LightTable).assign(size_t(l.lightTables) * kLightTableStride, 0);
    mutableRegion(Region::Frame)
        .assign(m_kind == DeviceKind::Headset ? kHeadsetFrameSize : kFrameSize, 0);
    mutableRegion(Region::Shoot).assign(l.shootSize, 0);

    auto& status = mutableRegion(Region::Status);
    status.assign(kStatusSize, 0);
    status[kStatusBattery] = m_kind == DeviceKind::Mouse ? 65 : m_kind == DeviceKind::Keyboard ? 80 : 100;
    status[kStatusCharging] = m_kind == DeviceKind::Pad ? 2 : 0;

    m_macroInfo = {};
    m_shootInfo = {};
    m_macroWrite = {};
    m_shootWrite = {};
}

std::vector<uint8_t>& Firmware::mutableRegion(Region region) { return m_regions[size_t(region)]; }

const std::vector<uint8_t>& Firmware::region(Region region) const { return m_regions[size_t(region)]; }

bool Firmware::hasRegion(Region which) const { return !region(which).empty(); }

uint8_t Firmware::activeProfile() const { return region(Region::Settings)[0]; }

void Firmware::setActiveProfile(uint8_t profile) { mutableRegion(Region::Settings)[0] = profile; }

void Firmware::setBattery(uint8_t level) { mutableRegion(Region::Status)[kStatusBattery] = level; }
void Firmware::setCharging(uint8_t state) { mutableRegion(Region::Status)[kStatusCharging] = state; }
void Firmware::setPhoneType(uint8_t type) { mutableRegion(Region::Status)[kStatusPhone] = type; }

bool Firmware::poke(Region region, size_t offset, const std::vector<uint8_t>& bytes) {
    auto& mem = mutableRegion(region);
    if (offset > mem.size() || bytes.size() > mem.size() - offset) return false;
    std::copy(bytes.begin(), bytes.end(), mem.begin() + offset);
    return true;
}

Report Firmware::execute(const uint8_t* request, size_t length, Route route) {
    Report req{};
    std::memcpy(req.data(), request, std::min(length, req.size()));
    const uint8_t command = req[frame::kCommand];

    Report reply{};
    reply[0] = req[0];
    reply[frame::kCommand] = command;
    reply[frame::kChunkLength] = req[frame::kChunkLength];
    reply[frame::kOffsetLow] = req[frame::kOffsetLow];
    reply[frame::kOffsetHigh] = req[frame::kOffsetHigh];

    uint8_t status = frame::kStatusOk;
    if (frame::carriedChecksum(req.data()) != uint16_t(frame::checksum(req.data()))) {
        ++m_counters.badChecksums;
        status = frame::kStatusBadRequest;
    } else {
        switch (command) {
        case cmd::kOpenSession:
            ++m_counters.sessionsOpened;
            m_counters.sessionOpen = true;
            break;
        case cmd::kCloseSession:
            ++m_counters.sessionsClosed;
            m_counters.sessionOpen = false;
            break;
        case cmd::kLightingNotice: ++m_counters.lightingNotices; break;
        case cmd::kLinkCheck: reply[frame::kPayload] = 0xFF; break;
        case cmd::kReadInfo: status = chunkedRead(Region::Info, req.data(), reply, route); break;
        case cmd::kReadSettings:
            status = chunkedRead(Region::Settings, req.data(), reply, route);
            break;
        case cmd::kWriteSettings: status = chunkedWrite(Region::Settings, req.data()); break;
        case cmd::kReadKeyTable:
            status = chunkedRead(Region::KeyTable, req.data(), reply, route);
            break;
        case cmd::kWriteKeyTable: status = chunkedWrite(Region::KeyTable, req.data()); break;
        case cmd::kReadLedMap: status = chunkedRead(Region::LedMap, req.data(), reply, route); break;
        case cmd::kWriteLightTable: status = chunkedWrite(Region::LightTable, req.data()); break;
        case cmd::kLightingFrame:
            // The headset takes its lighting as 17-byte reports, not as command frames.
            if (m_kind == DeviceKind::Headset) {
                status = frame::kStatusUnsupported;
                break;
            }
            status = chunkedWrite(Region::Frame, req.data());
            if (status == frame::kStatusOk && req[frame::kOffsetLow] == 0 &&
                req[frame::kOffsetHigh] == 0)
                ++m_counters.framesStarted;
            break;
        case cmd::kWriteMacro:
            status = imageChunk(Region::Macro, req.data(), m_macroWrite, m_macroInfo);
            break;
        case cmd::kWriteShoot:
            status = imageChunk(Region::Shoot, req.data(), m_shootWrite, m_shootInfo);
            break;
        case cmd::kReadStatus: status = chunkedRead(Region::Status, req.data(), reply, route); break;
        default: status = frame::kStatusUnsupported; break;
        }
    }
    if (status == frame::kStatusOk) {
        ++m_counters.commands[command];
    } else {
        ++m_counters.refused;
    }
    reply[frame::kStatus] = status;
    frame::seal(reply.data());
    return reply;
}

uint8_t Firmware::chunkedRead(Region region, const uint8_t* request, Report& reply, Route route) {
    const auto& mem = this->region(region);
    if (mem.empty()) return frame::kStatusUnsupported;
    const size_t length = request[frame::kChunkLength];
    const size_t offset = request[frame::kOffsetLow] | (request[frame::kOffsetHigh] << 8);
    if (length > frame::kPayloadCapacity || offset + length > mem.size())
        return frame::kStatusBadRequest;
    std::memcpy(reply.data() + frame::kPayload, mem.data() + offset, length);
    // The status block says whether it was read through the receiver.
    if (region == Region::Status && offset <= kStatusReceiver && kStatusReceiver < offset + length)
        reply[frame::kPayload + kStatusReceiver - offset] = route == Route::Receiver ? 1 : 0;
    return frame::kStatusOk;
}

uint8_t Firmware::chunkedWrite(Region region, const uint8_t* request) {
    auto& mem = mutableRegion(region);
    if (mem.empty()) return frame::kStatusUnsupported;
    const size_t length = request[frame::kChunkLength];
    const size_t offset = request[frame::kOffsetLow] | (request[frame::kOffsetHigh] << 8);
    if (length > frame::kPayloadCapacity || offset + length > mem.size())
        return frame::kStatusBadRequest;
    std::memcpy(mem.data() + offset, request + frame::kPayload, length);
    return frame::kStatusOk;
}

uint8_t Firmware::imageChunk(Region region, const uint8_t* request, ImageWrite& write,
                             MacroImageInfo& info) {
    const uint8_t status = chunkedWrite(region, request);
    if (status != frame::kStatusOk) return status;
    const size_t length = request[frame::kChunkLength];
    const size_t offset = request[frame::kOffsetLow] | (request[frame::kOffsetHigh] << 8);
    // A write at offset 0 starts a new image; later chunks must follow on without gaps for the
    // image to be checked as a whole.
    if (offset == 0) {
        write = {};
        info = {};
        info.problem = "incomplete";
    }
    if (offset != write.contiguousEnd || write.complete) return frame::kStatusOk;
    write.contiguousEnd += length;
    const auto& mem = this->region(region);
    if (write.contiguousEnd < 4) return frame::kStatusOk;
    const size_t total = mem[2] | (mem[3] << 8);
    if (total > mem.size() || total < kMacroImageHeader || write.contiguousEnd >= total) {
        write.complete = true;
        info = parseMacroImage(mem.data(), mem.size());
        if (!info.valid) return frame::kStatusBadRequest;
    }
    return frame::kStatusOk;
}

bool Firmware::lightingReport(const uint8_t* report, size_t length) {
    if (m_kind != DeviceKind::Headset || length != 17 || report[0] != 0xFF || report[3] != 0)
        return false;
    const uint8_t target = report[1];
    const uint8_t group = report[2];
    if ((target != 0x22 && target != 0x44) || group < 0xAA || group > 0xAF) return false;
    // Groups AA/AB/AC carry LEDs 0-6 of the red, green and blue planes; AD/AE/AF LEDs 7-12.
    const size_t plane = (group - 0xAA) % 3;
    const bool upper = group >= 0xAD;
    const size_t first = upper ? 7 : 0;
    const size_t count = upper ? 6 : 7;
    auto& mem = mutableRegion(Region::Frame);
    const size_t base = (target == 0x22 ? 0 : 3 * kHeadsetLeds) + plane * kHeadsetLeds + first;
    std::memcpy(mem.data() + base, report + 4, count);
    ++m_counters.headsetLightReports;
    return true;
}

}  // namespace sim
