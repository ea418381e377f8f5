#include "devices/MouseSensor.h"

#include <algorithm>

MouseSensor MouseSensor::FromInfoBlock(const CommandTransport::InfoBlock& info)
{
    MouseSensor s;
    s.code = uint16_t(info[9] | (info[10] << 8));
    s.step = info[11];
    s.highest = uint16_t(info[12] | (info[13] << 8));
    s.lowest = uint16_t(info[14] | (info[15] << 8));
    return s;
}

int MouseSensor::DpiOfIndex(int index) const
{
    if (HasWideSteps() && index > kWideStepFrom)
        return kWideStepFrom * step + lowest + (index - kWideStepFrom) * kWideStepDpi;
    return index * step + lowest;
}

int MouseSensor::IndexOfDpi(int dpi) const
{
    dpi = std::max(dpi, int(lowest));
    int index = 0;
    const int wideFrom = DpiOfIndex(kWideStepFrom);
    if (HasWideSteps() && dpi > wideFrom) {
        // Above index 48 the indexes are 200 DPI apart: a typed value between two of them
        // falls to the lower one, as it does below.
        index = kWideStepFrom + (dpi - wideFrom) / kWideStepDpi;
    } else if (step > 0) {
        index = (dpi - lowest) / step;
    }
    return std::clamp(index, 0, int(highest));
}
