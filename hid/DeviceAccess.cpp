#include "hid/DeviceAccess.h"

#include <cerrno>
#include <cstdio>
#include <dirent.h>
#include <fcntl.h>
#include <fstream>
#include <iterator>
#include <set>
#include <unistd.h>

#include "hid/HidChannel.h"
#include "hid/HidrawEnumerator.h"
#include "hid/SupportedInterfaces.h"

namespace hid {

namespace {

bool exists(const std::string& path)
{
    return ::access(path.c_str(), F_OK) == 0;
}

bool fileMentions(const std::string& path, const std::string& a, const std::string& b)
{
    std::ifstream in(path);
    if (!in)
        return false;
    const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    return text.find(a) != std::string::npos && text.find(b) != std::string::npos;
}

// The row of the supported table this node belongs to (vendor, product, interface); -1 if none.
int supportedRow(uint16_t vendor, uint16_t product, uint32_t interfaceNumber)
{
    const auto& table = SupportedInterfaces();
    for (size_t i = 0; i < table.size(); ++i) {
        if (table[i].vendorId == vendor && table[i].productId == product &&
            table[i].interfaceNumber == interfaceNumber)
            return int(i);
    }
    return -1;
}

// Shell quoting for a path shown inside a command.
std::string quoted(const std::string& s)
{
    std::string out = "'";
    for (char c : s) {
        if (c == '\'')
            out += "'\\''";
        else
            out += c;
    }
    return out + "'";
}

}  // namespace

bool UdevRuleInstalled(uint16_t vendorId, const AccessCheckSetup& setup)
{
    char vendor[32];
    std::snprintf(vendor, sizeof vendor, "\"%04x\"", unsigned(vendorId));
    for (const std::string& folder : setup.rulesFolders) {
        DIR* dir = ::opendir(folder.c_str());
        if (!dir)
            continue;
        bool found = false;
        while (const dirent* e = ::readdir(dir)) {
            const std::string name = e->d_name;
            if (name.size() < 7 || name.compare(name.size() - 6, 6, ".rules") != 0)
                continue;
            if (fileMentions(folder + "/" + name, vendor, "uaccess")) {
                found = true;
                break;
            }
        }
        ::closedir(dir);
        if (found)
            return true;
    }
    return false;
}

AccessCause DiagnoseAccess(int error, uint16_t vendorId, const AccessCheckSetup& setup)
{
    if (error == 0)
        return AccessCause::None;
    if (error != EACCES && error != EPERM)
        return AccessCause::Other;
    if (!setup.sandboxMarker.empty() && exists(setup.sandboxMarker))
        return AccessCause::Sandbox;
    return UdevRuleInstalled(vendorId, setup) ? AccessCause::NoSessionAcl : AccessCause::NoRule;
}

std::optional<DeviceAccess> CheckNodeAccess(const std::string& path, const AccessCheckSetup& setup)
{
    DeviceAccess access;
    access.node = HidrawEnumerator::devNode(path);
    access.vendorId = uint16_t(vendorIdFromPath(path));
    access.productId = uint16_t(productIdFromPath(path));
    access.interfaceNumber = interfaceNumberFromPath(path);
    const int row = supportedRow(access.vendorId, access.productId, access.interfaceNumber);
    if (row < 0)
        return std::nullopt;
    access.deviceType = SupportedInterfaces()[size_t(row)].deviceType;
    const int fd = ::open(access.node.c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC);
    if (fd >= 0) {
        ::close(fd);
        access.canOpen = true;
    } else {
        access.error = errno;
        access.cause = DiagnoseAccess(access.error, access.vendorId, setup);
    }
    return access;
}

std::vector<DeviceAccess> CheckDeviceAccess(const AccessCheckSetup& setup)
{
    std::vector<DeviceAccess> out;
    std::set<std::string> seen;
    for (const std::string& path : HidrawEnumerator::paths(setup.sysfsRoot)) {
        if (!seen.insert(HidrawEnumerator::devNode(path)).second)
            continue;
        if (auto access = CheckNodeAccess(path, setup))
            out.push_back(*access);
    }
    return out;
}

std::string FixCommand(AccessCause cause, const std::string& rulesFile)
{
    const std::string reload = "sudo udevadm control --reload && sudo udevadm trigger --action=add --subsystem-match=hidraw";
    switch (cause) {
    case AccessCause::NoRule:
        return "sudo install -m 0644 " + quoted(rulesFile) + " /etc/udev/rules.d/70-tessel.rules && " + reload;
    case AccessCause::NoSessionAcl:
        return reload;
    case AccessCause::Sandbox:
        return "flatpak override --user --device=all org.tessel.Tessel";
    case AccessCause::None:
    case AccessCause::Other:
        break;
    }
    return {};
}

const char* DeviceKindName(uint16_t deviceType)
{
    switch (deviceType) {
    case devtype::kKeyboard:
    case devtype::kKeyboardReceiver:
        return "keyboard";
    case devtype::kMouse:
    case devtype::kMouseReceiver:
        return "mouse";
    case devtype::kMousePad:
        return "mouse pad";
    case devtype::kHeadset:
        return "headset";
    default:
        return "device";
    }
}

}  // namespace hid
