#include "sim/AudioChip.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace sim {

namespace {
// Microphone gain and side-tone level ranges in decibels, and their steps.
constexpr double kMicMinDb = -16.0, kMicMaxDb = 30.0, kMicStepDb = 0.5;
constexpr double kSideMinDb = -40.0, kSideMaxDb = 0.0, kSideStepDb = 1.0;
// The feature words: field 0 of the capture device has bit 0x20000 when the voice changer is
// there; fields 4 and 6 tell the equaliser bands and surround modes.
constexpr char kOutputFeatures[] = "65536,0,0,0,10,0,3";
constexpr char kInputFeatures[] = "131072,0,0,0,0,0,1";

double dbOf(double scalar, double min, double max) { return min + scalar * (max - min); }
double scalarOf(double db, double min, double max) { return (db - min) / (max - min); }
}  // namespace

AudioChip::AudioChip()
{
    auto flag = [](double v) { return Property{v, 0, 1}; };
    auto number = [](double v, double min, double max) { return Property{v, min, max, false, false}; };
    auto fixed = [](double v) { return Property{v, v, v, true, false}; };

    m_output["GetSupportFeature"] = Property{0, 0, 0, true, true, kOutputFeatures};
    m_output["Enable_EQ_GFX"] = flag(0);
    for (int b = 1; b <= 10; ++b)
        m_output["EQ_Slider" + std::to_string(b)] = Property{0, -20, 20};
    m_output["Enable_RFX_GFX"] = flag(0);
    m_output["RFX_ENVIRONMENT"] = Property{0, 0, 25};
    m_output["RFX_ROOMSIZE"] = Property{0, 0, 100};
    m_output["VirtualSurroundEffectControl"] = flag(0);

    m_input["GetSupportFeature"] = Property{0, 0, 0, true, true, kInputFeatures};
    m_input["GetMaxVol"] = fixed(kMicMaxDb);
    m_input["GetMinVol"] = fixed(kMicMinDb);
    m_input["GetVolStep"] = fixed(kMicStepDb);
    m_input["VolumeScalarControl"] = number(0.8, 0, 1);
    m_input["VolumeControl"] = number(dbOf(0.8, kMicMinDb, kMicMaxDb), kMicMinDb, kMicMaxDb);
    m_input["MuteControl"] = flag(0);
    m_input["GetAAMaxVol"] = fixed(kSideMaxDb);
    m_input["GetAAMinVol"] = fixed(kSideMinDb);
    m_input["GetAAVolStep"] = fixed(kSideStepDb);
    m_input["AAVolumeScalarControl"] = number(0.5, 0, 1);
    m_input["AAVolumeControl"] = number(dbOf(0.5, kSideMinDb, kSideMaxDb), kSideMinDb, kSideMaxDb);
    m_input["AAMuteControl"] = flag(1);
    m_input["Enable_MAGICVOICE"] = flag(0);
    m_input["MagicVoice_Selection"] = Property{0, 0, 3};
    m_input["Enable_MICECHO"] = flag(0);
    m_input["Enable_ENC_LFX"] = flag(0);
}

std::string AudioChip::format(const Property& p)
{
    if (!p.text.empty())
        return p.text;
    char buffer[64];
    if (p.integer)
        std::snprintf(buffer, sizeof buffer, "%lld", static_cast<long long>(std::llround(p.value)));
    else
        std::snprintf(buffer, sizeof buffer, "%.6g", p.value);
    return buffer;
}

std::optional<std::string> AudioChip::get(Endpoint endpoint, std::string_view name) const
{
    const auto& t = table(endpoint);
    const auto it = t.find(name);
    if (it == t.end())
        return std::nullopt;
    return format(it->second);
}

void AudioChip::setLinked(std::map<std::string, Property, std::less<>>& t, const std::string& scalar,
                          const std::string& decibels, const std::string& changed)
{
    Property& s = t[scalar];
    Property& db = t[decibels];
    if (changed == scalar)
        db.value = dbOf(s.value, db.min, db.max);
    else
        s.value = scalarOf(db.value, db.min, db.max);
}

bool AudioChip::set(Endpoint endpoint, std::string_view name, const std::string& value, std::string* error)
{
    auto fail = [&](std::string why) {
        if (error)
            *error = std::move(why);
        return false;
    };
    auto& t = table(endpoint);
    const auto it = t.find(name);
    if (it == t.end())
        return fail("the " + std::string(endpoint == Endpoint::Output ? "output" : "input") +
                    " device has no property \"" + std::string(name) + "\"");
    Property& p = it->second;
    if (p.readOnly)
        return fail("\"" + std::string(name) + "\" is read-only");
    char* end = nullptr;
    const double v = std::strtod(value.c_str(), &end);
    if (value.empty() || !end || *end != '\0' || !std::isfinite(v))
        return fail("\"" + value + "\" is not a number");
    const double rounded = p.integer ? std::round(v) : v;
    // A little slack for values that went through a 32-bit float on their way here.
    if (rounded < p.min - 1e-6 || rounded > p.max + 1e-6)
        return fail("\"" + std::string(name) + "\" takes " + format(Property{p.min, 0, 0, false, p.integer}) +
                    " to " + format(Property{p.max, 0, 0, false, p.integer}));
    p.value = std::min(std::max(rounded, p.min), p.max);
    const std::string key(name);
    if (key == "VolumeScalarControl" || key == "VolumeControl")
        setLinked(t, "VolumeScalarControl", "VolumeControl", key);
    else if (key == "AAVolumeScalarControl" || key == "AAVolumeControl")
        setLinked(t, "AAVolumeScalarControl", "AAVolumeControl", key);
    return true;
}

bool AudioChip::setFeatures(Endpoint endpoint, const std::string& text)
{
    size_t commas = 0;
    for (char c : text)
        commas += c == ',';
    if (commas < 6)
        return false;
    table(endpoint)["GetSupportFeature"].text = text;
    return true;
}

Json::Value AudioChip::dump() const
{
    Json::Value v(Json::objectValue);
    for (Endpoint e : {Endpoint::Output, Endpoint::Input}) {
        Json::Value props(Json::objectValue);
        for (const auto& [name, p] : table(e))
            props[name] = format(p);
        v[e == Endpoint::Output ? "output" : "input"] = props;
    }
    return v;
}

Json::Value AudioChip::records()
{
    Json::Value list(Json::arrayValue);
    for (const Record& r : {kOutputRecord, kInputRecord}) {
        Json::Value e(Json::objectValue);
        e["endpoint"] = r.endpoint == Endpoint::Output ? "output" : "input";
        e["kind"] = r.endpoint == Endpoint::Output ? 0 : 1;
        e["id"] = r.id;
        e["type"] = r.type;
        e["flag"] = r.flag;
        list.append(e);
    }
    return list;
}

std::optional<AudioChip::Endpoint> AudioChip::parseEndpoint(std::string_view text)
{
    if (text == "output")
        return Endpoint::Output;
    if (text == "input")
        return Endpoint::Input;
    return std::nullopt;
}

}  // namespace sim
