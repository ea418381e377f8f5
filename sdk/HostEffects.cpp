#include "sdk/HostEffects.h"

#include "sdk/HostAudio.h"

#include <pipewire/extensions/metadata.h>
#include <pipewire/device.h>
#include <pipewire/impl.h>
#include <pipewire/node.h>
#include <pipewire/pipewire.h>
#include <spa/param/props.h>
#include <spa/pod/builder.h>
#include <spa/utils/result.h>

#include <json/json.h>

#include <algorithm>
#include <charconv>
#include <chrono>
#include <cmath>
#include <map>
#include <mutex>
#include <sstream>
#include <vector>

namespace osconf {

namespace {

constexpr char kEqNode[] = "tessel.effects.eq";
constexpr char kEqOutput[] = "tessel.effects.eq.output";
constexpr char kVoiceNode[] = "tessel.effects.voice";
constexpr char kVoiceInput[] = "tessel.effects.voice.input";
constexpr char kGraphPrefix[] = "tessel.effects.";
constexpr char kPitchPlugin[] = "ladspa-rubberband";
constexpr char kPitchLabel[] = "rubberband-pitchshifter-mono";
constexpr double kCombDelaySeconds = 0.006;
constexpr double kGraphRate = 48000;


// Numbers in the graph's configuration and parameters never follow the user's locale.
std::string number(double v)
{
    char text[32];
    const auto r = std::to_chars(text, text + sizeof text, v, std::chars_format::fixed, 4);
    return std::string(text, r.ptr);
}

// A string as a JSON/SPA-JSON literal.
std::string quoted(const std::string& s)
{
    std::string out = "\"";
    for (const char c : s) {
        if (c == '"' || c == '\\')
            out += '\\';
        if (static_cast<unsigned char>(c) >= 0x20)
            out += c;
    }
    return out + '"';
}

// RBJ peaking filter, the form PipeWire's builtin bq_peaking uses.
struct Biquad {
    double b0, b1, b2, a0, a1, a2;
};

Biquad peaking(double hz, double q, double gainDb, double rate)
{
    const double a = std::pow(10.0, gainDb / 40.0);
    const double w0 = 2 * M_PI * hz / rate;
    const double alpha = std::sin(w0) / (2 * q);
    const double c = std::cos(w0);
    return {1 + alpha * a, -2 * c, 1 - alpha * a, 1 + alpha / a, -2 * c, 1 - alpha / a};
}

double magnitudeDb(const Biquad& f, double hz, double rate)
{
    const double w = 2 * M_PI * hz / rate;
    const double c1 = std::cos(w), s1 = std::sin(w), c2 = std::cos(2 * w), s2 = std::sin(2 * w);
    const double nr = f.b0 + f.b1 * c1 + f.b2 * c2, ni = -(f.b1 * s1 + f.b2 * s2);
    const double dr = f.a0 + f.a1 * c1 + f.a2 * c2, di = -(f.a1 * s1 + f.a2 * s2);
    return 10 * std::log10((nr * nr + ni * ni) / (dr * dr + di * di));
}

struct Global {
    std::string type;
    std::map<std::string, std::string> props;
    // Audio nodes and devices are bound for their full properties (the registry leaves out the
    // USB ids and the ALSA card).
    pw_proxy* proxy = nullptr;
    std::unique_ptr<spa_hook> listener;
    std::string get(const char* key) const
    {
        const auto it = props.find(key);
        return it == props.end() ? std::string() : it->second;
    }
};

// The name in a default-node metadata value ({"name": "..."}).
std::string nameOfJson(const char* value)
{
    if (!value)
        return {};
    Json::Value root;
    Json::CharReaderBuilder builder;
    std::string errors;
    std::istringstream in(value);
    if (!Json::parseFromStream(builder, in, &root, &errors) || !root.isObject())
        return {};
    return root.get("name", "").asString();
}

}  // namespace

double EqResponseDb(const std::array<double, 10>& gains, double hz, double rate)
{
    double db = 0;
    for (size_t b = 0; b < gains.size(); ++b)
        db += magnitudeDb(peaking(kEqBandHz[b], kEqQ, gains[b], rate), hz, rate);
    return db;
}

std::array<double, 10> EqFilterGains(const std::array<double, 10>& wanted, double rate)
{
    std::array<double, 10> target{}, gains{};
    for (size_t b = 0; b < 10; ++b)
        gains[b] = target[b] = std::clamp(wanted[b], -kEqMaxDb, kEqMaxDb);
    // The response at the centres depends almost linearly on the gains: correcting each gain by
    // its band's remaining error converges in a few dozen rounds to well under 0.01 dB.
    for (int round = 0; round < 200; ++round) {
        double worst = 0;
        std::array<double, 10> error{};
        for (size_t b = 0; b < 10; ++b) {
            error[b] = target[b] - EqResponseDb(gains, kEqBandHz[b], rate);
            worst = std::max(worst, std::fabs(error[b]));
        }
        if (worst < 0.005)
            break;
        for (size_t b = 0; b < 10; ++b)
            gains[b] = std::clamp(gains[b] + 0.7 * error[b], -2 * kEqMaxDb, 2 * kEqMaxDb);
    }
    return gains;
}

VoiceEffect VoiceEffectOf(bool on, int effect)
{
    if (!on)
        return {};
    switch (effect) {
    case 1: return {-4, 0};   // deeper
    case 2: return {4, 0};    // higher
    case 3: return {0, 0.8};  // metallic: a 6 ms comb rings at multiples of 167 Hz
    case 4: return {7, 0};    // child-like
    default: return {};
    }
}

struct HostEffects::Impl {
    Options options;
    pw_thread_loop* loop = nullptr;
    pw_context* context = nullptr;
    pw_core* core = nullptr;
    pw_registry* registry = nullptr;
    spa_hook coreListener{}, registryListener{};
    int pendingSync = -1;
    bool synced = false;
    bool failed = false;

