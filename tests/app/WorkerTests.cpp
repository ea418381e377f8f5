#include "app/WorkerThreads.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>

using namespace app;

TEST(WorkerThreads, StopReleasesEveryThreadAndBoundsTheWaitForAStuckOne)
{
    auto stuckRelease = std::make_shared<hid::Event>();
    auto stuckEnded = std::make_shared<hid::Event>();
    std::atomic<int> polite{0};
    {
        WorkerThreads workers;
        for (int slot : {0, 1, 8})
            ASSERT_TRUE(workers.Start(slot, [&polite](const hid::Event& exit) {
                while (!exit.wait(1000)) {
                }
                ++polite;
            }));
        EXPECT_FALSE(workers.Start(8, [](const hid::Event&) {})) << "slot taken";
        EXPECT_FALSE(workers.Start(WorkerThreads::kSlots, [](const hid::Event&) {}));
        // A thread that ignores its exit event until released from outside.
        ASSERT_TRUE(workers.Start(5, [stuckRelease, stuckEnded](const hid::Event&) {
            stuckRelease->wait(60000);
            stuckEnded->set();
        }));

        const auto start = std::chrono::steady_clock::now();
        EXPECT_EQ(workers.StopAll(200), 1);
        const auto waited = std::chrono::steady_clock::now() - start;
        EXPECT_EQ(polite.load(), 3) << "each polling thread ended through its exit event";
        EXPECT_LT(waited, std::chrono::seconds(20)) << "the stop wait is bounded";
        EXPECT_FALSE(workers.IsRunning(0));
        EXPECT_EQ(workers.StopAll(200), 0) << "stopping again waits for nothing";
    }
    // The abandoned thread still finishes on its own once released.
    stuckRelease->set();
    EXPECT_TRUE(stuckEnded->wait(10000));
}
