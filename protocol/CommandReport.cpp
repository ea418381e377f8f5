#include "protocol/CommandReport.h"

#include <cstdio>

namespace protocol {

uint32_t reportChecksum(const uint8_t* report)
{
    uint32_t sum = 0;
    for (size_t i = kCommand; i < kReportLength; ++i)
        sum += report[i];
    return sum;
}

void sealReport(uint8_t* report)
{
    const uint32_t sum = reportChecksum(report);
    report[kChecksumLow] = static_cast<uint8_t>(sum & 0xFF);
    report[kChecksumHigh] = static_cast<uint8_t>((sum >> 8) & 0xFF);
}

std::string formatDumpLine(const uint8_t* bytes32)
{
    std::string line;
    line.reserve(32 * 3 + 8);
    char hex[3];
    for (int i = 0; i < 32; ++i) {
        if (i > 0) {
            // Groups of four: three spaces between the first four groups, two afterwards.
            if (i % 4 == 0)
                line += i <= 12 ? "   " : "  ";
            else
                line += ' ';
        }
        std::snprintf(hex, sizeof hex, "%02x", bytes32[i]);
        line += hex;
    }
    return line;
}

}  // namespace protocol
