#include <gtest/gtest.h>

#include <array>
#include <cstring>

#include "protocol/ChunkPlan.h"
#include "protocol/CommandReport.h"

using namespace protocol;

namespace {

std::array<uint8_t, 64> reportWith(uint8_t command, uint8_t fill)
{
    std::array<uint8_t, 64> r{};
    r[0] = kReportId;
    std::memset(r.data() + 3, fill, 61);
    r[3] = command;
    return r;
}

}  // namespace

TEST(Checksum, SumsBytesThreeToSixtyThreeLittleEndian)
{
    struct Case {
        const char* what;
        std::array<uint8_t, 64> report;
        uint8_t low, high;
    };
    auto stale = reportWith(0x01, 0);
    stale[1] = 0x99;  // a checksum left from an earlier chunk is not summed
    stale[2] = 0x77;
    auto tail = reportWith(0x12, 0);
    tail[63] = 0x80;  // the last payload byte counts
    const Case cases[] = {
        {"command 0x01 alone", reportWith(0x01, 0), 0x01, 0x00},
        {"61 bytes of 0xFF overflow 8 bits", reportWith(0xFF, 0xFF), 0xC3, 0x3C},
        {"id and checksum bytes are not summed", stale, 0x01, 0x00},
        {"last byte counted", tail, 0x92, 0x00},
    };
    for (Case c : cases) {
        sealReport(c.report.data());
        EXPECT_EQ(c.report[1], c.low) << c.what;
        EXPECT_EQ(c.report[2], c.high) << c.what;
        EXPECT_EQ(c.report[0], kReportId) << c.what;
    }
    EXPECT_EQ(reportChecksum(reportWith(0xFF, 0xFF).data()), 15555u);
}

TEST(DumpLine, GroupsOfFourWithThreeThenTwoSpaces)
{
    uint8_t bytes[32];
    for (int i = 0; i < 32; ++i)
        bytes[i] = static_cast<uint8_t>(i == 31 ? 0xAB : i);
    EXPECT_EQ(formatDumpLine(bytes),
              "00 01 02 03   04 05 06 07   08 09 0a 0b   0c 0d 0e 0f  10 11 12 13  14 15 16 17  "
              "18 19 1a 1b  1c 1d 1e ab");
}

TEST(ChunkPlan, CutsIntoFullChunksAndAShortLastOne)
{
    struct Case {
        const char* what;
        uint32_t length, chunk;
        std::vector<Chunk> expected;
    };
    const Case cases[] = {
        {"information block wired", 34, 56, {{0, 34}}},
        {"information block wireless", 34, 24, {{0, 24}, {24, 10}}},
        {"104-LED frame wired", 312, 56, {{0, 56}, {56, 56}, {112, 56}, {168, 56}, {224, 56}, {280, 32}}},
        {"exact fit", 56, 56, {{0, 56}}},
        {"one byte over", 57, 56, {{0, 56}, {56, 1}}},
        {"empty", 0, 56, {}},
    };
    for (const Case& c : cases)
        EXPECT_EQ(planChunks(c.length, c.chunk), c.expected) << c.what;
    EXPECT_EQ(planChunks(3, 0).size(), 3u) << "a zero chunk size still ends";
}
