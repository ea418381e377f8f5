#pragma once

#include <functional>
#include <memory>
#include <thread>

#include "hid/Event.h"

namespace hid {

// One thread that is ended through its own manual-reset exit event, never killed. The body
// polls the event between passes and returns once it is set. Stopping waits a bounded time; a
// thread that does not end in time is left to finish on its own, and the events it uses stay
// alive until it does (it holds its own references), so it never touches freed memory of ours.
// What the body itself captures must likewise outlive it.
class WorkerThread {
public:
    WorkerThread() = default;
    ~WorkerThread();
    WorkerThread(const WorkerThread&) = delete;
    WorkerThread& operator=(const WorkerThread&) = delete;

    // Starts `body` on a new thread with a fresh exit event; false when one is still running.
    bool Start(std::function<void(const Event& exit)> body);
    // Sets the exit event without waiting (so several threads can be told at once).
    void RequestStop();
    // RequestStop, then waits up to `waitMs` for the thread. True when it ended (or none ran);
    // false when it timed out and was left running detached.
    bool Stop(uint32_t waitMs);
    bool IsRunning() const;

private:
    std::shared_ptr<Event> m_exit;
    std::shared_ptr<Event> m_done;
    std::thread m_thread;
};

}  // namespace hid
