#include "sdk/ConfBackend.h"
#include "sdk/HostAudio.h"
#include "sdk/HostEffects.h"

#include <alsa/asoundlib.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <mutex>

namespace osconf {

namespace {

constexpr char kHeadsetUsbId[] = "0c76:1630";
constexpr uint32_t kPlaybackType = 1, kCaptureType = 2;

// The sound processing done on the host (equaliser, voice changer, noise reduction, surround)
// has no mixer control. While the host applies it (PipeWire filter graphs, HostEffects) the
// library keeps its values for the life of the process and hands every change to the graphs;
// while it cannot, those properties answer OSCONF_ERR_UNSUPPORTED and the feature lists leave
// them out, so nothing looks live that the user would not hear.
struct KeptValues {
    std::mutex lock;
    std::map<std::string, std::string> output, input;
    KeptValues()
    {
        output = {{"Enable_EQ_GFX", "0"}, {"Enable_RFX_GFX", "0"}, {"RFX_ENVIRONMENT", "0"}, {"RFX_ROOMSIZE", "0"},
                  {"VirtualSurroundEffectControl", "0"}};
        for (int b = 1; b <= 10; ++b)
            output["EQ_Slider" + std::to_string(b)] = "0";
        input = {{"Enable_MAGICVOICE", "0"}, {"MagicVoice_Selection", "0"}, {"Enable_MICECHO", "0"},
                 {"Enable_ENC_LFX", "0"}};
    }
};

KeptValues& kept()
{
    static KeptValues values;
    return values;
}

bool isFeatureList(const std::string& name) { return name == "GetSupportFeature"; }

// Whether the host can apply the processing property `name` stands for.
bool hostApplies(const HostAudio& host, bool input, const std::string& name)
{
    if (!input) {
        if (name == "Enable_EQ_GFX" || name.rfind("EQ_Slider", 0) == 0)
            return EqualiserAvailable(host);
        return false;  // reverb and surround: no impulse responses ship with Tessel
    }
    if (name == "Enable_ENC_LFX")
        return false;  // noise reduction: no graph applies it yet
    return VoiceChangerAvailable(host);
}

std::string decimal(double v)
{
    char text[64];
    std::snprintf(text, sizeof text, "%.6g", v);
    return text;
}

// The card of the USB headset: its USB id in /proc/asound/cardN/usbid, or the card named by
// $TESSEL_OSCONF_ALSA_CARD (an index or an id such as "Headset").
int findCard()
{
    if (const char* named = std::getenv("TESSEL_OSCONF_ALSA_CARD"); named && *named)
        return snd_card_get_index(named);
    int card = -1;
    while (snd_card_next(&card) == 0 && card >= 0) {
        std::ifstream usbid("/proc/asound/card" + std::to_string(card) + "/usbid");
        std::string id;
        if (usbid >> id && id == kHeadsetUsbId)
            return card;
    }
    return -1;
}

// One open mixer of the card, closed with the object: every call opens it afresh, so a card that
// went away fails that call rather than leaving a stale handle behind.
class Mixer {
public:
    explicit Mixer(int card)
    {
        const std::string name = "hw:" + std::to_string(card);
        if (snd_mixer_open(&m_mixer, 0) < 0) {
            m_mixer = nullptr;
            return;
        }
        if (snd_mixer_attach(m_mixer, name.c_str()) < 0 || snd_mixer_selem_register(m_mixer, nullptr, nullptr) < 0 ||
            snd_mixer_load(m_mixer) < 0) {
            snd_mixer_close(m_mixer);
            m_mixer = nullptr;
        }
    }
    ~Mixer()
    {
        if (m_mixer)
            snd_mixer_close(m_mixer);
    }
    Mixer(const Mixer&) = delete;
    Mixer& operator=(const Mixer&) = delete;
    bool ok() const { return m_mixer != nullptr; }

