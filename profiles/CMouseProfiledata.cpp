#include "profiles/CMouseProfiledata.h"

#include "profiles/JsonAccess.h"

using jsonx::elementRef;
using jsonx::member;
using jsonx::memberRef;
using jsonx::toU16;
using jsonx::toU8;

std::vector<DpiStage> CMouseProfiledata::GetDpiStages()
{
    const Json::Value& v = member(m_active, "DPIStages");
    if (!v.isObject())
        return m_dpiStages;
    m_activeStage = jsonx::toI32(member(v, "StageActive"));
    const Json::Value& list = member(v, "StageDPIs");
    if (list.isArray()) {
        for (Json::ArrayIndex j = 0; j < list.size(); ++j) {
            const Json::Value& e = list[j];
            DpiStage s;
            s.active = toU8(member(e, "StageActive"));
            s.xy = toU8(member(e, "StageXY"));
            s.dpiX = toU16(member(e, "StageDPIX"));
            s.dpiY = toU16(member(e, "StageDPIY"));
            s.red = toU8(member(e, "StageColorR"));
            s.green = toU8(member(e, "StageColorG"));
            s.blue = toU8(member(e, "StageColorB"));
            if (j < m_dpiStages.size())
                m_dpiStages[j] = s;
            else
                m_dpiStages.push_back(s);
        }
    }
    return m_dpiStages;
}

void CMouseProfiledata::SetDpiStages(const std::vector<DpiStage>& stages)
{
    m_dpiStages = stages;
    Json::Value& list = memberRef(memberRef(activeEntry(), "DPIStages"), "StageDPIs");
    for (size_t i = 0; i < stages.size(); ++i) {
        Json::Value& e = elementRef(list, Json::ArrayIndex(i));
        const DpiStage& s = stages[i];
        memberRef(e, "StageActive") = s.active;
        memberRef(e, "StageColorB") = s.blue;
        memberRef(e, "StageColorG") = s.green;
        memberRef(e, "StageColorR") = s.red;
        memberRef(e, "StageXY") = s.xy;
        memberRef(e, "StageDPIX") = s.dpiX;
        memberRef(e, "StageDPIY") = s.dpiY;
    }
}

void CMouseProfiledata::SetActiveStage(int stage)
{
    m_activeStage = stage;
    memberRef(memberRef(activeEntry(), "DPIStages"), "StageActive") = stage;
}

MouseSystemStages CMouseProfiledata::GetSystemStages()
{
    MouseSystemStages s;
    const Json::Value& v = member(m_active, "SystemStages");
    if (v.isObject()) {
        s.doubleClickTime = toU16(member(v, "DoubleClickTime"));
        s.mouseSpeed = toU16(member(v, "MouseSpeed"));
        s.pointerPrecision = toU16(member(v, "PointerPrecision"));
        s.scrollPage = toU16(member(v, "ScorllPage"));
        s.wheelScrollLines = toU16(member(v, "WheelScorlllinse"));
        s.reportStage = toU16(member(member(m_active, "ReportStages"), "StageActive"));
    }
    m_systemStages = s;
    return s;
}

void CMouseProfiledata::SetSystemStages(const MouseSystemStages& s)
{
    m_systemStages = s;
    Json::Value& v = memberRef(activeEntry(), "SystemStages");
    memberRef(v, "DoubleClickTime") = s.doubleClickTime;
    memberRef(v, "MouseSpeed") = s.mouseSpeed;
    memberRef(v, "PointerPrecision") = s.pointerPrecision;
    memberRef(v, "ScorllPage") = s.scrollPage;
    memberRef(v, "WheelScorlllinse") = s.wheelScrollLines;
    memberRef(memberRef(activeEntry(), "ReportStages"), "StageActive") = s.reportStage;
}

std::vector<CorrectPreset> CMouseProfiledata::GetCorrectInfo()
{
    std::vector<CorrectPreset> presets;
    const Json::Value& list = member(m_active, "CorrectInfo");
    if (list.isArray()) {
        for (const Json::Value& e : list) {
            CorrectPreset p;
            p.pixThresh = toU8(member(e, "CorrectPixThresh"));
            p.minSq = toU8(member(e, "CorrectMinSq"));
            p.select = toU8(member(e, "CorrectSelect"));
            p.name = Utf8ToWide(jsonx::toString(member(e, "CorrectName")));
            presets.push_back(p);
        }
    }
    m_correctPresets = presets;
    return presets;
}
