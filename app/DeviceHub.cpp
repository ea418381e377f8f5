#include "app/DeviceHub.h"
#include "editors/CLightControlUI.h"

#include "devices/CVantikUSBDevice.h"
#include "hid/DebugLog.h"
#include "ui/Builder.h"
#include "ui/ControlFactory.h"
#include "ui/CDeviceOptionUI.h"
#include "ui/CMpDevicePowerUI.h"
#include "ui/Language.h"
#include "ui/PaintManager.h"
#include "ui/StackSizing.h"
#include "ui/WindowImplBase.h"

#include <QBoxLayout>
#include <QStackedWidget>

#include <algorithm>
#include <numeric>

namespace app {

using hid::InterfaceEntry;
namespace devtype = hid::devtype;

namespace {

constexpr char kPowerPanelLayout[] = "XML/CustomControlXML/MpDevicePower.xml";
constexpr char kTabLayout[] = "XML/CustomControlXML/DeviceOption.xml";
// A route switch to the receiver waits for the device to answer through it.
constexpr int kLinkCheckTries = 26;
constexpr int kLinkCheckPauseMs = 50;

bool isKeyboard(uint16_t t) { return t == devtype::kKeyboard || t == devtype::kKeyboardReceiver; }
bool isMouse(uint16_t t) { return t == devtype::kMouse || t == devtype::kMouseReceiver; }

}  // namespace

const std::vector<DeviceOptionRow>& DeviceOptionRows()
{
    static const std::vector<DeviceOptionRow> rows = {
        {"mouse", 1, 0x3A17, 0x221C, devtype::kMouse, 0, "XML/DeviceXml/mousedevice.xml",
         "pelix_light", 15, 11, 1, -1},
        {"keyboard", 0, 0x3A17, 0x5055, devtype::kKeyboard, 0, "XML/DeviceXml/keyboarddevice.xml",
         "pelix_light", 170, 170, 0, -1},
        {"MousePad", 2, 0x3A17, 0x1004, devtype::kMousePad, 0, "XML/DeviceXml/mousepaddevice.xml",
         "pelix_light", 15, 0, 0, -1},
        {"HD", 3, 0x0C76, 0x1630, devtype::kHeadset, 0, "XML/DeviceXml/hs6533device.xml",
         "pelix_light", 13, 0, 0, -1},
    };
    return rows;
}

DeviceHub::DeviceHub(WindowImplBase& window, ui::PaintManager& pm)
    : m_window(window), m_pm(pm), m_register(std::make_shared<hid::InterfaceRegister>())
{
}

DeviceHub::~DeviceHub()
{
    DetachAll();
}

void DeviceHub::DetachAll()
{
    for (CVantikUSBDevice* d : AllDevices())
        d->ShutDown();
}

std::vector<CVantikUSBDevice*>& DeviceHub::ListOfType(uint16_t t)
{
    if (isKeyboard(t))
        return m_keyboards;
    if (isMouse(t))
        return m_mice;
    if (t == devtype::kMousePad)
        return m_mousePads;
    return m_headsets;
}

std::vector<CVantikUSBDevice*> DeviceHub::AllDevices() const
{
    std::vector<CVantikUSBDevice*> all;
    for (const auto* list : {&m_mice, &m_mousePads, &m_keyboards, &m_headsets})
        all.insert(all.end(), list->begin(), list->end());
    return all;
}

CVantikUSBDevice* DeviceHub::CreateDevice(int row, uint16_t variant)
{
    const auto& table = hid::SupportedInterfaces();
    if (row < 0 || size_t(row) >= table.size())
        return nullptr;
    const InterfaceEntry& a = table[size_t(row)];
    uint16_t type = a.deviceType;
    uint16_t vendor = a.vendorId, product = a.productId;
    // A device first reached through its receiver is still the cable device: its page, data
    // folder and identity are those of the cable route.
    if (a.isReceiverRoute()) {
        type = type == devtype::kMouseReceiver ? devtype::kMouse : devtype::kKeyboard;
        if (a.hasPartner) {
            vendor = table[a.partnerRow].vendorId;
            product = table[a.partnerRow].productId;
        }
    }
    int option = -1;
    for (size_t i = 0; i < DeviceOptionRows().size(); ++i) {
        const DeviceOptionRow& o = DeviceOptionRows()[i];
        if (o.vendorId == vendor && o.productId == product && o.deviceType == type && o.variant == variant)
            option = int(i);
    }
    if (option < 0)
        return nullptr;
    const DeviceOptionRow& o = DeviceOptionRows()[size_t(option)];

    auto* powerSwitch = m_pm.Find<QStackedWidget>(QStringLiteral("device_power_switch"));
    auto* pageSwitch = m_pm.Find<QStackedWidget>(QStringLiteral("device_switch"));
    QWidget* strip = m_pm.FindControl(QStringLiteral("device_select_layout"));
    if (!powerSwitch || !pageSwitch || !strip)
        return nullptr;

    ui::Builder builder(&m_window);
    auto* power = qobject_cast<ui::CMpDevicePowerUI*>(builder.Create(QLatin1String(kPowerPanelLayout), nullptr));
    auto* tab = qobject_cast<ui::CDeviceOptionUI*>(builder.Create(QLatin1String(kTabLayout), nullptr));
    const bool deferPage = m_pagesDeferred;
    auto* device = deferPage ? CreatePageObject(QLatin1String(o.pageFile))
                             : qobject_cast<CVantikUSBDevice*>(builder.Create(QLatin1String(o.pageFile), nullptr));
    if (!power || !tab || !device) {
        qCDebug(tesselDebug) << "device page could not be built for" << o.kindName;
        delete power;
        delete tab;
        delete device;
        return nullptr;
    }

    power->SetDeviceKind(type, variant);
    const int powerIndex = powerSwitch->addWidget(power);
    ui::FitStackToCurrentPage(powerSwitch);
    m_powerPanels.push_back(power);

    InterfaceEntry identity = table[size_t(row)];
    if (a.isReceiverRoute() && a.hasPartner)
        identity = table[a.partnerRow];
    DeviceSetup setup;
    setup.pageFile = QLatin1String(o.pageFile);
    setup.mainWnd = &m_window;
    setup.keyCount = o.keyCount;
    setup.ledCount = o.ledCount;
    setup.optionIndex = int(m_tabs.size());
    setup.hasPowerPanel = o.hasPowerPanel;
    setup.mouseValue = o.mouseValue;
    setup.kindName = QLatin1String(o.kindName);
    setup.powerPanel = power;
    setup.entry = identity;
    setup.deviceNumber = o.deviceNumber;
    setup.lightControlName = QLatin1String(o.lightControlName);
    device->Setup(setup);
    const int pageIndex = pageSwitch->addWidget(device);
    ui::FitStackToCurrentPage(pageSwitch);
    ListOfType(type).push_back(device);

    // The strip keeps the kinds in their order (mouse, keyboard, pad, headset), whichever
    // device appeared first; the tab indices stay in the order of creation.
    int stripPosition = 0;
    for (int other : m_tabOptions)
        stripPosition += other <= option ? 1 : 0;
    if (auto* box = qobject_cast<QBoxLayout*>(strip->layout()))
        box->insertWidget(stripPosition, tab);
    else if (strip->layout())
        strip->layout()->addWidget(tab);
    tab->SetState(0);
    tab->SetPageIndex(pageIndex);
    tab->SetPowerIndex(o.hasPowerPanel || type == devtype::kMousePad ? powerIndex : -1);
    tab->SetKind(type, variant);
    tab->SetOptionIndex(int(m_tabs.size()));
    tab->SetDevice(device);
    tab->setVisible(false);
    device->SetTab(tab);
    QObject::connect(device, &CVantikUSBDevice::stateChanged, device, [this] {
        if (m_stateHandler)
            m_stateHandler();
    });
    m_tabs.push_back(tab);
    m_tabOptions.push_back(option);
    m_pm.Wire(power);
    m_pm.Wire(tab);
    m_pm.Wire(device);
    ui::Language::instance().Apply(power);
    ui::Language::instance().Apply(tab);
    ui::Language::instance().Apply(device);
    device->Start();
    if (deferPage)
        m_pendingPages.emplace_back(device, QLatin1String(o.pageFile));
    return device;
}

CVantikUSBDevice* DeviceHub::CreatePageObject(const QString& pageFile)
{
    // The object of the page's top-level class, made as the builder would make it, with none
    // of the page's controls.
    const QString className = ui::Builder::TopLevelClass(pageFile);
    if (className.isEmpty())
        return nullptr;
    QWidget* made = m_window.CreateControl(className);
    if (!made)
        made = ui::ControlFactory::instance().Create(className, nullptr);
    auto* device = qobject_cast<CVantikUSBDevice*>(made);
    if (!device)
        delete made;
    return device;
}

int DeviceHub::BuildPages()
{
    m_pagesDeferred = false;
    int built = 0;
    for (auto& [device, pageFile] : std::exchange(m_pendingPages, {})) {
        // Built while hidden: the controls a page makes show with it, whether or not a layout
        // holds them.
        const bool shown = !device->isHidden();
        device->hide();
        ui::Builder builder(&m_window);
        if (!builder.BuildInto(pageFile, device)) {
            qCDebug(tesselDebug) << "device page could not be built for" << device->FolderName();
        } else {
            m_pm.Wire(device);
            ui::Language::instance().Apply(device);
            device->StartPage();
            ++built;
        }
        device->setVisible(shown);
    }
    if (built > 0) {
        qCDebug(tesselDebug) << "device pages built:" << built;
        UpdateSameLightingAvailability();
        ui::FitStackToCurrentPage(m_pm.Find<QStackedWidget>(QStringLiteral("device_switch")));
    }
    return built;
}

int DeviceHub::PagesPending() const
{
    return int(m_pendingPages.size());
}

InterfaceEntry DeviceHub::DeviceIdentity(const InterfaceEntry& e) const
{
    const auto& table = hid::SupportedInterfaces();
    InterfaceEntry id = e;
    if (e.role == hid::kRoleNotification) {
        for (const InterfaceEntry& r : table) {
            if (r.vendorId == e.vendorId && r.productId == e.productId && r.deviceType == e.deviceType &&
                r.role == hid::kRoleCommand)
                id = r;
        }
    }
    if (id.isReceiverRoute() && id.hasPartner) {
        const InterfaceEntry& partner = table[id.partnerRow];
        if (table[partner.partnerRow].productId == id.productId)
            id = partner;
    }
    return id;
}

CVantikUSBDevice* DeviceHub::FindDevice(const InterfaceEntry& identity) const
{
    for (CVantikUSBDevice* d : AllDevices()) {
        if (hid::SameIdentity(d->StoredEntry(), identity))
            return d;
    }
    return nullptr;
}

bool DeviceHub::InterfaceFound(int i)
{
    const auto entry = m_register->Entry(i);
    if (!entry)
        return true;
    const InterfaceEntry& e = *entry;
    if (isKeyboard(e.deviceType))
        qCDebug(tesselDebug) << "添加一个键盘设备";
    else if (isMouse(e.deviceType))
        qCDebug(tesselDebug) << "添加一个鼠标设备";
    else if (e.deviceType == devtype::kMousePad)
        qCDebug(tesselDebug) << "添加一个鼠标垫设备";

    if (!FindDevice(DeviceIdentity(e))) {
        // The command row of this route creates the device.
        const auto& table = hid::SupportedInterfaces();
        for (size_t r = 0; r < table.size(); ++r) {
            if (table[r].vendorId == e.vendorId && table[r].productId == e.productId &&
                table[r].deviceType == e.deviceType && table[r].role == hid::kRoleCommand) {
                CreateDevice(int(r), 0);
                break;
            }
        }
    }
    bool ok = true;
    if (e.role == hid::kRoleCommand)
        ok = AttachCommand(i, e);
    else
        AttachNotification(e);
    UpdateNoDeviceLink();
    return ok;
}

bool DeviceHub::AttachCommand(int i, const InterfaceEntry& e)
{
    if (m_register->PartnerPresent(i)) {
        // Already reached by the other route: a cable takes over from the receiver. A cable
        // that cannot be opened yet is freed and tried again on the next pass, like a first
        // attach; the receiver keeps the device meanwhile.
        if (!e.isReceiverRoute())
            return SwitchRoute(i);
        return true;
    }
    CVantikUSBDevice* device = FindDevice(DeviceIdentity(e));
    if (!device)
        return true;  // no page could be built: registered, but nothing to show
    CommandTransport& t = device->Transport();
    if (!t.isReady()) {
        std::lock_guard lock(t.ioLock());
        hid::HidChannel& channel = e.isReceiverRoute() ? t.channelB() : t.channelA();
        if (!channel.open(e.path, true, true, true, false))
            return false;  // not usable yet (access not granted): tried again on the next pass
        t.setReady(1);
        if (isKeyboard(e.deviceType) || isMouse(e.deviceType))
            t.setMode(e.isReceiverRoute() ? 2 : 1);
        device->SetStoredEntry(DeviceIdentity(e));
        device->ShowDeviceInfo();  // connected: the page no longer says it does not respond
    }
    const int tab = TabIndexOf(device);
    if (tab < 0)
        return true;
    // A device behind a receiver shows its tab once it answers the link check.
    if (!e.isReceiverRoute())
        ShowTab(tab, true, VisibleTabCount() == 0);
    device->StartTabTimer(CVantikUSBDevice::kTimerConnect, 500);
    return true;
}

void DeviceHub::AttachNotification(const InterfaceEntry& e)
{
    const auto& table = hid::SupportedInterfaces();
    const bool receiver = e.isReceiverRoute();
    const InterfaceEntry& match = receiver && e.hasPartner ? table[e.partnerRow] : e;
    for (CVantikUSBDevice* d : ListOfType(e.deviceType)) {
        if (d->ListenerOpen(receiver))
            continue;
        const InterfaceEntry& s = d->StoredEntry();
        if (s.vendorId == match.vendorId && s.productId == match.productId && s.deviceType == match.deviceType) {
            d->AttachListener(e.path, e.deviceType);
            if (!receiver && (e.deviceType == devtype::kMousePad || e.deviceType == devtype::kHeadset))
                break;
        }
    }
}

void DeviceHub::InterfaceLost(int i)
{
    const auto& table = hid::SupportedInterfaces();
    if (i < 0 || size_t(i) >= table.size())
        return;
    const InterfaceEntry& e = table[size_t(i)];
    if (isKeyboard(e.deviceType))
        qCDebug(tesselDebug) << "删除一个键盘设备";
    else if (isMouse(e.deviceType))
        qCDebug(tesselDebug) << "删除一个鼠标设备";
    else if (e.deviceType == devtype::kMousePad)
        qCDebug(tesselDebug) << "删除一个鼠标垫设备";
    if (e.role == hid::kRoleCommand)
        DetachCommand(i, e);
    else
        DetachNotification(e);
    UpdateNoDeviceLink();
}

void DeviceHub::DetachCommand(int i, const InterfaceEntry& e)
{
    if (isKeyboard(e.deviceType))
        qCDebug(tesselDebug) << "键盘设备丢失";
    else if (isMouse(e.deviceType))
        qCDebug(tesselDebug) << "鼠标设备丢失";
    if (m_register->PartnerPresent(i)) {
        // The other route stays: a lost cable hands over to the receiver.
        if (e.isReceiverRoute() || SwitchRoute(i))
            return;
        // The receiver could not be opened: free its entry so discovery finds it again and
        // attaches it as it would a first time, and detach the device until then.
        if (const auto cable = m_register->Entry(i); cable && cable->hasPartner)
            m_register->MarkLost(cable->partnerRow);
    }
    CVantikUSBDevice* device = FindDevice(DeviceIdentity(e));
    if (!device)
        return;
    CommandTransport& t = device->Transport();
    t.setReady(0);
    // Without the I/O lock: a transaction waiting on the channel is released by its abort.
    t.channelA().close();
    if (isKeyboard(e.deviceType) || isMouse(e.deviceType))
        t.channelB().close();
    device->StopLightThread();
    const int tab = TabIndexOf(device);
    if (tab >= 0)
        HideLostTab(tab);
}

void DeviceHub::DetachNotification(const InterfaceEntry& e)
{
    const auto& table = hid::SupportedInterfaces();
    const bool receiver = e.isReceiverRoute();
    const InterfaceEntry& match = receiver && e.hasPartner ? table[e.partnerRow] : e;
    for (CVantikUSBDevice* d : ListOfType(e.deviceType)) {
        if (!d->ListenerOpen(receiver))
            continue;
        const InterfaceEntry& s = d->StoredEntry();
        if (s.vendorId == match.vendorId && s.productId == match.productId && s.deviceType == match.deviceType) {
            d->DetachListener(e.deviceType);
            if (!receiver && (e.deviceType == devtype::kMousePad || e.deviceType == devtype::kHeadset))
                break;
        }
    }
}

bool DeviceHub::SwitchRoute(int cableRow)
{
    const auto cable = m_register->Entry(cableRow);
    if (!cable || !cable->hasPartner)
        return true;
    const auto partner = m_register->Entry(cable->partnerRow);
    CVantikUSBDevice* device = FindDevice(DeviceIdentity(*cable));
    if (!device || !partner)
        return true;
    CommandTransport& t = device->Transport();
    const bool toCable = t.isWireless() != 0;
    const InterfaceEntry& target = toCable ? *cable : *partner;
    bool opened = false;
    {
        std::lock_guard lock(t.ioLock());
        t.setReady(0);
        hid::HidChannel& channel = toCable ? t.channelA() : t.channelB();
        hid::HidChannel& old = toCable ? t.channelB() : t.channelA();
        old.close();
        channel.close();
        opened = channel.open(target.path, true, true, true, false);
        // Moving to the cable failed: stay on the receiver, which is still there.
        if (!opened && toCable && old.open(partner->path, true, true, true, false))
            t.setReady(1);
    }
    if (!opened) {
        qCDebug(tesselDebug, "route switch: cannot open %s", target.path.c_str());
        return false;
    }
    t.setReady(1);
    const int tab = TabIndexOf(device);
    if (!toCable) {
        t.setMode(2);
        // The tries and their pauses run on the device's I/O worker, not here.
        if (device->HasPowerPanel())
            device->CheckLinkAfterRouteSwitch(kLinkCheckTries, kLinkCheckPauseMs);
        if (tab >= 0 && t.isReady())
            device->StartTabTimer(CVantikUSBDevice::kTimerLinkCheck, 2000);
    } else {
        t.setMode(1);
        if (tab >= 0) {
            device->StartTabTimer(CVantikUSBDevice::kTimerConnect, 500);
            SetTabVisibility(tab, true);
        }
        if (device->HasPowerPanel())
            device->ReadStatus();
    }
    device->RefreshPanel();
    return true;
}

// --- Device strip ---

int DeviceHub::TabIndexOf(const CVantikUSBDevice* device) const
{
    for (size_t i = 0; i < m_tabs.size(); ++i) {
        if (m_tabs[i]->Device() == device)
            return int(i);
    }
    return -1;
}

ui::CDeviceOptionUI* DeviceHub::TabAt(int index) const
{
    return index >= 0 && size_t(index) < m_tabs.size() ? m_tabs[size_t(index)] : nullptr;
}

CVantikUSBDevice* DeviceHub::DeviceOfTab(QWidget* control) const
{
    for (QWidget* w = control; w; w = w->parentWidget()) {
        if (auto* tab = qobject_cast<ui::CDeviceOptionUI*>(w))
            return qobject_cast<CVantikUSBDevice*>(tab->Device());
    }
    return nullptr;
}

int DeviceHub::VisibleTabCount() const
{
    int n = 0;
    for (const ui::CDeviceOptionUI* tab : m_tabs)
        n += tab->isHidden() ? 0 : 1;
    return n;
}

int DeviceHub::CurrentTab() const
{
    for (size_t i = 0; i < m_tabs.size(); ++i) {
        if (!m_tabs[i]->isHidden() && m_tabs[i]->IsSelected())
            return int(i);
    }
    return -1;
}

CVantikUSBDevice* DeviceHub::CurrentDevice() const
{
    const int current = CurrentTab();
    return current < 0 ? nullptr : qobject_cast<CVantikUSBDevice*>(m_tabs[size_t(current)]->Device());
}

void DeviceHub::ShowTab(int index, bool visible, bool select)
{
    ui::CDeviceOptionUI* tab = TabAt(index);
    if (!tab)
        return;
    if (visible && tab->isHidden()) {
        if (auto* d = qobject_cast<CVantikUSBDevice*>(tab->Device()))
            qCDebug(tesselDebug).noquote() << "设备标签显示" << d->FolderName();
    }
    tab->setVisible(visible);
    auto* pages = m_pm.Find<QStackedWidget>(QStringLiteral("device_switch"));
    auto* powers = m_pm.Find<QStackedWidget>(QStringLiteral("device_power_switch"));
    if (select) {
        for (ui::CDeviceOptionUI* other : m_tabs) {
            if (other != tab)
                other->SetSelected(false, false);
        }
        if (pages && tab->PageIndex() < pages->count())
            pages->setCurrentIndex(tab->PageIndex());
        if (powers) {
            if (tab->PowerIndex() >= 0 && tab->PowerIndex() < powers->count()) {
                powers->setCurrentIndex(tab->PowerIndex());
                powers->setVisible(true);
            } else {
                powers->setVisible(false);
            }
        }
        tab->SetSelected(true, false);
    }
    if (VisibleTabCount() == 0) {
        if (pages)
            pages->setCurrentIndex(0);
        if (powers)
            powers->setCurrentIndex(0);
    }
    ui::FitStackToCurrentPage(pages);
    ui::FitStackToCurrentPage(powers);
    UpdateNoDeviceLink();
    UpdateSameLightingAvailability();
}

void DeviceHub::HideLostTab(int index)
{
    ui::CDeviceOptionUI* tab = TabAt(index);
    if (!tab)
        return;
    if (tab->isHidden() || CurrentTab() != index) {
        tab->setVisible(false);
        UpdateNoDeviceLink();
        UpdateSameLightingAvailability();
        return;
    }
    int next = -1;
    for (size_t i = 0; i < m_tabs.size(); ++i) {
        if (int(i) != index && !m_tabs[i]->isHidden()) {
            next = int(i);
            break;
        }
    }
    tab->SetSelected(false, false);
    ShowTab(index, false, false);
    if (next >= 0)
        ShowTab(next, true, true);
}

void DeviceHub::SetTabVisibility(int index, bool show)
{
    ui::CDeviceOptionUI* tab = TabAt(index);
    if (!tab)
        return;
    if (!show) {
        HideLostTab(index);
        qCDebug(tesselDebug) << "2.4gcesvdfherhue 1";
        return;
    }
    if (tab->isHidden())
        ShowTab(index, true, VisibleTabCount() == 0 || CurrentTab() < 0);
}

void DeviceHub::SelectNeighbour(int direction)
{
    const int current = CurrentTab();
    if (current < 0)
        return;
    // The neighbours as the strip shows them: by kind, then in the order they appeared.
    std::vector<int> order(m_tabs.size());
    std::iota(order.begin(), order.end(), 0);
    std::stable_sort(order.begin(), order.end(), [this](int a, int b) { return m_tabOptions[size_t(a)] < m_tabOptions[size_t(b)]; });
    const auto at = std::find(order.begin(), order.end(), current) - order.begin();
    for (auto i = at + direction; i >= 0 && i < std::ssize(order); i += direction) {
        if (!m_tabs[size_t(order[size_t(i)])]->isHidden()) {
            ShowTab(order[size_t(i)], true, true);
            return;
        }
    }
}

void DeviceHub::TabSelected(ui::CDeviceOptionUI* tab)
{
    for (size_t i = 0; i < m_tabs.size(); ++i) {
        if (m_tabs[i] == tab) {
            ShowTab(int(i), true, true);
            return;
        }
    }
}

void DeviceHub::UpdateSameLightingAvailability()
{
    // The same-lighting action needs at least two visible devices.
    const bool available = VisibleTabCount() >= 2;
    for (CVantikUSBDevice* d : AllDevices()) {
        if (!available)
            d->SetSameLighting(0);
        for (QWidget* w : d->Panels()) {
            if (auto* panel = qobject_cast<CLightControlUI*>(w))
                panel->SetSameModeAvailable(available);
        }
    }
}

void DeviceHub::UpdateNoDeviceLink()
{
    const bool none = VisibleTabCount() == 0;
    if (QWidget* link = m_pm.FindControl(QStringLiteral("No_device_Link")))
        link->setVisible(none);
    if (QWidget* strip = m_pm.FindControl(QStringLiteral("device_select_layout")))
        strip->setVisible(!none);
    if (QWidget* waiting = m_pm.FindControl(QStringLiteral("device_strip_empty")))
        waiting->setVisible(none);
    // With no device the no-device page has the content area to itself: the empty device page
    // and power panel would only lie under it. Selecting a device shows its power panel again.
    if (QWidget* pages = m_pm.FindControl(QStringLiteral("device_switch")))
        pages->setVisible(!none);
    if (none) {
        if (QWidget* powers = m_pm.FindControl(QStringLiteral("device_power_switch")))
            powers->setVisible(false);
    }
    for (const char* arrow : {"device_select_prev", "device_select_next"}) {
        if (QWidget* w = m_pm.FindControl(QLatin1String(arrow)))
            w->setVisible(VisibleTabCount() > 1);
    }
}

ConnectedDevices DeviceHub::ListConnected() const
{
    ConnectedDevices out;
    for (auto& entry : ConnectedObjects())
        out.push_back(std::move(entry.first));
    return out;
}

std::vector<std::pair<ConnectedDevice, CVantikUSBDevice*>> DeviceHub::ConnectedObjects() const
{
    std::vector<std::pair<ConnectedDevice, CVantikUSBDevice*>> out;
    for (const ui::CDeviceOptionUI* tab : m_tabs) {
        auto* d = qobject_cast<CVantikUSBDevice*>(tab->Device());
        if (!d || tab->isHidden() || !d->Transport().isReady())
            continue;
        ConnectedDevice c;
        switch (d->DeviceType()) {
        case devtype::kKeyboard: c.kind = ConnectedDevice::Kind::Keyboard; break;
        case devtype::kMouse: c.kind = ConnectedDevice::Kind::Mouse; break;
        case devtype::kMousePad: c.kind = ConnectedDevice::Kind::MousePad; break;
        default: c.kind = ConnectedDevice::Kind::Headset; break;
        }
        c.name = ui::Language::instance().Text(d->DeviceName());
        const bool wireless = d->Transport().isWireless() != 0;
        c.route = wireless ? ConnectedDevice::Route::Receiver : ConnectedDevice::Route::Cable;
        const auto& table = hid::SupportedInterfaces();
        const InterfaceEntry& id = d->StoredEntry();
        c.vendorId = id.vendorId;
        c.productId = wireless && id.hasPartner ? table[id.partnerRow].productId : id.productId;
        c.cableProductId = id.productId;
        c.firmware = d->FirmwareVersion();
        const std::vector<uint8_t> status = d->LastStatus();
        if (status.size() >= 2 && (d->HasPowerPanel() || wireless || d->DeviceType() == devtype::kMousePad)) {
            c.battery = status[0];
            c.charging = status[1] == 1;
        }
        out.emplace_back(c, d);
    }
    return out;
}

}  // namespace app