    std::map<uint32_t, Global> globals;
    pw_impl_module* eqModule = nullptr;
    pw_impl_module* voiceModule = nullptr;
    // A graph also ends by itself (its stream lost the headset and was removed by the session
    // manager); these clear the pointers then, so it is never destroyed twice.
    spa_hook eqModuleListener{}, voiceModuleListener{};
    std::string sinkName, sourceName;
    uint32_t sinkId = SPA_ID_INVALID, sourceId = SPA_ID_INVALID;

    // The nodes whose Props carry the graphs' controls.
    pw_proxy* eqProxy = nullptr;
    pw_proxy* voiceProxy = nullptr;
    spa_hook eqProxyListener{}, voiceProxyListener{};

    pw_metadata* metadata = nullptr;
    pw_proxy* metadataProxy = nullptr;
    spa_hook metadataListener{};
    uint32_t metadataId = SPA_ID_INVALID;
    std::string defaultSink, configuredSink;
    bool routed = false;
    std::string configuredBefore;  // the configured default before the equaliser took its place

    // The values the graphs should have, and whether they are still to be sent.
    std::array<double, 10> eqGains{};
    VoiceEffect voice{};
    bool eqDirty = false, voiceDirty = false;
    std::chrono::steady_clock::time_point lastPush{};
    spa_source* pushTimer = nullptr;
    spa_source* unplugEvent = nullptr;
    bool timerArmed = false;
    unsigned updates = 0;

    ~Impl() { Stop(); }

    // --- set-up ---

