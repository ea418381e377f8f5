#pragma once

#include <cstdint>

#include "protocol/CommandTransport.h"

// What the mouse's information block says about its sensor, and the conversion between the DPI
// values the page shows and the step indexes the mouse keeps in its DPI stages.
//
// Index i shows i × step + lowest DPI. The sensor with code 13093 changes its pitch after index
// 48: every further index adds 200 DPI, whatever the step below it.
struct MouseSensor {
    static constexpr uint16_t kWideStepSensor = 13093;
    static constexpr int kWideStepFrom = 48;
    static constexpr int kWideStepDpi = 200;

    uint16_t code = 0;
    uint8_t step = 0;      // DPI per index below the wide steps
    uint16_t highest = 0;  // highest step index
    uint16_t lowest = 0;   // DPI of index 0

    // Bytes 9-10 sensor code, 11 step, 12-13 highest index, 14-15 lowest DPI.
    static MouseSensor FromInfoBlock(const CommandTransport::InfoBlock& info);

    bool HasWideSteps() const { return code == kWideStepSensor; }
    // The DPI an index shows.
    int DpiOfIndex(int index) const;
    // The index of a typed DPI: the highest index whose DPI is not above the value (so every
    // value the page shows comes back as its own index), never below 0 nor above the highest.
    int IndexOfDpi(int dpi) const;
    // The highest DPI the page offers.
    int HighestDpi() const { return DpiOfIndex(highest); }
};
