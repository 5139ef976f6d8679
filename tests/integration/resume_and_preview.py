#!/usr/bin/python3
"""Going on where a video was left, and the seek bar's preview, on the real program,
driven from outside.

Usage: resume_and_preview.py QUILLET   (on an X display with a window manager,
e.g. under tools/headless.sh; needs dbus-daemon, playerctl, xdotool, ffmpeg)
       resume_and_preview.py QUILLET --wayland   (in a headless sway session,
e.g. under tools/headless-wayland.sh: the same going on where a video was
left as a native Wayland client, keys typed with wtype; the preview on sway
is wayland_session.py's)

A 3-minute clip is opened, seeked over MPRIS and closed through MPRIS Quit.
Left at 0:30 nothing is offered; left at 2:00 the place is kept (mode 0600),
the video starts near 0 and Enter goes to 2:00. Played to the end, the place
is forgotten. Where the desktop keeps no recent files, nothing is written.

Then the seek bar's preview, in full screen on a clip that lightens with
time: the pointer on the bar shows above it a picture as light as the frame
a click there then shows, a later place a lighter one, a drag takes it
along, and away from the bar it goes. Pixels are read with ImageMagick's
import, the pointer moved with xdotool.
"""

import json
import os
import shutil
import signal
import stat
import subprocess
import sys
import tempfile
import urllib.parse

sys.dont_write_bytecode = True  # nothing is written into the source tree
HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "support"))
import xdesktop  # noqa: E402
from xdesktop import tool  # noqa: E402

MPRIS = "org.mpris.MediaPlayer2"
WAYLAND = "--wayland" in sys.argv[2:]


def log(text):
    print(text, flush=True)


def wait_for(what, probe, timeout=30.0):
    return xdesktop.wait_for(what, probe, timeout, interval=0.1)


class Run:
    """One run of the program on the clip, on the private bus."""

    def __init__(self, quillet, clip, env, errors):
        self.env = env
        self.program = subprocess.Popen([quillet, clip], env=env, stdout=subprocess.DEVNULL,
                                        stderr=open(errors, "a"))
        wait_for("the window", lambda: (self.window() is not None, None), timeout=60)
        wait_for("the media interface", lambda: (self.position() >= 0, self.position()),
                 timeout=60)

    def ctl(self, *args):
        done = subprocess.run(["playerctl", "--player=quillet", *args], env=self.env,
                              capture_output=True, text=True, timeout=30)
        return done.stdout.strip()

    def position(self):
        text = self.ctl("position")
        try:
            return float(text)
        except ValueError:
            return -1.0

    def window(self):
        assert self.program.poll() is None, f"quillet ended with {self.program.returncode}"
        if WAYLAND:
            tree = subprocess.run(["swaymsg", "-t", "get_tree"], capture_output=True, text=True,
                                  timeout=30).stdout
            return "view" if f'"pid": {self.program.pid}' in tree else None
        ids = tool("xdotool", "search", "--onlyvisible", "--name", "^Quillet").split()
        return ids[0] if ids else None

    def seek(self, seconds):
        self.ctl("position", str(seconds))
        wait_for(f"the position {seconds}",
                 lambda: (abs(self.position() - seconds) < 2, self.position()))

    def key(self, name):
        if WAYLAND:
            subprocess.run(["swaymsg", f"[pid={self.program.pid}] focus"], capture_output=True,
                           timeout=30)
            # Without the pause the compositor may drop a new keyboard's first keys.
            subprocess.run(["wtype", "-s", "300", "-k", name], check=True, timeout=30)
            return
        tool("xdotool", "key", "--window", self.window(), name)

    def quit(self):
        subprocess.run(["dbus-send", "--session", "--print-reply", f"--dest={MPRIS}.quillet",
                        "/org/mpris/MediaPlayer2", f"{MPRIS}.Quit"], env=self.env, check=True,
                       capture_output=True, timeout=30)
        wait_for("the program to end", lambda: (self.program.poll() is not None, None))
        assert self.program.returncode == 0, f"quillet ended with {self.program.returncode}"

    def kill(self):
        if self.program.poll() is None:
            self.program.send_signal(signal.SIGKILL)
            self.program.wait()


def places(state):
    path = os.path.join(state, "quillet", "places.json")
    if not os.path.exists(path):
        return path, None
    with open(path) as f:
        return path, json.load(f)


def kept(state, clip):
    """Whether places.json names the clip anywhere."""
    _, data = places(state)
    if data is None:
        return False
    return any(urllib.parse.unquote(p.get("path", "")) == clip for p in data.get("places", []))


def expect_nothing_offered(r):
    """Enter leaves the video near its start when no place is offered."""
    r.key("Return")
    # The program has had the key when a later MPRIS call is answered; a
    # jump would show at once.
    wait_for("a position read after Enter", lambda: (r.position() >= 0, None))
    assert r.position() < 20, f"Enter moved the video to {r.position()}"


def mean_grey(rgb):
    return sum(rgb) / len(rgb)


