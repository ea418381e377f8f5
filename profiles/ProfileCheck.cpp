#include "profiles/ProfileCheck.h"

#include <QStringList>

#include <algorithm>
#include <iterator>
#include <string>
#include <limits>

namespace profilecheck {

namespace {

struct Range {
    const char* key;
    int64_t lowest;
    int64_t highest;
};

constexpr int64_t kByte = 255;

// The lighting record every device keeps; "SelectItem" and "OldLedmode" are limited further by
// the model's mode count.
constexpr Range kLight[] = {
    {"SelectItem", 0, kByte}, {"Light", 0, 4},   {"Speed", 0, 4},       {"Fx", 0, 1},
    {"MultiColor", 0, 1},     {"Red", 0, kByte}, {"Green", 0, kByte},   {"Blue", 0, kByte},
    {"ZZCCLedMode", 0, kByte}, {"CustomGroup", 0, kByte}, {"OldLedmode", 0, kByte},
};
constexpr Range kKeyboardSystem[] = {
    {"RepeatDelay", 0, 3}, {"Key6Flag", 0, 1}, {"PollingRate", 0, 3}, {"WFlag", 0, 1}, {"WinFlag", 0, 1},
};
constexpr Range kKeyboardAudio[] = {
    {"AudioMode", 0, 6},      {"BkColorR", 0, kByte},     {"BkColorG", 0, kByte}, {"BkColorB", 0, kByte},
    {"FgColorR", 0, kByte},   {"FgColorG", 0, kByte},     {"FgColorB", 0, kByte}, {"7ColorFlags", 0, 1},
    {"ColorTypeFlags", 0, 1},
};
constexpr Range kMouseReport[] = {{"StageActive", 0, 3}};
constexpr Range kMouseStages[] = {{"StageActive", 0, 4}};
constexpr Range kMouseStage[] = {
    {"StageActive", 0, 1},     {"StageXY", 0, kByte},     {"StageDPIX", 0, 0xFFFF}, {"StageDPIY", 0, 0xFFFF},
    {"StageColorR", 0, kByte}, {"StageColorG", 0, kByte}, {"StageColorB", 0, kByte},
};
constexpr Range kMouseCorrect[] = {{"CorrectPixThresh", 0, kByte}, {"CorrectMinSq", 0, kByte}, {"CorrectSelect", 0, 1}};
constexpr Range kHeadsetSystem[] = {
    {"MagicEnable", 0, 1}, {"EqType", 0, 13}, {"MicInValue", 0, 100}, {"MicMoniterValue", 0, 100},
};

bool IsMouse(int kind) { return kind == 2 || kind == 6; }

QString Shown(const Json::Value& v)
{
    QString text = QString::fromStdString(v.toStyledString()).simplified();
    if (text.size() > 24)
        text = text.left(24) + QStringLiteral("…");
    return text;
}

bool IsInteger(const Json::Value& v)
{
    return v.isIntegral() && !v.isBool();
}

int64_t IntegerOf(const Json::Value& v)
{
    // Beyond 64 bits counts as the far end of its sign.
    if (v.isUInt64() && !v.isInt64())
        return std::numeric_limits<int64_t>::max();
    if (v.isDouble()) {
        const double d = v.asDouble();
        if (d >= 9.2e18)
            return std::numeric_limits<int64_t>::max();
        if (d <= -9.2e18)
            return std::numeric_limits<int64_t>::min();
        return int64_t(d);
    }
    return v.asInt64();
}

class Checker {
public:
    explicit Checker(std::vector<Finding>& out) : m_out(out) {}

    // The members `ranges` of the object `obj` (at `path`), with `fallback` the same object of
    // the fallback entry.
    template <size_t N>
    void Object(Json::Value& obj, const Json::Value& fallback, const QString& path, const Range (&ranges)[N],
                int64_t highestMode = -1)
    {
        for (const Range& r : ranges) {
            if (!obj.isMember(r.key))
                continue;
            int64_t highest = r.highest;
            if (highestMode >= 0 && (std::string(r.key) == "SelectItem" || std::string(r.key) == "OldLedmode"))
                highest = std::min(highest, highestMode);
            Json::Value& v = obj[r.key];
            const QString field = path + QLatin1Char('.') + QLatin1String(r.key);
            const Json::Value* fb = fallback.isObject() && fallback.isMember(r.key) ? &fallback[r.key] : nullptr;
            Value(v, fb, field, r.lowest, highest);
        }
    }

    void Value(Json::Value& v, const Json::Value* fallback, const QString& field, int64_t lowest, int64_t highest)
    {
        Finding f{field, Shown(v), lowest, highest, false, {}};
        if (!IsInteger(v)) {
            f.wrongType = true;
            if (fallback && IsInteger(*fallback) && IntegerOf(*fallback) >= lowest && IntegerOf(*fallback) <= highest)
                v = *fallback;
            else
                v = Json::Value(Json::Int64(lowest));
        } else {
            const int64_t n = IntegerOf(v);
            if (n >= lowest && n <= highest)
                return;
            v = Json::Value(Json::Int64(std::clamp(n, lowest, highest)));
        }
        f.correctedTo = Shown(v);
        m_out.push_back(std::move(f));
    }

