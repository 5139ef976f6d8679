#!/usr/bin/python3
"""Damaged and unplayable FLV files through the real program.

Usage: damaged_files.py QUILLET [FAMILY ...]   (on an X display with a window
manager, e.g. under tools/headless.sh; needs ffmpeg, dbus-daemon, at-spi2-core,
playerctl and Debian's python3 with pyatspi)

tools/make_damaged_flv.py makes every kind of damage from short clips of both
families (flv1 with MP3, H.264 with AAC; the VP6 clip of tests/data too when
"vp6-mp3" is named). One Quillet, on a private session bus with the
accessibility bus, opens each file through MPRIS OpenUri:
  - a damaged file plays from its start, its MPRIS length is within 0.2 s of
    what its tags really hold, a seek to 90 % (made paused, so that where it
    landed can be read) lands within 0.1 s, and it plays on to its true end,
    where the length is still the true one;
  - a file with nothing to play in it (an FLV header alone, metadata alone,
    garbage named .flv) shows the error layer's own words, read through
    AT-SPI, and a file that is not there still says "Video not found".
Every file is tried; the failures are listed together at the end.
"""

import json
import os
import shutil
import subprocess
import sys
import tempfile
import time
import urllib.parse

sys.dont_write_bytecode = True  # nothing is written into the source tree
HERE = os.path.dirname(os.path.abspath(__file__))
TOP = os.path.normpath(os.path.join(HERE, "..", ".."))
sys.path.insert(0, HERE)
sys.path.insert(0, os.path.join(TOP, "tools"))
import accessibility as a11y  # noqa: E402
import make_damaged_flv  # noqa: E402

UNPLAYABLE = "This file holds no video or sound that can be played."
NOT_FOUND = "Video not found"
LENGTH_SLACK = 0.2   # seconds, the length against the truth
LANDING_SLACK = 0.1  # seconds, where a seek lands against its target
VP6 = os.path.join(TOP, "tests", "data", "vp6f_mp3_on2_clip.flv")


def log(text):
    print(text, flush=True)


class Failed(Exception):
    pass


def until(what, probe, timeout=15.0):
    """probe() until it gives (True, value); Failed with the last value otherwise."""
    end = time.monotonic() + timeout
    value = None
    while time.monotonic() < end:
        ok, value = probe()
        if ok:
            return value
        time.sleep(0.05)
    raise Failed(f"{what}: still {value!r} after {timeout:.0f} s")


class Player:
    """Quillet through playerctl on the private bus."""

    def __init__(self, desktop, program):
        import dbus  # Debian's, as the stand-in services use
        self.s, self.program = desktop, program
        bus = dbus.bus.BusConnection(desktop.address)
        self.properties = dbus.Interface(
            bus.get_object("org.mpris.MediaPlayer2.quillet", "/org/mpris/MediaPlayer2"),
            "org.freedesktop.DBus.Properties")

    def metadata(self):
        # Read straight from the bus: playerctl prints no metadata at all for
        # a video without a length.
        return self.properties.Get("org.mpris.MediaPlayer2.Player", "Metadata")

    def ctl(self, *args):
        if self.program.poll() is not None:
            raise Failed(f"quillet ended with {self.program.returncode}")
        return self.s.ctl(*args)

    def url(self):
        return str(self.metadata().get("xesam:url", ""))

    def length(self):
        return int(self.metadata().get("mpris:length", 0)) / 1e6

    def position(self):
        return int(self.properties.Get("org.mpris.MediaPlayer2.Player", "Position")) / 1e6

    def status(self):
        return self.ctl("status")

    def open(self, path):
        url = "file://" + urllib.parse.quote(path)
        self.ctl("open", url)
        until("the file opened", lambda: (self.url() == url, self.url()))


