#include "app/SettingsStore.h"

#include "profiles/DataPaths.h"
#include "profiles/UserFiles.h"

#include <QFile>

#include <QSettings>

namespace app {

SettingsStore::SettingsStore(QString path) : m_path(path.isEmpty() ? DefaultPath() : std::move(path))
{
}

QString SettingsStore::DefaultPath()
{
    return paths::configFolder() + "/settings.ini";
}

std::optional<int> SettingsStore::ReadInt(const QString& key) const
{
    // A settings file far larger than settings can be is not parsed (QSettings would read it
    // whole, at every look-up).
    if (userfiles::IsTooLarge(m_path))
        return std::nullopt;
    const QSettings settings(m_path, QSettings::IniFormat);
    const QVariant value = settings.value(key);
    bool ok = false;
    const int number = value.toInt(&ok);
    if (!value.isValid() || !ok)
        return std::nullopt;
    return number;
}

bool SettingsStore::WriteInt(const QString& key, int value)
{
    // QSettings replaces the INI file through a temporary file, so a crash leaves the old one.
    // The file (and its folder) is created by the first write. This differs on purpose from
    // the original behaviour, which only opened an existing settings key and never created it:
    // there a choice made on a fresh system was silently dropped and never persisted.
    if (userfiles::IsTooLarge(m_path)) {
        // Writing rewrites the whole file from what was parsed: the oversized one is kept
        // beside it and the settings start anew.
        if (userfiles::KeepDamaged(m_path).isEmpty() || !QFile::remove(m_path))
            return false;
    }
    QSettings settings(m_path, QSettings::IniFormat);
    settings.setValue(key, value);
    settings.sync();
    return settings.status() == QSettings::NoError;
}

}  // namespace app
