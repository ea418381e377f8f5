#pragma once

#include <QString>

// Where Tessel's files live. The data folder holds what ships with the program ("DefaultData",
// "skin", "Font"); the user data folder holds what the user changes; the config folder holds the
// settings store (language, "main.ini").
namespace paths {

// The application's name in every per-user folder.
inline constexpr char kAppFolderName[] = "tamrel wireless";

// TESSEL_DATA_DIR when set, else the executable's folder (the build tree's bin/, or
// share/tessel/ next to an installed bin/).
QString dataFolder();
// dataFolder() + "/DefaultData".
QString defaultDataFolder();
// $XDG_DATA_HOME/tamrel wireless (created on demand).
QString userDataFolder();
// userDataFolder() + "/" + device folder ("keyboard", "mouse", "MousePad", "HD"), created on
// demand.
QString deviceUserFolder(const QString& deviceFolder);
// $XDG_CONFIG_HOME/tamrel wireless (created on demand).
QString configFolder();

}  // namespace paths
