#include "profiles/CBasicProfiledata.h"

#include "profiles/DataPaths.h"
#include "profiles/JsonAccess.h"
#include "profiles/ProfilesLog.h"
#include "profiles/UserFiles.h"

#include <QDir>
#include <QFileInfo>

using jsonx::element;
using jsonx::elementRef;
using jsonx::member;
using jsonx::memberRef;
using jsonx::toBool;
using jsonx::toInt;
using jsonx::toU8;

void CBasicProfiledata::SetProfilePath(const QString& path)
{
    if (!path.isEmpty())
        m_profilePath = path;
}

void CBasicProfiledata::SetDefaultPath(const QString& path)
{
    if (!path.isEmpty())
        m_defaultPath = path;
}

void CBasicProfiledata::SetLightConfigPath(const QString& path)
{
    m_lightConfigPath = path;
}

void CBasicProfiledata::SetDeviceIndex(int index)
{
    // The index addresses an array in the file; a wild value would grow it without bound.
    if (index >= 0 && index <= 255)
        m_deviceIndex = index;
}

Json::Value CBasicProfiledata::loadEntry(const QString& path)
{
    const auto index = Json::ArrayIndex(m_deviceIndex);
    Json::Value root = m_jsonFile.ReadJson(path);
    Json::Value slot = element(member(root, "Device"), index);
    if (slot.isObject())
        return slot;

    const Json::Value defaults = m_jsonFile.ReadJson(m_defaultPath);
    slot = element(member(defaults, "Device"), index);
    // A file far too large is neither read nor touched: the page works on the default entry and
    // saving into that file is refused.
    if (userfiles::IsTooLarge(path))
        return slot;

    // No usable entry: take the default profile's and write the repaired file back, keeping
    // every other top-level member ("profilename", "profileUUID", ...). A file that held
    // something is kept beside it first; when it was not JSON at all, its name and identifier
    // come from the file name and the folder's profile list.
    qCDebug(profilesDebug) << "profile" << path << "has no device entry; repairing from"
                           << m_defaultPath;
    const QFileInfo file(path);
    if (file.isFile() && file.size() > 0)
        userfiles::KeepDamaged(path);
    if (!root.isObject()) {
        root = Json::Value(Json::objectValue);
        if (file.isFile()) {
            const QString id = file.completeBaseName();
            root["profileUUID"] = WideToUtf8(id);
            const Json::Value list = m_jsonFile.ReadJson(file.dir().filePath(QStringLiteral("ProfileList.ini")));
            const Json::Value& entries = member(list, "profilelist");
            for (Json::ArrayIndex i = 0; i < entries.size(); ++i) {
                const Json::Value& e = element(entries, i);
                if (jsonx::toString(member(e, "profileUUID")) == WideToUtf8(id))
                    root["profilename"] = jsonx::toString(member(e, "profilename"));
            }
        }
    }
    elementRef(memberRef(root, "Device"), index) = slot;
    m_jsonFile.WriteJson(path, root);
    return slot;
}

Json::Value CBasicProfiledata::LoadDeviceData(const QString& path)
{
    m_active = loadEntry(path);
    return m_active;
}

Json::Value CBasicProfiledata::LoadScratchData(const QString& path)
{
    m_scratch = loadEntry(path);
    return m_scratch;
}

std::vector<profilecheck::Finding> CBasicProfiledata::CorrectActive(const profilecheck::Limits& limits)
{
    if (!m_active.isObject())
        return {};
    const Json::Value defaults = m_jsonFile.ReadJson(m_defaultPath);
    const Json::Value& fallback = element(member(defaults, "Device"), Json::ArrayIndex(m_deviceIndex));
    std::vector<profilecheck::Finding> findings = profilecheck::CheckDeviceEntry(m_active, limits, fallback);
    if (!findings.empty())
        userfiles::NoteCorrected(m_profilePath, profilecheck::Describe(findings));
    return findings;
}

bool CBasicProfiledata::Save()
{
    return SaveDeviceData(m_active, m_profilePath);
}

bool CBasicProfiledata::SaveDeviceData(const Json::Value& value, const QString& path)
{
    if (path.isEmpty() || userfiles::IsTooLarge(path))
        return false;
    Json::Value root = m_jsonFile.ReadJson(path);
    if (!root.isObject())
        root = Json::Value(Json::objectValue);
    elementRef(memberRef(root, "Device"), Json::ArrayIndex(m_deviceIndex)) = value;
    return WriteDocument(root, path);
}

bool CBasicProfiledata::SaveScratchTo(const QString& path)
{
    return SaveDeviceData(m_scratch, path);
}

