#pragma once

#include <QString>

namespace app {

// The desktop session's autostart entry for Tessel: $XDG_CONFIG_HOME/autostart/tessel.desktop,
// starting Tessel in the tray (--minimized). The tray menu and the settings window both switch
// it through here, so they always show and change the same thing.
class Autostart {
public:
    // The entry's path ($XDG_CONFIG_HOME, else ~/.config, + "/autostart/tessel.desktop").
    static QString EntryPath();
    // True when the entry exists and the session would run it (not Hidden, not disabled).
    static bool IsEnabled();
    // Writes (atomically) or removes the entry. False with `error` set when that failed; the
    // entry is then as it was.
    static bool SetEnabled(bool enabled, QString* error = nullptr);
    // The entry's text; `program` is what Exec= runs.
    static QString EntryText(const QString& program);
    // What Exec= should run: "tessel" when that name on PATH is this program, else its path.
    static QString ProgramForExec();
};

}  // namespace app
