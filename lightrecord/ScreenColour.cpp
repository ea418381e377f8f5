#include "lightrecord/ScreenColour.h"

#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <algorithm>
#include <cstdlib>
#include <cstring>

namespace lightrecord {

namespace {

int IgnoreXError(Display*, XErrorEvent*)
{
    return 0;
}

}  // namespace

ScreenColour::~ScreenColour()
{
    if (m_display)
        XCloseDisplay(static_cast<Display*>(m_display));
}

bool ScreenColour::Open(std::string& why)
{
    const char* session = std::getenv("XDG_SESSION_TYPE");
    if (session && std::strcmp(session, "wayland") == 0) {
        // Under Wayland the X root window (Xwayland) shows no other program's pixels.
        why = "a Wayland session: the screen colour needs the desktop's screen-cast portal, which this "
              "build does not use; no screen colour is sent";
        return false;
    }
    const char* name = std::getenv("DISPLAY");
    if (!name || !*name) {
        why = "no X display (DISPLAY is not set); no screen colour is sent";
        return false;
    }
    Display* d = XOpenDisplay(name);
    if (!d) {
        why = std::string("cannot open the X display ") + name + "; no screen colour is sent";
        return false;
    }
    XSetErrorHandler(IgnoreXError);
    m_display = d;
    m_root = DefaultRootWindow(d);
    m_width = DisplayWidth(d, DefaultScreen(d));
    m_height = DisplayHeight(d, DefaultScreen(d));
    return m_width > 0 && m_height > 0;
}

bool ScreenColour::Sample(std::array<int32_t, 6>& colour)
{
    auto* d = static_cast<Display*>(m_display);
    if (!d)
        return false;
    int64_t sum[3] = {};
    int count = 0;
    int best = -1;
    int bestRgb[3] = {};
    for (int r = 0; r < kRows; ++r) {
        const int y = (2 * r + 1) * m_height / (2 * kRows);
        XImage* row = XGetImage(d, m_root, 0, y, unsigned(m_width), 1, AllPlanes, ZPixmap);
        if (!row)
            return false;
        for (int c = 0; c < kColumns; ++c) {
            const int x = (2 * c + 1) * m_width / (2 * kColumns);
            const unsigned long p = XGetPixel(row, x, 0);
            const int rgb[3] = {int((p & row->red_mask) >> __builtin_ctzl(row->red_mask ? row->red_mask : 1)),
                                int((p & row->green_mask) >> __builtin_ctzl(row->green_mask ? row->green_mask : 1)),
                                int((p & row->blue_mask) >> __builtin_ctzl(row->blue_mask ? row->blue_mask : 1))};
            for (int k = 0; k < 3; ++k)
                sum[k] += rgb[k];
            ++count;
            // Colourfulness: the spread between the strongest and the weakest component.
            const int spread = std::max({rgb[0], rgb[1], rgb[2]}) - std::min({rgb[0], rgb[1], rgb[2]});
            if (spread > best) {
                best = spread;
                std::memcpy(bestRgb, rgb, sizeof bestRgb);
            }
        }
        XDestroyImage(row);
    }
    for (int k = 0; k < 3; ++k) {
        colour[size_t(k)] = int32_t(sum[k] / count);
        colour[size_t(3 + k)] = bestRgb[k];
    }
    return true;
}

}  // namespace lightrecord
