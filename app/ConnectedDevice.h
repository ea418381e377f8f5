#pragma once

#include <QString>
#include <cstdint>
#include <vector>

namespace app {

// One connected device as other programs see it (the D-Bus device list, tesselctl). Plain
// data: the main window fills it from its device objects on the UI thread.
struct ConnectedDevice {
    enum class Kind { Keyboard, Mouse, MousePad, Headset };
    enum class Route { Cable, Receiver };

    Kind kind = Kind::Keyboard;
    QString name;        // the product name shown on the device's tab
    uint16_t vendorId = 0;
    uint16_t productId = 0;  // of the route in use (the receiver has its own)
    Route route = Route::Cable;
    QString firmware;    // as the about and update windows show it, e.g. "V0102"; empty if unread
    int battery = -1;    // percent, -1 when the device has no battery or it was not read
    bool charging = false;
    uint16_t cableProductId = 0;  // the device's own product id, the same on either route
};

using ConnectedDevices = std::vector<ConnectedDevice>;

// The words used for kinds and routes on the bus: "keyboard", "mouse", "mousepad", "headset";
// "cable", "receiver".
QString KindName(ConnectedDevice::Kind kind);
QString RouteName(ConnectedDevice::Route route);
// The stable id other programs name a device by: kind, vendor and product id of the route in
// use, and route, e.g. "mouse:3a17:221d:receiver". The same device keeps it for as long as it
// stays on its route, across reconnections and Tessel restarts.
QString DeviceId(const ConnectedDevice& device);

}  // namespace app
