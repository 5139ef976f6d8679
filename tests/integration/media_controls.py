#!/usr/bin/python3
"""The desktop's media controls on the real program, through a private session bus.

Usage: media_controls.py QUILLET APP_ID   (on an X display with a window manager, e.g.
under tools/headless.sh; needs dbus-daemon, playerctl, and a python3 with
Debian's dbus and gi modules for the stand-in screen saver)

Starts its own dbus-daemon and a stand-in org.freedesktop.ScreenSaver on it,
runs Quillet on a clip that ffmpeg makes here, and drives it with playerctl:
status, metadata, position and volume are read, play-pause, position, volume
and stop are sent, and each time the player's real state is checked on the
screen (moving or still pictures, the volume slider's filled length). The
screen saver must be inhibited while the video plays and given back on pause,
stop, at the end, when another video replaces it, and when the window closes
through the media interface's Quit, which also removes the temporary movie. A
second Quillet takes a name of its own. The track id lies under the
application's own path; the playback status reaches a follower through
PropertiesChanged; a seek past the end keeps the video there, so that play
starts it from the beginning; a video opened by a file: address whose name is
not UTF-8 plays (not the one beside it whose name is the same text with
U+FFFD) and its xesam:url spells those bytes.
"""

import os
import re
import shutil
import signal
import subprocess
import sys
import tempfile
import time
import urllib.parse

sys.dont_write_bytecode = True  # nothing is written into the source tree
HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "support"))
import xdesktop  # noqa: E402
from xdesktop import changed_share, grab_rows as grab, tool  # noqa: E402

# At 96 DPI: the panel is 48 pixels high, the banner 81; the player's bar 27.
PANEL_PX = 48
BANNER_PX = 81
BAR_PX = 27
# A video opened at 320 pixels: the volume slider spans 40 pixels that end
# 31 pixels from the player's right edge; its fill is drawn in the front
# colour (white) from its left end.
PLAYER_W = 320
SLIDER_LEFT = PLAYER_W - 31 - 40
SLIDER_W = 40

TITLE = "Quillet media keys clip"
SECOND_TITLE = "Quillet second clip"
MPRIS = "org.mpris.MediaPlayer2"
DEBIAN_PYTHON = "/usr/bin/python3"


def log(text):
    print(text, flush=True)


def wait_for(what, probe, timeout=30.0):
    return xdesktop.wait_for(what, probe, timeout, interval=0.1)


def make_clip(path, seconds, title=None):
    extra = ["-metadata", f"title={title}"] if title else []
    subprocess.run(["ffmpeg", "-v", "error", "-y", "-f", "lavfi", "-i",
                    f"testsrc=size=320x240:rate=25:duration={seconds}", "-c:v", "flv1",
                    "-q:v", "6", *extra, path], check=True)


class Session:
    """The private bus, the stand-in screen saver and the program's window."""

    def __init__(self, root, env, program):
        self.root, self.env, self.program = root, env, program
        self.saver_log = os.path.join(root, "screensaver.log")

    def ctl(self, *args):
        done = subprocess.run(["playerctl", "--player=quillet", *args], env=self.env,
                              capture_output=True, text=True, timeout=30)
        return done.stdout.strip()

    def status(self):
        return self.ctl("status")

    def position(self):
        text = self.ctl("position")
        return float(text) if text else -1.0

    def volume(self):
        text = self.ctl("volume")
        return float(text) if text else -1.0

    def saver_calls(self):
        with open(self.saver_log) as f:
            return [line.split() for line in f.read().splitlines() if line != "ready"]

    def inhibitions(self):
        """Cookies taken and not given back, in order."""
        held = []
        for call in self.saver_calls():
            if call[0] == "inhibit":
                held.append(call[1])
            elif call[1] in held:
                held.remove(call[1])
        return held

    def taken(self):
        return [c[1] for c in self.saver_calls() if c[0] == "inhibit"]

    def window(self):
        """The main window's client area: x, y, width, height."""
        assert self.program.poll() is None, f"quillet ended with {self.program.returncode}"
        for wid in tool("xdotool", "search", "--onlyvisible", "--name", "^Quillet$").split():
            info = tool("xwininfo", "-id", wid)
            try:
                value = lambda key: int(re.search(key + r":\s+(-?\d+)", info).group(1))
                box = (value("Absolute upper-left X"), value("Absolute upper-left Y"),
                       value("Width"), value("Height"))
            except AttributeError:  # gone meanwhile
                continue
            if box[2] > 1:
                return box
        return None

    def picture(self):
        x, y, w, h = self.window()
        player_h = h - PANEL_PX - BANNER_PX
        return grab(x + 10, y + 10, min(w, PLAYER_W) - 20, player_h - BAR_PX - 20)

    def moving(self):
        first = self.picture()
        time.sleep(0.5)
        return changed_share(first, self.picture()) > 0.01

    def still(self):
        first = self.picture()
        time.sleep(0.6)
        return changed_share(first, self.picture()) == 0

    def slider_fill(self):
        """How many pixels of the volume slider are filled, as drawn."""
        x, y, w, h = self.window()
        row_y = y + h - PANEL_PX - BANNER_PX - BAR_PX // 2 - 1
        row = grab(x + SLIDER_LEFT, row_y, SLIDER_W, 1)[0]
        return sum(1 for p in row if min(p) > 200)