    // The microphone's capture control, or the side tone (the microphone on the playback path).
    snd_mixer_elem_t* Find(bool sideTone) const
    {
        if (!m_mixer)
            return nullptr;
        static const char* const kCapture[] = {"Mic", "Headset", "Capture"};
        static const char* const kSide[] = {"Mic", "Sidetone", "Side Tone"};
        for (const char* wanted : sideTone ? kSide : kCapture) {
            for (snd_mixer_elem_t* e = snd_mixer_first_elem(m_mixer); e; e = snd_mixer_elem_next(e)) {
                if (std::string(snd_mixer_selem_get_name(e)) != wanted)
                    continue;
                if (sideTone ? snd_mixer_selem_has_playback_volume(e) : snd_mixer_selem_has_capture_volume(e))
                    return e;
            }
        }
        if (sideTone)
            return nullptr;
        for (snd_mixer_elem_t* e = snd_mixer_first_elem(m_mixer); e; e = snd_mixer_elem_next(e)) {
            if (snd_mixer_selem_has_capture_volume(e))
                return e;
        }
        return nullptr;
    }

private:
    snd_mixer_t* m_mixer = nullptr;
};

// Volume access to one direction of an element.
struct Level {
    snd_mixer_elem_t* elem;
    bool playback;

    bool Range(long& min, long& max) const
    {
        return (playback ? snd_mixer_selem_get_playback_volume_range(elem, &min, &max)
                         : snd_mixer_selem_get_capture_volume_range(elem, &min, &max)) == 0 &&
               max > min;
    }
    bool DbRange(double& min, double& max) const
    {
        long lo = 0, hi = 0;
        if ((playback ? snd_mixer_selem_get_playback_dB_range(elem, &lo, &hi)
                      : snd_mixer_selem_get_capture_dB_range(elem, &lo, &hi)) != 0 ||
            hi <= lo) {
            // No decibel scale: the raw steps stand in for it.
            if (!Range(lo, hi))
                return false;
            min = double(lo), max = double(hi);
            return true;
        }
        min = lo / 100.0, max = hi / 100.0;
        return true;
    }
    bool Raw(long& v) const
    {
        return (playback ? snd_mixer_selem_get_playback_volume(elem, SND_MIXER_SCHN_FRONT_LEFT, &v)
                         : snd_mixer_selem_get_capture_volume(elem, SND_MIXER_SCHN_FRONT_LEFT, &v)) == 0;
    }
    bool SetRaw(long v) const
    {
        return (playback ? snd_mixer_selem_set_playback_volume_all(elem, v)
                         : snd_mixer_selem_set_capture_volume_all(elem, v)) == 0;
    }
    bool HasSwitch() const
    {
        return playback ? snd_mixer_selem_has_playback_switch(elem) : snd_mixer_selem_has_capture_switch(elem);
    }
    bool Switch(int& on) const
    {
        return (playback ? snd_mixer_selem_get_playback_switch(elem, SND_MIXER_SCHN_FRONT_LEFT, &on)
                         : snd_mixer_selem_get_capture_switch(elem, SND_MIXER_SCHN_FRONT_LEFT, &on)) == 0;
    }
    bool SetSwitch(int on) const
    {
        return (playback ? snd_mixer_selem_set_playback_switch_all(elem, on)
                         : snd_mixer_selem_set_capture_switch_all(elem, on)) == 0;
    }
};

class AlsaConfBackend : public ConfBackend {
public:
    // What the host can apply is looked at once per device list (CreateDeviceList runs again
    // when sound cards come and go); the graphs are loaded then and follow the kept values.
    explicit AlsaConfBackend(int card) : m_card(card), m_host(DetectHostAudio())
    {
        if (!m_host.pipewire)
            return;
        HostEffects::Options options;
        options.alsaCard = card;
        options.voice = m_host.pitchShifter;
        m_effects = HostEffects::Start(options);
        m_host.effectGraph = m_effects && m_effects->EqualiserLoaded();
        m_host.voiceGraph = m_effects && m_effects->VoiceLoaded();
        ApplyEqualiser();
        ApplyVoice();
    }

