"""What the end-to-end drivers share: running the X tools and waiting."""

import os
import signal
import subprocess
import time


def tool(*args):
    """The standard output of an X tool (xwininfo, xprop, xdotool)."""
    return subprocess.run(args, capture_output=True, text=True, timeout=30).stdout


def wait_for(what, probe, timeout=30.0, interval=0.1):
    """Polls probe() until it gives (True, value); fails with the last value."""
    end = time.monotonic() + timeout
    last = None
    while time.monotonic() < end:
        done, last = probe()
        if done:
            return last
        time.sleep(interval)
    raise AssertionError(f"timed out waiting for {what} (last: {last!r})")


def _ppm(x, y, w, h):
    ppm = subprocess.run(["import", "-window", "root", "-crop", f"{w}x{h}+{x}+{y}", "+repage",
                          "-depth", "8", "ppm:-"], capture_output=True, timeout=30).stdout
    fields = ppm.split(maxsplit=4)
    assert fields[:1] == [b"P6"], "import gave no picture"
    return int(fields[1]), int(fields[2]), fields[4]


def grab(x, y, w, h):
    """The screen's pixels in a rectangle, as raw RGB bytes (ImageMagick's import)."""
    return _ppm(x, y, w, h)[2]


def grab_rows(x, y, w, h):
    """The screen's pixels in a rectangle, as rows of (r, g, b)."""
    width, height, data = _ppm(x, y, w, h)
    return [[tuple(data[(r * width + c) * 3:(r * width + c) * 3 + 3]) for c in range(width)]
            for r in range(height)]


def differing_share(a, b):
    """The share of pixels that differ clearly between two grabs of one size."""
    if len(a) != len(b) or not a:
        return 1.0
    return sum(1 for i in range(0, len(a), 3)
               if max(abs(a[i + k] - b[i + k]) for k in range(3)) > 24) / (len(a) / 3)


def changed_share(a, b):
    """differing_share for two grab_rows pictures."""
    pixels = [(p, q) for ra, rb in zip(a, b) for p, q in zip(ra, rb)]
    return sum(1 for p, q in pixels if max(abs(i - j) for i, j in zip(p, q)) > 24) / len(pixels)


class PrivateSession:
    """A private session bus, and a HOME, TMPDIR and runtime folder of their
    own under root: env is what a program started in them gets (its XDG
    folders under that HOME, no sound). close() ends the bus."""

    def __init__(self, root):
        self.dirs = {d: os.path.join(root, d) for d in ("tmp", "home", "runtime")}
        for d in self.dirs.values():
            os.makedirs(d, mode=0o700, exist_ok=True)
        bus = subprocess.run(["dbus-daemon", "--session", "--fork", "--print-address=1",
                              "--print-pid=1"], capture_output=True, text=True, check=True,
                             timeout=30).stdout.split()
        self.address, self._bus_pid = bus[0], int(bus[1])
        home = self.dirs["home"]
        self.env = dict(os.environ, DBUS_SESSION_BUS_ADDRESS=self.address,
                        TMPDIR=self.dirs["tmp"], HOME=home, XDG_RUNTIME_DIR=self.dirs["runtime"],
                        XDG_CONFIG_HOME=os.path.join(home, ".config"),
                        XDG_DATA_HOME=os.path.join(home, ".local", "share"), QUILLET_AO="null")

    def close(self):
        try:
            os.kill(self._bus_pid, signal.SIGTERM)
        except ProcessLookupError:
            pass
