#!/usr/bin/env python3
"""Opens videos through the desktop's file chooser and the command line.

Usage: desktop_chooser.py QUILLET   (on an X display with a window manager,
e.g. under tools/headless.sh)

With Qt's GTK platform theme (QT_QPA_PLATFORMTHEME=gtk3), "Open File" shows
GTK's chooser titled "Select file to open": cancelling it opens nothing;
typing a path into it as a user would (Ctrl+L, the path, Return) opens and
plays that video. A video whose name is not UTF-8 (Latin-1 "caf\\xe9.flv")
given on the command line plays too, by its path or its file: address (and
not the file beside it whose name is the same text with U+FFFD), and so does
a path with a blank given as two arguments.
"""

import os
import re
import shutil
import subprocess
import sys
import tempfile
import time
import urllib.parse

sys.dont_write_bytecode = True  # nothing is written into the source tree
sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))
import xdesktop  # noqa: E402
from xdesktop import differing_share, grab, tool  # noqa: E402

PANEL_PX, BANNER_PX, BAR_PX = 48, 81, 27


def wait_for(what, probe, timeout=30.0):
    return xdesktop.wait_for(what, probe, timeout, interval=0.1)


def client(wid):
    info = tool("xwininfo", "-id", wid)
    value = lambda key: int(re.search(key + r":\s+(-?\d+)", info).group(1))
    return (value("Absolute upper-left X"), value("Absolute upper-left Y"), value("Width"),
            value("Height"))


class Session:
    """One run of the program in a private home, with the GTK platform theme."""

    def __init__(self, quillet, root, args):
        self.tmpdir, home, runtime = (os.path.join(root, d) for d in ("tmp", "home", "rt"))
        for d in (self.tmpdir, home, runtime):
            os.makedirs(d, mode=0o700, exist_ok=True)
        env = dict(os.environ, TMPDIR=self.tmpdir, HOME=home, XDG_RUNTIME_DIR=runtime,
                   XDG_CONFIG_HOME=os.path.join(home, ".config"),
                   XDG_DATA_HOME=os.path.join(home, ".local", "share"), QUILLET_AO="null",
                   QT_QPA_PLATFORM="xcb", QT_QPA_PLATFORMTHEME="gtk3",
                   # GTK keeps its settings in memory: no session bus here.
                   GSETTINGS_BACKEND="memory")
        self.err_path = os.path.join(root, "quillet.err")
        self.program = subprocess.Popen([quillet, *args], env=env, stdout=subprocess.DEVNULL,
                                        stderr=open(self.err_path, "w"))

    def windows(self, title):
        assert self.program.poll() is None, f"ended early with {self.program.returncode}"
        return tool("xdotool", "search", "--all", "--onlyvisible", "--pid",
                    str(self.program.pid), "--name", f"^{title}$").split()

    def window(self):
        """The main window's id and client area once it is shown."""
        def probe():
            for wid in self.windows("Quillet"):
                try:
                    geometry = client(wid)
                except AttributeError:  # gone meanwhile
                    continue
                if geometry[2] > 1:
                    return True, (wid, geometry)
            return False, None
        return wait_for("the window", probe)

    def chooser(self):
        return wait_for("the file chooser", lambda: (bool(self.windows("Select file to open")),
                                                     self.windows("Select file to open")))[0]

    def click_open_file(self):
        """Clicks Open File; the chooser that opens is GTK's, not Qt's own dialog."""
        _, (x, y, w, h) = self.window()
        tool("xdotool", "mousemove", str(x + 48), str(y + h - BANNER_PX - PANEL_PX + 24),
             "click", "1")
        chooser = self.chooser()
        role = tool("xprop", "-id", chooser, "WM_WINDOW_ROLE")
        assert '"GtkFileChooserDialog"' in role, f"not GTK's chooser: {role.strip()}"
        return chooser

    def plays(self):
        """The window takes the video's width (320 outer pixels) and pictures
        move in the player area above its control bar."""
        def sized():
            geometry = self.window()[1]
            return 300 <= geometry[2] <= 320, geometry
        wait_for("the video's width", sized)

        def moving():
            _, geometry = self.window()
            x, y, w, h = geometry
            area = (x, y, w, max(1, h - PANEL_PX - BANNER_PX - BAR_PX))
            first = grab(*area)
            time.sleep(0.3)
            share = differing_share(first, grab(*area))
            return share > 0.01 and self.window()[1] == geometry, share
        wait_for("moving pictures", moving)

    def stderr(self):
        return open(self.err_path, errors="replace").read()

    def kill(self):
        if self.program.poll() is None:
            self.program.kill()
            self.program.wait()


