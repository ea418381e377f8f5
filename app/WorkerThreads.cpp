#include "app/WorkerThreads.h"

#include "hid/DebugLog.h"

namespace app {

WorkerThreads::~WorkerThreads()
{
    StopAll();
}

bool WorkerThreads::Start(int slot, std::function<void(const hid::Event& exit)> body)
{
    if (slot < 0 || slot >= kSlots || m_slots[slot].thread.joinable() || !body)
        return false;
    Slot& s = m_slots[slot];
    s.exit = std::make_shared<hid::Event>();
    s.done = std::make_shared<hid::Event>();
    // The thread holds its own references, so a detached thread never reads freed events.
    s.thread = std::thread([exit = s.exit, done = s.done, body = std::move(body)] {
        body(*exit);
        done->set();
    });
    return true;
}

bool WorkerThreads::IsRunning(int slot) const
{
    return slot >= 0 && slot < kSlots && m_slots[slot].thread.joinable() && !m_slots[slot].done->isSet();
}

int WorkerThreads::StopAll(uint32_t waitMs)
{
    for (Slot& s : m_slots) {
        if (s.exit)
            s.exit->set();
    }
    int timedOut = 0;
    for (int i = 0; i < kSlots; ++i) {
        Slot& s = m_slots[i];
        if (!s.thread.joinable())
            continue;
        if (s.done->wait(waitMs)) {
            s.thread.join();
            qCDebug(tesselDebug) << "所有对象处于激发状态";
        } else {
            qCDebug(tesselDebug) << "所有对象处于非激发状态，超时" << i;
            s.thread.detach();
            ++timedOut;
        }
    }
    return timedOut;
}

}  // namespace app
