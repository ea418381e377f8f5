#include "app/PrivateFontLoader.h"

#include "profiles/DataPaths.h"

#include <QByteArray>
#include <QDir>
#include <QFileInfo>
#include <QFont>
#include <QFontDatabase>
#include <QStandardPaths>

namespace app {

PrivateFontLoader::PrivateFontLoader(QString folder) : m_folder(std::move(folder)) {}

PrivateFontLoader::~PrivateFontLoader()
{
    if (m_data)
        m_file.unmap(m_data);
}

bool PrivateFontLoader::ServedBySystem(const QString& path)
{
    // fontconfig already lists the fonts of these folders for every program: a file that is
    // (or links to) one of them needs no private copy, whose parsing and pages would only
    // cost start-up time and memory.
    const QString real = QFileInfo(path).canonicalFilePath();
    if (real.isEmpty())
        return false;
    QStringList folders{QStringLiteral("/usr/share/fonts"), QStringLiteral("/usr/local/share/fonts")};
    folders += QStandardPaths::standardLocations(QStandardPaths::FontsLocation);
    for (const QString& folder : folders) {
        const QString root = QFileInfo(folder).canonicalFilePath();
        if (!root.isEmpty() && real.startsWith(root + QLatin1Char('/')))
            return true;
    }
    return false;
}

bool PrivateFontLoader::Load(const QString& relativePath)
{
    if (m_fontId >= 0 || m_data || m_bySystem)
        return false;
    // The data folder is looked up here: loaders are made before the application object.
    const QString folder = m_folder.isEmpty() ? paths::dataFolder() : m_folder;
    const QString path = QDir(folder).filePath(relativePath);
    if (ServedBySystem(path)) {
        m_bySystem = true;
        return true;
    }
    m_file.setFileName(path);
    if (!m_file.open(QIODevice::ReadOnly) || m_file.size() <= 0)
        return false;
    m_data = m_file.map(0, m_file.size());
    const qint64 size = m_file.size();
    m_file.close();  // the mapping stays valid without the descriptor
    if (!m_data)
        return false;
    const QByteArray view = QByteArray::fromRawData(reinterpret_cast<const char*>(m_data), size);
    m_fontId = QFontDatabase::addApplicationFontFromData(view);
    return m_fontId >= 0;
}

void PrivateFontLoader::Unload()
{
    if (m_fontId >= 0)
        QFontDatabase::removeApplicationFont(m_fontId);
    m_fontId = -1;
}

QStringList PrivateFontLoader::families() const
{
    return m_fontId >= 0 ? QFontDatabase::applicationFontFamilies(m_fontId) : QStringList{};
}

namespace {
// Families behind every face, after the script's own: Latin text, then whatever else is there.
const QStringList& latinFamilies()
{
    static const QStringList families{QStringLiteral("DejaVu Sans"), QStringLiteral("Liberation Sans"),
                                      QStringLiteral("Noto Sans")};
    return families;
}
}  // namespace

LanguageFonts::LanguageFonts(QString folder, std::function<bool(const QString&)> systemHas)
    : m_folder(std::move(folder)), m_systemHas(std::move(systemHas))
{
    if (!m_systemHas) {
        m_systemHas = [](const QString& family) { return QFontDatabase::families().contains(family, Qt::CaseInsensitive); };
    }
}

LanguageFonts::~LanguageFonts() = default;

QStringList LanguageFonts::Prepare(int index, const QString& face, const QString& languageName)
{
    // Indices 0, 2 and 15 have faces of their own (Simplified Chinese, Traditional Chinese,
    // Thai); the shipped files are kFontFiles 0, 3 and 2.
    static constexpr Script kScripts[] = {
        {0, "Noto Sans CJK SC", 0},
        {2, "Noto Sans CJK TC", 3},
        {15, "Noto Sans Thai", 2},
    };
    QStringList families;
    for (const Script& script : kScripts) {
        if (script.index != index)
            continue;
        const QString system = QLatin1String(script.family);
        if (m_systemHas(system)) {
            families << system;
        } else {
            auto& loader = m_loaders[size_t(script.file)];
            if (!loader) {
                loader = std::make_unique<PrivateFontLoader>(m_folder);
                loader->Load(QLatin1String(kFontFiles[size_t(script.file)]));
            }
            families << loader->families();
        }
    }
    // The other languages share one face: Latin text in the common system faces, and for
    // Japanese and Korean the CJK face drawn the way that language writes its characters.
    const QString language = languageName.section('_', 0, 0).section('-', 0, 0).toLower();
    if (language == QLatin1String("ja"))
        families << QStringLiteral("Noto Sans CJK JP");
    else if (language == QLatin1String("ko"))
        families << QStringLiteral("Noto Sans CJK KR");
    families << latinFamilies();
    QFont::removeSubstitutions(face);
    QFont::insertSubstitutions(face, families);
    return families;
}

bool LanguageFonts::LoadedPrivately(int index) const
{
    const int file = index == 0 ? 0 : index == 2 ? 3 : index == 15 ? 2 : -1;
    return file >= 0 && m_loaders[size_t(file)] && m_loaders[size_t(file)]->isLoaded();
}

LanguageFonts& LanguageFonts::Instance()
{
    // Never destroyed: Qt's font engines may read the mapped data until the process ends.
    static LanguageFonts* instance = new LanguageFonts();
    return *instance;
}

}  // namespace app

