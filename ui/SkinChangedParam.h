#pragma once

#include <QString>
#include <cstdint>

#include "ui/ObserverImpl.h"

// A background chosen in the skin chooser: a colour, or an image (a path relative to the skin
// folder, or an absolute path of the user's own picture).
struct SkinChangedParam {
    bool bColor = false;
    uint32_t bkcolor = 0;  // ARGB
    QString bgimage;
};

using SkinObserver = ObserverImpl<int, SkinChangedParam>;
using SkinReceiver = ReceiverImpl<int, SkinChangedParam>;

namespace ui {
// The skin broadcast of the process, made on first use.
SkinObserver& SkinChangeObserver();
// The default background the chooser's reset goes back to.
inline constexpr char kDefaultBackground[] = "common/background.png";
}  // namespace ui