    // Member `key` of `entry` as a container of `type`; false when it is missing (or was of the
    // wrong type and could not be replaced by the fallback's).
    bool Container(Json::Value& entry, const Json::Value& fallback, const char* key, Json::ValueType type)
    {
        if (!entry.isMember(key))
            return false;
        Json::Value& v = entry[key];
        if (v.type() == type)
            return true;
        Finding f{QLatin1String(key), Shown(v), 0, 0, true, {}};
        const bool replaced = fallback.isObject() && fallback.isMember(key) && fallback[key].type() == type;
        if (replaced)
            v = fallback[key];
        else
            entry.removeMember(key);
        f.correctedTo = replaced ? Shown(entry[key]) : QString();
        m_out.push_back(std::move(f));
        return replaced;
    }

    std::vector<Finding>& m_out;
};

const Json::Value& Member(const Json::Value& v, const char* key)
{
    static const Json::Value null;
    return v.isObject() && v.isMember(key) ? v[key] : null;
}

}  // namespace

std::vector<Finding> CheckDeviceEntry(Json::Value& entry, const Limits& limits, const Json::Value& fallback)
{
    std::vector<Finding> out;
    if (!entry.isObject())
        return out;
    Checker c(out);
    const int64_t highestMode = limits.lightModes > 0 ? limits.lightModes - 1 : -1;

    if (c.Container(entry, fallback, "LightInfo", Json::objectValue))
        c.Object(entry["LightInfo"], Member(fallback, "LightInfo"), QStringLiteral("LightInfo"), kLight, highestMode);

    if (limits.deviceKind == 1) {
        if (c.Container(entry, fallback, "SystemStages", Json::objectValue))
            c.Object(entry["SystemStages"], Member(fallback, "SystemStages"), QStringLiteral("SystemStages"),
                     kKeyboardSystem);
        if (c.Container(entry, fallback, "AudioLightInfo", Json::objectValue))
            c.Object(entry["AudioLightInfo"], Member(fallback, "AudioLightInfo"), QStringLiteral("AudioLightInfo"),
                     kKeyboardAudio);
    }
    if (IsMouse(limits.deviceKind)) {
        if (c.Container(entry, fallback, "ReportStages", Json::objectValue))
            c.Object(entry["ReportStages"], Member(fallback, "ReportStages"), QStringLiteral("ReportStages"),
                     kMouseReport);
        if (c.Container(entry, fallback, "DPIStages", Json::objectValue)) {
            Json::Value& stages = entry["DPIStages"];
            const Json::Value& fbStages = Member(fallback, "DPIStages");
            c.Object(stages, fbStages, QStringLiteral("DPIStages"), kMouseStages);
            if (c.Container(stages, fbStages, "StageDPIs", Json::arrayValue)) {
                // The step index is limited by the sensor once it is known.
                Range stageRanges[std::size(kMouseStage)];
                std::copy(std::begin(kMouseStage), std::end(kMouseStage), stageRanges);
                for (Range& r : stageRanges) {
                    if (limits.highestDpiIndex > 0 && std::string(r.key).rfind("StageDPI", 0) == 0)
                        r.highest = limits.highestDpiIndex;
                }
                Json::Value& list = stages["StageDPIs"];
                const Json::Value& fbList = Member(fbStages, "StageDPIs");
                for (Json::ArrayIndex i = 0; i < list.size(); ++i) {
                    const QString path = QStringLiteral("DPIStages.StageDPIs[%1]").arg(i);
                    const Json::Value& fbStage = fbList.isArray() && i < fbList.size() ? fbList[i] : Json::Value::nullSingleton();
                    if (!list[i].isObject()) {
                        out.push_back({path, Shown(list[i]), 0, 0, true, {}});
                        list[i] = fbStage.isObject() ? fbStage : Json::Value(Json::objectValue);
                        out.back().correctedTo = Shown(list[i]);
                    }
                    c.Object(list[i], fbStage, path, stageRanges);
                }
            }
        }
        if (c.Container(entry, fallback, "CorrectInfo", Json::arrayValue)) {
            Json::Value& list = entry["CorrectInfo"];
            for (Json::ArrayIndex i = 0; i < list.size(); ++i) {
                if (list[i].isObject())
                    c.Object(list[i], Json::Value(), QStringLiteral("CorrectInfo[%1]").arg(i), kMouseCorrect);
            }
        }
    }
    if (limits.deviceKind == 7) {
        if (c.Container(entry, fallback, "SystemSetStages", Json::objectValue))
            c.Object(entry["SystemSetStages"], Member(fallback, "SystemSetStages"), QStringLiteral("SystemSetStages"),
                     kHeadsetSystem);
    }
    return out;
}

bool AnyWrongType(const std::vector<Finding>& findings)
{
    return std::any_of(findings.begin(), findings.end(), [](const Finding& f) { return f.wrongType; });
}

QString Describe(const std::vector<Finding>& findings, int most, bool onlyWrongType)
{
    QStringList lines;
    int listed = 0;
    for (const Finding& f : findings) {
        if (onlyWrongType && !f.wrongType)
            continue;
        if (listed++ == most) {
            lines << QStringLiteral("…");
            break;
        }
        if (f.wrongType && f.highest == 0 && f.lowest == 0)
            lines << QStringLiteral("%1: %2").arg(f.field, f.value);
        else
            lines << QStringLiteral("%1: %2 (%3 – %4)").arg(f.field, f.value).arg(f.lowest).arg(f.highest);
    }
    return lines.join(QLatin1Char('\n'));
}

}  // namespace profilecheck
