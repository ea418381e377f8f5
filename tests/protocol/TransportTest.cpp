#include <gtest/gtest.h>

#include <QLoggingCategory>
#include <QStringList>
#include <QTemporaryDir>
#include <algorithm>
#include <chrono>
#include <cstring>
#include <cstdlib>
#include <functional>
#include <thread>

#include "FirmwarePeer.h"
#include "hid/DebugLog.h"
#include "protocol/CommandReport.h"
#include "protocol/CommandTransport.h"

using namespace protocol;
using Fault = FirmwarePeer::Fault;
using Clock = std::chrono::steady_clock;

namespace {

// Short time-outs keep fault tests quick; the generous bounds below only catch hangs.
constexpr uint32_t kTimeoutMs = 300;
constexpr auto kHangBound = std::chrono::seconds(5);

QStringList g_log;

void captureLog(QtMsgType, const QMessageLogContext& context, const QString& text)
{
    if (context.category && QByteArray(context.category) == "tessel.debug")
        g_log << text;
}

class TransportTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_dir.isValid());
        ::setenv("TESSEL_SIM_DIR", m_dir.path().toUtf8().constData(), 1);
        restart();
    }
    // A fresh device and transport, for tables of cases that each need a clean start.
    void restart()
    {
        m_transport.reset();
        m_peer.reset();
        m_peer = std::make_unique<FirmwarePeer>(m_dir.path().toStdString(),
                                                "hid#vid_3a17&pid_5055&mi_01");
        m_transport = std::make_unique<CommandTransport>(
            CommandTransport::Timeouts{kTimeoutMs, kTimeoutMs, kTimeoutMs});
    }
    void TearDown() override
    {
        qInstallMessageHandler(nullptr);
        QLoggingCategory::setFilterRules(QString());
    }

    // Opens the peer on the route of `mode` (1 cable, 2 receiver) and marks the transport ready.
    void connect(int mode)
    {
        hid::HidChannel& channel = mode == 2 ? m_transport->channelB() : m_transport->channelA();
        ASSERT_TRUE(channel.open(m_peer->path(), true, true, true, false));
        m_transport->setReady(1);
        m_transport->setMode(mode);
    }

    std::vector<std::vector<uint8_t>> requestsOf(uint8_t command) const
    {
        std::vector<std::vector<uint8_t>> out;
        for (auto& r : m_peer->requests())
            if (r[kCommand] == command)
                out.push_back(r);
        return out;
    }

    QTemporaryDir m_dir;
    std::unique_ptr<FirmwarePeer> m_peer;
    std::unique_ptr<CommandTransport> m_transport;
};

}  // namespace

TEST_F(TransportTest, ModeAndBlockLength)
{
    struct Case {
        int mode;
        uint32_t wireless;
        uint8_t chunk;
    };
    for (Case c : {Case{0, 0, 56}, Case{1, 0, 56}, Case{2, 1, 24}, Case{3, 0, 56}}) {
        m_transport->setMode(c.mode);
        EXPECT_EQ(m_transport->isWireless(), c.wireless) << c.mode;
        EXPECT_EQ(m_transport->chunkSize(), c.chunk) << c.mode;
    }
    EXPECT_EQ(m_transport->setBlockLength(300), 1);
    EXPECT_EQ(m_transport->setBlockLength(513), 0);
    EXPECT_EQ(m_transport->blockLength(), 300);
    EXPECT_EQ(m_transport->setBlockLength(512), 1);
    EXPECT_EQ(m_transport->blockLength(), 512);
}

