#!/usr/bin/env python3
"""Quillet beside mpv as native Wayland clients of one headless sway session.

Usage: bench/wayland_versus_mpv.py [QUILLET] [RUNS]   (default build/quillet, 3 runs)

Starts its own session through tools/headless-wayland.sh when none is given.
The players take turns, run after run, on one clip (10 s of a moving,
strongly coloured 1280x720 H.264 picture with AAC sound, silent output), at
the picture size Quillet opens a video in (mpv --vo=wlshm, its window given
that size). For each run:
  - first frame: from the start of the process to the first picture on the
    output (grim, polled; the resolution is one screenshot, some 30 ms);
  - CPU: user and system time of the process and its children, to the clip's
    end and one second after;
  - peak RSS: the player process's own high-water mark (VmHWM).
Prints the medians and their ratios to mpv as a Markdown table.
"""

import json
import os
import shutil
import signal
import statistics
import subprocess
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))
TOP = os.path.dirname(HERE)
CLIP_SECONDS = 10
# Quillet's player area at its opening size, above the bar: 320 by 240 plus
# the panel (48) less the panel, the banner (81) and the bar (27).
PICTURE = (320, 132)
TICKS = os.sysconf("SC_CLK_TCK")


def swaymsg(*args):
    return subprocess.run(["swaymsg", *args], capture_output=True, text=True, timeout=30,
                          check=True).stdout


def view_of(pid):
    def walk(node):
        for child in node.get("nodes", []) + node.get("floating_nodes", []):
            if child.get("pid") == pid:
                return child
            found = walk(child)
            if found:
                return found
        return None
    node = walk(json.loads(swaymsg("-t", "get_tree", "-r")))
    if not node:
        return None
    rect, inner = node["rect"], node["window_rect"]
    return rect["x"] + inner["x"], rect["y"] + inner["y"], inner["width"], inner["height"]


def colours(x, y, w, h):
    ppm = subprocess.run(["grim", "-t", "ppm", "-g", f"{x},{y} {w}x{h}", "-"],
                         capture_output=True, timeout=30).stdout
    if not ppm.startswith(b"P6"):
        return 0
    data = ppm.split(maxsplit=4)[4]
    return len({data[i:i + 3] for i in range(0, len(data) - 2, 3)})


def tree_cpu(pid):
    """Seconds of CPU of a process and every process below it, living or waited for."""
    parents = {}
    for entry in os.listdir("/proc"):
        if entry.isdigit():
            try:
                with open(f"/proc/{entry}/stat") as f:
                    fields = f.read().rsplit(")", 1)[1].split()
                parents[int(entry)] = (int(fields[1]), fields)
            except OSError:
                continue
    total, todo = 0, [pid]
    while todo:
        p = todo.pop()
        if p in parents:
            fields = parents[p][1]
            total += sum(int(v) for v in fields[11:15])  # utime stime cutime cstime
        todo += [c for c, (ppid, _) in parents.items() if ppid == p]
    return total / TICKS


def peak_rss_mib(pid):
    with open(f"/proc/{pid}/status") as f:
        for line in f:
            if line.startswith("VmHWM:"):
                return int(line.split()[1]) / 1024
    return float("nan")


def measure(command, env):
    start = time.monotonic()
    process = subprocess.Popen(command, env=env, stdout=subprocess.DEVNULL,
                               stderr=subprocess.DEVNULL)
    try:
        first = None
        while time.monotonic() - start < 60:
            assert process.poll() is None, f"{command[0]} ended with {process.returncode}"
            rect = view_of(process.pid)
            if rect and rect[2] >= PICTURE[0] // 2:
                x, y, w, _h = rect
                if colours(x, y, w, min(PICTURE[1], rect[3])) > 40:
                    first = time.monotonic() - start
                    break
        assert first is not None, f"{command[0]} showed no picture"
        time.sleep(max(0.0, first + CLIP_SECONDS + 1 - (time.monotonic() - start)))
        return first * 1000, tree_cpu(process.pid), peak_rss_mib(process.pid)
    finally:
        process.send_signal(signal.SIGKILL)
        process.wait()


def main():
    quillet = os.path.abspath(sys.argv[1] if len(sys.argv) > 1 else
                              os.path.join(TOP, "build", "quillet"))
    runs = int(sys.argv[2]) if len(sys.argv) > 2 else 3
    if not os.environ.get("SWAYSOCK"):
        os.execv(os.path.join(TOP, "tools", "headless-wayland.sh"),
                 ["headless-wayland.sh", sys.executable, os.path.abspath(__file__), quillet,
                  str(runs)])
    work = tempfile.mkdtemp(prefix="quillet-bench-wayland-")
    try:
        clip = os.path.join(work, "play.flv")
        subprocess.run(["ffmpeg", "-hide_banner", "-loglevel", "error", "-y", "-f", "lavfi",
                        "-i", f"testsrc2=size=1280x720:rate=25:duration={CLIP_SECONDS}",
                        "-f", "lavfi", "-i",
                        f"sine=frequency=440:duration={CLIP_SECONDS}:sample_rate=44100",
                        "-c:v", "libx264", "-pix_fmt", "yuv420p", "-c:a", "aac", "-b:a", "128k",
                        "-shortest", clip], check=True)
        env = {"PATH": os.environ["PATH"], "WAYLAND_DISPLAY": os.environ["WAYLAND_DISPLAY"],
               "LANG": "C.UTF-8", "QT_QPA_PLATFORM": "wayland", "QUILLET_AO": "null"}
        for name in ("HOME", "TMPDIR", "XDG_RUNTIME_DIR"):
            env[name] = os.path.join(work, name.lower())
            os.makedirs(env[name], mode=0o700)
        players = {
            "Quillet": [quillet, clip],
            "mpv": ["mpv", "--no-config", "--vo=wlshm", "--ao=null", "--really-quiet",
                    "--keep-open=yes", f"--geometry={PICTURE[0]}x{PICTURE[1]}", clip],
        }
        results = {name: [] for name in players}
        for run in range(runs):
            for name, command in players.items():
                results[name].append(measure(command, env))
                print(f"run {run + 1} {name}: first frame {results[name][-1][0]:.0f} ms, "
                      f"CPU {results[name][-1][1]:.2f} s, peak RSS {results[name][-1][2]:.0f} MiB",
                      flush=True)
        medians = {name: [statistics.median(r[i] for r in rs) for i in range(3)]
                   for name, rs in results.items()}
        print(f"\n{runs} runs, medians; sway {PICTURE[0]}x{PICTURE[1]} picture, wlshm for mpv\n")
        print("| measure | Quillet | mpv | Quillet / mpv |")
        print("|---|---|---|---|")
        for i, (label, unit, digits) in enumerate((("first frame", "ms", 0),
                                                   ("CPU to the clip's end + 1 s", "s", 2),
                                                   ("peak RSS", "MiB", 0))):
            q, m = medians["Quillet"][i], medians["mpv"][i]
            print(f"| {label} | {q:.{digits}f} {unit} | {m:.{digits}f} {unit} | {q / m:.2f} |")
    finally:
        shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    main()
