#include "app/PrivateFontLoader.h"

#include "profiles/DataPaths.h"

#include <QByteArray>
#include <QDir>
#include <QFileInfo>
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

}  // namespace app
