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

QString DeviceId(const ConnectedDevice& device)
{
    return QStringLiteral("%1:%2:%3:%4")
        .arg(KindName(device.kind))
        .arg(device.vendorId, 4, 16, QLatin1Char('0'))
        .arg(device.productId, 4, 16, QLatin1Char('0'))
        .arg(RouteName(device.route));
}

}  // namespace app
