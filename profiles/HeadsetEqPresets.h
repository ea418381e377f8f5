#pragma once

#include <array>

// The headset's twelve built-in equaliser curves (presets 1 to 12), band 1 to band 10: the
// values written to the chip when a preset is chosen and shipped in "HD.Json" as
// "EQHzValueInfo"[1..12].
namespace eq {

inline constexpr int kBuiltinPresets = 12;
inline constexpr int kBands = 10;
using Curve = std::array<int, kBands>;

// Preset 1..12; any other number gives preset 1's curve.
const Curve& builtinCurve(int preset);

}  // namespace eq
