#!/usr/bin/env python3
"""The real program as a native Wayland client of a real compositor.

Usage: wayland_session.py QUILLET APP_ID   (in a headless sway session, e.g.
under tools/headless-wayland.sh: WAYLAND_DISPLAY, SWAYSOCK and
QUILLET_WAYLAND_OUTPUT set, a seat with a pointer)

Three runs, each a list of checks that share the running program:
- without a video: the idle window's client size (sway draws the title bar,
  so the frame counts nothing), and a drop from a second client that opens
  a clip;
- with a clip on the command line: it plays, F gives the compositor's
  full-screen state with the picture over the output and the panel hidden,
  F again gives back the same client size, Space pauses, and the view holds
  an idle inhibitor while it plays and none while paused;
- with a clip that lightens with time: the pointer on the seek bar shows a
  picture of a later moment above it, and it goes with the pointer.
Sizes and states are read from sway's tree, pixels with grim, keys typed with
wtype, the drag made with sway's seat commands. The banner strip on the same
compositor, with a page from a local server, is the banner tests' own run on
Wayland (banner_gui.on_wayland).
"""

import json
import os
import shutil
import signal
import socket
import struct
import subprocess
import sys
import tempfile
import time

sys.dont_write_bytecode = True  # nothing is written into the source tree
HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "support"))
from wayland_client import client_env  # noqa: E402
from xdesktop import wait_for  # noqa: E402

# At 96 DPI: the designed window is 640 by 480 plus the panel (48), less the
# frame; a video gives 320 by 240 plus the panel. The banner is 81 high.
PANEL_PX, BANNER_PX = 48, 81
IDLE_CLIENT = (640, 480 + PANEL_PX)
VIDEO_CLIENT = (320, 240 + PANEL_PX)
# A wide clip leaves black bands above and below the picture on the 5:4 output.
CLIP_SIZE = "320x180"
DRAG_SOURCE_ID = "quillet-drag-source"
DEBIAN_PYTHON = "/usr/bin/python3"


def log(text):
    print(text, flush=True)


def swaymsg(*args):
    return subprocess.run(["swaymsg", *args], capture_output=True, text=True, timeout=30,
                          check=True).stdout


def grab(x, y, w, h):
    """The output's pixels in a rectangle, as a list of (r, g, b)."""
    ppm = subprocess.run(["grim", "-t", "ppm", "-g", f"{x},{y} {w}x{h}", "-"],
                         capture_output=True, timeout=30, check=True).stdout
    magic, width, height, _depth, data = ppm.split(maxsplit=4)
    assert magic == b"P6", "grim gave no picture"
    count = int(width) * int(height)
    return [tuple(data[i * 3:i * 3 + 3]) for i in range(count)]


def changed_share(a, b):
    return sum(1 for p, q in zip(a, b) if max(abs(i - j) for i, j in zip(p, q)) > 24) / len(a)


def lightest(pixels):
    return max(max(p) for p in pixels)


def views(node):
    for child in node.get("nodes", []) + node.get("floating_nodes", []):
        if child.get("type") in ("con", "floating_con") and child.get("pid"):
            yield child
        yield from views(child)


class View:
    """A client's view as sway's tree shows it."""

    def __init__(self, node):
        rect, inner = node["rect"], node["window_rect"]
        self.client = (rect["x"] + inner["x"], rect["y"] + inner["y"],
                       inner["width"], inner["height"])
        self.size = self.client[2:]
        self.full = node.get("fullscreen_mode", 0) != 0
        self.inhibiting = bool(node.get("inhibit_idle"))
        self.focused = bool(node.get("focused"))
        self.app_id = node.get("app_id")

    def __repr__(self):
        return (f"client {self.size[0]}x{self.size[1]} at {self.client[:2]}"
                f"{' full screen' if self.full else ''}"
                f"{' inhibiting idle' if self.inhibiting else ''}")


