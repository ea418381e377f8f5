#pragma once

#include "ui/Notify.h"

class CVantikUSBDevice;

// An editor panel placed in a device page (the profile panel, the shoot editor, ...). The page
// finds its panels when it starts, hands each the device it belongs to, and passes them the
// notifications of the page's controls that the main window does not handle itself.
class CDevicePanel {
public:
    virtual ~CDevicePanel() = default;
    // Once, when the device page starts: the panel reads what it needs from its device.
    virtual void AttachDevice(CVantikUSBDevice& device) = 0;
    // True when the panel took the notification.
    virtual bool HandlePanelNotify(TNotifyUI& msg) = 0;
    // The device loaded or re-read its profile: the panel shows it again.
    virtual void DeviceRefreshed() {}
};
