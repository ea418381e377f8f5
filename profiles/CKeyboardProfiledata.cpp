#include "profiles/CKeyboardProfiledata.h"

#include "profiles/JsonAccess.h"

#include <algorithm>

using jsonx::element;
using jsonx::elementRef;
using jsonx::member;
using jsonx::memberRef;
using jsonx::toU16;
using jsonx::toU8;

namespace {
// Positions of a group are key positions; more than this is no keyboard.
constexpr int kMaxPositions = 4096;
constexpr int kMaxGroup = 255;

// Sets the four channels and keeps whatever else the position holds.
void writeColour(Json::Value& position, const LightColor& c)
{
    memberRef(position, "Red") = c.red;
    memberRef(position, "Green") = c.green;
    memberRef(position, "Blue") = c.blue;
    memberRef(position, "Alpha") = c.alpha;
}
}  // namespace

KeyboardSystemStages CKeyboardProfiledata::GetSystemStages()
{
    KeyboardSystemStages s;
    const Json::Value& v = member(m_active, "SystemStages");
    if (v.isObject()) {
        s.repeat = toU16(member(v, "Repeat"));
        s.repeatDelay = toU16(member(v, "RepeatDelay"));
        s.key6Flag = toU16(member(v, "Key6Flag"));
        s.pollingRate = toU16(member(v, "PollingRate"));
        s.wFlag = toU16(member(v, "WFlag"));
        s.winFlag = toU16(member(v, "WinFlag"));
    }
    m_systemStages = s;
    return s;
}

void CKeyboardProfiledata::SetSystemStages(const KeyboardSystemStages& s)
{
    m_systemStages = s;
    Json::Value& v = memberRef(activeEntry(), "SystemStages");
    memberRef(v, "Repeat") = s.repeat;
    memberRef(v, "RepeatDelay") = s.repeatDelay;
    memberRef(v, "Key6Flag") = s.key6Flag;
    memberRef(v, "PollingRate") = s.pollingRate;
    memberRef(v, "WFlag") = s.wFlag;
    memberRef(v, "WinFlag") = s.winFlag;
}

std::vector<LightColor> CKeyboardProfiledata::GetCustomLightColors(int group, int count)
{
    std::vector<LightColor> colours;
    if (count <= 0) {
        m_customColours = colours;
        return colours;
    }
    count = std::min(count, kMaxPositions);
    colours.resize(size_t(count));
    if (group < 0 || group > kMaxGroup) {
        m_customColours = colours;
        return colours;
    }
    Json::Value& groups =
        memberRef(memberRef(activeEntry(), "CustomLightMode"), "LightColorInfo");
    Json::Value& positions = elementRef(groups, Json::ArrayIndex(group));
    for (int j = 0; j < count; ++j) {
        const Json::Value& p = element(positions, Json::ArrayIndex(j));
        if (p.isNull()) {  // a missing group or position is created as zeros
            writeColour(elementRef(positions, Json::ArrayIndex(j)), LightColor{});
            continue;
        }
        colours[size_t(j)] = {toU8(member(p, "Red")), toU8(member(p, "Green")),
                              toU8(member(p, "Blue")), toU8(member(p, "Alpha"))};
    }
    m_customColours = colours;
    return colours;
}

void CKeyboardProfiledata::SetCustomLightColors(const std::vector<LightColor>& colours, int group)
{
    m_customColours = colours;
    if (group < 0 || group > kMaxGroup)
        return;
    Json::Value& positions = elementRef(
        memberRef(memberRef(activeEntry(), "CustomLightMode"), "LightColorInfo"),
        Json::ArrayIndex(group));
    for (size_t j = 0; j < colours.size(); ++j)
        writeColour(elementRef(positions, Json::ArrayIndex(j)), colours[j]);
}

void CKeyboardProfiledata::SetCustomLightGroup(int group)
{
    m_customGroup = group;
    memberRef(memberRef(activeEntry(), "CustomLightMode"), "CustomLightModeGroupIndex") = group;
}
