#include "profiles/CHs6533Profiledata.h"

#include "profiles/JsonAccess.h"

#include <algorithm>

using jsonx::element;
using jsonx::elementRef;
using jsonx::member;
using jsonx::memberRef;
using jsonx::toI32;

namespace {
constexpr int kMaxSlot = 255;

// The array index a preset number uses, or -1 for the custom preset.
int presetIndex(int preset)
{
    const auto n = unsigned(preset);
    if (n == CHs6533Profiledata::kCustomEqPreset)
        return -1;
    if (n == 0 || n > CHs6533Profiledata::kCustomEqPreset)
        return 1;
    return int(n);
}

std::vector<int> readBands(Json::Value& curves, int index)
{
    std::vector<int> values;
    Json::Value& bands = elementRef(curves, Json::ArrayIndex(index));
    for (int b = 0; b < CHs6533Profiledata::kEqBands; ++b) {
        const Json::Value& value = member(element(bands, Json::ArrayIndex(b)), "value");
        if (value.isNumeric() || value.isBool()) {
            values.push_back(toI32(value));
        } else {
            // A missing band is created, so that what the panel shows is what the file holds.
            memberRef(elementRef(bands, Json::ArrayIndex(b)), "value") = 0;
            values.push_back(0);
        }
    }
    return values;
}

void writeBands(Json::Value& curves, int index, const std::vector<int>& values)
{
    Json::Value& bands = elementRef(curves, Json::ArrayIndex(index));
    const size_t n = std::min(values.size(), size_t(CHs6533Profiledata::kEqBands));
    for (size_t b = 0; b < n; ++b)
        memberRef(elementRef(bands, Json::ArrayIndex(b)), "value") = values[b];
}
}  // namespace

HeadsetSystemSetStages CHs6533Profiledata::GetSystemSetStages()
{
    HeadsetSystemSetStages s;
    const Json::Value& v = member(m_active, "SystemSetStages");
    if (v.isObject()) {
        s.magicEnable = toI32(member(v, "MagicEnable"));
        s.magicType = toI32(member(v, "MagicType"));
        s.eqType = toI32(member(v, "EqType"));
        s.customEqSelectIndex = toI32(member(v, "CustomEqSeletIndex"));
        s.micInSelect = toI32(member(v, "MicInSelect"));
        s.micInValue = toI32(member(v, "MicInValue"));
        s.micMonitorSelect = toI32(member(v, "MicMoniterSelect"));
        s.micMonitorValue = toI32(member(v, "MicMoniterValue"));
    }
    m_setStages = s;
    return s;
}

bool CHs6533Profiledata::HasSystemSetStages() const
{
    return member(m_active, "SystemSetStages").isObject();
}

void CHs6533Profiledata::SetSystemSetStages(const HeadsetSystemSetStages& s)
{
    m_setStages = s;
    Json::Value& v = memberRef(activeEntry(), "SystemSetStages");
    memberRef(v, "MagicEnable") = s.magicEnable;
    memberRef(v, "MagicType") = s.magicType;
    memberRef(v, "EqType") = s.eqType;
    memberRef(v, "CustomEqSeletIndex") = s.customEqSelectIndex;
    memberRef(v, "MicInSelect") = s.micInSelect;
    memberRef(v, "MicInValue") = s.micInValue;
    memberRef(v, "MicMoniterSelect") = s.micMonitorSelect;
    memberRef(v, "MicMoniterValue") = s.micMonitorValue;
}

std::vector<int> CHs6533Profiledata::GetEqValues(int preset)
{
    const int index = presetIndex(preset);
    if (index < 0)
        return {};
    return readBands(memberRef(activeEntry(), "EQHzValueInfo"), index);
}

void CHs6533Profiledata::SetEqValues(int preset, const std::vector<int>& values)
{
    const int index = presetIndex(preset);
    if (index < 0)
        return;
    writeBands(memberRef(activeEntry(), "EQHzValueInfo"), index, values);
}

std::vector<int> CHs6533Profiledata::GetCustomCurve() const
{
    const Json::Value& bands = element(member(m_active, "EQHzValueInfo"), Json::ArrayIndex(kCustomEqPreset));
    std::vector<int> values;
    for (int b = 0; b < kEqBands; ++b) {
        const Json::Value& value = member(element(bands, Json::ArrayIndex(b)), "value");
        if (!value.isNumeric() && !value.isBool())
            return {};
        values.push_back(toI32(value));
    }
    return values;
}

void CHs6533Profiledata::SetCustomCurve(const std::vector<int>& values)
{
    if (values.size() < size_t(kEqBands))
        return;
    writeBands(memberRef(activeEntry(), "EQHzValueInfo"), int(kCustomEqPreset), values);
}

QStringList CHs6533Profiledata::GetCustomEqNames() const
{
    QStringList names;
    const Json::Value& list = member(m_active, "CustomEQNameInfo");
    if (list.isArray()) {
        for (const Json::Value& e : list)
            names.append(Utf8ToWide(jsonx::toString(member(e, "Name"))));
    }
    return names;
}

void CHs6533Profiledata::SetCustomEqNames(const QStringList& names)
{
    Json::Value list;  // stays null for an empty list
    for (const QString& name : names) {
        Json::Value e(Json::objectValue);
        e["Name"] = WideToUtf8(name);
        list.append(e);
    }
    memberRef(activeEntry(), "CustomEQNameInfo") = list;
}

std::vector<int> CHs6533Profiledata::GetCustomEqValues(int slot)
{
    if (slot < 0 || slot > kMaxSlot)
        return std::vector<int>(kEqBands, 0);
    return readBands(memberRef(activeEntry(), "CustomEQHzValueInfo"), slot);
}

void CHs6533Profiledata::SetCustomEqValues(int slot, const std::vector<int>& values)
{
    if (slot < 0 || slot > kMaxSlot)
        return;
    writeBands(memberRef(activeEntry(), "CustomEQHzValueInfo"), slot, values);
}

void CHs6533Profiledata::RemoveCustomEqValues(int slot)
{
    Json::Value& curves = memberRef(activeEntry(), "CustomEQHzValueInfo");
    if (!curves.isArray() || slot < 0 || Json::ArrayIndex(slot) >= curves.size())
        return;
    Json::Value removed;
    curves.removeIndex(Json::ArrayIndex(slot), &removed);
}
