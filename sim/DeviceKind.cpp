#include "sim/DeviceKind.h"

#include <algorithm>
#include <cctype>

namespace sim {
namespace {

std::string lower(std::string_view text) {
    std::string out(text);
    std::transform(out.begin(), out.end(), out.begin(),
                   [](unsigned char c) { return char(std::tolower(c)); });
    return out;
}

constexpr uint16_t kMakerVendor = 0x3A17;
constexpr uint16_t kHeadsetVendor = 0x0C76;

}  // namespace

std::string_view deviceName(DeviceKind kind) {
    switch (kind) {
    case DeviceKind::Keyboard: return "keyboard";
    case DeviceKind::Mouse: return "mouse";
    case DeviceKind::Pad: return "pad";
    case DeviceKind::Headset: return "headset";
    }
    return "?";
}

std::string_view routeName(Route route) { return route == Route::Cable ? "cable" : "receiver"; }

std::optional<DeviceKind> parseDeviceKind(std::string_view text) {
    const std::string t = lower(text);
    if (t == "keyboard") return DeviceKind::Keyboard;
    if (t == "mouse") return DeviceKind::Mouse;
    if (t == "pad" || t == "mousepad") return DeviceKind::Pad;
    if (t == "headset") return DeviceKind::Headset;
    return std::nullopt;
}

std::optional<Route> parseRoute(std::string_view text) {
    const std::string t = lower(text);
    if (t == "cable") return Route::Cable;
    if (t == "receiver") return Route::Receiver;
    return std::nullopt;
}

bool hasReceiver(DeviceKind kind) { return kind == DeviceKind::Keyboard || kind == DeviceKind::Mouse; }

std::optional<UsbIdentity> usbIdentity(DeviceKind kind, Route route) {
    switch (kind) {
    case DeviceKind::Keyboard:
        return route == Route::Cable ? UsbIdentity{kMakerVendor, 0x5055, 0x0105}
                                     : UsbIdentity{kMakerVendor, 0x5088, 0x0102};
    case DeviceKind::Mouse:
        return route == Route::Cable ? UsbIdentity{kMakerVendor, 0x221C, 0x0107}
                                     : UsbIdentity{kMakerVendor, 0x221D, 0x0102};
    case DeviceKind::Pad:
        if (route == Route::Cable) return UsbIdentity{kMakerVendor, 0x1004, 0x0101};
        return std::nullopt;
    case DeviceKind::Headset:
        if (route == Route::Cable) return UsbIdentity{kHeadsetVendor, 0x1630, 0x0100};
        return std::nullopt;
    }
    return std::nullopt;
}

}  // namespace sim
