#pragma once

#include "profiles/CBasicProfiledata.h"

#include <vector>

// The keyboard's profile object: the base records plus "SystemStages" and the per-key colours
// of the custom colour groups ("CustomLightMode").
class CKeyboardProfiledata : public CBasicProfiledata {
public:
    // All zero when the entry or "SystemStages" is missing; each value cut to 16 bits.
    KeyboardSystemStages GetSystemStages();
    // Writes the six keys; other members of "SystemStages" survive.
    void SetSystemStages(const KeyboardSystemStages& stages);

    // Exactly count colours of the group. A missing group or position is created in the entry
    // as zeros, so the caller edits what it reads. A group outside 0..255 reads as zeros and
    // changes nothing; a negative count gives an empty list.
    std::vector<LightColor> GetCustomLightColors(int group, int count);
    void SetCustomLightColors(const std::vector<LightColor>& colours, int group);
    // Writes "CustomLightModeGroupIndex" (never read back).
    void SetCustomLightGroup(int group);

private:
    KeyboardSystemStages m_systemStages;
    std::vector<LightColor> m_customColours;
    int m_customGroup = 0;
};
