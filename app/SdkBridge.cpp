#include "app/SdkBridge.h"

#include "app/DeviceHub.h"
#include "app/SettingsStore.h"
#include "devices/CVantikKeyboardDevice.h"
#include "devices/CVantikUSBDevice.h"
#include "devices/KeyboardEffects.h"
#include "editors/CLightControlUI.h"
#include "editors/LightingActions.h"
#include "profiles/CBasicProfiledata.h"
#include "hid/SupportedInterfaces.h"
#include "ui/Language.h"

#include <QLoggingCategory>

#include <algorithm>
#include <array>

namespace app {

namespace {

constexpr uint32_t kNoLed = 0xFFFFFFFF;
// The profile's levels run 0..4 for speed and brightness.
constexpr uint32_t kTopLevel = 4;
// The mouse lights its 15 LEDs in seven groups.
const std::vector<std::vector<int>> kMouseGroups = {{0, 13}, {1, 12}, {2, 11}, {3, 10}, {4, 9}, {5, 8}, {6, 14, 7}};

std::string Text(const char* id)
{
    return ui::Language::instance().Text(QLatin1String(id)).toStdString();
}

std::string TextArg(const char* id, int n)
{
    return ui::Language::instance().Text(QLatin1String(id)).arg(n).toStdString();
}

sdk::Zone LinearZone(std::string name, uint32_t count)
{
    sdk::Zone z;
    z.name = std::move(name);
    z.type = count == 1 ? sdk::ZoneType::Single : sdk::ZoneType::Linear;
    z.ledsMin = z.ledsMax = z.ledsCount = count;
    return z;
}

uint8_t Level(uint32_t v)
{
    return uint8_t(std::min(v, kTopLevel));
}

}  // namespace

std::optional<SdkServerConfig> SdkServerFromArguments(const QStringList& arguments, QString* error)
{
    const QString option = QStringLiteral("--sdk-server");
    for (const QString& a : arguments) {
        if (a == option)
            return SdkServerConfig{true, sdk::kDefaultPort, false};
        if (!a.startsWith(option + QLatin1Char('=')))
            continue;
        bool ok = false;
        const uint port = a.mid(option.size() + 1).toUInt(&ok);
        // 0 takes any free port (the program says which on standard error).
        if (!ok || port > 65535) {
            if (error)
                *error = a;
            return SdkServerConfig{false, sdk::kDefaultPort, false};
        }
        return SdkServerConfig{true, quint16(port), false};
    }
    return std::nullopt;
}

SdkServerConfig SdkServerFromSettings()
{
    const SettingsStore store;
    SdkServerConfig c;
    c.enabled = store.ReadInt(QStringLiteral("SDK_SERVER")).value_or(0) == 1;
    const int port = store.ReadInt(QStringLiteral("SDK_SERVER_PORT")).value_or(sdk::kDefaultPort);
    c.port = port > 0 && port <= 65535 ? quint16(port) : sdk::kDefaultPort;
    c.anyAddress = store.ReadInt(QStringLiteral("SDK_SERVER_ANY_ADDRESS")).value_or(0) == 1;
    return c;
}

SdkBridge::SdkBridge(DeviceHub& devices, QObject* parent) : QObject(parent), m_devices(devices)
{
    // Finding a device raises several changes in a row; the list is built once after them.
    m_refresh.setSingleShot(true);
    m_refresh.setInterval(50);
    connect(&m_refresh, &QTimer::timeout, this, &SdkBridge::Refresh);
}

SdkBridge::~SdkBridge()
{
    m_server.Close();
}

bool SdkBridge::Start(const SdkServerConfig& config, QString* error)
{
    sdk::SdkServer::Options o;
    o.port = config.port;
    o.anyAddress = config.anyAddress;
    if (!m_server.Listen(o, error))
        return false;
    Refresh();
    return true;
}

void SdkBridge::DevicesChanged()
{
    if (m_server.IsListening())
        m_refresh.start(50);
}

void SdkBridge::Refresh()
{
    std::vector<sdk::Controller> controllers;
    std::map<std::string, Entry> entries;
    std::map<QString, int> perFolder;
    bool unread = false;
    for (CVantikUSBDevice* d : m_devices.AllDevices()) {
        // Each device's own changes (read at connection, route switched) refresh the list.
        connect(d, &CVantikUSBDevice::stateChanged, this, &SdkBridge::DevicesChanged, Qt::UniqueConnection);
        const int n = perFolder[d->FolderName()]++;
        if (!editors::IsConnected(*d) || d->LedCount() == 0)
            continue;
        const std::string location = "tessel:" + d->FolderName().toStdString() + ":" + std::to_string(n);
        // The keyboard's LED map comes with its connection read (its firmware version is known
        // by then): it becomes a controller after that. A controller once listed stays while
        // its device is connected, so the indexes clients hold keep naming the same devices.
        if (editors::KindOf(*d) == editors::kKindKeyboard && d->FirmwareVersion().isEmpty() &&
            !m_entries.count(location)) {
            unread = true;
            continue;
        }
        Entry e;
        e.device = d;
        controllers.push_back(Describe(*d, location, e));
        entries.emplace(location, std::move(e));
    }
    // Devices that went away are released by the server (it hears that their controller is
    // gone); what is left of them here goes now.
    for (const auto& [location, e] : m_entries) {
        if (!entries.count(location) && e.device->ExternalLighting()) {
            e.device->EndExternalLighting();
            ShowController(*e.device, {});
        }
    }
    m_entries = std::move(entries);
    // A device just connected is read a moment later (its LED map, its mode list); the list is
    // described again once it has been.
    const bool incomplete = std::any_of(controllers.begin(), controllers.end(),
                                        [](const sdk::Controller& c) { return c.modes.size() < 2; });
    m_server.SetControllers(std::move(controllers));
    if (incomplete || unread)
        m_refresh.start(250);
}

sdk::Controller SdkBridge::Describe(CVantikUSBDevice& d, const std::string& location, Entry& e) const
{
    sdk::Controller c;
    c.name = ui::Language::instance().Text(d.DeviceName()).toStdString();
    c.vendor = "Tessel";
    c.version = d.FirmwareVersion().toStdString();
    c.location = location;
    const int kind = editors::KindOf(d);
    const uint32_t ledCount = d.LedCount();
    switch (kind) {
    case editors::kKindKeyboard: {
        c.type = sdk::DeviceType::Keyboard;
        c.description = Text("sdk_keyboard_description");
        // The lighting matrix, row by row: each key found there that has an LED is one LED.
        const auto& columns = lighting::KeyboardLayout::Columns();
        const auto* keyboard = qobject_cast<const CVantikKeyboardDevice*>(&d);
        sdk::Zone z;
        z.name = Text("sdk_zone_keys");
        z.type = sdk::ZoneType::Matrix;
        z.matrixHeight = lighting::kRows;
        z.matrixWidth = lighting::kColumns;
        z.matrix.assign(size_t(lighting::kRows) * lighting::kColumns, kNoLed);
        for (int row = 0; row < lighting::kRows; ++row) {
            for (int col = 0; col < lighting::kColumns; ++col) {
                const uint8_t pos = columns[size_t(col)][size_t(row)];
                if (pos == lighting::kNoKey || pos >= ledCount || (keyboard && !keyboard->KeyLit(pos)) ||
                    std::find(e.ledOfController.begin(), e.ledOfController.end(), pos) != e.ledOfController.end())
                    continue;
                z.matrix[size_t(row) * lighting::kColumns + size_t(col)] = uint32_t(e.ledOfController.size());
                e.ledOfController.push_back(pos);
                QString name;
                if (QWidget* key = d.KeyButton(pos))
                    name = key->toolTip().isEmpty() ? key->accessibleName() : key->toolTip();
                if (name.isEmpty())
                    name = ui::Language::instance().Text(QStringLiteral("sdk_led_name")).arg(pos);
                c.leds.push_back({"Key: " + name.toStdString(), pos});
            }
        }
        z.ledsMin = z.ledsMax = z.ledsCount = uint32_t(e.ledOfController.size());
        c.zones.push_back(std::move(z));
        break;
    }
    case editors::kKindMouse:
        c.type = sdk::DeviceType::Mouse;
        c.description = Text("sdk_mouse_description");
        for (size_t g = 0; g < kMouseGroups.size(); ++g) {
            uint32_t count = 0;
            for (int led : kMouseGroups[g]) {
                if (uint32_t(led) >= ledCount)
                    continue;
                e.ledOfController.push_back(led);
                c.leds.push_back({TextArg("sdk_led_name", led + 1), uint32_t(led)});
                ++count;
            }
            if (count)
                c.zones.push_back(LinearZone(TextArg("sdk_zone_group", int(g) + 1), count));
        }
        break;
    default:
        c.type = kind == editors::kKindMousePad ? sdk::DeviceType::MouseMat : sdk::DeviceType::Headset;
        c.description = Text(kind == editors::kKindMousePad ? "sdk_pad_description" : "sdk_headset_description");
        for (uint32_t led = 0; led < ledCount; ++led) {
            e.ledOfController.push_back(int(led));
            c.leds.push_back({TextArg("sdk_led_name", int(led) + 1), led});
        }
        c.zones.push_back(LinearZone(Text(kind == editors::kKindMousePad ? "sdk_zone_ring" : "sdk_zone_leds"), ledCount));
        break;
    }
    const std::vector<LedColour> now = d.LedColours();
    for (int led : e.ledOfController) {
        const LedColour l = size_t(led) < now.size() ? now[size_t(led)] : LedColour{};
        c.colours.push_back(sdk::Rgb(l.red, l.green, l.blue));
    }

    // "Direct" is the name clients look for to set LEDs one by one, so it stays as it is.
    sdk::Mode direct;
    direct.name = "Direct";
    direct.value = -1;
    direct.flags = sdk::modeflag::kHasPerLedColour;
    direct.colourMode = uint32_t(sdk::ColourMode::PerLed);
    c.modes.push_back(direct);
    const LightInfo current = d.Profile().GetLightInfo();
    const CVantikUSBDevice::LightModeList list = d.LightModes();
    for (int i = 0; i < list.names.size(); ++i) {
        if (size_t(i) < list.visible.size() && !list.visible[size_t(i)])
            continue;
        const editors::ModeLayout l = editors::LayoutFor(kind, i);
        // Modes that take sound or per-key groups from the window have nothing a client can set.
        if (l.audio || l.customGroup)
            continue;
        sdk::Mode m;
        m.name = ui::Language::instance().Text(list.names[i]).toStdString();
        m.value = i;
        if (l.speed) {
            m.flags |= sdk::modeflag::kHasSpeed;
            m.speedMax = kTopLevel;
        }
        if (l.brightness) {
            m.flags |= sdk::modeflag::kHasBrightness;
            m.brightnessMax = kTopLevel;
        }
        if (l.direction)
            m.flags |= sdk::modeflag::kHasDirectionLR;
        if (l.colourAreas) {
            m.flags |= sdk::modeflag::kHasModeSpecificColour;
            m.coloursMin = m.coloursMax = 1;
            m.colourMode = uint32_t(sdk::ColourMode::ModeSpecific);
            m.colours = {sdk::Rgb(current.red, current.green, current.blue)};
        }
        if (l.colourOption) {
            m.flags |= sdk::modeflag::kHasRandomColour;
            if (current.multicolour && current.mode == i)
                m.colourMode = uint32_t(sdk::ColourMode::Random);
        }
        m.speed = std::min<uint32_t>(current.speed, kTopLevel);
        m.brightness = std::min<uint32_t>(current.brightness, kTopLevel);
        m.direction = current.direction ? 1 : 0;
        if (current.mode == i)
            c.activeMode = int32_t(c.modes.size());
        c.modes.push_back(std::move(m));
    }
    return c;
}

CVantikUSBDevice* SdkBridge::DeviceAt(const std::string& location) const
{
    const auto it = m_entries.find(location);
    return it == m_entries.end() ? nullptr : it->second.device;
}

void SdkBridge::ApplyColours(const std::string& location, const std::vector<uint32_t>& colours)
{
    const auto it = m_entries.find(location);
    if (it == m_entries.end())
        return;
    CVantikUSBDevice& d = *it->second.device;
    std::vector<LedColour> leds = d.LedColours();
    const std::vector<int>& map = it->second.ledOfController;
    for (size_t i = 0; i < colours.size() && i < map.size(); ++i) {
        if (size_t(map[i]) < leds.size())
            leds[size_t(map[i])] = LedColour{sdk::Red(colours[i]), sdk::Green(colours[i]), sdk::Blue(colours[i]), 255};
    }
    d.SetExternalColours(leds);
}

void SdkBridge::ApplyMode(const std::string& location, int index, const sdk::Mode& mode)
{
    CVantikUSBDevice* d = DeviceAt(location);
    if (!d)
        return;
    if (mode.value < 0) {
        // Direct: the colours the client set last.
        for (const sdk::Controller& c : m_server.Controllers()) {
            if (c.location == location)
                ApplyColours(location, c.colours);
        }
        return;
    }
    (void)index;
    LightState s = DeviceEffectState::LightStateOf(d->Profile().GetLightInfo());
    s.mode = uint8_t(mode.value);
    if (mode.flags & sdk::modeflag::kHasSpeed)
        s.speed = Level(mode.speed);
    if (mode.flags & sdk::modeflag::kHasBrightness)
        s.brightness = Level(mode.brightness);
    if (mode.flags & sdk::modeflag::kHasDirectionLR)
        s.direction = mode.direction == 0 ? 0 : 1;
    if (!mode.colours.empty()) {
        s.red = sdk::Red(mode.colours[0]);
        s.green = sdk::Green(mode.colours[0]);
        s.blue = sdk::Blue(mode.colours[0]);
    }
    s.multicolour = mode.colourMode == uint32_t(sdk::ColourMode::Random) ? 1 : 0;
    d->SetExternalLightState(s);
}

void SdkBridge::ControlChanged(const std::string& location, const std::string& client)
{
    CVantikUSBDevice* d = DeviceAt(location);
    if (!d)
        return;
    if (client.empty())
        d->EndExternalLighting();
    ShowController(*d, QString::fromStdString(client));
}

void SdkBridge::ShowController(CVantikUSBDevice& device, const QString& client)
{
    for (QWidget* w : device.Panels()) {
        if (auto* panel = qobject_cast<CLightControlUI*>(w))
            panel->ShowExternalControl(client);
    }
}

}  // namespace app
