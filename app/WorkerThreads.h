#pragma once

#include "hid/Event.h"

#include <array>
#include <functional>
#include <memory>
#include <thread>

namespace app {

// The main window's worker threads: a fixed set of slots, each with its own manual-reset exit
// event that the thread polls between passes. Stopping signals every exit event and waits a
// bounded time per thread.
class WorkerThreads {
public:
    static constexpr int kSlots = 20;
    static constexpr uint32_t kStopWaitMs = 1000;

    WorkerThreads() = default;
    ~WorkerThreads();
    WorkerThreads(const WorkerThreads&) = delete;
    WorkerThreads& operator=(const WorkerThreads&) = delete;

    // Runs `body` on a new thread in `slot`; the body returns once the exit event is set. False
    // when the slot is out of range or taken. The body may outlive a stop that timed out, so it
    // must own (share) whatever it uses: a window only through its WindowLink.
    bool Start(int slot, std::function<void(const hid::Event& exit)> body);
    bool IsRunning(int slot) const;

    // Signals every exit event, then waits up to `waitMs` for each thread. A thread that does not
    // end in time is left to finish on its own (detached; what it uses is kept alive until it
    // does, through the shared references the body holds) because killing a thread could leave
    // its locks held. Returns how many timed out.
    int StopAll(uint32_t waitMs = kStopWaitMs);

private:
    struct Slot {
        std::shared_ptr<hid::Event> exit;
        std::shared_ptr<hid::Event> done;
        std::thread thread;
    };
    std::array<Slot, kSlots> m_slots;
};

}  // namespace app
