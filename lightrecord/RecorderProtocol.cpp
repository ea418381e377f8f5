#include "lightrecord/RecorderProtocol.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace lightrecord {

uint32_t ReadLe32(const uint8_t* p)
{
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

void WriteLe32(uint8_t* p, uint32_t v)
{
    p[0] = uint8_t(v), p[1] = uint8_t(v >> 8), p[2] = uint8_t(v >> 16), p[3] = uint8_t(v >> 24);
}

std::vector<uint8_t> EncodeMessage(uint32_t code, uint32_t value)
{
    std::vector<uint8_t> out(kHeaderBytes);
    WriteLe32(out.data(), kRecordMessage);
    WriteLe32(out.data() + 4, code);
    WriteLe32(out.data() + 8, value);
    return out;
}

std::vector<uint8_t> EncodeBlock(uint32_t type, const void* data, size_t size)
{
    std::vector<uint8_t> out(kHeaderBytes + size);
    WriteLe32(out.data(), kRecordBlock);
    WriteLe32(out.data() + 4, type);
    WriteLe32(out.data() + 8, uint32_t(size));
    if (size)
        std::memcpy(out.data() + kHeaderBytes, data, size);
    return out;
}

std::vector<uint8_t> EncodeStyleColour(int r, int g, int b)
{
    uint8_t block[kStyleColourBytes] = {};
    WriteLe32(block, uint32_t(r));
    WriteLe32(block + 4, uint32_t(g));
    WriteLe32(block + 8, uint32_t(b));
    return EncodeBlock(kStyleColourBlock, block, sizeof block);
}

StreamParser::StreamParser(MessageFn onMessage, BlockFn onBlock, size_t keepBytes)
    : m_onMessage(std::move(onMessage)), m_onBlock(std::move(onBlock)), m_keep(keepBytes)
{
    m_block.reserve(m_keep);
}

bool StreamParser::Feed(const uint8_t* data, size_t size)
{
    while (size && !m_failed) {
        if (!m_inBlock) {
            const size_t take = std::min(size, kHeaderBytes - m_headerFill);
            std::memcpy(m_header.data() + m_headerFill, data, take);
            m_headerFill += take, data += take, size -= take;
            if (m_headerFill < kHeaderBytes)
                break;
            m_headerFill = 0;
            const uint32_t kind = ReadLe32(m_header.data());
            const uint32_t a = ReadLe32(m_header.data() + 4);
            const uint32_t b = ReadLe32(m_header.data() + 8);
            if (kind == kRecordMessage) {
                if (m_onMessage)
                    m_onMessage(a, b);
                continue;
            }
            if (kind != kRecordBlock || b > kMaxBlockBytes) {
                m_failed = true;
                break;
            }
            m_inBlock = true;
            m_blockType = a, m_blockSize = b, m_blockRead = 0;
            m_block.clear();
        }
        const size_t take = std::min<size_t>(size, m_blockSize - m_blockRead);
        if (m_block.size() < m_keep) {
            const size_t keep = std::min(take, m_keep - m_block.size());
            m_block.insert(m_block.end(), data, data + keep);
        }
        m_blockRead += uint32_t(take), data += take, size -= take;
        if (m_blockRead == m_blockSize) {
            m_inBlock = false;
            if (m_onBlock)
                m_onBlock(m_blockType, m_block.data(), m_block.size(), m_blockSize);
        }
    }
    return !m_failed;
}

std::string RuntimeFolder()
{
    if (const char* dir = std::getenv("XDG_RUNTIME_DIR"); dir && *dir)
        return dir;
    // No runtime folder (a bare session): one of our own, private to this user.
    std::string dir = "/tmp/tessel-runtime-" + std::to_string(getuid());
    if (mkdir(dir.c_str(), 0700) != 0 && errno != EEXIST)
        return "/tmp";
    return dir;
}

std::string LockPath()
{
    return RuntimeFolder() + "/" + kLockName;
}

std::string SocketPath()
{
    return RuntimeFolder() + "/" + kSocketName;
}

bool RecorderRunning()
{
    const int fd = open(LockPath().c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return false;
    // A shared lock is refused only while the capture program holds its exclusive one; the
    // kernel drops that lock when the program dies, however it dies.
    const bool held = flock(fd, LOCK_SH | LOCK_NB) != 0 && errno == EWOULDBLOCK;
    close(fd);
    return held;
}

}  // namespace lightrecord
