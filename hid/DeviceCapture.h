#pragma once

#include <functional>
#include <optional>
#include <string>
#include <sys/types.h>
#include <unordered_map>

#include "hid/Event.h"
#include "hid/SupportedInterfaces.h"

namespace hid {

// The device capture loop: lists the HID interfaces, registers the supported ones that appear
// and reports the registered ones that disappear. It polls every 100 ms and is woken at once by
// udev (hidraw nodes) and by the simulator folder changing, so a plug is seen in milliseconds.
// It never touches a device object: found and lost are reported through the callbacks, which
// the main window runs on its own thread while this one waits.
class DeviceCapture {
public:
    struct Callbacks {
        // Entry i became present. False when it could not be used (its command channel did not
        // open, as while udev has not yet given the user access): the entry is freed again and
        // tried on the next pass instead of staying present and unused.
        std::function<bool(int i)> found;
        // Entry i's path can no longer be reached; it is already marked free.
        std::function<void(int i)> lost;
        // After the first complete listing (whether or not anything was found).
        std::function<void()> firstScan;
    };

    static constexpr uint32_t kPollMs = 100;

    DeviceCapture(InterfaceRegister& reg, Callbacks callbacks);

    // The loop; returns when `exit` is set (within one poll period) or when listing fails.
    void Run(const Event& exit);

    // One pass of the loop without waiting: registers what appeared, reports what went.
    void ScanOnce();

    // Which file stands behind an interface's path: the node's (or the simulator socket's)
    // device, inode and device number. A path that reappears after an unplug names a new file
    // even when the name is the same (the kernel reuses the lowest free hidraw number; the
    // simulator makes a new socket), so presence is judged by this, not by the name existing.
    // The modification time takes part because a file system may give a new file the inode
    // number the removed one had; neither a socket nor a hidraw node changes it after it is
    // made (a permission change by udev alters only the change time).
    struct NodeIdentity {
        dev_t device = 0;
        ino_t inode = 0;
        dev_t number = 0;
        int64_t modifiedSec = 0;
        int64_t modifiedNsec = 0;
        friend bool operator==(const NodeIdentity&, const NodeIdentity&) = default;
    };
    // Empty when nothing is at the path (a zero-access look-up).
    static std::optional<NodeIdentity> IdentityOf(const std::string& path);
    // Whether the interface behind `path` still exists.
    static bool InterfacePresent(const std::string& path) { return IdentityOf(path).has_value(); }

private:
    void RegisterNewInterfaces();
    void CheckPresentInterfaces();
    void ProbeCandidate(const std::string& path);

    InterfaceRegister& m_register;
    Callbacks m_callbacks;
    bool m_firstScanDone = false;
    bool m_listingFailed = false;
    // The file each present entry was found at; an entry whose path now leads to another file
    // (or none) is lost, and the new file is registered afresh on the next pass.
    std::unordered_map<int, NodeIdentity> m_identities;
};

}  // namespace hid