TEST_F(TransportTest, NotReadyDoesNothingAndLogsNothing)
{
    QLoggingCategory::setFilterRules(QStringLiteral("tessel.debug.debug=true"));
    qInstallMessageHandler(captureLog);
    g_log.clear();
    ASSERT_TRUE(m_transport->channelA().open(m_peer->path(), true, true, true, false));
    m_transport->setMode(1);

    uint8_t request[64] = {4, 1, 0, 1};
    uint8_t reply[64];
    uint32_t read = 99;
    EXPECT_EQ(m_transport->transact(request, 64, reply, 64, &read), kNoReply);
    EXPECT_EQ(read, 0u);
    EXPECT_EQ(m_transport->openSession(), kNoReply);
    EXPECT_EQ(m_transport->closeSession(), kNoReply);
    EXPECT_FALSE(m_transport->isBusy());
    EXPECT_TRUE(g_log.isEmpty());

    // Then ready: the peer reads the channel in order, so once it has answered this request,
    // anything the calls above had sent would have reached it first.
    m_transport->setReady(1);
    const uint8_t probe[5] = {4, 0x22, 0x01, 0x06, 0x1C};
    EXPECT_EQ(m_transport->transact(probe, sizeof probe, reply, 64, &read), kOk);
    const auto sent = m_peer->requests();
    ASSERT_EQ(sent.size(), 1u) << "only the request sent once the transport was ready";
    EXPECT_TRUE(std::equal(probe, probe + sizeof probe, sent[0].begin()));
}

TEST_F(TransportTest, ShortRequestIsPaddedAndBothReportsAreDumped)
{
    connect(1);
    QLoggingCategory::setFilterRules(QStringLiteral("tessel.debug.debug=true"));
    qInstallMessageHandler(captureLog);
    g_log.clear();

    const uint8_t request[5] = {4, 0x22, 0x01, 0x06, 0x1C};
    uint8_t reply[64] = {};
    uint32_t read = 0;
    EXPECT_EQ(m_transport->transact(request, sizeof request, reply, 64, &read), kOk);
    EXPECT_EQ(read, 64u);

    const auto sent = m_peer->requests();
    ASSERT_EQ(sent.size(), 1u);
    std::vector<uint8_t> expected(64, 0);
    std::copy(request, request + 5, expected.begin());
    EXPECT_EQ(sent[0], expected);

    const QString zeros = "00 00 00 00   00 00 00 00   00 00 00 00   00 00 00 00  00 00 00 00  "
                          "00 00 00 00  00 00 00 00  00 00 00 00";
    const QStringList expectedLog = {
        "命令",
        "04 22 01 06   1c 00 00 00   00 00 00 00   00 00 00 00  00 00 00 00  00 00 00 00  "
        "00 00 00 00  00 00 00 00",
        zeros,
        "返回",
        "04 00 00 06   00 00 00 00   00 00 00 00   00 00 00 00  00 00 00 00  00 00 00 00  "
        "00 00 00 00  00 00 00 00",
        zeros,
    };
    EXPECT_EQ(g_log, expectedLog);

    g_log.clear();
    const uint8_t colours[9] = {1, 2, 3, 4, 5, 6, 7, 8, 9};
    EXPECT_EQ(m_transport->sendLightingFrame(colours, sizeof colours), kOk);
    EXPECT_TRUE(g_log.isEmpty()) << "frames travel without dumps";
}

TEST_F(TransportTest, PlainCommandsAreWholeReportsWithTheirNumberAndChecksum)
{
    // Written out byte by byte, not from the shared command numbers.
    struct Case {
        const char* what;
        int (*send)(CommandTransport&);
        uint8_t command;
    };
    const Case cases[] = {
        {"open session", [](CommandTransport& t) { return t.openSession(); }, 0x01},
        {"close session", [](CommandTransport& t) { return t.closeSession(1); }, 0x02},
        {"lighting control notice", [](CommandTransport& t) { return t.lightingControlNotice(); },
         0x1C},
    };
    connect(1);
    for (const Case& c : cases) {
        const size_t before = m_peer->requestCount();
        EXPECT_EQ(c.send(*m_transport), kOk) << c.what;
        const auto sent = m_peer->requests();
        ASSERT_EQ(sent.size(), before + 1) << c.what;
        std::vector<uint8_t> expected(64, 0);
        expected[0] = 0x04;
        expected[1] = c.command;  // the checksum of the command byte alone
        expected[3] = c.command;
        EXPECT_EQ(sent.back(), expected) << c.what;
    }
}

