#pragma once

#include <QString>
#include <map>
#include <vector>

namespace app {

// Decides when a device's battery deserves a notice: once each time its level falls to or below
// a threshold (low, then critical), never while it charges. A threshold is armed again only when
// the level has climbed a few percent above it, so a reading that wavers around 15 % does not
// notify at every status read.
class BatteryWatch {
public:
    struct Reading {
        QString key;   // stays the same for one device across routes and restarts of the window
        int level = -1;  // percent; below 0 when unknown
        bool charging = false;
    };
    struct Notice {
        QString key;
        int level = 0;
        bool critical = false;
    };
    static constexpr int kDefaultLow = 15;
    static constexpr int kDefaultCritical = 5;
    // How far above a threshold the level must climb before the threshold notifies again.
    static constexpr int kRearmMargin = 3;

    // Thresholds in percent; critical is kept at or below low, both within 0-100.
    void SetThresholds(int low, int critical);
    int Low() const { return m_low; }
    int Critical() const { return m_critical; }

    // The notices the readings call for (at most one per device). Devices not in `readings`
    // are forgotten, so a device plugged in again low is told again.
    std::vector<Notice> Update(const std::vector<Reading>& readings);

private:
    enum Band { kFine = 0, kLow = 1, kCritical = 2 };
    Band BandOf(int level) const;

    int m_low = kDefaultLow;
    int m_critical = kDefaultCritical;
    // Per device: the most serious band already told.
    std::map<QString, Band> m_told;
};

}  // namespace app
