#include "editors/MacroFile.h"

#include "editors/KeyFunctionTables.h"
#include "protocol/MacroImage.h"

#include <algorithm>

namespace macrofile {

namespace {


}  // namespace

int64_t LeadingNumber(const std::string& text)
{
    size_t i = 0;
    while (i < text.size() && (text[i] == ' ' || text[i] == '\t'))
        ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '-' || text[i] == '+'))
        negative = text[i++] == '-';
    int64_t value = 0;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9' && value < 100000000; ++i)
        value = value * 10 + (text[i] - '0');
    return negative ? -value : value;
}

std::vector<Json::Value> Events(const Json::Value& document)
{
    std::vector<Json::Value> events;
    const Json::Value& list = protocol::jsonMember(document, "Events");
    if (!list.isArray())
        return events;
    if (list.size() > protocol::kMaxMacroEvents)
        return events;  // refused as a whole: see Inspect
    for (const Json::Value& e : list)
        if (protocol::macroEventFromJson(e))
            events.push_back(e);
    return events;
}

size_t MaxEvents()
{
    return protocol::kMaxMacroEvents;
}

bool Survey::TooLong() const
{
    return events > MaxEvents();
}

Survey Inspect(const Json::Value& document)
{
    Survey s;
    const Json::Value& list = protocol::jsonMember(document, "Events");
    if (!list.isArray())
        return s;
    s.events = list.size();
    if (s.TooLong())
        return s;
    for (const Json::Value& e : list) {
        if (!protocol::macroEventFromJson(e)) {
            ++s.leftOut;
            continue;
        }
        const Json::Value& d = protocol::jsonMember(e, "Delay");
        const int64_t delay = d.isString() ? LeadingNumber(d.asString()) : d.isInt64() ? d.asInt64() : protocol::kMaxMacroDelay + 1;
        if (delay > protocol::kMaxMacroDelay)
            ++s.longDelays;
    }
    return s;
}

int DelayOf(const Json::Value& event)
{
    const Json::Value& d = protocol::jsonMember(event, "Delay");
    int64_t v = 0;
    if (d.isString())
        v = LeadingNumber(d.asString());
    else if (d.isIntegral())
        v = d.isInt64() ? d.asInt64() : 65535;
    v = std::clamp<int64_t>(v, 0, 65535);
    return v > 65534 ? 65535 : int(v);
}

int IntOf(const Json::Value& event, const char* key)
{
    const Json::Value& v = protocol::jsonMember(event, key);
    if (!v.isIntegral())
        return 0;
    return v.isInt64() ? int(v.asInt64() & 0xFFFF) : int(v.asUInt64() & 0xFFFF);
}

bool IsDown(const Json::Value& event)
{
    const Json::Value& a = protocol::jsonMember(event, "Action");
    return a.isString() && a.asString() == "down";
}

QString EventTextId(const Json::Value& event)
{
    const int type = IntOf(event, "Type");
    const int button = IntOf(event, "Button");
    const auto keys = keyfn::KeyTable();
    const auto rows = keyfn::MouseActionTable();
    if (type == 10) {
        for (size_t i = 8; i < keys.size(); ++i)
            if (keys[i].type == 0x20 && keys[i].p1 == 0 && keys[i].p2 == button)
                return QString::fromLatin1(keys[i].textId);
    } else if (type == 9) {
        for (size_t i = 0; i < 8; ++i)
            if (keys[i].p1 == button)
                return QString::fromLatin1(keys[i].textId);
    } else if (type == 1) {
        for (size_t i = 0; i < 10; ++i)
            if (rows[i].bit == button)
                return QString::fromLatin1(rows[i].textId);
    } else if (type == 4 || type == 5) {
        const uint8_t byte = uint8_t(type | (IsDown(event) ? 0x80 : 0));
        for (size_t i = 10; i < rows.size(); ++i)
            if (rows[i].eventByte == byte)
                return QString::fromLatin1(rows[i].textId);
    }
    return {};
}

}  // namespace macrofile
