#include "hid/ReportWriter.h"

#include <algorithm>
#include <cerrno>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <system_error>

namespace hid {

struct ReportWriter::Job {
    Send send;
    bool started = false;
    bool done = false;
    ssize_t bytes = 0;
    int error = 0;
};

// Everything the thread touches, kept alive by the thread itself so that it may outlive the
// writer while the kernel still holds a report.
struct ReportWriter::Shared {
    std::mutex mutex;
    std::condition_variable changed;  // a job queued or finished, abort, stop
    std::deque<std::shared_ptr<Job>> queue;
    bool busy = false;
    bool aborted = false;
    bool stop = false;
};

ReportWriter::ReportWriter() : m_shared(std::make_shared<Shared>()) {}

ReportWriter::~ReportWriter()
{
    bool busy = false;
    {
        std::lock_guard lock(m_shared->mutex);
        m_shared->stop = true;
        busy = m_shared->busy;
    }
    m_shared->changed.notify_all();
    if (!m_thread.joinable())
        return;
    // An idle thread ends at once; a busy one is in the kernel for as long as the kernel
    // decides, and nobody may be made to wait for that.
    if (busy)
        m_thread.detach();
    else
        m_thread.join();
}

void ReportWriter::serve(std::shared_ptr<Shared> shared)
{
    std::unique_lock lock(shared->mutex);
    for (;;) {
        shared->changed.wait(lock, [&] { return shared->stop || !shared->queue.empty(); });
        if (shared->stop)
            return;
        const std::shared_ptr<Job> job = shared->queue.front();
        shared->queue.pop_front();
        job->started = true;
        shared->busy = true;
        lock.unlock();

        errno = 0;
        const ssize_t bytes = job->send();
        const int error = errno;
        // The send may hold the last reference to the device: let it go here, not in a caller.
        job->send = nullptr;

        lock.lock();
        job->done = true;
        job->bytes = bytes;
        job->error = error;
        shared->busy = false;
        shared->changed.notify_all();
    }
}

ReportWriter::Result ReportWriter::run(Send send, Deadline deadline)
{
    auto job = std::make_shared<Job>();
    job->send = std::move(send);
    std::unique_lock lock(m_shared->mutex);
    if (m_shared->aborted)
        return {Outcome::Aborted, 0, 0};
    if (!m_thread.joinable()) {
        try {
            m_thread = std::thread(serve, m_shared);
        } catch (const std::system_error& e) {
            return {Outcome::Failed, 0, e.code().value()};
        }
    }
    m_shared->queue.push_back(job);
    m_shared->changed.notify_all();

    const auto finished = [&] { return job->done || m_shared->aborted; };
    if (deadline)
        m_shared->changed.wait_until(lock, *deadline, finished);
    else
        m_shared->changed.wait(lock, finished);

    if (job->done)
        return {Outcome::Done, job->bytes, job->error};
    if (!job->started) {
        auto& queue = m_shared->queue;
        queue.erase(std::remove(queue.begin(), queue.end(), job), queue.end());
    }
    return {m_shared->aborted ? Outcome::Aborted : Outcome::TimedOut, 0, 0};
}

void ReportWriter::abort()
{
    {
        std::lock_guard lock(m_shared->mutex);
        m_shared->aborted = true;
    }
    m_shared->changed.notify_all();
}

}  // namespace hid
