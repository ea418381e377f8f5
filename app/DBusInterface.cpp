#include "app/DBusInterface.h"

#include "app/FocusSwitcher.h"
#include "app/RegisteredMessages.h"
#include "devices/CVantikUSBDevice.h"
#include "profiles/ProfileList.h"
#include "hid/DebugLog.h"
#include "tessel1adaptor.h"

#include <QDBusMetaType>
#include <utility>

namespace app {

DBusInterface::DBusInterface(Sender send, DeviceProvider devices, QObject* parent)
    : QObject(parent), m_send(std::move(send)), m_devices(std::move(devices)),
      m_bus(QStringLiteral("none"))
{
    qDBusRegisterMetaType<QList<QVariantMap>>();
    qDBusRegisterMetaType<QList<bool>>();
    new TesselAdaptor(this);  // owned by this object; relays its signals to the bus
}

DBusInterface::~DBusInterface()
{
    if (m_serviceOwned)
        m_bus.unregisterService(QLatin1String(kService));
    if (m_objectRegistered)
        m_bus.unregisterObject(QLatin1String(kObjectPath));
}

bool DBusInterface::Register(QDBusConnection bus)
{
    if (!bus.isConnected()) {
        qCWarning(tesselDebug).noquote()
            << "No D-Bus session bus; other programs cannot reach Tessel:" << bus.lastError().message();
        return false;
    }
    m_bus = bus;
    m_objectRegistered = m_bus.registerObject(QLatin1String(kObjectPath), this);
    if (!m_objectRegistered) {
        qCWarning(tesselDebug) << "D-Bus object" << kObjectPath << "could not be exported";
        return false;
    }
    m_serviceOwned = m_bus.registerService(QLatin1String(kService));
    if (!m_serviceOwned) {
        qCWarning(tesselDebug).noquote()
            << "D-Bus name" << kService << "is owned by another program (another Tessel?);"
            << "running without it";
        return false;
    }
    qCDebug(tesselDebug) << "D-Bus interface ready:" << kService;
    return true;
}

void DBusInterface::BroadcastLightingControl(bool controlling)
{
    emit LightingControl(controlling);
}

QList<QVariantMap> DBusInterface::ToBus(const ConnectedDevices& devices)
{
    QList<QVariantMap> out;
    out.reserve(qsizetype(devices.size()));
    for (const ConnectedDevice& d : devices)
        out.append(ToBus(d));
    return out;
}

QVariantMap DBusInterface::ToBus(const ConnectedDevice& d)
{
    return QVariantMap{
        {QStringLiteral("kind"), KindName(d.kind)},
        {QStringLiteral("name"), d.name},
        {QStringLiteral("vendor_id"), QVariant::fromValue<ushort>(d.vendorId)},
        {QStringLiteral("product_id"), QVariant::fromValue<ushort>(d.productId)},
        {QStringLiteral("route"), RouteName(d.route)},
        {QStringLiteral("firmware"), d.firmware},
        {QStringLiteral("battery"), QVariant::fromValue<int>(d.battery)},
        {QStringLiteral("charging"), d.charging},
        {QStringLiteral("id"), DeviceId(d)},
    };
}

intptr_t DBusInterface::SendNamed(const char* message, intptr_t wParam, intptr_t lParam)
{
    return m_send ? m_send(RegisteredMessages::Register(QLatin1String(message)), wParam, lParam) : 0;
}

void DBusInterface::Show()
{
    // As a second start announces itself.
    SendNamed(msg::kInstance, 0, 1);
}

void DBusInterface::SetLightingControl(bool take)
{
    SendNamed(msg::kLightControlRequest, 1, take ? 1 : 0);
}

QByteArray DBusInterface::QueryWorkTool()
{
    // The window answers through AnswerWorkTool while the query is sent; the message itself
    // carries nothing, so a query that arrives some other way cannot aim the answer anywhere.
    m_workToolAnswer.reset();
    m_workToolAsking = true;
    SendNamed(msg::kWorkToolQuery, 0, 0);
    m_workToolAsking = false;
    if (!m_workToolAnswer) {
        if (calledFromDBus())
            sendErrorReply(QLatin1String(kErrorFailed), QStringLiteral("Tessel gave no answer"));
        return {};
    }
    return *std::exchange(m_workToolAnswer, std::nullopt);
}

void DBusInterface::AnswerWorkTool(const std::array<uint8_t, kWorkToolAnswerSize>& answer)
{
    if (m_workToolAsking)
        m_workToolAnswer = QByteArray(reinterpret_cast<const char*>(answer.data()), qsizetype(answer.size()));
}

void DBusInterface::RelayUpdate(qlonglong wparam, qlonglong lparam)
{
    SendNamed(msg::kUpdateRelay, intptr_t(wparam), intptr_t(lparam));
}

void DBusInterface::GameEvent(const QString& name)
{
    GameEventWithMode(name, 0, 0);
}

void DBusInterface::GameEventWithMode(const QString& name, qlonglong how, qlonglong mode)
{
    for (const char* game : msg::kGameMessages) {
        if (name == QLatin1String(game)) {
            // Values outside what a game may pass would otherwise be cut to a mode nobody asked
            // for (2^32 became mode 0, lights off).
            if (how < 0 || how > 2 || mode < 0 || mode > 255) {
                if (calledFromDBus())
                    sendErrorReply(QLatin1String(kErrorInvalidArgs),
                                   QStringLiteral("Game event values out of range: how is 0, 1 or 2 "
                                                  "(got %1) and mode 0 to 255 (got %2)")
                                       .arg(how)
                                       .arg(mode));
                return;
            }
            SendNamed(game, intptr_t(how), intptr_t(mode));
            return;
        }
    }
    if (calledFromDBus())
        sendErrorReply(QLatin1String(kErrorUnknownGameEvent),
                       QStringLiteral("Unknown game event \"%1\"; expected Game_Start, Game_End, "
                                      "Game_Kill or Game_Death")
                           .arg(name));
}

QList<QVariantMap> DBusInterface::ListDevices()
{
    return ToBus(m_devices ? m_devices() : ConnectedDevices{});
}

void DBusInterface::SetDeviceControl(DeviceControl* control)
{
    m_control = control;
    if (control)
        connect(control, &DeviceControl::ProfileChanged, this, &DBusInterface::ProfileChanged);
}

void DBusInterface::DevicesChanged(const ConnectedDevices& devices)
{
    if (m_control)
        m_control->DevicesChanged();
    QMap<QString, ConnectedDevice> now;
    for (const ConnectedDevice& d : devices)
        now.insert(DeviceId(d), d);
    for (auto it = m_known.cbegin(); it != m_known.cend(); ++it)
        if (!now.contains(it.key()))
            emit DeviceRemoved(it.key());
    for (auto it = now.cbegin(); it != now.cend(); ++it) {
        const auto known = m_known.constFind(it.key());
        if (known == m_known.cend()) {
            emit DeviceAdded(it.key(), ToBus(*it));
            if (it->battery >= 0)
                emit BatteryChanged(it.key(), it->battery, it->charging);
        } else if (known->battery != it->battery || known->charging != it->charging) {
            emit BatteryChanged(it.key(), it->battery, it->charging);
        }
    }
    m_known = now;
}

QVariant DBusInterface::Answer(const DeviceControl::Result& result)
{
    if (!result.ok() && calledFromDBus())
        sendErrorReply(result.error, result.message);
    return result.value;
}

DeviceControl::Done DBusInterface::Deferred(bool withValue)
{
    if (!calledFromDBus())
        return [](const DeviceControl::Result&) {};
    setDelayedReply(true);
    return [bus = connection(), call = message(), withValue](const DeviceControl::Result& r) {
        QDBusConnection conn(bus);
        if (!r.ok())
            conn.send(call.createErrorReply(r.error, r.message));
        else if (withValue)
            conn.send(call.createReply(r.value));
        else
            conn.send(call.createReply());
    };
}

namespace {
DeviceControl::Result NoControl()
{
    return {QLatin1String(DeviceControl::kNoSuchDevice), QStringLiteral("Tessel has no devices yet"), {}};
}
}  // namespace

QStringList DBusInterface::ListProfiles(const QString& device, QString& current)
{
    const QVariantMap v = Answer(m_control ? m_control->Profiles(device) : NoControl()).toMap();
    current = v.value(QStringLiteral("current")).toString();
    return v.value(QStringLiteral("profiles")).toStringList();
}

void DBusInterface::SwitchProfile(const QString& device, const QString& name)
{
    auto done = Deferred(false);
    m_control ? m_control->SwitchProfile(device, name, done) : done(NoControl());
}

void DBusInterface::WriteProfile(const QString& device)
{
    auto done = Deferred(false);
    m_control ? m_control->WriteProfile(device, done) : done(NoControl());
}

QString DBusInterface::ImportProfile(const QString& device, const QString& path)
{
    return Answer(m_control ? m_control->ImportProfile(device, path) : NoControl()).toString();
}

void DBusInterface::ExportProfile(const QString& device, const QString& path)
{
    Answer(m_control ? m_control->ExportProfile(device, path) : NoControl());
}

QVariantMap DBusInterface::GetDpi(const QString& device)
{
    return Answer(m_control ? m_control->Dpi(device) : NoControl()).toMap();
}

int DBusInterface::SetDpiStage(const QString& device, int stage, int dpi)
{
    auto done = Deferred(true);
    m_control ? m_control->SetDpiStage(device, stage, dpi, done) : done(NoControl());
    return 0;
}

void DBusInterface::SetCurrentDpiStage(const QString& device, int stage)
{
    auto done = Deferred(false);
    m_control ? m_control->SetCurrentStage(device, stage, done) : done(NoControl());
}

void DBusInterface::SetPollingRate(const QString& device, int hz)
{
    auto done = Deferred(false);
    m_control ? m_control->SetPollingRate(device, hz, done) : done(NoControl());
}

QVariantMap DBusInterface::GetLighting(const QString& device)
{
    return Answer(m_control ? m_control->Lighting(device) : NoControl()).toMap();
}

void DBusInterface::SetLighting(const QString& device, const QVariantMap& values)
{
    auto done = Deferred(false);
    m_control ? m_control->SetLighting(device, values, done) : done(NoControl());
}

QVariantMap DBusInterface::GetSound(const QString& device)
{
    return Answer(m_control ? m_control->Sound(device) : NoControl()).toMap();
}

void DBusInterface::SetEqPreset(const QString& device, int preset)
{
    auto done = Deferred(false);
    m_control ? m_control->SetEqPreset(device, preset, done) : done(NoControl());
}

void DBusInterface::SetMicLevel(const QString& device, int level)
{
    auto done = Deferred(false);
    m_control ? m_control->SetMicLevel(device, level, done) : done(NoControl());
}

void DBusInterface::SetSideToneLevel(const QString& device, int level)
{
    auto done = Deferred(false);
    m_control ? m_control->SetSideToneLevel(device, level, done) : done(NoControl());
}

QList<QVariantMap> DBusInterface::ListKeys(const QString& device)
{
    QList<QVariantMap> keys;
    for (const QVariant& key : Answer(m_control ? m_control->Keys(device) : NoControl()).toList())
        keys << key.toMap();
    return keys;
}

void DBusInterface::SetKey(const QString& device, const QString& key, const QString& function)
{
    auto done = Deferred(false);
    m_control ? m_control->SetKey(device, key, function, done) : done(NoControl());
}

void DBusInterface::SetFocusSwitcher(FocusSwitcher* switcher)
{
    m_focus = switcher;
    if (switcher)
        connect(switcher, &FocusSwitcher::RulesChanged, this, &DBusInterface::FocusRulesChanged, Qt::UniqueConnection);
}

QList<QVariantMap> DBusInterface::GetFocusRules(const QString& device, QString& defaultProfile)
{
    CVantikUSBDevice* d = m_focus ? m_focus->FindDevice(device) : nullptr;
    if (!d) {
        sendErrorReply(QLatin1String(DeviceControl::kNoSuchDevice), QStringLiteral("No connected device \"%1\"").arg(device));
        return {};
    }
    const focusrules::LoadResult loaded = FocusSwitcher::Load(*d);
    if (loaded.damaged) {
        sendErrorReply(QLatin1String(kErrorFailed), QStringLiteral("The focus rules of \"%1\" could not be read; a copy was kept").arg(device));
        return {};
    }
    QHash<QString, QString> names;
    for (const ProfileList::Entry& e : ProfileList(d->DataFolder(), d->DefaultProfileFile()).Entries())
        names.insert(e.id, e.name);
    QList<QVariantMap> out;
    for (const FocusRule& r : loaded.set.rules) {
        out << QVariantMap{{QStringLiteral("match"), r.match},
                           {QStringLiteral("profile"), names.value(r.profileId)},
                           {QStringLiteral("profile_id"), r.profileId}};
    }
    defaultProfile = names.value(loaded.set.defaultProfileId);
    return out;
}

void DBusInterface::SetFocusRules(const QString& device, const QList<QVariantMap>& rules, const QString& defaultProfile)
{
    CVantikUSBDevice* d = m_focus ? m_focus->FindDevice(device) : nullptr;
    if (!d) {
        sendErrorReply(QLatin1String(DeviceControl::kNoSuchDevice), QStringLiteral("No connected device \"%1\"").arg(device));
        return;
    }
    const std::vector<ProfileList::Entry> entries = ProfileList(d->DataFolder(), d->DefaultProfileFile()).Entries();
    // A profile given by id, else by name (names compared as the panel compares them).
    auto resolve = [&](const QString& given) -> std::optional<QString> {
        for (const ProfileList::Entry& e : entries) {
            if (e.id == given)
                return e.id;
        }
        for (const ProfileList::Entry& e : entries) {
            if (e.name.compare(given, Qt::CaseInsensitive) == 0)
                return e.id;
        }
        return std::nullopt;
    };
    if (rules.size() > FocusRuleSet::kMaxRules) {
        sendErrorReply(QLatin1String(DeviceControl::kInvalidValue), QStringLiteral("At most %1 rules").arg(FocusRuleSet::kMaxRules));
        return;
    }
    FocusRuleSet set;
    for (int i = 0; i < rules.size(); ++i) {
        const QString match = rules[i].value(QStringLiteral("match")).toString().trimmed();
        const QString profile = rules[i].value(QStringLiteral("profile")).toString();
        if (match.isEmpty()) {
            sendErrorReply(QLatin1String(DeviceControl::kInvalidValue), QStringLiteral("Rule %1 has no \"match\"").arg(i));
            return;
        }
        const std::optional<QString> id = resolve(profile);
        if (!id) {
            sendErrorReply(QLatin1String(DeviceControl::kInvalidValue), QStringLiteral("Rule %1: no profile \"%2\"").arg(i).arg(profile));
            return;
        }
        set.rules.push_back({match, *id});
    }
    if (!defaultProfile.isEmpty()) {
        const std::optional<QString> id = resolve(defaultProfile);
        if (!id) {
            sendErrorReply(QLatin1String(DeviceControl::kInvalidValue), QStringLiteral("No profile \"%1\"").arg(defaultProfile));
            return;
        }
        set.defaultProfileId = *id;
    }
    if (!m_focus->Save(*d, set))
        sendErrorReply(QLatin1String(kErrorFailed), QStringLiteral("The focus rules could not be saved"));
}

void DBusInterface::ReportActiveWindow(const QVariantMap& window)
{
    if (!m_focus)
        return;
    if (auto* source = qobject_cast<BusFocusSource*>(m_focus->Source()))
        source->Report(window);
}

}  // namespace app
