#include "hid/SupportedInterfaces.h"

namespace hid {

namespace {

using namespace devtype;

InterfaceEntry row(uint16_t vid, uint16_t pid, uint16_t mi, uint16_t col, uint16_t type,
                   uint16_t role, uint16_t page, uint16_t usage, uint16_t hasPartner,
                   uint16_t partner)
{
    InterfaceEntry e;
    e.vendorId = vid;
    e.productId = pid;
    e.interfaceNumber = mi;
    e.collection = col;
    e.deviceType = type;
    e.role = role;
    e.usagePage = page;
    e.usage = usage;
    e.hasPartner = hasPartner;
    e.partnerRow = partner;
    return e;
}

}  // namespace

bool SameIdentity(const InterfaceEntry& a, const InterfaceEntry& b)
{
    return a.vendorId == b.vendorId && a.productId == b.productId &&
           a.interfaceNumber == b.interfaceNumber && a.collection == b.collection &&
           a.deviceType == b.deviceType && a.role == b.role && a.usagePage == b.usagePage &&
           a.usage == b.usage;
}

const std::array<InterfaceEntry, kSupportedInterfaceCount>& SupportedInterfaces()
{
    // Interface 1 of the maker's devices: collection 4 carries the commands, collection 3 the
    // event reports. The headset has a single collection on interface 3.
    static const std::array<InterfaceEntry, kSupportedInterfaceCount> table = {
        row(0x3A17, 0x5055, 1, 4, kKeyboard, kRoleCommand, 0xFF1C, 0x92, 1, 2),
        row(0x3A17, 0x5055, 1, 3, kKeyboard, kRoleNotification, 0x000C, 0x01, 1, 3),
        row(0x3A17, 0x5088, 1, 4, kKeyboardReceiver, kRoleCommand, 0xFF1C, 0x92, 1, 0),
        row(0x3A17, 0x5088, 1, 3, kKeyboardReceiver, kRoleNotification, 0x000C, 0x01, 1, 1),
        row(0x3A17, 0x221C, 1, 4, kMouse, kRoleCommand, 0xFF1C, 0x92, 1, 6),
        row(0x3A17, 0x221C, 1, 3, kMouse, kRoleNotification, 0x000C, 0x01, 1, 7),
        row(0x3A17, 0x221D, 1, 4, kMouseReceiver, kRoleCommand, 0xFF1C, 0x92, 1, 4),
        row(0x3A17, 0x221D, 1, 3, kMouseReceiver, kRoleNotification, 0x000C, 0x01, 1, 5),
        row(0x3A17, 0x1004, 1, 4, kMousePad, kRoleCommand, 0xFF1C, 0x92, 0, 0),
        row(0x3A17, 0x1004, 1, 3, kMousePad, kRoleNotification, 0x000C, 0x01, 0, 0),
        row(0x0C76, 0x1630, 3, 0, kHeadset, kRoleCommand, 0x000C, 0x01, 0, 0),
    };
    return table;
}

InterfaceRegister::InterfaceRegister() : m_entries(SupportedInterfaces()) {}

std::optional<InterfaceEntry> InterfaceRegister::Entry(int i) const
{
    if (i < 0 || i >= size())
        return std::nullopt;
    std::lock_guard lock(m_mutex);
    return m_entries[size_t(i)];
}

bool InterfaceRegister::HasFreeEntry() const
{
    std::lock_guard lock(m_mutex);
    for (const InterfaceEntry& e : m_entries) {
        if (e.isFree())
            return true;
    }
    return false;
}

int InterfaceRegister::FindFree(uint16_t vendorId, uint16_t productId, uint16_t interfaceNumber,
                                uint16_t collection, uint16_t usagePage, uint16_t usage) const
{
    std::lock_guard lock(m_mutex);
    for (size_t i = 0; i < m_entries.size(); ++i) {
        const InterfaceEntry& e = m_entries[i];
        if (e.isFree() && e.vendorId == vendorId && e.productId == productId &&
            e.interfaceNumber == interfaceNumber && e.collection == collection &&
            e.usagePage == usagePage && e.usage == usage)
            return int(i);
    }
    return -1;
}

bool InterfaceRegister::HasFreeCandidate(uint16_t vendorId, uint16_t productId,
                                         uint16_t interfaceNumber, uint16_t collection) const
{
    std::lock_guard lock(m_mutex);
    for (const InterfaceEntry& e : m_entries) {
        if (e.isFree() && e.vendorId == vendorId && e.productId == productId &&
            e.interfaceNumber == interfaceNumber && e.collection == collection)
            return true;
    }
    return false;
}

void InterfaceRegister::MarkPresent(int i, const std::string& path, const NodeIdentity& identity)
{
    if (i < 0 || i >= size())
        return;
    std::lock_guard lock(m_mutex);
    m_entries[size_t(i)].present = 1;
    m_entries[size_t(i)].path = path;
    m_identities[size_t(i)] = identity;
}

NodeIdentity InterfaceRegister::Identity(int i) const
{
    if (i < 0 || i >= size())
        return {};
    std::lock_guard lock(m_mutex);
    return m_identities[size_t(i)];
}

void InterfaceRegister::MarkLost(int i)
{
    if (i < 0 || i >= size())
        return;
    std::lock_guard lock(m_mutex);
    m_entries[size_t(i)].present = 0;
    m_entries[size_t(i)].path.clear();
    m_identities[size_t(i)] = {};
}

std::array<std::string, kSupportedInterfaceCount> InterfaceRegister::PresentPaths() const
{
    std::array<std::string, kSupportedInterfaceCount> out;
    std::lock_guard lock(m_mutex);
    for (size_t i = 0; i < m_entries.size(); ++i) {
        if (m_entries[i].present)
            out[i] = m_entries[i].path;
    }
    return out;
}

bool InterfaceRegister::PartnerPresent(int i) const
{
    if (i < 0 || i >= size())
        return false;
    std::lock_guard lock(m_mutex);
    const InterfaceEntry& e = m_entries[size_t(i)];
    if (!e.hasPartner || e.partnerRow >= m_entries.size())
        return false;
    const InterfaceEntry& p = m_entries[e.partnerRow];
    return p.partnerRow == i && p.present && !p.path.empty();
}

}  // namespace hid
