#include "hid/WorkerThread.h"

namespace hid {

WorkerThread::~WorkerThread()
{
    Stop(1000);
}

bool WorkerThread::Start(std::function<void(const Event& exit)> body)
{
    if (!body || IsRunning())
        return false;
    if (m_thread.joinable())
        m_thread.join();  // ended by itself; reap it before reusing the slot
    m_exit = std::make_shared<Event>();
    m_done = std::make_shared<Event>();
    m_thread = std::thread([exit = m_exit, done = m_done, body = std::move(body)] {
        body(*exit);
        done->set();
    });
    return true;
}

void WorkerThread::RequestStop()
{
    if (m_exit)
        m_exit->set();
}

bool WorkerThread::Stop(uint32_t waitMs)
{
    RequestStop();
    if (!m_thread.joinable())
        return true;
    if (m_done->wait(waitMs)) {
        m_thread.join();
        return true;
    }
    m_thread.detach();
    return false;
}

bool WorkerThread::IsRunning() const
{
    return m_thread.joinable() && m_done && !m_done->isSet();
}

}  // namespace hid