    bool Connect()
    {
        static std::once_flag once;
        std::call_once(once, [] { pw_init(nullptr, nullptr); });
        loop = pw_thread_loop_new("tessel-effects", nullptr);
        if (!loop)
            return false;
        context = pw_context_new(pw_thread_loop_get_loop(loop), nullptr, 0);
        if (!context || pw_thread_loop_start(loop) < 0)
            return false;
        pw_thread_loop_lock(loop);
        core = pw_context_connect(context, nullptr, 0);
        bool ok = core != nullptr;
        if (ok) {
            static const pw_core_events coreEvents = [] {
                pw_core_events e{};
                e.version = PW_VERSION_CORE_EVENTS;
                e.done = [](void* data, uint32_t id, int seq) {
                    auto* self = static_cast<Impl*>(data);
                    if (id == PW_ID_CORE && seq == self->pendingSync) {
                        self->synced = true;
                        pw_thread_loop_signal(self->loop, false);
                    }
                };
                e.error = [](void* data, uint32_t id, int, int res, const char*) {
                    auto* self = static_cast<Impl*>(data);
                    if (id == PW_ID_CORE && res == -EPIPE) {
                        self->failed = true;
                        pw_thread_loop_signal(self->loop, false);
                    }
                };
                return e;
            }();
            pw_core_add_listener(core, &coreListener, &coreEvents, this);
            registry = pw_core_get_registry(core, PW_VERSION_REGISTRY, 0);
            static const pw_registry_events registryEvents = [] {
                pw_registry_events e{};
                e.version = PW_VERSION_REGISTRY_EVENTS;
                e.global = [](void* data, uint32_t id, uint32_t, const char* type, uint32_t, const spa_dict* props) {
                    static_cast<Impl*>(data)->OnGlobal(id, type, props);
                };
                e.global_remove = [](void* data, uint32_t id) { static_cast<Impl*>(data)->OnGlobalRemoved(id); };
                return e;
            }();
            pw_registry_add_listener(registry, &registryListener, &registryEvents, this);
            pushTimer = pw_loop_add_timer(
                pw_thread_loop_get_loop(loop),
                [](void* data, uint64_t) {
                    auto* self = static_cast<Impl*>(data);
                    self->timerArmed = false;
                    self->Push();
                },
                this);
            unplugEvent = pw_loop_add_event(
                pw_thread_loop_get_loop(loop), [](void* data, uint64_t) { static_cast<Impl*>(data)->OnUnplugged(); },
                this);
            // The globals (Start asks again for the properties of those bound, once graphs of a
            // Tessel that hangs on are gone).
            ok = Sync();
        }
        pw_thread_loop_unlock(loop);
        return ok;
    }

    // Waits (loop locked) until the server has answered everything asked before.
    bool Sync()
    {
        synced = false;
        pendingSync = pw_core_sync(core, PW_ID_CORE, 0);
        timespec deadline{};
        pw_thread_loop_get_time(loop, &deadline, int64_t(options.timeoutMs) * SPA_NSEC_PER_MSEC);
        while (!synced && !failed) {
            if (pw_thread_loop_timed_wait_full(loop, &deadline) != 0)
                return false;
        }
        return synced && !failed;
    }

    // Waits (loop locked) until a node named `name` is in the registry.
    uint32_t WaitForNode(const std::string& name)
    {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(options.timeoutMs);
        while (std::chrono::steady_clock::now() < deadline) {
            if (const uint32_t id = FindNode(name); id != SPA_ID_INVALID)
                return id;
            if (!Sync())
                return SPA_ID_INVALID;
        }
        return FindNode(name);
    }

    uint32_t FindNode(const std::string& name) const
    {
        for (const auto& [id, g] : globals) {
            if (g.type == PW_TYPE_INTERFACE_Node && g.get(PW_KEY_NODE_NAME) == name)
                return id;
        }
        return SPA_ID_INVALID;
    }

