#pragma once

#include <QFile>
#include <QString>
#include <QStringList>
#include <array>
#include <functional>
#include <memory>

namespace app {

// One font file of the data folder's "Font" folder, made available to this process only. The
// file is mapped, not copied, and handed to Qt from memory: the large CJK faces then cost
// address space, not private memory. The mapping lives as long as the loader, so create the
// loaders before the QApplication and let them outlive it (Qt may still hold font engines that
// read the data until the application object is gone).
class PrivateFontLoader {
public:
    // `folder`: where the relative paths start (empty: the data folder).
    explicit PrivateFontLoader(QString folder = {});
    ~PrivateFontLoader();
    PrivateFontLoader(const PrivateFontLoader&) = delete;
    PrivateFontLoader& operator=(const PrivateFontLoader&) = delete;

    // Loads `relativePath` (e.g. "Font/Corvex-Regular.otf"); false when the file is missing,
    // unreadable or not a font Qt accepts. A file that is one of the system's fonts (the data
    // folder's files may link to them) is not loaded again: the system serves its face under
    // its own family name, and Load returns true. Needs a QGuiApplication.
    bool Load(const QString& relativePath);
    // Whether `path` is a file of the system's font folders, which fontconfig lists anyway.
    static bool ServedBySystem(const QString& path);
    // Removes the font from Qt's list again (the mapping stays until destruction).
    void Unload();

    bool isLoaded() const { return m_fontId >= 0; }
    bool isServedBySystem() const { return m_bySystem; }
    QStringList families() const;

private:
    QString m_folder;
    QFile m_file;
    uchar* m_data = nullptr;
    int m_fontId = -1;
    bool m_bySystem = false;
};

// The four fonts, in load order.
inline constexpr std::array<const char*, 4> kFontFiles = {
    "Font/Simplified_Chinese.ttf",
    "Font/Corvex-Regular.otf",
    "Font/NotoSansThai-Regular.ttf",
    "Font/NotoSansCJKtc-Regular.otf",
};

// The interface face of each language, made usable under the name the language asks for. A
// script's face comes from the system's fonts through fontconfig where the system has it (the
// CJK and Thai Noto faces of the distribution), and from the data folder's shipped file only
// when it does not; only the current language's face is ever loaded, so a session in a Latin
// language opens no CJK or Thai font at all.
class LanguageFonts {
public:
    // `folder`: where the shipped files are (empty: the data folder). `systemHas` tells whether
    // the system serves a family (empty: ask Qt's font database, which fontconfig fills).
    explicit LanguageFonts(QString folder = {}, std::function<bool(const QString&)> systemHas = {});
    ~LanguageFonts();
    LanguageFonts(const LanguageFonts&) = delete;
    LanguageFonts& operator=(const LanguageFonts&) = delete;

    // Makes `face` (the face the language at `index` uses) resolve to the families that draw its
    // script, loading a shipped file if the system lacks them. `languageName` ("ja_JP") picks
    // the CJK variant behind the shared face of the other languages. Returns those families.
    QStringList Prepare(int index, const QString& face, const QString& languageName);
    // Whether the shipped file of the language at `index` had to be loaded.
    bool LoadedPrivately(int index) const;

    // The one the application uses; it lives until the process ends, after the application
    // object, as the mapped font data must.
    static LanguageFonts& Instance();

private:
    struct Script {
        int index;             // the language index with its own face
        const char* family;    // the system family that draws its script
        int file;              // its shipped file in kFontFiles
    };
    QString m_folder;
    std::function<bool(const QString&)> m_systemHas;
    std::array<std::unique_ptr<PrivateFontLoader>, 4> m_loaders;
};

}  // namespace app
