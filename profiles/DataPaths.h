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

// The device folder word of a device model index (keyboard 0, mouse 1, mouse pad 2, headset 3):
// "keyboard", "mouse", "MousePad", "HD"; empty for any other index.
QString deviceFolderForModel(int model);
// defaultDataFolder() + "/" + device folder + ".Json": the shipped default profile.
QString defaultProfileFile(const QString& deviceFolder);
// defaultDataFolder() + "/default_light.json": the built-in lighting mode names.
QString defaultLightFile();
// deviceUserFolder(device folder) + "/pelix_light.config": the user's custom light effects.
QString lightConfigFile(const QString& deviceFolder);
// deviceUserFolder(device folder) + "/" + profileUUID + ".Json"; empty when the identifier is
// not a safe file base name.
QString profileFile(const QString& deviceFolder, const QString& profileUuid);

// The device user folder's macro list, folder + "/macro.config". Every reader and writer of the
// list goes through this, so the macro editor, the device pages and the macro image builder all
// find the same file.
QString macroListFile(const QString& userFolder);
// folder + "/" + macro id + ".mac"; empty when the id is not a safe file base name.
QString macroFile(const QString& userFolder, const QString& macroId);

// Whether a name read from a file may be used as a file's base name inside a folder: not empty,
// no path separator, no "..", no control character. Anything else could reach outside the
// folder (or name the folder itself).
bool isSafeFileBaseName(const QString& name);

}  // namespace paths
