#pragma once

#include <QString>
#include <json/value.h>

#include <cstdint>
#include <string>
#include <vector>

// Reading a macro file ("<Guid>.mac") for the macro editor. Files can come from anywhere (import),
// so every member is checked for its type; what is not sound is left out or read as 0.
namespace macrofile {

// The event objects of the file's "Events", in order; elements that do not convert to an event
// the device can play (no object, a member missing or mistyped, a value out of its range) are
// left out, so they are never shown, saved or sent. Nothing when the document has no "Events"
// array.
std::vector<Json::Value> Events(const Json::Value& document);

// What a macro file holds before it is shown or imported.
struct Survey {
    size_t events = 0;     // elements of "Events"
    size_t leftOut = 0;    // elements that do not convert (see Events)
    size_t longDelays = 0; // delays above 65535 ms, held at 65535
    bool TooLong() const;  // more events than a macro may hold
};
Survey Inspect(const Json::Value& document);
// The events a macro may hold (what the largest macro memory takes).
size_t MaxEvents();
// An event's delay as shown: the leading decimal number of "Delay" (or an integer), 0 to 65535,
// anything above 65534 shown as 65535.
int DelayOf(const Json::Value& event);
// The leading decimal number of a text, as atoi reads it (0 when there is none).
int64_t LeadingNumber(const std::string& text);
// An integer member, 0 when missing or mistyped.
int IntOf(const Json::Value& event, const char* key);
bool IsDown(const Json::Value& event);
// The text id naming an event by its type and button, empty when none fits.
QString EventTextId(const Json::Value& event);

}  // namespace macrofile
