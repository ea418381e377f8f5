#pragma once

#include <QString>
#include <json/value.h>

#include <cstdint>
#include <vector>

// The ranges of a profile's device entry ("Device"[index]): every value that reaches a device,
// or that the pages show as a choice, with the values it may take. A profile file is edited by
// hand or imported from elsewhere, so a value out of range (a polling choice of 77, a DPI step
// of 0xffff) or of another type (a text where a number belongs) must never reach the device as
// whatever its low bits happen to be.
namespace profilecheck {

// What the device itself accepts, where it depends on the device; 0 where it is not known
// (the field's own range then holds).
struct Limits {
    int deviceKind = 0;       // 1 keyboard, 2 and 6 mouse, 3 mouse pad, 7 headset
    int lightModes = 0;       // lighting modes of the model ("SelectItem" below this)
    int highestDpiIndex = 0;  // the mouse sensor's highest DPI step index
};

struct Finding {
    QString field;   // path in the device entry: "LightInfo.Light", "DPIStages.StageDPIs[2].StageDPIX"
    QString value;   // as the file holds it (cut short when long)
    int64_t lowest = 0;
    int64_t highest = 0;
    bool wrongType = false;  // not an integer (or, for a container, not an object or array)
    QString correctedTo;     // what the entry holds now
};

// Checks `entry` against the ranges of its kind and corrects it in place: a number out of range
// becomes the nearest one in range; a value of the wrong type becomes `fallback`'s value of the
// same field when that one is fit, else the lowest value (a container of the wrong type becomes
// `fallback`'s, or is removed). Members that are missing stay missing. Returns what was wrong,
// in document order.
std::vector<Finding> CheckDeviceEntry(Json::Value& entry, const Limits& limits,
                                      const Json::Value& fallback = Json::Value());

// Whether any finding is of the wrong type.
bool AnyWrongType(const std::vector<Finding>& findings);

// The findings as lines "field: value (lowest to highest)", at most `most` of them and a last
// line "…" when there are more. `onlyWrongType` lists only the wrong types.
QString Describe(const std::vector<Finding>& findings, int most = 8, bool onlyWrongType = false);

}  // namespace profilecheck
