#!/usr/bin/env python3
"""Opens a video from the command line in the real program and drives it.

Usage: open_play_full_screen.py QUILLET PLAYER_MOVIE   (on an X display with a
window manager, e.g. under tools/headless.sh)

Checks, on a clip that ffmpeg makes here and whose name holds a blank, "&" and
"%": the window's outer size becomes 320 by 240 pixels plus the panel less the
frame and the video plays; while the program runs one "TMP" file in the private
temporary directory holds the player movie; the movie's full-screen button
makes the window frameless, as large as the screen, with the panel hidden; its
normal-size button brings the border, the size and the place back; closing the
window ends the program at once and removes the temporary file, even while the
banner's host name is still being looked up by a name server that never
answers (where the test may give the program a resolver of its own: as root,
with unshare).
"""

import os
import random
import re
import shutil
import signal
import socket
import stat
import subprocess
import sys
import tempfile
import time

sys.dont_write_bytecode = True  # nothing is written into the source tree
sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))
import xdesktop  # noqa: E402
from xdesktop import changed_share, grab_rows as grab, tool  # noqa: E402


def wait_for(what, probe, timeout=30.0):
    return xdesktop.wait_for(what, probe, timeout, interval=0.1)


# At 96 DPI, 15 twips to the pixel: the panel is 720 twips, the banner 1215.
PANEL_PX = 48
BANNER_PX = 81
# The player's control bar and where its full-screen/normal button sits.
BAR_PX = 27
BUTTON_FROM_RIGHT = 16  # centre of the 19-px button that starts 25 px from the right
BUTTON_FROM_BOTTOM = 14

CLIP_NAME = "clip R&B 100%.flv"


def log(text):
    print(text, flush=True)


class Geometry:
    """A top-level window as the window manager shows it, in pixels."""

    def __init__(self, wid):
        self.wid = wid
        info = tool("xwininfo", "-id", wid)
        value = lambda key: int(re.search(key + r":\s+(-?\d+)", info).group(1))
        self.x, self.y = value("Absolute upper-left X"), value("Absolute upper-left Y")
        self.w, self.h = value("Width"), value("Height")
        found = re.search(r"=\s*(\d+), (\d+), (\d+), (\d+)",
                          tool("xprop", "-id", wid, "_NET_FRAME_EXTENTS"))
        self.left, self.right, self.top, self.bottom = (
            map(int, found.groups()) if found else (0, 0, 0, 0))
        hints = tool("xprop", "-id", wid, "_MOTIF_WM_HINTS")
        fields = re.findall(r"\d+", hints.split("=", 1)[1]) if "=" in hints else []
        # Flag bit 1 says the decorations field (the third) counts.
        self.undecorated = len(fields) >= 3 and int(fields[0]) & 2 and int(fields[2]) == 0

    @property
    def outer(self):
        return (self.x - self.left, self.y - self.top,
                self.w + self.left + self.right, self.h + self.top + self.bottom)

    @property
    def framed(self):
        return not self.undecorated and self.top > 0

    def __repr__(self):
        return (f"client {self.w}x{self.h}+{self.x}+{self.y} extents "
                f"{self.left},{self.right},{self.top},{self.bottom} "
                f"{'framed' if self.framed else 'frameless'}")


def colours(picture):
    return {p for row in picture for p in row}


def silent_resolver(root):
    """A command prefix that runs a program with a name server that takes every
    question and never answers, and the socket that plays it; (None, None)
    where the test may not give the program a resolver of its own."""
    if os.geteuid() != 0 or not shutil.which("unshare"):
        return None, None
    sink = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
    for _ in range(20):
        address = f"127.{random.randint(1, 254)}.{random.randint(1, 254)}.{random.randint(1, 254)}"
        try:
            sink.bind((address, 53))
            break
        except OSError:
            continue
    else:
        sink.close()
        return None, None
    conf = os.path.join(root, "resolv.conf")
    with open(conf, "w") as f:
        f.write(f"nameserver {address}\noptions timeout:30 attempts:2\n")
    probe = subprocess.run(["unshare", "-m", "true"], capture_output=True)
    if probe.returncode != 0:
        sink.close()
        return None, None
    return ["unshare", "-m", "sh", "-c",
            f'mount --bind "{conf}" /etc/resolv.conf && exec "$0" "$@"'], sink


def movie_files(tmpdir):
    return [n for n in os.listdir(tmpdir) if re.fullmatch(r"TMP[0-9A-F]+\.tmp", n)]