bool CBasicProfiledata::WriteDocument(const Json::Value& value, const QString& path)
{
    // A change the profile could not keep (a full or read-only disk) is told, not dropped.
    const bool saved = m_jsonFile.WriteJson(path, value) == 0;
    userfiles::NoteSave(path, saved);
    return saved;
}

Json::Value& CBasicProfiledata::activeEntry()
{
    if (!m_active.isObject())
        m_active = Json::Value(Json::objectValue);
    return m_active;
}

LightInfo CBasicProfiledata::GetLightInfo()
{
    const Json::Value& v = member(m_active, "LightInfo");
    if (!v.isObject()) {
        m_lightInfo = m_fallbackLightInfo;
        return m_lightInfo;
    }
    LightInfo info;
    info.mode = toU8(member(v, "SelectItem"));
    info.brightness = toU8(member(v, "Light"));
    info.speed = toU8(member(v, "Speed"));
    info.direction = toU8(member(v, "Fx"));
    info.multicolour = toBool(member(v, "MultiColor")) ? 1 : 0;
    info.red = toU8(member(v, "Red"));
    info.green = toU8(member(v, "Green"));
    info.blue = toU8(member(v, "Blue"));
    info.zzccMode = toU8(member(v, "ZZCCLedMode"));
    info.customGroup = toU8(member(v, "CustomGroup"));
    info.previousMode = toU8(member(v, "OldLedmode"));
    m_lightInfo = info;
    return info;
}

void CBasicProfiledata::SetLightInfo(LightInfo info)
{
    Json::Value v(Json::objectValue);
    v["SelectItem"] = info.mode;
    v["Light"] = info.brightness;
    v["Speed"] = info.speed;
    v["Fx"] = info.direction;
    v["MultiColor"] = info.multicolour ? 1 : 0;
    v["Red"] = info.red;
    v["Green"] = info.green;
    v["Blue"] = info.blue;
    v["ZZCCLedMode"] = info.zzccMode;
    v["CustomGroup"] = info.customGroup;
    v["OldLedmode"] = info.previousMode;
    activeEntry()["LightInfo"] = v;
    // The reserved bytes and the present flag are not stored, so the cache reads as a fresh
    // GetLightInfo would.
    info.reserved[0] = info.reserved[1] = 0;
    info.present = 0;
    info.multicolour = info.multicolour ? 1 : 0;
    m_lightInfo = info;
}

AudioLightInfo CBasicProfiledata::GetAudioLightInfo()
{
    const Json::Value& v = member(m_active, "AudioLightInfo");
    AudioLightInfo info;
    if (v.isObject()) {
        info.audioMode = toU8(member(v, "AudioMode"));
        info.bkRed = toU8(member(v, "BkColorR"));
        info.bkGreen = toU8(member(v, "BkColorG"));
        info.bkBlue = toU8(member(v, "BkColorB"));
        info.fgRed = toU8(member(v, "FgColorR"));
        info.fgGreen = toU8(member(v, "FgColorG"));
        info.fgBlue = toU8(member(v, "FgColorB"));
        info.sevenColour = toBool(member(v, "7ColorFlags")) ? 1 : 0;
        info.colourType = toBool(member(v, "ColorTypeFlags")) ? 1 : 0;
    }
    m_audioLightInfo = info;
    return info;
}

void CBasicProfiledata::SetAudioLightInfo(AudioLightInfo info)
{
    Json::Value v(Json::objectValue);
    v["AudioMode"] = info.audioMode;
    v["BkColorR"] = info.bkRed;
    v["BkColorG"] = info.bkGreen;
    v["BkColorB"] = info.bkBlue;
    v["FgColorR"] = info.fgRed;
    v["FgColorG"] = info.fgGreen;
    v["FgColorB"] = info.fgBlue;
    v["7ColorFlags"] = info.sevenColour ? 1 : 0;
    v["ColorTypeFlags"] = info.colourType ? 1 : 0;
    activeEntry()["AudioLightInfo"] = v;
    info.sevenColour = info.sevenColour ? 1 : 0;
    info.colourType = info.colourType ? 1 : 0;
    m_audioLightInfo = info;
}

