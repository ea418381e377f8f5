#pragma once

#include <QFile>
#include <QString>
#include <array>

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

}  // namespace app
