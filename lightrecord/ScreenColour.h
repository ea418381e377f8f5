#pragma once

#include <array>
#include <cstdint>
#include <string>

namespace lightrecord {

// The screen's colour for the keyboard's screen-colour effect, from a small grid of points
// sampled on the X11 root window: a few one-pixel rows are fetched, never the whole screen.
// Six values: the grid's mean R, G, B, then R, G, B of its most colourful point.
class ScreenColour {
public:
    static constexpr int kColumns = 16;
    static constexpr int kRows = 9;

    ScreenColour() = default;
    ~ScreenColour();
    ScreenColour(const ScreenColour&) = delete;
    ScreenColour& operator=(const ScreenColour&) = delete;

    // Opens the X display; false (with `why` set) when there is none to sample.
    bool Open(std::string& why);
    // Samples the grid; false when the screen could not be read.
    bool Sample(std::array<int32_t, 6>& colour);

private:
    void* m_display = nullptr;  // Display*
    unsigned long m_root = 0;
    int m_width = 0;
    int m_height = 0;
};

}  // namespace lightrecord
