#!/usr/bin/python3
"""The folder's other videos, the speed and the recent files on the real program.

Usage: folder_speed_recent.py QUILLET   (on an X display with a window manager,
e.g. under tools/headless.sh; needs dbus-daemon, playerctl, gdbus, xdotool,
ffmpeg, and Debian's python3 with GTK 3's introspection data)

In a folder of three clips, whose names hold a blank, a byte that is not
UTF-8 and numbers, and a file of another kind: Page Down goes through them
in a file manager's order (the number 2 before 10), stops at the last one,
and the media controls' Next, Previous, CanGoNext and CanGoPrevious agree.
The speed keys change the media controls' Rate, Rate set from outside
changes the speed, and the next video starts at 1. Every video opened is
in the desktop's recent files as GTK reads them, with its MIME type and
Quillet as its application, and an entry GTK wrote before stays as it was.
"""

import os
import re
import shutil
import signal
import subprocess
import sys
import tempfile
import urllib.parse

sys.dont_write_bytecode = True  # nothing is written into the source tree
HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "support"))
import xdesktop  # noqa: E402
from xdesktop import tool  # noqa: E402

MPRIS_PATH = "/org/mpris/MediaPlayer2"
PLAYER = "org.mpris.MediaPlayer2.Player"
DEBIAN_PYTHON = "/usr/bin/python3"

# What GTK's own recent manager reads of the list: for each URI asked, its
# MIME type and whether Quillet is among its applications; and it adds an
# entry of its own when asked.
GTK_RECENT = r"""
import sys, gi
gi.require_version("Gtk", "3.0")
from gi.repository import Gtk, GLib
manager = Gtk.RecentManager.get_default()
if sys.argv[1] == "add":
    data = Gtk.RecentData()
    data.mime_type, data.app_name, data.app_exec = "text/plain", "Other", "other %u"
    manager.add_full(sys.argv[2], data)
    GLib.idle_add(Gtk.main_quit)
    Gtk.main()  # the list is written from the main loop
else:
    for uri in sys.argv[2:]:
        try:
            item = manager.lookup_item(uri)
            print(item.get_mime_type(), item.has_application("Quillet"), item.get_applications())
        except GLib.Error:
            print("missing")
"""


def log(text):
    print(text, flush=True)


def wait_for(what, probe, timeout=30.0):
    return xdesktop.wait_for(what, probe, timeout, interval=0.1)


def make_clip(path, title):
    subprocess.run(["ffmpeg", "-v", "error", "-y", "-f", "lavfi", "-i",
                    "testsrc=size=320x240:rate=25:duration=20", "-c:v", "flv1", "-q:v", "8",
                    "-metadata", f"title={title}", "-f", "flv", path], check=True)


def file_uri(path_bytes):
    return "file://" + urllib.parse.quote_from_bytes(path_bytes, safe="/!$&'()*+,:=@")


def main():
    quillet = sys.argv[1]
    root = tempfile.mkdtemp(prefix="quillet-folder-")
    private = xdesktop.PrivateSession(root)
    env = private.env
    folder = os.path.join(root, "videos").encode()
    os.makedirs(folder)
    # A file manager's order: "b\xe9 clip" (not UTF-8), "clip 2", "clip 10".
    names = [b"b\xe9 clip.flv", b"clip 2.flv", b"clip 10.FLV"]
    titles = ["first", "second", "third"]
    for name, title in zip(names, titles):
        make_clip(os.path.join(folder, name), title)
    open(os.path.join(folder, b"clip 3.txt"), "w").write("not a video")
    paths = [os.path.join(folder, n) for n in names]

    data_home = env["XDG_DATA_HOME"]
    env_bytes = {k.encode(): v.encode() for k, v in env.items()}

    def gtk(*args):
        return subprocess.run([DEBIAN_PYTHON, "-c", GTK_RECENT, *args], env=env,
                              capture_output=True, text=True, timeout=60, check=True).stdout

    program = None
    errors = os.path.join(root, "quillet.err")
    try:
        other = "file://" + urllib.parse.quote(os.path.join(root, "other.txt"))
        open(os.path.join(root, "other.txt"), "w").write("x")
        gtk("add", other)
        xbel = os.path.join(data_home, "recently-used.xbel")
        before = open(xbel, "rb").read()
        other_entry = re.search(rb"<bookmark href=\"[^\"]*other.txt\".*?</bookmark>", before,
                                re.S).group(0)

        program = subprocess.Popen([quillet.encode(), paths[0]], env=env_bytes,
                                   stdout=subprocess.DEVNULL, stderr=open(errors, "w"))
        run(program, env, paths, titles, gtk)
        # GTK's own entry is still there, byte for byte.
        assert other_entry in open(xbel, "rb").read(), open(xbel, "rb").read()
        log("the other program's entry is unchanged")
    except BaseException:
        if os.path.exists(errors):
            sys.stderr.write(open(errors).read()[-3000:])
        raise
    finally:
        if program and program.poll() is None:
            program.send_signal(signal.SIGKILL)
            program.wait()
        private.close()
        shutil.rmtree(root, ignore_errors=True)
    log("PASS")


