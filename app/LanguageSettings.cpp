#include "app/LanguageSettings.h"

#include "hid/DebugLog.h"
#include "profiles/CJsonFile.h"
#include "profiles/DataPaths.h"
#include "profiles/JsonAccess.h"

#include <QDir>

#include <algorithm>

namespace app {

LanguageSettings::LanguageSettings(SettingsStore& store, QString languageConfig)
    : m_store(store),
      m_configPath(languageConfig.isEmpty() ? paths::defaultDataFolder() + "/Language.config"
                                            : std::move(languageConfig))
{
}

std::vector<LanguageEntry> LanguageSettings::Languages() const
{
    // The list is a user-editable file: every member goes through the accessors that read a
    // value of the wrong type or range as missing instead of throwing.
    std::vector<LanguageEntry> list;
    const Json::Value doc = CJsonFile::ReadJson(m_configPath);
    const Json::Value& languages = jsonx::member(doc, "Language");
    if (!languages.isArray())
        return list;
    for (const Json::Value& item : languages) {
        LanguageEntry entry;
        entry.name = QString::fromStdString(jsonx::toString(jsonx::member(item, "Language_name")));
        entry.file = QString::fromStdString(jsonx::toString(jsonx::member(item, "Language_file")));
        entry.id = jsonx::toI32(jsonx::member(item, "Language_ID"));
        entry.text = QString::fromStdString(jsonx::toString(jsonx::member(item, "Language_text")));
        list.push_back(entry);
    }
    return list;
}

int LanguageSettings::ReadStoredLanguage(const QLocale& desktop) const
{
    const std::optional<int> stored = m_store.ReadInt(kLanguageKey);
    const std::vector<LanguageEntry> list = Languages();
    if (!stored) {
        // A first start greets the user in the desktop's language when the list has it.
        return std::max(0, IndexForLocale(list, desktop));
    }
    for (size_t i = 0; i < list.size(); ++i) {
        if (list[i].id == *stored)
            return static_cast<int>(i);
    }
    return 0;
}

int LanguageSettings::ReadStoredLanguage() const
{
    const std::optional<int> stored = m_store.ReadInt(kLanguageKey);
    const std::vector<LanguageEntry> list = Languages();
    if (!stored)
        return std::max(0, DesktopLanguageIndex(list));
    for (size_t i = 0; i < list.size(); ++i) {
        if (list[i].id == *stored)
            return static_cast<int>(i);
    }
    return 0;
}

namespace {
QString entryKey(const QString& name)
{
    return QString(name).replace('-', '_').toLower();
}

bool isCLocale(const QString& name)
{
    const QString base = name.section('.', 0, 0).section('@', 0, 0);
    return base == QLatin1String("C") || base == QLatin1String("POSIX");
}

QString environmentValue(const char* name)
{
    return qEnvironmentVariable(name);
}
}  // namespace

int LanguageSettings::IndexForLocaleName(const std::vector<LanguageEntry>& list, const QString& localeName)
{
    const QString trimmed = localeName.trimmed();
    if (trimmed.isEmpty())
        return -1;
    if (isCLocale(trimmed))
        return IndexForLocaleName(list, QStringLiteral("en_US"));
    // "de_AT.UTF-8@euro" -> language "de", region "at"; "zh-Hant-HK" and "sr_RS@latin" alike.
    const QString modifier = trimmed.section('@', 1).toLower();
    const QStringList parts = entryKey(trimmed.section('.', 0, 0).section('@', 0, 0)).split('_', Qt::SkipEmptyParts);
    if (parts.isEmpty())
        return -1;
    const QString language = parts.first();
    QString region;
    QString script = modifier;
    for (qsizetype i = 1; i < parts.size(); ++i) {
        if (parts[i].size() == 4)
            script = parts[i];
        else
            region = parts[i];
    }
    const auto find = [&list](const QString& key) {
        for (size_t i = 0; i < list.size(); ++i) {
            if (entryKey(list[i].name) == key)
                return static_cast<int>(i);
        }
        return -1;
    };
    if (language == QLatin1String("zh")) {
        // Taiwan, Hong Kong and Macao write the traditional characters; everyone else the
        // simplified ones.
        const bool traditional = script == QLatin1String("hant") || region == QLatin1String("tw") ||
                                 region == QLatin1String("hk") || region == QLatin1String("mo");
        const int chinese = find(traditional ? QStringLiteral("zh_tw") : QStringLiteral("zh_cn"));
        if (chinese >= 0)
            return chinese;
    }
    if (!region.isEmpty()) {
        const int exact = find(language + '_' + region);
        if (exact >= 0)
            return exact;
    }
    for (size_t i = 0; i < list.size(); ++i) {
        if (entryKey(list[i].name).section('_', 0, 0) == language)
            return static_cast<int>(i);
    }
    return -1;
}

int LanguageSettings::DesktopLanguageIndex(const std::vector<LanguageEntry>& list, const Environment& environment)
{
    const Environment env = environment ? environment : Environment(environmentValue);
    QString locale;
    for (const char* name : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
        locale = env(name).trimmed();
        if (!locale.isEmpty())
            break;
    }
    const int english = std::max(0, IndexForLocaleName(list, QStringLiteral("en_US")));
    // gettext ignores LANGUAGE under the C locale; so do we, so that LC_ALL=C means English.
    const QString preferences = env("LANGUAGE").trimmed();
    if (!preferences.isEmpty() && !isCLocale(locale)) {
        for (const QString& wanted : preferences.split(':', Qt::SkipEmptyParts)) {
            const int index = IndexForLocaleName(list, wanted);
            if (index >= 0)
                return index;
        }
    }
    if (locale.isEmpty())
        return english;
    const int index = IndexForLocaleName(list, locale);
    return index >= 0 ? index : english;
}

int LanguageSettings::IndexForLocale(const std::vector<LanguageEntry>& list, const QLocale& locale)
{
    // The C and POSIX locales (LANG=C, C.UTF-8) mean "no preference", which on Linux is English.
    const bool cLocale = locale.language() == QLocale::C || locale.name() == QLatin1String("C");
    const QString name = cLocale ? QStringLiteral("en_US") : locale.name();  // "en_US"
    const QString language = name.section('_', 0, 0);
    const auto languageOf = [](const QString& entryName) {
        return entryName.section('_', 0, 0).section('-', 0, 0);
    };
    for (size_t i = 0; i < list.size(); ++i) {
        if (QString(list[i].name).replace('-', '_').compare(name, Qt::CaseInsensitive) == 0)
            return static_cast<int>(i);
    }
    for (size_t i = 0; i < list.size(); ++i) {
        if (!language.isEmpty() && languageOf(list[i].name).compare(language, Qt::CaseInsensitive) == 0)
            return static_cast<int>(i);
    }
    return -1;
}

std::optional<LanguageSettings::Change> LanguageSettings::Choose(int index, bool store)
{
    if (index == m_current)
        return std::nullopt;
    Change change;
    change.index = index;
    change.fontsChanged = NeedsNewFonts(index, m_current);
    if (change.fontsChanged)
        change.fontFace = FontFaceFor(index);
    m_current = index;

    const std::vector<LanguageEntry> list = Languages();
    if (index >= 0 && static_cast<size_t>(index) < list.size()) {
        change.entry = list[index];
        // A list without this element would store 0 and select nothing at the next start; only
        // a real element's id is kept.
        change.stored = store && m_store.WriteInt(kLanguageKey, change.entry->id);
        if (change.stored)
            qCDebug(tesselDebug) << "写成功！";
    }
    return change;
}

bool LanguageSettings::NeedsNewFonts(int index, int currentIndex)
{
    const auto ownFace = [](int i) { return i == 0 || i == 2 || i == 15; };
    return ownFace(index) || ownFace(currentIndex) || currentIndex == -1;
}

QString LanguageSettings::FontFaceFor(int index)
{
    switch (index) {
    case 0:
        return QStringLiteral("汉仪菱心体简");
    case 2:
        return QStringLiteral("Noto Sans CJK TC Regular");
    case 15:
        return QStringLiteral("Noto Sans Thai");
    default:
        return QStringLiteral("Verdana Unicode MS");
    }
}

const std::array<InterfaceFont, 14>& LanguageSettings::InterfaceFonts()
{
    static const std::array<InterfaceFont, 14> fonts{{
        {0, 15, false, false},
        {kDefaultFontId, 14, false, false},
        {1, 14, false, true},
        {2, 18, false, false},
        {3, 30, false, false},
        {4, 16, false, false},
        {5, 20, false, false},
        {6, 22, false, false},
        {7, 14, false, false},
        {8, 12, false, false},
        {9, 11, false, false},
        {10, 10, false, false},
        {11, 28, false, false},
        {50, 18, true, false},
    }};
    return fonts;
}

QString LanguageSettings::LanguageFilePath(const QString& skinFolder, const QString& file)
{
    // The name comes from a data file: it must stay a plain file name inside the skin folder.
    if (file.isEmpty() || file.contains('/') || file.contains('\\') || file == "." || file == "..")
        return {};
    return QDir(skinFolder).filePath(file);
}

}  // namespace app
