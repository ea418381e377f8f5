#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "profiles/ProfileRecords.h"

// The settings blocks of the mouse and the mouse pad as the firmware keeps them, built from the
// profile and read back into it. Pure functions, so every byte can be checked without a device.
namespace blocks {

// A device's light mode byte for the profile's "SelectItem": the mode list maps one to the
// other. A "SelectItem" above `highestItem` (or past the list) counts as 0; an empty list (no
// lighting names file) leaves the item as it is.
uint8_t ModeByteOf(const std::vector<int>& modeList, int selectItem, int highestItem);
// "SelectItem" of a device's mode byte: the first list index holding it, else `fallback`.
int ModeItemOf(const std::vector<int>& modeList, uint8_t modeByte, int fallback);

// The mouse: 66 bytes written at 128 × slot; 71 bytes read there.
inline constexpr size_t kMouseWriteLength = 66;
inline constexpr size_t kMouseReadLength = 71;
inline constexpr uint32_t kMouseStride = 128;
inline constexpr int kMouseStages = 5;
inline constexpr int kMouseHighestItem = 9;
// Offsets of the mouse's block.
namespace mouse {
inline constexpr size_t kProfile = 0;      // active profile
inline constexpr size_t kMode = 1;         // light mode byte
inline constexpr size_t kBrightness = 2;   // "Light"
inline constexpr size_t kSpeed = 3;        // 4 − "Speed"
inline constexpr size_t kDirection = 4;    // "Fx"
inline constexpr size_t kMulticolour = 5;  // "MultiColor"
inline constexpr size_t kRed = 6;          // then green, blue
inline constexpr size_t kPollingRate = 11; // "ReportStages" "StageActive"
inline constexpr size_t kCurrentStage = 12;
inline constexpr size_t kStages = 14;      // 9 bytes per stage: enable, XY, X (2), Y (2), RGB
inline constexpr size_t kStageLength = 9;
inline constexpr size_t kThird = 59;       // fixed 1 from the callers
inline constexpr size_t kScreenWidth = 60; // 2 bytes
inline constexpr size_t kScreenHeight = 62;// 2 bytes
inline constexpr size_t kCorrectMinSq = 64;
inline constexpr size_t kCorrectPixThresh = 65;
}  // namespace mouse
static_assert(mouse::kStages + kMouseStages * mouse::kStageLength == mouse::kThird);

struct MouseBlockSource {
    LightInfo light;
    int pollingRate = 0;   // "ReportStages" "StageActive"
    int currentStage = 0;  // "DPIStages" "StageActive"
    std::vector<DpiStage> stages;
    std::vector<CorrectPreset> correct;
};

std::array<uint8_t, kMouseWriteLength> BuildMouseBlock(const MouseBlockSource& source,
                                                      const std::vector<int>& modeList,
                                                      uint8_t firstByte, uint8_t thirdByte,
                                                      uint16_t width, uint16_t height);

// The pad: 27 bytes read at 26 × P (the first 21 kept), 21 written at 64 × slot. Bytes 9 to 20
// are the pad's own and go back as it reported them.
inline constexpr size_t kPadLength = 21;
inline constexpr size_t kPadReadLength = 27;
inline constexpr uint32_t kPadReadStride = 26;
inline constexpr uint32_t kPadWriteStride = 64;
inline constexpr int kPadHighestItem = 8;
using PadBlock = std::array<uint8_t, kPadLength>;

// The live block with the profile's light values put in (bytes 1, 2, 3, 5, 6-8).
PadBlock ApplyPadLight(PadBlock live, const LightInfo& light);
// The block as written: the live block with the mode byte and the speed byte as sent.
PadBlock BuildPadBlock(PadBlock live, const std::vector<int>& modeList, int selectItem,
                       int speedLevel);

}  // namespace blocks
