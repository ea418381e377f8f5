#pragma once

#include "hid/DebugLog.h"

namespace ui {

// The DPI values the skin is drawn for; any other value is traced and 96 is used.
inline int ValidDpi(int dpi, const char* trace)
{
    switch (dpi) {
    case 48: case 72: case 96: case 120: case 144: case 168: case 192:
        return dpi;
    default:
        qCDebug(tesselDebug) << trace;
        return 96;
    }
}

}  // namespace ui
