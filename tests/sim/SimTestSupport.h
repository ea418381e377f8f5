#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "hid/HidChannel.h"

namespace simtest {

using Report = std::array<uint8_t, 64>;

// A fresh folder under the temporary directory, removed with everything in it.
class TempDir {
public:
    TempDir();
    ~TempDir();
    const std::string& path() const { return m_path; }

private:
    std::string m_path;
};

// A command report as the host frames it: report ID 4, the command, chunk length and offset,
// payload from byte 8, and the checksum (low 16 bits of the sum of bytes 3..63) in bytes 1-2.
Report request(uint8_t command, uint8_t length = 0, uint16_t offset = 0,
               const uint8_t* data = nullptr, size_t dataLength = 0);

// Opens one socket of the simulator folder by name ("hid#vid_3a17&pid_5055&mi_01&col04").
bool openPath(hid::HidChannel& channel, const std::string& dir, const std::string& name);

// Writes one report and reads one reply within `timeoutMs`.
std::optional<Report> transact(hid::HidChannel& channel, const Report& req, uint32_t timeoutMs = 5000);

// Chunked transfers as the host runs them; the reply status of the first failing chunk, or 0.
// A missing reply counts as -1.
int writeChunked(hid::HidChannel& channel, uint8_t command, uint16_t base,
                 const std::vector<uint8_t>& data, size_t chunk);
int readChunked(hid::HidChannel& channel, uint8_t command, uint16_t base, size_t length,
                size_t chunk, std::vector<uint8_t>& out);

// A valid macro image of the given event counts (event e of macro m: delay 10*e+m, type 1,
// down on even events, button m).
std::vector<uint8_t> macroImage(const std::vector<int>& eventCounts);

}  // namespace simtest
