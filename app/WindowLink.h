#pragma once

#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>

class WindowImplBase;

namespace app {

// What a worker thread holds instead of the window it reports to. Send and Post reach the
// window while the link is attached; once the window has cut it (before it goes away) they do
// nothing and return 0, so a thread that outlives a stop that timed out never touches a freed
// window. Shared by the window and its threads; every call but Detach may come from any thread.
class WindowLink : public std::enable_shared_from_this<WindowLink> {
public:
    static std::shared_ptr<WindowLink> Create(WindowImplBase* window);

    // The window's SendMessage: runs the handler on the window's thread and waits for its
    // result. 0 when the link is cut, before the call or while it waits.
    intptr_t Send(uint32_t msg, intptr_t wParam, intptr_t lParam);
    // The window's PostMessage; dropped when the link is cut.
    void Post(uint32_t msg, intptr_t wParam, intptr_t lParam);

    // Window thread only: cuts the link and releases every Send waiting for the window.
    void Detach();
    bool IsAttached() const;

private:
    explicit WindowLink(WindowImplBase* window) : m_window(window) {}

    mutable std::mutex m_mutex;
    std::condition_variable m_answered;
    WindowImplBase* m_window;  // null once detached
};

}  // namespace app
