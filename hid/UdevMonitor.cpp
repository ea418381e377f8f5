#include "hid/UdevMonitor.h"

#include <cerrno>
#include <chrono>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <libudev.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/inotify.h>
#include <unistd.h>

#include "hid/DebugLog.h"
#include "hid/HidTypes.h"
#include "hid/OsError.h"
#include "hid/SimWire.h"

namespace hid {

UdevMonitor::UdevMonitor()
{
    m_wakeFd = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
}

UdevMonitor::~UdevMonitor()
{
    stop();
    if (m_wakeFd >= 0)
        ::close(m_wakeFd);
}

bool UdevMonitor::start()
{
    stop();
    m_udev = udev_new();
    // Events from udev, not the kernel: they arrive after the rules ran, so the node already
    // carries the user's access when discovery opens it.
    if (m_udev != nullptr)
        m_monitor = udev_monitor_new_from_netlink(m_udev, "udev");
    if (m_monitor != nullptr &&
        (udev_monitor_filter_add_match_subsystem_devtype(m_monitor, "hidraw", nullptr) < 0 ||
         udev_monitor_enable_receiving(m_monitor) < 0)) {
        udev_monitor_unref(m_monitor);
        m_monitor = nullptr;
    }
    if (m_monitor == nullptr)
        qCDebug(tesselDebug, "udev monitor unavailable; discovery polls only");

    const char* folder = std::getenv(simwire::kEnvSimDir);
    if (folder != nullptr && *folder != '\0') {
        m_inotifyFd = ::inotify_init1(IN_CLOEXEC | IN_NONBLOCK);
        // Sockets appear on bind (create) and go on unlink (delete); renames count as both.
        if (m_inotifyFd >= 0 &&
            ::inotify_add_watch(m_inotifyFd, folder,
                                IN_CREATE | IN_DELETE | IN_MOVED_FROM | IN_MOVED_TO) >= 0) {
            m_simFolder = folder;
        } else {
            qCDebug(tesselDebug, "%s", osErrorText("inotify on the simulator folder", errno).c_str());
            if (m_inotifyFd >= 0)
                ::close(m_inotifyFd);
            m_inotifyFd = -1;
        }
    }
    return m_monitor != nullptr || m_inotifyFd >= 0;
}

void UdevMonitor::stop()
{
    if (m_monitor != nullptr)
        udev_monitor_unref(m_monitor);
    if (m_udev != nullptr)
        udev_unref(m_udev);
    if (m_inotifyFd >= 0)
        ::close(m_inotifyFd);
    m_monitor = nullptr;
    m_udev = nullptr;
    m_inotifyFd = -1;
    m_simFolder.clear();
}

void UdevMonitor::wake()
{
    if (m_wakeFd >= 0)
        ::eventfd_write(m_wakeFd, 1);
}

bool UdevMonitor::drainUdev()
{
    bool changed = false;
    while (udev_device* device = udev_monitor_receive_device(m_monitor)) {
        const char* action = udev_device_get_action(device);
        if (action != nullptr && (std::strcmp(action, "add") == 0 || std::strcmp(action, "remove") == 0))
            changed = true;
        udev_device_unref(device);
    }
    return changed;
}

bool UdevMonitor::drainInotify()
{
    bool changed = false;
    alignas(inotify_event) char buffer[4096];
    for (;;) {
        const ssize_t n = ::read(m_inotifyFd, buffer, sizeof buffer);
        if (n <= 0)
            return changed;
        for (ssize_t at = 0; at + ssize_t(sizeof(inotify_event)) <= n;) {
            const auto* e = reinterpret_cast<const inotify_event*>(buffer + at);
            const size_t prefix = std::strlen(simwire::kSocketPrefix);
            if (e->len > 0 && std::strncmp(e->name, simwire::kSocketPrefix, prefix) == 0)
                changed = true;
            at += ssize_t(sizeof(inotify_event) + e->len);
        }
    }
}

bool UdevMonitor::waitForChange(uint32_t timeoutMs)
{
    using Clock = std::chrono::steady_clock;
    const bool infinite = timeoutMs == kInfinite;
    const auto deadline = Clock::now() + std::chrono::milliseconds(infinite ? 0 : timeoutMs);
    for (;;) {
        int timeout = -1;
        if (!infinite) {
            const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now());
            if (left.count() <= 0)
                return false;
            timeout = int(std::min<int64_t>(left.count(), INT_MAX));
        }
        pollfd fds[3] = {
            {m_wakeFd, POLLIN, 0},
            {m_monitor != nullptr ? udev_monitor_get_fd(m_monitor) : -1, POLLIN, 0},
            {m_inotifyFd, POLLIN, 0},
        };
        const int r = ::poll(fds, 3, timeout);
        if (r < 0 && errno != EINTR)
            return false;
        if (fds[0].revents & POLLIN) {
            eventfd_t value;
            ::eventfd_read(m_wakeFd, &value);
            return false;
        }
        bool changed = false;
        if (fds[1].revents & POLLIN)
            changed |= drainUdev();
        if (fds[2].revents & POLLIN)
            changed |= drainInotify();
        if (changed)
            return true;
    }
}

}  // namespace hid
