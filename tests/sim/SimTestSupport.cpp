#include "SimTestSupport.h"

#include <cstdlib>
#include <cstring>
#include <filesystem>

namespace simtest {

TempDir::TempDir() {
    std::string pattern = (std::filesystem::temp_directory_path() / "tessel-simtest.XXXXXX").string();
    m_path = ::mkdtemp(pattern.data());
}

TempDir::~TempDir() {
    std::error_code ec;
    std::filesystem::remove_all(m_path, ec);
}

Report request(uint8_t command, uint8_t length, uint16_t offset, const uint8_t* data,
               size_t dataLength) {
    Report r{};
    r[0] = 4;
    r[3] = command;
    r[4] = length;
    r[5] = uint8_t(offset);
    r[6] = uint8_t(offset >> 8);
    if (data) std::memcpy(r.data() + 8, data, std::min<size_t>(dataLength, 56));
    uint32_t sum = 0;
    for (size_t i = 3; i < 64; ++i) sum += r[i];
    r[1] = uint8_t(sum);
    r[2] = uint8_t(sum >> 8);
    return r;
}

bool openPath(hid::HidChannel& channel, const std::string& dir, const std::string& name) {
    return channel.open(dir + "/" + name, true, true, true, false);
}

std::optional<Report> transact(hid::HidChannel& channel, const Report& req, uint32_t timeoutMs) {
    uint32_t n = 0;
    if (!channel.writeReport(req.data(), uint32_t(req.size()), &n, timeoutMs)) return std::nullopt;
    Report reply{};
    if (!channel.readReport(reply.data(), uint32_t(reply.size()), &n, timeoutMs)) return std::nullopt;
    return reply;
}

int writeChunked(hid::HidChannel& channel, uint8_t command, uint16_t base,
                 const std::vector<uint8_t>& data, size_t chunk) {
    for (size_t pos = 0; pos < data.size(); pos += chunk) {
        const size_t n = std::min(chunk, data.size() - pos);
        const auto reply = transact(channel, request(command, uint8_t(n), uint16_t(base + pos),
                                                     data.data() + pos, n));
        if (!reply) return -1;
        if ((*reply)[7] != 0) return (*reply)[7];
    }
    return 0;
}

int readChunked(hid::HidChannel& channel, uint8_t command, uint16_t base, size_t length,
                size_t chunk, std::vector<uint8_t>& out) {
    out.assign(length, 0);
    for (size_t pos = 0; pos < length; pos += chunk) {
        const size_t n = std::min(chunk, length - pos);
        const auto reply = transact(channel, request(command, uint8_t(n), uint16_t(base + pos)));
        if (!reply) return -1;
        if ((*reply)[7] != 0) return (*reply)[7];
        std::memcpy(out.data() + pos, reply->data() + 8, n);
    }
    return 0;
}

std::vector<uint8_t> macroImage(const std::vector<int>& eventCounts) {
    size_t total = 16 + 2 * eventCounts.size();
    for (int c : eventCounts) total += 4 + 4 * size_t(c);
    std::vector<uint8_t> image(total, 0);
    auto put16 = [&](size_t at, size_t v) {
        image[at] = uint8_t(v);
        image[at + 1] = uint8_t(v >> 8);
    };
    put16(0, 0x55AA);
    put16(2, total);
    put16(4, eventCounts.size());
    size_t record = 16 + 2 * eventCounts.size();
    for (size_t m = 0; m < eventCounts.size(); ++m) {
        put16(16 + 2 * m, record);
        put16(record, size_t(eventCounts[m]));
        for (int e = 0; e < eventCounts[m]; ++e) {
            const size_t at = record + 4 + 4 * size_t(e);
            put16(at, 10 * size_t(e) + m);
            image[at + 2] = uint8_t(0x01 | (e % 2 == 0 ? 0x80 : 0));
            image[at + 3] = uint8_t(m);
        }
        record += 4 + 4 * size_t(eventCounts[m]);
    }
    return image;
}

}  // namespace simtest
