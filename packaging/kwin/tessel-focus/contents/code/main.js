// Tells Tessel (org.tessel.Tessel on the session bus) which window KWin activated, so that the
// devices' profiles can follow the application in focus. Plasma 6 (windowActivated) and
// Plasma 5.24 and later (clientActivated). Nothing is sent while Tessel is not running: a focus
// change never starts it.
function describe(w) {
    return {
        "app_id": String(w.desktopFileName || ""),
        "wm_class": String(w.resourceClass || ""),
        "wm_instance": String(w.resourceName || ""),
        "title": String(w.caption || ""),
        "pid": Number(w.pid || 0)
    };
}

function report(w) {
    if (!w)
        return;
    const window = describe(w);
    callDBus("org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus", "NameHasOwner",
             "org.tessel.Tessel", function (running) {
        if (running)
            callDBus("org.tessel.Tessel", "/org/tessel/Tessel", "org.tessel.Tessel1", "ReportActiveWindow", window);
    });
}

if (workspace.windowActivated !== undefined) {
    workspace.windowActivated.connect(report);
    report(workspace.activeWindow);
} else {
    workspace.clientActivated.connect(report);
    report(workspace.activeClient);
}
