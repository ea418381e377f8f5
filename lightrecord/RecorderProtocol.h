#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

// What passes between Tessel and tessel-lightrecord over the capture program's local socket.
// The stream is a run of records; every number is 32-bit little-endian:
//   message: kind 1, code, value              (the audio recorder message: wParam, lParam)
//   block:   kind 2, dwData, size, then `size` bytes (a copied data block)
// Codes and block layouts are the capture protocol's own; see lightrecord/README.md.
namespace lightrecord {

inline constexpr char kLockName[] = "tamrel wirelessAudioRecord";
inline constexpr char kSocketName[] = "tamrel wirelessAUDIORECORD";

enum Code : uint32_t {
    kRegister = 0,      // value: the application's process id
    kStart = 1,
    kStop1 = 2,
    kReset = 3,
    kStop2 = 4,
    kStop3 = 5,
    kSliderR = 6,
    kSliderG = 7,
    kSliderB = 8,
};

enum BlockType : uint32_t {
    kSpectrumBlock = 1,     // capture program -> Tessel
    kScreenColourBlock = 2, // capture program -> Tessel
    kStyleColourBlock = 10, // Tessel -> capture program
};

inline constexpr uint32_t kRecordMessage = 1;
inline constexpr uint32_t kRecordBlock = 2;
inline constexpr size_t kHeaderBytes = 12;

inline constexpr size_t kSpectrumValues = 500;
inline constexpr size_t kSpectrumBufferBytes = 4280;   // what the receiver keeps of a spectrum block
inline constexpr size_t kScreenColourBytes = 24;       // six integers
inline constexpr size_t kStyleColourBytes = 40;        // R, G, B and seven zeros
// A block larger than this is not a block of this protocol: the stream is out of step.
inline constexpr uint32_t kMaxBlockBytes = 64 * 1024;

static_assert(kSpectrumValues * 4 <= kSpectrumBufferBytes);
static_assert(kScreenColourBytes == 6 * sizeof(int32_t));
static_assert(kStyleColourBytes == 10 * sizeof(int32_t));

std::vector<uint8_t> EncodeMessage(uint32_t code, uint32_t value);
std::vector<uint8_t> EncodeBlock(uint32_t type, const void* data, size_t size);
// The style colour block: R, G, B (0 to 9) then zeros.
std::vector<uint8_t> EncodeStyleColour(int r, int g, int b);

uint32_t ReadLe32(const uint8_t* p);
void WriteLe32(uint8_t* p, uint32_t v);

// Splits a byte stream into messages and blocks, whatever the chunks it arrives in. A block's
// bytes beyond `keep(type)` are consumed but not kept (clipped to the receiver's buffer). A
// record of an unknown kind or a block size over kMaxBlockBytes puts the parser in its failed
// state: the stream cannot be trusted any more and the connection should be dropped.
class StreamParser {
public:
    using MessageFn = std::function<void(uint32_t code, uint32_t value)>;
    // `data` holds at most the kept bytes; `size` is the block's size as sent.
    using BlockFn = std::function<void(uint32_t type, const uint8_t* data, size_t kept, uint32_t size)>;

    StreamParser(MessageFn onMessage, BlockFn onBlock, size_t keepBytes = kSpectrumBufferBytes);

    // False once the stream has failed; the rest of the input is ignored.
    bool Feed(const uint8_t* data, size_t size);
    bool Failed() const { return m_failed; }

private:
    MessageFn m_onMessage;
    BlockFn m_onBlock;
    size_t m_keep;
    std::array<uint8_t, kHeaderBytes> m_header{};
    size_t m_headerFill = 0;
    bool m_inBlock = false;
    uint32_t m_blockType = 0;
    uint32_t m_blockSize = 0;
    uint32_t m_blockRead = 0;
    std::vector<uint8_t> m_block;
    bool m_failed = false;
};

// $XDG_RUNTIME_DIR, or a private folder under /tmp for this user when it is not set.
std::string RuntimeFolder();
std::string LockPath();
std::string SocketPath();

// True when a capture program holds its lock (it is running). Never blocks.
bool RecorderRunning();

}  // namespace lightrecord
