#pragma once

#include <cstdint>
#include <string>

struct udev;
struct udev_monitor;

namespace hid {

// Tells the discovery loop that a hidraw node appeared or disappeared (libudev), or that a
// virtual interface came or went in the simulator folder (inotify on $TESSEL_SIM_DIR), so it can
// list the interfaces at once instead of on its next poll. It only wakes the loop early:
// missing an event costs latency, never correctness, since discovery keeps polling.
class UdevMonitor {
public:
    UdevMonitor();
    ~UdevMonitor();
    UdevMonitor(const UdevMonitor&) = delete;
    UdevMonitor& operator=(const UdevMonitor&) = delete;

    // Starts watching; false when neither udev nor the simulator folder can be watched (the
    // caller then simply polls).
    bool start();
    void stop();

    // Waits up to `timeoutMs` (kInfinite: forever) for a change; true when a node or a
    // simulator socket came or went. wake() from another thread ends the wait with false.
    bool waitForChange(uint32_t timeoutMs);
    void wake();

    // The folder watched besides udev: $TESSEL_SIM_DIR when set at start(), else empty.
    const std::string& simulatorFolder() const { return m_simFolder; }

private:
    bool drainUdev();
    bool drainInotify();

    udev* m_udev = nullptr;
    udev_monitor* m_monitor = nullptr;
    int m_inotifyFd = -1;
    int m_wakeFd = -1;
    std::string m_simFolder;
};

}  // namespace hid
