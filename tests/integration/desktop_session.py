#!/usr/bin/python3
"""The program as the desktop sees it, on an X server with no desktop services.

Usage: desktop_session.py QUILLET INSTALLED_ENTRY   (on an X display with a
window manager, e.g. under tools/headless.sh; needs dbus-daemon, playerctl,
libXss, and Debian's python3 with its gi module for GLib's own reading of
desktop entries)

A copy of the program plays a clip on a private session bus where no service
keeps the screen awake, with the X server's screen saver set to start after
2 idle seconds: it must not start while the video plays, start once it is
paused, and go when it plays again. The window's WM_CLASS matches the
StartupWMClass of the installed desktop entry and of the one the association
writes, as GLib reads them; once the program is removed, GLib hides both
(TryExec), so no menu entry or .flv default is left that starts nothing.
"""

import ctypes
import os
import re
import shutil
import signal
import subprocess
import sys
import tempfile
import time

sys.dont_write_bytecode = True  # nothing is written into the source tree
sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))
import xdesktop  # noqa: E402
from xdesktop import tool  # noqa: E402

import gi  # noqa: E402
gi.require_version("Gio", "2.0")
from gi.repository import Gio  # noqa: E402


def app_info(entry):
    """GLib's reading of a desktop entry; None where it hides the entry."""
    try:
        return Gio.DesktopAppInfo.new_from_filename(entry)
    except TypeError:  # "constructor returned NULL"
        return None


def wait_for(what, probe, timeout=30.0):
    return xdesktop.wait_for(what, probe, timeout, interval=0.1)


class XScreenSaver:
    """The X server's screen saver, through Xlib and its extension."""

    class Info(ctypes.Structure):
        _fields_ = [("window", ctypes.c_ulong), ("state", ctypes.c_int), ("kind", ctypes.c_int),
                    ("til_or_since", ctypes.c_ulong), ("idle", ctypes.c_ulong),
                    ("event_mask", ctypes.c_ulong)]

    ON = 1

    def __init__(self):
        self.x = ctypes.CDLL("libX11.so.6")
        self.xss = ctypes.CDLL("libXss.so.1")
        self.x.XOpenDisplay.restype = ctypes.c_void_p
        self.x.XDefaultRootWindow.argtypes = [ctypes.c_void_p]
        self.x.XDefaultRootWindow.restype = ctypes.c_ulong
        self.x.XSetScreenSaver.argtypes = [ctypes.c_void_p] + [ctypes.c_int] * 4
        self.x.XFlush.argtypes = [ctypes.c_void_p]
        self.xss.XScreenSaverQueryInfo.argtypes = [ctypes.c_void_p, ctypes.c_ulong,
                                                   ctypes.POINTER(self.Info)]
        self.display = self.x.XOpenDisplay(None)
        assert self.display, "no X display"

    def start_after(self, seconds):
        self.x.XSetScreenSaver(self.display, seconds, 0, 1, 1)
        self.x.XFlush(self.display)

    def active(self):
        info = self.Info()
        self.xss.XScreenSaverQueryInfo(self.display, self.x.XDefaultRootWindow(self.display),
                                       ctypes.byref(info))
        return info.state == self.ON


def main():
    quillet, installed = sys.argv[1], sys.argv[2]
    app_id = os.path.basename(installed)
    root = tempfile.mkdtemp(prefix="quillet-session-")
    private = xdesktop.PrivateSession(root)
    env = private.env
    bin_dir = os.path.join(root, "bin")
    os.makedirs(bin_dir)
    program_copy = shutil.copy2(quillet, os.path.join(bin_dir, "quillet"))
    clip = os.path.join(root, "clip.flv")
    subprocess.run(["ffmpeg", "-v", "error", "-y", "-f", "lavfi", "-i",
                    "testsrc=size=320x240:rate=25:duration=60", "-c:v", "flv1", clip], check=True)
    # GLib looks TryExec up on this PATH.
    os.environ["PATH"] = bin_dir + os.pathsep + os.environ["PATH"]
    written = os.path.join(env["XDG_DATA_HOME"], "applications", app_id)
    errors = os.path.join(root, "quillet.err")
    program = subprocess.Popen([program_copy, clip], env=env, stdout=subprocess.DEVNULL,
                               stderr=open(errors, "w"))

    def status():
        return subprocess.run(["playerctl", "--player=quillet", "status"], env=env,
                              capture_output=True, text=True, timeout=30).stdout.strip()

    try:
        saver = XScreenSaver()
        saver.start_after(2)
        def window():
            assert program.poll() is None, f"quillet ended with {program.returncode}"
            ids = tool("xdotool", "search", "--onlyvisible", "--pid", str(program.pid),
                       "--name", "^Quillet$").split()
            return bool(ids), ids
        wid = wait_for("the window", window, timeout=60)[0]
        wm_class = re.findall(r'"([^"]*)"', tool("xprop", "-id", wid, "WM_CLASS"))
        assert len(wm_class) == 2, wm_class
        wait_for("the association's entry", lambda: (os.path.exists(written), None))
        for entry in (installed, written):
            info = app_info(entry)
            assert info is not None, f"GLib hides {entry} while the program is there"
            assert info.get_startup_wm_class() == wm_class[1], (entry, wm_class,
                                                                 info.get_startup_wm_class())
        print(f"ok  WM_CLASS {wm_class} matches both entries", flush=True)

        wait_for("Playing", lambda: (status() == "Playing", status()))
        # A saver that started before the video did goes once it plays.
        wait_for("no screen saver", lambda: (not saver.active(), None))
        end = time.monotonic() + 6
        while time.monotonic() < end:
            assert not saver.active(), "the screen saver started while the video played"
            time.sleep(0.2)
        print("ok  the X screen saver stays off while playing", flush=True)
        subprocess.run(["playerctl", "--player=quillet", "pause"], env=env, check=True,
                       timeout=30)
        wait_for("the screen saver once paused", lambda: (saver.active(), status()))
        subprocess.run(["playerctl", "--player=quillet", "play"], env=env, check=True,
                       timeout=30)
        wait_for("the screen saver gone on play", lambda: (not saver.active(), status()))
        print("ok  pausing lets it start, playing again ends it", flush=True)

        program.send_signal(signal.SIGTERM)
        assert program.wait(timeout=30) == 0, program.returncode
        os.remove(program_copy)
        for entry in (installed, written):
            assert app_info(entry) is None, \
                f"{entry} still offered without its program"
        print("ok  both entries hidden once the program is gone", flush=True)
    except BaseException:
        sys.stderr.write(open(errors, errors="replace").read()[-3000:])
        raise
    finally:
        if program.poll() is None:
            program.kill()
            program.wait()
        private.close()
        shutil.rmtree(root, ignore_errors=True)
    print("PASS")


if __name__ == "__main__":
    main()