    std::vector<OsConfDevice> Devices(int kind) override
    {
        Mixer mixer(m_card);
        if (!mixer.ok())
            return {};
        const uint32_t base = uint32_t(m_card) << 8;
        if (kind == 0)
            return {{base | 1, kPlaybackType, 0, 1}};
        if (mixer.Find(false))
            return {{base | 2, kCaptureType, 0, 1}};
        return {};
    }

    int Read(const OsConfDevice& device, const std::string& name, std::string& text) override
    {
        bool input = false;
        if (const int r = Check(device, input); r != OSCONF_OK)
            return r;
        if (isFeatureList(name)) {
            text = input ? CaptureFeatures(m_host) : PlaybackFeatures(m_host);
            return OSCONF_OK;
        }
        if (const auto* values = Kept(input, name)) {
            if (!hostApplies(m_host, input, name))
                return OSCONF_ERR_UNSUPPORTED;
            std::lock_guard lock(kept().lock);
            text = *values;
            return OSCONF_OK;
        }
        if (!input)
            return OSCONF_ERR_PROPERTY;
        bool sideTone = false;
        const std::string base = Strip(name, sideTone);
        Mixer mixer(m_card);
        if (!mixer.ok())
            return OSCONF_ERR_NO_DEVICE;
        snd_mixer_elem_t* elem = mixer.Find(sideTone);
        if (!IsMixerProperty(base))
            return OSCONF_ERR_PROPERTY;
        if (!elem)
            return OSCONF_ERR_PROPERTY;
        const Level level{elem, sideTone};
        long min = 0, max = 0, raw = 0;
        double dbMin = 0, dbMax = 0;
        if (!level.Range(min, max) || !level.Raw(raw) || !level.DbRange(dbMin, dbMax))
            return OSCONF_ERR_IO;
        const double fraction = double(raw - min) / double(max - min);
        if (base == "GetMaxVol") {
            text = decimal(dbMax);
        } else if (base == "GetMinVol") {
            text = decimal(dbMin);
        } else if (base == "GetVolStep") {
            text = decimal((dbMax - dbMin) / double(max - min));
        } else if (base == "VolumeControl") {
            text = decimal(dbMin + fraction * (dbMax - dbMin));
        } else if (base == "VolumeScalarControl") {
            text = decimal(fraction);
        } else {  // MuteControl
            int on = 1;
            if (!level.HasSwitch())
                return OSCONF_ERR_PROPERTY;
            if (!level.Switch(on))
                return OSCONF_ERR_IO;
            text = on ? "0" : "1";
        }
        return OSCONF_OK;
    }

    int Write(const OsConfDevice& device, const std::string& name, const std::string& value) override
    {
        bool input = false;
        if (const int r = Check(device, input); r != OSCONF_OK)
            return r;
        char* end = nullptr;
        const double v = std::strtod(value.c_str(), &end);
        if (value.empty() || *end != '\0' || !std::isfinite(v))
            return OSCONF_ERR_VALUE;
        if (isFeatureList(name))
            return OSCONF_ERR_READ_ONLY;
        if (auto* values = KeptRef(input, name)) {
            if (!hostApplies(m_host, input, name))
                return OSCONF_ERR_UNSUPPORTED;
            {
                std::lock_guard lock(kept().lock);
                *values = value;
            }
            if (input)
                ApplyVoice();
            else
                ApplyEqualiser();
            return OSCONF_OK;
        }
        if (!input)
            return OSCONF_ERR_PROPERTY;
        bool sideTone = false;
        const std::string base = Strip(name, sideTone);
        if (!IsMixerProperty(base))
            return OSCONF_ERR_PROPERTY;
        if (base.rfind("Get", 0) == 0)
            return OSCONF_ERR_READ_ONLY;
        Mixer mixer(m_card);
        if (!mixer.ok())
            return OSCONF_ERR_NO_DEVICE;
        snd_mixer_elem_t* elem = mixer.Find(sideTone);
        if (!elem)
            return OSCONF_ERR_PROPERTY;
        const Level level{elem, sideTone};
        long min = 0, max = 0;
        double dbMin = 0, dbMax = 0;
        if (!level.Range(min, max) || !level.DbRange(dbMin, dbMax))
            return OSCONF_ERR_IO;
        double fraction = 0;
        if (base == "VolumeScalarControl") {
            fraction = v;
        } else if (base == "VolumeControl") {
            fraction = (v - dbMin) / (dbMax - dbMin);
        } else {  // MuteControl
            if (!level.HasSwitch())
                return OSCONF_ERR_PROPERTY;
            if (v != 0 && v != 1)
                return OSCONF_ERR_VALUE;
            return level.SetSwitch(v == 0 ? 1 : 0) ? OSCONF_OK : OSCONF_ERR_IO;
        }
        if (fraction < -1e-6 || fraction > 1 + 1e-6)
            return OSCONF_ERR_VALUE;
        const long raw = min + std::lround(std::clamp(fraction, 0.0, 1.0) * double(max - min));
        return level.SetRaw(raw) ? OSCONF_OK : OSCONF_ERR_IO;
    }

private:
    static int KeptInt(const std::map<std::string, std::string>& values, const std::string& name)
    {
        const auto it = values.find(name);
        return it == values.end() ? 0 : int(std::lround(std::strtod(it->second.c_str(), nullptr)));
    }

