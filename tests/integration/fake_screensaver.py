#!/usr/bin/python3
"""Stand-in services that keep a desktop awake, on the session bus, writing
down every call they get: org.freedesktop.ScreenSaver (GNOME, KDE),
org.freedesktop.PowerManagement (Xfce, beside org.xfce.PowerManager, a name
only) and org.gnome.SessionManager (MATE).

Usage: fake_screensaver.py LOG [NAME...] [--cookie N] [--refuse N] [--hang]
  (DBUS_SESSION_BUS_ADDRESS names the bus; NAME defaults to
  org.freedesktop.ScreenSaver; cookies count from N + 1, 41 by default; the
  first N inhibitions of each service are refused with an error; with
  --hang no inhibition is ever answered)

LOG gets "ready" once every name is owned, then one line per call:
"inhibit COOKIE APPLICATION SERVICE [XID FLAGS]", "refused SERVICE",
"hung SERVICE" or "uninhibit COOKIE SERVICE".
Needs Debian's python3 modules dbus and gi.
"""

import argparse

import dbus
import dbus.mainloop.glib
import dbus.service
from gi.repository import GLib

SCREENSAVER = "org.freedesktop.ScreenSaver"
POWER = "org.freedesktop.PowerManagement"
POWER_INHIBIT = "org.freedesktop.PowerManagement.Inhibit"
SESSION = "org.gnome.SessionManager"


class Refused(dbus.DBusException):
    _dbus_error_name = "org.freedesktop.DBus.Error.Failed"


class Recorder:
    def __init__(self, log, cookie, refuse, hang):
        self.log, self.cookie, self.refuse, self.hang = log, cookie, refuse, hang
        self.unanswered = []

    def write(self, line):
        self.log.write(line + "\n")
        self.log.flush()

    def inhibit(self, service, application, *extra):
        if self.hang:
            self.write(f"hung {service}")
            return None
        if self.refuse.get(service, 0) > 0:
            self.refuse[service] -= 1
            self.write(f"refused {service}")
            raise Refused("not now")
        self.cookie += 1
        self.write(" ".join(["inhibit", str(self.cookie), str(application), service,
                             *(str(int(e)) for e in extra)]))
        return dbus.UInt32(self.cookie)

    def answer(self, ok, fail, service, *args):
        """Answers an Inhibit call, or keeps it unanswered (--hang)."""
        try:
            cookie = self.inhibit(service, *args)
        except Refused as error:
            fail(error)
            return
        if cookie is None:
            self.unanswered.append((ok, fail))
        else:
            ok(cookie)

    def uninhibit(self, service, cookie):
        self.write(f"uninhibit {int(cookie)} {service}")


class ScreenSaver(dbus.service.Object):
    def __init__(self, bus, rec):
        super().__init__(bus, "/org/freedesktop/ScreenSaver")
        self.rec = rec

    @dbus.service.method(SCREENSAVER, in_signature="ss", out_signature="u",
                         async_callbacks=("ok", "fail"))
    def Inhibit(self, application, reason, ok, fail):
        self.rec.answer(ok, fail, SCREENSAVER, application)

    @dbus.service.method(SCREENSAVER, in_signature="u", out_signature="")
    def UnInhibit(self, cookie):
        self.rec.uninhibit(SCREENSAVER, cookie)


class PowerManagement(dbus.service.Object):
    def __init__(self, bus, rec):
        super().__init__(bus, "/org/freedesktop/PowerManagement/Inhibit")
        self.rec = rec

    @dbus.service.method(POWER_INHIBIT, in_signature="ss", out_signature="u",
                         async_callbacks=("ok", "fail"))
    def Inhibit(self, application, reason, ok, fail):
        self.rec.answer(ok, fail, POWER, application)

    @dbus.service.method(POWER_INHIBIT, in_signature="u", out_signature="")
    def UnInhibit(self, cookie):
        self.rec.uninhibit(POWER, cookie)


class SessionManager(dbus.service.Object):
    def __init__(self, bus, rec):
        super().__init__(bus, "/org/gnome/SessionManager")
        self.rec = rec

    @dbus.service.method(SESSION, in_signature="susu", out_signature="u",
                         async_callbacks=("ok", "fail"))
    def Inhibit(self, app_id, toplevel_xid, reason, flags, ok, fail):
        self.rec.answer(ok, fail, SESSION, app_id, toplevel_xid, flags)

    @dbus.service.method(SESSION, in_signature="u", out_signature="")
    def Uninhibit(self, cookie):
        self.rec.uninhibit(SESSION, cookie)


OBJECTS = {SCREENSAVER: ScreenSaver, POWER: PowerManagement, SESSION: SessionManager}


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("log")
    parser.add_argument("names", nargs="*", default=[SCREENSAVER])
    parser.add_argument("--cookie", type=int, default=40)
    parser.add_argument("--refuse", type=int, default=0)
    parser.add_argument("--hang", action="store_true")
    args = parser.parse_args()
    dbus.mainloop.glib.DBusGMainLoop(set_as_default=True)
    bus = dbus.SessionBus()
    rec = Recorder(open(args.log, "a"), args.cookie,
                   {name: args.refuse for name in args.names}, args.hang)
    objects = [OBJECTS[name](bus, rec) for name in args.names if name in OBJECTS]
    names = [dbus.service.BusName(name, bus, do_not_queue=True) for name in args.names]
    rec.write("ready")
    loop = GLib.MainLoop()
    bus.call_on_disconnection(lambda _: loop.quit())
    loop.run()
    del names, objects


if __name__ == "__main__":
    main()
