#pragma once

#include <QString>
#include <cstdint>
#include <optional>

#include "ui/SkinChangedParam.h"

// The background the user chose, kept in "main.ini" in the user data folder, section
// "SKINIMAGE": "FLAGS" (1 for a chosen image, 0 after a reset) and "IMAGE" (the image's path,
// relative to the skin folder or absolute). A chosen colour is kept under "COLOR" (eight
// hexadecimal digits, ARGB) and wins over the image until an image is chosen again.
namespace app::skinsettings {

QString IniFile();
void WriteImage(int flags, const QString& image);
void WriteColour(uint32_t argb);
// The stored choice; none when nothing usable is stored (the default background then).
std::optional<SkinChangedParam> Read();

}  // namespace app::skinsettings
