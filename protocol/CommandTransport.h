#pragma once

#include <QString>
#include <array>
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <vector>

#include "hid/HidChannel.h"
#include "protocol/ResultCodes.h"

// The per-device command path: owns the device's two HID channels (A: its own interface on the
// cable; B: the 2.4 GHz receiver's interface), frames each command into one 64-byte report,
// serialises the threads that talk to the device and reads replies until the device echoes the
// command. Every command the firmware understands is a member below.
//
// Results are the codes of protocol/ResultCodes.h: 1 success, anything else failure (callers
// compare with 1). Nothing here throws or shows a message.
//
// Locks, always taken in this order and never recursively: the command lock (configuration
// commands) or the stream lock (lighting table and frames), then the I/O lock, which is held
// around each write phase and, separately, each read phase, never across both. So a frame may
// be written between another command's write and read; replies are read in the order their
// requests were written, the echo check drops a stray reply, and replies still waiting when no
// request is outstanding (late answers to requests that timed out) are dropped before a write.
class CommandTransport {
public:
    // Time-outs of the write and of each read, per route. The quiet transaction (frames) uses
    // its own, shorter one on the receiver so a lost frame does not stall the stream.
    struct Timeouts {
        uint32_t wiredMs = 1000;
        uint32_t wirelessMs = 5000;
        uint32_t quietWirelessMs = 500;
    };

    static constexpr size_t kInfoBlockLength = 34;
    using InfoBlock = std::array<uint8_t, kInfoBlockLength>;
    // Information block bytes that are interpreted here and by the device classes.
    static constexpr size_t kInfoKeySlots = 5;
    static constexpr size_t kInfoMacroUnits = 6;

    static constexpr uint16_t kMaxBlockLength = 512;
    static constexpr uint8_t kWiredChunk = 56;
    static constexpr uint8_t kWirelessChunk = 24;

    CommandTransport();
    explicit CommandTransport(const Timeouts& timeouts);
    ~CommandTransport();
    CommandTransport(const CommandTransport&) = delete;
    CommandTransport& operator=(const CommandTransport&) = delete;

    // One request and its reply, with the "命令"/"返回" dumps on the tessel.debug category. The
    // request is padded with zeros or cut to 64 bytes. 1 when a reply echoing the command was
    // read; 0 when not ready or no such reply came in time (two replies read at most; shorter
    // reports or reports of another ID are skipped); -1 when the write failed; -101 in wireless
    // mode when the receiver answered 0xAA. Takes only the I/O lock.
    int transact(const uint8_t* request, uint32_t requestLength, uint8_t* reply,
                 uint32_t replyCapacity, uint32_t* bytesRead);
    // The same without dumps and with the short receiver time-out; for lighting frames.
    int transactQuietly(const uint8_t* request, uint32_t requestLength, uint8_t* reply,
                        uint32_t replyCapacity, uint32_t* bytesRead);

    // 2 selects the receiver route (channel B, 24-byte chunks); anything else the cable
    // (channel A, 56-byte chunks).
    void setMode(int mode);
    // Byte count of the key-table transfers; 0 and the old value kept when n exceeds 512.
    int setBlockLength(uint32_t n);

    uint16_t blockLength() const { return m_blockLength.load(); }
    uint8_t chunkSize() const { return m_chunkSize.load(); }
    bool isBusy() const { return m_busy.load() != 0; }
    uint32_t isReady() const { return m_ready.load(); }
    void setReady(uint32_t ready) { m_ready.store(ready); }
    uint32_t isWireless() const { return m_wireless.load(); }

    // What became of the transactions so far, for the device's I/O worker, which tells from it
    // whether the device still answers. Counts only grow.
    struct Tally {
        uint64_t answered = 0;  // a report answering a request was read (whatever it held)
        uint64_t timedOut = 0;  // the write failed or a read gave up (time-out or error)
        uint64_t held = 0;      // given up at once because the transport was held (below)
    };
    Tally tally() const;
    // Armed, the first transaction that fails for want of a reply (a write or read that gave up)
    // holds the transport: every later transaction returns 0 at once, touching no channel, until
    // it is disarmed. The I/O worker arms it around each request, so that a request of many
    // commands to a device that stopped answering costs one time-out, not one per command.
    // Disarming releases the hold.
    void setHoldAfterTimeout(bool armed);
    bool isHeld() const { return m_held.load(); }

    hid::HidChannel& channelA() { return m_channelA; }
    hid::HidChannel& channelB() { return m_channelB; }
    std::mutex& ioLock() { return m_ioLock; }
    std::mutex& commandLock() { return m_commandLock; }
    std::mutex& streamLock() { return m_streamLock; }

