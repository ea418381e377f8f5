#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace sim {

// The four virtual devices. A keyboard or mouse can be reached by its cable, through its 2.4 GHz
// receiver, or both at once; the mouse pad and the headset only have a cable.
enum class DeviceKind : uint8_t { Keyboard, Mouse, Pad, Headset };
enum class Route : uint8_t { Cable, Receiver };

inline constexpr int kDeviceKindCount = 4;
inline constexpr int kRouteCount = 2;

// USB identity of the product a route presents.
struct UsbIdentity {
    uint16_t vendorId = 0;
    uint16_t productId = 0;
    uint16_t versionNumber = 0;
};

std::string_view deviceName(DeviceKind kind);
std::string_view routeName(Route route);
// Accepts "keyboard", "mouse", "pad" (or "mousepad") and "headset", case-insensitively.
std::optional<DeviceKind> parseDeviceKind(std::string_view text);
std::optional<Route> parseRoute(std::string_view text);

bool hasReceiver(DeviceKind kind);
// Identity of the product seen on `route`; nullopt for a receiver route of a cable-only device.
std::optional<UsbIdentity> usbIdentity(DeviceKind kind, Route route);

}  // namespace sim
