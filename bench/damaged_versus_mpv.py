#!/usr/bin/python3
"""Damaged FLV files in Quillet and in mpv: how much of each the player shows,
and the length it reports; and the walk of a huge file.

Usage: bench/damaged_versus_mpv.py [QUILLET] [--families F,F] [--big GIB] [--runs N] [--warm]
       [--no-damaged]
       (under tools/headless.sh; needs ffmpeg, mpv, dbus-daemon and Debian's
       python3 with its dbus module)

Every kind of damage tools/make_damaged_flv.py makes, from 4-second clips of
both families (flv1/MP3, H.264/AAC) and, with --families vp6-mp3, from the
VP6 clip of tests/data. Each player plays each file from its start to its end
at normal speed, its sound silenced:
  - Quillet on a private session bus, read through MPRIS: the length
    (mpris:length) as it starts and at the end, and the furthest position;
  - mpv --no-config --vo=null --ao=null, read by a small script of its own:
    the length (duration) as the file loads and the furthest time-pos.
"Shown" is the furthest position over the file's true length (from its tags).

With --big GIB (default 0: skipped), a file of that many GiB is made by
looping the 10-second 1280x720 clip's tags (onMetaData saying 10 s), and
bench/measure.cpp times each player from its start to the clip's first
picture on the screen, its CPU over the first 8 s, and its peak memory, on the
huge file and on the clip itself, each with its pages dropped from the cache
(with --warm, the first 16 MiB of each read first instead).
"""

import argparse
import json
import os
import shutil
import statistics
import subprocess
import sys
import tempfile
import time

sys.dont_write_bytecode = True
TOP = os.path.normpath(os.path.join(os.path.dirname(os.path.abspath(__file__)), ".."))
sys.path.insert(0, os.path.join(TOP, "tools"))
import make_damaged_flv  # noqa: E402

MPV = ["mpv", "--no-config", "--vo=null", "--ao=null", "--really-quiet"]
PROBE = r"""
local last, len = 0, nil
mp.register_event("file-loaded", function() len = mp.get_property_number("duration") end)
mp.observe_property("time-pos", "number", function(_, v) if v and v > last then last = v end end)
mp.register_event("end-file", function()
  io.stdout:write(string.format("%s %.3f\n", len and string.format("%.3f", len) or "none", last))
end)
"""


def mpv_plays(path, limit):
    probe = os.path.join(os.path.dirname(path), "probe.lua")
    with open(probe, "w") as f:
        f.write(PROBE)
    try:
        out = subprocess.run([*MPV, f"--script={probe}", path], capture_output=True, text=True,
                             timeout=limit).stdout.split()
    except subprocess.TimeoutExpired:
        return None, None, 0.0
    if len(out) < 2:
        return None, None, 0.0
    length = None if out[0] == "none" else float(out[0])
    return length, length, float(out[1])


class QuilletBus:
    def __init__(self, root):
        self.address = subprocess.run(
            ["dbus-daemon", "--session", "--fork", "--print-address=1", "--print-pid=1"],
            capture_output=True, text=True, check=True).stdout.split()
        self.pid = int(self.address[1])
        self.address = self.address[0]
        self.env = dict(os.environ, DBUS_SESSION_BUS_ADDRESS=self.address, QUILLET_AO="null",
                        HOME=os.path.join(root, "home"), TMPDIR=root,
                        XDG_CONFIG_HOME=os.path.join(root, "home", ".config"),
                        XDG_DATA_HOME=os.path.join(root, "home", ".local", "share"))
        os.makedirs(self.env["XDG_DATA_HOME"], exist_ok=True)

    def close(self):
        os.kill(self.pid, 9)


