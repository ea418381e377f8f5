#include "editors/LightingActions.h"

#include "devices/CVantikUSBDevice.h"
#include "editors/CLightControlUI.h"
#include "profiles/CBasicProfiledata.h"
#include "ui/CDeviceOptionUI.h"

#include <algorithm>

namespace editors {

namespace {

ModeLayout KeyboardLayout(int mode)
{
    ModeLayout l;
    l.directionFirst = QStringLiteral("light_set_right_to_left_text");
    l.directionSecond = QStringLiteral("light_set_left_to_right_text");
    auto set = [&l](bool colour, bool brightness, bool speed, bool direction, bool colourLayout, bool same) {
        l.colourOption = l.colourAreas = colour;
        l.brightness = brightness;
        l.speed = speed;
        l.direction = direction;
        l.colourLayout = colourLayout;
        l.same = same;
    };
    auto texts = [&l](const char* first, const char* second) {
        l.directionFirst = QLatin1String(first);
        l.directionSecond = QLatin1String(second);
    };
    switch (mode) {
    case 1: case 2: set(true, true, true, true, true, false); break;
    case 3: case 24:
        set(true, true, true, true, true, false);
        texts("light_set_clockwise_text", "light_set_anticlockwise_text");
        break;
    case 4: set(false, true, true, false, false, true); break;
    case 5: case 23: set(true, true, true, false, true, true); break;
    case 6: set(true, true, false, false, true, true); break;
    case 7: case 8: case 9: case 10: case 13: case 14: case 15: case 22: case 25:
        set(true, true, true, false, true, false);
        break;
    case 11: case 26: set(false, true, true, false, false, false); break;
    case 12:
        set(false, true, true, true, true, false);
        texts("light_set_down_to_up_text", "light_set_up_to_down_text");
        break;
    case 16: set(true, true, false, false, true, false); break;
    case 17:
        set(false, true, false, false, false, false);
        l.speedVisible = false;
        l.subMode = true;
        break;
    case 18:
        set(false, true, false, true, false, false);
        texts("light_set_outside_to_inside_text", "light_set_inside_to_outside_text");
        break;
    case 19:
        set(true, true, false, false, true, false);
        l.colourOption = false;
        l.speedVisible = false;
        l.customGroup = true;
        break;
    case 20: set(false, false, false, false, true, true); break;
    case 21:
        set(true, true, true, true, true, false);
        texts("light_set_up_to_down_text", "light_set_down_to_up_text");
        break;
    case 27: set(false, true, true, false, true, false); break;
    case 28: set(false, false, false, false, true, false); break;
    case 29:
        set(true, true, false, true, true, false);
        l.speedVisible = false;
        l.audio = true;
        break;
    case 30: set(false, true, false, false, false, false); break;
    default: set(false, false, false, false, true, false); break;
    }
    return l;
}

ModeLayout SmallDeviceLayout(int kind, int mode)
{
    ModeLayout l;
    auto set = [&l](bool colour, bool brightness, bool speed, bool direction, bool same) {
        l.colourOption = l.colourAreas = colour;
        l.brightness = brightness;
        l.speed = speed;
        l.direction = direction;
        l.same = same;
    };
    // Direction texts stay those of the skin for these kinds.
    l.directionFirst = QStringLiteral("light_set_right_to_left_text");
    l.directionSecond = QStringLiteral("light_set_left_to_right_text");
    if (kind == kKindMouse) {
        switch (mode) {
        case 0: case 5: set(true, true, true, true, false); break;
        case 1: set(false, true, true, false, true); break;
        case 2: case 4: case 6: set(true, true, true, false, true); break;
        case 3: set(true, true, false, false, true); l.colourOption = false; break;
        case 7: case 8: set(false, true, true, false, false); break;
        case 9: set(false, false, false, false, true); break;
        default: set(false, false, false, false, false); break;
        }
        return l;
    }
    switch (mode) {
    case 0: set(true, true, true, true, false); break;
    case 1: set(false, true, true, false, true); break;
    case 2: case 4: set(true, true, true, false, true); break;
    case 3: set(true, true, false, false, true); l.colourOption = false; break;
    case 8: set(false, false, false, false, true); break;
    default: set(false, false, false, false, false); break;  // 5, 6, 7 and above 8
    }
    return l;
}

// Per family: keyboard, mouse, mouse pad and headset modes.
constexpr int kFamilies[5][3] = {{5, 2, 2}, {6, 3, 3}, {23, 4, 4}, {4, 1, 1}, {20, 9, 8}};

int Column(int kind)
{
    return kind == kKindKeyboard ? 0 : kind == kKindMouse ? 1 : 2;
}

SameLightingHandler& Handler()
{
    static SameLightingHandler handler;
    return handler;
}

CLightControlUI* PanelOf(CVantikUSBDevice& device)
{
    for (QWidget* w : device.Panels()) {
        if (auto* panel = qobject_cast<CLightControlUI*>(w))
            return panel;
    }
    return nullptr;
}

}  // namespace

ModeLayout LayoutFor(int kind, int mode)
{
    return kind == kKindKeyboard ? KeyboardLayout(mode) : SmallDeviceLayout(kind, mode);
}

int ModeFamily(int kind, int mode)
{
    const int c = Column(kind);
    for (int f = 0; f < 5; ++f) {
        if (kFamilies[f][c] == mode)
            return f;
    }
    return -1;
}

int FamilyMode(int kind, int family)
{
    return family >= 0 && family < 5 ? kFamilies[family][Column(kind)] : -1;
}

int KindOf(const CVantikUSBDevice& device)
{
    switch (device.DeviceType()) {
    case 1: case 9: return kKindKeyboard;
    case 2: case 6: return kKindMouse;
    case 3: return kKindMousePad;
    case 7: return kKindHeadset;
    default: return int(device.DeviceType());
    }
}

bool IsConnected(const CVantikUSBDevice& device)
{
    const ui::CDeviceOptionUI* tab = device.Tab();
    return tab && !tab->isHidden() && const_cast<CVantikUSBDevice&>(device).Transport().isReady();
}

void StoreAndSendLight(CVantikUSBDevice& device, const LightInfo& info, bool dragging)
{
    device.Profile().SetLightInfo(info);
    // A drag changes the lighting at every mouse move: its profile is saved once it ends.
    if (dragging)
        device.SaveProfileSoon();
    else
        device.SaveProfile();
    device.ApplyLightSettings();
    device.SendLighting();
}

bool ApplySameLighting(CVantikUSBDevice& current, const std::vector<CVantikUSBDevice*>& devices,
                       app::LightingSync::Settings* sync)
{
    const LightInfo source = current.Profile().GetLightInfo();
    const int family = ModeFamily(KindOf(current), source.mode);
    if (family < 0)
        return false;
    if (sync) {
        sync->family = uint8_t(family);
        sync->brightness = source.brightness;
        sync->speed = source.speed;
        sync->direction = source.direction;
        sync->multicolour = source.multicolour;
        sync->red = source.red;
        sync->green = source.green;
        sync->blue = source.blue;
    }
    // Keyboards first, then mice, then mouse pads and headsets.
    std::vector<CVantikUSBDevice*> ordered;
    for (int pass = 0; pass < 3; ++pass) {
        for (CVantikUSBDevice* d : devices) {
            const int k = KindOf(*d);
            const int group = k == kKindKeyboard ? 0 : k == kKindMouse ? 1 : 2;
            if (group == pass && (d == &current || IsConnected(*d)))
                ordered.push_back(d);
        }
    }
    for (CVantikUSBDevice* d : ordered) {
        LightInfo info = d->Profile().GetLightInfo();
        const uint8_t keepSub = info.zzccMode, keepGroup = info.customGroup, keepSaved = info.previousMode;
        info = source;
        info.zzccMode = keepSub;
        info.customGroup = keepGroup;
        info.previousMode = keepSaved;
        info.mode = uint8_t(FamilyMode(KindOf(*d), family));
        d->SetSameLighting(1);
        if (CLightControlUI* panel = PanelOf(*d))
            panel->ShowLightInfo(info);
        StoreAndSendLight(*d, info);
    }
    return true;
}

void ApplyGameEvent(CVantikUSBDevice& device, int w, int m)
{
    if (w < 0 || w > 2)
        return;
    // A mode the device does not have (another device's mode number) is not shown.
    const qsizetype modes = device.LightModes().names.size();
    if (m < 0 || m > 255 || (modes > 0 && m >= modes))
        return;
    LightInfo info = device.Profile().GetLightInfo();
    if (w == 0)
        info.previousMode = info.mode >= 1 && info.mode <= 20 ? info.mode : 1;
    info.mode = uint8_t(m);
    device.SetSameLighting(0);
    if (CLightControlUI* panel = PanelOf(device))
        panel->SelectMode(m);
    StoreAndSendLight(device, info);
}

void RestoreAfterGame(CVantikUSBDevice& device)
{
    LightInfo info = device.Profile().GetLightInfo();
    info.mode = info.previousMode;
    device.SetSameLighting(0);
    if (CLightControlUI* panel = PanelOf(device))
        panel->ShowLightInfo(info);
    StoreAndSendLight(device, info);
}

void SetSameLightingHandler(SameLightingHandler handler)
{
    Handler() = std::move(handler);
}

const SameLightingHandler& GetSameLightingHandler()
{
    return Handler();
}

}  // namespace editors
