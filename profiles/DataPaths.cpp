#include "profiles/DataPaths.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

namespace paths {

namespace {
QString ensured(const QString& folder)
{
    QDir().mkpath(folder);
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

}  // namespace paths