    void OnGlobal(uint32_t id, const char* type, const spa_dict* props)
    {
        Global g;
        g.type = type ? type : "";
        if (props) {
            const spa_dict_item* item;
            spa_dict_for_each(item, props) g.props[item->key] = item->value ? item->value : "";
        }
        if (g.type == PW_TYPE_INTERFACE_Metadata && g.get(PW_KEY_METADATA_NAME) == "default" && !metadata) {
            metadataId = id;
            metadata = static_cast<pw_metadata*>(pw_registry_bind(registry, id, PW_TYPE_INTERFACE_Metadata,
                                                                   PW_VERSION_METADATA, 0));
            if (metadata) {
                static const pw_metadata_events events = [] {
                    pw_metadata_events e{};
                    e.version = PW_VERSION_METADATA_EVENTS;
                    e.property = [](void* data, uint32_t subject, const char* key, const char*, const char* value) {
                        auto* self = static_cast<Impl*>(data);
                        if (subject != PW_ID_CORE || !key)
                            return 0;
                        if (std::string_view(key) == "default.audio.sink")
                            self->defaultSink = nameOfJson(value);
                        else if (std::string_view(key) == "default.configured.audio.sink")
                            self->configuredSink = value ? value : "";
                        return 0;
                    };
                    return e;
                }();
                pw_metadata_add_listener(metadata, &metadataListener, &events, this);
            }
        }
        const std::string mediaClass = g.get(PW_KEY_MEDIA_CLASS);
        const bool audioNode = g.type == PW_TYPE_INTERFACE_Node && g.get(PW_KEY_NODE_NAME).rfind(kGraphPrefix, 0) != 0 &&
                               (mediaClass.rfind("Audio/Sink", 0) == 0 || mediaClass.rfind("Audio/Source", 0) == 0);
        const bool device = g.type == PW_TYPE_INTERFACE_Device;
        Global& stored = globals[id] = std::move(g);
        if (audioNode || device) {
            stored.proxy = static_cast<pw_proxy*>(
                pw_registry_bind(registry, id, stored.type.c_str(), device ? PW_VERSION_DEVICE : PW_VERSION_NODE, 0));
            if (stored.proxy) {
                stored.listener = std::make_unique<spa_hook>();
                if (device) {
                    static const pw_device_events events = [] {
                        pw_device_events e{};
                        e.version = PW_VERSION_DEVICE_EVENTS;
                        e.info = [](void* data, const pw_device_info* info) {
                            static_cast<Impl*>(data)->OnInfo(info->id, info->props);
                        };
                        return e;
                    }();
                    pw_device_add_listener(reinterpret_cast<pw_device*>(stored.proxy), stored.listener.get(), &events,
                                           this);
                } else {
                    static const pw_node_events events = [] {
                        pw_node_events e{};
                        e.version = PW_VERSION_NODE_EVENTS;
                        e.info = [](void* data, const pw_node_info* info) {
                            static_cast<Impl*>(data)->OnInfo(info->id, info->props);
                        };
                        return e;
                    }();
                    pw_node_add_listener(reinterpret_cast<pw_node*>(stored.proxy), stored.listener.get(), &events, this);
                }
            }
        }
    }

    void OnInfo(uint32_t id, const spa_dict* props)
    {
        const auto it = globals.find(id);
        if (it == globals.end() || !props)
            return;
        const spa_dict_item* item;
        spa_dict_for_each(item, props) it->second.props[item->key] = item->value ? item->value : "";
    }

    static void Release(Global& g)
    {
        if (g.listener)
            spa_hook_remove(g.listener.get());
        if (g.proxy)
            pw_proxy_destroy(g.proxy);
        g.proxy = nullptr;
        g.listener.reset();
    }

    void OnGlobalRemoved(uint32_t id)
    {
        if (const auto it = globals.find(id); it != globals.end()) {
            Release(it->second);
            globals.erase(it);
        }
        if (id == metadataId) {
            spa_hook_remove(&metadataListener);
            pw_proxy_destroy(reinterpret_cast<pw_proxy*>(metadata));
            metadata = nullptr;
            metadataId = SPA_ID_INVALID;
        }
        // The headset went: its graphs go with it (not from inside this event, which a module's
        // own streams are also listening to).
        if ((id == sinkId && eqModule) || (id == sourceId && voiceModule))
            pw_loop_signal_event(pw_thread_loop_get_loop(loop), unplugEvent);
    }

    void OnUnplugged()
    {
        if (sinkId != SPA_ID_INVALID && !globals.count(sinkId)) {
            UnloadEqualiser();
            sinkId = SPA_ID_INVALID;
        }
        if (sourceId != SPA_ID_INVALID && !globals.count(sourceId)) {
            UnloadVoice();
            sourceId = SPA_ID_INVALID;
        }
    }