TEST_F(TransportTest, EchoCheckReadsAtMostTwice)
{
    struct Case {
        const char* what;
        int mode;
        FirmwarePeer::Action action;
        int expected;
    };
    const Case cases[] = {
        {"wired: 0xAA is only a mismatched echo", 1, {Fault::StrayBefore, 0xAA}, kOk},
        {"wireless: receiver cannot reach the device", 2, {Fault::StrayBefore, 0xAA}, kNoLink},
        {"a stray reply is skipped", 2, {Fault::StrayBefore, 0x05}, kOk},
        {"two mismatches: no reply", 1, {Fault::TwoStrays, 0x05}, kNoReply},
    };
    for (const Case& c : cases) {
        restart();
        connect(c.mode);
        m_peer->script({c.action});
        EXPECT_EQ(m_transport->lightingControlNotice(), c.expected) << c.what;
    }
}

TEST_F(TransportTest, SecondMismatchEndsAfterExactlyTwoReads)
{
    connect(1);
    m_peer->script({{Fault::TwoStrays, 0x77}});
    // The real echo follows the two strays: a third read would have found it.
    EXPECT_EQ(m_transport->lightingControlNotice(), kNoReply);
    // Once the peer has sent it, it is waiting; it is dropped as stale, not taken for the next
    // 0x1C. (Without this wait the next request may be written before the echo arrives.)
    ASSERT_TRUE(m_peer->waitSent(3));
    m_peer->script({{Fault::Drop}});
    EXPECT_EQ(m_transport->lightingControlNotice(), kNoReply);
    EXPECT_EQ(m_transport->lightingControlNotice(), kOk);
    EXPECT_EQ(m_peer->requestCount(), 3u);
}

TEST_F(TransportTest, OnlyAWholeCommandReportIsAReply)
{
    // A two-chunk read whose second reply is preceded or replaced by something that is not a
    // command reply. The first reply's echo must not pass for the second's.
    struct Case {
        const char* what;
        FirmwarePeer::Action second;
        int expected;
    };
    const Case cases[] = {
        {"the headset's 3-byte event report first", {Fault::EventBefore}, kOk},
        {"a 64-byte report of another ID first", {Fault::OtherIdBefore}, kOk},
        {"a reply cut after its status byte", {Fault::ShortReply, 8}, kNoReply},
        {"a reply of the ID byte alone", {Fault::ShortReply, 1}, kNoReply},
    };
    std::vector<uint8_t> memory(100);
    for (size_t i = 0; i < memory.size(); ++i)
        memory[i] = static_cast<uint8_t>(i + 1);
    for (const Case& c : cases) {
        restart();
        m_peer->setMemory(0x05, memory);
        connect(1);
        m_peer->script({{}, c.second});
        std::vector<uint8_t> out(100, 0xEE);
        EXPECT_EQ(m_transport->readSettings(out.data(), 100, 0), c.expected) << c.what;
        if (c.expected == kOk) {
            EXPECT_EQ(out, memory) << c.what;
        } else {
            // A read failing part-way keeps the chunks before the failure and nothing after.
            EXPECT_TRUE(std::equal(out.begin(), out.begin() + 56, memory.begin())) << c.what;
            EXPECT_EQ(std::count(out.begin() + 56, out.end(), 0xEE), 44) << c.what;
        }
        EXPECT_EQ(requestsOf(0x05).size(), 2u) << c.what;
    }
}

TEST_F(TransportTest, EachRouteAndFramesUseTheirOwnTimeOut)
{
    // Three different time-outs and a device that never answers: each case must wait at least
    // its own time-out and clearly less than the next longer one (3 times as long or more).
    constexpr uint32_t kQuiet = 100, kWired = 600, kWireless = 1800;
    struct Case {
        const char* what;
        int mode;
        bool frame;
        uint32_t own;
        uint32_t longer;  // 0: none is longer
    };
    const Case cases[] = {
        {"cable, command", 1, false, kWired, kWireless},
        {"cable, frame", 1, true, kWired, kWireless},
        {"receiver, frame", 2, true, kQuiet, kWired},
        {"receiver, command", 2, false, kWireless, 0},
    };
    for (const Case& c : cases) {
        restart();
        m_transport = std::make_unique<CommandTransport>(
            CommandTransport::Timeouts{kWired, kWireless, kQuiet});
        connect(c.mode);
        m_peer->script({{Fault::Drop}});
        uint8_t data[8] = {};
        const auto start = Clock::now();
        const int result = c.frame ? m_transport->sendLightingFrame(data, sizeof data)
                                   : m_transport->openSession();
        const auto waited = std::chrono::duration_cast<std::chrono::milliseconds>(
            Clock::now() - start).count();
        EXPECT_EQ(result, kNoReply) << c.what;
        EXPECT_GE(waited, c.own) << c.what;
        if (c.longer) {
            EXPECT_LT(waited, c.longer) << c.what;
        }
    }
}

