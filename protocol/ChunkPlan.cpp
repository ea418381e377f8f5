#include "protocol/ChunkPlan.h"

namespace protocol {

std::vector<Chunk> planChunks(uint32_t length, uint32_t chunkSize)
{
    if (chunkSize == 0)
        chunkSize = 1;
    std::vector<Chunk> chunks;
    chunks.reserve(length / chunkSize + 1);
    for (uint32_t position = 0; position < length; position += chunkSize) {
        const uint32_t n = length - position <= chunkSize ? length - position : chunkSize;
        chunks.push_back({position, n});
    }
    return chunks;
}

}  // namespace protocol
