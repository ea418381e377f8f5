// The shipped language files against the English one: every id, nothing extra, the same
// placeholders, and a translation wherever one is expected. Also the choice of the first
// language from the desktop's locale variables.
#include "app/LanguageSettings.h"
#include "app/SettingsStore.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QMap>
#include <QRegularExpression>
#include <QSet>
#include <QTemporaryDir>
#include <QXmlStreamReader>
#include <gtest/gtest.h>

#include <map>
#include <optional>

using namespace app;

namespace {

struct LanguageFile {
    QStringList ids;              // in file order
    QHash<QString, QString> text; // id -> value
    QStringList duplicates;
    QString error;                // XML error, or why the file could not be read
};

LanguageFile readLanguageFile(const QString& path)
{
    LanguageFile file;
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) {
        file.error = QStringLiteral("cannot be read");
        return file;
    }
    QXmlStreamReader xml(&f);
    while (!xml.atEnd()) {
        if (xml.readNext() != QXmlStreamReader::StartElement || xml.name() != QLatin1String("Text"))
            continue;
        const QString id = xml.attributes().value("id").toString();
        if (file.text.contains(id))
            file.duplicates << id;
        file.ids << id;
        file.text.insert(id, xml.attributes().value("value").toString());
    }
    if (xml.hasError())
        file.error = QStringLiteral("line %1: %2").arg(xml.lineNumber()).arg(xml.errorString());
    return file;
}

// printf-style conversions keep their order (they are consumed in order); numbered ones (%1)
// may move within a sentence, as the grammar of the language needs, but keep their number.
struct Placeholders {
    QStringList ordered;
    QMap<QString, int> numbered;
    bool operator==(const Placeholders&) const = default;
};

Placeholders placeholdersOf(const QString& text)
{
    static const QRegularExpression re(QStringLiteral(R"(%(\d+|[-+ #0]*\d*(?:\.\d+)?(?:ll|l|h)?[dsuxXfc]))"));
    Placeholders p;
    auto it = re.globalMatch(text);
    while (it.hasNext()) {
        const QRegularExpressionMatch m = it.next();
        if (m.captured(1).front().isDigit())
            ++p.numbered[m.captured(0)];
        else
            p.ordered << m.captured(0);
    }
    return p;
}

std::string describe(const Placeholders& p)
{
    QStringList all = p.ordered;
    for (auto it = p.numbered.cbegin(); it != p.numbered.cend(); ++it)
        all << QStringLiteral("%1x%2").arg(it.value()).arg(it.key());
    return all.join(' ').toStdString();
}

// Texts that stay the same in every language: the product's name, units, shortcuts, and
// anything without a word in it; and, for the keys themselves, the legends printed on keycaps
// (a "Delete" button is translated, the Delete key's name may stay).
bool staysTheSameEverywhere(const QString& id, const QString& english)
{
    static const QSet<QString> names{"TESSEL", "Tessel", "DPI", "GM", "FN", "Fn", "USB", "LED", "RGB",
                                     "OK", "Hz", "ms", "dB", "R", "G", "B", "Rock", "Pop"};
    static const QSet<QString> keyNames{
        "Alt", "Ctrl", "Shift", "Tab", "Esc", "Win", "Windows", "Menu", "Delete", "End", "Home", "Insert",
        "Page Down", "Page Up", "Pause", "Print Screen", "Scroll Lock", "Num Lock", "Num Enter", "Num",
        "Caps Lock", "Enter", "Backspace", "Space", "App", "PrtSc", "ScrLk", "Ins", "Del", "PgUp", "PgDn",
        "Caps", "Ent", "LCtrl", "LShift", "LAlt", "LWin", "RCtrl", "RShift", "RAlt", "RWin"};
    static const QRegularExpression keyId(QStringLiteral("^(kb_key_|keyboard_key_|keyset_mod_)"));
    // A name with a number beside it ("LED %1") stays as the name does.
    static const QRegularExpression placeholder(QStringLiteral(R"(%\d+|%[a-z])"));
    const QString bare = QString(english).remove(placeholder).trimmed();
    if (names.contains(english) || names.contains(bare) || (keyNames.contains(english) && keyId.match(id).hasMatch()))
        return true;
    static const QRegularExpression keyLike(QStringLiteral(
        R"(^(?:[A-Z]|F\d{1,2}|K\d+|M\d+|Num .+|Ctrl\+.+|(?:(?:\d+(?:\.\d+)?|%\d+)\s*(?:[kMG]?Hz|ms|dB|DPI|%)?))$)"));
    if (keyLike.match(english).hasMatch())
        return true;
    // No word of two letters or more once placeholders are gone: symbols, numbers, arrows.
    static const QRegularExpression word(QStringLiteral(R"(\p{L}{2,})"));
    return !QString(english).remove(placeholder).contains(word);
}