    // Whether a node is the headset's: its ALSA card, or the USB ids on it or on its device.
    bool IsHeadsetNode(const Global& node) const
    {
        auto usbIds = [this](const Global& g) {
            return !g.get("device.vendor.id").empty() && g.get("device.vendor.id") == options.usbVendor &&
                   g.get("device.product.id") == options.usbProduct;
        };
        if (usbIds(node))
            return true;
        if (options.alsaCard >= 0) {
            const std::string card = std::to_string(options.alsaCard);
            if (node.get("api.alsa.card") == card || node.get("alsa.card") == card)
                return true;
        }
        const std::string device = node.get(PW_KEY_DEVICE_ID);
        if (!device.empty()) {
            char* end = nullptr;
            const unsigned long id = std::strtoul(device.c_str(), &end, 10);
            const auto it = globals.find(uint32_t(id));
            if (end && *end == '\0' && it != globals.end() && usbIds(it->second))
                return true;
        }
        return false;
    }

    uint32_t FindHeadset(const char* mediaClass) const
    {
        for (const auto& [id, g] : globals) {
            if (g.type == PW_TYPE_INTERFACE_Node && g.get(PW_KEY_MEDIA_CLASS).rfind(mediaClass, 0) == 0 &&
                g.get(PW_KEY_NODE_NAME).rfind(kGraphPrefix, 0) != 0 && IsHeadsetNode(g))
                return id;
        }
        return SPA_ID_INVALID;
    }

    // Graphs of a Tessel that can no longer remove them itself: their clients are disconnected,
    // which removes every node they hold.
    void RemoveStrayGraphs()
    {
        std::vector<uint32_t> clients;
        for (const auto& [id, g] : globals) {
            if (g.type != PW_TYPE_INTERFACE_Node || g.get(PW_KEY_NODE_NAME).rfind(kGraphPrefix, 0) != 0)
                continue;
            const std::string client = g.get(PW_KEY_CLIENT_ID);
            if (!client.empty())
                clients.push_back(uint32_t(std::strtoul(client.c_str(), nullptr, 10)));
        }
        if (clients.empty())
            return;
        std::sort(clients.begin(), clients.end());
        clients.erase(std::unique(clients.begin(), clients.end()), clients.end());
        for (const uint32_t client : clients)
            pw_registry_destroy(registry, client);
        // Until their nodes are gone a new graph's names would clash with them.
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(options.timeoutMs);
        while (std::chrono::steady_clock::now() < deadline && Sync() &&
               (FindNode(kEqNode) != SPA_ID_INVALID || FindNode(kVoiceNode) != SPA_ID_INVALID)) {
        }
    }

    pw_proxy* BindNode(uint32_t id, spa_hook* listener)
    {
        auto* proxy = static_cast<pw_proxy*>(pw_registry_bind(registry, id, PW_TYPE_INTERFACE_Node, PW_VERSION_NODE, 0));
        (void)listener;
        return proxy;
    }

    std::string EqArguments() const
    {
        std::ostringstream nodes, links;
        for (size_t b = 0; b < 10; ++b) {
            nodes << "{ type = builtin name = band" << b + 1 << " label = bq_peaking control = { \"Freq\" = "
                  << number(kEqBandHz[b]) << " \"Q\" = " << number(kEqQ) << " \"Gain\" = " << number(eqGains[b])
                  << " } } ";
            if (b > 0)
                links << "{ output = \"band" << b << ":Out\" input = \"band" << b + 1 << ":In\" } ";
        }
        std::ostringstream args;
        args << "{ node.description = \"Headset equaliser (Tessel)\" media.name = \"Headset equaliser\" "
             << "filter.graph = { nodes = [ " << nodes.str() << "] links = [ " << links.str() << "] } "
             << "audio.channels = 2 audio.position = [ FL FR ] "
             << "capture.props = { node.name = " << quoted(kEqNode) << " media.class = Audio/Sink "
             << "node.description = \"Headset (equaliser)\" node.latency = \"" << options.cycleFrames << "/48000\" } "
             << "playback.props = { node.name = " << quoted(kEqOutput) << " node.passive = true "
             << "node.latency = \"" << options.cycleFrames << "/48000\" "
             << "target.object = " << quoted(sinkName) << " node.target = " << quoted(sinkName)
             << " node.dont-reconnect = true stream.dont-remix = true } }";
        return args.str();
    }

