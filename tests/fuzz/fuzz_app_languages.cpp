// Language list: the input is "Language.config", read as start-up reads it (with and without a
// stored choice, for several desktop locales) and as a language change reads it.

#include "app/LanguageSettings.h"
#include "app/SettingsStore.h"

#include <QFile>
#include <QLocale>
#include <QTemporaryDir>

#include "fuzz_profiles_scratch.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static QTemporaryDir dir(scratchFolderTemplate());
    const QString input = dir.filePath("Language.config");
    const QString storePath = dir.filePath("settings.ini");
    {
        QFile f(input);
        if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate))
            return 0;
        f.write(reinterpret_cast<const char*>(data), qint64(size));
    }
    QFile::remove(storePath);
    app::SettingsStore store(storePath);
    app::LanguageSettings languages(store, input);
    for (const char* locale : {"C", "en_US", "zh_TW", "de_DE"})
        languages.ReadStoredLanguage(QLocale(QLatin1String(locale)));
    const int count = int(languages.Languages().size());
    for (int index : {0, 1, count - 1, count, 15}) {
        languages.Choose(index);
        languages.ReadStoredLanguage();
    }
    return 0;
}
