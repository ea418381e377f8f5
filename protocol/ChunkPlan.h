#pragma once

#include <cstdint>
#include <vector>

namespace protocol {

// One report of a chunked transfer: `length` bytes at `position` within the transfer.
struct Chunk {
    uint32_t position = 0;
    uint32_t length = 0;
    friend bool operator==(const Chunk&, const Chunk&) = default;
};

// Cuts `length` bytes into reports of `chunkSize` payload bytes; the last one carries the rest.
// An empty transfer has no chunk; a chunk size of 0 is taken as 1 so the plan always ends.
std::vector<Chunk> planChunks(uint32_t length, uint32_t chunkSize);

}  // namespace protocol