// Words a language really writes like English (checked by a native reader, not a way around
// translating). Keep this list short.
const std::map<QString, QSet<QString>>& sameInLanguage()
{
    static const std::map<QString, QSet<QString>> words{
        {"lan_de.xml", {"Name", "Start", "Stop", "Standard", "Info", "Editor", "Audio", "Status", "Normal",
                        "Headset", "Firmware %1", "Sound", "System", "Bass", "Warm", "Shooter", "Orange",
                        "Cyan", "Ring", "Version "}},
        {"lan_fr.xml", {"Message", "Mode", "Image", "Audio", "Info", "Standard", "Normal", "Options", "Macro",
                        "Macros", "macros", "Firmware %1", "Long", "Microphone", "Robot", "Vertical",
                        "Distance (0-255)", "Orange", "Cyan", "Flash", "Position", "Pause", "Double",
                        "Version ", "Licences"}},
        {"lan_pt_BR.xml", {"Mouse", "mouse", "Headset", "headset", "Macro", "Macros", "macros", "Cinema", "Vertical", "Normal",
                           "Firmware %1", "Robot", "Shooter", "Pop", "Rock"}},
        {"lan_it.xml", {"Mouse", "mouse", "Stop", "Cinema", "Robot", "Macro", "Macros", "macros", "Normal", "Standard",
                        "Firmware %1", "Shooter"}},
        {"lan_pl.xml", {"System", "Robot", "Firmware %1", "Standard", "Normal"}},
        {"lan_tr.xml", {"Robot", "Normal", "Standard", "Firmware %1"}},
        {"lan_vi.xml", {"Macro", "Robot", "Firmware %1"}},
        {"lan_es.xml", {"Macro", "Macros", "macros", "Audio", "Normal", "Error", "General", "Color", "Firmware %1",
                        "Cable", "Shooter", "Robot", "Vertical"}},
    };
    return words;
}

bool expectedSame(const QString& file, const QString& id, const QString& english)
{
    if (staysTheSameEverywhere(id, english))
        return true;
    const auto it = sameInLanguage().find(file);
    return it != sameInLanguage().end() && it->second.contains(english);
}

}  // namespace

TEST(LanguageFiles, EveryListedFileHasEveryEnglishTextTranslatedWithItsPlaceholders)
{
    const LanguageFile english = readLanguageFile(QStringLiteral(TESSEL_SKIN_DIR "/lan_en.xml"));
    ASSERT_TRUE(english.error.isEmpty()) << english.error.toStdString();
    ASSERT_TRUE(english.duplicates.isEmpty()) << english.duplicates.join(", ").toStdString();
    ASSERT_GT(english.ids.size(), 500);
    const QSet<QString> englishIds(english.ids.cbegin(), english.ids.cend());

    SettingsStore store(QTemporaryDir().filePath("unused.ini"));
    LanguageSettings languages(store, QStringLiteral(TESSEL_DATA_DIR "/Language.config"));
    const std::vector<LanguageEntry> list = languages.Languages();
    ASSERT_EQ(list.size(), 16u);
    int checked = 0;
    for (const LanguageEntry& entry : list) {
        if (entry.file == QLatin1String("lan_en.xml"))
            continue;
        const QString path = LanguageSettings::LanguageFilePath(TESSEL_SKIN_DIR, entry.file);
        ASSERT_FALSE(path.isEmpty()) << entry.file.toStdString();
        // A language whose file is written elsewhere and not merged yet: nothing to check.
        if (!QFileInfo::exists(path))
            continue;
        ++checked;
        const std::string name = entry.file.toStdString();
        const LanguageFile lang = readLanguageFile(path);
        ASSERT_TRUE(lang.error.isEmpty()) << name << ": " << lang.error.toStdString();
        EXPECT_TRUE(lang.duplicates.isEmpty()) << name << " repeats " << lang.duplicates.join(", ").toStdString();

        QStringList missing, untranslated, placeholders;
        for (const QString& id : english.ids) {
            if (!lang.text.contains(id)) {
                missing << id;
                continue;
            }
            const QString& en = english.text[id];
            const QString& value = lang.text[id];
            if (placeholdersOf(en) != placeholdersOf(value))
                placeholders << QStringLiteral("%1 (%2 -> %3)").arg(id, QString::fromStdString(describe(placeholdersOf(en))),
                                                                    QString::fromStdString(describe(placeholdersOf(value))));
            if (value == en && !expectedSame(entry.file, id, en))
                untranslated << QStringLiteral("%1 \"%2\"").arg(id, en);
            if (value.trimmed().isEmpty() && !en.trimmed().isEmpty())
                untranslated << QStringLiteral("%1 (empty)").arg(id);
        }
        QStringList extra;
        for (const QString& id : lang.ids) {
            if (!englishIds.contains(id))
                extra << id;
        }
        EXPECT_TRUE(missing.isEmpty()) << name << " lacks " << missing.size() << ": " << missing.join(", ").toStdString();
        EXPECT_TRUE(extra.isEmpty()) << name << " has ids English does not: " << extra.join(", ").toStdString();
        EXPECT_TRUE(placeholders.isEmpty()) << name << " changes placeholders: " << placeholders.join("; ").toStdString();
        EXPECT_TRUE(untranslated.isEmpty()) << name << " leaves " << untranslated.size()
                                            << " in English: " << untranslated.join("; ").toStdString();
    }
    EXPECT_GE(checked, 1);
}

