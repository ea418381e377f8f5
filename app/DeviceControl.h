#pragma once

#include "app/ConnectedDevice.h"

#include <QObject>
#include <QPointer>
#include <QSet>
#include <QString>
#include <QStringList>
#include <QVariant>
#include <QVariantMap>
#include <functional>
#include <utility>
#include <vector>

class CVantikUSBDevice;
class CDeviceProfileUI;
class QWidget;

namespace app {

// What other programs may do with a connected device (the D-Bus interface and tesselctl): read
// and switch its profiles, its DPI stages and polling rate, its lighting, the headset's sound,
// write, import and export a profile.
//
// Every change is made with the device's page, as the user's hand would make it: the control
// shows the new value and its notification goes through the main window to the device, so the
// page, the profile file and the device change exactly as they do for a click. Reads come from
// what the page and the profile hold. UI thread only.
class DeviceControl : public QObject {
    Q_OBJECT
public:
    // The error names of the interface (org.tessel.Tessel1.Error.*).
    static constexpr char kNoSuchDevice[] = "org.tessel.Tessel1.Error.NoSuchDevice";
    static constexpr char kInvalidValue[] = "org.tessel.Tessel1.Error.InvalidValue";
    static constexpr char kDeviceBusy[] = "org.tessel.Tessel1.Error.DeviceBusy";
    static constexpr char kNoSuchProfile[] = "org.tessel.Tessel1.Error.NoSuchProfile";
    static constexpr char kNotSupported[] = "org.tessel.Tessel1.Error.NotSupported";
    static constexpr char kNotAnswering[] = "org.tessel.Tessel1.Error.NotAnswering";
    static constexpr char kFileError[] = "org.tessel.Tessel1.Error.FileError";

    // The outcome of an operation: success when `error` is empty; `value` is what a read gives.
    struct Result {
        QString error;
        QString message;
        QVariant value;
        bool ok() const { return error.isEmpty(); }
    };
    using Done = std::function<void(const Result&)>;
    using Entries = std::vector<std::pair<ConnectedDevice, CVantikUSBDevice*>>;

    explicit DeviceControl(std::function<Entries()> devices, QObject* parent = nullptr);
    // Every call works through the device's page: a start without the window builds pages only
    // when first wanted, so a call asks for them to be built before it looks a device up.
    void SetPageBuilder(std::function<void()> buildPages) { m_buildPages = std::move(buildPages); }

    // --- Reads (answered at once) ---
    // The profile names and the selected one: {"profiles": as, "current": s}.
    Result Profiles(const QString& id);
    // {"stages": ai (DPI of stages 1..n), "enabled": ab, "current": i (1-based),
    //  "min": i, "max": i (the DPI the sensor offers; 0 before it was read), "polling_rate": i (Hz)}
    Result Dpi(const QString& id);
    // {"mode": i, "mode_name": s, "brightness": i, "speed": i, "colour": s "#rrggbb", "multicolour": b}
    Result Lighting(const QString& id);
    // {"eq_preset": i, "mic_level": i, "sidetone_level": i, "mic_on": b, "sidetone_on": b}
    Result Sound(const QString& id);
    // The keys (or buttons): a list of {"position": i, "name": s, "function": s}.
    Result Keys(const QString& id);

    // --- Writes: `done` runs once the change reached the device (or failed) ---
    void SwitchProfile(const QString& id, const QString& name, Done done);
    void SetDpiStage(const QString& id, int stage, int dpi, Done done);
    void SetCurrentStage(const QString& id, int stage, Done done);
    void SetPollingRate(const QString& id, int hz, Done done);
    // Keys: "mode" (index or name), "brightness" 0..4, "speed" 0..4, "colour" "#rrggbb",
    // "multicolour" b. Any other key, or a value out of range, refuses the whole call.
    void SetLighting(const QString& id, const QVariantMap& values, Done done);
    void SetEqPreset(const QString& id, int preset, Done done);
    void SetMicLevel(const QString& id, int level, Done done);
    void SetSideToneLevel(const QString& id, int level, Done done);
    void WriteProfile(const QString& id, Done done);
    // Gives key `key` (its name as Keys shows it, or its position) the function named
    // `function` (as the key editor's lists name it, or "default" for its factory function),
    // and writes the keys to the device as the key editor's save does.
    void SetKey(const QString& id, const QString& key, const QString& function, Done done);
    // Imports the profile file at `path` as a new profile; the value is its name.
    Result ImportProfile(const QString& id, const QString& path);
    Result ExportProfile(const QString& id, const QString& path);

    static const int kPollingRates[4];

signals:
    // A profile of device `id` became the selected one (from the window or from here).
    void ProfileChanged(const QString& id, const QString& name);

public slots:
    // The connected devices changed: the profile panels of new devices are watched.
    void DevicesChanged();

private:
    // The device named `id`; an empty id names the only connected device that `fits`.
    CVantikUSBDevice* Find(const QString& id, const std::function<bool(CVantikUSBDevice&)>& fits,
                           const QString& what, Result& failed, QString* resolvedId = nullptr);
    QString IdOf(const CVantikUSBDevice* device);
    // Runs `done` once what the page posted to the device has landed, saying whether it did.
    void WhenLanded(CVantikUSBDevice* device, Done done, QVariant value = {});
    static QWidget* PageControl(CVantikUSBDevice& device, const QString& name);
    static CDeviceProfileUI* ProfilePanel(CVantikUSBDevice& device);

    std::function<Entries()> m_devices;
    std::function<void()> m_buildPages;
    QSet<CDeviceProfileUI*> m_watched;
};

}  // namespace app
