#include "sim/ReportDescriptors.h"

#include <cstdio>

namespace sim {
namespace {

using Bytes = std::vector<uint8_t>;

void append(Bytes& out, std::initializer_list<uint8_t> bytes) { out.insert(out.end(), bytes); }

// Boot keyboard without report IDs (interface 0 of the keyboard and its receiver).
Bytes bootKeyboard() {
    return {
        0x05, 0x01, 0x09, 0x06, 0xA1, 0x01,              // Generic Desktop / Keyboard
        0x05, 0x07, 0x19, 0xE0, 0x29, 0xE7, 0x15, 0x00,  //   modifier bits
        0x25, 0x01, 0x75, 0x01, 0x95, 0x08, 0x81, 0x02,  //
        0x95, 0x01, 0x75, 0x08, 0x81, 0x01,              //   reserved byte
        0x95, 0x05, 0x75, 0x01, 0x05, 0x08, 0x19, 0x01,  //   LED output bits
        0x29, 0x05, 0x91, 0x02, 0x95, 0x01, 0x75, 0x03,  //
        0x91, 0x01,                                      //
        0x95, 0x06, 0x75, 0x08, 0x15, 0x00, 0x26, 0xFF,  //   six key usages
        0x00, 0x05, 0x07, 0x19, 0x00, 0x2A, 0xFF, 0x00,  //
        0x81, 0x00,                                      //
        0xC0,
    };
}

// Boot mouse without report IDs (interface 0 of the mouse and its receiver).
Bytes bootMouse() {
    return {
        0x05, 0x01, 0x09, 0x02, 0xA1, 0x01, 0x09, 0x01, 0xA1, 0x00,  // Mouse / Pointer
        0x05, 0x09, 0x19, 0x01, 0x29, 0x05, 0x15, 0x00, 0x25, 0x01,  //   five buttons
        0x95, 0x05, 0x75, 0x01, 0x81, 0x02, 0x95, 0x01, 0x75, 0x03,  //
        0x81, 0x01,                                                  //
        0x05, 0x01, 0x09, 0x30, 0x09, 0x31, 0x09, 0x38, 0x15, 0x81,  //   X, Y, wheel
        0x25, 0x7F, 0x75, 0x08, 0x95, 0x03, 0x81, 0x06,              //
        0xC0, 0xC0,
    };
}

// The consumer-control collection body: one 16-bit usage per report. Event codes (0x401, 0x1002,
// ...) travel as that usage, so a decoder sees them as the first usage of the first input item.
void consumerUsageItem(Bytes& out) {
    append(out, {0x85, kConsumerReportId, 0x15, 0x00, 0x26, 0xFF, 0x7F, 0x19, 0x00, 0x2A, 0xFF,
                 0x7F, 0x75, 0x10, 0x95, 0x01, 0x81, 0x00});
}

// The 64-byte command report (ID 4, 63 data bytes each way) on vendor usages.
void commandReportItems(Bytes& out) {
    append(out, {0x85, kCommandReportId, 0x15, 0x00, 0x26, 0xFF, 0x00, 0x75, 0x08, 0x95, 0x3F,
                 0x09, 0x01, 0x81, 0x02, 0x09, 0x02, 0x91, 0x02});
}

// Interface 1 of the maker's devices and receivers, four top-level collections in this order:
// 01 keyboard keys, 02 system control, 03 consumer control (event codes), 04 vendor commands.
Bytes vendorInterface() {
    Bytes d = {
        0x05, 0x01, 0x09, 0x06, 0xA1, 0x01, 0x85, kKeyboardReportId,  // 01 Keyboard
        0x05, 0x07, 0x19, 0xE0, 0x29, 0xE7, 0x15, 0x00, 0x25, 0x01,
        0x75, 0x01, 0x95, 0x08, 0x81, 0x02,
        0x95, 0x06, 0x75, 0x08, 0x15, 0x00, 0x26, 0xFF, 0x00,
        0x19, 0x00, 0x2A, 0xFF, 0x00, 0x81, 0x00,
        0xC0,
        0x05, 0x01, 0x09, 0x80, 0xA1, 0x01, 0x85, kSystemReportId,  // 02 System Control
        0x19, 0x81, 0x29, 0x83, 0x15, 0x00, 0x25, 0x01, 0x75, 0x01, 0x95, 0x03, 0x81, 0x02,
        0x95, 0x05, 0x81, 0x01,
        0xC0,
        0x05, 0x0C, 0x09, 0x01, 0xA1, 0x01,  // 03 Consumer Control
    };
    consumerUsageItem(d);
    append(d, {0xC0});
    append(d, {0x06, 0x1C, 0xFF, 0x09, 0x92, 0xA1, 0x01});  // 04 vendor page 0xFF1C, usage 0x92
    commandReportItems(d);
    append(d, {0xC0});
    return d;
}

// Interface 3 of the headset: one consumer-control collection carrying the consumer usages,
// the command reports and the 17-byte lighting output reports.
Bytes headsetInterface() {
    Bytes d = {0x05, 0x0C, 0x09, 0x01, 0xA1, 0x01};
    consumerUsageItem(d);
    append(d, {0x06, 0x1C, 0xFF});  // vendor usages inside the consumer collection
    commandReportItems(d);
    append(d, {0x85, kHeadsetLightReportId, 0x15, 0x00, 0x26, 0xFF, 0x00, 0x75, 0x08, 0x95,
               0x10, 0x09, 0x03, 0x91, 0x02});
    append(d, {0xC0});
    return d;
}

std::vector<CollectionSpec> vendorCollections() {
    return {
        {1, 0x0001, 0x0006, false, false, false, true},
        {2, 0x0001, 0x0080, false, false, false},
        {3, 0x000C, 0x0001, false, true, false},
        {4, 0xFF1C, 0x0092, true, false, false},
    };
}

}  // namespace

std::vector<InterfaceSpec> interfacesFor(DeviceKind kind, Route route) {
    switch (kind) {
    case DeviceKind::Keyboard:
        return {{0, bootKeyboard(), {{1, 0x0001, 0x0006, false, false, false}}},
                {1, vendorInterface(), vendorCollections()}};
    case DeviceKind::Mouse:
        return {{0, bootMouse(), {{1, 0x0001, 0x0002, false, false, false}}},
                {1, vendorInterface(), vendorCollections()}};
    case DeviceKind::Pad:
        if (route != Route::Cable) return {};
        return {{1, vendorInterface(), vendorCollections()}};
    case DeviceKind::Headset:
        if (route != Route::Cable) return {};
        return {{3, headsetInterface(), {{1, 0x000C, 0x0001, true, true, true}}}};
    }
    return {};
}

std::string collectionSocketName(const UsbIdentity& id, const InterfaceSpec& iface,
                                 const CollectionSpec& collection) {
    char name[64];
    if (iface.collections.size() > 1) {
        std::snprintf(name, sizeof name, "hid#vid_%04x&pid_%04x&mi_%02x&col%02x", id.vendorId,
                      id.productId, iface.number, collection.index);
    } else {
        std::snprintf(name, sizeof name, "hid#vid_%04x&pid_%04x&mi_%02x", id.vendorId,
                      id.productId, iface.number);
    }
    return name;
}

}  // namespace sim
