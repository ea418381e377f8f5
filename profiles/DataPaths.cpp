#include "profiles/DataPaths.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

namespace paths {

namespace {
QString ensured(const QString& folder)
{
    // Folders the application creates are the user's alone (owner only); existing ones keep
    // their mode.
    if (!QFileInfo::exists(folder) && QDir().mkpath(folder))
        QFile::setPermissions(folder, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    return folder;
}
}  // namespace

QString dataFolder()
{
    const QString overridden = qEnvironmentVariable("TESSEL_DATA_DIR");
    if (!overridden.isEmpty())
        return QDir::cleanPath(overridden);
    const QString exeDir = QCoreApplication::applicationDirPath();
    // Installed layout: <prefix>/bin/tessel with the data in <prefix>/share/tessel.
    const QString installed = QDir::cleanPath(exeDir + "/../share/tessel");
    if (!QFileInfo::exists(exeDir + "/DefaultData") && QFileInfo::exists(installed + "/DefaultData"))
        return installed;
    return exeDir;
}

QString defaultDataFolder()
{
    return dataFolder() + "/DefaultData";
}

QString userDataFolder()
{
    return ensured(QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) + "/" +
                   kAppFolderName);
}

QString deviceUserFolder(const QString& deviceFolder)
{
    return ensured(userDataFolder() + "/" + deviceFolder);
}

QString configFolder()
{
    return ensured(QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) + "/" +
                   kAppFolderName);
}

QString deviceFolderForModel(int model)
{
    switch (model) {
    case 0:
        return QStringLiteral("keyboard");
    case 1:
        return QStringLiteral("mouse");
    case 2:
        return QStringLiteral("MousePad");
    case 3:
        return QStringLiteral("HD");
    default:
        return QString();
    }
}

QString defaultProfileFile(const QString& deviceFolder)
{
    return defaultDataFolder() + "/" + deviceFolder + ".Json";
}

QString defaultLightFile()
{
    return defaultDataFolder() + "/default_light.json";
}

QString lightConfigFile(const QString& deviceFolder)
{
    return deviceUserFolder(deviceFolder) + "/pelix_light.config";
}

QString profileFile(const QString& deviceFolder, const QString& profileUuid)
{
    if (!isSafeFileBaseName(profileUuid))
        return QString();
    return deviceUserFolder(deviceFolder) + "/" + profileUuid + ".Json";
}

QString macroListFile(const QString& userFolder)
{
    return QDir(userFolder).filePath(QStringLiteral("macro.config"));
}

QString macroFile(const QString& userFolder, const QString& macroId)
{
    if (!isSafeFileBaseName(macroId))
        return QString();
    return QDir(userFolder).filePath(macroId + QStringLiteral(".mac"));
}

bool isSafeFileBaseName(const QString& name)
{
    if (name.isEmpty() || name.contains(QLatin1String("..")))
        return false;
    for (const QChar c : name) {
        if (c == QLatin1Char('/') || c == QLatin1Char('\\') || c.unicode() < 0x20 ||
            c.unicode() == 0x7F)
            return false;
    }
    return true;
}

}  // namespace paths
