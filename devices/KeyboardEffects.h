#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "devices/LightTypes.h"
#include "devices/StepSequence.h"
#include "profiles/ProfileRecords.h"

// The keyboard's software lighting engine: the effects the keyboard renders itself, rendered
// again so the page's key picture shows them, and the two modes (music, external colour) whose
// frames the application streams. It writes one LedColour per key position (170) and its own
// effect state; it holds no lock, touches no widget and sends nothing, so it runs alone in tests
// and benchmarks. One object belongs to one light thread.
namespace lighting {

inline constexpr int kKeyPositions = 170;
inline constexpr uint8_t kNoKey = 170;
inline constexpr int kColumns = 23;
inline constexpr int kRows = 6;

// What a render step needs to know of the lighting choice.
struct KeyboardEffectInput {
    uint8_t mode = 0;
    uint8_t brightness = 0;   // level 0..4
    uint8_t speed = 0;        // level 0..4
    uint8_t direction = 0;
    uint8_t multicolour = 0;
    uint8_t red = 0, green = 0, blue = 0;
    uint8_t presetColour = 0; // mode 17's sub-mode ("ZZCCLedMode")
    uint8_t musicStyle = 0;   // mode 29's display style 0..6
    uint8_t musicRed = 0, musicGreen = 0, musicBlue = 0;
    uint8_t musicColourful = 0;  // bars in the colours of the wheel instead of the music colour
};

// The keyboard's constant layout data.
struct KeyboardLayout {
    // Key position at (column, row) of the lighting matrix; kNoKey where there is none.
    static const std::array<std::array<uint8_t, kRows>, kColumns>& Columns();
    // 84 keys along the main block, row by row.
    static const std::array<uint8_t, 84>& KeyOrder();
    // 110 places of the snake; kNoKey places are skipped.
    static const std::array<uint8_t, 110>& SnakeOrder();
    // 12 diagonals of 12 places.
    static const std::array<std::array<uint8_t, 12>, 12>& Diagonals();
    // 23 physical columns of 7 rows (255 = none), top row first.
    static const std::array<std::array<uint8_t, 7>, kColumns>& WaveColumns();
    // 52 rows of 12 keys swept by the rolling-row effect (kNoKey = none).
    static const std::array<std::array<uint8_t, 12>, 52>& RollingRows();
    // 107 keys running around the board and a permutation of 104 indexes into it.
    static const std::array<uint8_t, 107>& RainKeys();
    static const std::array<uint8_t, 104>& RainPermutation();
    // The scripted show of mode 14: 23 groups of six keys, then 31 pairs.
    static const std::array<std::array<uint8_t, 6>, 23>& ShowGroups();
    static const std::array<std::array<uint8_t, 2>, 31>& ShowPairs();
    // 96-step brightness curve (rising to 255 at step 47, then its mirror) and the 192-step
    // twinkle curve.
    static const std::array<uint8_t, 96>& WaveCurve();
    static const std::array<uint8_t, 192>& TwinkleCurve();
    // The matrix column of each key position, -1 for positions not in the matrix.
    static const std::array<int8_t, kKeyPositions>& ColumnOf();
    static const std::array<int8_t, kKeyPositions>& RowOf();
};

class KeyboardEffects {
public:
    KeyboardEffects();

    // Light-thread ticks between two steps of `mode` at speed level `speed` (at least 1).
    static uint32_t StepTicks(uint8_t mode, uint8_t speed);
    // Modes that look the same on every step while nothing is fed to them, so the thread may
    // rest: static, preset colour, custom, off, external colour.
    static bool IsStillMode(uint8_t mode);
    // The bar height (0..600) of a music level.
    static int BarHeight(int level);
    // How much of a bar (0..600) a music level fills: 0 at silence, 600 from level 500 up.
    static int BarFill(int level);

    // Clears the effect state and runs the mode's initialiser. Custom colours of mode 19 are
    // the device's to load into the colour list; the engine keeps what it finds there.
    void Enter(const KeyboardEffectInput& in);
    // One step of the current mode into `leds` (count entries, normally 170), then the
    // per-key overlay. `nowMs` is a steady millisecond clock (flash and step timing).
    void Render(const KeyboardEffectInput& in, LedColour* leds, size_t count, uint64_t nowMs);

    // A key pressed (1) or released (2) on the keyboard, by key position.
    void KeyEvent(int position, int action, uint8_t mode);
    // Levels above 500 are kept as 500; at most 25 are taken.
    void SetAudioLevels(const int* levels, int count);
    // At most six values; the first three are red, green, blue.
    void SetExternalColour(const int* values, int count);
    // The profile's step sequence for modes 0, 28 and 31 and above.
    void SetSteps(const std::vector<LedEffectStep>& steps);
    // Per-key effect records by key position; an entry whose present flag is set overrides
    // the mode's result for its key.
    void SetOverlay(const std::vector<LightInfo>& records);
    bool HasAnimatedOverlay() const { return m_animatedOverlay; }
    bool HasOverlay() const { return m_overlayCount > 0; }

