#pragma once

#include <json/value.h>

#include <cstdint>
#include <string>

// Type-safe access to documents read from disk. jsoncpp throws when a value of one type is
// used as another (an index into an object, asInt on a string); files are user-editable, so
// every read here treats a member of an unexpected type as missing and every write first turns
// the container it writes into the right kind.
namespace jsonx {

// The member, or a null value when v is not an object or lacks it.
const Json::Value& member(const Json::Value& v, const char* key);
// Element i, or a null value when v is not an array or is shorter.
const Json::Value& element(const Json::Value& v, Json::ArrayIndex i);

// The member for writing; v becomes an object first when it is not one.
Json::Value& memberRef(Json::Value& v, const char* key);
// Element i for writing; v becomes an array first when it is not one (it grows as needed).
Json::Value& elementRef(Json::Value& v, Json::ArrayIndex i);

// Numbers and booleans as an integer; anything else reads as 0. Values beyond 64 bits keep
// their low bits the way an integer conversion would.
int64_t toInt(const Json::Value& v);
inline uint8_t toU8(const Json::Value& v) { return static_cast<uint8_t>(toInt(v) & 0xFF); }
inline uint16_t toU16(const Json::Value& v) { return static_cast<uint16_t>(toInt(v) & 0xFFFF); }
inline int32_t toI32(const Json::Value& v) { return static_cast<int32_t>(static_cast<uint32_t>(toInt(v))); }
// Non-zero numbers and true read as true.
bool toBool(const Json::Value& v);
// Strings as they stand; anything else reads as empty.
std::string toString(const Json::Value& v);

}  // namespace jsonx