def preview_on_x11(quillet, grey, env, errors):
    r = Run(quillet, grey, env, errors)
    try:
        wait_for("playing", lambda: (r.ctl("status") == "Playing", r.ctl("status")))
        r.ctl("pause")
        wait_for("paused", lambda: (r.ctl("status") == "Paused", r.ctl("status")))
        width, height = (int(v) for v in tool("xdotool", "getdisplaygeometry").split())
        tool("xdotool", "mousemove", str(width // 2), "10")
        r.key("f")

        def full():
            size = tool("xdotool", "getwindowgeometry", r.window()).split("Geometry:")[-1].strip()
            return size == f"{width}x{height}", size
        wait_for("full screen", full)
        # The bar is the bottom 27 pixels; the picture (a third of the width,
        # 480 at most) stands above it and the time, around the pointer.
        bar_y = height - 13

        def spot(x):
            return mean_grey(xdesktop.grab(x - 10, height - 27 - 150, 20, 20))

        def shown_at(x):
            tool("xdotool", "mousemove", str(x), str(bar_y - 1))
            tool("xdotool", "mousemove", str(x), str(bar_y))
            # Lighter than the dark picture around it, and steady.
            return wait_for(f"the preview at x {x}",
                            lambda: ((g := spot(x)) > 25 and abs(g - spot(x)) < 3, g))

        early, late = width * 3 // 10, width * 7 // 10
        g_early = shown_at(early)
        g_late = shown_at(late)
        assert g_late > g_early + 40, f"a later place is not lighter: {g_early} then {g_late}"
        log(f"preview: grey {g_early:.0f} at 3/10 of the bar, {g_late:.0f} at 7/10")
        tool("xdotool", "mousemove", str(width // 2), "10")
        gone = wait_for("the preview gone", lambda: ((g := spot(late)) < g_late - 40, g))
        log(f"away from the bar: grey {gone:.0f}, the paused frame near the start")

        # The frame a click there shows is as light as its preview was.
        shown_at(late)
        tool("xdotool", "click", "1")
        tool("xdotool", "mousemove", str(width // 2), "10")
        middle = lambda: mean_grey(xdesktop.grab(width // 2 - 10, height // 2 - 10, 20, 20))
        shown = wait_for("the frame of that moment",
                         lambda: ((m := middle()) > 25 and abs(m - middle()) < 3, m))
        assert abs(shown - g_late) < 12, f"preview {g_late:.0f}, frame {shown:.0f}"
        log(f"clicked: the frame there is grey {shown:.0f}")

        # Dragging the handle takes the picture along: darker towards the start.
        tool("xdotool", "mousemove", str(late), str(bar_y))
        shown_at(late)
        tool("xdotool", "mousedown", "1")
        for x in [*range(late, early, -40), early]:
            tool("xdotool", "mousemove", str(x), str(bar_y))
        dragged = wait_for("the preview where the handle went",
                           lambda: ((g := spot(early)) > 25 and abs(g - g_early) < 12, g))
        tool("xdotool", "mouseup", "1")
        log(f"dragged back: grey {dragged:.0f}")
    finally:
        r.kill()


def main():
    quillet = sys.argv[1]
    root = tempfile.mkdtemp(prefix="quillet-resume-")
    private = xdesktop.PrivateSession(root)
    state = os.path.join(root, "state")
    env = dict(private.env, XDG_STATE_HOME=state)
    if WAYLAND:
        env["QT_QPA_PLATFORM"] = "wayland"
    clip = os.path.join(root, "three minutes.flv")
    subprocess.run(["ffmpeg", "-v", "error", "-y", "-f", "lavfi", "-i",
                    "testsrc=size=64x48:rate=5:duration=180", "-c:v", "flv1", clip],
                   check=True)
    errors = os.path.join(root, "quillet.err")
    runs = []

    def start():
        r = Run(quillet, clip, env, errors)
        runs.append(r)
        return r

    try:
        r = start()
        r.seek(30)
        r.quit()
        assert not kept(state, clip), places(state)
        r = start()
        expect_nothing_offered(r)
        log("left at 0:30: nothing offered")

        r.seek(120)
        r.quit()
        path, data = places(state)
        assert kept(state, clip), f"not kept: {data}"
        mode = stat.S_IMODE(os.stat(path).st_mode)
        assert mode == 0o600, oct(mode)
        log("left at 2:00: kept, mode 0600")

        r = start()
        assert r.position() < 20, f"started at {r.position()}"
        r.key("Return")
        wait_for("Enter to go to 2:00", lambda: (abs(r.position() - 120) < 2, r.position()))
        log("opened again: Enter went to 2:00")

        r.seek(178)
        wait_for("the end", lambda: (not kept(state, clip), places(state)[1]), timeout=60)
        r.quit()
        r = start()
        expect_nothing_offered(r)
        r.quit()
        log("played to the end: forgotten, nothing offered")

        # Where the desktop keeps no recent files, nothing is written.
        shutil.rmtree(state, ignore_errors=True)
        gtk = os.path.join(env["XDG_CONFIG_HOME"], "gtk-3.0")
        os.makedirs(gtk, exist_ok=True)
        with open(os.path.join(gtk, "settings.ini"), "w") as f:
            f.write("[Settings]\ngtk-recent-files-enabled=false\n")
        r = start()
        r.seek(120)
        r.quit()
        assert places(state)[1] is None or not kept(state, clip), places(state)
        log("no recent files: nothing written")

        if not WAYLAND:
            grey = os.path.join(root, "grey clip.flv")
            subprocess.run(["ffmpeg", "-v", "error", "-y", "-f", "lavfi", "-i",
                            "color=black:size=320x180:rate=10:duration=120,format=gray,"
                            "geq=lum='2*T'", "-c:v", "flv1", "-q:v", "2", "-g", "10", grey],
                           check=True)
            preview_on_x11(quillet, grey, env, errors)
    except BaseException:
        if os.path.exists(errors):
            sys.stderr.write(open(errors).read()[-3000:])
        raise
    finally:
        for r in runs:
            r.kill()
        private.close()
        shutil.rmtree(root, ignore_errors=True)
    log("PASS")


if __name__ == "__main__":
    main()