class VncPointer:
    """A pointer moved through wayvnc as a VNC client moves it (RFB 3.8, no
    authentication): real pointer motion, which sway passes on to a client
    that holds a button down, as a drag needs."""

    def __init__(self, port):
        self.sock = socket.create_connection(("127.0.0.1", port), timeout=30)
        version = self._read(12)
        assert version.startswith(b"RFB "), f"no VNC server: {version!r}"
        self.sock.sendall(b"RFB 003.008\n")
        types = self._read(self._read(1)[0])
        assert 1 in types, f"wayvnc asks for authentication: {list(types)}"
        self.sock.sendall(b"\x01")
        assert struct.unpack(">I", self._read(4))[0] == 0, "VNC security refused"
        self.sock.sendall(b"\x01")  # shared
        _w, _h, _format, name_length = struct.unpack(">HH16sI", self._read(24))
        self._read(name_length)
        self.buttons = 0

    def _read(self, count):
        data = b""
        while len(data) < count:
            chunk = self.sock.recv(count - len(data))
            assert chunk, "the VNC server closed the connection"
            data += chunk
        return data

    def move(self, x, y):
        self.sock.sendall(struct.pack(">BBHH", 5, self.buttons, x, y))
        self.at = (x, y)

    def button(self, down):
        self.buttons = 1 if down else 0
        self.move(*self.at)

    def close(self):
        self.sock.close()


def find_view(pid):
    tree = json.loads(swaymsg("-t", "get_tree", "-r"))
    for node in views(tree):
        if node["pid"] == pid:
            return View(node)
    return None


def output_size():
    outputs = json.loads(swaymsg("-t", "get_outputs", "-r"))
    rect = next(o["rect"] for o in outputs if o["name"] == os.environ["QUILLET_WAYLAND_OUTPUT"])
    return rect["width"], rect["height"]


class Quillet:
    """One run of the program, with what its checks share."""

    def __init__(self, program, root, args):
        self.root = root
        env = client_env(root)
        self.errors = os.path.join(root, "quillet.err")
        self.process = subprocess.Popen([program, *args], env=env, stdout=subprocess.DEVNULL,
                                        stderr=open(self.errors, "w"))

    def view(self):
        assert self.process.poll() is None, f"quillet ended early with {self.process.returncode}"
        return find_view(self.process.pid)

    def wait_view(self, what, test, timeout=30.0):
        def probe():
            v = self.view()
            return v is not None and test(v), v
        return wait_for(what, probe, timeout)

    def player_area(self, view):
        """The player's part of the normal window, above the panel and the
        banner; after full screen the player covers the panel until the next
        resize, as on X11."""
        x, y, w, h = view.client
        return x, y, w, h - BANNER_PX

    def moving(self, area):
        def probe():
            first = grab(*area)
            time.sleep(0.5)
            second = grab(*area)
            share = changed_share(first, second)
            return share > 0.01 and len(set(second)) > 8, f"{share:.1%} changed"
        return probe

    def still(self, area):
        def probe():
            first = grab(*area)
            time.sleep(1.0)
            share = changed_share(first, grab(*area))
            return share == 0, f"{share:.1%} changed"
        return probe

    def key(self, *keys):
        swaymsg(f'[pid={self.process.pid}] focus')
        self.wait_view("the window's focus", lambda v: v.focused)
        # Without the pause the compositor may drop a new keyboard's first keys.
        for k in keys:
            subprocess.run(["wtype", "-s", "300", "-k", k], check=True, timeout=30)

    def close(self):
        swaymsg(f'[pid={self.process.pid}] kill')
        wait_for("the program to end", lambda: (self.process.poll() is not None, None), 30)
        assert self.process.returncode == 0, f"exit code {self.process.returncode}"

    def stop(self):
        if self.process.poll() is None:
            self.process.send_signal(signal.SIGKILL)
            self.process.wait()


# --- Checks on the idle window ------------------------------------------------

def idle_sizes(q):
    v = q.wait_view("the idle window", lambda v: v.size == IDLE_CLIENT, timeout=60)
    # A native client, known by the desktop entry's name.
    assert v.app_id == q.app_id, f"app_id {v.app_id!r}"
    log(f"idle window: {v!r}")
    # sway offers the decoration manager: the program leaves the title bars
    # to it, and Qt draws none.
    trace = open(q.errors).read()
    assert "the compositor draws the title bars" in trace, "decoration manager not found"
    assert "frame once shown: QMargins(0, 0, 0, 0) as counted" in trace, \
        "a frame counted or drawn on a compositor that draws the title bars"


