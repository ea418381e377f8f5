#include "app/SettingsStore.h"

#include "profiles/DataPaths.h"

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
    QSettings settings(m_path, QSettings::IniFormat);
    settings.setValue(key, value);
    settings.sync();
    return settings.status() == QSettings::NoError;
}

}  // namespace app
