#include "app/BatteryWatch.h"

#include <algorithm>

namespace app {

void BatteryWatch::SetThresholds(int low, int critical)
{
    m_low = std::clamp(low, 0, 100);
    m_critical = std::clamp(critical, 0, m_low);
}

BatteryWatch::Band BatteryWatch::BandOf(int level) const
{
    if (level <= m_critical)
        return kCritical;
    if (level <= m_low)
        return kLow;
    return kFine;
}

std::vector<BatteryWatch::Notice> BatteryWatch::Update(const std::vector<Reading>& readings)
{
    std::vector<Notice> notices;
    std::map<QString, Band> told;
    for (const Reading& r : readings) {
        if (r.level < 0)
            continue;
        Band already = kFine;
        if (auto it = m_told.find(r.key); it != m_told.end())
            already = it->second;
        // Climbing well above a threshold arms it again.
        if (already == kCritical && r.level > m_critical + kRearmMargin)
            already = kLow;
        if (already == kLow && r.level > m_low + kRearmMargin)
            already = kFine;
        const Band band = BandOf(r.level);
        if (band > already && !r.charging) {
            notices.push_back({r.key, r.level, band == kCritical});
            already = band;
        }
        told[r.key] = already;
    }
    m_told = std::move(told);
    return notices;
}

}  // namespace app