def run(program, env, paths, titles, gtk):
    def ctl(*args):
        return subprocess.run(["playerctl", "--player=quillet", *args], env=env,
                              capture_output=True, text=True, timeout=30).stdout.strip()

    def prop(name):
        out = subprocess.run(["gdbus", "call", "--session", "--dest", "org.mpris.MediaPlayer2.quillet",
                              "--object-path", MPRIS_PATH, "--method",
                              "org.freedesktop.DBus.Properties.Get", PLAYER, name],
                             env=env, capture_output=True, text=True, timeout=30).stdout
        return out.strip().strip("(),<>").strip()

    def set_rate(value):
        subprocess.run(["gdbus", "call", "--session", "--dest", "org.mpris.MediaPlayer2.quillet",
                        "--object-path", MPRIS_PATH, "--method",
                        "org.freedesktop.DBus.Properties.Set", PLAYER, "Rate",
                        f"<{value}>"], env=env, capture_output=True, timeout=30, check=True)

    def title():
        return ctl("metadata", "xesam:title")

    def window():
        assert program.poll() is None, f"quillet ended with {program.returncode}"
        for wid in tool("xdotool", "search", "--onlyvisible", "--name", "^Quillet$").split():
            return wid
        return None

    def key(name):
        tool("xdotool", "windowactivate", "--sync", wait_for("the window", lambda: (
            window() is not None, window())))
        tool("xdotool", "key", "--clearmodifiers", name)

    def showing(i):
        wait_for(f"the video {titles[i]}", lambda: (title() == titles[i] and
                                                   ctl("status") == "Playing", title()))

    wait_for("the window", lambda: (window() is not None, None), timeout=60)
    # The folder is read off the window's thread: its answer follows the video.
    def neighbours(expected):
        wait_for(f"CanGoPrevious, CanGoNext {expected}", lambda: (
            (prop("CanGoPrevious"), prop("CanGoNext")) == expected,
            (prop("CanGoPrevious"), prop("CanGoNext"))))

    showing(0)
    neighbours(("false", "true"))

    # Speed: ] twice, [ once: 1.1; Rate 2 from outside; Backspace: 1.
    assert float(prop("MinimumRate")) == 0.25 and float(prop("MaximumRate")) == 4.0
    for k in ("bracketright", "bracketright", "bracketleft"):
        key(k)
    wait_for("Rate 1.1", lambda: (abs(float(prop("Rate")) - 1.1) < 1e-6, prop("Rate")))
    set_rate(2.0)
    wait_for("Rate 2", lambda: (float(prop("Rate")) == 2.0, prop("Rate")))
    log("speed follows the keys and the media controls")

    # Page Down: the next in the folder's order, at normal speed.
    key("Next")
    showing(1)
    assert float(prop("Rate")) == 1.0, prop("Rate")
    key("Next")
    showing(2)
    neighbours(("true", "false"))
    key("Next")  # the last one: nothing happens
    ctl("next")
    showing(2)
    log("Page Down went through the folder and stopped at its end")

    ctl("previous")
    showing(1)
    key("Prior")
    showing(0)
    key("Prior")
    showing(0)
    neighbours(("false", "true"))
    log("Previous and Page Up went back to the first")

    # Every video opened is among GTK's recent files.
    uris = [file_uri(p) for p in paths]
    def recent():
        lines = gtk("read", *uris).splitlines()
        return all(line.startswith("video/x-flv True") for line in lines), lines
    try:
        lines = wait_for("the recent entries", recent)
    except AssertionError:
        xbel = os.path.join(env["XDG_DATA_HOME"], "recently-used.xbel")
        sys.stderr.write(open(xbel, "rb").read().decode("utf-8", "replace"))
        raise
    log(f"recent files as GTK reads them: {lines}")


if __name__ == "__main__":
    main()
