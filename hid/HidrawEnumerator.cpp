#include "hid/HidrawEnumerator.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <dirent.h>
#include <fstream>
#include <iterator>
#include <sstream>

#include "hid/ReportDescriptor.h"

namespace hid {

namespace {

bool readFile(const std::string& path, std::string& out)
{
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return false;
    out.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return !in.bad();
}

// "HID_ID=0003:00003A17:00005055" -> vendor 0x3A17, product 0x5055.
bool parseHidId(const std::string& uevent, HidAttributes& attributes)
{
    std::istringstream lines(uevent);
    std::string line;
    while (std::getline(lines, line)) {
        if (line.rfind("HID_ID=", 0) != 0)
            continue;
        unsigned bus = 0, vendor = 0, product = 0;
        if (std::sscanf(line.c_str() + 7, "%x:%x:%x", &bus, &vendor, &product) != 3)
            return false;
        attributes.vendorId = uint16_t(vendor);
        attributes.productId = uint16_t(product);
        return true;
    }
    return false;
}

// The USB interface number: the interface's bInterfaceNumber (hexadecimal), or the "inputN"
// that ends HID_PHYS when the parent is not a USB interface; 0 otherwise.
uint32_t interfaceNumber(const std::string& deviceDir, const std::string& uevent)
{
    std::string text;
    if (readFile(deviceDir + "/../bInterfaceNumber", text))
        return uint32_t(std::strtoul(text.c_str(), nullptr, 16));
    std::istringstream lines(uevent);
    std::string line;
    while (std::getline(lines, line)) {
        if (line.rfind("HID_PHYS=", 0) != 0)
            continue;
        const size_t at = line.rfind("/input");
        if (at != std::string::npos)
            return uint32_t(std::strtoul(line.c_str() + at + 6, nullptr, 10));
    }
    return 0;
}

uint32_t nodeNumber(const std::string& name)
{
    return uint32_t(std::strtoul(name.c_str() + 6, nullptr, 10));
}

}  // namespace

bool HidrawEnumerator::readNode(const std::string& sysfsRoot, const std::string& name, Node& node)
{
    const std::string deviceDir = sysfsRoot + "/class/hidraw/" + name + "/device";
    std::string uevent, descriptor, version;
    if (!readFile(deviceDir + "/uevent", uevent) || !parseHidId(uevent, node.attributes) ||
        !readFile(deviceDir + "/report_descriptor", descriptor))
        return false;
    node.name = name;
    // bcdDevice belongs to the USB device, two levels up from the HID device.
    if (readFile(deviceDir + "/../../bcdDevice", version))
        node.attributes.versionNumber = uint16_t(std::strtoul(version.c_str(), nullptr, 16));
    node.interfaceNumber = interfaceNumber(deviceDir, uevent);
    node.descriptor.assign(descriptor.begin(), descriptor.end());
    return true;
}

std::vector<std::string> HidrawEnumerator::paths(const std::string& sysfsRoot)
{
    std::vector<std::string> names;
    if (DIR* dir = ::opendir((sysfsRoot + "/class/hidraw").c_str())) {
        while (const dirent* e = ::readdir(dir)) {
            const std::string name = e->d_name;
            if (name.rfind("hidraw", 0) == 0 && name.size() > 6)
                names.push_back(name);
        }
        ::closedir(dir);
    }
    std::sort(names.begin(), names.end(), [](const std::string& a, const std::string& b) {
        return nodeNumber(a) < nodeNumber(b);
    });

    std::vector<std::string> out;
    for (const std::string& name : names) {
        Node node;
        ReportDescriptor descriptor;
        if (!readNode(sysfsRoot, name, node) || !descriptor.parse(node.descriptor))
            continue;
        const size_t count = descriptor.collections().size();
        char tokens[64];
        std::snprintf(tokens, sizeof tokens, "#vid_%04x&pid_%04x&mi_%02x",
                      unsigned(node.attributes.vendorId), unsigned(node.attributes.productId),
                      unsigned(node.interfaceNumber));
        const std::string base = "/dev/" + name + tokens;
        if (count == 1) {
            out.push_back(base);
            continue;
        }
        for (size_t i = 1; i <= count; ++i) {
            char col[16];
            std::snprintf(col, sizeof col, "&col%02zx", i);
            out.push_back(base + col);
        }
    }
    return out;
}

std::string HidrawEnumerator::devNode(const std::string& path)
{
    return path.substr(0, path.find('#'));
}

std::string HidrawEnumerator::nodeName(const std::string& path)
{
    const std::string node = devNode(path);
    const size_t slash = node.rfind('/');
    return slash == std::string::npos ? node : node.substr(slash + 1);
}

}  // namespace hid