    // State, for tests.
    uint8_t Phase() const { return m_phase; }
    uint8_t Level(int position) const { return m_levels[size_t(position)]; }
    uint8_t ColourPosition(int position) const { return m_colourPos[size_t(position)]; }
    uint8_t RandomColourPosition(int position) const { return m_randomPos[size_t(position)]; }
    uint8_t ShowStep() const { return m_stepCounter; }
    size_t CurrentStep() const { return m_steps.CurrentStep(); }
    const std::array<std::array<uint8_t, kColumns>, 4>& Planes() const { return m_planes; }
    void SeedRandom(uint32_t seed) { m_random = seed ? seed : 1; }

private:
    using Leds = LedColour*;
    uint32_t Random();
    void Reset();
    void InitColourPositions();
    void InitWave(bool phases);
    void SeedPlanes(int column, int row);
    void StampPlanes(const KeyboardEffectInput& in);
    void SpreadPlanes();
    void ClearPlanes();
    bool PlanesEmpty() const;
    void PressRipple(int position);
    void Decay(int position, int kind);
    LedColour Colour(const KeyboardEffectInput& in, int wheelPosition, uint8_t brightness) const;
    static uint8_t Scaled(uint8_t full, uint8_t level) { return uint8_t((full * level) >> 8); }

    void RenderColumnWave(const KeyboardEffectInput& in, Leds leds);
    void RenderFineWave(const KeyboardEffectInput& in, Leds leds);
    void RenderSnakeRainbow(const KeyboardEffectInput& in, Leds leds);
    void RenderSpectrum(const KeyboardEffectInput& in, Leds leds);
    void RenderColumnBreathing(const KeyboardEffectInput& in, Leds leds);
    void RenderStatic(const KeyboardEffectInput& in, Leds leds);
    void RenderReaction(const KeyboardEffectInput& in, Leds leds);
    void RenderRipple(const KeyboardEffectInput& in, Leds leds, int kind);
    void RenderRain(const KeyboardEffectInput& in, Leds leds);
    void RenderColourCycle(const KeyboardEffectInput& in, Leds leds);
    void RenderRowWave(const KeyboardEffectInput& in, Leds leds);
    void RenderCentreRipple(const KeyboardEffectInput& in, Leds leds);
    void RenderShow(const KeyboardEffectInput& in, Leds leds);
    void RenderTwinkle(const KeyboardEffectInput& in, Leds leds, uint8_t step);
    void RenderBouncingRipple(const KeyboardEffectInput& in, Leds leds);
    void RenderPreset(const KeyboardEffectInput& in, Leds leds);
    void RenderDiagonals(const KeyboardEffectInput& in, Leds leds);
    void RenderSnake(const KeyboardEffectInput& in, Leds leds);
    void RenderFlash(const KeyboardEffectInput& in, Leds leds, bool fourColours, uint64_t nowMs);
    void RenderBreathing4(const KeyboardEffectInput& in, Leds leds);
    void RenderRollingRows(const KeyboardEffectInput& in, Leds leds);
    void RenderMusic(const KeyboardEffectInput& in, Leds leds);
    void RenderSteps(Leds leds, uint64_t nowMs);
    void ShowLevels(const KeyboardEffectInput& in, Leds leds, const uint8_t* colourPositions);
    void ApplyOverlay(Leds leds, size_t count, uint64_t nowMs);
    void Fill(Leds leds, LedColour c);

    uint8_t m_phase = 0;
    uint8_t m_stepCounter = 0;
    uint8_t m_colourIndex = 0;
    uint8_t m_pingPongDown = 0;
    uint8_t m_flashOn = 0;
    uint64_t m_lastFlashMs = 0;
    uint32_t m_frame = 0;
    uint32_t m_random = 0x2545F491u;
    std::array<uint8_t, kKeyPositions> m_levels{};
    std::array<uint8_t, kKeyPositions> m_colourPos{};
    std::array<uint8_t, kKeyPositions> m_randomPos{};
    std::array<uint8_t, kKeyPositions> m_keyStates{};
    // One byte per column; bit r = row r lit. A and D spread towards column 0, B and C towards
    // column 22; A and B shift towards row 0, C and D towards row 6.
    std::array<std::array<uint8_t, kColumns>, 4> m_planes{};
    std::array<std::array<uint8_t, 100>, 4> m_audio{};
    std::array<int, 25> m_audioLevels{};
    std::array<int, 6> m_external{};

    // Step sequence of modes 0, 28 and 31 and above.
    StepSequence m_steps;
    const int8_t* m_columnOf;  // KeyboardLayout::ColumnOf(), looked up once

    // Per-key overlay.
    std::array<LightInfo, kKeyPositions> m_overlay{};
    size_t m_overlayCount = 0;
    bool m_animatedOverlay = false;
    std::array<uint8_t, kKeyPositions> m_overlayPhase{};
    std::array<uint8_t, kKeyPositions> m_overlayCounter{};
    std::array<uint8_t, kKeyPositions> m_overlayOn{};
    std::array<uint64_t, kKeyPositions> m_overlayToggleMs{};
};

}  // namespace lighting
