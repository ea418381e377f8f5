#include "app/ConnectedDevice.h"

namespace app {

QString KindName(ConnectedDevice::Kind kind)
{
    switch (kind) {
    case ConnectedDevice::Kind::Keyboard: return QStringLiteral("keyboard");
    case ConnectedDevice::Kind::Mouse: return QStringLiteral("mouse");
    case ConnectedDevice::Kind::MousePad: return QStringLiteral("mousepad");
    case ConnectedDevice::Kind::Headset: return QStringLiteral("headset");
    }
    return {};
}

QString RouteName(ConnectedDevice::Route route)
{
    return route == ConnectedDevice::Route::Receiver ? QStringLiteral("receiver") : QStringLiteral("cable");
}

}  // namespace app