    std::string VoiceArguments() const
    {
        std::ostringstream args;
        args << "{ node.description = \"Headset voice changer (Tessel)\" media.name = \"Headset voice changer\" "
             << "filter.graph = { nodes = [ "
             << "{ type = ladspa name = pitch plugin = " << kPitchPlugin << " label = " << kPitchLabel
             << " control = { \"Semitones\" = " << number(voice.semitones) << " } } "
             << "{ type = builtin name = split label = copy } "
             << "{ type = builtin name = delay label = delay config = { \"max-delay\" = 0.1 } control = { \"Delay (s)\" = "
             << number(kCombDelaySeconds) << " } } "
             << "{ type = builtin name = comb label = mixer control = { \"Gain 1\" = " << number(1 - voice.comb / 2)
             << " \"Gain 2\" = " << number(voice.comb / 2) << " } } ] "
             << "links = [ { output = \"pitch:Output\" input = \"split:In\" } "
             << "{ output = \"split:Out\" input = \"comb:In 1\" } "
             << "{ output = \"split:Out\" input = \"delay:In\" } "
             << "{ output = \"delay:Out\" input = \"comb:In 2\" } ] "
             << "inputs = [ \"pitch:Input\" ] outputs = [ \"comb:Out\" ] } "
             << "audio.channels = 1 audio.position = [ MONO ] "
             << "capture.props = { node.name = " << quoted(kVoiceInput) << " node.passive = true "
             << "target.object = " << quoted(sourceName) << " node.target = " << quoted(sourceName)
             << " node.dont-reconnect = true } "
             << "playback.props = { node.name = " << quoted(kVoiceNode) << " media.class = Audio/Source "
             << "node.description = \"Headset microphone (voice changer)\" } }";
        return args.str();
    }

    void Watch(pw_impl_module* module, spa_hook* listener, pw_impl_module** slot)
    {
        static const pw_impl_module_events events = [] {
            pw_impl_module_events e{};
            e.version = PW_VERSION_IMPL_MODULE_EVENTS;
            e.destroy = [](void* data) {
                auto** slot = static_cast<pw_impl_module**>(data);
                *slot = nullptr;
            };
            return e;
        }();
        spa_zero(*listener);
        pw_impl_module_add_listener(module, listener, &events, slot);
    }

    static void Unload(pw_impl_module** slot, spa_hook* listener)
    {
        if (!*slot)
            return;
        spa_hook_remove(listener);
        pw_impl_module* module = *slot;
        *slot = nullptr;
        pw_impl_module_destroy(module);
    }

    bool LoadEqualiser()
    {
        sinkId = FindHeadset("Audio/Sink");
        if (sinkId == SPA_ID_INVALID)
            return false;
        sinkName = globals[sinkId].get(PW_KEY_NODE_NAME);
        eqModule = pw_context_load_module(context, "libpipewire-module-filter-chain", EqArguments().c_str(), nullptr);
        if (!eqModule)
            return false;
        Watch(eqModule, &eqModuleListener, &eqModule);
        const uint32_t node = WaitForNode(kEqNode);
        if (node == SPA_ID_INVALID) {
            UnloadEqualiser();
            return false;
        }
        eqProxy = BindNode(node, &eqProxyListener);
        Route();
        return true;
    }

    bool LoadVoice()
    {
        sourceId = FindHeadset("Audio/Source");
        if (sourceId == SPA_ID_INVALID)
            return false;
        sourceName = globals[sourceId].get(PW_KEY_NODE_NAME);
        voiceModule =
            pw_context_load_module(context, "libpipewire-module-filter-chain", VoiceArguments().c_str(), nullptr);
        if (!voiceModule)
            return false;
        Watch(voiceModule, &voiceModuleListener, &voiceModule);
        const uint32_t node = WaitForNode(kVoiceInput);
        if (node == SPA_ID_INVALID || WaitForNode(kVoiceNode) == SPA_ID_INVALID) {
            UnloadVoice();
            return false;
        }
        voiceProxy = BindNode(node, &voiceProxyListener);
        return true;
    }