TEST_F(TransportTest, StatusBytesMapToFailureCodes)
{
    connect(1);
    struct Case {
        uint8_t status;
        int expected;
    };
    for (Case c : {Case{0xFF, kStatusFF}, Case{0xFE, kStatusFE}, Case{0x01, kOk}, Case{0x00, kOk}}) {
        m_peer->script({{Fault::Status, c.status}});
        EXPECT_EQ(m_transport->openSession(), c.expected) << int(c.status);
    }
}

TEST_F(TransportTest, InformationReadIsChunkedByModeAndCopiedOnlyOnSuccess)
{
    std::vector<uint8_t> info(34);
    for (int i = 0; i < 34; ++i)
        info[i] = static_cast<uint8_t>(0x40 + i);
    m_peer->setMemory(0x03, info);

    connect(1);
    CommandTransport::InfoBlock block{};
    EXPECT_EQ(m_transport->readInformation(block), kOk);
    EXPECT_TRUE(std::equal(block.begin(), block.end(), info.begin()));
    auto reads = requestsOf(0x03);
    ASSERT_EQ(reads.size(), 1u);
    EXPECT_EQ(reads[0][kLength], 34);

    // The same device, now reached through the receiver route.
    m_transport->channelA().close();
    ASSERT_TRUE(m_transport->channelB().open(m_peer->path(), true, true, true, false));
    m_transport->setMode(2);
    block.fill(0);
    EXPECT_EQ(m_transport->readInformation(block), kOk);
    reads = requestsOf(0x03);
    ASSERT_EQ(reads.size(), 3u);
    EXPECT_EQ(reads[1][kLength], 24);
    EXPECT_EQ(reads[1][kOffsetLow], 0);
    EXPECT_EQ(reads[2][kLength], 10);
    EXPECT_EQ(reads[2][kOffsetLow], 24);

    block.fill(0xEE);
    m_peer->script({{}, {Fault::Status, 0xFF}});
    EXPECT_EQ(m_transport->readInformation(block), kStatusFF);
    EXPECT_EQ(block[0], 0xEE) << "a failed read leaves the caller's block untouched";
}

TEST_F(TransportTest, ShortLastChunkKeepsThePreviousChunksTail)
{
    connect(2);
    std::vector<uint8_t> data(30);
    for (int i = 0; i < 30; ++i)
        data[i] = static_cast<uint8_t>(i + 1);
    EXPECT_EQ(m_transport->writeSettings(data.data(), 30, 0x100), kOk);

    const auto writes = requestsOf(0x06);
    ASSERT_EQ(writes.size(), 2u);
    EXPECT_EQ(writes[0][kLength], 24);
    EXPECT_EQ(writes[0][kOffsetLow], 0x00);
    EXPECT_EQ(writes[0][kOffsetHigh], 0x01);
    EXPECT_EQ(writes[1][kLength], 6);
    EXPECT_EQ(writes[1][kOffsetLow], 24);
    EXPECT_EQ(writes[1][kOffsetHigh], 0x01);
    for (int i = 0; i < 6; ++i)
        EXPECT_EQ(writes[1][8 + i], data[24 + i]);
    for (int i = 6; i < 24; ++i)
        EXPECT_EQ(writes[1][8 + i], data[i]) << "stale byte " << i << " of the first chunk";
    for (const auto& w : writes) {
        const uint32_t sum = reportChecksum(w.data());
        EXPECT_EQ(w[1], sum & 0xFF);
        EXPECT_EQ(w[2], (sum >> 8) & 0xFF);
    }
    EXPECT_EQ(m_peer->memory(0x06).size(), 0x100u + 30u);
}

