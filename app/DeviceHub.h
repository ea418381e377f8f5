#pragma once

#include "app/ConnectedDevice.h"
#include "hid/SupportedInterfaces.h"

#include <QString>
#include <functional>
#include <memory>
#include <utility>
#include <vector>

class CVantikUSBDevice;
class QWidget;
class WindowImplBase;
namespace ui {
class CDeviceOptionUI;
class CMpDevicePowerUI;
class PaintManager;
}

namespace app {

// One kind of device as the device strip knows it: its tab and its page.
struct DeviceOptionRow {
    const char* kindName;  // names the device's data folder
    int deviceNumber;
    uint16_t vendorId, productId, deviceType, variant;
    const char* pageFile;  // the device page, relative to the skin folder
    const char* lightControlName;
    uint32_t ledCount, keyCount;
    uint32_t hasPowerPanel;
    int mouseValue;
};
// Mouse, keyboard, mouse pad, headset, in this order.
const std::vector<DeviceOptionRow>& DeviceOptionRows();

// The main window's half of device discovery and its device strip: the lists of device objects
// (each built when its device first appears, never destroyed while the application runs), the interface register the capture thread
// fills, what happens when an interface is found or lost (attach, route switch, detach), and
// the tabs with their pages and power panels. UI thread only, except Register().
class DeviceHub {
public:
    DeviceHub(WindowImplBase& window, ui::PaintManager& pm);
    ~DeviceHub();

    std::shared_ptr<hid::InterfaceRegister> Register() const { return m_register; }

    // Register entry i became present: attach it, creating its device when needed. False when
    // its command channel could not be opened (it is then tried again).
    bool InterfaceFound(int i);
    void InterfaceLost(int i);

    // --- Device strip ---
    int TabCount() const { return int(m_tabs.size()); }
    int VisibleTabCount() const;
    // The tab that is both visible and selected; -1 when none is.
    int CurrentTab() const;
    CVantikUSBDevice* CurrentDevice() const;
    void ShowTab(int index, bool visible, bool select);
    // Hides a tab whose device went away, selecting another visible tab if it was current.
    void HideLostTab(int index);
    // The tab-visibility message of the devices (0x0D03).
    void SetTabVisibility(int index, bool show);
    void SelectNeighbour(int direction);
    // "device_select" of `tab` was selected by the user.
    void TabSelected(ui::CDeviceOptionUI* tab);
    ui::CDeviceOptionUI* TabAt(int index) const;
    // The device behind a tab control (or one of its children); null for anything else.
    CVantikUSBDevice* DeviceOfTab(QWidget* control) const;

    // Every device object: mice, mouse pads, keyboards, headsets.
    std::vector<CVantikUSBDevice*> AllDevices() const;
    const std::vector<CVantikUSBDevice*>& Mice() const { return m_mice; }
    const std::vector<CVantikUSBDevice*>& Keyboards() const { return m_keyboards; }
    const std::vector<CVantikUSBDevice*>& MousePads() const { return m_mousePads; }
    const std::vector<CVantikUSBDevice*>& Headsets() const { return m_headsets; }
    // What the D-Bus interface lists: the devices whose tabs are shown.
    ConnectedDevices ListConnected() const;
    // The same list with the device object behind each entry (for the D-Bus device control).
    std::vector<std::pair<ConnectedDevice, CVantikUSBDevice*>> ConnectedObjects() const;

    // Shows the "no device" page when no tab is visible, and the strip's arrows with two tabs.
    void UpdateNoDeviceLink();

    // Called whenever a device's shown state changes (connected, gone, a status read).
    void SetDeviceStateHandler(std::function<void()> handler) { m_stateHandler = std::move(handler); }

    // Stops every device's threads and closes its channels (at exit).
    void DetachAll();

    // --- Pages built when first wanted ---
    // With `deferred` (a start in the tray or in the background), a new device's object is
    // made without the controls of its page: it connects, loads and applies its profile and
    // runs its lighting as usual, and its page is built by BuildPages when the window is
    // about to be shown. Its tab and power panel are built at once.
    void SetPagesDeferred(bool deferred) { m_pagesDeferred = deferred; }
    // Builds the pages of the devices made without them and shows each device's state in its
    // page; from then on every new device gets its page at once. Returns how many pages it built.
    int BuildPages();
    // Devices whose pages are not built yet.
    int PagesPending() const;

private:
    CVantikUSBDevice* CreateDevice(int row, uint16_t variant);
    // A device object of `pageFile`'s top-level class without the page's controls; null when
    // the file or its class is not known.
    CVantikUSBDevice* CreatePageObject(const QString& pageFile);
    // The identity under which a device stores entry e: the command entry of the cable route.
    hid::InterfaceEntry DeviceIdentity(const hid::InterfaceEntry& e) const;
    CVantikUSBDevice* FindDevice(const hid::InterfaceEntry& identity) const;
    std::vector<CVantikUSBDevice*>& ListOfType(uint16_t deviceType);
    bool AttachCommand(int i, const hid::InterfaceEntry& e);
    void AttachNotification(const hid::InterfaceEntry& e);
    void DetachCommand(int i, const hid::InterfaceEntry& e);
    void DetachNotification(const hid::InterfaceEntry& e);
    bool SwitchRoute(int cableRow);
    int TabIndexOf(const CVantikUSBDevice* device) const;
    void UpdateSameLightingAvailability();

    WindowImplBase& m_window;
    ui::PaintManager& m_pm;
    std::shared_ptr<hid::InterfaceRegister> m_register;
    std::vector<CVantikUSBDevice*> m_mousePads, m_mice, m_keyboards, m_headsets;
    std::vector<ui::CMpDevicePowerUI*> m_powerPanels;
    std::vector<ui::CDeviceOptionUI*> m_tabs;
    std::vector<int> m_tabOptions;  // the DeviceOptionRows() row of each tab
    std::function<void()> m_stateHandler;
    bool m_pagesDeferred = false;
    // The devices made without their page's controls, with their page files.
    std::vector<std::pair<CVantikUSBDevice*, QString>> m_pendingPages;
};

}  // namespace app
