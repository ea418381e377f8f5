#pragma once

#include <array>
#include <cstdint>
#include <mutex>
#include <optional>
#include <string>

#include "hid/NodeIdentity.h"

namespace hid {

// Device type codes: what a supported interface belongs to and by which route.
namespace devtype {
inline constexpr uint16_t kKeyboard = 1;          // keyboard on its cable
inline constexpr uint16_t kMouse = 2;             // mouse on its cable
inline constexpr uint16_t kMousePad = 3;          // lit mouse pad
inline constexpr uint16_t kMouseReceiver = 6;     // mouse through its 2.4 GHz receiver
inline constexpr uint16_t kHeadset = 7;           // USB headset
inline constexpr uint16_t kKeyboardReceiver = 9;  // keyboard through its 2.4 GHz receiver
}  // namespace devtype

// Roles of a supported interface.
inline constexpr uint16_t kRoleCommand = 0;         // the transport's channel
inline constexpr uint16_t kRoleNotification = 255;  // event reports read by the device's listener

// One HID top-level collection of one supported device, and (in the register) whether it is
// open for its device right now and on which path.
struct InterfaceEntry {
    uint16_t vendorId = 0;
    uint16_t productId = 0;
    uint16_t interfaceNumber = 0;  // after "&mi_" in the path
    uint16_t collection = 0;       // after "&col"; 0 when the path has none
    uint16_t deviceType = 0;       // devtype::
    uint16_t role = 0;             // kRoleCommand or kRoleNotification
    uint16_t present = 0;
    uint16_t usagePage = 0;
    uint16_t usage = 0;
    uint16_t hasPartner = 0;  // the same device is also reachable by the other route
    uint16_t partnerRow = 0;  // the row of the same collection by the other route
    std::string path;

    bool isFree() const { return present == 0 && path.empty(); }
    bool isReceiverRoute() const
    {
        return deviceType == devtype::kMouseReceiver || deviceType == devtype::kKeyboardReceiver;
    }
};

// Two entries denote the same collection when everything but presence, partner and path match.
bool SameIdentity(const InterfaceEntry& a, const InterfaceEntry& b);

inline constexpr size_t kSupportedInterfaceCount = 11;
// The supported HID collections, in their fixed order (the row index is an entry's identity in
// the messages between discovery and the main window).
const std::array<InterfaceEntry, kSupportedInterfaceCount>& SupportedInterfaces();

// The main window's run-time copy of the supported table, whose present flags and paths change
// as interfaces come and go. The capture thread and the UI thread both use it; every access
// holds the register's own lock, so neither sees a half-written path.
class InterfaceRegister {
public:
    InterfaceRegister();

    static constexpr int size() { return int(kSupportedInterfaceCount); }
    // A copy of entry i; none when i is out of range.
    std::optional<InterfaceEntry> Entry(int i) const;
    bool HasFreeEntry() const;
    // The first free entry with these six values; -1 when there is none.
    int FindFree(uint16_t vendorId, uint16_t productId, uint16_t interfaceNumber,
                 uint16_t collection, uint16_t usagePage, uint16_t usage) const;
    // Whether some free entry has these four values (vendor, product, numbers), before probing.
    bool HasFreeCandidate(uint16_t vendorId, uint16_t productId, uint16_t interfaceNumber,
                          uint16_t collection) const;
    // `identity` is the node's at registration: presence is later judged by it, not by the path.
    void MarkPresent(int i, const std::string& path, const NodeIdentity& identity = {});
    void MarkLost(int i);
    // The identity entry i was registered with (invalid when free or registered without one).
    NodeIdentity Identity(int i) const;
    // The present entries with their paths.
    std::array<std::string, kSupportedInterfaceCount> PresentPaths() const;
    // Whether entry i's partner (the other route of the same device) is present: it has one,
    // the partner points back, and the partner is present with a path.
    bool PartnerPresent(int i) const;

private:
    mutable std::mutex m_mutex;
    std::array<InterfaceEntry, kSupportedInterfaceCount> m_entries;
    std::array<NodeIdentity, kSupportedInterfaceCount> m_identities{};
};

}  // namespace hid
