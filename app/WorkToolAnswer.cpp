#include "app/WorkToolAnswer.h"

namespace app {

namespace {
constexpr uint8_t kVersionBytes[] = {2, 3, 0, 2};
constexpr WorkToolDeviceRow kRows[] = {
    {0x3A17, 0x221C, 2},  // mouse
    {0x3A17, 0x5055, 1},  // keyboard
    {0x3A17, 0x1004, 3},  // mouse pad
    {0x0C76, 0x1630, 7},  // headset
};

void putLE32(std::array<uint8_t, kWorkToolAnswerSize>& out, size_t index, uint32_t value)
{
    const size_t at = index * 4;
    for (int b = 0; b < 4; ++b)
        out[at + b] = uint8_t(value >> (8 * b));
}
}  // namespace

std::span<const WorkToolDeviceRow> WorkToolDeviceRows()
{
    return kRows;
}

std::array<uint8_t, kWorkToolAnswerSize> BuildWorkToolAnswer(std::span<const WorkToolDeviceRow> rows)
{
    std::array<uint8_t, kWorkToolAnswerSize> out{};
    constexpr size_t header = 5;
    constexpr size_t maxRows = (kWorkToolAnswerSize / 4 - header) / 3;
    const size_t count = rows.size() < maxRows ? rows.size() : maxRows;
    for (size_t i = 0; i < 4; ++i)
        putLE32(out, i, kVersionBytes[i]);
    putLE32(out, 4, uint32_t(count));
    for (size_t i = 0; i < count; ++i) {
        putLE32(out, header + 3 * i, rows[i].vendorId);
        putLE32(out, header + 3 * i + 1, rows[i].productId);
        putLE32(out, header + 3 * i + 2, uint32_t(rows[i].typeCode));
    }
    return out;
}

std::array<uint8_t, kWorkToolAnswerSize> BuildWorkToolAnswer()
{
    return BuildWorkToolAnswer(WorkToolDeviceRows());
}

}  // namespace app
