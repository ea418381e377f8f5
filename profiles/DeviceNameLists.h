#pragma once

#include <QString>
#include <QStringList>

#include <vector>

// The name lists a device page shows in its lighting and macro editors: the built-in lighting
// modes of its model (name or text id, visibility, device value), its lighting areas, the
// user's custom light effects and the user's macros. A list whose source is missing keeps
// its previous content, so a damaged file never empties what the page already shows.
class DeviceNameLists {
public:
    // Model indexes of "default_light.json" and "pelix_light.config".
    enum Model { Keyboard = 0, Mouse = 1, MousePad = 2, Headset = 3 };

    // The whole load of a device page: macro names, then the lighting lists.
    void Load(int model, const QString& defaultLightFile, const QString& lightConfigFile,
              const QString& macroListFile);
    // "DefaultLightName"[model] and "AreaLightName"[model] of the default lighting file.
    void LoadDefaultLightNames(int model, const QString& defaultLightFile);
    // "LightInfo"[model] of the user's light configuration file.
    void LoadCustomLightNames(int model, const QString& lightConfigFile);
    // "MacroInfo"[i]."MacroName" of a macro list file; cleared first, so a missing file gives
    // an empty list (a device without macros has none to offer).
    void LoadMacroNames(const QString& macroListFile);

    const QStringList& modeNames() const { return m_modeNames; }
    const std::vector<int>& modeVisible() const { return m_modeVisible; }
    const std::vector<int>& modeValues() const { return m_modeValues; }
    const QStringList& areaNames() const { return m_areaNames; }
    const QStringList& customNames() const { return m_customNames; }
    const QStringList& macroNames() const { return m_macroNames; }

private:
    QStringList m_modeNames;
    std::vector<int> m_modeVisible;  // 0 or 1
    std::vector<int> m_modeValues;
    QStringList m_areaNames;
    QStringList m_customNames;
    QStringList m_macroNames;
};
