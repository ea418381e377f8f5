#include "profiles/DeviceNameLists.h"

#include "profiles/CJsonFile.h"
#include "profiles/JsonAccess.h"

using jsonx::element;
using jsonx::member;

namespace {
// The model's array of a per-model list, or null for a negative or missing model.
const Json::Value& modelList(const Json::Value& doc, const char* key, int model)
{
    static const Json::Value null;
    if (model < 0)
        return null;
    return element(member(doc, key), Json::ArrayIndex(model));
}

QStringList names(const Json::Value& list, const char* key)
{
    QStringList out;
    if (!list.isArray())
        return out;
    for (const Json::Value& e : list)
        out.append(Utf8ToWide(jsonx::toString(member(e, key))));
    return out;
}
}  // namespace

void DeviceNameLists::Load(int model, const QString& defaultLightFile,
                           const QString& lightConfigFile, const QString& macroListFile)
{
    LoadMacroNames(macroListFile);
    LoadDefaultLightNames(model, defaultLightFile);
    LoadCustomLightNames(model, lightConfigFile);
}

void DeviceNameLists::LoadDefaultLightNames(int model, const QString& defaultLightFile)
{
    const Json::Value doc = CJsonFile::ReadJson(defaultLightFile);
    if (doc.isNull())
        return;
    const Json::Value& modes = modelList(doc, "DefaultLightName", model);
    if (modes.isArray()) {
        m_modeNames.clear();
        m_modeVisible.clear();
        m_modeValues.clear();
        for (const Json::Value& e : modes) {
            m_modeNames.append(Utf8ToWide(jsonx::toString(member(e, "LightName"))));
            m_modeVisible.push_back(jsonx::toBool(member(e, "visible")) ? 1 : 0);
            m_modeValues.push_back(jsonx::toI32(member(e, "value")));
        }
    }
    const Json::Value& areas = modelList(doc, "AreaLightName", model);
    if (areas.isArray())
        m_areaNames = names(areas, "LightName");
}

void DeviceNameLists::LoadCustomLightNames(int model, const QString& lightConfigFile)
{
    const Json::Value doc = CJsonFile::ReadJson(lightConfigFile);
    const Json::Value& effects = modelList(doc, "LightInfo", model);
    if (effects.isArray())
        m_customNames = names(effects, "LightName");
}

void DeviceNameLists::LoadMacroNames(const QString& macroListFile)
{
    m_macroNames = names(member(CJsonFile::ReadJson(macroListFile), "MacroInfo"), "MacroName");
}