std::vector<LightInfo> CBasicProfiledata::GetLightList()
{
    std::vector<LightInfo> list;
    const Json::Value& v = member(m_active, "LightList");
    if (v.isArray()) {
        list.resize(v.size());
        for (Json::ArrayIndex i = 0; i < v.size(); ++i) {
            const Json::Value& e = v[i];
            if (!e.isObject())
                continue;  // null (or not a record): all zero, present flag 0
            LightInfo& info = list[i];
            info.mode = toU8(member(e, "LEDREGMode"));
            info.brightness = toU8(member(e, "LEDBrightness"));
            info.speed = toU8(member(e, "LEDSpeed"));
            info.direction = toBool(member(e, "LEDDirection")) ? 1 : 0;
            info.multicolour = toBool(member(e, "LEDMultiColor")) ? 1 : 0;
            info.red = toU8(member(e, "red"));
            info.green = toU8(member(e, "green"));
            info.blue = toU8(member(e, "blue"));
            info.present = 1;
        }
    }
    m_lightList = list;
    return list;
}

Json::Value CBasicProfiledata::LoadLightConfig(const QString& path)
{
    m_lightConfig = m_jsonFile.ReadJson(path);
    m_lightConfigFolder = path.isEmpty() ? QString() : QFileInfo(path).absolutePath();
    return m_lightConfig;
}

std::vector<LedEffectStep> CBasicProfiledata::GetLedEffects(int model)
{
    std::vector<LedEffectStep> steps;
    if (model >= 0 && !m_lightConfig.isNull() && !m_lightConfigFolder.isEmpty()) {
        const Json::Value& entry =
            element(element(member(m_lightConfig, "LightInfo"), Json::ArrayIndex(model)),
                    m_lightInfo.mode);
        const QString guid = Utf8ToWide(jsonx::toString(member(entry, "Guid")));
        if (!paths::isSafeFileBaseName(guid)) {
            if (!guid.isEmpty())
                qCDebug(profilesDebug) << "custom effect name refused:" << guid;
        } else {
            const Json::Value doc = m_jsonFile.ReadJson(m_lightConfigFolder + "/" + guid + ".light");
            const Json::Value& list = member(doc, "LEDEffectList");
            if (list.isArray()) {
                steps.resize(list.size());
                for (Json::ArrayIndex i = 0; i < list.size(); ++i) {
                    const Json::Value& e = list[i];
                    LedEffectStep& s = steps[i];
                    s.mode = toU8(member(e, "LEDREGMode"));
                    s.direction = toU8(member(e, "LEDDirection"));
                    s.brightness = toU8(member(e, "LEDBrightness"));
                    s.speed = toU8(member(e, "LEDSpeed"));
                    s.multicolour = toU8(member(e, "LEDMultiColor"));
                    s.red = toU8(member(e, "red"));
                    s.green = toU8(member(e, "green"));
                    s.blue = toU8(member(e, "blue"));
                    s.time = jsonx::toI32(member(e, "Time"));
                    s.cycle = jsonx::toI32(member(e, "Cyle"));
                }
            }
        }
    }
    m_ledEffects = steps;
    return steps;
}

std::vector<KeyAssignmentPair> CBasicProfiledata::readKeyList(const Json::Value& slot)
{
    std::vector<KeyAssignmentPair> keys;
    const Json::Value& list = member(slot, "KeyList");
    if (!list.isArray())
        return keys;
    keys.reserve(list.size());
    for (Json::ArrayIndex i = 0; i < list.size(); ++i) {
        const auto position = uint16_t(i);
        const auto current = uint32_t(toInt(member(list[i], "Assignment")));
        const auto defaults = uint32_t(toInt(member(list[i], "DefaultAssignment")));
        KeyAssignmentPair pair;
        pair.current = {position, uint8_t(current >> 16), uint8_t(current >> 8), uint8_t(current)};
        pair.defaults = {position, uint8_t(defaults >> 16), uint8_t(defaults >> 8), uint8_t(defaults)};
        keys.push_back(pair);
    }
    return keys;
}

void CBasicProfiledata::writeKeyList(Json::Value& slot, const std::vector<KeyAssignmentPair>& keys)
{
    Json::Value& list = memberRef(slot, "KeyList");
    for (size_t i = 0; i < keys.size(); ++i)
        memberRef(elementRef(list, Json::ArrayIndex(i)), "Assignment") = keys[i].current.packed();
}

std::vector<KeyAssignmentPair> CBasicProfiledata::GetKeyList()
{
    m_keyList = readKeyList(m_active);
    return m_keyList;
}

void CBasicProfiledata::SetKeyList(const std::vector<KeyAssignmentPair>& keys)
{
    m_keyList = keys;
    writeKeyList(m_active, keys);
}

std::vector<KeyAssignmentPair> CBasicProfiledata::GetScratchKeyList()
{
    m_scratchKeyList = readKeyList(m_scratch);
    return m_scratchKeyList;
}

void CBasicProfiledata::SetScratchKeyList(const std::vector<KeyAssignmentPair>& keys)
{
    m_scratchKeyList = keys;
    writeKeyList(m_scratch, keys);
}
