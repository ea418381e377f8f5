#pragma once

#include "profiles/CJsonFile.h"
#include "profiles/ProfileCheck.h"
#include "profiles/ProfileRecords.h"

#include <QString>
#include <json/value.h>

#include <vector>

// The profile object of a device: which files it uses, the device entry ("Device"[index]) of
// the selected profile held in memory, and the records read from and written to it. Getters
// never fail: a missing file, entry or member (or one of an unexpected JSON type) gives the
// zero or empty record. Setters change only the entry in memory; nothing reaches the disk
// before Save (or SaveScratchTo for the scratch slot). Not thread-safe: the owning device calls
// it from one thread at a time.
class CBasicProfiledata {
public:
    CBasicProfiledata() = default;
    virtual ~CBasicProfiledata() = default;

    // An empty path is ignored: the previous one stays.
    void SetProfilePath(const QString& path);
    const QString& GetProfilePath() const { return m_profilePath; }
    // An empty path is ignored.
    void SetDefaultPath(const QString& path);
    const QString& GetDefaultPath() const { return m_defaultPath; }
    // Any path is accepted, the empty one included.
    void SetLightConfigPath(const QString& path);
    const QString& GetLightConfigPath() const { return m_lightConfigPath; }
    // Callers pass 0; an index outside 0..255 is ignored.
    void SetDeviceIndex(int index);
    int GetDeviceIndex() const { return m_deviceIndex; }

    // Fills the active slot with "Device"[index] of the file. A file without a usable entry (or
    // no file at all) is repaired from the default profile file and written back at once,
    // keeping its other top-level members. Returns a copy of the slot.
    Json::Value LoadDeviceData(const QString& path);
    // The same for the scratch slot (editing a profile other than the active one).
    Json::Value LoadScratchData(const QString& path);
    const Json::Value& ActiveSlot() const { return m_active; }
    // Corrects the active slot where it is out of the ranges of `limits` (wrong types take the
    // default profile's value), so nothing undefined reaches the device; the file is corrected
    // at the next Save. What was corrected is recorded as a notice for the user. Returns it.
    std::vector<profilecheck::Finding> CorrectActive(const profilecheck::Limits& limits);

    // Writes the active slot as "Device"[index] of the profile file. True when the file was
    // replaced; on failure the slot keeps the changes and the old file stays.
    virtual bool Save();
    // Writes value as "Device"[index] of the file at path; every other member survives.
    virtual bool SaveDeviceData(const Json::Value& value, const QString& path);
    virtual bool SaveScratchTo(const QString& path);
    virtual bool WriteDocument(const Json::Value& value, const QString& path);

    LightInfo GetLightInfo();
    void SetLightInfo(LightInfo info);
    AudioLightInfo GetAudioLightInfo();
    void SetAudioLightInfo(AudioLightInfo info);
    std::vector<LightInfo> GetLightList();

    // Reads the light configuration document; returns a copy.
    Json::Value LoadLightConfig(const QString& path);
    // Steps of the custom effect of the cached LightInfo's mode for the device model `model`:
    // the entry "LightInfo"[model][mode], the same entry whose name the lighting list shows.
    // The effect file is its "Guid" + ".light" in the folder of the light configuration file;
    // a "Guid" that would reach outside that folder, or a negative model, gives an empty list.
    std::vector<LedEffectStep> GetLedEffects(int model);

    std::vector<KeyAssignmentPair> GetKeyList();
    // Writes "Assignment" of entries 0..size-1; later entries and "DefaultAssignment" stay.
    void SetKeyList(const std::vector<KeyAssignmentPair>& keys);
    std::vector<KeyAssignmentPair> GetScratchKeyList();
    void SetScratchKeyList(const std::vector<KeyAssignmentPair>& keys);

protected:
    // The active slot for writing; it becomes an object when it is not one.
    Json::Value& activeEntry();

    QString m_profilePath;
    QString m_defaultPath;
    LightInfo m_lightInfo;
    LightInfo m_fallbackLightInfo{};  // what a missing "LightInfo" reads as: all zero
    AudioLightInfo m_audioLightInfo;
    std::vector<LightInfo> m_lightList;
    Json::Value m_active;
    CJsonFile m_jsonFile;
    Json::Value m_scratch;
    QString m_lightConfigPath;
    std::vector<LedEffectStep> m_ledEffects;
    Json::Value m_lightConfig;
    QString m_lightConfigFolder;  // the folder of the light configuration file last loaded
    std::vector<KeyAssignmentPair> m_keyList;
    std::vector<KeyAssignmentPair> m_scratchKeyList;
    int m_deviceIndex = 0;

private:
    Json::Value loadEntry(const QString& path);
    static std::vector<KeyAssignmentPair> readKeyList(const Json::Value& slot);
    static void writeKeyList(Json::Value& slot, const std::vector<KeyAssignmentPair>& keys);
};