TEST(LanguageFiles, TheCheckerCatchesEachKindOfFault)
{
    // The same comparison on small files: each fault must be seen.
    EXPECT_EQ(placeholdersOf("%d of %s"), placeholdersOf("%d von %s"));
    EXPECT_NE(placeholdersOf("%d of %s"), placeholdersOf("%s von %d"));
    EXPECT_NE(placeholdersOf("%d items"), placeholdersOf("Elemente"));
    EXPECT_EQ(placeholdersOf("%1 of %2"), placeholdersOf("%2 中的 %1"));
    EXPECT_NE(placeholdersOf("%1 of %2"), placeholdersOf("%1 von %1"));
    EXPECT_EQ(placeholdersOf("100%"), placeholdersOf("100 %"));
    EXPECT_TRUE(staysTheSameEverywhere("kb_key_f11", "F11"));
    EXPECT_TRUE(staysTheSameEverywhere("keyset_shortcut_2_text", "Ctrl+Z"));
    EXPECT_TRUE(staysTheSameEverywhere("mouse_polling_rate_3", "1000 Hz"));
    EXPECT_TRUE(staysTheSameEverywhere("device_battery_format", "%1%"));
    EXPECT_TRUE(staysTheSameEverywhere("kb_key_name_delete", "Delete"));
    EXPECT_FALSE(staysTheSameEverywhere("profile_delete_text", "Delete"));
    EXPECT_FALSE(staysTheSameEverywhere("kb_sys_polling_label", "Polling rate"));
    EXPECT_FALSE(expectedSame("lan_de.xml", "profile_name_text", "Profile"));
    EXPECT_TRUE(expectedSame("lan_de.xml", "hs_eq_preset_x", "Standard"));

    QTemporaryDir dir;
    const QString path = dir.filePath("lan_xx.xml");
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(R"(<Language><Text id="a" value="x"/><Text id="a" value="y"/><Text id="b" value="&lt;z&gt;"/></Language>)");
    f.close();
    const LanguageFile file = readLanguageFile(path);
    EXPECT_TRUE(file.error.isEmpty());
    EXPECT_EQ(file.duplicates, QStringList{"a"});
    EXPECT_EQ(file.text.value("b"), "<z>");
    ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write(R"(<Language><Text id="a" value="x"></Language>)");
    f.close();
    EXPECT_FALSE(readLanguageFile(path).error.isEmpty());
}

