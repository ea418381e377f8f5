#include "app/WindowLink.h"

#include "ui/WindowImplBase.h"

#include <QMetaObject>
#include <QThread>

namespace app {

std::shared_ptr<WindowLink> WindowLink::Create(WindowImplBase* window)
{
    return std::shared_ptr<WindowLink>(new WindowLink(window));
}

intptr_t WindowLink::Send(uint32_t msg, intptr_t wParam, intptr_t lParam)
{
    std::unique_lock lock(m_mutex);
    WindowImplBase* window = m_window;
    if (!window)
        return 0;
    if (QThread::currentThread() == window->thread()) {
        lock.unlock();
        return window->SendMessage(msg, wParam, lParam);
    }
    // Not a blocking queued call: the waiting thread must also wake when the window cuts the
    // link instead of answering (a blocking call would hold the window's destruction up).
    struct Reply {
        bool done = false;
        intptr_t result = 0;
    };
    auto reply = std::make_shared<Reply>();
    QMetaObject::invokeMethod(
        window,
        [self = shared_from_this(), reply, window, msg, wParam, lParam] {
            if (!self->IsAttached())
                return;
            const intptr_t result = window->SendMessage(msg, wParam, lParam);
            std::lock_guard guard(self->m_mutex);
            reply->result = result;
            reply->done = true;
            self->m_answered.notify_all();
        },
        Qt::QueuedConnection);
    m_answered.wait(lock, [&] { return reply->done || !m_window; });
    return reply->done ? reply->result : 0;
}

void WindowLink::Post(uint32_t msg, intptr_t wParam, intptr_t lParam)
{
    // Queuing under the lock: the window cannot be cut (and then destroyed) half-way.
    std::lock_guard guard(m_mutex);
    if (m_window)
        m_window->PostMessage(msg, wParam, lParam);
}

void WindowLink::Detach()
{
    std::lock_guard guard(m_mutex);
    m_window = nullptr;
    m_answered.notify_all();
}

bool WindowLink::IsAttached() const
{
    std::lock_guard guard(m_mutex);
    return m_window != nullptr;
}

}  // namespace app