    // The graphs get what the kept values say (the graph paces the updates itself).
    void ApplyEqualiser()
    {
        if (!m_effects || !m_host.effectGraph)
            return;
        std::array<int, 10> bands{};
        bool on = false;
        {
            std::lock_guard lock(kept().lock);
            on = KeptInt(kept().output, "Enable_EQ_GFX") != 0;
            for (int b = 0; b < 10; ++b)
                bands[size_t(b)] = KeptInt(kept().output, "EQ_Slider" + std::to_string(b + 1));
        }
        m_effects->SetEqualiser(on, bands);
    }

    void ApplyVoice()
    {
        if (!m_effects || !m_host.voiceGraph)
            return;
        bool on = false;
        int selection = 0;
        {
            std::lock_guard lock(kept().lock);
            on = KeptInt(kept().input, "Enable_MAGICVOICE") != 0;
            selection = KeptInt(kept().input, "MagicVoice_Selection");
        }
        m_effects->SetVoice(on, selection + 1);
    }

    int Check(const OsConfDevice& device, bool& input) const
    {
        if ((device.id >> 8) != uint32_t(m_card))
            return OSCONF_ERR_NO_DEVICE;
        if ((device.id & 0xFF) == 1)
            input = false;
        else if ((device.id & 0xFF) == 2)
            input = true;
        else
            return OSCONF_ERR_NO_DEVICE;
        return OSCONF_OK;
    }

    // "AAVolumeControl" is "VolumeControl" of the side tone; "GetAAMaxVol" is "GetMaxVol".
    static std::string Strip(const std::string& name, bool& sideTone)
    {
        sideTone = false;
        if (name.rfind("AA", 0) == 0) {
            sideTone = true;
            return name.substr(2);
        }
        if (name.rfind("GetAA", 0) == 0) {
            sideTone = true;
            return "Get" + name.substr(5);
        }
        return name;
    }

    static bool IsMixerProperty(const std::string& base)
    {
        return base == "GetMaxVol" || base == "GetMinVol" || base == "GetVolStep" || base == "VolumeControl" ||
               base == "VolumeScalarControl" || base == "MuteControl";
    }

    const std::string* Kept(bool input, const std::string& name)
    {
        std::lock_guard lock(kept().lock);
        auto& t = input ? kept().input : kept().output;
        const auto it = t.find(name);
        return it == t.end() ? nullptr : &it->second;
    }
    std::string* KeptRef(bool input, const std::string& name)
    {
        return const_cast<std::string*>(Kept(input, name));
    }

    int m_card;
    HostAudio m_host;
    std::unique_ptr<HostEffects> m_effects;
};

}  // namespace

std::unique_ptr<ConfBackend> MakeAlsaBackend()
{
    const int card = findCard();
    if (card < 0)
        return nullptr;
    Mixer mixer(card);
    if (!mixer.ok())
        return nullptr;
    return std::make_unique<AlsaConfBackend>(card);
}

}  // namespace osconf
