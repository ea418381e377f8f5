#include "app/LanguageSettings.h"

#include "hid/DebugLog.h"
#include "profiles/CJsonFile.h"
#include "profiles/DataPaths.h"

#include <QDir>

namespace app {

LanguageSettings::LanguageSettings(SettingsStore& store, QString languageConfig)
    : m_store(store),
      m_configPath(languageConfig.isEmpty() ? paths::defaultDataFolder() + "/Language.config"
                                            : std::move(languageConfig))
{
}

std::vector<LanguageEntry> LanguageSettings::Languages() const
{
    std::vector<LanguageEntry> list;
    const Json::Value doc = CJsonFile::ReadJson(m_configPath);
    if (!doc.isObject() || !doc["Language"].isArray())
        return list;
    for (const Json::Value& item : doc["Language"]) {
        LanguageEntry entry;
        if (item.isObject()) {
            if (item["Language_name"].isString())
                entry.name = QString::fromStdString(item["Language_name"].asString());
            if (item["Language_file"].isString())
                entry.file = QString::fromStdString(item["Language_file"].asString());
            if (item["Language_ID"].isIntegral())
                entry.id = item["Language_ID"].asInt();
            if (item["Language_text"].isString())
                entry.text = QString::fromStdString(item["Language_text"].asString());
        }
        list.push_back(entry);
    }
    return list;
}

int LanguageSettings::ReadStoredLanguage() const
{
    const int stored = m_store.ReadInt(kLanguageKey).value_or(kMissingLanguageId);
    const std::vector<LanguageEntry> list = Languages();
    for (size_t i = 0; i < list.size(); ++i) {
        if (list[i].id == stored)
            return static_cast<int>(i);
    }
    return 0;
}

std::optional<LanguageSettings::Change> LanguageSettings::Choose(int index)
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
        change.stored = m_store.WriteInt(kLanguageKey, change.entry->id);
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
