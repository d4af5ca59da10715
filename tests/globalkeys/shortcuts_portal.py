#!/usr/bin/env python3
"""A desktop portal's global shortcuts on the session bus, as a desktop
offers them (org.freedesktop.portal.GlobalShortcuts, with its Request and
Session objects), for the keys-during-calls suite. Written from the
portal's public interface description, apart from the program.

It prints the app id a program registers as "register APP_ID". It binds
every shortcut asked for, but those named with --refuse, prints
each asked for as "bind NAME TRIGGER DESCRIPTION" and then "bound", and
"closed" when the session is closed. Lines on stdin press and release:
"activate NAME", "deactivate NAME". It prints "ready" once it owns the
portal's name.
"""
import argparse
import sys

import dbus
import dbus.service
from dbus.mainloop.glib import DBusGMainLoop
from gi.repository import GLib

NAME = "org.freedesktop.portal.Desktop"
PATH = "/org/freedesktop/portal/desktop"
SHORTCUTS = "org.freedesktop.portal.GlobalShortcuts"
REQUEST = "org.freedesktop.portal.Request"
SESSION = "org.freedesktop.portal.Session"
REGISTRY = "org.freedesktop.host.portal.Registry"


def say(line):
    print(line, flush=True)


def object_path(kind, sender, token):
    return "%s/%s/%s/%s" % (PATH, kind, sender[1:].replace(".", "_"), token)


def describe(trigger):
    """The desktop's own words for a trigger: "CTRL+ALT+3" is "Ctrl+Alt+3 (desktop)"."""
    return "+".join(part.capitalize() if part.isupper() else part
                    for part in trigger.split("+")) + " (desktop)"


class Request(dbus.service.Object):
    """Answers once, after the method that made it has returned."""

    def __init__(self, bus, path, results):
        super().__init__(bus, path)
        self.results = results
        GLib.idle_add(self.answer)

    @dbus.service.signal(REQUEST, signature="ua{sv}")
    def Response(self, response, results):
        pass

    @dbus.service.method(REQUEST)
    def Close(self):
        self.remove_from_connection()

    def answer(self):
        self.Response(dbus.UInt32(0), self.results)
        self.remove_from_connection()
        return False


class Session(dbus.service.Object):
    @dbus.service.signal(SESSION, signature="a{sv}")
    def Closed(self, details):
        pass

    @dbus.service.method(SESSION)
    def Close(self):
        say("closed")
        self.remove_from_connection()


class Portal(dbus.service.Object):
    def __init__(self, bus, refuse):
        super().__init__(bus, PATH)
        self.bus = bus
        self.refuse = set(refuse)
        self.sessions = {}

    @dbus.service.method(dbus.PROPERTIES_IFACE, in_signature="ss", out_signature="v")
    def Get(self, interface, prop):
        if interface == SHORTCUTS and prop == "version":
            return dbus.UInt32(2)
        raise dbus.exceptions.DBusException(
            "no such property", name="org.freedesktop.DBus.Error.InvalidArgs")

    @dbus.service.method(REGISTRY, in_signature="sa{sv}")
    def Register(self, app_id, options):
        say("register " + app_id)

    @dbus.service.method(SHORTCUTS, in_signature="a{sv}", out_signature="o",
                         sender_keyword="sender")
    def CreateSession(self, options, sender):
        session = object_path("session", sender, options["session_handle_token"])
        self.sessions[session] = Session(self.bus, session)
        path = object_path("request", sender, options["handle_token"])
        # A string, as the portal gives it.
        Request(self.bus, path, {"session_handle": dbus.String(session)})
        return path

    @dbus.service.method(SHORTCUTS, in_signature="oa(sa{sv})sa{sv}", out_signature="o",
                         sender_keyword="sender")
    def BindShortcuts(self, session, shortcuts, parent_window, options, sender):
        if session not in self.sessions:
            raise dbus.exceptions.DBusException(
                "no such session", name="org.freedesktop.DBus.Error.InvalidArgs")
        bound = []
        for name, details in shortcuts:
            trigger = details.get("preferred_trigger", "-")
            say("bind %s %s %s" % (name, trigger, details["description"]))
            if name not in self.refuse:
                bound.append(dbus.Struct((name, {"description": details["description"],
                                                 "trigger_description": describe(trigger)}),
                                         signature="sa{sv}"))
        say("bound")
        self.session = session
        path = object_path("request", sender, options["handle_token"])
        Request(self.bus, path, {"shortcuts": dbus.Array(bound, signature="(sa{sv})")})
        return path

    @dbus.service.signal(SHORTCUTS, signature="osta{sv}")
    def Activated(self, session, shortcut, timestamp, options):
        pass

    @dbus.service.signal(SHORTCUTS, signature="osta{sv}")
    def Deactivated(self, session, shortcut, timestamp, options):
        pass


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--refuse", action="append", default=[])
    args = parser.parse_args()
    DBusGMainLoop(set_as_default=True)
    bus = dbus.SessionBus()
    portal = Portal(bus, args.refuse)
    bus.request_name(NAME, dbus.bus.NAME_FLAG_DO_NOT_QUEUE)
    loop = GLib.MainLoop()

    def command(channel, condition):
        line = sys.stdin.readline()
        if not line:
            loop.quit()
            return False
        verb, name = line.split()
        signal = portal.Activated if verb == "activate" else portal.Deactivated
        signal(dbus.ObjectPath(portal.session), name, dbus.UInt64(0), {})
        return True

    GLib.io_add_watch(sys.stdin, GLib.IO_IN | GLib.IO_HUP, command)
    say("ready")
    loop.run()


if __name__ == "__main__":
    main()
