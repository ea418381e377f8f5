#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>

namespace hid {

// A manual-reset event: once set it stays set, releasing every waiter, until reset. Worker
// threads poll their exit Event between passes and are released by it, never killed.
class Event {
public:
    void set();
    void reset();
    bool isSet() const;
    // Waits up to `timeoutMs` (kInfinite waits forever); true when the event is set.
    bool wait(uint32_t timeoutMs) const;

private:
    mutable std::mutex m_mutex;
    mutable std::condition_variable m_cv;
    bool m_set = false;
};

}  // namespace hid