TEST_F(TransportTest, KeyTableBankOtherThanZeroSendsNothing)
{
    connect(1);
    std::vector<uint8_t> table(512, 7);
    EXPECT_EQ(m_transport->writeKeyTable(table.data(), 1), kBadBank);
    EXPECT_EQ(m_transport->writeKeyTable(table.data(), -1), kBadBank);
    EXPECT_EQ(m_peer->requestCount(), 0u);

    ASSERT_EQ(m_transport->setBlockLength(6), 1);
    EXPECT_EQ(m_transport->writeKeyTable(table.data(), 0), kOk);
    std::vector<uint8_t> back(6);
    EXPECT_EQ(m_transport->readKeyTable(back.data()), kOk);
    EXPECT_EQ(back, std::vector<uint8_t>(6, 7));
    uint8_t leds[2] = {};
    m_peer->setMemory(0x1B, {9, 8, 7});
    EXPECT_EQ(m_transport->readLedMap(leds), kOk);
    EXPECT_EQ(leds[0], 9);
    EXPECT_EQ(leds[1], 8);
    EXPECT_EQ(requestsOf(0x1B).at(0)[kLength], 2) << "block length / 3";
}

TEST_F(TransportTest, StatusReadFailureLeavesTheBufferUntouched)
{
    connect(1);
    m_peer->setMemory(0x1A, {90, 1, 0, 0, 0, 2});
    uint8_t status[6];
    std::fill(std::begin(status), std::end(status), 0xEE);
    m_peer->script({{Fault::Status, 0xFE}});
    EXPECT_EQ(m_transport->readStatus(status, 6, 0), kStatusFE);
    for (uint8_t b : status)
        EXPECT_EQ(b, 0xEE);
    EXPECT_EQ(m_transport->readStatus(status, 6, 0), kOk);
    EXPECT_EQ(status[0], 90);
    EXPECT_EQ(status[5], 2);
    EXPECT_EQ(m_transport->readStatus(status, 57, 0), kNoReply) << "more than one report holds";
}

TEST_F(TransportTest, FrameOf104LedsIsSixChunksWired)
{
    connect(1);
    std::vector<uint8_t> frame(312);
    for (size_t i = 0; i < frame.size(); ++i)
        frame[i] = static_cast<uint8_t>(i);
    EXPECT_EQ(m_transport->sendLightingFrame(frame.data(), 312), kOk);
    const auto chunks = requestsOf(0x12);
    ASSERT_EQ(chunks.size(), 6u);
    for (int i = 0; i < 6; ++i) {
        EXPECT_EQ(chunks[i][kLength], i < 5 ? 56 : 32);
        EXPECT_EQ(chunks[i][kOffsetLow] | (chunks[i][kOffsetHigh] << 8), 56 * i);
    }
    EXPECT_EQ(m_peer->memory(0x12), frame);
}

TEST_F(TransportTest, FrameChunksAreDroppedWhileAnotherTransactionRuns)
{
    // The peer holds the configuration command's reply until the frame has been sent, so the
    // transport is busy for as long as the test needs, however loaded the machine.
    m_transport = std::make_unique<CommandTransport>(CommandTransport::Timeouts{10000, 10000, 10000});
    connect(1);
    m_peer->script({{Fault::Hold}});
    std::thread config([&] { EXPECT_EQ(m_transport->openSession(), kOk); });
    ASSERT_TRUE(m_peer->waitRequests(1));
    EXPECT_TRUE(m_transport->isBusy());
    std::vector<uint8_t> frame(312, 1);
    EXPECT_EQ(m_transport->sendLightingFrame(frame.data(), 312), kOk) << "dropping is no failure";
    m_peer->release();
    config.join();
    EXPECT_TRUE(requestsOf(0x12).empty());
    EXPECT_FALSE(m_transport->isBusy());
}

