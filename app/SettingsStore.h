#pragma once

#include <QString>
#include <optional>

namespace app {

// The per-user store of small integer settings (the language choice): an INI file in the config
// folder, written atomically. Reading a missing file or key gives nothing; nothing is created
// until a value is written.
class SettingsStore {
public:
    // The store at `path`; an empty path means the application's own file in the config folder.
    explicit SettingsStore(QString path = {});

    static QString DefaultPath();
    const QString& path() const { return m_path; }

    std::optional<int> ReadInt(const QString& key) const;
    // False when the file could not be written (the old file then stays as it was).
    bool WriteInt(const QString& key, int value);

private:
    QString m_path;
};

// The key that holds the chosen language's "Language_ID".
inline constexpr char kLanguageKey[] = "LANGUAGE";
// The battery levels, in percent, at which a device's low and critical notices are shown.
inline constexpr char kBatteryLowKey[] = "BatteryLowPercent";
inline constexpr char kBatteryCriticalKey[] = "BatteryCriticalPercent";

}  // namespace app
