#include "protocol/CommandTransport.h"

#include <QLoggingCategory>
#include <algorithm>
#include <chrono>
#include <cstring>
#include <thread>

#include "hid/DebugLog.h"
#include "protocol/ChunkPlan.h"
#include "protocol/CommandReport.h"
#include "protocol/MacroFiles.h"

using namespace protocol;

namespace {

// The device needs a moment after the last write of a group before it closes the session.
constexpr auto kCloseSessionDelay = std::chrono::milliseconds(10);
constexpr uint8_t kLinkUp = 0xFF;

void dumpReport(const char* title, const uint8_t* report)
{
    if (!tesselDebug().isDebugEnabled())
        return;
    qCDebug(tesselDebug).noquote() << QString::fromUtf8(title);
    qCDebug(tesselDebug).noquote() << QString::fromStdString(formatDumpLine(report));
    qCDebug(tesselDebug).noquote() << QString::fromStdString(formatDumpLine(report + 32));
}

// A command's outcome: the transaction's failure if it failed, otherwise the reply's status
// mapped to its result code.
int commandResult(int transactionResult, const uint8_t* reply)
{
    if (transactionResult != kOk)
        return transactionResult;
    if (reply[kStatus] == kStatusFailFF)
        return kStatusFF;
    if (reply[kStatus] == kStatusFailFE)
        return kStatusFE;
    return kOk;
}

// A whole report of the command report ID: anything shorter or of another ID is some other
// report of the collection.
bool isCommandReply(const uint8_t* reply, uint32_t bytesRead, uint32_t capacity)
{
    return bytesRead >= std::min<uint32_t>(capacity, kReportLength) && reply[0] == kReportId;
}

void newRequest(uint8_t* request, uint8_t command)
{
    std::memset(request, 0, kReportLength);
    request[0] = kReportId;
    request[kCommand] = command;
}

void setChunkHeader(uint8_t* request, uint32_t length, uint32_t offset)
{
    request[kLength] = static_cast<uint8_t>(length);
    request[kOffsetLow] = static_cast<uint8_t>(offset & 0xFF);
    request[kOffsetHigh] = static_cast<uint8_t>((offset >> 8) & 0xFF);
}

}  // namespace

CommandTransport::CommandTransport() : CommandTransport(Timeouts{}) {}

CommandTransport::CommandTransport(const Timeouts& timeouts) : m_timeouts(timeouts) {}

CommandTransport::~CommandTransport()
{
    // Closing releases a reader or writer still waiting on either channel.
    m_channelA.close();
    m_channelB.close();
}

void CommandTransport::setMode(int mode)
{
    const bool wireless = mode == 2;
    m_wireless.store(wireless ? 1 : 0);
    m_chunkSize.store(wireless ? kWirelessChunk : kWiredChunk);
}

int CommandTransport::setBlockLength(uint32_t n)
{
    if (n > kMaxBlockLength)
        return 0;
    m_blockLength.store(static_cast<uint16_t>(n));
    return 1;
}

CommandTransport::Tally CommandTransport::tally() const
{
    return Tally{m_answered.load(), m_timedOut.load(), m_heldCount.load()};
}

void CommandTransport::setHoldAfterTimeout(bool armed)
{
    m_holdArmed.store(armed);
    if (!armed)
        m_held.store(false);
}

void CommandTransport::noteTimeOut()
{
    m_timedOut.fetch_add(1);
    if (m_holdArmed.load())
        m_held.store(true);
}

int CommandTransport::transact(const uint8_t* request, uint32_t requestLength, uint8_t* reply,
                               uint32_t replyCapacity, uint32_t* bytesRead)
{
    m_busy.fetch_add(1);
    return runTransaction(request, requestLength, reply, replyCapacity, bytesRead, false);
}

int CommandTransport::transactQuietly(const uint8_t* request, uint32_t requestLength,
                                      uint8_t* reply, uint32_t replyCapacity, uint32_t* bytesRead)
{
    m_busy.fetch_add(1);
    return runTransaction(request, requestLength, reply, replyCapacity, bytesRead, true);
}