def drag(sx, sy, tx, ty):
    pointer = VncPointer(int(os.environ["QUILLET_VNC_PORT"]))
    try:
        pointer.move(sx, sy)
        time.sleep(0.3)
        pointer.button(True)
        steps = 20
        for i in range(1, steps + 1):
            pointer.move(sx + (tx - sx) * i // steps, sy + (ty - sy) * i // steps)
            time.sleep(0.05)
        # The target's enter and motion reach it before the button goes up.
        for dx in (3, -3, 0):
            time.sleep(0.3)
            pointer.move(tx + dx, ty)
        pointer.button(False)
    finally:
        pointer.close()


def drop_opens(q):
    clip = q.clip
    # GTK wants a runtime directory of its own to connect at all.
    runtime = os.path.join(q.root, "source-runtime")
    os.makedirs(runtime, mode=0o700)
    env = dict(os.environ, XDG_RUNTIME_DIR=runtime, GDK_BACKEND="wayland")
    source = subprocess.Popen([DEBIAN_PYTHON, os.path.join(HERE, "drag_source.py"),
                               DRAG_SOURCE_ID, clip], stdout=subprocess.PIPE, text=True,
                              stderr=subprocess.DEVNULL, env=env)
    try:
        def source_view():
            v = find_view(source.pid)
            return v is not None and v.size[0] > 0, v
        wait_for("the drag source's window", source_view, 60)
        # Both windows open in the output's middle: the source moves aside.
        swaymsg(f'[pid={source.pid}] move position 10 10')
        src = wait_for("the drag source in its corner",
                       lambda: ((v := find_view(source.pid)) and v.client[1] < 60, v))
        target = q.view()
        sx, sy = src.client[0] + src.size[0] // 2, src.client[1] + src.size[1] // 2
        tx, ty = target.client[0] + target.size[0] // 2, target.client[1] + 100
        # A drop that comes before the target has answered the drag's
        # arrival is refused by the compositor; on a loaded machine the
        # drag is made again.
        for attempt in range(3):
            drag(sx, sy, tx, ty)
            try:
                v = q.wait_view("the dropped clip's window size",
                                lambda v: v.size == VIDEO_CLIENT, timeout=20)
                break
            except AssertionError:
                if attempt == 2:
                    raise
                log("the drop did not arrive; dragging again")
        wait_for("the dropped clip to play", q.moving(q.player_area(v)))
        log(f"drop: {v!r}, playing")
    finally:
        source.terminate()
        source.wait()


# --- Checks with a clip from the command line ---------------------------------

def plays(q):
    v = q.wait_view("the video's window size", lambda v: v.size == VIDEO_CLIENT, timeout=60)
    log(f"opened: {v!r}")
    log(f"playing: {wait_for('moving pictures', q.moving(q.player_area(v)))}")
    v = q.wait_view("an idle inhibitor while playing", lambda v: v.inhibiting)
    log(f"while playing: {v!r}")
    q.normal = v


def full_screen_and_back(q):
    width, height = output_size()
    q.key("f")
    full = q.wait_view("the compositor's full-screen state",
                       lambda v: v.full and v.client == (0, 0, width, height))
    log(f"full screen: {full!r}")
    # No title bar above the picture, which takes the whole output's width,
    # and the panel hidden where it stood, in the black band below it. The
    # bands are some 140 pixels high.
    band = 100

    def covered():
        top = grab(0, 0, width, band)
        middle = grab(0, height // 2 - 100, width, 200)
        panel = grab(0, height - PANEL_PX - BANNER_PX + 8, 200, PANEL_PX - 16)
        ok = lightest(top) < 40 and len(set(middle)) > 8 and lightest(panel) < 40
        return ok, (f"band {lightest(top)}, picture colours {len(set(middle))}, "
                    f"panel's place {lightest(panel)}")

    log(f"picture over the output: {wait_for('the picture over the output', covered)}")
    q.key("f")
    back = q.wait_view("the window back at its size",
                       lambda v: not v.full and v.size == q.normal.size)
    log(f"normal again: {back!r}")
    wait_for("pictures after full screen", q.moving(q.player_area(back)))


def compositor_ends_full_screen(q):
    """A full-screen state the compositor takes back (or never grants) leaves
    the window at its earlier size, not as large as the output with a title
    bar on top, and the program follows the compositor: the next F asks for
    full screen again."""
    q.key("f")
    q.wait_view("the compositor's full-screen state", lambda v: v.full)
    swaymsg(f"[pid={q.process.pid}] fullscreen disable")
    back = q.wait_view("the window back at its size",
                       lambda v: not v.full and v.size == q.normal.size)
    log(f"full screen taken back: {back!r}")
    # The program notices it, says so in its trace, and keeps that size.
    wait_for("the trace of the full screen not granted",
             lambda: ("full screen skipped" in open(q.errors).read(), None), 15)
    v = q.view()
    assert not v.full and v.size == q.normal.size, f"after the trace: {v!r}"
    # One press is full screen again, and one more the normal window.
    q.key("f")
    v = q.wait_view("full screen at the next F", lambda v: v.full, timeout=15)
    log(f"full screen again: {v!r}")
    q.key("f")
    v = q.wait_view("the window at its size", lambda v: not v.full and v.size == q.normal.size)
    log(f"normal again: {v!r}")


def space_pauses(q):
    q.key("space")
    v = q.wait_view("no idle inhibitor while paused", lambda v: not v.inhibiting)
    log(f"paused: {v!r}, {wait_for('a still picture', q.still(q.player_area(v)))}")
    q.key("space")
    v = q.wait_view("the idle inhibitor back", lambda v: v.inhibiting)
    log(f"playing again: {v!r}, {wait_for('moving pictures', q.moving(q.player_area(v)))}")


def mean_grey(pixels):
    return sum(sum(p) for p in pixels) / (3 * len(pixels))


def hover_previews(q):
    """The pointer on the seek bar of the full-screen player shows, above the
    bar, a picture of a later moment of a clip that lightens with time; away
    from the bar it goes."""
    q.wait_view("the video's window size", lambda v: v.size == VIDEO_CLIENT, timeout=60)
    width, height = output_size()
    q.key("space")  # paused near the start: a dark picture
    q.key("f")
    q.wait_view("the compositor's full-screen state",
                lambda v: v.full and v.client == (0, 0, width, height))
    # The bar is the bottom 27 pixels; the picture (a third of the width, the
    # clip's 16:9) stands above it and the time, around the pointer.
    x, bar_y = width // 2, height - 13
    spot = (x - 10, height - 27 - 150, 20, 20)
    wait_for("the paused dark picture", lambda: (mean_grey(grab(*spot)) < 40,
                                                 mean_grey(grab(*spot))))
    pointer = VncPointer(int(os.environ["QUILLET_VNC_PORT"]))
    try:
        pointer.move(x, bar_y - 40)
        pointer.move(x, bar_y)

        nudge = [0]

        def preview():
            # A hand on the mouse is never quite still: under load the bar may
            # come back under a pointer that has already stopped.
            nudge[0] ^= 2
            pointer.move(x + nudge[0], bar_y)
            pixels = grab(*spot)
            grey = mean_grey(pixels)
            flat = max(max(p) for p in pixels) - min(min(p) for p in pixels) < 30
            # About the middle of the two minutes: 2 levels a second.
            return flat and 70 < grey < 190, f"grey {grey:.0f}"
        log(f"preview over the bar: {wait_for('the picture of a later moment', preview)}")
        pointer.move(x, 10)
        gone = wait_for("the preview gone", lambda: (mean_grey(grab(*spot)) < 40,
                                                     mean_grey(grab(*spot))))
        log(f"pointer away: grey {gone:.0f}")
    finally:
        pointer.close()
    q.key("f")


RUNS = [
    ([], [idle_sizes, drop_opens]),
    (["clip"], [plays, full_screen_and_back, compositor_ends_full_screen, space_pauses]),
    (["grey"], [hover_previews]),
]


def main():
    program, app_id = sys.argv[1], sys.argv[2]
    root = tempfile.mkdtemp(prefix="quillet-wayland-test-")
    clip = os.path.join(root, "wayland clip.flv")
    subprocess.run(["ffmpeg", "-v", "error", "-y", "-f", "lavfi", "-i",
                    f"testsrc=size={CLIP_SIZE}:rate=25", "-t", "120", "-c:v", "flv1",
                    "-q:v", "6", clip], check=True)
    grey = os.path.join(root, "grey clip.flv")
    subprocess.run(["ffmpeg", "-v", "error", "-y", "-f", "lavfi", "-i",
                    f"color=black:size={CLIP_SIZE}:rate=10:duration=120,format=gray,"
                    "geq=lum='2*T'", "-c:v", "flv1", "-q:v", "2", "-g", "10", grey], check=True)
    try:
        for number, (args, checks) in enumerate(RUNS):
            q = Quillet(program, os.path.join(root, f"run{number}"),
                        [{"clip": clip, "grey": grey}.get(a, a) for a in args])
            q.clip, q.app_id = clip, app_id
            try:
                for check in checks:
                    check(q)
                    log(f"ok: {check.__name__}")
                q.close()
            except BaseException:
                sys.stderr.write(open(q.errors).read()[-3000:])
                raise
            finally:
                q.stop()
    finally:
        shutil.rmtree(root, ignore_errors=True)
    log("PASS")


if __name__ == "__main__":
    main()
