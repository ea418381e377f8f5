#include "hid/DeviceCapture.h"

#include "hid/DebugLog.h"
#include "hid/HidChannel.h"
#include "hid/UdevMonitor.h"

namespace hid {

DeviceCapture::DeviceCapture(InterfaceRegister& reg, Callbacks callbacks)
    : m_register(reg), m_callbacks(std::move(callbacks))
{
}

void DeviceCapture::Run(const Event& exit)
{
    UdevMonitor monitor;
    const bool watching = monitor.start();
    while (!exit.wait(1)) {
        ScanOnce();
        if (m_listingFailed)
            break;
        if (!watching) {
            if (exit.wait(kPollMs))
                break;
            continue;
        }
        // A change wakes the next pass at once. Without one the loop still wakes every poll
        // period, to see the exit event and a channel that saw its interface end, but lists
        // and checks the interfaces again only every kWatchedScanMs (a missed event costs
        // latency, never correctness), or every period while a candidate could not be opened
        // (udev still granting access). An idle Tessel so does ten times less work here.
        for (uint32_t waited = kPollMs;; waited += kPollMs) {
            if (monitor.waitForChange(kPollMs) || m_retrySoon || waited >= kWatchedScanMs || exit.isSet() ||
                PresentInterfaceGone())
                break;
        }
    }
    qCDebug(tesselDebug) << "抓取设备线程设定退出";
}

void DeviceCapture::ScanOnce()
{
    m_retrySoon = false;
    if (m_register.HasFreeEntry())
        RegisterNewInterfaces();
    CheckPresentInterfaces();
}

void DeviceCapture::RegisterNewInterfaces()
{
    HidChannel lister;
    if (!lister.listDevices()) {
        m_listingFailed = true;
        return;
    }
    std::vector<std::string> failed;
    for (std::string path = lister.nextDevicePath(); !path.empty(); path = lister.nextDevicePath()) {
        if (!ProbeCandidate(path))
            failed.push_back(path);
    }
    lister.freeDeviceList();
    m_retrySoon = !failed.empty();
    if (m_callbacks.accessDenied)
        ReportDenied(failed);
    if (!m_firstScanDone) {
        m_firstScanDone = true;
        if (m_callbacks.firstScan)
            m_callbacks.firstScan();
    }
}

bool DeviceCapture::ProbeCandidate(const std::string& path)
{
    const auto vendor = uint16_t(vendorIdFromPath(path));
    const auto product = uint16_t(productIdFromPath(path));
    const auto mi = uint16_t(interfaceNumberFromPath(path));
    const auto col = uint16_t(collectionNumberFromPath(path));
    // Only collections of the table are opened: a keyboard's other collections never are.
    if (!m_register.HasFreeCandidate(vendor, product, mi, col))
        return true;
    // Taken before the probe opens the node: if it is replaced meanwhile, the next check sees a
    // different identity and the entry is dropped and found again.
    const NodeIdentity identity = nodeIdentityOf(path);
    if (!identity.valid())
        return true;
    HidChannel probe;
    // Read access only: a probe must not disturb a device another program is driving. A node
    // that cannot be opened yet (udev still granting access) is tried again on the next pass.
    if (!probe.open(path, true, false, true, false))
        return false;
    const HidAttributes& attributes = probe.attributes();
    const HidCaps& caps = probe.caps();
    const int i = m_register.FindFree(attributes.vendorId, attributes.productId, mi, col,
                                      caps.usagePage, caps.usage);
    probe.close();
    if (i < 0)
        return true;
    forgetInterfaceGone(path);
    m_register.MarkPresent(i, path, identity);
    if (m_callbacks.found && !m_callbacks.found(i)) {
        m_register.MarkLost(i);
        return false;
    }
    return true;
}

void DeviceCapture::ReportDenied(const std::vector<std::string>& failedPaths)
{
    std::vector<DeviceAccess> denied;
    for (const std::string& path : failedPaths) {
        if (path.rfind("/dev/", 0) != 0)
            continue;  // a simulator socket: no permissions to check
        const auto access = CheckNodeAccess(path);
        if (!access || access->canOpen || access->cause == AccessCause::Other)
            continue;
        bool listed = false;
        for (const DeviceAccess& d : denied)
            listed = listed || d.node == access->node;
        if (!listed)
            denied.push_back(*access);
    }
    // Reported once seen on two passes in a row.
    std::vector<DeviceAccess> confirmed;
    for (const DeviceAccess& d : denied) {
        for (const DeviceAccess& before : m_deniedLastPass) {
            if (before == d)
                confirmed.push_back(d);
        }
    }
    m_deniedLastPass = std::move(denied);
    if (confirmed == m_deniedReported)
        return;
    m_deniedReported = confirmed;
    for (const DeviceAccess& d : confirmed)
        qCDebug(tesselDebug, "may not open %s (%04x:%04x): cause %d", d.node.c_str(), unsigned(d.vendorId),
                unsigned(d.productId), int(d.cause));
    m_callbacks.accessDenied(confirmed);
}



void DeviceCapture::CheckPresentInterfaces()
{
    const auto paths = m_register.PresentPaths();
    for (size_t i = 0; i < paths.size(); ++i) {
        if (paths[i].empty())
            continue;
        // The same node still there, and no channel of it saw it end: still present. A node
        // that went and came back between two passes has another identity and counts as lost,
        // so its dead channels are closed and the new node is opened on the next pass.
        const NodeIdentity registered = m_register.Identity(int(i));
        const bool sameNode = !registered.valid() ? InterfacePresent(paths[i])
                                                   : nodeIdentityOf(paths[i]) == registered;
        if (sameNode && !takeInterfaceGone(paths[i], registered))
            continue;
        m_register.MarkLost(int(i));
        if (m_callbacks.lost)
            m_callbacks.lost(int(i));
    }
}

bool DeviceCapture::PresentInterfaceGone() const
{
    for (const std::string& path : m_register.PresentPaths()) {
        if (!path.empty() && interfaceGoneReported(path))
            return true;
    }
    return false;
}

bool DeviceCapture::InterfacePresent(const std::string& path)
{
    // hidraw paths are the node followed by "#" and the interface's tokens.
    return nodeIdentityOf(path).valid();
}

}  // namespace hid
