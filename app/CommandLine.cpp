#include "app/CommandLine.h"

#include "profiles/CJsonFile.h"
#include "profiles/DataPaths.h"
#include "profiles/JsonAccess.h"

#include <QCommandLineParser>
#include <QDir>
#include <QFileInfo>

#include <vector>

#ifndef TESSEL_VERSION
#define TESSEL_VERSION "0"
#endif

namespace app {

namespace {

StartOptions g_current;

// Every option Tessel takes: names, the value's name (empty: a switch) and its help line.
struct OptionRow {
    QStringList names;
    const char* valueName;
    const char* help;
};

const std::vector<OptionRow>& OptionTable()
{
    static const std::vector<OptionRow> rows = {
        {{"h", "help"}, "", "show this help and exit"},
        {{"V", "version"}, "", "show the version and exit"},
        {{"minimized", "hidden"}, "", "start in the tray without opening the window"},
        {{"background"}, "", "run as a service, with no window nor tray icon until a\n                             later start of tessel opens the window"},
        {{"lang"}, "code", "use this language for this session only (en_US, zh_CN, en, ...)"},
        {{"data-dir"}, "folder", "read skin, DefaultData and Font from this folder"},
    };
    return rows;
}

QString Normalised(QString code)
{
    return code.replace(QLatin1Char('-'), QLatin1Char('_')).toLower();
}

QStringList LanguageNames(const QString& configPath)
{
    QStringList names;
    const Json::Value doc = CJsonFile::ReadJson(configPath);
    const Json::Value& languages = jsonx::member(doc, "Language");
    if (!languages.isArray())
        return names;
    for (const Json::Value& item : languages)
        names << QString::fromStdString(jsonx::toString(jsonx::member(item, "Language_name")));
    return names;
}

// The index in `names` of the language `code` asks for: the same name ("zh-CN" finds
// "zh_CN"), else the first entry of its language ("en" or "en_GB" finds "en_US"); -1 otherwise.
int LanguageIndex(const QStringList& names, const QString& code)
{
    const QString wanted = Normalised(code);
    if (wanted.isEmpty())
        return -1;
    for (int i = 0; i < names.size(); ++i) {
        if (Normalised(names[i]) == wanted)
            return i;
    }
    const QString language = wanted.section(QLatin1Char('_'), 0, 0);
    for (int i = 0; i < names.size(); ++i) {
        if (Normalised(names[i]).section(QLatin1Char('_'), 0, 0) == language)
            return i;
    }
    return -1;
}

// Qt's own options (QGuiApplication, QApplication) are left to Qt: "-platform offscreen",
// "-style Fusion" and the like keep working as in every Qt program.
QStringList WithoutQtOptions(const QStringList& arguments)
{
    static const QStringList withValue = {"platform", "platformpluginpath", "platformtheme", "plugin",
                                          "qwindowgeometry", "qwindowtitle", "qwindowicon", "display",
                                          "geometry", "style", "stylesheet", "session", "qmljsdebugger"};
    static const QStringList alone = {"reverse", "widgetcount", "nograb", "dograb", "sync"};
    QStringList out;
    for (qsizetype i = 0; i < arguments.size(); ++i) {
        const QString& a = arguments[i];
        if (i == 0 || !a.startsWith(QLatin1Char('-')) || a.startsWith(QLatin1String("--"))) {
            out << a;
            continue;
        }
        const QString name = a.mid(1).section(QLatin1Char('='), 0, 0);
        if (alone.contains(name))
            continue;
        if (withValue.contains(name)) {
            if (!a.contains(QLatin1Char('=')))
                ++i;  // its value
            continue;
        }
        out << a;
    }
    return out;
}

CommandLineResult UsageError(const QString& message)
{
    CommandLineResult result;
    result.action = CommandLineResult::ExitUsage;
    result.exitCode = 2;
    result.output = QStringLiteral("tessel: %1\n\n%2").arg(message, UsageText());
    return result;
}

}  // namespace

QString UsageText()
{
    QString text = QStringLiteral(
        "Usage: tessel [options]\n"
        "\n"
        "Configures the keyboards, mice, mouse pads and headsets Tessel supports. Only one Tessel\n"
        "runs per user; a second start brings the running one's window to the front (not with\n"
        "--minimized or --background) and exits.\n"
        "\n"
        "Options:\n");
    for (const OptionRow& row : OptionTable()) {
        QStringList spelled;
        for (const QString& name : row.names)
            spelled << (name.size() == 1 ? "-" : "--") + name;
        QString left = QStringLiteral("  ") + spelled.join(QStringLiteral(", "));
        if (*row.valueName)
            left += QStringLiteral(" <%1>").arg(QLatin1String(row.valueName));
        text += left.leftJustified(26) + QLatin1Char(' ') + QLatin1String(row.help) + QLatin1Char('\n');
    }
    text += QStringLiteral("  --sdk-server[=port]        serve lighting tools over the OpenRGB SDK protocol on this\n"
                           "                             machine (port 6742 unless given; 0 picks a free one)\n");
    text += QStringLiteral(
        "\n"
        "Environment: TESSEL_DATA_DIR (the data folder, as --data-dir), TESSEL_DEBUG=1 (debug\n"
        "output).\n");
    return text;
}

CommandLineResult ParseCommandLine(const QStringList& arguments)
{
    QCommandLineParser parser;
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    for (const OptionRow& row : OptionTable()) {
        if (*row.valueName)
            parser.addOption(QCommandLineOption(row.names, QLatin1String(row.help), QLatin1String(row.valueName)));
        else
            parser.addOption(QCommandLineOption(row.names, QLatin1String(row.help)));
    }
    // --sdk-server takes its port only after '=' (QCommandLineParser has no optional values): it
    // is checked here and read again by the SDK server's start.
    QStringList rest;
    for (const QString& a : WithoutQtOptions(arguments)) {
        if (a == QLatin1String("--sdk-server"))
            continue;
        if (a.startsWith(QLatin1String("--sdk-server="))) {
            bool ok = false;
            const uint port = a.mid(13).toUInt(&ok);
            if (!ok || port > 65535)
                return UsageError(QStringLiteral("'%1' is not a port number").arg(a.mid(13)));
            continue;
        }
        rest << a;
    }
    if (!parser.parse(rest))
        return UsageError(parser.errorText());
    if (!parser.positionalArguments().isEmpty())
        return UsageError(QStringLiteral("unexpected argument '%1'").arg(parser.positionalArguments().first()));

    CommandLineResult result;
    if (parser.isSet(QStringLiteral("help"))) {
        result.action = CommandLineResult::ExitOk;
        result.output = UsageText();
        return result;
    }
    if (parser.isSet(QStringLiteral("version"))) {
        result.action = CommandLineResult::ExitOk;
        result.output = QStringLiteral("tessel %1\n").arg(QLatin1String(TESSEL_VERSION));
        return result;
    }

    StartOptions& options = result.options;
    options.minimized = parser.isSet(QStringLiteral("minimized"));
    options.background = parser.isSet(QStringLiteral("background"));
    if (parser.isSet(QStringLiteral("data-dir"))) {
        options.dataDir = parser.value(QStringLiteral("data-dir"));
        if (!QFileInfo(options.dataDir).isDir())
            return UsageError(QStringLiteral("the data folder '%1' does not exist").arg(options.dataDir));
        options.dataDir = QFileInfo(options.dataDir).absoluteFilePath();
    }
    if (parser.isSet(QStringLiteral("lang")))
        options.language = parser.value(QStringLiteral("lang"));
    return result;
}

CommandLineResult CheckLanguage(const StartOptions& options, const QString& languageConfig)
{
    CommandLineResult result;
    result.options = options;
    if (options.language.isEmpty())
        return result;
    const QString config = languageConfig.isEmpty()
                               ? paths::defaultDataFolder() + QStringLiteral("/Language.config")
                               : languageConfig;
    const QStringList names = LanguageNames(config);
    if (LanguageIndex(names, options.language) < 0)
        return UsageError(QStringLiteral("unknown language '%1' (known: %2)")
                              .arg(options.language, names.join(QStringLiteral(", "))));
    return result;
}

const StartOptions& CurrentStartOptions()
{
    return g_current;
}

void SetCurrentStartOptions(const StartOptions& options)
{
    g_current = options;
}

bool StartsWithoutWindow()
{
    return g_current.minimized || g_current.background;
}

int SessionLanguageIndex(const QStringList& languageNames)
{
    if (g_current.language.isEmpty())
        return -1;
    return LanguageIndex(languageNames, g_current.language);
}

}  // namespace app