def quillet_plays(quillet, bus, path, limit):
    import dbus
    program = subprocess.Popen([quillet, path], env=bus.env, stdout=subprocess.DEVNULL,
                               stderr=subprocess.DEVNULL)
    connection = dbus.bus.BusConnection(bus.address)
    first = last = None
    furthest = 0.0
    end = time.monotonic() + limit
    props = None
    try:
        while time.monotonic() < end and program.poll() is None:
            try:
                if props is None:
                    props = dbus.Interface(connection.get_object("org.mpris.MediaPlayer2.quillet",
                                                                 "/org/mpris/MediaPlayer2"),
                                           "org.freedesktop.DBus.Properties")
                player = props.GetAll("org.mpris.MediaPlayer2.Player")
            except dbus.DBusException:
                time.sleep(0.05)
                continue
            length = int(player["Metadata"].get("mpris:length", 0)) / 1e6
            status = str(player["PlaybackStatus"])
            if status == "Playing":
                furthest = max(furthest, int(player["Position"]) / 1e6)
                if first is None and length > 0:
                    first = length
            if length > 0:
                last = length
            if status == "Stopped" and first is not None:
                break
            # A file with nothing to play never starts.
            if status == "Stopped" and time.monotonic() > end - limit + 5:
                break
            time.sleep(0.02)
    finally:
        program.kill()
        program.wait()
    return first, last, furthest


def fmt(v, f="{:.2f} s"):
    return f.format(v) if v is not None else "none"


def damaged(quillet, families, root):
    media = os.path.join(root, "media")
    sources = {"vp6-mp3": os.path.join(TOP, "tests", "data", "vp6f_mp3_on2_clip.flv")}
    manifest = [e for e in make_damaged_flv.make_set(media, 4, {k: v for k, v in sources.items()
                                                                if k in families})
                if e["family"] in families and e["playable"]]
    bus = QuilletBus(root)
    rows = []
    try:
        for e in manifest:
            path = os.path.join(media, e["file"])
            limit = 3 * e["length"] + 10
            q = quillet_plays(quillet, bus, path, limit)
            m = mpv_plays(path, limit)
            rows.append((e, q, m))
            print(f"{e['file']}: quillet {q}, mpv {m}", file=sys.stderr, flush=True)
    finally:
        bus.close()
    print("| file | true length | Quillet: length at start / at end | Quillet shows | "
          "mpv: length | mpv shows |")
    print("|---|---|---|---|---|---|")
    met = 0
    for e, q, m in rows:
        truth = e["length"]
        shown = lambda far: f"{far:.2f} s ({100 * far / truth:.0f} %)"
        good = (q[0] is not None and abs(q[0] - truth) <= 0.2 and abs(q[1] - truth) <= 0.2
                and q[2] >= truth - 0.2)
        met += good
        print(f"| {e['family']} {e['kind']} | {truth:.2f} s | {fmt(q[0])} / {fmt(q[1])} | "
              f"{shown(q[2])} | {fmt(m[0])} | {shown(m[2])} |")
    print(f"\nQuillet: true length from the start and played to within 0.2 s of the end in "
          f"{met} of {len(rows)} files.")


def walk_time(quillet, bus, path, truth, limit=120):
    """Seconds from Quillet's start until MPRIS tells the file's true length."""
    import dbus
    started = time.monotonic()
    program = subprocess.Popen([quillet, path], env=bus.env, stdout=subprocess.DEVNULL,
                               stderr=subprocess.DEVNULL)
    connection = dbus.bus.BusConnection(bus.address)
    try:
        while time.monotonic() - started < limit:
            try:
                props = dbus.Interface(connection.get_object("org.mpris.MediaPlayer2.quillet",
                                                             "/org/mpris/MediaPlayer2"),
                                       "org.freedesktop.DBus.Properties")
                metadata = props.Get("org.mpris.MediaPlayer2.Player", "Metadata")
                if abs(int(metadata.get("mpris:length", 0)) / 1e6 - truth) < 1:
                    return time.monotonic() - started
            except dbus.DBusException:
                pass
            time.sleep(0.1)
        return None
    finally:
        program.kill()
        program.wait()