TEST(DesktopLanguage, TheLocaleVariablesPickTheNearestListedLanguage)
{
    SettingsStore store(QTemporaryDir().filePath("unused.ini"));
    LanguageSettings languages(store, QStringLiteral(TESSEL_DATA_DIR "/Language.config"));
    const std::vector<LanguageEntry> list = languages.Languages();
    ASSERT_EQ(list.size(), 16u);
    const auto indexOf = [&list](const char* name) {
        for (size_t i = 0; i < list.size(); ++i) {
            if (list[i].name == QLatin1String(name))
                return int(i);
        }
        return -1;
    };
    struct Case {
        const char* language;
        const char* lcAll;
        const char* lcMessages;
        const char* lang;
        const char* expected;
    };
    const Case cases[] = {
        {"", "", "", "", "en_US"},
        {"", "", "", "de_DE.UTF-8", "de_DE"},
        {"", "", "", "de_AT.UTF-8@euro", "de_DE"},
        {"", "", "", "pt_PT.UTF-8", "pt_BR"},
        {"", "", "", "pt_BR", "pt_BR"},
        {"", "", "", "es_MX.UTF-8", "es_ES"},
        {"", "", "", "en_GB.UTF-8", "en_US"},
        {"", "", "", "zh_CN.UTF-8", "zh_CN"},
        {"", "", "", "zh_SG.UTF-8", "zh_CN"},
        {"", "", "", "zh_TW.UTF-8", "zh_TW"},
        {"", "", "", "zh_HK.UTF-8", "zh_TW"},
        {"", "", "", "th_TH.UTF-8", "th_TH"},
        {"", "", "", "uk_UA.UTF-8", "uk_UA"},
        {"", "", "", "nb_NO.UTF-8", "en_US"},   // not listed: English
        {"", "", "", "ar_EG.UTF-8", "en_US"},
        {"", "", "", "C", "en_US"},
        {"", "", "", "POSIX", "en_US"},
        {"", "", "ko_KR.UTF-8", "de_DE.UTF-8", "ko_KR"},   // LC_MESSAGES before LANG
        {"", "fr_FR.UTF-8", "ko_KR.UTF-8", "de_DE.UTF-8", "fr_FR"},  // LC_ALL before both
        {"ja:de", "fr_FR.UTF-8", "", "", "ja_JP"},  // LANGUAGE first
        {"eo:it", "", "", "de_DE.UTF-8", "it_IT"},  // its first listed preference
        {"eo", "", "", "ru_RU.UTF-8", "ru_RU"},     // none listed: the locale decides
        {"zh_TW:zh", "", "", "en_US.UTF-8", "zh_TW"},
        {"de", "C.UTF-8", "", "", "en_US"},          // the C locale ignores LANGUAGE
        {"", "", "", "  ", "en_US"},
        {"", "", "", "_.@", "en_US"},
    };
    for (const Case& c : cases) {
        const std::map<std::string, QString> env{{"LANGUAGE", c.language}, {"LC_ALL", c.lcAll},
                                                 {"LC_MESSAGES", c.lcMessages}, {"LANG", c.lang}};
        const int index = LanguageSettings::DesktopLanguageIndex(list, [&env](const char* name) {
            const auto it = env.find(name);
            return it == env.end() ? QString() : it->second;
        });
        EXPECT_EQ(index, indexOf(c.expected))
            << "LANGUAGE=" << c.language << " LC_ALL=" << c.lcAll << " LC_MESSAGES=" << c.lcMessages
            << " LANG=" << c.lang;
    }
}

TEST(DesktopLanguage, AStoredChoiceOverridesTheLocale)
{
    QTemporaryDir dir;
    SettingsStore store(dir.filePath("settings.ini"));
    LanguageSettings languages(store, QStringLiteral(TESSEL_DATA_DIR "/Language.config"));
    // The process's own variables, put back afterwards.
    std::map<const char*, std::optional<QByteArray>> saved;
    for (const char* name : {"LANGUAGE", "LC_ALL", "LC_MESSAGES", "LANG"}) {
        saved[name] = qEnvironmentVariableIsSet(name) ? std::optional(qgetenv(name)) : std::nullopt;
        qunsetenv(name);
    }
    qputenv("LANG", "de_DE.UTF-8");
    const int german = languages.ReadStoredLanguage();
    EXPECT_EQ(languages.Languages().at(german).name, "de_DE");
    ASSERT_TRUE(languages.Choose(3));  // the user picks Japanese
    EXPECT_EQ(LanguageSettings(store, QStringLiteral(TESSEL_DATA_DIR "/Language.config")).ReadStoredLanguage(), 3);
    for (const auto& [name, value] : saved) {
        if (value)
            qputenv(name, *value);
        else
            qunsetenv(name);
    }
}
