#!/usr/bin/python3
"""A stand-in org.freedesktop.ScreenSaver on the session bus that writes down
every Inhibit and UnInhibit it gets.

Usage: fake_screensaver.py LOG   (DBUS_SESSION_BUS_ADDRESS names the bus)

LOG gets "ready" once the name is owned, then one line per call:
"inhibit COOKIE APPLICATION" or "uninhibit COOKIE". Needs Debian's python3
modules dbus and gi.
"""

import sys

import dbus
import dbus.mainloop.glib
import dbus.service
from gi.repository import GLib

INTERFACE = "org.freedesktop.ScreenSaver"


class ScreenSaver(dbus.service.Object):
    def __init__(self, bus, log):
        super().__init__(bus, "/org/freedesktop/ScreenSaver")
        self.log = log
        self.last_cookie = 40

    def write(self, line):
        self.log.write(line + "\n")
        self.log.flush()

    @dbus.service.method(INTERFACE, in_signature="ss", out_signature="u")
    def Inhibit(self, application, reason):
        self.last_cookie += 1
        self.write(f"inhibit {self.last_cookie} {application}")
        return dbus.UInt32(self.last_cookie)

    @dbus.service.method(INTERFACE, in_signature="u", out_signature="")
    def UnInhibit(self, cookie):
        self.write(f"uninhibit {int(cookie)}")


def main():
    dbus.mainloop.glib.DBusGMainLoop(set_as_default=True)
    bus = dbus.SessionBus()
    log = open(sys.argv[1], "a")
    service = ScreenSaver(bus, log)
    name = dbus.service.BusName(INTERFACE, bus, do_not_queue=True)
    service.write("ready")
    loop = GLib.MainLoop()
    bus.call_on_disconnection(lambda _: loop.quit())
    loop.run()
    del name


if __name__ == "__main__":
    main()
