#pragma once

#include <array>
#include <memory>
#include <string>

namespace osconf {

// The headset's sound processing as PipeWire filter graphs in the user's session, loaded into
// this process (a libpipewire client holding PipeWire's filter-chain module), so the graphs live
// exactly as long as the process: a crash or kill -9 closes the connection and the server drops
// every node with it. Graphs left by a process that still hangs on are recognised by their node
// names ("tessel.effects.*") and removed at the next start.
//
// - Equaliser: a virtual sink "tessel.effects.eq" in front of the headset's sink, ten peaking
//   filters at the band centres; it becomes the default output while the headset's sink is.
// - Voice changer: a virtual source "tessel.effects.voice" behind the headset's microphone, a
//   LADSPA pitch shifter followed by a short comb filter.
// Parameter changes go to the running graph as Props updates, at most one per 30 ms; the last
// value of a burst always arrives.

// Band centres of the ten-band equaliser, in Hz.
inline constexpr std::array<double, 10> kEqBandHz = {31.25, 62.5, 125, 250, 500, 1000, 2000, 4000, 8000, 16000};
// Quality of each band's peaking filter: about one octave wide.
inline constexpr double kEqQ = 1.41;
// Band values beyond this many decibels are limited to it.
inline constexpr double kEqMaxDb = 20.0;
// Shortest spacing of two parameter updates while a slider is dragged.
inline constexpr int kUpdateSpacingMs = 30;

// The magnitude (dB) of ten peaking filters with these gains at `hz`.
double EqResponseDb(const std::array<double, 10>& gains, double hz, double rate);
// The filter gains that make the cascade's response at each band centre what the band values
// ask for: neighbouring bands overlap, so a band's filter gain alone would overshoot its slider.
std::array<double, 10> EqFilterGains(const std::array<double, 10>& wanted, double rate);

// What each voice changer effect does (1 deeper, 2 higher, 3 metallic, 4 child-like).
struct VoiceEffect {
    double semitones = 0;  // pitch shift
    double comb = 0;       // level of the 6 ms delayed copy mixed in (the metallic ring)
};
VoiceEffect VoiceEffectOf(bool on, int effect);

class HostEffects {
public:
    struct Options {
        int alsaCard = -1;                 // the headset's ALSA card, matched against the nodes
        std::string usbVendor = "0x0c76";  // or the USB ids the nodes or their device carry
        std::string usbProduct = "0x1630";
        bool voice = true;  // load the voice graph (needs the pitch-shifter plugin)
        // The cycle the equaliser asks of the server, in frames at 48 kHz. The filter chain
        // hands a block on one cycle later, so this is the latency it adds: 128 frames keep it
        // near 2.7 ms where the server's default of 1024 would add 21 ms or more.
        int cycleFrames = 128;
        int timeoutMs = 3000;
    };
    // Connects to the session's PipeWire server and loads the graphs in front of the headset's
    // sink and microphone. Null when no server answers.
    static std::unique_ptr<HostEffects> Start(const Options& options);
    // Removes the graphs and gives the default output back.
    ~HostEffects();
    HostEffects(const HostEffects&) = delete;
    HostEffects& operator=(const HostEffects&) = delete;

    bool EqualiserLoaded() const;
    bool VoiceLoaded() const;
    // The sink the equaliser feeds (the headset's), empty when none was found.
    std::string TargetSink() const;

    // Live parameter changes; they return at once (the graph follows within 30 ms).
    void SetEqualiser(bool on, const std::array<int, 10>& bands);
    void SetVoice(bool on, int effect);

    // Parameter updates sent to the graphs so far.
    unsigned Updates() const;

    struct Impl;

private:
    explicit HostEffects(std::unique_ptr<Impl> impl);
    std::unique_ptr<Impl> m_impl;
};

}  // namespace osconf
