#pragma once

#include <string>

namespace osconf {

// The equaliser, the voice changer, noise reduction and surround are sound processing done on
// the host, not settings of the headset's sound card: they need the PipeWire sound server (and,
// for the pitch effects, a LADSPA pitch shifter) plus a filter graph that applies them. What this
// machine offers decides what the feature lists report, so a panel is never live for nothing.
struct HostAudio {
    bool pipewire = false;      // a PipeWire server answers on the user's socket
    bool pitchShifter = false;  // a LADSPA pitch-shifter plugin is installed
    bool effectGraph = false;   // the equaliser's graph is loaded in front of the headset's sink
    bool voiceGraph = false;    // the voice changer's graph is loaded behind the headset's microphone
};

// Field 1 of a feature list: what the machine lacks for the features that list leaves out.
enum HostMissing : int {
    kMissingPipeWire = 0x1,
    kMissingPitchShifter = 0x2,
    kMissingEffectGraph = 0x4,
};
// Field 0 of a feature list.
inline constexpr int kFeatureEqualiser = 0x10000;
inline constexpr int kFeatureVoiceChanger = 0x20000;

// The PipeWire socket the session's clients use: $PIPEWIRE_REMOTE when it is a path, else its
// name (default "pipewire-0") in $PIPEWIRE_RUNTIME_DIR, $XDG_RUNTIME_DIR or $USERPROFILE.
std::string PipeWireSocketPath();
// Whether a server accepts a connection on that socket (a socket file left by a server that
// ended does not count).
bool PipeWireRunning();
// Whether a LADSPA plugin file is in $LADSPA_PATH, or in the usual plugin folders without it.
bool LadspaPluginPresent(const std::string& file);

// What the machine has; the graphs are left out (the caller that loads them fills them in).
HostAudio DetectHostAudio();

// The feature lists ("f0,f1,0,0,f4,0,f6") of the headset's playback and capture devices on this
// host: field 0 the feature bits, field 1 the HostMissing bits of what is left out, field 4 the
// equaliser's bands and field 6 the surround modes (playback) or noise reduction (capture).
std::string PlaybackFeatures(const HostAudio& host);
std::string CaptureFeatures(const HostAudio& host);
bool EqualiserAvailable(const HostAudio& host);
bool VoiceChangerAvailable(const HostAudio& host);

}  // namespace osconf
