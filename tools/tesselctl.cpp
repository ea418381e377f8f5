// tesselctl: the command-line client of Tessel's D-Bus interface (org.tessel.Tessel1 on the
// session bus). Exit status: see kUsage.

#include "tessel1interface.h"

#include "hid/DeviceAccess.h"
#include "profiles/DataPaths.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusMetaType>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QStringList>
#include <QDBusVariant>
#include <QFileInfo>

#include <cstdio>
#include <cstring>
#include <optional>

namespace {

constexpr int kOk = 0;
constexpr int kCallFailed = 1;
constexpr int kBadUsage = 2;
constexpr int kNotRunning = 3;
constexpr int kNoSuchDevice = 4;
constexpr int kInvalidValue = 5;
constexpr int kDeviceBusy = 6;
constexpr int kNoSuchProfile = 7;
constexpr int kNotSupported = 8;
constexpr int kNotAnswering = 9;
constexpr int kFileError = 10;

constexpr char kService[] = "org.tessel.Tessel";
constexpr char kObjectPath[] = "/org/tessel/Tessel";

const char kUsage[] =
    "Usage: tesselctl <command> [options]\n"
    "\n"
    "Talks to a running Tessel over the D-Bus session bus (org.tessel.Tessel).\n"
    "\n"
    "Commands:\n"
    "  devices [--json]        list the connected devices as a table (--json: a JSON array);\n"
    "                          the ID column names a device for --device\n"
    "  profile list            the device's profiles; the selected one is marked with *\n"
    "  profile switch <name>   make profile <name> the device's\n"
    "  profile write           write the selected profile to the device again\n"
    "  profile import <file>   add an exported profile file as a new profile (prints its name)\n"
    "  profile export <file>   write the selected profile to <file>\n"
    "  dpi [show]              the mouse's DPI stages, the stage in use and the polling rate\n"
    "  dpi set <stage> <dpi>   set DPI stage <stage> (from 1) to <dpi>\n"
    "  dpi select <stage>      make <stage> the stage in use\n"
    "  polling-rate <hz>       set the polling rate: 125, 250, 500 or 1000\n"
    "  lighting show           the lighting: mode, brightness, speed, colour\n"
    "  lighting set [--mode M] [--brightness 0-4] [--speed 0-4] [--colour #rrggbb]\n"
    "               [--multicolour on|off]\n"
    "                          change the lighting (mode by number or by name)\n"
    "  lighting take|release   let Tessel drive the device lighting, or release it to other\n"
    "                          programs\n"
    "  eq [show]               the headset's equaliser preset, microphone and side tone\n"
    "  eq preset <1-13>        choose an equaliser preset (13: the custom curve)\n"
    "  eq mic <0-100>          set the microphone level\n"
    "  eq sidetone <0-100>     set the side-tone level\n"
    "  key list                the keys (or buttons) of a keyboard or mouse and their functions\n"
    "  key set <key> <function>\n"
    "                          give key <key> (a name or position from 'key list') the function\n"
    "                          <function> as the key editor names it (\"Mute\", \"A\"), or\n"
    "                          \"default\", and write the keys to the device\n"
    "  watch                   print Tessel's signals (devices added and removed, profile and\n"
    "                          battery changes, lighting control) as they come, until ended\n"
    "  game <event> [<how> <mode>]\n"
    "                          send a game event: start, end, kill or die (or the exact names\n"
    "                          Game_Start, Game_End, Game_Kill, Game_Death); how 0 remembers the\n"
    "                          lighting mode, 1 or 2 do not; mode is the lighting mode to show.\n"
    "                          The remembered mode returns five seconds after the last event\n"
    "  work-tool [--raw]       show the production-tool answer: version and device rows\n"
    "                          (--raw: the 1024 bytes in hex)\n"
    "  show                    restore Tessel's window and bring it to the front\n"
    "  doctor                  check that every supported device present can be opened; for\n"
    "                          one that cannot, say why and print the command that fixes it\n"
    "                          (exit 1 then). Needs no running Tessel and runs nothing itself\n"
    "\n"
    "Options:\n"
    "  --device ID             the device a profile, dpi, polling-rate, lighting show|set, key\n"
    "                          or eq command acts on (an ID from 'tesselctl devices');\n"
    "                          without it, the one connected device the command fits\n"
    "  -h, --help              show this help\n"
    "  -V, --version           show the version of tesselctl\n"
    "\n"
    "Exit status:\n"
    "  0   done\n"
    "  1   the call failed\n"
    "  2   bad usage\n"
    "  3   Tessel is not running\n"
    "  4   no such device (or none, or several, fit the command)\n"
    "  5   invalid value; nothing was changed\n"
    "  6   the device is busy (taking another profile, or its lighting is driven by another\n"
    "      program); try again\n"
    "  7   no such profile\n"
    "  8   the device has no such setting, or this machine cannot apply it\n"
    "  9   the device did not take the change (the profile keeps it)\n"
    "  10  a profile file could not be read or written\n";

void out(const QString& text)
{
    std::fputs(text.toUtf8().constData(), stdout);
}

void err(const QString& text)
{
    std::fputs(("tesselctl: " + text + "\n").toUtf8().constData(), stderr);
}

int usageError(const QString& text)
{
    err(text);
    std::fputs("Try 'tesselctl --help' for more information.\n", stderr);
    return kBadUsage;
}

// A failed call: "not running" when the name has no owner (Tessel ended or never started).
int callError(const QDBusError& error)
{
    if (error.type() == QDBusError::ServiceUnknown ||
        error.name() == QLatin1String("org.freedesktop.DBus.Error.NameHasNoOwner")) {
        err(QStringLiteral("Tessel is not running (%1 is not on the session bus)").arg(QLatin1String(kService)));
        return kNotRunning;
    }
    static const std::pair<const char*, int> codes[] = {
        {"NoSuchDevice", kNoSuchDevice}, {"InvalidValue", kInvalidValue}, {"DeviceBusy", kDeviceBusy},
        {"NoSuchProfile", kNoSuchProfile}, {"NotSupported", kNotSupported}, {"NotAnswering", kNotAnswering},
        {"FileError", kFileError},
    };
    for (const auto& [name, code] : codes) {
        if (error.name() == QLatin1String("org.tessel.Tessel1.Error.") + QLatin1String(name)) {
            err(error.message());
            return code;
        }
    }
    err(QStringLiteral("the call failed: %1 (%2)").arg(error.message(), error.name()));
    return kCallFailed;
}

template <typename Reply>
int finish(Reply reply)
{
    reply.waitForFinished();
    return reply.isError() ? callError(reply.error()) : kOk;
}

QString hex4(uint value)
{
    return QStringLiteral("%1").arg(value, 4, 16, QLatin1Char('0'));
}

// Columns padded to their widest cell; the last column is not padded.
QString table(const QList<QStringList>& rows)
{
    QList<int> widths;
    for (const QStringList& row : rows)
        for (qsizetype i = 0; i < row.size(); ++i) {
            if (widths.size() <= i)
                widths.append(0);
            widths[i] = qMax(widths[i], int(row[i].size()));
        }
    QString text;
    for (const QStringList& row : rows) {
        QString line;
        for (qsizetype i = 0; i < row.size(); ++i)
            line += i + 1 < row.size() ? row[i].leftJustified(widths[i] + 2) : row[i];
        text += line + QLatin1Char('\n');
    }
    return text;
}

int devices(OrgTesselTessel1Interface& tessel, const QStringList& args)
{
    // The options were checked before the bus was reached.
    const bool json = args.contains(QLatin1String("--json"));
    auto reply = tessel.ListDevices();
    reply.waitForFinished();
    if (reply.isError())
        return callError(reply.error());
    const QList<QVariantMap> list = reply.value();

    if (json) {
        QJsonArray array;
        for (const QVariantMap& d : list) {
            array.append(QJsonObject{
                {"kind", d.value("kind").toString()},
                {"name", d.value("name").toString()},
                {"vendor_id", d.value("vendor_id").toInt()},
                {"product_id", d.value("product_id").toInt()},
                {"route", d.value("route").toString()},
                {"firmware", d.value("firmware").toString()},
                {"battery", d.value("battery", -1).toInt()},
                {"charging", d.value("charging").toBool()},
                {"id", d.value("id").toString()},
            });
        }
        out(QString::fromUtf8(QJsonDocument(array).toJson(QJsonDocument::Compact)) + QLatin1Char('\n'));
        return kOk;
    }
    if (list.isEmpty()) {
        out(QStringLiteral("No devices connected.\n"));
        return kOk;
    }
    QList<QStringList> rows{{"KIND", "NAME", "VENDOR", "PRODUCT", "ROUTE", "FIRMWARE", "BATTERY", "CHARGING", "ID"}};
    for (const QVariantMap& d : list) {
        const int battery = d.value("battery", -1).toInt();
        const QString firmware = d.value("firmware").toString();
        rows.append({d.value("kind").toString(), d.value("name").toString(),
                     hex4(d.value("vendor_id").toUInt()), hex4(d.value("product_id").toUInt()),
                     d.value("route").toString(), firmware.isEmpty() ? QStringLiteral("-") : firmware,
                     battery < 0 ? QStringLiteral("-") : QStringLiteral("%1%").arg(battery),
                     d.value("charging").toBool() ? QStringLiteral("yes") : QStringLiteral("no"),
                     d.value("id").toString()});
    }
    out(table(rows));
    return kOk;
}

std::optional<QString> gameMessage(const QString& word)
{
    static const char* const names[][2] = {
        {"start", "Game_Start"}, {"end", "Game_End"}, {"kill", "Game_Kill"}, {"die", "Game_Death"}};
    for (const auto& n : names)
        if (word == QLatin1String(n[0]) || word == QLatin1String(n[1]))
            return QLatin1String(n[1]);
    return std::nullopt;
}

QString deviceTypeName(uint32_t code)
{
    switch (code) {
    case 1: return QStringLiteral("keyboard");
    case 2: return QStringLiteral("mouse");
    case 3: return QStringLiteral("mouse pad");
    case 6: return QStringLiteral("mouse, receiver");
    case 7: return QStringLiteral("headset");
    case 9: return QStringLiteral("keyboard, receiver");
    default: return QStringLiteral("unknown");
    }
}

int workTool(OrgTesselTessel1Interface& tessel, const QStringList& args)
{
    // The options were checked before the bus was reached.
    const bool raw = args.contains(QLatin1String("--raw"));
    auto reply = tessel.QueryWorkTool();
    reply.waitForFinished();
    if (reply.isError())
        return callError(reply.error());
    const QByteArray answer = reply.value();
    constexpr qsizetype kAnswerSize = 1024;
    if (answer.size() != kAnswerSize) {
        err(QStringLiteral("unexpected answer of %1 bytes (expected %2)").arg(answer.size()).arg(kAnswerSize));
        return kCallFailed;
    }
    if (raw) {
        for (qsizetype at = 0; at < answer.size(); at += 16)
            out(QStringLiteral("%1: %2\n").arg(at, 4, 16, QLatin1Char('0')).arg(QString::fromLatin1(answer.mid(at, 16).toHex(' '))));
        return kOk;
    }
    auto integer = [&answer](qsizetype index) {
        const auto* p = reinterpret_cast<const uchar*>(answer.constData()) + index * 4;
        return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
    };
    constexpr uint32_t kHeader = 5;
    constexpr uint32_t kMaxRows = (kAnswerSize / 4 - kHeader) / 3;
    const uint32_t count = integer(4);
    out(QStringLiteral("Version: %1.%2.%3.%4\n").arg(integer(0)).arg(integer(1)).arg(integer(2)).arg(integer(3)));
    out(QStringLiteral("Devices: %1\n").arg(count));
    if (count > kMaxRows) {
        err(QStringLiteral("the answer claims %1 device rows; at most %2 fit").arg(count).arg(kMaxRows));
        return kCallFailed;
    }
    QList<QStringList> rows{{"  VENDOR", "PRODUCT", "TYPE"}};
    for (uint32_t i = 0; i < count; ++i) {
        const uint32_t type = integer(kHeader + 3 * i + 2);
        rows.append({"  " + hex4(integer(kHeader + 3 * i)), hex4(integer(kHeader + 3 * i + 1)),
                     QStringLiteral("%1 (%2)").arg(type).arg(deviceTypeName(type))});
    }
    if (count > 0)
        out(table(rows));
    return kOk;
}

const char* causeText(hid::AccessCause cause)
{
    switch (cause) {
    case hid::AccessCause::Sandbox:
        return "Tessel runs in a Flatpak sandbox that has no access to devices";
    case hid::AccessCause::NoRule:
        return "no udev rule gives you access to this device (Tessel's rule is not installed)";
    case hid::AccessCause::NoSessionAcl:
        return "the udev rule is installed, but this session holds no access: the device was plugged in "
               "before the rule was installed, or this is not the active session at the computer's own "
               "screen (for example an SSH login)";
    case hid::AccessCause::None:
    case hid::AccessCause::Other:
        break;
    }
    return "the device node cannot be opened";
}

// Tries every supported device's hidraw node as Tessel opens it; exit 0 only when all open.
int doctor()
{
    const QString rules = paths::dataFolder() + QStringLiteral("/70-tessel.rules");
    const std::vector<hid::DeviceAccess> devices = hid::CheckDeviceAccess();
    if (devices.empty()) {
        out(QStringLiteral("No supported device is plugged in.\n"));
        return kOk;
    }
    int denied = 0;
    for (const hid::DeviceAccess& d : devices) {
        out(QStringLiteral("%1  %2  %3:%4  interface %5  ")
                .arg(QString::fromStdString(d.node))
                .arg(QLatin1String(hid::DeviceKindName(d.deviceType)), -9)
                .arg(d.vendorId, 4, 16, QLatin1Char('0'))
                .arg(d.productId, 4, 16, QLatin1Char('0'))
                .arg(d.interfaceNumber));
        if (d.canOpen) {
            out(QStringLiteral("ok\n"));
            continue;
        }
        ++denied;
        out(QStringLiteral("cannot be opened: %1\n").arg(QString::fromLocal8Bit(std::strerror(d.error))));
        out(QStringLiteral("    cause: %1\n").arg(QLatin1String(causeText(d.cause))));
        const std::string fix = hid::FixCommand(d.cause, rules.toStdString());
        if (!fix.empty())
            out(QStringLiteral("    fix:   %1\n").arg(QString::fromStdString(fix)));
    }
    if (denied > 0)
        out(QStringLiteral("%1 of %2 device nodes cannot be opened. The fix commands above are not run by "
                           "Tessel; run them yourself, then unplug and replug the device.\n")
                .arg(denied)
                .arg(devices.size()));
    return denied > 0 ? kCallFailed : kOk;
}

// A connection to the running Tessel, or the exit status that says why there is none.
std::optional<int> connectOrFail(QDBusConnection& bus)
{
    if (!bus.isConnected()) {
        err(QStringLiteral("Tessel is not running (no D-Bus session bus: %1)").arg(bus.lastError().message()));
        return kNotRunning;
    }
    return std::nullopt;
}

std::optional<int> parseInt(const QString& text, const QString& what, int& value)
{
    bool ok = false;
    value = text.toInt(&ok);
    if (!ok)
        return usageError(QStringLiteral("%1 must be a whole number (got '%2')").arg(what, text));
    return std::nullopt;
}

QString yesNo(bool on)
{
    return on ? QStringLiteral("on") : QStringLiteral("off");
}

// Prints each signal of Tessel as one line until the program is ended.
class Watcher : public QObject {
    Q_OBJECT
public slots:
    void deviceAdded(const QString& id, const QVariantMap& properties)
    {
        print(QStringLiteral("device-added %1 %2").arg(id, properties.value("name").toString()));
    }
    void deviceRemoved(const QString& id) { print(QStringLiteral("device-removed %1").arg(id)); }
    void profileChanged(const QString& id, const QString& profile)
    {
        print(QStringLiteral("profile-changed %1 %2").arg(id, profile));
    }
    void batteryChanged(const QString& id, int level, bool charging)
    {
        print(QStringLiteral("battery-changed %1 %2% %3").arg(id).arg(level).arg(charging ? "charging" : "not-charging"));
    }
    void lightingControl(bool controlling)
    {
        print(QStringLiteral("lighting-control %1").arg(controlling ? "taken" : "released"));
    }

private:
    static void print(const QString& line)
    {
        out(line + QLatin1Char('\n'));
        std::fflush(stdout);
    }
};

int watch(OrgTesselTessel1Interface& tessel)
{
    Watcher watcher;
    QObject::connect(&tessel, &OrgTesselTessel1Interface::DeviceAdded, &watcher, &Watcher::deviceAdded);
    QObject::connect(&tessel, &OrgTesselTessel1Interface::DeviceRemoved, &watcher, &Watcher::deviceRemoved);
    QObject::connect(&tessel, &OrgTesselTessel1Interface::ProfileChanged, &watcher, &Watcher::profileChanged);
    QObject::connect(&tessel, &OrgTesselTessel1Interface::BatteryChanged, &watcher, &Watcher::batteryChanged);
    QObject::connect(&tessel, &OrgTesselTessel1Interface::LightingControl, &watcher, &Watcher::lightingControl);
    // Ready once the match rules are in place: a line a script can wait for.
    out(QStringLiteral("watching\n"));
    std::fflush(stdout);
    return QCoreApplication::exec() == 0 ? kOk : kCallFailed;
}

// profile, dpi, polling-rate, lighting show|set, eq and watch.
int deviceCommand(const QString& command, QStringList rest)
{
    QString device;
    if (const qsizetype at = rest.indexOf(QLatin1String("--device")); at >= 0) {
        if (at + 1 >= rest.size())
            return usageError(QStringLiteral("--device needs an ID (see 'tesselctl devices')"));
        device = rest[at + 1];
        rest.remove(at, 2);
    }
    const QString sub = rest.value(0);
    const QStringList params = rest.mid(1);
    auto needs = [&](qsizetype n, const char* shape) -> std::optional<int> {
        if (params.size() != n)
            return usageError(QStringLiteral("usage: tesselctl %1 %2").arg(command, QLatin1String(shape)));
        return std::nullopt;
    };

    // Everything is checked before the bus is touched.
    enum class Op { ProfileList, ProfileSwitch, ProfileWrite, ProfileImport, ProfileExport, DpiShow, DpiSet, DpiSelect,
                    Polling, LightShow, LightSet, EqShow, EqPreset, EqMic, EqSideTone, KeyList, KeySet, Watch } op;
    int a = 0, b = 0;
    QVariantMap lighting;
    QString text, function;
    if (command == QLatin1String("key")) {
        if (sub == QLatin1String("list")) {
            if (auto e = needs(0, "list [--device ID]"))
                return *e;
            op = Op::KeyList;
        } else if (sub == QLatin1String("set")) {
            if (auto e = needs(2, "set <key> <function> [--device ID]"))
                return *e;
            op = Op::KeySet;
            text = params[0];
            function = params[1];
        } else {
            return usageError(QStringLiteral("key needs list or set"));
        }
    } else if (command == QLatin1String("watch")) {
        if (!rest.isEmpty() || !device.isEmpty())
            return usageError(QStringLiteral("watch takes no arguments"));
        op = Op::Watch;
    } else if (command == QLatin1String("profile")) {
        if (sub == QLatin1String("list")) {
            if (auto e = needs(0, "list [--device ID]"))
                return *e;
            op = Op::ProfileList;
        } else if (sub == QLatin1String("switch")) {
            if (auto e = needs(1, "switch <name> [--device ID]"))
                return *e;
            op = Op::ProfileSwitch;
            text = params[0];
        } else if (sub == QLatin1String("write")) {
            if (auto e = needs(0, "write [--device ID]"))
                return *e;
            op = Op::ProfileWrite;
        } else if (sub == QLatin1String("import") || sub == QLatin1String("export")) {
            if (auto e = needs(1, "import|export <file> [--device ID]"))
                return *e;
            op = sub == QLatin1String("import") ? Op::ProfileImport : Op::ProfileExport;
            // Tessel runs elsewhere: the file is named by its full path.
            text = QFileInfo(params[0]).absoluteFilePath();
        } else {
            return usageError(QStringLiteral("profile needs list, switch, write, import or export"));
        }
    } else if (command == QLatin1String("dpi")) {
        if (sub.isEmpty() || sub == QLatin1String("show")) {
            if (!params.isEmpty())
                return usageError(QStringLiteral("usage: tesselctl dpi show [--device ID]"));
            op = Op::DpiShow;
        } else if (sub == QLatin1String("set")) {
            if (auto e = needs(2, "set <stage> <dpi> [--device ID]"))
                return *e;
            if (auto e = parseInt(params[0], QStringLiteral("the stage"), a))
                return *e;
            if (auto e = parseInt(params[1], QStringLiteral("the DPI"), b))
                return *e;
            op = Op::DpiSet;
        } else if (sub == QLatin1String("select")) {
            if (auto e = needs(1, "select <stage> [--device ID]"))
                return *e;
            if (auto e = parseInt(params[0], QStringLiteral("the stage"), a))
                return *e;
            op = Op::DpiSelect;
        } else {
            return usageError(QStringLiteral("dpi needs show, set or select"));
        }
    } else if (command == QLatin1String("polling-rate")) {
        if (rest.size() != 1)
            return usageError(QStringLiteral("usage: tesselctl polling-rate <125|250|500|1000> [--device ID]"));
        if (auto e = parseInt(rest[0], QStringLiteral("the polling rate"), a))
            return *e;
        op = Op::Polling;
    } else if (command == QLatin1String("lighting")) {
        if (sub == QLatin1String("show")) {
            if (!params.isEmpty())
                return usageError(QStringLiteral("usage: tesselctl lighting show [--device ID]"));
            op = Op::LightShow;
        } else {
            op = Op::LightSet;
            if (params.isEmpty() || params.size() % 2 != 0)
                return usageError(QStringLiteral("usage: tesselctl lighting set [--mode M] [--brightness N] [--speed N] "
                                                 "[--colour #rrggbb] [--multicolour on|off] [--device ID]"));
            for (qsizetype i = 0; i < params.size(); i += 2) {
                const QString option = params[i], value = params[i + 1];
                if (option == QLatin1String("--mode")) {
                    bool number = false;
                    const int mode = value.toInt(&number);
                    lighting.insert("mode", number ? QVariant(mode) : QVariant(value));
                } else if (option == QLatin1String("--brightness") || option == QLatin1String("--speed")) {
                    int v = 0;
                    if (auto e = parseInt(value, option.mid(2), v))
                        return *e;
                    lighting.insert(option.mid(2), v);
                } else if (option == QLatin1String("--colour") || option == QLatin1String("--color")) {
                    lighting.insert("colour", value);
                } else if (option == QLatin1String("--multicolour")) {
                    if (value != QLatin1String("on") && value != QLatin1String("off"))
                        return usageError(QStringLiteral("--multicolour is on or off"));
                    lighting.insert("multicolour", value == QLatin1String("on"));
                } else {
                    return usageError(QStringLiteral("lighting set: unknown option '%1'").arg(option));
                }
            }
        }
    } else {  // eq
        if (sub.isEmpty() || sub == QLatin1String("show")) {
            if (!params.isEmpty())
                return usageError(QStringLiteral("usage: tesselctl eq show [--device ID]"));
            op = Op::EqShow;
        } else if (sub == QLatin1String("preset") || sub == QLatin1String("mic") || sub == QLatin1String("sidetone")) {
            if (auto e = needs(1, "preset|mic|sidetone <value> [--device ID]"))
                return *e;
            if (auto e = parseInt(params[0], sub, a))
                return *e;
            op = sub == QLatin1String("preset") ? Op::EqPreset : sub == QLatin1String("mic") ? Op::EqMic : Op::EqSideTone;
        } else {
            return usageError(QStringLiteral("eq needs show, preset, mic or sidetone"));
        }
    }

    QDBusConnection bus = QDBusConnection::sessionBus();
    if (auto e = connectOrFail(bus))
        return *e;
    OrgTesselTessel1Interface tessel(QLatin1String(kService), QLatin1String(kObjectPath), bus);
    // A write waits for the device; a profile switch over a receiver takes a while.
    tessel.setTimeout(60000);

    auto showMap = [](auto reply, const std::function<void(const QVariantMap&)>& print) {
        reply.waitForFinished();
        if (reply.isError())
            return callError(reply.error());
        print(reply.value());
        return kOk;
    };
    switch (op) {
    case Op::Watch:
        return watch(tessel);
    case Op::ProfileList: {
        auto reply = tessel.ListProfiles(device);
        reply.waitForFinished();
        if (reply.isError())
            return callError(reply.error());
        const QString current = reply.argumentAt<1>();
        for (const QString& name : reply.argumentAt<0>())
            out((name == current ? QStringLiteral("* ") : QStringLiteral("  ")) + name + QLatin1Char('\n'));
        return kOk;
    }
    case Op::ProfileSwitch:
        return finish(tessel.SwitchProfile(device, text));
    case Op::ProfileWrite:
        return finish(tessel.WriteProfile(device));
    case Op::ProfileImport: {
        auto reply = tessel.ImportProfile(device, text);
        reply.waitForFinished();
        if (reply.isError())
            return callError(reply.error());
        out(reply.value() + QLatin1Char('\n'));
        return kOk;
    }
    case Op::ProfileExport:
        return finish(tessel.ExportProfile(device, text));
    case Op::DpiShow:
        return showMap(tessel.GetDpi(device), [](const QVariantMap& v) {
            const QList<int> stages = qdbus_cast<QList<int>>(v.value("stages"));
            const QList<bool> enabled = qdbus_cast<QList<bool>>(v.value("enabled"));
            const int current = v.value("current").toInt();
            QList<QStringList> rows{{"  STAGE", "DPI", "ENABLED"}};
            for (qsizetype i = 0; i < stages.size(); ++i)
                rows.append({QStringLiteral("%1 %2").arg(i + 1 == current ? "*" : " ").arg(i + 1),
                             QString::number(stages[i]), yesNo(enabled.value(i))});
            out(table(rows));
            out(QStringLiteral("Range: %1 to %2 DPI\nPolling rate: %3 Hz\n")
                    .arg(v.value("min").toInt()).arg(v.value("max").toInt()).arg(v.value("polling_rate").toInt()));
        });
    case Op::DpiSet: {
        auto reply = tessel.SetDpiStage(device, a, b);
        reply.waitForFinished();
        if (reply.isError())
            return callError(reply.error());
        if (reply.value() != b)
            out(QStringLiteral("Stage %1 is at %2 DPI (the sensor's nearest step below %3).\n").arg(a).arg(reply.value()).arg(b));
        return kOk;
    }
    case Op::DpiSelect:
        return finish(tessel.SetCurrentDpiStage(device, a));
    case Op::Polling:
        return finish(tessel.SetPollingRate(device, a));
    case Op::LightShow:
        return showMap(tessel.GetLighting(device), [](const QVariantMap& v) {
            out(QStringLiteral("Mode: %1 (%2)\nBrightness: %3\nSpeed: %4\nColour: %5\nMulticolour: %6\n")
                    .arg(v.value("mode").toInt()).arg(v.value("mode_name").toString())
                    .arg(v.value("brightness").toInt()).arg(v.value("speed").toInt())
                    .arg(v.value("colour").toString()).arg(yesNo(v.value("multicolour").toBool())));
        });
    case Op::LightSet:
        return finish(tessel.SetLighting(device, lighting));
    case Op::EqShow:
        return showMap(tessel.GetSound(device), [](const QVariantMap& v) {
            out(QStringLiteral("Equaliser preset: %1\nMicrophone: %2 (%3)\nSide tone: %4 (%5)\n")
                    .arg(v.value("eq_preset").toInt()).arg(v.value("mic_level").toInt()).arg(yesNo(v.value("mic_on").toBool()))
                    .arg(v.value("sidetone_level").toInt()).arg(yesNo(v.value("sidetone_on").toBool())));
        });
    case Op::KeyList: {
        auto reply = tessel.ListKeys(device);
        reply.waitForFinished();
        if (reply.isError())
            return callError(reply.error());
        QList<QStringList> rows{{"POS", "KEY", "FUNCTION"}};
        for (const QVariantMap& k : reply.value())
            rows.append({QString::number(k.value("position").toInt()), k.value("name").toString(), k.value("function").toString()});
        out(table(rows));
        return kOk;
    }
    case Op::KeySet:
        return finish(tessel.SetKey(device, text, function));
    case Op::EqPreset:
        return finish(tessel.SetEqPreset(device, a));
    case Op::EqMic:
        return finish(tessel.SetMicLevel(device, a));
    case Op::EqSideTone:
        return finish(tessel.SetSideToneLevel(device, a));
    }
    return kCallFailed;
}

int run(const QStringList& args)
{
    if (args.isEmpty())
        return usageError(QStringLiteral("no command given"));
    const QString command = args.first();
    const QStringList rest = args.mid(1);
    if (command == QLatin1String("-h") || command == QLatin1String("--help")) {
        out(QLatin1String(kUsage));
        return kOk;
    }
    if (command == QLatin1String("-V") || command == QLatin1String("--version")) {
        out(QStringLiteral("tesselctl %1\n").arg(QLatin1String(TESSEL_VERSION)));
        return kOk;
    }
    if (rest.contains(QLatin1String("--help")) || rest.contains(QLatin1String("-h"))) {
        out(QLatin1String(kUsage));
        return kOk;
    }

    const bool lightingTakeRelease = command == QLatin1String("lighting") &&
                                     (rest.value(0) == QLatin1String("take") || rest.value(0) == QLatin1String("release"));
    for (const char* name : {"profile", "dpi", "polling-rate", "lighting", "eq", "key", "watch"})
        if (command == QLatin1String(name) && !lightingTakeRelease)
            return deviceCommand(command, rest);

    // Everything is checked before the bus is touched, so bad usage says so even when
    // Tessel is not running.
    std::optional<QString> game;
    qlonglong gameHow = 0, gameMode = 0;
    bool take = false;
    if (command == QLatin1String("game")) {
        if (rest.size() != 1 && rest.size() != 3)
            return usageError(QStringLiteral("game needs one event (start, end, kill or die), optionally with how and mode"));
        game = gameMessage(rest.first());
        if (!game)
            return usageError(QStringLiteral("unknown game event '%1' (start, end, kill, die)").arg(rest.first()));
        if (rest.size() == 3) {
            bool howOk = false, modeOk = false;
            gameHow = rest[1].toLongLong(&howOk);
            gameMode = rest[2].toLongLong(&modeOk);
            if (!howOk || !modeOk || gameHow < 0 || gameHow > 2 || gameMode < 0 || gameMode > 255)
                return usageError(QStringLiteral("game: how is 0, 1 or 2 and mode a number from 0 to 255"));
        }
    } else if (command == QLatin1String("lighting")) {
        if (rest.size() != 1 || (rest.first() != QLatin1String("take") && rest.first() != QLatin1String("release")))
            return usageError(QStringLiteral("lighting needs 'take' or 'release'"));
        take = rest.first() == QLatin1String("take");
    } else if (command == QLatin1String("show")) {
        if (!rest.isEmpty())
            return usageError(QStringLiteral("show takes no arguments"));
    } else if (command == QLatin1String("doctor")) {
        if (!rest.isEmpty())
            return usageError(QStringLiteral("doctor takes no arguments"));
        return doctor();
    } else if (command == QLatin1String("devices") || command == QLatin1String("work-tool")) {
        const QLatin1String option(command == QLatin1String("devices") ? "--json" : "--raw");
        for (const QString& a : rest) {
            if (a != option)
                return usageError(QStringLiteral("%1: unknown option '%2'").arg(command, a));
        }
    } else {
        return usageError(QStringLiteral("unknown command '%1'").arg(command));
    }

    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) {
        err(QStringLiteral("Tessel is not running (no D-Bus session bus: %1)").arg(bus.lastError().message()));
        return kNotRunning;
    }
    OrgTesselTessel1Interface tessel(QLatin1String(kService), QLatin1String(kObjectPath), bus);

    if (command == QLatin1String("devices"))
        return devices(tessel, rest);
    if (command == QLatin1String("work-tool"))
        return workTool(tessel, rest);
    if (game)
        return finish(rest.size() == 3 ? tessel.GameEventWithMode(*game, gameHow, gameMode) : tessel.GameEvent(*game));
    if (command == QLatin1String("lighting"))
        return finish(tessel.SetLightingControl(take));
    return finish(tessel.Show());
}

}  // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("tesselctl"));
    qDBusRegisterMetaType<QList<QVariantMap>>();
    return run(QCoreApplication::arguments().mid(1));
}

#include "tesselctl.moc"
