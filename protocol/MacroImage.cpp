#include "protocol/MacroImage.h"

#include <algorithm>
#include <cstdlib>
#include <limits>
#include <new>
#include <string>

namespace protocol {
namespace {

// jsoncpp throws on mistyped access, so every member is tested before it is converted.
// A whole number from a JSON integer or from decimal text; with `leadingOnly`, text counts by
// its leading number ("15ms" is 15), else the whole text must be the number. Huge values stay
// huge (held at the 64-bit limits) so range checks see them.
std::optional<int64_t> wholeNumber(const Json::Value& value, bool leadingOnly)
{
    if (value.isInt64())
        return value.asInt64();
    if (value.isUInt64())
        return std::numeric_limits<int64_t>::max();
    if (!value.isString())
        return std::nullopt;
    const std::string text = value.asString();
    size_t i = 0;
    while (i < text.size() && (text[i] == ' ' || text[i] == '\t'))
        ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '-' || text[i] == '+'))
        negative = text[i++] == '-';
    const size_t digits = i;
    int64_t number = 0;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i)
        number = number < 1000000000000LL ? number * 10 + (text[i] - '0') : number;
    if (i == digits || (!leadingOnly && i != text.size()))
        return std::nullopt;
    return negative ? -number : number;
}

void putLe16(std::vector<uint8_t>& image, size_t at, uint32_t value)
{
    image[at] = static_cast<uint8_t>(value & 0xFF);
    image[at + 1] = static_cast<uint8_t>((value >> 8) & 0xFF);
}

}  // namespace

const Json::Value& jsonMember(const Json::Value& object, const char* key)
{
    static const Json::Value null;
    if (!object.isObject())
        return null;
    const Json::Value* found = object.find(key, key + std::char_traits<char>::length(key));
    return found ? *found : null;
}

std::optional<MacroEvent> macroEventFromJson(const Json::Value& event)
{
    if (!event.isObject())
        return std::nullopt;
    const auto delay = wholeNumber(jsonMember(event, "Delay"), true);
    const auto type = wholeNumber(jsonMember(event, "Type"), false);
    const auto button = wholeNumber(jsonMember(event, "Button"), false);
    if (!delay || !type || !button || *delay < 0 || *type < 0 || *type > 0x7F || *button < 0 || *button > 0xFF)
        return std::nullopt;
    MacroEvent out;
    out.delay = static_cast<uint16_t>(std::min<int64_t>(*delay, kMaxMacroDelay));
    const Json::Value& action = jsonMember(event, "Action");
    const bool down = action.isString() && action.asString() == "down";
    out.typeAndAction = static_cast<uint8_t>(*type | (down ? 0x80 : 0x00));
    out.button = static_cast<uint8_t>(*button);
    return out;
}

MacroRecord macroRecordFromJson(const Json::Value& events)
{
    MacroRecord record;
    if (!events.isArray())
        return record;
    record.reserve(std::min<Json::ArrayIndex>(events.size(), kMaxMacroEvents));
    for (Json::ArrayIndex i = 0; i < events.size(); ++i)
        if (const auto e = macroEventFromJson(events[i]))
            record.push_back(*e);
    return record;
}

uint32_t macroImageLength(const std::vector<MacroRecord>& records)
{
    uint64_t total = kMacroHeaderLength + 6ull * records.size();
    for (const MacroRecord& record : records)
        total += 4ull * record.size();
    return total > std::numeric_limits<uint32_t>::max() ? std::numeric_limits<uint32_t>::max()
                                                        : static_cast<uint32_t>(total);
}

std::optional<std::vector<uint8_t>> buildMacroImage(const std::vector<MacroRecord>& records)
{
    const uint32_t total = macroImageLength(records);
    // Length, count, offsets and event counts are 16-bit fields.
    if (total > 0xFFFF)
        return std::nullopt;
    std::vector<uint8_t> image;
    try {
        image.assign(total, 0);
    } catch (const std::bad_alloc&) {
        return std::nullopt;
    }
    putLe16(image, 0, kMacroImageMagic);
    putLe16(image, 2, total);
    putLe16(image, 4, static_cast<uint32_t>(records.size()));
    size_t recordAt = kMacroHeaderLength + 2 * records.size();
    for (size_t m = 0; m < records.size(); ++m) {
        putLe16(image, kMacroHeaderLength + 2 * m, static_cast<uint32_t>(recordAt));
        putLe16(image, recordAt, static_cast<uint32_t>(records[m].size()));
        size_t at = recordAt + 4;
        for (const MacroEvent& event : records[m]) {
            putLe16(image, at, event.delay);
            image[at + 2] = event.typeAndAction;
            image[at + 3] = event.button;
            at += 4;
        }
        recordAt = at;
    }
    return image;
}

int macroExcessCount(uint32_t imageLength, uint32_t capacityBytes)
{
    if (imageLength <= capacityBytes)
        return 0;
    return static_cast<int>((imageLength - capacityBytes) / 4 + 1);
}

}  // namespace protocol
