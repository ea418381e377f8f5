#include "devices/KeyboardEffects.h"

#include "devices/LightingTables.h"

#include <algorithm>
#include <utility>

namespace lighting {
namespace {

constexpr uint8_t N = kNoKey;
constexpr uint8_t X = 255;  // no key in the wave columns

constexpr std::array<std::array<uint8_t, kRows>, kColumns> kColumnTable = {{
    {N, 120, 121, 122, 123, 124}, {N, 21, 42, 63, 84, 105}, {0, 22, 43, 64, 102, 106},
    {1, 23, 44, 65, 85, 107},     {2, 24, 45, 66, 86, 20},  {3, 25, 46, 67, 87, 126},
    {4, 26, 47, 68, 88, 127},     {18, 27, 48, 69, 89, 108}, {5, 28, 49, 70, 90, 128},
    {6, 29, 50, 71, 91, 129},     {7, 30, 51, 72, 92, 125}, {8, 31, 52, 73, 93, 109},
    {9, 32, 53, 74, 94, 110},     {10, 33, 54, 75, 95, 112}, {11, 34, 55, 83, 96, 113},
    {12, 36, 103, 62, 19, 114},   {56, 35, 57, 37, 58, 115}, {14, 101, 13, 82, 80, 111},
    {15, 79, 81, 17, 100, 130},   {N, 38, 59, 76, 97, 116}, {N, 39, 60, 77, 98, 104},
    {N, 40, 61, 78, 99, 117},     {N, 41, 16, 119, 118, 131},
}};

constexpr std::array<uint8_t, 84> kKeyOrder = {
    56, 12, 11, 10, 9,  8,  7,  6,  5,  4,  3,  2,  1,  0,  21, 42, 63, 84, 105, 106, 107,
    108, 109, 110, 112, 113, 114, 115, 58, 37, 57, 35, 34, 33, 32, 31, 30, 29, 28, 27, 26, 25,
    24, 23, 22, 43, 64, 102, 85, 86, 87, 88, 89, 90, 91, 92, 93, 94, 95, 96, 55, 54, 53, 52,
    51, 50, 49, 48, 47, 46, 45, 44, 65, 66, 67, 68, 69, 70, 71, 72, 73, 74, 62, 75,
};

constexpr std::array<uint8_t, 110> buildSnake()
{
    std::array<uint8_t, 110> s{};
    size_t n = 0;
    auto up = [&](int from, int to) { for (int k = from; k <= to; ++k) s[n++] = uint8_t(k); };
    auto down = [&](int from, int to) { for (int k = from; k >= to; --k) s[n++] = uint8_t(k); };
    up(0, 15);
    up(17, 20);
    down(41, 21);
    up(42, 61);
    s[n++] = 119, s[n++] = 78, s[n++] = 77, s[n++] = 76, s[n++] = 75, s[n++] = N;
    down(74, 63);
    s[n++] = 84, s[n++] = N;
    up(85, 99);
    down(118, 105);
    return s;
}
constexpr std::array<uint8_t, 110> kSnake = buildSnake();
static_assert(kSnake[109] == 105 && kSnake[80] == N);

constexpr std::array<std::array<uint8_t, 12>, 12> kDiagonals = {{
    {49, N, N, N, N, N, N, N, N, N, N, N},
    {28, 48, 69, 70, 50, 29, N, N, N, N, N, N},
    {6, 27, 47, 68, 89, 90, 91, 71, 51, 30, N, N},
    {5, 26, 46, 67, 88, 109, 92, 72, 52, 31, 7, N},
    {4, 25, 45, 66, 87, 108, 110, 93, 73, 53, 32, 8},
    {3, 24, 44, 65, 86, 107, N, 94, 74, 54, 33, 9},
    {2, 23, 43, 64, 85, 106, 112, N, 62, 55, 34, 10},
    {1, 22, 95, 102, 75, N, N, N, N, N, 11, N},
    {N, 21, 42, 63, 84, 105, N, N, N, 113, 12, N},
    {56, 0, N, N, N, N, 114, 96, N, N, N, N},
    {115, 58, 37, 35, 57, N, N, N, N, N, N, N},
    {N, N, N, N, N, N, N, N, N, N, N, N},
}};

inline constexpr int kMatrixKeys = 132;

// Matrix column and row of a key position, -1 for a position outside the matrix.
constexpr std::pair<int, int> matrixPlace(int key)
{
    for (int c = 0; c < kColumns; ++c)
        for (int r = 0; r < kRows; ++r)
            if (kColumnTable[size_t(c)][size_t(r)] == key) return {c, r};
    return {-1, -1};
}

// Every key of the matrix: the key order first, then the keys it leaves out (number pad, M keys,
// G key, media keys, PrtSc/ScrLk/Pause, Home, Menu) column by column, so that an effect that
// walks the key order also gives those keys a colour of its own.
constexpr std::array<uint8_t, kMatrixKeys> buildAllKeys()
{
    std::array<uint8_t, kMatrixKeys> keys{};
    std::array<bool, kKeyPositions> taken{};
    size_t n = 0;
    for (uint8_t k : kKeyOrder) keys[n++] = k, taken[k] = true;
    for (int c = 0; c < kColumns; ++c)
        for (int r = 0; r < kRows; ++r) {
            const uint8_t k = kColumnTable[size_t(c)][size_t(r)];
            if (k != N && !taken[k]) keys[n++] = k, taken[k] = true;
        }
    return keys;
}
constexpr auto kAllKeys = buildAllKeys();

// The diagonal (ring round key 49) of every key position: a key of the diagonal table takes its
// own, any other matrix key the one of the nearest key that has one. 255 outside the matrix.
std::array<uint8_t, kKeyPositions> buildRingOf()
{
    std::array<uint8_t, kKeyPositions> ring{};
    for (auto& r : ring) r = 255;
    for (int d = 0; d < 12; ++d)
        for (uint8_t k : kDiagonals[size_t(d)])
            if (k != N) ring[k] = uint8_t(d);
    std::array<uint8_t, kKeyPositions> out = ring;
    for (int k = 0; k < kMatrixKeys; ++k) {
        if (ring[size_t(k)] != 255) continue;
        const auto [c, r] = matrixPlace(k);
        int best = 1 << 30;
        for (int j = 0; j < kMatrixKeys; ++j) {
            if (ring[size_t(j)] == 255) continue;
            const auto [cj, rj] = matrixPlace(j);
            const int dist = (c - cj) * (c - cj) + (r - rj) * (r - rj);
            if (dist < best) best = dist, out[size_t(k)] = ring[size_t(j)];
        }
    }
    return out;
}

const std::array<uint8_t, kKeyPositions>& ringOf()
{
    static const std::array<uint8_t, kKeyPositions> rings = buildRingOf();
    return rings;
}

// Physical columns of the board, media row first and the space-bar row last.
constexpr std::array<std::array<uint8_t, 7>, kColumns> kWaveColumns = {{
    {X, X, X, X, X, X, 105},       {X, X, 21, 42, 63, 84, 106},  {X, 0, 22, 43, 64, 85, 107},
    {X, 1, 23, 44, 65, 86, X},     {X, 2, 24, 45, 66, 87, X},    {X, 3, 25, 46, 67, 88, X},
    {X, 4, 26, 47, 68, 89, 108},   {X, 5, 27, 48, 69, 90, X},    {X, 6, 28, 49, 70, 91, X},
    {X, 7, 29, 50, 71, 92, X},     {X, 8, 30, 51, 72, 93, 109},  {X, 9, 31, 52, 73, 94, 110},
    {X, 10, 32, 53, 74, 95, 111},  {X, 12, 34, 55, 75, X, 112},  {16, 13, 35, 56, X, X, 113},
    {17, 14, 36, 57, X, 96, 114},  {19, 15, 37, 58, X, X, 115},  {20, 79, X, X, X, X, X},
    {80, 81, X, X, X, X, X},       {82, 100, 38, 59, 76, 97, X}, {125, 18, 39, 60, 77, 98, 116},
    {101, 131, 40, 61, 78, 99, 117}, {130, X, 41, 119, X, 118, X},
}};

// A band two matrix columns wide sweeps to the right in 26 steps and back in 26.
constexpr std::array<std::array<uint8_t, 12>, 52> buildRollingRows()
{
    std::array<std::array<uint8_t, 12>, 52> t{};
    for (int p = 0; p < 52; ++p) {
        const int step = p < 26 ? p : 51 - p;
        size_t n = 0;
        for (auto& k : t[size_t(p)]) k = N;
        for (int c = step - 2; c <= step - 1; ++c) {
            if (c < 0 || c >= kColumns) continue;
            for (int r = 0; r < kRows; ++r) t[size_t(p)][n++] = kColumnTable[size_t(c)][size_t(r)];
        }
    }
    return t;
}
constexpr auto kRollingRows = buildRollingRows();

// The board's keys column by column, down one column and up the next.
constexpr std::array<uint8_t, 107> buildRainKeys()
{
    std::array<uint8_t, 107> keys{};
    size_t n = 0;
    for (int c = 0; c < kColumns && n < keys.size(); ++c) {
        for (int i = 0; i < kRows && n < keys.size(); ++i) {
            const int r = (c % 2) ? kRows - 1 - i : i;
            const uint8_t k = kColumnTable[size_t(c)][size_t(r)];
            if (k != N) keys[n++] = k;
        }
    }
    return keys;
}
constexpr auto kRainKeys = buildRainKeys();

// A fixed shuffle (Fisher-Yates driven by a linear congruential generator).
constexpr std::array<uint8_t, 104> buildRainPermutation()
{
    std::array<uint8_t, 104> p{};
    for (size_t i = 0; i < p.size(); ++i) p[i] = uint8_t(i);
    uint32_t x = 12345;
    for (size_t i = p.size() - 1; i > 0; --i) {
        x = x * 1103515245u + 12345u;
        const size_t j = (x >> 16) % (i + 1);
        const uint8_t t = p[i];
        p[i] = p[j];
        p[j] = t;
    }
    return p;
}
constexpr auto kRainPermutation = buildRainPermutation();

constexpr std::array<std::array<uint8_t, 6>, 23> kShowGroups = kColumnTable;

constexpr std::array<std::array<uint8_t, 2>, 31> buildShowPairs()
{
    std::array<std::array<uint8_t, 2>, 31> pairs{};
    for (size_t i = 0; i < pairs.size(); ++i) pairs[i] = {kKeyOrder[2 * i], kKeyOrder[2 * i + 1]};
    return pairs;
}
constexpr auto kShowPairs = buildShowPairs();

constexpr std::array<uint8_t, 25> kTwinkleRise = {0,   4,   8,   14,  22,  33,  45,  61,  77,
                                                  84,  100, 110, 120, 130, 140, 150, 158, 166,
                                                  175, 182, 191, 204, 220, 234, 255};

constexpr const auto& kTickRow = kKeyboardTickThreshold;
constexpr uint8_t kPadThreshold[5] = {28, 23, 18, 13, 7};

uint8_t clampSpeed(uint8_t s) { return s < 5 ? s : 0; }

}  // namespace

// --- Layout tables ---

const std::array<std::array<uint8_t, kRows>, kColumns>& KeyboardLayout::Columns() { return kColumnTable; }
const std::array<uint8_t, 84>& KeyboardLayout::KeyOrder() { return kKeyOrder; }
const std::array<uint8_t, 110>& KeyboardLayout::SnakeOrder() { return kSnake; }
const std::array<std::array<uint8_t, 12>, 12>& KeyboardLayout::Diagonals() { return kDiagonals; }
const std::array<std::array<uint8_t, 7>, kColumns>& KeyboardLayout::WaveColumns() { return kWaveColumns; }
const std::array<std::array<uint8_t, 12>, 52>& KeyboardLayout::RollingRows() { return kRollingRows; }
const std::array<uint8_t, 107>& KeyboardLayout::RainKeys() { return kRainKeys; }
const std::array<uint8_t, 104>& KeyboardLayout::RainPermutation() { return kRainPermutation; }
const std::array<std::array<uint8_t, 6>, 23>& KeyboardLayout::ShowGroups() { return kShowGroups; }
const std::array<std::array<uint8_t, 2>, 31>& KeyboardLayout::ShowPairs() { return kShowPairs; }

const std::array<uint8_t, 96>& KeyboardLayout::WaveCurve()
{
    // 22, 24, 27, then an accelerating rise to 255 at step 47; steps 48..95 mirror 47..0.
    static const std::array<uint8_t, 96> curve = [] {
        std::array<uint8_t, 96> c{};
        c[0] = 22, c[1] = 24, c[2] = 27;
        for (int i = 3; i < 48; ++i) {
            const double t = double(i) / 47.0;
            const int v = int(22 + 233 * t * t + 0.5);
            c[size_t(i)] = uint8_t(std::clamp(std::max(v, c[size_t(i - 1)] + 1), 0, 255));
        }
        c[47] = 255;
        for (int i = 48; i < 96; ++i) c[size_t(i)] = c[size_t(95 - i)];
        return c;
    }();
    return curve;
}

const std::array<uint8_t, 192>& KeyboardLayout::TwinkleCurve()
{
    // Rising by hand to 255 at step 24, falling through the breathing curve to 0 at step 88.
    static const std::array<uint8_t, 192> curve = [] {
        std::array<uint8_t, 192> c{};
        for (size_t i = 0; i < kTwinkleRise.size(); ++i) c[i] = kTwinkleRise[i];
        for (int k = 1; k <= 64; ++k) c[size_t(24 + k)] = BreathingCurve()[size_t(63 + k)];
        return c;
    }();
    return curve;
}

const std::array<int8_t, kKeyPositions>& KeyboardLayout::ColumnOf()
{
    static const std::array<int8_t, kKeyPositions> cols = [] {
        std::array<int8_t, kKeyPositions> a{};
        a.fill(-1);
        for (int c = 0; c < kColumns; ++c)
            for (int r = 0; r < kRows; ++r)
                if (kColumnTable[size_t(c)][size_t(r)] != N) a[kColumnTable[size_t(c)][size_t(r)]] = int8_t(c);
        return a;
    }();
    return cols;
}

const std::array<int8_t, kKeyPositions>& KeyboardLayout::RowOf()
{
    static const std::array<int8_t, kKeyPositions> rows = [] {
        std::array<int8_t, kKeyPositions> a{};
        a.fill(-1);
        for (int c = 0; c < kColumns; ++c)
            for (int r = 0; r < kRows; ++r)
                if (kColumnTable[size_t(c)][size_t(r)] != N) a[kColumnTable[size_t(c)][size_t(r)]] = int8_t(r);
        return a;
    }();
    return rows;
}

// --- Engine ---

KeyboardEffects::KeyboardEffects() : m_columnOf(KeyboardLayout::ColumnOf().data()) {}

uint32_t KeyboardEffects::StepTicks(uint8_t mode, uint8_t speed)
{
    speed = clampSpeed(speed);
    switch (mode) {
    case 16:
    case 18: return 3;
    case 29: return 2;
    case 30: return 1;  // every pass: the colour comes from outside
    default: return kTickRow[speed];
    }
}

bool KeyboardEffects::IsStillMode(uint8_t mode)
{
    return mode == 6 || mode == 17 || mode == 19 || mode == 20 || mode == 30;
}

int KeyboardEffects::BarHeight(int level)
{
    const int h = 600 - level * 600 / 2000;
    return h > 600 ? 500 : h;
}

int KeyboardEffects::BarFill(int level)
{
    // The sound's share of the bar: 600 - BarHeight, spread over the levels actually kept
    // (0 to 500) instead of 0 to 2000, so loud music fills the bar and silence leaves it empty.
    return (600 - BarHeight(std::clamp(level, 0, 500))) * 4;
}

uint32_t KeyboardEffects::Random()
{
    // xorshift32: cheap, allocation-free and reproducible once seeded.
    uint32_t x = m_random;
    x ^= x << 13;
    x ^= x >> 17;
    x ^= x << 5;
    return m_random = x;
}

void KeyboardEffects::Reset()
{
    m_phase = 0;
    m_stepCounter = 0;
    m_colourIndex = 0;
    m_pingPongDown = 0;
    m_flashOn = 0;
    m_lastFlashMs = 0;
    m_frame = 0;
    m_levels.fill(0);
    m_colourPos.fill(0);
    m_randomPos.fill(0);
    m_keyStates.fill(0);
    for (auto& p : m_planes) p.fill(0);
    for (auto& a : m_audio) a.fill(0);
    m_audio[3].fill(1);
    m_steps.Reset();
}

void KeyboardEffects::InitColourPositions()
{
    for (int i = 0; i < kKeyPositions; ++i) {
        m_colourPos[size_t(i)] = uint8_t((i * 33) % kWheelSize);
        m_randomPos[size_t(i)] = m_colourPos[size_t(i)];
    }
}

void KeyboardEffects::InitWave(bool phases)
{
    std::array<bool, kKeyPositions> inWave{};
    for (int c = 0; c < kColumns; ++c) {
        for (int r = 0; r < 7; ++r) {
            const uint8_t k = kWaveColumns[size_t(c)][size_t(r)];
            if (k == X) continue;
            inWave[k] = true;
            const int level = ((192 - 8 * c - 35 * r) % 192 + 192) % 192;
            m_levels[k] = uint8_t(level);
            m_randomPos[k] = phases ? uint8_t((7 * c) % kWheelSize) : uint8_t(Random() % kWheelSize);
        }
    }
    // Keys the physical columns leave out start from their matrix place (the matrix has no
    // media row, hence the row one further down).
    for (int k = 0; k < kMatrixKeys; ++k) {
        if (inWave[size_t(k)]) continue;
        const auto [c, r] = matrixPlace(k);
        m_levels[size_t(k)] = uint8_t(((192 - 8 * c - 35 * (r + 1)) % 192 + 192) % 192);
        m_randomPos[size_t(k)] = phases ? uint8_t((7 * c) % kWheelSize) : uint8_t(Random() % kWheelSize);
    }
}

void KeyboardEffects::Enter(const KeyboardEffectInput& in)
{
    Reset();
    switch (in.mode) {
    case 11: InitColourPositions(); break;
    case 13: SeedPlanes(10, 6); break;
    case 15: InitWave(false); break;
    case 16: SeedPlanes(1, 0); break;
    case 22: InitWave(true); break;
    default: InitColourPositions(); break;
    }
}

void KeyboardEffects::SeedPlanes(int column, int row)
{
    for (auto& p : m_planes) p[size_t(column)] |= uint8_t(1u << row);
}

void KeyboardEffects::ClearPlanes()
{
    for (auto& p : m_planes) p.fill(0);
}

bool KeyboardEffects::PlanesEmpty() const
{
    for (const auto& p : m_planes)
        for (uint8_t b : p)
            if (b) return false;
    return true;
}

void KeyboardEffects::StampPlanes(const KeyboardEffectInput& in)
{
    for (int c = 0; c < kColumns; ++c) {
        const uint8_t bits = uint8_t(m_planes[0][size_t(c)] | m_planes[1][size_t(c)] |
                                     m_planes[2][size_t(c)] | m_planes[3][size_t(c)]);
        if (!bits) continue;
        for (int r = 0; r < kRows; ++r) {
            if (!(bits & (1u << r))) continue;
            const uint8_t k = kColumnTable[size_t(c)][size_t(r)];
            if (k == N) continue;
            m_levels[k] = 255;
            if (in.multicolour) m_randomPos[k] = uint8_t(Random() % kWheelSize);
        }
    }
}

void KeyboardEffects::SpreadPlanes()
{
    // Each plane moves one column in its direction; its lit rows also reach one row further in
    // its direction (the rows are widened, not moved), so the four planes together draw a
    // widening ring around the origin. Moving the rows instead would leave four single points
    // running diagonally off the six rows within a few frames: a ring from the top left would
    // never reach the far corner and one from the bottom row would show only a small V.
    constexpr uint8_t kRowMask = 0x7F;
    auto towardsRow0 = [](uint8_t b) { return uint8_t((b | (b >> 1)) & kRowMask); };
    auto towardsRow6 = [](uint8_t b) { return uint8_t((b | (b << 1)) & kRowMask); };
    auto& a = m_planes[0];
    auto& b = m_planes[1];
    auto& c = m_planes[2];
    auto& d = m_planes[3];
    for (int col = 0; col < kColumns - 1; ++col) {
        a[size_t(col)] = towardsRow0(a[size_t(col + 1)]);
        d[size_t(col)] = towardsRow6(d[size_t(col + 1)]);
    }
    a[kColumns - 1] = 0;
    d[kColumns - 1] = 0;
    for (int col = kColumns - 1; col > 0; --col) {
        b[size_t(col)] = towardsRow0(b[size_t(col - 1)]);
        c[size_t(col)] = towardsRow6(c[size_t(col - 1)]);
    }
    b[0] = 0;
    c[0] = 0;
}

void KeyboardEffects::PressRipple(int position)
{
    const auto& col = KeyboardLayout::ColumnOf();
    const auto& row = KeyboardLayout::RowOf();
    if (position < 0 || position >= kKeyPositions || col[size_t(position)] < 0) return;
    SeedPlanes(col[size_t(position)], row[size_t(position)]);
}

void KeyboardEffects::Decay(int position, int kind)
{
    // The reactive decay shared with the other devices' effects: fast from the top, slow near
    // the bottom. Kind 29 (the music bars) falls in larger steps: 255, 210, 165, 125, 90, 55,
    // 20, 15, 14 ... 0. A step of 35 is taken only while it stays above 0, so a level never
    // wraps round and flashes back up.
    uint8_t& v = m_levels[size_t(position)];
    if (kind == 29 || kind == 11) {
        if ((v & 0x90) == 0x90) v = uint8_t(v - 45);
        else if (v & 0x80) v = uint8_t(v - 40);
        else if ((v & 0x70) && v > 35) v = uint8_t(v - 35);
        else if (v > 16) v = uint8_t(v - 5);
        else if (v > 0) v = uint8_t(v - 1);
        return;
    }
    if (v & 0x80) v = uint8_t(v - 40);
    else if (v & 0x40) v = uint8_t(v - 30);
    else if (v & 0x20) v = uint8_t(v - 10);
    else if (v >= 17) v = uint8_t(v - 8);
    else if (v > 0) v = uint8_t(v - 1);
}

LedColour KeyboardEffects::Colour(const KeyboardEffectInput& in, int wheelPosition, uint8_t brightness) const
{
    if (in.multicolour) {
        const Rgb w = ColourWheel()[size_t(unsigned(wheelPosition) % kWheelSize)];
        return {w.red, w.green, w.blue, brightness};
    }
    return {in.red, in.green, in.blue, brightness};
}

void KeyboardEffects::Fill(Leds leds, LedColour c)
{
    std::fill(leds, leds + kKeyPositions, c);
}

void KeyboardEffects::ShowLevels(const KeyboardEffectInput& in, Leds leds, const uint8_t* colourPositions)
{
    const uint8_t full = BrightnessOf(in.brightness);
    for (int k = 0; k < kKeyPositions; ++k)
        leds[k] = Colour(in, colourPositions[k], Scaled(full, m_levels[size_t(k)]));
}

// --- Renderers ---

void KeyboardEffects::RenderColumnWave(const KeyboardEffectInput& in, Leds leds)
{
    const uint8_t full = BrightnessOf(in.brightness);
    const auto& curve = KeyboardLayout::WaveCurve();
    m_phase = Step(in.direction, in.multicolour ? 192 : 96, m_phase, 1);
    for (int c = 0; c < kColumns; ++c) {
        LedColour colour;
        if (in.multicolour)
            colour = Colour(in, (m_phase + 1 + 7 * c) % 192, full);
        else
            colour = {in.red, in.green, in.blue, Scaled(full, curve[size_t((m_phase + 1 + 7 * c) % 96)])};
        for (uint8_t k : kColumnTable[size_t(c)])
            if (k != N) leds[k] = colour;
    }
}

void KeyboardEffects::RenderFineWave(const KeyboardEffectInput& in, Leds leds)
{
    const uint8_t full = BrightnessOf(in.brightness);
    m_phase = Step(in.direction, in.multicolour ? 192 : 128, m_phase, 1);
    for (int c = 0; c < kColumns; ++c) {
        LedColour colour;
        if (in.multicolour)
            colour = Colour(in, (m_phase + 2 * c) % 192, full);
        else
            colour = {in.red, in.green, in.blue, Scaled(full, BreathingCurve()[size_t((m_phase + 7 * c) % 128)])};
        for (uint8_t k : kColumnTable[size_t(c)])
            if (k != N) leds[k] = colour;
    }
}

void KeyboardEffects::RenderSnakeRainbow(const KeyboardEffectInput& in, Leds leds)
{
    const uint8_t full = BrightnessOf(in.brightness);
    const auto& curve = KeyboardLayout::WaveCurve();
    m_phase = Step(in.direction, in.multicolour ? 192 : 96, m_phase, 1);
    for (size_t i = 0; i < kAllKeys.size(); ++i) {
        const int pos = m_phase + 5 * int(i);
        leds[kAllKeys[i]] = in.multicolour ? Colour(in, pos % 192, full)
                                            : LedColour{in.red, in.green, in.blue, Scaled(full, curve[size_t(pos % 96)])};
    }
}

void KeyboardEffects::RenderSpectrum(const KeyboardEffectInput& in, Leds leds)
{
    m_phase = Step(in.direction, kWheelSize, m_phase, 1);
    const Rgb w = ColourWheel()[m_phase % kWheelSize];
    Fill(leds, {w.red, w.green, w.blue, BrightnessOf(in.brightness)});
}

void KeyboardEffects::RenderColumnBreathing(const KeyboardEffectInput& in, Leds leds)
{
    // Up from 0 to 127 and back down to 0.
    if (!m_pingPongDown) {
        if (m_phase >= 127) m_pingPongDown = 1, m_phase = 126;
        else ++m_phase;
    } else {
        if (m_phase == 0) m_pingPongDown = 0, m_phase = 1;
        else --m_phase;
    }
    const uint8_t level = Scaled(BrightnessOf(in.brightness), BreathingCurve()[m_phase % 128]);
    for (int c = 0; c < kColumns; ++c) {
        const LedColour colour = Colour(in, 7 * c, level);
        for (uint8_t k : kColumnTable[size_t(c)])
            if (k != N) leds[k] = colour;
    }
}

void KeyboardEffects::RenderStatic(const KeyboardEffectInput& in, Leds leds)
{
    const uint8_t full = BrightnessOf(in.brightness);
    if (!in.multicolour) {
        Fill(leds, {in.red, in.green, in.blue, full});
        return;
    }
    // The diagonals' colours; the keys outside the diagonal table (number pad, M keys and the
    // like) take the colour of the nearest diagonal rather than staying dark.
    std::array<LedColour, 12> colours;
    for (int d = 0; d < 12; ++d) {
        int pos = 138 - 12 * d;
        if (pos < 0) pos += 162;
        colours[size_t(d)] = Colour(in, pos, full);
    }
    Fill(leds, {});
    const auto& ring = ringOf();
    for (uint8_t k : kAllKeys) leds[k] = colours[ring[k]];
}

void KeyboardEffects::RenderReaction(const KeyboardEffectInput& in, Leds leds)
{
    for (int k = 0; k < kKeyPositions; ++k) {
        uint8_t& level = m_levels[size_t(k)];
        if (m_keyStates[size_t(k)] == 1)
            level = uint8_t(std::min(255, level + 15));
        else if (m_keyStates[size_t(k)] == 2)
            level = uint8_t(std::max(0, level - 5));
    }
    ShowLevels(in, leds, m_randomPos.data());
}

void KeyboardEffects::RenderRipple(const KeyboardEffectInput& in, Leds leds, int kind)
{
    StampPlanes(in);
    if (kind == 8) SpreadPlanes();
    else ClearPlanes();
    for (int k = 0; k < kKeyPositions; ++k) {
        Decay(k, kind);
        if (kind == 8) m_randomPos[size_t(k)] = uint8_t((m_randomPos[size_t(k)] + 7) % kWheelSize);
    }
    ShowLevels(in, leds, m_randomPos.data());
}

void KeyboardEffects::RenderRain(const KeyboardEffectInput& in, Leds leds)
{
    for (int i = 0; i < 6; ++i) {
        const uint8_t k = kRainKeys[kRainPermutation[Random() % 104]];
        m_levels[k] = 255;
        m_randomPos[k] = uint8_t(Random() % kWheelSize);
    }
    for (int k = 0; k < kKeyPositions; ++k) Decay(k, 10);
    ShowLevels(in, leds, m_randomPos.data());
}

void KeyboardEffects::RenderColourCycle(const KeyboardEffectInput& in, Leds leds)
{
    const uint8_t full = BrightnessOf(in.brightness);
    for (int k = 0; k < kKeyPositions; ++k) {
        m_randomPos[size_t(k)] = uint8_t((m_randomPos[size_t(k)] + 1) % kWheelSize);
        leds[k] = Colour(in, m_randomPos[size_t(k)], full);
    }
}

void KeyboardEffects::RenderRowWave(const KeyboardEffectInput& in, Leds leds)
{
    const uint8_t full = BrightnessOf(in.brightness);
    m_phase = Step(in.direction, kWheelSize, m_phase, 1);
    for (int r = 0; r < kRows; ++r) {
        const LedColour colour = Colour(in, (m_phase + 1 + 24 * r) % 192, full);
        for (int c = 0; c < kColumns; ++c) {
            const uint8_t k = kColumnTable[size_t(c)][size_t(r)];
            if (k != N) leds[k] = colour;
        }
    }
}

void KeyboardEffects::RenderCentreRipple(const KeyboardEffectInput& in, Leds leds)
{
    // Once the ring has left the board a new one starts from column 10. The planes move off
    // column 10 at their first spread and never come back to it, so waiting there for a
    // particular row would start only the first ring; an empty set of planes is the moment the
    // last ring is gone.
    if (PlanesEmpty()) SeedPlanes(10, 6);
    if (++m_frame % 2 == 0) {
        StampPlanes(in);
        SpreadPlanes();
    }
    for (int k = 0; k < kKeyPositions; ++k) Decay(k, 13);
    ShowLevels(in, leds, m_randomPos.data());
}

void KeyboardEffects::RenderShow(const KeyboardEffectInput& in, Leds leds)
{
    constexpr int kPairFrames = 31;
    switch (m_stepCounter) {
    case 0:  // a curtain of columns, six keys a frame
        for (uint8_t k : kShowGroups[m_phase % kShowGroups.size()])
            if (k != N) m_levels[k] = 255, m_randomPos[k] = uint8_t(Random() % kWheelSize);
        if (++m_phase >= kShowGroups.size()) m_phase = 0, m_stepCounter = 1;
        break;
    case 1:  // pairs along the main block, then wait for the block to go dark
        if (m_phase < kPairFrames) {
            for (uint8_t k : kShowPairs[m_phase]) m_levels[k] = 255, m_randomPos[k] = uint8_t(Random() % kWheelSize);
            ++m_phase;
        } else if (m_levels[51] == 0) {
            m_phase = 0;
            m_stepCounter = 2;
        }
        break;
    case 2:
        PressRipple(50);
        m_stepCounter = 3;
        break;
    case 3:
        StampPlanes(in);
        SpreadPlanes();
        if (m_levels[125] != 0 || PlanesEmpty()) m_stepCounter = 4;
        break;
    default:
        StampPlanes(in);
        SpreadPlanes();
        if (m_levels[125] == 0 && PlanesEmpty()) {
            ClearPlanes();
            m_stepCounter = 0;
            m_phase = 0;
        }
        break;
    }
    for (int k = 0; k < kKeyPositions; ++k) Decay(k, 14);
    ShowLevels(in, leds, m_randomPos.data());
}

void KeyboardEffects::RenderTwinkle(const KeyboardEffectInput& in, Leds leds, uint8_t step)
{
    const uint8_t full = BrightnessOf(in.brightness);
    const auto& curve = KeyboardLayout::TwinkleCurve();
    for (uint8_t k : kAllKeys) {
        int level = m_levels[k] + step;
        if (level >= 192) {
            level = 0;
            m_randomPos[k] = uint8_t(Random() % kWheelSize);
        }
        m_levels[k] = uint8_t(level);
        leds[k] = Colour(in, m_randomPos[k], Scaled(full, curve[size_t(level)]));
    }
}

void KeyboardEffects::RenderBouncingRipple(const KeyboardEffectInput& in, Leds leds)
{
    // A ring that reached a far corner starts again from that corner (once the corner shows).
    StampPlanes(in);
    if ((m_planes[0][0] | m_planes[3][0]) & 0x01) {
        ClearPlanes();
        SeedPlanes(0, 0);
    } else if ((m_planes[1][kColumns - 1] | m_planes[2][kColumns - 1]) & 0x40) {
        ClearPlanes();
        SeedPlanes(kColumns - 1, 6);
    } else if (PlanesEmpty()) {
        SeedPlanes(1, 0);
    }
    SpreadPlanes();
    for (int k = 0; k < kKeyPositions; ++k) Decay(k, 16);
    ShowLevels(in, leds, m_randomPos.data());
}

void KeyboardEffects::RenderPreset(const KeyboardEffectInput& in, Leds leds)
{
    int pos = 174;
    switch (in.presetColour) {
    case 1: pos = 25; break;
    case 2: pos = 70; break;
    case 3: pos = 95; break;
    default: break;
    }
    const Rgb w = ColourWheel()[size_t(pos)];
    Fill(leds, {w.red, w.green, w.blue, BrightnessOf(in.brightness)});
}

void KeyboardEffects::RenderDiagonals(const KeyboardEffectInput& in, Leds leds)
{
    const uint8_t full = BrightnessOf(in.brightness);
    m_phase = Step(in.direction, kWheelSize, m_phase, 1);
    std::array<LedColour, 12> colours;
    for (int d = 0; d < 12; ++d) colours[size_t(d)] = Colour(in, (m_phase + 7 * (d + 1)) % 192, full);
    const auto& ring = ringOf();
    for (uint8_t k : kAllKeys) leds[k] = colours[ring[k]];
}

void KeyboardEffects::RenderSnake(const KeyboardEffectInput& in, Leds leds)
{
    // m_phase is the place the snake's head takes next; marked places hold no key.
    for (size_t tries = 0; tries < kSnake.size(); ++tries) {
        const uint8_t k = kSnake[m_phase % kSnake.size()];
        m_phase = in.direction ? uint8_t((m_phase + 1) % kSnake.size())
                               : uint8_t((m_phase + kSnake.size() - 1) % kSnake.size());
        if (k != N) {
            m_levels[k] = 254;
            break;
        }
    }
    // Every key fades, not only those of the main block: the snake also runs over the media
    // and number-pad keys, which would otherwise stay lit.
    for (int k = 0; k < kKeyPositions; ++k) Decay(k, 21);
    ShowLevels(in, leds, m_randomPos.data());
}

void KeyboardEffects::RenderFlash(const KeyboardEffectInput& in, Leds leds, bool fourColours, uint64_t nowMs)
{
    if (nowMs - m_lastFlashMs >= FlashPeriodMs(in.speed)) {
        m_flashOn = !m_flashOn;
        m_lastFlashMs = nowMs;
        // The four colours move on when the keys light, so each lit phase shows the next one
        // (moving on at the dark phases as well would show only every other colour).
        if (fourColours) {
            if (m_flashOn) m_colourIndex = uint8_t((m_colourIndex + 1) % 4);
        }
        else m_colourIndex = uint8_t(m_colourIndex + 16 >= kWheelSize ? 0 : m_colourIndex + 16);
    }
    if (!m_flashOn) {
        Fill(leds, {});
        return;
    }
    const uint8_t full = BrightnessOf(in.brightness);
    if (fourColours) {
        const Rgb c = kBaseColours[m_colourIndex % 4];
        Fill(leds, {c.red, c.green, c.blue, full});
    } else {
        Fill(leds, Colour(in, m_colourIndex, full));
    }
}

void KeyboardEffects::RenderBreathing4(const KeyboardEffectInput& in, Leds leds)
{
    m_phase = Step(in.direction, kBreathingSteps, m_phase, 1);
    if (m_phase == 0) m_colourIndex = uint8_t((m_colourIndex + 1) % 4);
    const Rgb c = kBaseColours[m_colourIndex % 4];
    Fill(leds, {c.red, c.green, c.blue, Scaled(BrightnessOf(in.brightness), BreathingCurve()[m_phase % 128])});
}

void KeyboardEffects::RenderRollingRows(const KeyboardEffectInput& in, Leds leds)
{
    m_phase = uint8_t((m_phase + 1) % kRollingRows.size());
    for (uint8_t k : kRollingRows[m_phase])
        if (k != N) m_levels[k] = 255, m_colourPos[k] = 0;
    const uint8_t full = BrightnessOf(in.brightness);
    for (int k = 0; k < kKeyPositions; ++k) {
        uint8_t& level = m_levels[size_t(k)];
        level = level > 5 ? uint8_t(level - 5) : 0;
        uint8_t& pos = m_colourPos[size_t(k)];
        pos = uint8_t(std::min(255, pos + 3));
    }
    // The key lit this frame shows its full level; the others their faded one.
    for (uint8_t k : kRollingRows[m_phase])
        if (k != N) m_levels[k] = 255, m_colourPos[k] = 0;
    for (int k = 0; k < kKeyPositions; ++k) {
        if (in.multicolour)
            leds[k] = Colour(in, std::min<int>(m_colourPos[size_t(k)], kWheelSize - 1), full);
        else
            leds[k] = {in.red, in.green, in.blue, Scaled(full, m_levels[size_t(k)])};
    }
}

void KeyboardEffects::RenderMusic(const KeyboardEffectInput& settings, Leds leds)
{
    KeyboardEffectInput in = settings;
    in.red = settings.musicRed, in.green = settings.musicGreen, in.blue = settings.musicBlue;
    in.multicolour = settings.musicColourful;
    const uint8_t full = BrightnessOf(in.brightness);
    m_audio[0].fill(0);
    // m_audio[0] marks the keys inside a bar this frame; m_audio[1] holds each bar's colour
    // position by column, m_audio[2][0] the running offset of style 0.
    uint8_t* inside = m_audio[0].data();
    auto light = [&](int column, int row, int wheelPosition) {
        if (column < 0 || column >= kColumns || row < 0 || row >= kRows) return;
        const uint8_t k = kColumnTable[size_t(column)][size_t(row)];
        if (k == N) return;
        inside[k % 100] |= uint8_t(1u << (k / 100));
        m_levels[k] = 255;
        m_randomPos[k] = uint8_t(wheelPosition % kWheelSize);
    };
    auto height = [&](int index) { return BarHeight(m_audioLevels[size_t(index % 25)]); };
    // How much of a bar a level fills (0 at silence, 600 at the loudest level kept).
    auto fill = [&](int index) { return BarFill(m_audioLevels[size_t(index % 25)]); };

    switch (in.musicStyle) {
    case 0: {
        if (++m_frame % 30 == 0) m_audio[2][0] = uint8_t((m_audio[2][0] + 1) % 25);
        for (int c = 0; c < kColumns; ++c) {
            const int rows = std::min(kRows, fill(c + m_audio[2][0]) * kRows / 600);
            for (int r = kRows - rows; r < kRows; ++r) light(c, r, 7 * c);
        }
        break;
    }
    case 1: {
        for (int r = 0; r < kRows; ++r) {
            const int left = std::min(11, fill(r) * 11 / 600);
            const int right = std::min(11, fill(12 + r) * 11 / 600);
            for (int i = 0; i < left; ++i) light(10 - i, r, 7 * (10 - i));
            for (int i = 0; i < right; ++i) light(12 + i, r, 7 * (12 + i));
        }
        break;
    }
    case 2: {
        int sum = 0;
        for (int i = 0; i < 25; ++i) sum += height(i);
        const int mean = sum / 25;
        m_stepCounter = uint8_t(m_stepCounter + std::max(0, 25 - mean * 25 / 600));
        if (m_stepCounter >= 71) {
            m_stepCounter = 0;
            PressRipple(51);
        }
        StampPlanes(in);
        SpreadPlanes();
        break;
    }
    default: {
        // Six bars, one per row, from groups of 2, 3, 3, 4, 5 and 7 levels.
        static constexpr int kGroupSize[kRows] = {2, 3, 3, 4, 5, 7};
        int first = 0;
        for (int g = 0; g < kRows; ++g) {
            int sum = 0;
            for (int i = 0; i < kGroupSize[g]; ++i) sum += m_audioLevels[size_t(first + i)];
            first += kGroupSize[g];
            const int length = std::min(kColumns, BarFill(sum / 3) * kColumns / 600);
            for (int i = 0; i < length; ++i) {
                switch (in.musicStyle) {
                case 3: light(i, g, 7 * i); break;                          // from the left
                case 4: light(kColumns - 1 - i, g, 7 * i); break;           // from the right
                case 5:                                                     // from the middle
                    if (i % 2 == 0) light(11 + i / 2, g, 3 * i);
                    else light(11 - (i + 1) / 2, g, 3 * i);
                    break;
                default: light(i, kRows - 1 - g, 3 * i + m_phase); break;   // upwards, drifting
                }
            }
        }
        if (in.musicStyle >= 6) m_phase = uint8_t((m_phase + 1) % kWheelSize);
        break;
    }
    }

    for (int k = 0; k < kKeyPositions; ++k) {
        const bool lit = (inside[k % 100] >> (k / 100)) & 1;
        if (lit) {
            leds[k] = Colour(in, m_randomPos[size_t(k)], full);
            continue;
        }
        Decay(k, 29);
        const uint8_t level = m_levels[size_t(k)];
        leds[k] = level > 9 ? Colour(in, m_randomPos[size_t(k)], Scaled(full, level)) : LedColour{};
    }
}

void KeyboardEffects::RenderSteps(Leds leds, uint64_t nowMs)
{
    // The wave step runs along the keys' matrix columns; keys outside the matrix take column 0.
    m_steps.Render(leds, size_t(kKeyPositions), nowMs, m_columnOf);
}

void KeyboardEffects::Render(const KeyboardEffectInput& in, LedColour* leds, size_t count, uint64_t nowMs)
{
    if (count < size_t(kKeyPositions)) return;
    switch (in.mode) {
    case 1: RenderColumnWave(in, leds); break;
    case 2: RenderFineWave(in, leds); break;
    case 3: RenderSnakeRainbow(in, leds); break;
    case 4: RenderSpectrum(in, leds); break;
    case 5:
    case 26:
        if (in.mode == 5) RenderColumnBreathing(in, leds);
        else RenderBreathing4(in, leds);
        break;
    case 6: RenderStatic(in, leds); break;
    case 7:
    case 25: RenderReaction(in, leds); break;
    case 8: RenderRipple(in, leds, 8); break;
    case 9: RenderRipple(in, leds, 9); break;
    case 10: RenderRain(in, leds); break;
    case 11: RenderColourCycle(in, leds); break;
    case 12: RenderRowWave(in, leds); break;
    case 13: RenderCentreRipple(in, leds); break;
    case 14: RenderShow(in, leds); break;
    case 15: RenderTwinkle(in, leds, 2); break;
    case 16: RenderBouncingRipple(in, leds); break;
    case 17: RenderPreset(in, leds); break;
    case 18: RenderDiagonals(in, leds); break;
    case 19: {
        const uint8_t full = BrightnessOf(in.brightness);
        for (int k = 0; k < kKeyPositions; ++k) leds[k].brightness = full;
        break;
    }
    case 20: Fill(leds, {}); break;
    case 21: RenderSnake(in, leds); break;
    case 22: RenderTwinkle(in, leds, 1); break;
    case 23: RenderFlash(in, leds, false, nowMs); break;
    case 24: RenderRollingRows(in, leds); break;
    case 27: RenderFlash(in, leds, true, nowMs); break;
    case 29: RenderMusic(in, leds); break;
    case 30: {
        auto component = [](int v) { return uint8_t(std::clamp(v, 0, 255)); };
        Fill(leds, {component(m_external[0]), component(m_external[1]), component(m_external[2]),
                    BrightnessOf(in.brightness)});
        break;
    }
    default: RenderSteps(leds, nowMs); break;
    }
    if (m_overlayCount) ApplyOverlay(leds, count, nowMs);
}

void KeyboardEffects::ApplyOverlay(Leds leds, size_t count, uint64_t nowMs)
{
    const size_t n = std::min(count, m_overlay.size());
    for (size_t k = 0; k < n; ++k) {
        const LightInfo& r = m_overlay[k];
        if (!r.present) continue;
        const uint8_t speed = clampSpeed(r.speed);
        const uint8_t bright = BrightnessOf(r.brightness);
        switch (r.mode) {
        case 0: {
            if (++m_overlayCounter[k] >= kPadThreshold[speed]) {
                m_overlayCounter[k] = 0;
                m_overlayPhase[k] = uint8_t((m_overlayPhase[k] + 1) % 128);
            }
            const uint8_t level = Scaled(bright, BreathingCurve()[m_overlayPhase[k]]);
            if (r.multicolour) {
                const Rgb w = ColourWheel()[size_t((m_overlayPhase[k] * 3 / 2) % kWheelSize)];
                leds[k] = {w.red, w.green, w.blue, level};
            } else {
                leds[k] = {r.red, r.green, r.blue, level};
            }
            break;
        }
        case 1: leds[k] = {r.red, r.green, r.blue, bright}; break;
        case 3: {
            if (++m_overlayCounter[k] >= kPadThreshold[speed]) {
                m_overlayCounter[k] = 0;
                m_overlayPhase[k] = uint8_t(m_overlayPhase[k] >= kWheelSize - 1 ? 0 : m_overlayPhase[k] + 1);
            }
            const Rgb w = ColourWheel()[m_overlayPhase[k] % kWheelSize];
            leds[k] = {w.red, w.green, w.blue, bright};
            break;
        }
        case 2: {
            if (nowMs - m_overlayToggleMs[k] >= FlashPeriodMs(speed)) {
                m_overlayOn[k] = !m_overlayOn[k];
                m_overlayToggleMs[k] = nowMs;
                if (m_overlayOn[k]) m_overlayPhase[k] = uint8_t((m_overlayPhase[k] + 16) % kWheelSize);
            }
            if (!m_overlayOn[k]) {
                leds[k] = {};
            } else if (r.multicolour) {
                const Rgb w = ColourWheel()[m_overlayPhase[k] % kWheelSize];
                leds[k] = {w.red, w.green, w.blue, bright};
            } else {
                leds[k] = {r.red, r.green, r.blue, bright};
            }
            break;
        }
        case 4: leds[k] = {}; break;
        default: break;
        }
    }
}

// --- Inputs ---

void KeyboardEffects::KeyEvent(int position, int action, uint8_t mode)
{
    if (position < 0 || position >= kKeyPositions) return;
    const auto p = size_t(position);
    if (mode == 7) {
        if (action == 1) {
            m_levels[p] = 255;
            m_randomPos[p] = uint8_t(Random() % kWheelSize);
            m_keyStates[p] = 1;
        } else {
            m_keyStates[p] = 2;
        }
    } else if (mode == 8 || mode == 9) {
        if (action == 1) PressRipple(position);
    } else if (mode == 25) {
        const int col = KeyboardLayout::ColumnOf()[p];
        const int row = KeyboardLayout::RowOf()[p];
        if (col < 0) return;
        // The key, the places one and two rows above and below it, the places of its own and
        // the neighbouring rows in the two columns beside it, and its row two columns away.
        static constexpr int kNeighbours[][2] = {{0, -2}, {0, -1}, {0, 1},  {0, 2},  {-1, -1},
                                                 {-1, 0}, {-1, 1}, {1, -1}, {1, 0},  {1, 1},
                                                 {-2, 0}, {2, 0}};
        auto keyAt = [](int c, int r) -> int {
            if (c < 0 || c >= kColumns || r < 0 || r >= kRows) return -1;
            const uint8_t k = kColumnTable[size_t(c)][size_t(r)];
            return k == N ? -1 : k;
        };
        if (action == 1) {
            m_keyStates[p] = 1;
            m_levels[p] = 255;
            m_randomPos[p] = uint8_t(Random() % kWheelSize);
            for (const auto& d : kNeighbours) {
                const int k = keyAt(col + d[0], row + d[1]);
                if (k < 0) continue;
                m_levels[size_t(k)] = uint8_t(std::min(255, m_levels[size_t(k)] + 60));
                m_keyStates[size_t(k)] = 1;
                m_randomPos[size_t(k)] = m_randomPos[p];
            }
            return;
        }
        // Release: the key and its neighbours fall unless another held key still reaches them.
        m_keyStates[p] = 2;
        auto heldNear = [&](int c, int r) {
            for (const auto& d : kNeighbours) {
                const int k = keyAt(c - d[0], r - d[1]);
                if (k >= 0 && k != position && m_keyStates[size_t(k)] == 1 && m_levels[size_t(k)] == 255)
                    return true;
            }
            return false;
        };
        for (const auto& d : kNeighbours) {
            const int k = keyAt(col + d[0], row + d[1]);
            if (k < 0) continue;
            if (!heldNear(col + d[0], row + d[1])) m_keyStates[size_t(k)] = 2;
        }
    }
}

void KeyboardEffects::SetAudioLevels(const int* levels, int count)
{
    const int n = std::clamp(count, 0, 25);
    for (int i = 0; i < n; ++i) m_audioLevels[size_t(i)] = std::min(levels[i], 500);
}

void KeyboardEffects::SetExternalColour(const int* values, int count)
{
    const int n = std::clamp(count, 0, 6);
    for (int i = 0; i < n; ++i) m_external[size_t(i)] = values[i];
}

void KeyboardEffects::SetSteps(const std::vector<LedEffectStep>& steps)
{
    m_steps.SetSteps(steps);
}

void KeyboardEffects::SetOverlay(const std::vector<LightInfo>& records)
{
    m_overlay.fill(LightInfo{});
    m_overlayCount = 0;
    m_animatedOverlay = false;
    for (size_t k = 0; k < records.size() && k < m_overlay.size(); ++k) {
        m_overlay[k] = records[k];
        if (!records[k].present) continue;
        ++m_overlayCount;
        if (records[k].mode == 0 || records[k].mode == 2 || records[k].mode == 3) m_animatedOverlay = true;
    }
    m_overlayPhase.fill(0);
    m_overlayCounter.fill(0);
    m_overlayOn.fill(0);
    m_overlayToggleMs.fill(0);
}

}  // namespace lighting