    // The command set. Offsets and lengths are device memory positions; chunked transfers move
    // chunkSize() bytes per report and stop at the first failing chunk (earlier chunks stay
    // written; a read leaves the destination filled up to the failed chunk).
    int openSession();                                                  // 0x01
    int closeSession(int flag = 0);                                     // 0x02, after 10 ms
    int readInformation(InfoBlock& out);                                // 0x03, copied on success
    int readSettings(uint8_t* out, uint32_t length, uint32_t offset);   // 0x05
    int writeSettings(const uint8_t* data, uint32_t length, uint32_t offset);  // 0x06
    int readKeyTable(uint8_t* out);                                     // 0x07, blockLength()
    int writeKeyTable(const uint8_t* data, int bank);                   // 0x09, bank 0 only
    int writeLightTable(const uint8_t* data, uint32_t length, int profile,
                        uint32_t stride = 512);                         // 0x0B, stream lock
    // 0x12 through the quiet transaction under the stream lock; a chunk is dropped (not a
    // failure) while another transaction is running.
    int sendLightingFrame(const uint8_t* data, uint32_t length);
    int writeMacroImage(const uint8_t* data, uint32_t length);          // 0x15
    int writeShootData(const uint8_t* data, uint32_t length);           // 0x17, 56-byte chunks
    int readStatus(uint8_t* out, uint32_t length, uint32_t offset);     // 0x1A, length <= 56
    int readLedMap(uint8_t* out);                                       // 0x1B, blockLength()/3
    int lightingControlNotice();                                        // 0x1C
    // 0xAA: true without traffic in wired mode; in wireless mode true only when the device
    // answered through the receiver (reply byte 8 = 0xFF, status not a failure).
    bool checkWirelessLink();

    // Packs the listed macros (positions in the folder's "macro.config") into the macro image
    // and writes it, bracketed by 0x01 and 0x02. `info` is the device's information block: it is
    // read again first when the transport is ready, and its byte 6 gives the macro memory.
    // 0 when written (or when the transport is not ready: nothing to write to), 0 without
    // sending when "macro.config" is unreadable or the list is empty; a positive excess count
    // without sending when the image does not fit; kMacroNoMemory (-1) when the image cannot be
    // built; kMacroTransferFailed when the session or the image transfer failed (time-out,
    // missing reply, refusal).
    int writeMacros(const QString& deviceFolder, const std::vector<int>& macroNumbers,
                    InfoBlock& info);

private:
    enum class Lock { Command, Stream, None };
    int runTransaction(const uint8_t* request, uint32_t requestLength, uint8_t* reply,
                       uint32_t replyCapacity, uint32_t* bytesRead, bool quiet);
    int plainCommand(uint8_t command);
    int chunkedWrite(uint8_t command, const uint8_t* data, uint32_t length, uint32_t baseOffset,
                     uint32_t chunk, Lock lock);
    int chunkedRead(uint8_t command, uint8_t* out, uint32_t length, uint32_t baseOffset);
    int lockedTransact(Lock lock, const uint8_t* request, uint8_t* reply);
    // Reads and drops the replies already waiting on `channel`; call under the I/O lock.
    void discardStaleReplies(hid::HidChannel& channel);
    static constexpr int kMaxStaleReplies = 8;
    // Reports of other IDs or lengths skipped while waiting for one reply.
    static constexpr int kMaxForeignReports = 8;

    const Timeouts m_timeouts;
    std::atomic<uint16_t> m_blockLength{512};
    // Running transactions; "busy" while above 0. A count rather than a flag, so one
    // transaction ending does not clear the mark of another still running.
    std::atomic<int> m_busy{0};
    std::atomic<uint32_t> m_ready{0};
    hid::HidChannel m_channelA;
    hid::HidChannel m_channelB;
    std::mutex m_ioLock;
    std::mutex m_commandLock;
    std::mutex m_streamLock;
    std::atomic<uint32_t> m_wireless{0};
    std::atomic<uint8_t> m_chunkSize{24};

    std::atomic<uint64_t> m_answered{0};
    std::atomic<uint64_t> m_timedOut{0};
    std::atomic<uint64_t> m_heldCount{0};
    std::atomic<bool> m_holdArmed{false};
    std::atomic<bool> m_held{false};
    // Counts a transaction that got no reply and, when armed, holds the transport.
    void noteTimeOut();

    // Read order: each written request takes the next ticket under the I/O lock and its read
    // phase waits for its turn, so a reply is read by the transaction whose request it answers
    // even when another transaction's request was written in between.
    std::condition_variable m_readTurn;
    uint64_t m_nextWriteTicket = 0;
    uint64_t m_nextReadTicket = 0;
};
