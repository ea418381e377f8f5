#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "sim/DeviceKind.h"

namespace sim {

// Report IDs the virtual devices use.
inline constexpr uint8_t kKeyboardReportId = 1;     // keys (interface 1, collection 01)
inline constexpr uint8_t kSystemReportId = 2;       // power, sleep, wake (collection 02)
inline constexpr uint8_t kConsumerReportId = 3;     // consumer usages and event codes
inline constexpr uint8_t kCommandReportId = 4;      // 64-byte command request and reply
inline constexpr uint8_t kHeadsetLightReportId = 0xFF;  // the headset's 17-byte lighting output

inline constexpr uint32_t kCommandReportLength = 64;     // report ID included
inline constexpr uint32_t kHeadsetLightReportLength = 17;
inline constexpr uint32_t kConsumerReportLength = 3;     // ID + one 16-bit usage
inline constexpr uint32_t kKeyboardReportLength = 8;     // ID + modifier bits + six key usages

// One top-level collection of an interface: the socket that represents it and which of the
// device's report streams it carries.
struct CollectionSpec {
    uint8_t index = 1;          // 1-based, in descriptor order
    uint16_t usagePage = 0;
    uint16_t usage = 0;
    bool carriesCommands = false;  // owns report ID 4 (in and out)
    bool carriesEvents = false;    // owns report ID 3 input (event codes)
    bool carriesLighting = false;  // owns report ID 0xFF output (headset lighting)
    bool carriesKeys = false;      // owns report ID 1 input (keys held: modifier bits, six usages)
};

// One USB HID interface: its report descriptor and its top-level collections.
struct InterfaceSpec {
    uint8_t number = 0;
    std::vector<uint8_t> descriptor;
    std::vector<CollectionSpec> collections;
};

// The HID interfaces a device presents on a route (the receiver presents the same collections
// as the device's own cable interface).
std::vector<InterfaceSpec> interfacesFor(DeviceKind kind, Route route);

// Socket name of one collection: "hid#vid_3a17&pid_5055&mi_01&col04"; "&colNN" only when the
// interface has more than one top-level collection.
std::string collectionSocketName(const UsbIdentity& id, const InterfaceSpec& iface,
                                 const CollectionSpec& collection);

}  // namespace sim
