#include "devices/SettingsBlocks.h"

#include <algorithm>

namespace blocks {

uint8_t ModeByteOf(const std::vector<int>& modeList, int selectItem, int highestItem)
{
    if (selectItem > highestItem || selectItem < 0)
        selectItem = 0;
    if (modeList.empty())
        return uint8_t(selectItem);
    if (size_t(selectItem) >= modeList.size())
        selectItem = 0;
    return uint8_t(modeList[size_t(selectItem)]);
}

int ModeItemOf(const std::vector<int>& modeList, uint8_t modeByte, int fallback)
{
    const auto it = std::find(modeList.begin(), modeList.end(), int(modeByte));
    return it == modeList.end() ? fallback : int(it - modeList.begin());
}

namespace {

void put16(uint8_t* at, uint16_t value)
{
    at[0] = uint8_t(value);
    at[1] = uint8_t(value >> 8);
}

uint8_t speedByte(int level)
{
    return uint8_t(4 - std::clamp(level, 0, 4));
}

}  // namespace

std::array<uint8_t, kMouseWriteLength> BuildMouseBlock(const MouseBlockSource& source,
                                                      const std::vector<int>& modeList,
                                                      uint8_t firstByte, uint8_t thirdByte,
                                                      uint16_t width, uint16_t height)
{
    using namespace mouse;
    std::array<uint8_t, kMouseWriteLength> b{};
    const LightInfo& l = source.light;
    b[kProfile] = firstByte;
    b[kMode] = ModeByteOf(modeList, l.mode, kMouseHighestItem);
    b[kBrightness] = l.brightness;
    b[kSpeed] = speedByte(l.speed);
    b[kDirection] = l.direction;
    b[kMulticolour] = l.multicolour;
    b[kRed] = l.red;
    b[kRed + 1] = l.green;
    b[kRed + 2] = l.blue;
    b[kPollingRate] = uint8_t(source.pollingRate);
    b[kCurrentStage] = uint8_t(source.currentStage);
    for (size_t s = 0; s < size_t(kMouseStages) && s < source.stages.size(); ++s) {
        const DpiStage& st = source.stages[s];
        uint8_t* at = &b[kStages + s * kStageLength];
        at[0] = st.active;
        at[1] = st.xy;
        put16(at + 2, st.dpiX);
        put16(at + 4, st.dpiY);
        at[6] = st.red;
        at[7] = st.green;
        at[8] = st.blue;
    }
    b[kThird] = thirdByte;
    put16(&b[kScreenWidth], width);
    put16(&b[kScreenHeight], height);
    for (const CorrectPreset& p : source.correct) {
        if (p.select) {
            b[kCorrectMinSq] = p.minSq;
            b[kCorrectPixThresh] = p.pixThresh;
            break;
        }
    }
    return b;
}

PadBlock ApplyPadLight(PadBlock live, const LightInfo& light)
{
    live[1] = light.mode;
    live[2] = light.brightness;
    live[3] = light.speed;
    live[5] = light.multicolour;
    live[6] = light.red;
    live[7] = light.green;
    live[8] = light.blue;
    return live;
}

PadBlock BuildPadBlock(PadBlock live, const std::vector<int>& modeList, int selectItem,
                       int speedLevel)
{
    live[1] = ModeByteOf(modeList, selectItem, kPadHighestItem);
    live[3] = speedByte(speedLevel);
    return live;
}

}  // namespace blocks