    // Streams that play to the headset's sink as the default output play through the equaliser.
    void Route()
    {
        if (!metadata || defaultSink != sinkName)
            return;
        configuredBefore = configuredSink;
        const std::string value = "{ \"name\": " + quoted(kEqNode) + " }";
        pw_metadata_set_property(metadata, PW_ID_CORE, "default.configured.audio.sink", "Spa:String:JSON",
                                 value.c_str());
        routed = true;
        Sync();
    }

    void Unroute()
    {
        if (!routed || !metadata)
            return;
        routed = false;
        if (nameOfJson(configuredSink.c_str()) != kEqNode)
            return;  // the user chose another output meanwhile
        pw_metadata_set_property(metadata, PW_ID_CORE, "default.configured.audio.sink",
                                 configuredBefore.empty() ? nullptr : "Spa:String:JSON",
                                 configuredBefore.empty() ? nullptr : configuredBefore.c_str());
    }

    void UnloadEqualiser()
    {
        Unroute();
        if (eqProxy) {
            pw_proxy_destroy(eqProxy);
            eqProxy = nullptr;
        }
        Unload(&eqModule, &eqModuleListener);
    }

    void UnloadVoice()
    {
        if (voiceProxy) {
            pw_proxy_destroy(voiceProxy);
            voiceProxy = nullptr;
        }
        Unload(&voiceModule, &voiceModuleListener);
    }

    // --- parameters ---

    void SetParams(pw_proxy* node, const std::vector<std::pair<std::string, double>>& values)
    {
        if (!node)
            return;
        uint8_t buffer[4096];
        spa_pod_builder b{};
        spa_pod_builder_init(&b, buffer, sizeof buffer);
        spa_pod_frame object{}, list{};
        spa_pod_builder_push_object(&b, &object, SPA_TYPE_OBJECT_Props, SPA_PARAM_Props);
        spa_pod_builder_prop(&b, SPA_PROP_params, 0);
        spa_pod_builder_push_struct(&b, &list);
        for (const auto& [name, v] : values) {
            spa_pod_builder_string(&b, name.c_str());
            spa_pod_builder_float(&b, float(v));
        }
        spa_pod_builder_pop(&b, &list);
        const auto* pod = static_cast<const spa_pod*>(spa_pod_builder_pop(&b, &object));
        if (!pod)
            return;
        pw_node_set_param(reinterpret_cast<pw_node*>(node), SPA_PARAM_Props, 0, pod);
        ++updates;
    }

    // Sends what changed, or arms the timer when the last update was under 30 ms ago (loop locked).
    void Schedule()
    {
        const auto now = std::chrono::steady_clock::now();
        const auto due = lastPush + std::chrono::milliseconds(kUpdateSpacingMs);
        if (now >= due) {
            Push();
            return;
        }
        if (timerArmed)
            return;
        const auto wait = std::chrono::duration_cast<std::chrono::nanoseconds>(due - now).count();
        timespec value{time_t(wait / 1000000000), long(wait % 1000000000)};
        pw_loop_update_timer(pw_thread_loop_get_loop(loop), pushTimer, &value, nullptr, false);
        timerArmed = true;
    }

    void Push()
    {
        if (!eqDirty && !voiceDirty)
            return;
        lastPush = std::chrono::steady_clock::now();
        if (eqDirty) {
            std::vector<std::pair<std::string, double>> values;
            for (size_t b = 0; b < 10; ++b)
                values.emplace_back("band" + std::to_string(b + 1) + ":Gain", eqGains[b]);
            SetParams(eqProxy, values);
            eqDirty = false;
        }
        if (voiceDirty) {
            SetParams(voiceProxy, {{"pitch:Semitones", voice.semitones},
                                   {"comb:Gain 1", 1 - voice.comb / 2},
                                   {"comb:Gain 2", voice.comb / 2}});
            voiceDirty = false;
        }
    }

