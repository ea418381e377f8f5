#include "ui/SkinChangedParam.h"

namespace ui {

SkinObserver& SkinChangeObserver()
{
    static SkinObserver observer;
    return observer;
}

}  // namespace ui
