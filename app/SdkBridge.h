#pragma once

#include "sdkserver/SdkServer.h"

#include <QObject>
#include <QStringList>
#include <QTimer>

#include <map>
#include <optional>
#include <string>
#include <vector>

class CVantikUSBDevice;

namespace app {

class DeviceHub;

// Where the SDK server listens, if anywhere: off unless the settings or the command line turn
// it on. The command line wins over the settings.
struct SdkServerConfig {
    bool enabled = false;
    quint16 port = sdk::kDefaultPort;
    bool anyAddress = false;  // listen beyond this machine (loopback only otherwise)
};
// "--sdk-server" or "--sdk-server=PORT" among `arguments`; nothing when absent. PORT 0 takes any
// free port. A port that is not a number from 0 to 65535 is reported in `error` and leaves the
// server off.
std::optional<SdkServerConfig> SdkServerFromArguments(const QStringList& arguments, QString* error);
// The settings keys: SDK_SERVER (0 off, 1 on), SDK_SERVER_PORT, SDK_SERVER_ANY_ADDRESS (1 to
// listen on every address).
SdkServerConfig SdkServerFromSettings();

// The devices as controllers of the SDK server, and what its clients ask of them. Each connected
// device is one controller: the keyboard's keys as a matrix zone with their names, the mouse's
// seven LED groups, the mouse pad's ring, the headset's LEDs; its lighting modes with the
// settings each takes, and "Direct" first, where a client sets every LED. While a client drives
// a device, the device runs the client's lighting outside its profile and the lighting panel
// says who drives it; when the client goes, the profile's lighting returns. UI thread only.
class SdkBridge : public QObject, public sdk::SdkBackend {
    Q_OBJECT
public:
    explicit SdkBridge(DeviceHub& devices, QObject* parent = nullptr);
    ~SdkBridge() override;

    bool Start(const SdkServerConfig& config, QString* error);
    sdk::SdkServer& Server() { return m_server; }
    // The devices may have changed (found, lost, read): the controller list follows soon.
    void DevicesChanged();

    // SdkBackend
    void ApplyColours(const std::string& location, const std::vector<uint32_t>& colours) override;
    void ApplyMode(const std::string& location, int index, const sdk::Mode& mode) override;
    void ControlChanged(const std::string& location, const std::string& client) override;

private:
    struct Entry {
        CVantikUSBDevice* device = nullptr;
        std::vector<int> ledOfController;  // the device LED of each controller LED
    };
    void Refresh();
    sdk::Controller Describe(CVantikUSBDevice& device, const std::string& location, Entry& entry) const;
    CVantikUSBDevice* DeviceAt(const std::string& location) const;
    static void ShowController(CVantikUSBDevice& device, const QString& client);

    DeviceHub& m_devices;
    sdk::SdkServer m_server{*this};
    QTimer m_refresh;
    std::map<std::string, Entry> m_entries;
};

}  // namespace app
