#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace hid {

// Why a supported device's hidraw node cannot be opened for reading and writing.
enum class AccessCause {
    None,          // it can be opened
    Sandbox,       // Tessel runs in a Flatpak sandbox that was given no device access
    NoRule,        // no udev rule gives the logged-in user access to the device
    NoSessionAcl,  // the rule is there, but this session holds no access (not the active local
                   // session, or the device was plugged before the rule was installed)
    Other,         // another error (errno in DeviceAccess::error)
};

// One hidraw node of a supported device (vendor, product and interface number of the
// supported interface table) and whether this process may open it.
struct DeviceAccess {
    std::string node;  // "/dev/hidraw3"
    uint16_t vendorId = 0;
    uint16_t productId = 0;
    uint32_t interfaceNumber = 0;
    uint16_t deviceType = 0;  // devtype:: of the table's row
    bool canOpen = false;
    int error = 0;  // errno of the failed open
    AccessCause cause = AccessCause::None;

    bool operator==(const DeviceAccess&) const = default;
};

// Where the check looks; tests point it at their own folders.
struct AccessCheckSetup {
    std::string sysfsRoot = "/sys";
    std::vector<std::string> rulesFolders = {"/etc/udev/rules.d", "/run/udev/rules.d",
                                             "/usr/lib/udev/rules.d", "/lib/udev/rules.d"};
    std::string sandboxMarker = "/.flatpak-info";
};

// Every hidraw node of a supported device, in node order, each tried with open(O_RDWR) (and
// closed at once: opening a hidraw node sends nothing to the device). A node that cannot be
// opened gets its cause. Nothing here needs or asks for more rights than the user's.
std::vector<DeviceAccess> CheckDeviceAccess(const AccessCheckSetup& setup = {});
// The same check for the node of one hidraw path; none when it is not a supported device's.
std::optional<DeviceAccess> CheckNodeAccess(const std::string& path, const AccessCheckSetup& setup = {});
// The cause for a node whose open failed with `error` (EACCES/EPERM: a permission cause).
AccessCause DiagnoseAccess(int error, uint16_t vendorId, const AccessCheckSetup& setup = {});
// True when a udev rules file in `setup.rulesFolders` grants uaccess for `vendorId`.
bool UdevRuleInstalled(uint16_t vendorId, const AccessCheckSetup& setup = {});

// The command that fixes `cause`, for the user to run (Tessel never runs it). `rulesFile` is the
// rule Tessel ships (for NoRule). Empty when there is no command for the cause.
std::string FixCommand(AccessCause cause, const std::string& rulesFile);
// "keyboard", "mouse", "mouse pad", "headset" (by device type code); "device" otherwise.
const char* DeviceKindName(uint16_t deviceType);

}  // namespace hid
