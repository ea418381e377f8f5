#include "profiles/JsonAccess.h"

namespace jsonx {

namespace {
const Json::Value& nullValue()
{
    static const Json::Value null;
    return null;
}
}  // namespace

const Json::Value& member(const Json::Value& v, const char* key)
{
    if (!v.isObject())
        return nullValue();
    const Json::Value* found = v.find(key, key + std::char_traits<char>::length(key));
    return found ? *found : nullValue();
}

const Json::Value& element(const Json::Value& v, Json::ArrayIndex i)
{
    if (!v.isArray() || i >= v.size())
        return nullValue();
    return v[i];
}

Json::Value& memberRef(Json::Value& v, const char* key)
{
    if (!v.isObject())
        v = Json::Value(Json::objectValue);
    return v[key];
}

Json::Value& elementRef(Json::Value& v, Json::ArrayIndex i)
{
    if (!v.isArray())
        v = Json::Value(Json::arrayValue);
    return v[i];
}

int64_t toInt(const Json::Value& v)
{
    switch (v.type()) {
    case Json::intValue:
        return v.asLargestInt();
    case Json::uintValue:
        return static_cast<int64_t>(v.asLargestUInt());
    case Json::booleanValue:
        return v.asBool() ? 1 : 0;
    case Json::realValue: {
        // Files hold integers; a real is cut towards zero, and one out of range reads as 0
        // rather than invoking an undefined conversion.
        const double d = v.asDouble();
        if (d > -9.2e18 && d < 9.2e18)
            return static_cast<int64_t>(d);
        return 0;
    }
    default:
        return 0;
    }
}

bool toBool(const Json::Value& v)
{
    if (v.type() == Json::realValue)
        return v.asDouble() != 0.0;
    return toInt(v) != 0;
}

std::string toString(const Json::Value& v)
{
    return v.isString() ? v.asString() : std::string();
}

}  // namespace jsonx
