#pragma once

#include <functional>
#include <string>

#include "hid/DeviceAccess.h"
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
        // The supported devices whose hidraw node this user may not open (a permission cause),
        // each seen so on two passes in a row (udev grants access a moment after a node
        // appears); called whenever that list changes, also to empty.
        std::function<void(const std::vector<DeviceAccess>& denied)> accessDenied;
    };

    static constexpr uint32_t kPollMs = 100;
    // With hot-plug events watched, the full listing runs at least this often without one.
    static constexpr uint32_t kWatchedScanMs = 1000;

    DeviceCapture(InterfaceRegister& reg, Callbacks callbacks);

    // The loop; returns when `exit` is set (within one poll period) or when listing fails.
    void Run(const Event& exit);

    // One pass of the loop without waiting: registers what appeared, reports what went.
    void ScanOnce();

    // Whether the interface behind `path` still exists (a zero-access look-up: the simulator's
    // socket, or the hidraw node).
    static bool InterfacePresent(const std::string& path);

private:
    void RegisterNewInterfaces();
    void CheckPresentInterfaces();
    // A channel of a present interface saw it end.
    bool PresentInterfaceGone() const;
    // False when the candidate could not be used (not opened, or its channel did not open).
    bool ProbeCandidate(const std::string& path);
    void ReportDenied(const std::vector<std::string>& failedPaths);

    InterfaceRegister& m_register;
    Callbacks m_callbacks;
    bool m_firstScanDone = false;
    bool m_listingFailed = false;
    // The last listing left a candidate it could not open: the next pass comes soon.
    bool m_retrySoon = false;
    std::vector<DeviceAccess> m_deniedLastPass;
    std::vector<DeviceAccess> m_deniedReported;
};

}  // namespace hid