def make_clip(path):
    subprocess.run(["ffmpeg", "-v", "error", "-y", "-f", "lavfi", "-i",
                    "testsrc=size=160x120:rate=15:duration=20", "-c:v", "flv1", "-f", "flv",
                    path], check=True)


def through_chooser(quillet, root, clip):
    session = Session(quillet, root, [])
    try:
        before = session.window()[1]
        assert before[2] > 320, "the idle window already has the video's width"
        # Cancel: the chooser goes, and nothing is opened.
        chooser = session.click_open_file()
        tool("xdotool", "windowactivate", "--sync", chooser)
        tool("xdotool", "key", "--clearmodifiers", "Escape")
        wait_for("the chooser to close", lambda: (not session.windows("Select file to open"),
                                                  None))
        time.sleep(1.5)  # a video would resize the window by now
        assert session.window()[1][2:] == before[2:], "cancelling changed the window"
        print("ok  cancelling the GTK chooser opens nothing", flush=True)

        # A typed path opens and plays.
        chooser = session.click_open_file()
        tool("xdotool", "windowactivate", "--sync", chooser)
        tool("xdotool", "key", "--clearmodifiers", "ctrl+l")
        time.sleep(0.3)
        tool("xdotool", "type", "--delay", "20", clip)
        time.sleep(0.3)
        tool("xdotool", "key", "--clearmodifiers", "Return")
        session.plays()
        assert not session.windows("Select file to open"), "the chooser stayed up"
        print("ok  a path typed into the GTK chooser plays", flush=True)
    except BaseException:
        sys.stderr.write(session.stderr()[-3000:])
        raise
    finally:
        session.kill()


def from_command_line(quillet, root, args):
    session = Session(quillet, root, args)
    try:
        session.plays()
        print(f"ok  {args!r} given on the command line plays", flush=True)
    except BaseException:
        sys.stderr.write(session.stderr()[-3000:])
        raise
    finally:
        session.kill()


def main():
    quillet = sys.argv[1]
    top = tempfile.mkdtemp(prefix="quillet-chooser-")
    try:
        clip = os.path.join(top, "media", "clip one.flv")
        os.makedirs(os.path.dirname(clip))
        make_clip(clip)
        latin = os.path.join(os.fsencode(top), b"media", b"caf\xe9.flv")
        os.link(clip, latin)
        through_chooser(quillet, os.path.join(top, "chooser"), clip)
        from_command_line(quillet, os.path.join(top, "latin"), [latin])
        # A file: address names the bytes its escapes spell. Beside it lies the
        # name those bytes would turn into as UTF-8 text (U+FFFD): no video.
        with open(os.path.join(os.path.dirname(latin), "caf\ufffd.flv".encode()), "wb") as f:
            f.write(b"FLV not really")
        from_command_line(quillet, os.path.join(top, "address"),
                          ["file://" + urllib.parse.quote(latin)])
        # The arguments are one path: a blank between two of them is its blank.
        from_command_line(quillet, os.path.join(top, "blank"), clip.split(" "))
    finally:
        shutil.rmtree(top, ignore_errors=True)
    print("PASS")


if __name__ == "__main__":
    main()
