#include "protocol/CommandReport.h"

#include <cstdio>

namespace protocol {

uint32_t reportChecksum(const uint8_t* report)
{
    return hid::frame::checksum(report);
}

void sealReport(uint8_t* report)
{
    hid::frame::seal(report);
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