    void Stop()
    {
        if (!loop)
            return;
        pw_thread_loop_lock(loop);
        UnloadEqualiser();
        UnloadVoice();
        if (core)
            Sync();  // the default output is given back before the connection closes
        if (pushTimer)
            pw_loop_destroy_source(pw_thread_loop_get_loop(loop), pushTimer);
        if (unplugEvent)
            pw_loop_destroy_source(pw_thread_loop_get_loop(loop), unplugEvent);
        pushTimer = unplugEvent = nullptr;
        if (metadata) {
            spa_hook_remove(&metadataListener);
            pw_proxy_destroy(reinterpret_cast<pw_proxy*>(metadata));
            metadata = nullptr;
        }
        for (auto& [id, g] : globals)
            Release(g);
        globals.clear();
        if (registry) {
            spa_hook_remove(&registryListener);
            pw_proxy_destroy(reinterpret_cast<pw_proxy*>(registry));
            registry = nullptr;
        }
        if (core) {
            spa_hook_remove(&coreListener);
            pw_core_disconnect(core);
            core = nullptr;
        }
        pw_thread_loop_unlock(loop);
        pw_thread_loop_stop(loop);
        if (context)
            pw_context_destroy(context);
        pw_thread_loop_destroy(loop);
        context = nullptr;
        loop = nullptr;
    }
};

std::unique_ptr<HostEffects> HostEffects::Start(const Options& options)
{
    // Without a server nothing is tried: libpipewire would otherwise wait for one.
    if (!PipeWireRunning())
        return nullptr;
    auto impl = std::make_unique<Impl>();
    impl->options = options;
    if (!impl->Connect())
        return nullptr;
    pw_thread_loop_lock(impl->loop);
    impl->RemoveStrayGraphs();
    impl->Sync();
    impl->LoadEqualiser();
    if (options.voice && LadspaPluginPresent(std::string(kPitchPlugin) + ".so"))
        impl->LoadVoice();
    pw_thread_loop_unlock(impl->loop);
    return std::unique_ptr<HostEffects>(new HostEffects(std::move(impl)));
}

HostEffects::HostEffects(std::unique_ptr<Impl> impl) : m_impl(std::move(impl)) {}

HostEffects::~HostEffects() = default;

bool HostEffects::EqualiserLoaded() const
{
    pw_thread_loop_lock(m_impl->loop);
    const bool loaded = m_impl->eqModule != nullptr;
    pw_thread_loop_unlock(m_impl->loop);
    return loaded;
}

bool HostEffects::VoiceLoaded() const
{
    pw_thread_loop_lock(m_impl->loop);
    const bool loaded = m_impl->voiceModule != nullptr;
    pw_thread_loop_unlock(m_impl->loop);
    return loaded;
}

std::string HostEffects::TargetSink() const
{
    pw_thread_loop_lock(m_impl->loop);
    std::string name = m_impl->sinkName;
    pw_thread_loop_unlock(m_impl->loop);
    return name;
}

void HostEffects::SetEqualiser(bool on, const std::array<int, 10>& bands)
{
    std::array<double, 10> wanted{};
    if (on) {
        for (size_t b = 0; b < 10; ++b)
            wanted[b] = bands[b];
    }
    const std::array<double, 10> gains = on ? EqFilterGains(wanted, kGraphRate) : wanted;
    pw_thread_loop_lock(m_impl->loop);
    if (gains != m_impl->eqGains) {
        m_impl->eqGains = gains;
        m_impl->eqDirty = true;
        m_impl->Schedule();
    }
    pw_thread_loop_unlock(m_impl->loop);
}

void HostEffects::SetVoice(bool on, int effect)
{
    const VoiceEffect v = VoiceEffectOf(on, effect);
    pw_thread_loop_lock(m_impl->loop);
    if (v.semitones != m_impl->voice.semitones || v.comb != m_impl->voice.comb) {
        m_impl->voice = v;
        m_impl->voiceDirty = true;
        m_impl->Schedule();
    }
    pw_thread_loop_unlock(m_impl->loop);
}

unsigned HostEffects::Updates() const
{
    pw_thread_loop_lock(m_impl->loop);
    const unsigned n = m_impl->updates;
    pw_thread_loop_unlock(m_impl->loop);
    return n;
}

}  // namespace osconf
