#pragma once

#include "app/ConnectedDevice.h"
#include "app/DeviceControl.h"
#include "app/WorkToolAnswer.h"

#include <QByteArray>
#include <QDBusConnection>
#include <QDBusContext>
#include <QDBusMessage>
#include <QList>
#include <QMap>
#include <QObject>
#include <QPointer>
#include <QVariantMap>
#include <array>
#include <cstdint>
#include <functional>
#include <optional>

namespace app {

class FocusSwitcher;

// Tessel on the D-Bus session bus: service org.tessel.Tessel, object /org/tessel/Tessel,
// interface org.tessel.Tessel1 (packaging/org.tessel.Tessel1.xml, from which the adaptor is
// generated). Each call becomes the registered message other programs would have sent and goes
// through the main window's message handler, so a call and a window message behave alike.
// Lives on the UI thread; the bus delivers calls there.
class DBusInterface : public QObject, protected QDBusContext {
    Q_OBJECT
    Q_PROPERTY(uint InterfaceVersion READ InterfaceVersion CONSTANT)
public:
    // 1: the window's messages and ListDevices; 2: per-device methods and their signals.
    static constexpr uint kInterfaceVersion = 2;
    static constexpr char kService[] = "org.tessel.Tessel";
    static constexpr char kObjectPath[] = "/org/tessel/Tessel";
    static constexpr char kInterface[] = "org.tessel.Tessel1";
    static constexpr char kErrorUnknownGameEvent[] = "org.tessel.Tessel1.Error.UnknownGameEvent";
    static constexpr char kErrorFailed[] = "org.tessel.Tessel1.Error.Failed";
    static constexpr char kErrorInvalidArgs[] = "org.freedesktop.DBus.Error.InvalidArgs";

    // Hands a registered message to the main window and returns its result (the window's Send).
    using Sender = std::function<intptr_t(uint32_t msg, intptr_t wParam, intptr_t lParam)>;
    using DeviceProvider = std::function<ConnectedDevices()>;

    DBusInterface(Sender send, DeviceProvider devices, QObject* parent = nullptr);
    ~DBusInterface() override;

    // Exports the object and claims the service name on `bus`. False (and a warning) when the
    // bus is not there or the name belongs to someone else, e.g. another Tessel on the same
    // bus; the object stays exported then, and Tessel runs on without the name.
    bool Register(QDBusConnection bus);

    // The light control broadcast: Tessel took (true) or released (false) the lighting.
    void BroadcastLightingControl(bool controlling);
    // The main window's answer to the work tool query. It reaches the caller of QueryWorkTool
    // while that call waits for it; at any other time nobody asked and it is dropped.
    void AnswerWorkTool(const std::array<uint8_t, kWorkToolAnswerSize>& answer);

    // The rules of following the focus, read and written through `switcher` (may be null).
    void SetFocusSwitcher(FocusSwitcher* switcher);

    // Devices as they travel on the bus (aa{sv}, keys as documented in the interface XML).
    static QList<QVariantMap> ToBus(const ConnectedDevices& devices);
    static QVariantMap ToBus(const ConnectedDevice& device);

    // Where the per-device methods go; without one they fail with NoSuchDevice.
    void SetDeviceControl(DeviceControl* control);
    // The connected devices now: DeviceAdded, DeviceRemoved and BatteryChanged for what
    // differs from the last list.
    void DevicesChanged(const ConnectedDevices& devices);

    uint InterfaceVersion() const { return kInterfaceVersion; }

public slots:
    // The interface's methods, called by the generated adaptor.
    void Show();
    void SetLightingControl(bool take);
    QByteArray QueryWorkTool();
    void RelayUpdate(qlonglong wparam, qlonglong lparam);
    void GameEvent(const QString& name);
    void GameEventWithMode(const QString& name, qlonglong how, qlonglong mode);
    QList<QVariantMap> ListDevices();
    QList<QVariantMap> GetFocusRules(const QString& device, QString& defaultProfile);
    void SetFocusRules(const QString& device, const QList<QVariantMap>& rules, const QString& defaultProfile);
    void ReportActiveWindow(const QVariantMap& window);

    // Per-device methods (see the interface XML). Writes answer once the device took the change.
    QStringList ListProfiles(const QString& device, QString& current);
    void SwitchProfile(const QString& device, const QString& name);
    void WriteProfile(const QString& device);
    QString ImportProfile(const QString& device, const QString& path);
    void ExportProfile(const QString& device, const QString& path);
    QVariantMap GetDpi(const QString& device);
    int SetDpiStage(const QString& device, int stage, int dpi);
    void SetCurrentDpiStage(const QString& device, int stage);
    void SetPollingRate(const QString& device, int hz);
    QVariantMap GetLighting(const QString& device);
    void SetLighting(const QString& device, const QVariantMap& values);
    QVariantMap GetSound(const QString& device);
    void SetEqPreset(const QString& device, int preset);
    void SetMicLevel(const QString& device, int level);
    void SetSideToneLevel(const QString& device, int level);
    QList<QVariantMap> ListKeys(const QString& device);
    void SetKey(const QString& device, const QString& key, const QString& function);

signals:
    // Relayed to the bus as the LightingControl signal.
    void LightingControl(bool controlling);
    void DeviceAdded(const QString& device, const QVariantMap& properties);
    void DeviceRemoved(const QString& device);
    void ProfileChanged(const QString& device, const QString& profile);
    void BatteryChanged(const QString& device, int level, bool charging);
    void FocusRulesChanged(const QString& device);

private:
    intptr_t SendNamed(const char* message, intptr_t wParam, intptr_t lParam);
    // A read's answer: its value, or the error reply.
    QVariant Answer(const DeviceControl::Result& result);
    // A write's answer, sent when `done` runs: the reply (carrying `value` when the method
    // has an output) or the error.
    DeviceControl::Done Deferred(bool withValue);

    QPointer<DeviceControl> m_control;
    QMap<QString, ConnectedDevice> m_known;

    Sender m_send;
    DeviceProvider m_devices;
    QDBusConnection m_bus;
    bool m_objectRegistered = false;
    bool m_serviceOwned = false;
    bool m_workToolAsking = false;
    std::optional<QByteArray> m_workToolAnswer;
    QPointer<FocusSwitcher> m_focus;
};

}  // namespace app
