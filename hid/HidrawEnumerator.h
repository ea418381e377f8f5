#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "hid/HidTypes.h"

namespace hid {

// Walks the hidraw class in sysfs ("<root>/class/hidraw/hidrawN"): each node's HID_ID, USB
// interface number and report descriptor. Every top-level collection of a node becomes one path.
class HidrawEnumerator {
public:
    struct Node {
        std::string name;  // "hidraw3"
        HidAttributes attributes;
        uint32_t interfaceNumber = 0;
        std::vector<uint8_t> descriptor;
    };

    // The node's sysfs facts; false when it has no readable HID_ID or report descriptor.
    static bool readNode(const std::string& sysfsRoot, const std::string& name, Node& node);
    // Paths of every collection of every node, nodes in number order: "/dev/hidraw3#vid_3a17&
    // pid_5055&mi_01" plus "&colNN" (01, 02, ... in descriptor order) when the node has more
    // than one top-level collection. A node whose descriptor does not parse is left out.
    static std::vector<std::string> paths(const std::string& sysfsRoot);
    // The node part of a hidraw path ("/dev/hidraw3") and its name ("hidraw3").
    static std::string devNode(const std::string& path);
    static std::string nodeName(const std::string& path);
};

}  // namespace hid
