#pragma once

#include <QString>
#include <utility>

namespace ui {

// Controls of a repeated group are named by a prefix and a number ("key_12", "DPI_slider_3",
// user data "light_40"). Splits such a name into its prefix and its trailing decimal number
// (at most nine digits); a name without one gives (name, -1).
inline std::pair<QString, int> SplitTrailingNumber(const QString& name)
{
    qsizetype start = name.size();
    while (start > 0 && name[start - 1] >= QLatin1Char('0') && name[start - 1] <= QLatin1Char('9'))
        --start;
    if (start == name.size() || name.size() - start > 9)
        return {name, -1};
    return {name.left(start), name.mid(start).toInt()};
}

}  // namespace ui