// Expects the caller to have counted this transaction in m_busy; uncounts it on return.
int CommandTransport::runTransaction(const uint8_t* request, uint32_t requestLength,
                                     uint8_t* reply, uint32_t replyCapacity, uint32_t* bytesRead,
                                     bool quiet)
{
    uint32_t readDummy = 0;
    if (!bytesRead)
        bytesRead = &readDummy;
    *bytesRead = 0;
    if (!m_ready.load() || !request || !reply || replyCapacity == 0) {
        m_busy.fetch_sub(1);
        return kNoReply;
    }
    if (m_held.load()) {
        m_heldCount.fetch_add(1);
        m_busy.fetch_sub(1);
        return kNoReply;
    }

    uint8_t report[kReportLength] = {};
    std::memcpy(report, request, std::min<uint32_t>(requestLength, kReportLength));
    if (!quiet)
        dumpReport("命令", report);

    // The route is fixed for the whole transaction even if discovery switches it meanwhile.
    const bool wireless = m_wireless.load() != 0;
    hid::HidChannel& channel = wireless ? m_channelB : m_channelA;
    const uint32_t timeoutMs =
        wireless ? (quiet ? m_timeouts.quietWirelessMs : m_timeouts.wirelessMs) : m_timeouts.wiredMs;

    uint64_t ticket = 0;
    bool written = false;
    {
        std::lock_guard lock(m_ioLock);
        // With no request awaiting its reply, anything already waiting is a late answer to a
        // request that timed out. Dropped here, it cannot be taken for the reply to this request
        // when both carry the same command number.
        if (m_nextReadTicket == m_nextWriteTicket)
            discardStaleReplies(channel);
        uint32_t transferred = 0;
        written = channel.writeReport(report, kReportLength, &transferred, timeoutMs);
        if (written)
            ticket = m_nextWriteTicket++;
    }
    if (!written) {
        noteTimeOut();
        m_busy.fetch_sub(1);
        return kWriteFailed;
    }

    int result = kNoReply;
    {
        std::unique_lock lock(m_ioLock);
        m_readTurn.wait(lock, [&] { return m_nextReadTicket == ticket; });
        int reads = 0;
        int foreign = 0;
        while (reads < 2) {
            // Cleared first, so nothing of an earlier reply can pass for this one's.
            std::memset(reply, 0, replyCapacity);
            // A read that fails or times out ends the loop at once, even when it was the first:
            // the original behaviour would still make a second read, but another full time-out
            // for a reply that did not come in the first only holds the caller longer.
            if (!channel.readReport(reply, replyCapacity, bytesRead, timeoutMs)) {
                noteTimeOut();
                result = kNoReply;
                break;
            }
            // Other reports share the collection (the headset's 3-byte event report among
            // them); they are no reply, and do not count as one of the two reads.
            if (!isCommandReply(reply, *bytesRead, replyCapacity)) {
                result = kNoReply;
                if (++foreign > kMaxForeignReports)
                    break;
                continue;
            }
            ++reads;
            m_answered.fetch_add(1);
            result = kOk;
            if (replyCapacity > kCommand && reply[kCommand] == report[kCommand])
                break;
            if (wireless && replyCapacity > kCommand && reply[kCommand] == kReceiverNoLink) {
                result = kNoLink;
                break;
            }
            // Deliberately unlike the original behaviour, which returns the second read's result
            // (success) whatever it echoes: a reply that does not echo the command is a late
            // answer to an earlier request and never taken for this one's, so two mismatches
            // mean no reply.
            result = kNoReply;
        }
        ++m_nextReadTicket;
    }
    m_readTurn.notify_all();

    if (!quiet) {
        std::memset(report, 0, kReportLength);
        std::memcpy(report, reply, std::min<uint32_t>(replyCapacity, kReportLength));
        dumpReport("返回", report);
    }
    m_busy.fetch_sub(1);
    return result;
}

void CommandTransport::discardStaleReplies(hid::HidChannel& channel)
{
    uint8_t stale[kReportLength];
    uint32_t read = 0;
    for (int i = 0; i < kMaxStaleReplies && channel.readReport(stale, kReportLength, &read, 0); ++i)
        qCDebug(tesselDebug, "stale reply to command 0x%02x dropped", stale[kCommand]);
}

