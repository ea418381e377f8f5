#include "hid/Event.h"

#include "hid/HidTypes.h"

namespace hid {

void Event::set()
{
    {
        std::lock_guard lock(m_mutex);
        m_set = true;
    }
    m_cv.notify_all();
}

void Event::reset()
{
    std::lock_guard lock(m_mutex);
    m_set = false;
}

bool Event::isSet() const
{
    std::lock_guard lock(m_mutex);
    return m_set;
}

bool Event::wait(uint32_t timeoutMs) const
{
    std::unique_lock lock(m_mutex);
    if (timeoutMs == kInfinite) {
        m_cv.wait(lock, [this] { return m_set; });
        return true;
    }
    return m_cv.wait_for(lock, std::chrono::milliseconds(timeoutMs), [this] { return m_set; });
}

}  // namespace hid
