#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <functional>
#include <future>
#include <memory>
#include <mutex>
#include <sys/eventfd.h>
#include <unistd.h>
#include <vector>

#include "hid/HidBackend.h"
#include "hid/HidChannel.h"
#include "hid/HidrawBackend.h"
#include "tests/hid/Descriptors.h"

namespace hid {
namespace {

using namespace std::chrono_literals;

// Generous bound for "returns promptly": a hung call fails the test instead of hanging it.
constexpr auto kPrompt = 10s;

// The device's side of a held send: every report it is handed stays "in the kernel" until the
// test opens the gate, as a hidraw write() stays while the device does not answer.
struct Gate {
    std::mutex mutex;
    std::condition_variable changed;
    bool open = false;
    bool deviceClosed = false;
    std::vector<std::vector<uint8_t>> handed;  // every report the device was handed, in order

    void release()
    {
        {
            std::lock_guard lock(mutex);
            open = true;
        }
        changed.notify_all();
    }
    bool waitUntil(const std::function<bool()>& condition)
    {
        std::unique_lock lock(mutex);
        return changed.wait_for(lock, kPrompt, condition);
    }
};

// A device node whose sends behave like hidraw's: poll() calls it writable at once, and the
// send itself holds the caller until the device takes the report.
class HoldingBackend : public HidBackend {
public:
    explicit HoldingBackend(std::shared_ptr<Gate> gate)
        : m_gate(std::move(gate)), m_fd(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK))
    {
        setDescriptor(test::kGamingKeyboard.data(), test::kGamingKeyboard.size(), 4);
        m_attributes = HidAttributes{0x3A17, 0x5055, 0x0102};
    }
    ~HoldingBackend() override
    {
        ::close(m_fd);
        {
            std::lock_guard lock(m_gate->mutex);
            m_gate->deviceClosed = true;
        }
        m_gate->changed.notify_all();
    }
    int pollFd() const override { return m_fd; }  // writable, never readable
    ssize_t readSome(uint8_t*, uint32_t) override { return 0; }
    ssize_t writeSome(const uint8_t* buffer, uint32_t length) override
    {
        hold(buffer, length);
        return length;
    }
    bool setOutputReport(const uint8_t* buffer, uint32_t length) override
    {
        hold(buffer, length);
        return true;
    }
    bool blockingWrites() const override { return true; }

private:
    void hold(const uint8_t* buffer, uint32_t length)
    {
        std::unique_lock lock(m_gate->mutex);
        m_gate->handed.emplace_back(buffer, buffer + length);
        m_gate->changed.notify_all();
        m_gate->changed.wait(lock, [this] { return m_gate->open; });
    }

    std::shared_ptr<Gate> m_gate;
    int m_fd;
};

std::vector<uint8_t> report(uint8_t command)
{
    std::vector<uint8_t> r(65, 0);
    r[0] = 4;
    r[3] = command;
    return r;
}

// The two sends that wait for the device: an interrupt OUT write with a time-out, and the
// control-pipe output report with its own.
struct Send {
    const char* name;
    std::function<bool(HidChannel&, const std::vector<uint8_t>&, uint32_t timeoutMs)> run;
};
const Send kSends[] = {
    {"writeReport",
     [](HidChannel& ch, const std::vector<uint8_t>& r, uint32_t timeoutMs) {
         uint32_t n = 99;
         const bool ok = ch.writeReport(r.data(), uint32_t(r.size()), &n, timeoutMs);
         return ok || n != 0;  // a give-up must report nothing moved
     }},
    {"setOutputReport",
     [](HidChannel& ch, const std::vector<uint8_t>& r, uint32_t timeoutMs) {
         return ch.setOutputReport(r.data(), uint32_t(r.size()), timeoutMs);
     }},
};

constexpr const char* kPath = "/dev/hidraw-standin#vid_3a17&pid_5055&mi_01&col04";

TEST(HeldWrite, GivesUpAtItsTimeOutAndTheReportGoesOutAtMostOnce)
{
    for (const Send& send : kSends) {
        SCOPED_TRACE(send.name);
        auto gate = std::make_shared<Gate>();
        HidChannel channel;
        ASSERT_TRUE(channel.openBackend(kPath, std::make_unique<HoldingBackend>(gate), true, true));
        std::future<bool> held, next;
        struct Release {
            std::shared_ptr<Gate> gate;
            ~Release() { gate->release(); }  // lets stuck threads go whatever the test found
        } release{gate};

        // The device never takes the report while the caller waits: the caller gives up.
        held = std::async(std::launch::async, [&] { return send.run(channel, report(0x31), 50); });
        ASSERT_EQ(held.wait_for(kPrompt), std::future_status::ready);
        EXPECT_FALSE(held.get());

        // Once the device answers again, the next report goes out after the held one (if the
        // kernel had it at all), and the held one is not sent again.
        gate->release();
        next = std::async(std::launch::async,
                          [&] { return send.run(channel, report(0x32), kInfinite); });
        ASSERT_EQ(next.wait_for(kPrompt), std::future_status::ready);
        EXPECT_TRUE(next.get());
        // Whether the kernel got the held report before its caller gave up is up to the
        // scheduler; either way it is there at most once and before the next one.
        using Reports = std::vector<std::vector<uint8_t>>;
        std::lock_guard lock(gate->mutex);
        EXPECT_TRUE(gate->handed == Reports{report(0x32)} ||
                    gate->handed == (Reports{report(0x31), report(0x32)}))
            << gate->handed.size() << " reports";
    }
}

TEST(HeldWrite, CloseReleasesCallersWhileTheDeviceHoldsAReport)
{
    for (const Send& send : kSends) {
        SCOPED_TRACE(send.name);
        auto gate = std::make_shared<Gate>();
        HidChannel channel;
        ASSERT_TRUE(channel.openBackend(kPath, std::make_unique<HoldingBackend>(gate), true, true));
        std::future<bool> held, queued;
        std::future<void> closed;
        struct Release {
            std::shared_ptr<Gate> gate;
            ~Release() { gate->release(); }
        } release{gate};

        held = std::async(std::launch::async,
                          [&] { return send.run(channel, report(0x41), kInfinite); });
        ASSERT_TRUE(gate->waitUntil([&] { return gate->handed.size() == 1; }));

        // A second report waits behind the held one and gives up at its time-out unsent.
        queued = std::async(std::launch::async, [&] { return send.run(channel, report(0x42), 50); });
        ASSERT_EQ(queued.wait_for(kPrompt), std::future_status::ready);
        EXPECT_FALSE(queued.get());

        // close() returns while the device still holds the first report, and its caller fails.
        closed = std::async(std::launch::async, [&] { channel.close(); });
        ASSERT_EQ(closed.wait_for(kPrompt), std::future_status::ready);
        ASSERT_EQ(held.wait_for(kPrompt), std::future_status::ready);
        EXPECT_FALSE(held.get());
        EXPECT_FALSE(channel.isOpen());

        // The device is closed only after the held report has gone out, exactly once.
        gate->release();
        ASSERT_TRUE(gate->waitUntil([&] { return gate->deviceClosed; }));
        std::lock_guard lock(gate->mutex);
        EXPECT_EQ(gate->handed, std::vector<std::vector<uint8_t>>{report(0x41)});
    }
}

}  // namespace
}  // namespace hid