int CommandTransport::lockedTransact(Lock lock, const uint8_t* request, uint8_t* reply)
{
    uint32_t read = 0;
    switch (lock) {
    case Lock::Command: {
        std::lock_guard guard(m_commandLock);
        return transact(request, kReportLength, reply, kReportLength, &read);
    }
    case Lock::Stream: {
        std::lock_guard guard(m_streamLock);
        return transact(request, kReportLength, reply, kReportLength, &read);
    }
    case Lock::None:
        break;
    }
    return transact(request, kReportLength, reply, kReportLength, &read);
}

int CommandTransport::plainCommand(uint8_t command)
{
    uint8_t request[kReportLength];
    uint8_t reply[kReportLength] = {};
    newRequest(request, command);
    sealReport(request);
    return commandResult(lockedTransact(Lock::Command, request, reply), reply);
}

int CommandTransport::chunkedWrite(uint8_t command, const uint8_t* data, uint32_t length,
                                   uint32_t baseOffset, uint32_t chunk, Lock lock)
{
    if (length > 0 && !data)
        return kNoReply;
    chunk = std::min<uint32_t>(chunk, kPayloadCapacity);
    // Built once: only the chunk header, the data area and the checksum change per chunk, so
    // after a short last chunk the rest of the data area still holds the previous chunk's bytes.
    uint8_t request[kReportLength];
    uint8_t reply[kReportLength] = {};
    newRequest(request, command);
    for (const Chunk& c : planChunks(length, chunk)) {
        setChunkHeader(request, c.length, baseOffset + c.position);
        std::memcpy(request + kPayload, data + c.position, c.length);
        sealReport(request);
        const int result = commandResult(lockedTransact(lock, request, reply), reply);
        if (result != kOk)
            return result;
    }
    return kOk;
}

int CommandTransport::chunkedRead(uint8_t command, uint8_t* out, uint32_t length,
                                  uint32_t baseOffset)
{
    if (length > 0 && !out)
        return kNoReply;
    uint8_t request[kReportLength];
    uint8_t reply[kReportLength] = {};
    newRequest(request, command);
    for (const Chunk& c : planChunks(length, chunkSize())) {
        setChunkHeader(request, c.length, baseOffset + c.position);
        sealReport(request);
        const int result = commandResult(lockedTransact(Lock::Command, request, reply), reply);
        if (result != kOk)
            return result;
        std::memcpy(out + c.position, reply + kPayload, c.length);
    }
    return kOk;
}

int CommandTransport::openSession()
{
    return plainCommand(hid::cmd::kOpenSession);
}

int CommandTransport::closeSession(int /*flag: not sent*/)
{
    std::this_thread::sleep_for(kCloseSessionDelay);
    return plainCommand(hid::cmd::kCloseSession);
}

int CommandTransport::readInformation(InfoBlock& out)
{
    InfoBlock block{};
    const int result = chunkedRead(hid::cmd::kReadInfo, block.data(), kInfoBlockLength, 0);
    if (result == kOk)
        out = block;
    return result;
}

int CommandTransport::readSettings(uint8_t* out, uint32_t length, uint32_t offset)
{
    return chunkedRead(hid::cmd::kReadSettings, out, length, offset);
}

int CommandTransport::writeSettings(const uint8_t* data, uint32_t length, uint32_t offset)
{
    return chunkedWrite(hid::cmd::kWriteSettings, data, length, offset, chunkSize(), Lock::Command);
}

int CommandTransport::readKeyTable(uint8_t* out)
{
    return chunkedRead(hid::cmd::kReadKeyTable, out, blockLength(), 0);
}

int CommandTransport::writeKeyTable(const uint8_t* data, int bank)
{
    if (bank != 0)
        return kBadBank;
    return chunkedWrite(hid::cmd::kWriteKeyTable, data, blockLength(), 0, chunkSize(), Lock::Command);
}

int CommandTransport::writeLightTable(const uint8_t* data, uint32_t length, int profile,
                                      uint32_t stride)
{
    const uint32_t base = static_cast<uint32_t>(profile < 0 ? 0 : profile) * stride;
    return chunkedWrite(hid::cmd::kWriteLightTable, data, length, base, chunkSize(), Lock::Stream);
}

