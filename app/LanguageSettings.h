#pragma once

#include "app/SettingsStore.h"

#include <QLocale>
#include <QString>
#include <array>
#include <functional>
#include <optional>
#include <vector>

namespace app {

// One element of "Language" in "Language.config".
struct LanguageEntry {
    QString name;  // "Language_name": the language's name in the resource manager
    QString file;  // "Language_file": the language file, a plain name in the skin folder
    int id = 0;    // "Language_ID": what the settings store keeps
    QString text;  // "Language_text": shown in the settings window
};

// One interface font set on a language change that needs new fonts.
struct InterfaceFont {
    int id;  // kDefaultFontId for the default font
    int pixelSize;
    bool bold;
    bool underline;
};

// The language list, the stored choice and the decision what a language change must do. The
// caller (the main window) carries out the UI side: fonts, language file, text reload.
class LanguageSettings {
public:
    static constexpr int kDefaultFontId = -1;

    // `languageConfig`: the list file (empty: "Language.config" in the default data folder).
    explicit LanguageSettings(SettingsStore& store, QString languageConfig = {});

    // The list, read fresh; empty when the file is missing or invalid.
    std::vector<LanguageEntry> Languages() const;
    // The index of the first language whose id is the stored one. With nothing stored, the
    // language of the list that fits `desktop` (same name, else same language). 0 when nothing
    // fits, a stored id matches nothing or the list is missing.
    int ReadStoredLanguage(const QLocale& desktop) const;
    // The same with the desktop's language taken from the environment (DesktopLanguageIndex).
    int ReadStoredLanguage() const;
    // The index of the language `locale` asks for: the entry named like it ("en_US"), else the
    // first of its language ("en_GB" finds "en_US"); -1 when the list has neither.
    static int IndexForLocale(const std::vector<LanguageEntry>& list, const QLocale& locale);
    // The index of the language nearest to a POSIX locale name ("de_AT.UTF-8@euro", "pt",
    // "zh_HK", "sr_RS@latin"): same language and region, else the Chinese script the region
    // writes, else the first entry of the same language; "C" and "POSIX" mean English. -1 when
    // the list has no such language.
    static int IndexForLocaleName(const std::vector<LanguageEntry>& list, const QString& localeName);
    // The language the desktop asks for, read as gettext reads it: the first listed language of
    // LANGUAGE (a colon-separated list of preferences, ignored under the C locale), else the
    // locale of the first of LC_ALL, LC_MESSAGES and LANG that is set. English (else 0) when
    // none of them names a listed language. `env` reads a variable (empty: the process's).
    using Environment = std::function<QString(const char* name)>;
    static int DesktopLanguageIndex(const std::vector<LanguageEntry>& list, const Environment& env = {});

    struct Change {
        int index = -1;
        bool fontsChanged = false;
        QString fontFace;                   // set when fontsChanged
        std::optional<LanguageEntry> entry; // none when the list has no such element
        bool stored = false;                // the id was written to the store
    };
    // Makes `index` the current language: nothing (no change, no write) when it already is;
    // otherwise records it, stores its id (unless `store` is false: a choice for this session
    // only) and says what the UI must do.
    std::optional<Change> Choose(int index, bool store = true);
    int currentIndex() const { return m_current; }
    const QString& configPath() const { return m_configPath; }

    static bool NeedsNewFonts(int index, int currentIndex);
    static QString FontFaceFor(int index);
    // In the order they are added: font 0, the default font, fonts 1 to 11, font 50.
    static const std::array<InterfaceFont, 14>& InterfaceFonts();
    // The language file's full path in `skinFolder`; empty when the name would leave the folder.
    static QString LanguageFilePath(const QString& skinFolder, const QString& file);

private:
    SettingsStore& m_store;
    QString m_configPath;
    int m_current = -1;
};

}  // namespace app
