// tesselctl: the command-line client of Tessel's D-Bus interface (org.tessel.Tessel1 on the
// session bus). Exit status: 0 done, 1 the call failed, 2 bad usage, 3 Tessel is not running.

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

#include <cstdio>
#include <cstring>
#include <optional>

namespace {

constexpr int kOk = 0;
constexpr int kCallFailed = 1;
constexpr int kBadUsage = 2;
constexpr int kNotRunning = 3;

constexpr char kService[] = "org.tessel.Tessel";
constexpr char kObjectPath[] = "/org/tessel/Tessel";

const char kUsage[] =
    "Usage: tesselctl <command> [options]\n"
    "\n"
    "Talks to a running Tessel over the D-Bus session bus (org.tessel.Tessel).\n"
    "\n"
    "Commands:\n"
    "  devices [--json]        list the connected devices as a table (--json: a JSON array)\n"
    "  game <event> [<how> <mode>]\n"
    "                          send a game event: start, end, kill or die (or the exact names\n"
    "                          Game_Start, Game_End, Game_Kill, Game_Death); how 0 remembers the\n"
    "                          lighting mode, 1 or 2 do not; mode is the lighting mode to show.\n"
    "                          The remembered mode returns five seconds after the last event\n"
    "  lighting take|release   let Tessel drive the device lighting, or release it to other\n"
    "                          programs\n"
    "  work-tool [--raw]       show the production-tool answer: version and device rows\n"
    "                          (--raw: the 1024 bytes in hex)\n"
    "  show                    restore Tessel's window and bring it to the front\n"
    "  doctor                  check that every supported device present can be opened; for\n"
    "                          one that cannot, say why and print the command that fixes it\n"
    "                          (exit 1 then). Needs no running Tessel and runs nothing itself\n"
    "\n"
    "Options:\n"
    "  -h, --help              show this help\n"
    "  -V, --version           show the version of tesselctl\n"
    "\n"
    "Exit status: 0 done, 1 the call failed, 2 bad usage, 3 Tessel is not running.\n";

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
            });
        }
        out(QString::fromUtf8(QJsonDocument(array).toJson(QJsonDocument::Compact)) + QLatin1Char('\n'));
        return kOk;
    }
    if (list.isEmpty()) {
        out(QStringLiteral("No devices connected.\n"));
        return kOk;
    }
    QList<QStringList> rows{{"KIND", "NAME", "VENDOR", "PRODUCT", "ROUTE", "FIRMWARE", "BATTERY", "CHARGING"}};
    for (const QVariantMap& d : list) {
        const int battery = d.value("battery", -1).toInt();
        const QString firmware = d.value("firmware").toString();
        rows.append({d.value("kind").toString(), d.value("name").toString(),
                     hex4(d.value("vendor_id").toUInt()), hex4(d.value("product_id").toUInt()),
                     d.value("route").toString(), firmware.isEmpty() ? QStringLiteral("-") : firmware,
                     battery < 0 ? QStringLiteral("-") : QStringLiteral("%1%").arg(battery),
                     d.value("charging").toBool() ? QStringLiteral("yes") : QStringLiteral("no")});
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
