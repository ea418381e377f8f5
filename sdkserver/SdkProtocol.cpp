#include "sdkserver/SdkProtocol.h"

#include <algorithm>
#include <cstring>

namespace sdk {

namespace {

constexpr char kMagic[4] = {'O', 'R', 'G', 'B'};

class Writer {
public:
    void U16(uint16_t v) { Bytes(&v, 2); }
    void U32(uint32_t v) { Bytes(&v, 4); }
    void I32(int32_t v) { Bytes(&v, 4); }
    // Length (NUL included) and the text with its NUL; longer text is cut to fit the length.
    void Str(const std::string& s)
    {
        const size_t n = std::min<size_t>(s.size(), 0xFFFE);
        U16(uint16_t(n + 1));
        m_out.insert(m_out.end(), s.begin(), s.begin() + std::ptrdiff_t(n));
        m_out.push_back(0);
    }
    void Colours(const std::vector<uint32_t>& c)
    {
        const size_t n = std::min<size_t>(c.size(), 0xFFFF);
        U16(uint16_t(n));
        for (size_t i = 0; i < n; ++i)
            U32(c[i]);
    }
    std::vector<uint8_t>& Out() { return m_out; }

private:
    // Little-endian hosts only (x86-64, arm64), as the rest of Tessel's byte layouts.
    void Bytes(const void* p, size_t n)
    {
        const auto* b = static_cast<const uint8_t*>(p);
        m_out.insert(m_out.end(), b, b + n);
    }
    std::vector<uint8_t> m_out;
};

// Reads fields off a payload; any read past the end fails the reader for good.
class Reader {
public:
    explicit Reader(const std::vector<uint8_t>& p) : m_p(p) {}
    bool U16(uint16_t& v) { return Bytes(&v, 2); }
    bool U32(uint32_t& v) { return Bytes(&v, 4); }
    bool I32(int32_t& v) { return Bytes(&v, 4); }
    bool Str(std::string& s)
    {
        uint16_t n = 0;
        if (!U16(n) || !Has(n))
            return false;
        const auto* b = reinterpret_cast<const char*>(m_p.data() + m_at);
        s.assign(b, strnlen(b, n));
        m_at += n;
        return true;
    }
    bool Colours(std::vector<uint32_t>& c)
    {
        uint16_t n = 0;
        if (!U16(n) || !Has(size_t(n) * 4))
            return false;
        c.resize(n);
        for (uint16_t i = 0; i < n; ++i)
            U32(c[i]);
        return true;
    }
    bool AtEnd() const { return m_ok && m_at == m_p.size(); }
    size_t Position() const { return m_at; }

private:
    bool Has(size_t n) const { return m_ok && m_p.size() - m_at >= n; }
    bool Bytes(void* out, size_t n)
    {
        if (!Has(n)) {
            m_ok = false;
            return false;
        }
        std::memcpy(out, m_p.data() + m_at, n);
        m_at += n;
        return true;
    }
    const std::vector<uint8_t>& m_p;
    size_t m_at = 0;
    bool m_ok = true;
};

// The leading data size of the requests that carry one must equal the payload's size.
bool DataSizeMatches(Reader& r, size_t payloadSize)
{
    uint32_t size = 0;
    return r.U32(size) && size == payloadSize;
}

void WriteMode(Writer& w, const Mode& m, uint32_t version)
{
    w.Str(m.name);
    w.I32(m.value);
    w.U32(m.flags);
    w.U32(m.speedMin);
    w.U32(m.speedMax);
    if (version >= 3) {
        w.U32(m.brightnessMin);
        w.U32(m.brightnessMax);
    }
    w.U32(m.coloursMin);
    w.U32(m.coloursMax);
    w.U32(m.speed);
    if (version >= 3)
        w.U32(m.brightness);
    w.U32(m.direction);
    w.U32(m.colourMode);
    w.Colours(m.colours);
}

bool ReadMode(Reader& r, Mode& m, uint32_t version)
{
    bool ok = r.Str(m.name) && r.I32(m.value) && r.U32(m.flags) && r.U32(m.speedMin) && r.U32(m.speedMax);
    if (ok && version >= 3)
        ok = r.U32(m.brightnessMin) && r.U32(m.brightnessMax);
    ok = ok && r.U32(m.coloursMin) && r.U32(m.coloursMax) && r.U32(m.speed);
    if (ok && version >= 3)
        ok = r.U32(m.brightness);
    return ok && r.U32(m.direction) && r.U32(m.colourMode) && r.Colours(m.colours);
}

}  // namespace

void PacketReader::Append(const uint8_t* data, size_t size)
{
    if (!m_problem.empty() || size == 0)
        return;
    // Drop what was handed out before growing, so the buffer never holds more than one packet
    // plus what arrived with it.
    if (m_offset > 0) {
        m_buffer.erase(m_buffer.begin(), m_buffer.begin() + std::ptrdiff_t(m_offset));
        m_offset = 0;
    }
    m_buffer.insert(m_buffer.end(), data, data + size);
}

PacketReader::Status PacketReader::Next(Packet& out)
{
    if (!m_problem.empty())
        return Status::Bad;
    const size_t avail = m_buffer.size() - m_offset;
    if (avail == 0)
        return Status::NeedMore;
    const uint8_t* p = m_buffer.data() + m_offset;
    // A wrong magic is seen as soon as its bytes are there, without waiting for a whole header.
    if (std::memcmp(p, kMagic, std::min<size_t>(avail, 4)) != 0) {
        m_problem = "no packet header where one was due";
        return Status::Bad;
    }
    if (avail < kHeaderSize)
        return Status::NeedMore;
    Header h;
    std::memcpy(&h.device, p + 4, 4);
    std::memcpy(&h.id, p + 8, 4);
    std::memcpy(&h.size, p + 12, 4);
    if (h.size > kMaxPayload) {
        m_problem = "packet of " + std::to_string(h.size) + " bytes announced, more than any request";
        return Status::Bad;
    }
    if (avail - kHeaderSize < h.size)
        return Status::NeedMore;
    out.header = h;
    out.payload.assign(p + kHeaderSize, p + kHeaderSize + h.size);
    m_offset += kHeaderSize + h.size;
    if (m_offset == m_buffer.size()) {
        m_buffer.clear();
        m_offset = 0;
    }
    return Status::Ready;
}

std::vector<uint8_t> EncodePacket(uint32_t device, uint32_t id, const std::vector<uint8_t>& payload)
{
    std::vector<uint8_t> out(kMagic, kMagic + 4);
    Writer w;
    w.U32(device);
    w.U32(id);
    w.U32(uint32_t(payload.size()));
    out.insert(out.end(), w.Out().begin(), w.Out().end());
    out.insert(out.end(), payload.begin(), payload.end());
    return out;
}

std::vector<uint8_t> EncodeController(const Controller& c, uint32_t version)
{
    version = std::min(version, kMaxProtocolVersion);
    Writer w;
    w.U32(0);  // data size, filled in at the end
    w.I32(int32_t(c.type));
    w.Str(c.name);
    if (version >= 1)
        w.Str(c.vendor);
    w.Str(c.description);
    w.Str(c.version);
    w.Str(c.serial);
    w.Str(c.location);
    w.U16(uint16_t(c.modes.size()));
    w.I32(c.activeMode);
    for (const Mode& m : c.modes)
        WriteMode(w, m, version);
    w.U16(uint16_t(c.zones.size()));
    for (const Zone& z : c.zones) {
        w.Str(z.name);
        w.I32(int32_t(z.type));
        w.U32(z.ledsMin);
        w.U32(z.ledsMax);
        w.U32(z.ledsCount);
        const size_t cells = size_t(z.matrixHeight) * z.matrixWidth;
        if (cells == 0 || z.matrix.size() != cells) {
            w.U16(0);
        } else {
            w.U16(uint16_t(8 + 4 * cells));
            w.U32(z.matrixHeight);
            w.U32(z.matrixWidth);
            for (uint32_t v : z.matrix)
                w.U32(v);
        }
        if (version >= 4)
            w.U16(0);  // no segments
    }
    w.U16(uint16_t(c.leds.size()));
    for (const Led& l : c.leds) {
        w.Str(l.name);
        w.U32(l.value);
    }
    w.Colours(c.colours);
    std::vector<uint8_t>& out = w.Out();
    const uint32_t size = uint32_t(out.size());
    std::memcpy(out.data(), &size, 4);
    return out;
}

std::vector<uint8_t> EncodeUint32(uint32_t value)
{
    Writer w;
    w.U32(value);
    return w.Out();
}

std::vector<uint8_t> EncodeProfileList(const std::vector<std::string>& names)
{
    Writer w;
    w.U32(0);
    w.U16(uint16_t(std::min<size_t>(names.size(), 0xFFFF)));
    for (size_t i = 0; i < names.size() && i < 0xFFFF; ++i)
        w.Str(names[i]);
    std::vector<uint8_t>& out = w.Out();
    const uint32_t size = uint32_t(out.size());
    std::memcpy(out.data(), &size, 4);
    return out;
}

std::optional<uint32_t> DecodeUint32(const std::vector<uint8_t>& payload)
{
    Reader r(payload);
    uint32_t v = 0;
    if (!r.U32(v) || !r.AtEnd())
        return std::nullopt;
    return v;
}

std::optional<uint32_t> DecodeControllerDataRequest(const std::vector<uint8_t>& payload)
{
    if (payload.empty())
        return 0u;
    return DecodeUint32(payload);
}

std::string DecodeClientName(const std::vector<uint8_t>& payload)
{
    if (payload.empty())
        return {};
    const auto* b = reinterpret_cast<const char*>(payload.data());
    std::string name(b, strnlen(b, payload.size()));
    for (char& ch : name) {
        if (uint8_t(ch) < 0x20 || ch == 0x7F)
            ch = ' ';
    }
    constexpr size_t kMaxName = 64;
    if (name.size() > kMaxName) {
        size_t cut = kMaxName;
        // Back to the start of a UTF-8 sequence so the name stays valid text.
        while (cut > 0 && (uint8_t(name[cut]) & 0xC0) == 0x80)
            --cut;
        name.resize(cut);
    }
    return name;
}

std::optional<std::vector<uint32_t>> DecodeUpdateLeds(const std::vector<uint8_t>& payload)
{
    Reader r(payload);
    std::vector<uint32_t> colours;
    if (!DataSizeMatches(r, payload.size()) || !r.Colours(colours) || !r.AtEnd())
        return std::nullopt;
    return colours;
}

std::optional<ZoneColours> DecodeUpdateZoneLeds(const std::vector<uint8_t>& payload)
{
    Reader r(payload);
    ZoneColours z;
    if (!DataSizeMatches(r, payload.size()) || !r.U32(z.zone) || !r.Colours(z.colours) || !r.AtEnd())
        return std::nullopt;
    return z;
}

std::optional<SingleLed> DecodeUpdateSingleLed(const std::vector<uint8_t>& payload)
{
    Reader r(payload);
    SingleLed s;
    if (!r.I32(s.led) || !r.U32(s.colour) || !r.AtEnd())
        return std::nullopt;
    return s;
}

std::optional<ModeUpdate> DecodeUpdateMode(const std::vector<uint8_t>& payload, uint32_t version)
{
    Reader r(payload);
    ModeUpdate u;
    if (!DataSizeMatches(r, payload.size()) || !r.I32(u.index) ||
        !ReadMode(r, u.mode, std::min(version, kMaxProtocolVersion)) || !r.AtEnd())
        return std::nullopt;
    return u;
}

}  // namespace sdk
