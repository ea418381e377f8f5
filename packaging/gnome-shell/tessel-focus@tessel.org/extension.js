// Tells Tessel (org.tessel.Tessel on the session bus) which window has the focus, so that the
// devices' profiles can follow the application in focus. GNOME Shell 45 to 48 (ES modules).
// The call never starts Tessel, and a Tessel that is not running costs one failed call.
import Gio from 'gi://Gio';
import GLib from 'gi://GLib';
import {Extension} from 'resource:///org/gnome/shell/extensions/extension.js';

export default class TesselFocusExtension extends Extension {
    enable() {
        this._focusHandler = global.display.connect('notify::focus-window', () => this._report());
        this._report();
    }

    disable() {
        if (this._focusHandler) {
            global.display.disconnect(this._focusHandler);
            this._focusHandler = null;
        }
    }

    _report() {
        const w = global.display.focus_window;
        if (!w)
            return;
        const text = s => new GLib.Variant('s', s || '');
        const pid = w.get_pid();
        const window = {
            app_id: text(w.get_gtk_application_id() || w.get_sandboxed_app_id()),
            wm_class: text(w.get_wm_class()),
            wm_instance: text(w.get_wm_class_instance()),
            title: text(w.get_title()),
            pid: new GLib.Variant('x', pid > 0 ? pid : 0),
        };
        Gio.DBus.session.call('org.tessel.Tessel', '/org/tessel/Tessel', 'org.tessel.Tessel1',
            'ReportActiveWindow', new GLib.Variant('(a{sv})', [window]), null,
            Gio.DBusCallFlags.NO_AUTO_START, 1000, null, null);
    }
}