def main():
    quillet = sys.argv[1]
    root = tempfile.mkdtemp(prefix="quillet-media-")
    private = xdesktop.PrivateSession(root)
    tmpdir, env, address = private.dirs["tmp"], private.env, private.address
    clip = os.path.join(root, "first clip.flv")
    second = os.path.join(os.fsencode(root), b"second caf\xe9 & last.flv")
    make_clip(clip, 30, TITLE)
    make_clip(second, 30, SECOND_TITLE)
    make_clip(os.path.join(root, "second caf\ufffd & last.flv"), 30, "the wrong clip")

    processes = []

    def start(args, **kwargs):
        p = subprocess.Popen(args, env=env, **kwargs)
        processes.append(p)
        return p

    errors = os.path.join(root, "quillet.err")
    try:
        saver_log = os.path.join(root, "screensaver.log")
        start([DEBIAN_PYTHON, os.path.join(HERE, "fake_screensaver.py"), saver_log])
        wait_for("the stand-in screen saver",
                 lambda: (os.path.exists(saver_log) and "ready" in open(saver_log).read(), None))
        monitor = start(["dbus-monitor", "--address", address,
                         "type='signal',interface='org.mpris.MediaPlayer2.Player',member='Seeked'"],
                        stdout=open(os.path.join(root, "seeked.log"), "w"))
        program = start([quillet, clip], stdout=subprocess.DEVNULL, stderr=open(errors, "w"))
        statuses = os.path.join(root, "statuses.log")
        start(["playerctl", "--player=quillet", "--follow", "status"],
              stdout=open(statuses, "w"))
        session = Session(root, env, program)
        run(session, clip, second, tmpdir, start, errors)
        monitor.terminate()
        followed(statuses)
    except BaseException:
        if os.path.exists(errors):
            sys.stderr.write(open(errors).read()[-3000:])
        raise
    finally:
        for p in processes:
            if p.poll() is None:
                p.send_signal(signal.SIGKILL)
                p.wait()
        private.close()
        shutil.rmtree(root, ignore_errors=True)
    log("PASS")