int CommandTransport::sendLightingFrame(const uint8_t* data, uint32_t length)
{
    if (length > 0 && !data)
        return kNoReply;
    uint8_t request[kReportLength];
    uint8_t reply[kReportLength] = {};
    newRequest(request, hid::cmd::kLightingFrame);
    for (const Chunk& c : planChunks(length, chunkSize())) {
        setChunkHeader(request, c.length, c.position);
        std::memcpy(request + kPayload, data + c.position, c.length);
        sealReport(request);
        std::lock_guard guard(m_streamLock);
        // A frame yields to any other transaction: it claims the busy mark only when nothing
        // else holds it, and otherwise drops this chunk rather than wait. The next frame
        // carries the newest colours anyway.
        int idle = 0;
        if (!m_busy.compare_exchange_strong(idle, 1)) {
            qCDebug(tesselDebug).noquote() << QStringLiteral("放弃灯光数据");
            continue;
        }
        uint32_t read = 0;
        const int result = commandResult(
            runTransaction(request, kReportLength, reply, kReportLength, &read, true), reply);
        if (result != kOk)
            return result;
    }
    return kOk;
}

int CommandTransport::writeMacroImage(const uint8_t* data, uint32_t length)
{
    return chunkedWrite(hid::cmd::kWriteMacro, data, length, 0, chunkSize(), Lock::Command);
}

int CommandTransport::writeShootData(const uint8_t* data, uint32_t length)
{
    return chunkedWrite(hid::cmd::kWriteShoot, data, length, 0, kWiredChunk, Lock::None);
}

int CommandTransport::readStatus(uint8_t* out, uint32_t length, uint32_t offset)
{
    // One report carries at most 56 data bytes; a longer read cannot be answered.
    if (length > kPayloadCapacity || (length > 0 && !out))
        return kNoReply;
    uint8_t request[kReportLength];
    uint8_t reply[kReportLength] = {};
    newRequest(request, hid::cmd::kReadStatus);
    setChunkHeader(request, length, offset);
    sealReport(request);
    const int result = commandResult(lockedTransact(Lock::Command, request, reply), reply);
    if (result != kOk)
        return result;
    std::memcpy(out, reply + kPayload, length);
    return kOk;
}

int CommandTransport::readLedMap(uint8_t* out)
{
    return chunkedRead(hid::cmd::kReadLedMap, out, blockLength() / 3, 0);
}

int CommandTransport::lightingControlNotice()
{
    return plainCommand(hid::cmd::kLightingNotice);
}

bool CommandTransport::checkWirelessLink()
{
    if (!m_wireless.load())
        return true;
    uint8_t request[kReportLength];
    uint8_t reply[kReportLength] = {};
    newRequest(request, hid::cmd::kLinkCheck);
    sealReport(request);
    return commandResult(lockedTransact(Lock::Command, request, reply), reply) == kOk &&
           reply[kPayload] == kLinkUp;
}

int CommandTransport::writeMacros(const QString& deviceFolder,
                                  const std::vector<int>& macroNumbers, InfoBlock& info)
{
    if (m_ready.load())
        readInformation(info);
    const auto records = loadMacroRecords(deviceFolder, macroNumbers);
    if (!records || macroNumbers.empty())
        return 0;

    const uint32_t total = macroImageLength(*records);
    const uint32_t capacity = info[kInfoMacroUnits] * kMacroMemoryUnit;
    if (const int excess = macroExcessCount(total, capacity); excess > 0)
        return excess;

    const auto image = buildMacroImage(*records);
    if (!image)
        return kMacroNoMemory;

    int result = kOk;
    const bool ready = m_ready.load() != 0;
    if (ready) {
        const int opened = openSession();
        const int written = writeMacroImage(image->data(), static_cast<uint32_t>(image->size()));
        result = opened != kOk ? opened : written;
    }
    // A session may have been opened before the device went away; the close goes out always.
    closeSession();
    if (!ready || result == kOk)
        return 0;
    // 0 means "written" to the callers of this operation, and -1 "no memory for the image";
    // whatever way the transfer failed, it has its own code.
    qCDebug(tesselDebug, "macro image not written: %d", result);
    return kMacroTransferFailed;
}
