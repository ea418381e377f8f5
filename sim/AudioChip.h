#pragma once

#include <json/value.h>

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>

namespace sim {

// The simulated headset's audio chip: two endpoints (the playback device the equaliser, surround
// and side tone act on, and the capture device with the microphone and the voice changer), each
// with the named properties a configuration library reads and writes. Values are kept as the
// decimal text a read returns. Not thread-safe: the simulator's thread owns it.
class AudioChip {
public:
    enum class Endpoint : uint8_t { Output, Input };

    // Device records as the library lists them: identifier, type, flag.
    struct Record {
        uint32_t id;
        uint32_t type;
        uint32_t flag;
        Endpoint endpoint;
    };
    static constexpr Record kOutputRecord{0x65330001, 1, 1, Endpoint::Output};
    static constexpr Record kInputRecord{0x65330002, 2, 1, Endpoint::Input};

    AudioChip();

    // The current value of `name` on `endpoint`; nullopt for a property the endpoint lacks.
    std::optional<std::string> get(Endpoint endpoint, std::string_view name) const;
    // Sets `name` from decimal text; false (with the reason) for a property the endpoint lacks,
    // a read-only one, or a value that is not a number in the property's range. The microphone
    // and side-tone levels keep their scalar and decibel forms in step.
    bool set(Endpoint endpoint, std::string_view name, const std::string& value, std::string* error);

    // Replaces the feature list `endpoint` reports ("GetSupportFeature"), standing for a machine
    // that offers fewer sound features; false for a list of fewer than seven fields.
    bool setFeatures(Endpoint endpoint, const std::string& text);

    // {"output": {name: value, ...}, "input": {...}}
    Json::Value dump() const;
    // The device records: [{"endpoint":"output","id":..,"type":..,"flag":..}, ...]
    static Json::Value records();
    static std::optional<Endpoint> parseEndpoint(std::string_view text);

private:
    struct Property {
        double value = 0;
        double min = 0, max = 0;
        bool readOnly = false;
        bool integer = true;
        std::string text;  // a fixed text answer (the feature list); empty for numbers
    };
    std::map<std::string, Property, std::less<>>& table(Endpoint e) { return e == Endpoint::Output ? m_output : m_input; }
    const std::map<std::string, Property, std::less<>>& table(Endpoint e) const
    {
        return e == Endpoint::Output ? m_output : m_input;
    }
    static std::string format(const Property& p);
    void setLinked(std::map<std::string, Property, std::less<>>& t, const std::string& scalar,
                   const std::string& decibels, const std::string& changed);

    std::map<std::string, Property, std::less<>> m_output, m_input;
};

}  // namespace sim