def run(s, clip, second, tmpdir, start, errors):
    wait_for("the window", lambda: (s.window() is not None, None), timeout=60)
    wait_for("Playing", lambda: (s.status() == "Playing", s.status()))
    wait_for("a moving picture", lambda: (s.moving(), None))
    wait_for("an inhibited screen saver", lambda: (len(s.inhibitions()) == 1, s.saver_calls()))
    assert s.saver_calls()[0][2] == "Quillet", s.saver_calls()
    log(f"playing; screen saver inhibited: {s.inhibitions()}")

    fields = s.ctl("metadata", "--format",
                   "{{mpris:trackid}}|{{mpris:length}}|{{xesam:title}}|{{xesam:url}}").split("|")
    assert len(fields) == 4, fields
    track, length, title, url = fields
    track = track.strip("'")  # playerctl prints an object path quoted
    # "/org/mpris" is the interface's own, NoTrack aside.
    own = "/" + re.sub(r"[^A-Za-z0-9_/]", "_", sys.argv[2].replace(".", "/"))
    assert re.fullmatch(re.escape(own) + r"/video/\d+", track), track
    assert abs(int(length) - 30_000_000) < 200_000, length
    assert title == TITLE, title
    assert url == "file://" + urllib.parse.quote(clip), url
    log(f"metadata: {fields}")

    at = s.position()
    time.sleep(0.6)
    assert s.position() > at > 0, (at, s.position())
    assert abs(s.volume() - 0.75) < 0.001, s.volume()
    assert s.slider_fill() in (29, 30, 31), s.slider_fill()

    # play-pause: paused for real, screen saver given back; far enough from
    # 3 s that the picture there is another.
    wait_for("4.5 s played", lambda: (s.position() > 4.5, s.position()))
    s.ctl("play-pause")
    wait_for("Paused", lambda: (s.status() == "Paused", s.status()))
    wait_for("a still picture", lambda: (s.still(), None))
    at = s.position()
    time.sleep(0.5)
    assert s.position() == at, (at, s.position())
    wait_for("the inhibition given back on pause", lambda: (s.inhibitions() == [], s.saver_calls()))
    log(f"paused at {at:.2f} s; screen saver free")

    # position 3: the picture moves there, still paused; Seeked says so.
    before = s.picture()
    s.ctl("position", "3")
    wait_for("position 3", lambda: (abs(s.position() - 3) < 0.05, s.position()))
    wait_for("the picture at 3 s", lambda: (changed_share(before, s.picture()) > 0.01, None))
    assert s.status() == "Paused"
    wait_for("the Seeked signal",
             lambda: ("int64 3000000" in open(os.path.join(s.root, "seeked.log")).read(), None))
    log("moved to 3 s")

    # volume 0.2: the slider follows.
    s.ctl("volume", "0.2")
    wait_for("volume 0.2", lambda: (abs(s.volume() - 0.2) < 0.001, s.volume()))
    wait_for("the slider at 0.2", lambda: (s.slider_fill() in (7, 8, 9), s.slider_fill()))
    log("volume 0.2")

    # Playing again takes a new inhibition; stop gives it back and goes to 0.
    s.ctl("play-pause")
    wait_for("Playing", lambda: (s.status() == "Playing", s.status()))
    wait_for("a moving picture", lambda: (s.moving(), None))
    wait_for("a new inhibition", lambda: (len(s.inhibitions()) == 1, s.saver_calls()))
    s.ctl("stop")
    wait_for("Stopped", lambda: (s.status() == "Stopped", s.status()))
    wait_for("position 0", lambda: (s.position() == 0, s.position()))
    wait_for("a still picture", lambda: (s.still(), None))
    wait_for("the inhibition given back on stop", lambda: (s.inhibitions() == [], s.saver_calls()))
    log("stopped")

    # The end gives it back too.
    s.ctl("play")
    wait_for("a new inhibition", lambda: (len(s.inhibitions()) == 1, s.saver_calls()))
    s.ctl("position", "29")
    # Paused at the end, as the movie is, at the end's position.
    wait_for("the end", lambda: (s.status() == "Paused", s.status()))
    wait_for("the end's position", lambda: (s.position() > 29, s.position()))
    wait_for("the inhibition given back at the end",
             lambda: (s.inhibitions() == [], s.saver_calls()))
    log("ended")

    # A seek past the end keeps the video there: play starts it from 0.
    s.ctl("position", "5+")
    time.sleep(0.5)
    assert s.status() == "Paused", s.status()
    s.ctl("play")
    wait_for("Playing from the start", lambda: (s.status() == "Playing" and s.position() < 5,
                                                (s.status(), s.position())))
    wait_for("a moving picture", lambda: (s.moving(), None))
    log("played again after a seek past the end")

    # Another video replaces this one: its inhibition goes, the new one's comes.
    wait_for("a new inhibition", lambda: (len(s.inhibitions()) == 1, s.saver_calls()))
    replaced = s.inhibitions()[0]
    address = "file://" + urllib.parse.quote(second)
    s.ctl("open", address)
    wait_for("the second video",
             lambda: (s.ctl("metadata", "xesam:title") == SECOND_TITLE,
                      s.ctl("metadata", "xesam:title")))
    assert s.ctl("metadata", "xesam:url") == address, s.ctl("metadata", "xesam:url")
    wait_for("Playing", lambda: (s.status() == "Playing", s.status()))
    wait_for("the second video's inhibition",
             lambda: (len(s.inhibitions()) == 1 and s.inhibitions()[0] != replaced,
                      s.saver_calls()))
    log(f"replaced: {s.saver_calls()[-2:]}")

    # A second Quillet gets a name of its own.
    other = start([sys.argv[1]], stdout=subprocess.DEVNULL, stderr=open(errors + "2", "w"))
    instance = f"quillet.instance{other.pid}"

    def listed():
        names = subprocess.run(["playerctl", "--list-all"], env=s.env, capture_output=True,
                               text=True, timeout=30).stdout.split()
        return "quillet" in names and instance in names, names

    wait_for("both players on the bus", listed, timeout=60)
    other.send_signal(signal.SIGTERM)
    other.wait(timeout=30)
    log(f"second instance: {instance}")

    # Quit closes the window the normal way.
    subprocess.run(["dbus-send", "--session", "--print-reply", f"--dest={MPRIS}.quillet",
                    "/org/mpris/MediaPlayer2", f"{MPRIS}.Quit"], env=s.env, check=True,
                   capture_output=True, timeout=30)
    wait_for("the program to end", lambda: (s.program.poll() is not None, None))
    assert s.program.returncode == 0, s.program.returncode
    assert not [n for n in os.listdir(tmpdir) if n.startswith("TMP")], os.listdir(tmpdir)
    assert s.inhibitions() == [], s.saver_calls()
    assert len(s.taken()) == 5, s.saver_calls()
    log("quit: temporary movie removed, screen saver free")


def followed(path):
    """What a follower of the playback status heard, repeats merged, holds
    every change the run made, in order."""
    heard = []
    for line in open(path).read().split():
        if not heard or heard[-1] != line:
            heard.append(line)
    wanted = ["Playing", "Paused", "Playing", "Stopped", "Playing", "Paused", "Playing"]
    rest = iter(heard)
    assert all(w in rest for w in wanted), heard
    log(f"followed: {heard}")


if __name__ == "__main__":
    main()
