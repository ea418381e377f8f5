#include "app/SkinResources.h"

#include <QDir>
#include <QFile>
#include <QXmlStreamReader>

namespace app {

namespace {
bool staysInside(const QString& relative)
{
    if (relative.isEmpty() || QDir::isAbsolutePath(relative) || relative.contains('\\'))
        return false;
    const QString clean = QDir::cleanPath(relative);
    return clean != ".." && !clean.startsWith("../");
}
}  // namespace

bool SkinResources::Load(const QString& skinFolder)
{
    m_files.clear();
    QFile file(QDir(skinFolder).filePath("res.xml"));
    if (!file.open(QIODevice::ReadOnly))
        return false;
    QHash<QString, QString> files;
    QXmlStreamReader xml(&file);
    while (!xml.atEnd()) {
        xml.readNext();
        if (xml.isStartElement() &&
            xml.name().compare(QLatin1String("Layout"), Qt::CaseInsensitive) == 0) {
            const QString name = xml.attributes().value("name").toString();
            const QString path = xml.attributes().value("file").toString();
            if (!name.isEmpty() && staysInside(path))
                files.insert(name, QDir::cleanPath(path));
        }
    }
    if (xml.hasError())
        return false;
    m_files = std::move(files);
    return true;
}

QString SkinResources::Resolve(const QString& resourceName) const
{
    return m_files.value(resourceName);
}

SkinResources& SkinResources::Instance()
{
    static SkinResources instance;
    return instance;
}

}  // namespace app
