#pragma once

#include "profiles/CBasicProfiledata.h"

#include <QStringList>

#include <vector>

// The headset's profile object: the base records plus "SystemSetStages" and the equaliser
// curves: the built-in presets ("EQHzValueInfo"[1..12]) and the named custom presets
// ("CustomEQHzValueInfo", "CustomEQNameInfo").
class CHs6533Profiledata : public CBasicProfiledata {
public:
    static constexpr int kEqBands = 10;
    // The custom preset number: its bands live under "CustomEQHzValueInfo".
    static constexpr unsigned kCustomEqPreset = 13;

    // All zero when the entry or "SystemSetStages" is missing.
    HeadsetSystemSetStages GetSystemSetStages();
    // Whether the entry holds "SystemSetStages" at all (a profile that never stored its sound).
    bool HasSystemSetStages() const;
    void SetSystemSetStages(const HeadsetSystemSetStages& stages);

    // The ten bands of preset n (1..12; 0 and anything above 13 mean 1). Missing bands are
    // created in the entry as zeros. Preset 13 (custom) gives an empty list and changes nothing.
    std::vector<int> GetEqValues(int preset);
    // Writes up to ten bands of preset n; preset 13 writes nothing.
    void SetEqValues(int preset, const std::vector<int>& values);
    // The curve the custom preset plays now (bands moved by hand, or the named preset chosen),
    // kept as "EQHzValueInfo"[13]; empty when the entry has none stored.
    std::vector<int> GetCustomCurve() const;
    void SetCustomCurve(const std::vector<int>& values);

    QStringList GetCustomEqNames() const;
    // Replaces "CustomEQNameInfo"; an empty list stores null.
    void SetCustomEqNames(const QStringList& names);
    // The ten bands of custom slot s (0..255; any other slot reads as zeros and changes
    // nothing). Missing bands are created as zeros.
    std::vector<int> GetCustomEqValues(int slot);
    void SetCustomEqValues(int slot, const std::vector<int>& values);
    // Removes custom slot s: the slots after it move down one place, so each named preset keeps
    // its own bands when a name before it is deleted. Nothing happens for a slot not stored.
    void RemoveCustomEqValues(int slot);

private:
    HeadsetSystemSetStages m_setStages;
};