def main():
    quillet, movie = sys.argv[1], sys.argv[2]
    with open(movie, "rb") as f:
        movie_bytes = f.read()
    root = tempfile.mkdtemp(prefix="quillet-integration-")
    tmpdir, home, runtime = (os.path.join(root, d) for d in ("tmp", "home", "runtime"))
    for d in (tmpdir, home, runtime):
        os.makedirs(d, mode=0o700)
    clip = os.path.join(root, CLIP_NAME)
    subprocess.run(["ffmpeg", "-v", "error", "-y", "-f", "lavfi", "-i",
                    "testsrc=size=320x240:rate=25", "-f", "lavfi", "-i",
                    "sine=frequency=440:sample_rate=44100", "-t", "30", "-c:v", "flv1",
                    "-q:v", "6", "-c:a", "libmp3lame", "-b:a", "48k", clip], check=True)

    env = dict(os.environ, TMPDIR=tmpdir, HOME=home, XDG_RUNTIME_DIR=runtime,
               XDG_CONFIG_HOME=os.path.join(home, ".config"),
               XDG_DATA_HOME=os.path.join(home, ".local", "share"), QUILLET_AO="null")
    prefix, sink = silent_resolver(root)
    log("resolver: " + ("a name server that never answers" if prefix else "the machine's own"))
    program = subprocess.Popen((prefix or []) + [quillet, clip], env=env,
                               stdout=subprocess.DEVNULL,
                               stderr=open(os.path.join(root, "quillet.err"), "w"))
    try:
        run(program, tmpdir, movie_bytes)
    except BaseException:
        sys.stderr.write(open(os.path.join(root, "quillet.err")).read()[-3000:])
        raise
    finally:
        if program.poll() is None:
            program.send_signal(signal.SIGKILL)
            program.wait()
        if sink:
            sink.close()
        shutil.rmtree(root, ignore_errors=True)
    log("PASS")


def run(program, tmpdir, movie_bytes):
    # Qt makes a new native window when the border changes or the banner's web
    # engine arrives, so the window is looked up again for every look at it.
    def window():
        assert program.poll() is None, f"quillet ended early with {program.returncode}"
        for wid in tool("xdotool", "search", "--onlyvisible", "--name", "^Quillet$").split():
            try:
                g = Geometry(wid)
            except AttributeError:  # gone meanwhile
                continue
            if g.w > 1:
                return g
        return None

    def shown():
        g = window()
        return g is not None, g

    wait_for("the window", shown, timeout=60)

    # The outer size GotADrop gives: 320 by 240 plus the panel less the frame.
    def opened():
        g = window()
        return g and g.framed and g.outer[2:] == (320, 240 + PANEL_PX - g.top - g.bottom), g

    normal = wait_for("the window's video size", opened)
    log(f"opened: {normal!r}, outer {normal.outer}")

    files = movie_files(tmpdir)
    assert len(files) == 1, f"temporary movie files: {files}"
    movie_path = os.path.join(tmpdir, files[0])
    with open(movie_path, "rb") as f:
        assert f.read() == movie_bytes, "the temporary file is not the player movie"
    assert stat.S_IMODE(os.stat(movie_path).st_mode) == 0o600
    log(f"temporary movie: {files[0]}")

    # The video plays: the area above the bar shows changing pictures.
    control_w = min(normal.w, 320)
    control_h = normal.h - PANEL_PX - BANNER_PX
    area = (normal.x, normal.y, control_w, control_h - BAR_PX)

    def playing():
        first = grab(*area)
        time.sleep(0.5)
        second = grab(*area)
        share = changed_share(first, second)
        return share > 0.01 and len(colours(second)) > 8, share

    log(f"playing: {wait_for('moving pictures', playing):.0%} of the player area changed")

    # The movie's full-screen button, on the bar at the bottom of the player.
    now = wait_for("the window", shown)
    tool("xdotool", "mousemove", str(now.x + control_w - BUTTON_FROM_RIGHT),
         str(now.y + control_h - BUTTON_FROM_BOTTOM))
    time.sleep(0.5)
    tool("xdotool", "click", "1")
    screen_w, screen_h = map(int, tool("xdotool", "getdisplaygeometry").split())

    def full_screen():
        g = window()
        return g and not g.framed and g.outer == (0, 0, screen_w, screen_h), g

    full = wait_for("full screen", full_screen)
    log(f"full screen: {full!r}")
    # Where the panel would stand, left of the fitted video, the player's black
    # background shows: the panel is hidden.
    frame_px = normal.top + normal.bottom
    panel_top = screen_h - PANEL_PX - frame_px - BANNER_PX

    def panel_hidden():
        lightest = max(max(p) for p in colours(grab(0, panel_top, 200, PANEL_PX)))
        return lightest < 40, f"lightest channel {lightest} where the panel stood"

    wait_for("the panel to go", panel_hidden, timeout=10)

    # The bar shows while the pointer is below its top edge; then the
    # normal-size button, in the full-screen button's place.
    tool("xdotool", "mousemove", str(screen_w - BUTTON_FROM_RIGHT),
         str(screen_h - BUTTON_FROM_BOTTOM))
    time.sleep(0.5)
    tool("xdotool", "click", "1")

    def back():
        g = window()
        return g and g.framed and g.outer == normal.outer, g

    restored = wait_for("the window back where it was", back)
    log(f"normal again: {restored!r}, outer {restored.outer}")

    # Closing the window ends the program and removes the temporary movie. The
    # banner's host lookup, which the silent name server holds for a minute,
    # must not hold the program.
    tool("xdotool", "windowactivate", "--sync", wait_for("the window", shown).wid)
    tool("xdotool", "key", "--clearmodifiers", "alt+F4")
    wait_for("the program to end", lambda: (program.poll() is not None, None), timeout=15)
    assert program.returncode == 0, f"exit code {program.returncode}"
    assert movie_files(tmpdir) == [], f"left behind: {movie_files(tmpdir)}"
    log("closed: temporary movie removed")


if __name__ == "__main__":
    main()
