// The wire format against hand-built packets: what is refused, what is read, and that a
// description reads back field by field in each protocol version.
#include "sdkserver/SdkProtocol.h"

#include <gtest/gtest.h>

#include <array>
#include <cstring>

namespace {

using Bytes = std::vector<uint8_t>;

struct Build {
    Bytes b;
    Build& u16(uint16_t v) { return raw(&v, 2); }
    Build& u32(uint32_t v) { return raw(&v, 4); }
    Build& str(const char* s) { u16(uint16_t(std::strlen(s) + 1)); return raw(s, std::strlen(s) + 1); }
    Build& raw(const void* p, size_t n)
    {
        b.insert(b.end(), static_cast<const uint8_t*>(p), static_cast<const uint8_t*>(p) + n);
        return *this;
    }
    // Prefixes the size of everything after it, as the requests that carry one do.
    Bytes sized() const
    {
        Build out;
        out.u32(uint32_t(b.size() + 4));
        out.b.insert(out.b.end(), b.begin(), b.end());
        return out.b;
    }
};

Bytes Header(uint32_t dev, uint32_t id, uint32_t size)
{
    return Build().raw("ORGB", 4).u32(dev).u32(id).u32(size).b;
}

TEST(SdkPacketReader, StreamsCutAnywhereGiveTheSamePackets)
{
    Bytes stream = Header(2, 1050, 3);
    stream.insert(stream.end(), {1, 2, 3});
    const Bytes second = Header(0, 0, 0);
    stream.insert(stream.end(), second.begin(), second.end());
    for (size_t chunk : {size_t(1), size_t(5), size_t(16), stream.size()}) {
        sdk::PacketReader r;
        std::vector<sdk::Packet> got;
        for (size_t at = 0; at < stream.size(); at += chunk) {
            r.Append(stream.data() + at, std::min(chunk, stream.size() - at));
            sdk::Packet p;
            while (r.Next(p) == sdk::PacketReader::Status::Ready)
                got.push_back(p);
        }
        ASSERT_EQ(got.size(), 2u) << "chunk " << chunk;
        EXPECT_EQ(got[0].header.device, 2u);
        EXPECT_EQ(got[0].header.id, 1050u);
        EXPECT_EQ(got[0].payload, (Bytes{1, 2, 3}));
        EXPECT_EQ(got[1].header.id, 0u);
        EXPECT_EQ(r.Buffered(), 0u);
    }
}

TEST(SdkPacketReader, BrokenStreamsAreRefusedForGood)
{
    struct Case {
        const char* what;
        Bytes bytes;
    } cases[] = {
        {"wrong magic, seen on its first byte", {'X'}},
        {"wrong magic after a good packet", [] { Bytes b = Header(0, 0, 0); b.push_back('o'); return b; }()},
        {"a payload larger than any request", Header(0, 1050, sdk::kMaxPayload + 1)},
        {"a size of 4 GiB", Header(0, 1050, 0xFFFFFFFF)},
    };
    for (const Case& c : cases) {
        sdk::PacketReader r;
        r.Append(c.bytes.data(), c.bytes.size());
        sdk::Packet p;
        sdk::PacketReader::Status s;
        while ((s = r.Next(p)) == sdk::PacketReader::Status::Ready) {}
        EXPECT_EQ(s, sdk::PacketReader::Status::Bad) << c.what;
        EXPECT_FALSE(r.Problem().empty()) << c.what;
        r.Append(Header(0, 0, 0).data(), 16);
        EXPECT_EQ(r.Next(p), sdk::PacketReader::Status::Bad) << c.what << ": stays refused";
    }
    // The largest payload allowed is waited for, not refused.
    sdk::PacketReader r;
    const Bytes h = Header(0, 1050, sdk::kMaxPayload);
    r.Append(h.data(), h.size());
    sdk::Packet p;
    EXPECT_EQ(r.Next(p), sdk::PacketReader::Status::NeedMore);
}

TEST(SdkRequests, SizesAndCountsMustAddUp)
{
    const Bytes twoColours = Build().u16(2).u32(0x112233).u32(0x445566).sized();
    ASSERT_TRUE(sdk::DecodeUpdateLeds(twoColours));
    EXPECT_EQ(*sdk::DecodeUpdateLeds(twoColours), (std::vector<uint32_t>{0x112233, 0x445566}));

    struct Case {
        const char* what;
        Bytes payload;
    } refused[] = {
        {"empty", {}},
        {"data size one too big", [] { Bytes b = Build().u16(1).u32(7).sized(); b[0]++; return b; }()},
        {"data size one too small", [] { Bytes b = Build().u16(1).u32(7).sized(); b[0]--; return b; }()},
        {"count past the end", Build().u16(3).u32(1).u32(2).sized()},
        {"a colour cut short", Build().u16(1).u16(7).sized()},
        {"bytes left over", Build().u16(1).u32(1).u16(0).sized()},
        {"count of 65535 with none there", Build().u16(0xFFFF).sized()},
    };
    for (const Case& c : refused)
        EXPECT_FALSE(sdk::DecodeUpdateLeds(c.payload)) << c.what;

    const auto zone = sdk::DecodeUpdateZoneLeds(Build().u32(6).u16(1).u32(0xABCDEF).sized());
    ASSERT_TRUE(zone);
    EXPECT_EQ(zone->zone, 6u);
    EXPECT_EQ(zone->colours, (std::vector<uint32_t>{0xABCDEF}));
    EXPECT_FALSE(sdk::DecodeUpdateZoneLeds(Build().u32(6).u16(2).u32(1).sized())) << "zone: count past the end";

    const auto single = sdk::DecodeUpdateSingleLed(Build().u32(uint32_t(-1)).u32(5).b);
    ASSERT_TRUE(single);
    EXPECT_EQ(single->led, -1) << "read as signed; the server checks the range";
    EXPECT_FALSE(sdk::DecodeUpdateSingleLed(Build().u32(1).b));
    EXPECT_FALSE(sdk::DecodeUpdateSingleLed(Build().u32(1).u32(2).u16(0).b));

    EXPECT_EQ(sdk::DecodeControllerDataRequest({}), 0u);
    EXPECT_EQ(sdk::DecodeControllerDataRequest(Build().u32(3).b), 3u);
    EXPECT_FALSE(sdk::DecodeControllerDataRequest({1, 2}));
}

TEST(SdkRequests, ClientNamesAreMadeSafeToShow)
{
    auto name = [](std::string s) { return sdk::DecodeClientName(Bytes(s.begin(), s.end())); };
    EXPECT_EQ(name(std::string("Ambient\0junk", 12)), "Ambient");
    EXPECT_EQ(name("tab\there\nnewline"), "tab here newline");
    EXPECT_EQ(name(""), "");
    EXPECT_EQ(name(std::string(100, 'x')).size(), 64u);
    // 30 three-byte characters: the cut falls inside the 22nd, which goes whole.
    std::string wide;
    for (int i = 0; i < 30; ++i) wide += "\xE7\x81\xAF";
    EXPECT_EQ(name(wide).size(), 63u);
}

sdk::Controller Sample()
{
    sdk::Controller c;
    c.type = sdk::DeviceType::MouseMat;
    c.name = "Pad";
    c.vendor = "Tessel";
    c.location = "tessel:MousePad:0";
    sdk::Mode direct;
    direct.name = "Direct";
    direct.flags = sdk::modeflag::kHasPerLedColour;
    sdk::Mode fixed;
    fixed.name = "Static";
    fixed.value = 3;
    fixed.flags = sdk::modeflag::kHasBrightness | sdk::modeflag::kHasModeSpecificColour;
    fixed.brightnessMax = 4;
    fixed.brightness = 2;
    fixed.coloursMin = fixed.coloursMax = 1;
    fixed.colours = {0x0000FF};
    c.modes = {direct, fixed};
    c.activeMode = 1;
    sdk::Zone ring;
    ring.name = "Ring";
    ring.ledsMin = ring.ledsMax = ring.ledsCount = 2;
    ring.matrixHeight = 1;
    ring.matrixWidth = 2;
    ring.matrix = {0, 1};
    c.zones = {ring};
    c.leds = {{"LED 1", 0}, {"LED 2", 1}};
    c.colours = {0x010203, 0x040506};
    return c;
}

// Reads a description back the way the layout of each version lays it out.
TEST(SdkController, DescriptionReadsBackInEveryVersion)
{
    for (uint32_t version = 0; version <= sdk::kMaxProtocolVersion + 1; ++version) {
        const sdk::Controller c = Sample();
        const Bytes b = sdk::EncodeController(c, version);
        size_t at = 0;
        auto u16 = [&] { uint16_t v; std::memcpy(&v, &b.at(at), 2); at += 2; return v; };
        auto u32 = [&] { uint32_t v; std::memcpy(&v, &b.at(at), 4); at += 4; return v; };
        auto str = [&] { const uint16_t n = u16(); std::string s(reinterpret_cast<const char*>(&b.at(at)), n - 1); EXPECT_EQ(b.at(at + n - 1), 0); at += n; return s; };
        SCOPED_TRACE("version " + std::to_string(version));
        EXPECT_EQ(u32(), b.size());
        EXPECT_EQ(u32(), 7u);
        EXPECT_EQ(str(), "Pad");
        if (version >= 1) {
            EXPECT_EQ(str(), "Tessel");
        }
        for (int i = 0; i < 3; ++i) str();
        EXPECT_EQ(str(), "tessel:MousePad:0");
        ASSERT_EQ(u16(), 2u);
        EXPECT_EQ(u32(), 1u);
        for (const sdk::Mode& m : c.modes) {
            EXPECT_EQ(str(), m.name);
            EXPECT_EQ(u32(), uint32_t(m.value));
            EXPECT_EQ(u32(), m.flags);
            u32(), u32();
            if (version >= 3) {
                EXPECT_EQ((std::pair{u32(), u32()}), (std::pair{m.brightnessMin, m.brightnessMax}));
            }
            EXPECT_EQ(u32(), m.coloursMin);
            EXPECT_EQ(u32(), m.coloursMax);
            u32();
            if (version >= 3) {
                EXPECT_EQ(u32(), m.brightness);
            }
            u32(), u32();
            ASSERT_EQ(u16(), m.colours.size());
            for (uint32_t colour : m.colours)
                EXPECT_EQ(u32(), colour);
        }
        ASSERT_EQ(u16(), 1u);
        EXPECT_EQ(str(), "Ring");
        u32();
        EXPECT_EQ((std::array{u32(), u32(), u32()}), (std::array{2u, 2u, 2u}));
        EXPECT_EQ(u16(), 16u);
        EXPECT_EQ((std::array{u32(), u32(), u32(), u32()}), (std::array{1u, 2u, 0u, 1u}));
        if (version >= 4) {
            EXPECT_EQ(u16(), 0u) << "no segments";
        }
        ASSERT_EQ(u16(), 2u);
        EXPECT_EQ(str(), "LED 1");
        EXPECT_EQ(u32(), 0u);
        EXPECT_EQ(str(), "LED 2");
        EXPECT_EQ(u32(), 1u);
        ASSERT_EQ(u16(), 2u);
        EXPECT_EQ(u32(), 0x010203u);
        EXPECT_EQ(u32(), 0x040506u);
        EXPECT_EQ(at, b.size());
    }
}

TEST(SdkRequests, ModeUpdateReadsWhatTheVersionCarries)
{
    const sdk::Controller c = Sample();
    for (uint32_t version : {0u, 3u, 4u}) {
        // A client sends a mode back in the layout it read it in.
        Build mode;
        mode.u32(1);
        // The second mode's bytes as the description lays them out.
        sdk::Controller one = c;
        one.modes = {c.modes[1]};
        const Bytes only = sdk::EncodeController(one, version);
        // Skip to the first mode of `only`: size, type, 5 or 6 strings, count, active.
        size_t at = 8;
        for (int s = 0; s < (version >= 1 ? 6 : 5); ++s) {
            uint16_t n;
            std::memcpy(&n, &only[at], 2);
            at += 2 + n;
        }
        at += 2 + 4;
        const size_t modeSize = 2 + 7 + 4 * (version >= 3 ? 12 : 9) + 2 + 4;  // "Static\0", fields, one colour
        mode.raw(&only[at], modeSize);
        const auto u = sdk::DecodeUpdateMode(mode.sized(), version);
        ASSERT_TRUE(u) << "version " << version;
        EXPECT_EQ(u->index, 1);
        sdk::Mode expected = c.modes[1];
        if (version < 3)
            expected.brightnessMax = expected.brightness = 0;
        EXPECT_EQ(u->mode, expected) << "version " << version;
        Bytes cut = mode.sized();
        cut.pop_back();
        cut[0]--;
        EXPECT_FALSE(sdk::DecodeUpdateMode(cut, version)) << "a colour cut short";
    }
}

}  // namespace