TEST_F(TransportTest, EachCommandHoldsItsOwnLock)
{
    enum class Held { Command, Stream, None };
    struct Case {
        const char* what;
        std::function<int(CommandTransport&)> send;
        Held held;
    };
    static uint8_t buffer[512] = {};
    const Case cases[] = {
        {"0x01", [](CommandTransport& t) { return t.openSession(); }, Held::Command},
        {"0x02", [](CommandTransport& t) { return t.closeSession(); }, Held::Command},
        {"0x05", [](CommandTransport& t) { return t.readSettings(buffer, 8, 0); }, Held::Command},
        {"0x06", [](CommandTransport& t) { return t.writeSettings(buffer, 8, 0); }, Held::Command},
        {"0x09", [](CommandTransport& t) { return t.writeKeyTable(buffer, 0); }, Held::Command},
        {"0x0B", [](CommandTransport& t) { return t.writeLightTable(buffer, 8, 0); }, Held::Stream},
        {"0x12", [](CommandTransport& t) { return t.sendLightingFrame(buffer, 8); }, Held::Stream},
        {"0x15", [](CommandTransport& t) { return t.writeMacroImage(buffer, 8); }, Held::Command},
        {"0x17", [](CommandTransport& t) { return t.writeShootData(buffer, 8); }, Held::None},
        {"0x1A", [](CommandTransport& t) { return t.readStatus(buffer, 6, 0); }, Held::Command},
        {"0x1C", [](CommandTransport& t) { return t.lightingControlNotice(); }, Held::Command},
        {"0xAA", [](CommandTransport& t) { return t.checkWirelessLink() ? kOk : kNoReply; },
         Held::Command},
    };
    // Held replies are let go by an event; the long time-outs only guard against a hang.
    m_transport = std::make_unique<CommandTransport>(CommandTransport::Timeouts{10000, 10000, 10000});
    connect(2);
    ASSERT_EQ(m_transport->setBlockLength(8), 1);
    for (const Case& c : cases) {
        // The reply is held while this thread looks at the locks, so the command is surely in
        // its transaction; try_lock tells without ever blocking on a lock it should not hold.
        m_peer->script({{Fault::Hold}});
        const size_t before = m_peer->requestCount();
        std::thread command([&] { EXPECT_EQ(c.send(*m_transport), kOk) << c.what; });
        ASSERT_TRUE(m_peer->waitRequests(before + 1)) << c.what;
        const bool commandFree = m_transport->commandLock().try_lock();
        if (commandFree)
            m_transport->commandLock().unlock();
        const bool streamFree = m_transport->streamLock().try_lock();
        if (streamFree)
            m_transport->streamLock().unlock();
        m_peer->release();
        command.join();
        EXPECT_EQ(commandFree, c.held != Held::Command) << c.what;
        EXPECT_EQ(streamFree, c.held != Held::Stream) << c.what;
    }
}

TEST_F(TransportTest, ShootDataUsesFixedChunksWhateverTheMode)
{
    connect(2);
    std::vector<uint8_t> data(100, 3);
    EXPECT_EQ(m_transport->writeShootData(data.data(), 100), kOk);
    const auto chunks = requestsOf(0x17);
    ASSERT_EQ(chunks.size(), 2u);
    EXPECT_EQ(chunks[0][kLength], 56);
    EXPECT_EQ(chunks[1][kLength], 44);
}

TEST_F(TransportTest, WirelessLinkCheck)
{
    connect(1);
    EXPECT_TRUE(m_transport->checkWirelessLink());
    EXPECT_EQ(m_peer->requestCount(), 0u) << "wired: no traffic";

    restart();
    connect(2);
    EXPECT_TRUE(m_transport->checkWirelessLink());
    m_peer->setLinkByte(0x00);
    EXPECT_FALSE(m_transport->checkWirelessLink());
    m_peer->setLinkByte(0xFF);
    m_peer->script({{Fault::Status, 0xFE}});
    EXPECT_FALSE(m_transport->checkWirelessLink());
    m_peer->script({{Fault::Drop}});
    EXPECT_FALSE(m_transport->checkWirelessLink());
    EXPECT_EQ(requestsOf(0xAA).size(), 4u);
}
