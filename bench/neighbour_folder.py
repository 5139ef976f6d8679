#!/usr/bin/python3
"""How long the media controls wait for Quillet's CanGoNext and CanGoPrevious
in a large folder: the video plays in a folder of N other files (100,000 by
default), and each read of the two properties over the session bus is timed.
The window's thread answers the bus, so a read that lists the folder holds
the window up for as long.

Usage: bench/neighbour_folder.py [N] [READS]    (QUILLET chooses the program,
default build/quillet; runs itself under tools/headless.sh; needs ffmpeg,
dbus-daemon and Debian's python3 with its dbus module)

The first video of the folder's order plays: the properties are read every
20 ms until CanGoNext says there is a next one (once the folder is read),
then READS times more (20 by default). Prints the time of the first read,
the median and the longest, in milliseconds, and how long after the start
of playing CanGoNext came true.
"""

import os
import shutil
import signal
import statistics
import subprocess
import sys
import tempfile
import time

TOP = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
if not os.environ.get("QUILLET_BENCH_ON_XVFB"):
    os.environ["QUILLET_BENCH_ON_XVFB"] = "1"
    os.execv(os.path.join(TOP, "tools", "headless.sh"),
             [os.path.join(TOP, "tools", "headless.sh"), "/usr/bin/python3"] + sys.argv)

import dbus  # noqa: E402

count = int(sys.argv[1]) if len(sys.argv) > 1 else 100_000
reads = int(sys.argv[2]) if len(sys.argv) > 2 else 20
quillet = os.environ.get("QUILLET", os.path.join(TOP, "build", "quillet"))
work = tempfile.mkdtemp(prefix="neighbour_bench_")
daemon = program = None
try:
    folder = os.path.join(work, "videos")
    os.mkdir(folder)
    for i in range(count):  # empty files: their names are what costs
        open(os.path.join(folder, f"clip {i}.flv" if i % 2 else f"note {i}.txt"), "w").close()
    video = os.path.join(folder, "clip 1.flv")
    subprocess.run(["ffmpeg", "-v", "error", "-y", "-f", "lavfi", "-i",
                    "testsrc=size=320x240:rate=25:duration=60", "-c:v", "flv1", "-f", "flv",
                    video], check=True)
    daemon = subprocess.Popen(["dbus-daemon", "--session", "--nofork", "--print-address=1"],
                              stdout=subprocess.PIPE, text=True)
    address = daemon.stdout.readline().strip()
    env = dict(os.environ, DBUS_SESSION_BUS_ADDRESS=address, QUILLET_AO="null", TMPDIR=work,
               XDG_DATA_HOME=os.path.join(work, "data"),
               XDG_CONFIG_HOME=os.path.join(work, "config"))
    program = subprocess.Popen([quillet, video], env=env, stdout=subprocess.DEVNULL,
                               stderr=subprocess.DEVNULL)
    bus = dbus.bus.BusConnection(address)
    name = "org.mpris.MediaPlayer2.quillet"
    deadline = time.monotonic() + 120
    while True:
        try:
            player = dbus.Interface(bus.get_object(name, "/org/mpris/MediaPlayer2"),
                                    "org.freedesktop.DBus.Properties")
            if player.Get("org.mpris.MediaPlayer2.Player", "PlaybackStatus") == "Playing":
                break
        except dbus.DBusException:
            pass
        if time.monotonic() > deadline or program.poll() is not None:
            sys.exit("quillet did not start playing")
        time.sleep(0.1)
    # Read until the answer has come in (the folder read), then READS more.
    times, answered, began = [], None, time.monotonic()
    while len(times) < 10_000 and (answered is None or len(times) < answered[0] + reads):
        start = time.monotonic()
        previous = bool(player.Get("org.mpris.MediaPlayer2.Player", "CanGoPrevious", timeout=120))
        following = bool(player.Get("org.mpris.MediaPlayer2.Player", "CanGoNext", timeout=120))
        times.append((time.monotonic() - start) * 1000)
        if answered is None and following:
            answered = (len(times), (time.monotonic() - began) * 1000)
        assert not previous, "the first video of the folder has no previous one"
        time.sleep(0.02)
    print(f"{count} files, {len(times)} reads of CanGoNext and CanGoPrevious: first "
          f"{times[0]:.1f} ms, median {statistics.median(times):.1f} ms, longest "
          f"{max(times):.1f} ms; CanGoNext true after "
          + (f"{answered[1]:.0f} ms" if answered else "never"))
finally:
    for p in (program, daemon):
        if p and p.poll() is None:
            p.send_signal(signal.SIGTERM)
            try:
                p.wait(10)
            except subprocess.TimeoutExpired:
                p.kill()
    shutil.rmtree(work, ignore_errors=True)