def big(quillet, gib, root, runs=3, warm=False):
    work = os.path.join(root, "big")
    os.makedirs(work)
    clip = os.path.join(work, "clip.flv")
    subprocess.run(["ffmpeg", "-hide_banner", "-loglevel", "error", "-y", "-f", "lavfi", "-i",
                    "testsrc2=size=1280x720:rate=25:duration=10", "-f", "lavfi", "-i",
                    "sine=frequency=440:duration=10:sample_rate=44100", "-c:v", "libx264",
                    "-pix_fmt", "yuv420p", "-c:a", "aac", "-shortest", clip], check=True)
    measure = os.path.join(work, "measure")
    subprocess.run(["g++", "-O2", "-std=c++17", "-o", measure,
                    os.path.join(TOP, "bench", "measure.cpp"), "-lX11", "-lXtst"], check=True)
    huge = os.path.join(work, "huge.flv")
    seconds = make_damaged_flv.make_big(int(gib * (1 << 30)), clip, huge)
    bus = QuilletBus(root)
    # The clip itself beside the huge file: a huge file should start as
    # quickly as a small one.
    starts = [(f"{name}, {label}", cmd + [path]) for label, path in
            (("huge", huge), (f"{os.path.getsize(clip) / (1 << 20):.1f} MiB clip", clip))
            for name, cmd in (("Quillet", [quillet]),
                              ("mpv", ["mpv", "--no-config", "--vo=x11", "--ao=null",
                                       "--really-quiet"]))]
    results = {label: [] for label, _ in starts}
    try:
        for _ in range(runs):
            for player, cmd in starts:
                # Cold for each: the file's pages leave the cache first;
                # warm, its first 16 MiB are read first.
                subprocess.run(["dd", f"if={cmd[-1]}", "status=none"] +
                               (["of=/dev/null", "bs=1M", "count=16"] if warm else
                                ["iflag=nocache", "count=0"]))
                out = subprocess.run([measure, "8", *cmd], env=bus.env, capture_output=True,
                                     text=True, stdin=subprocess.DEVNULL).stdout
                values = dict(kv.split("=") for kv in out.split() if "=" in kv)
                results[player].append(values)
                time.sleep(0.5)
        walk = walk_time(quillet, bus, huge, seconds)
    finally:
        bus.close()
    size = os.path.getsize(huge)
    print(f"\n| {size / (1 << 30):.1f} GiB file ({seconds / 3600:.1f} h of tags, onMetaData "
          f"saying 10 s) | first frame | its runs | CPU over 8 s | peak RSS |")
    print("|---|---|---|---|---|")
    for player, values in results.items():
        med = lambda key: statistics.median(float(v[key]) for v in values if key in v) \
            if any(key in v for v in values) else None
        each = " ".join(f"{float(v['first_frame_ms']):.0f}" for v in values if "first_frame_ms" in v)
        print(f"| {player} | {fmt(med('first_frame_ms'), '{:.0f} ms')} | {each} "
              f"| {fmt(med('cpu_s'))} | {fmt(med('main_peak_mib'), '{:.0f} MiB')} |")
    print(f"\nQuillet's length (MPRIS) became the true {seconds:.0f} s after {fmt(walk)} "
          f"from its start (the walk of the whole file).")


def main():
    p = argparse.ArgumentParser()
    p.add_argument("quillet", nargs="?", default=os.path.join(TOP, "build", "quillet"))
    p.add_argument("--families", default="flv1-mp3,h264-aac")
    p.add_argument("--big", type=float, default=0)
    p.add_argument("--no-damaged", action="store_true", help="only the huge file")
    p.add_argument("--runs", type=int, default=3, help="starts of each player on each file")
    p.add_argument("--warm", action="store_true", help="files in the page cache, not dropped")
    args = p.parse_args()
    root = tempfile.mkdtemp(prefix="quillet-bench-damaged-")
    try:
        if not args.no_damaged:
            damaged(args.quillet, args.families.split(","), root)
        if args.big > 0:
            big(args.quillet, args.big, root, args.runs, args.warm)
    finally:
        shutil.rmtree(root, ignore_errors=True)


if __name__ == "__main__":
    main()