def check_playable(p, path, truth):
    p.open(path)
    until("playing", lambda: (p.status() == "Playing", p.status()))
    first = until("time moving from the start", lambda: (lambda at: (at > 0, at))(p.position()))
    if first > 1.5:
        raise Failed(f"did not start at the start: first position {first:.2f} s")
    length = until("a length", lambda: (lambda n: (n > 0, n))(p.length()))
    if abs(length - truth) > LENGTH_SLACK:
        raise Failed(f"length {length:.3f} s at the start, truly {truth:.3f} s")
    target = round(0.9 * truth, 2)
    # Paused, where the seek lands stays put to be read: the engine's report
    # of the frame it shows replaces the target it was asked for.
    p.ctl("pause")
    until("paused", lambda: (p.status() == "Paused", p.status()))
    p.ctl("position", str(target))
    readings = []

    def settled():
        readings.append(p.position())
        time.sleep(0.2)
        return len(readings) >= 4 and len(set(readings[-3:])) == 1, readings[-1]

    landed = until("the seek settled", settled, timeout=10)
    if abs(landed - target) > LANDING_SLACK:
        raise Failed(f"a seek to {target:.2f} s landed at {landed:.2f} s")
    p.ctl("play")
    # At its end the player pauses there, on the last frame; until it has
    # played again, a pause is the one asked for before the seek. A short
    # rest of the video may play out between two looks: a position past the
    # landing tells that it played.
    last = [landed]
    played = [False]

    def ended():
        at, status = p.position(), p.status()
        if status == "Playing" or at > landed + 0.01:
            played[0] = True
            last[0] = max(last[0], at)
        return played[0] and status == "Paused", status

    until("the end", ended, timeout=truth + 10)
    end = max(last[0], p.position())
    if abs(end - truth) > LENGTH_SLACK:
        raise Failed(f"ended at {end:.3f} s, truly {truth:.3f} s")
    length = p.length()
    if abs(length - truth) > LENGTH_SLACK:
        raise Failed(f"length {length:.3f} s at the end, truly {truth:.3f} s")
    return f"length {length:.2f} (true {truth:.2f}), landed {landed:.2f} for {target:.2f}, " \
           f"ended {end:.2f}"


def shown_message(app):
    """The error layer's text as AT-SPI reads it, or None."""
    for node in a11y.walk(app):
        try:
            if node.name in (UNPLAYABLE, NOT_FOUND):
                return node.name
        except Exception:  # a node that went away meanwhile
            continue
    return None


def check_unplayable(p, app, path, expected):
    p.open(path)
    until(f"the message {expected!r}", lambda: (lambda m: (m == expected, m))(shown_message(app)))
    if p.status() == "Playing":
        raise Failed("plays nothing, yet reads Playing")
    return f"says {expected!r}"


def main():
    quillet = sys.argv[1]
    families = sys.argv[2:] or ["flv1-mp3", "h264-aac"]
    root = tempfile.mkdtemp(prefix="quillet-damaged-")
    media = os.path.join(root, "media")
    sources = {"vp6-mp3": VP6} if "vp6-mp3" in families else {}
    manifest = [e for e in make_damaged_flv.make_set(media, 4, sources)
                if e["family"] in families and e["kind"] != "original"]
    desktop = a11y.Desktop(root)
    failures = []
    try:
        program = desktop.quillet(quillet)
        app = a11y.window_of(desktop, program.pid)
        until("the media interface", lambda: (desktop.ctl("status") != "", None), timeout=30)
        p = Player(desktop, program)
        cases = [(e["file"], e["length"], e["playable"]) for e in manifest]
        cases.append(("missing.flv", 0, False))
        for name, truth, playable in cases:
            path = os.path.join(media, name)
            try:
                if playable:
                    result = check_playable(p, path, truth)
                else:
                    result = check_unplayable(p, app, path,
                                              UNPLAYABLE if os.path.exists(path) else NOT_FOUND)
                log(f"ok   {name}: {result}")
            except Failed as e:
                failures.append(f"{name}: {e}")
                log(f"FAIL {name}: {e}")
        desktop.stop(program)
    except BaseException:
        for name in sorted(os.listdir(root)):
            if name.endswith(".err"):
                sys.stderr.write(open(os.path.join(root, name)).read()[-3000:])
        raise
    finally:
        desktop.close()
        shutil.rmtree(root, ignore_errors=True)
    if failures:
        log(f"{len(failures)} of {len(cases)} files failed:\n  " + "\n  ".join(failures))
        sys.exit(1)
    log(f"PASS ({len(cases)} files)")


if __name__ == "__main__":
    main()
