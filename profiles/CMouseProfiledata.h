#pragma once

#include "profiles/CBasicProfiledata.h"

#include <vector>

// The mouse's profile object: the base records plus "DPIStages", "SystemStages",
// "ReportStages" and the read-only "CorrectInfo" presets.
class CMouseProfiledata : public CBasicProfiledata {
public:
    // Reads "DPIStages" and merges it into the cached stages position by position: stage j of
    // the file replaces cached stage j or is appended; cached stages beyond the file's stay.
    // Without "DPIStages" the cache is returned unchanged. Also refreshes the active stage.
    std::vector<DpiStage> GetDpiStages();
    // Replaces the cache and writes each stage's keys; stages beyond the list stay in the file.
    void SetDpiStages(const std::vector<DpiStage>& stages);
    // The cached active stage index (not re-read from the entry).
    int GetActiveStage() const { return m_activeStage; }
    void SetActiveStage(int stage);

    // All zero without "SystemStages"; the report stage comes from "ReportStages".
    MouseSystemStages GetSystemStages();
    void SetSystemStages(const MouseSystemStages& stages);

    std::vector<CorrectPreset> GetCorrectInfo();

private:
    std::vector<DpiStage> m_dpiStages;
    int m_activeStage = 0;
    MouseSystemStages m_systemStages;
    std::vector<CorrectPreset> m_correctPresets;
};
