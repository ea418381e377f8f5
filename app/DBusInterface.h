#pragma once

#include "app/ConnectedDevice.h"
#include "app/WorkToolAnswer.h"

#include <QByteArray>
#include <QDBusConnection>
#include <QDBusContext>
#include <QList>
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
public:
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
    static constexpr char kErrorNoSuchDevice[] = "org.tessel.Tessel1.Error.NoSuchDevice";
    static constexpr char kErrorInvalidValue[] = "org.tessel.Tessel1.Error.InvalidValue";

    // Devices as they travel on the bus (aa{sv}, keys as documented in the interface XML).
    static QList<QVariantMap> ToBus(const ConnectedDevices& devices);

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

signals:
    // Relayed to the bus as the LightingControl signal.
    void LightingControl(bool controlling);
    void FocusRulesChanged(const QString& device);

private:
    intptr_t SendNamed(const char* message, intptr_t wParam, intptr_t lParam);

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
