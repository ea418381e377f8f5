#!/usr/bin/python3
"""A desktop portal with only a file chooser, for tests: answers every OpenFile and SaveFile on
the session bus with ANSWER (a path; "-" answers as a user who cancels) and prints each call as
one JSON line: the method, the parent window, the title and the options (filters, current name);
a property read prints its name.
Prints "ready" once it owns org.freedesktop.portal.Desktop.
Usage: fake_file_portal.py ANSWER
"""
import json
import sys

from gi.repository import Gio, GLib

BUS_NAME = "org.freedesktop.portal.Desktop"
PATH = "/org/freedesktop/portal/desktop"
XML = """
<node>
  <interface name="org.freedesktop.portal.FileChooser">
    <method name="OpenFile">
      <arg type="s" name="parent_window" direction="in"/>
      <arg type="s" name="title" direction="in"/>
      <arg type="a{sv}" name="options" direction="in"/>
      <arg type="o" name="handle" direction="out"/>
    </method>
    <method name="SaveFile">
      <arg type="s" name="parent_window" direction="in"/>
      <arg type="s" name="title" direction="in"/>
      <arg type="a{sv}" name="options" direction="in"/>
      <arg type="o" name="handle" direction="out"/>
    </method>
    <property name="version" type="u" access="read"/>
  </interface>
</node>
"""

answer = sys.argv[1]
serial = [0]


def plain(value):
    if isinstance(value, GLib.Variant):
        value = value.unpack()
    if isinstance(value, (list, tuple)):
        return [plain(v) for v in value]
    if isinstance(value, dict):
        return {k: plain(v) for k, v in value.items()}
    if isinstance(value, bytes):
        return value.rstrip(b"\0").decode("utf-8", "replace")
    return value


def on_call(connection, sender, path, interface, method, params, invocation):
    parent, title, options = params.unpack()
    print(json.dumps({"method": method, "parent_window": parent, "title": title,
                      "options": plain(options)}), flush=True)
    serial[0] += 1
    token = options.get("handle_token", "t%d" % serial[0])
    request = "%s/request/%s/%s" % (PATH, sender[1:].replace(".", "_"), token)
    invocation.return_value(GLib.Variant("(o)", (request,)))

    # The answer comes later, as a user's choice would, on the request object.
    def respond():
        if answer == "-":
            body = GLib.Variant("(ua{sv})", (1, {}))
        else:
            uri = Gio.File.new_for_path(answer).get_uri()
            body = GLib.Variant("(ua{sv})", (0, {"uris": GLib.Variant("as", [uri])}))
        connection.emit_signal(sender, request, "org.freedesktop.portal.Request", "Response", body)
        return False

    GLib.timeout_add(100, respond)


def on_property(connection, sender, path, interface, name):
    print(json.dumps({"property": name}), flush=True)
    return GLib.Variant("u", 3) if name == "version" else None


def on_bus(connection, name):
    info = Gio.DBusNodeInfo.new_for_xml(XML).interfaces[0]
    connection.register_object(PATH, info, on_call, on_property, None)


def on_name(connection, name):
    print("ready", flush=True)


def on_lost(connection, name):
    print("lost the name", flush=True)
    loop.quit()


loop = GLib.MainLoop()
Gio.bus_own_name(Gio.BusType.SESSION, BUS_NAME, Gio.BusNameOwnerFlags.NONE, on_bus, on_name, on_lost)
loop.run()
