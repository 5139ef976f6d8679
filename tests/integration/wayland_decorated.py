#!/usr/bin/env python3
"""The idle window on a Wayland compositor that leaves title bars to its
clients, as GNOME's does: Qt draws its own, and it counts in the frame.

Usage: wayland_decorated.py QUILLET   (in a headless weston session, e.g.
QUILLET_WAYLAND_COMPOSITOR=weston tools/headless-wayland.sh: WAYLAND_DISPLAY
set)

The outer size is the window geometry the program gives the compositor
(xdg_surface.set_window_geometry, from libwayland's own trace of the
client's requests); the decoration is the one Qt draws, as the program
traces it once shown and as it counted it at load. With the design's rule
the outer size is 640 wide and 480 + panel - frame high, where the frame is
the decoration's top and bottom.
"""

import os
import re
import subprocess
import sys
import tempfile

sys.dont_write_bytecode = True  # nothing is written into the source tree
HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "support"))
from wayland_client import client_env  # noqa: E402
from xdesktop import wait_for  # noqa: E402

PANEL_PX = 48  # at 96 DPI

MARGINS = r"QMargins\((\d+), (\d+), (\d+), (\d+)\)"
MEASURED = re.compile(r"quillet\.wayland: the frame of Qt's own title bar, measured before show: "
                      + MARGINS)
SHOWN = re.compile(r"quillet\.wayland: frame once shown: " + MARGINS + r"(.*)")
# libwayland names objects interface@id up to 1.21 (Debian 12), interface#id
# after (Debian 13).
GEOMETRY = re.compile(r"-> xdg_surface[@#]\d+\.set_window_geometry\(-?\d+, -?\d+, (\d+), (\d+)\)")
BUFFER = re.compile(r"-> wl_shm_pool[@#]\d+\.create_buffer\(new id wl_buffer[@#]\d+, \d+, (\d+), (\d+),")


def margins(match):
    return tuple(int(match.group(i)) for i in range(1, 5))


def main(program):
    with tempfile.TemporaryDirectory(prefix="quillet-decorated.") as root:
        env = client_env(root, WAYLAND_DEBUG="client")
        errors = os.path.join(root, "quillet.err")
        with open(errors, "w") as sink:
            process = subprocess.Popen([program], env=env, stdout=subprocess.DEVNULL, stderr=sink)
        try:
            def shown():
                assert process.poll() is None, f"quillet ended early with {process.returncode}"
                with open(errors, errors="replace") as f:
                    text = f.read()
                after = SHOWN.search(text)
                if not after:
                    return False, "no frame traced once shown"
                rest = text[after.end():]
                # The window's geometry, then its first buffer.
                if not GEOMETRY.search(rest) or not BUFFER.search(rest):
                    return False, "no geometry and buffer yet"
                return True, (text, after)
            text, after = wait_for("the window shown with a buffer", shown, timeout=60)
        finally:
            process.kill()
            process.wait()

    drawn = margins(after)
    left, top, right, bottom = drawn
    frame = top + bottom
    outer = tuple(int(v) for v in GEOMETRY.findall(text[after.end():])[-1])
    print(f"decoration drawn once shown {drawn}{after.group(5)}; outer size {outer}, client "
          f"{(outer[0] - left - right, outer[1] - frame)}", flush=True)
    # weston draws no title bars and offers no decoration manager: Qt's own
    # is there, and the load counted it.
    assert "quillet.wayland: the compositor leaves title bars to Qt" in text, \
        "the program did not find out that weston leaves title bars to it"
    assert top > 0, f"no decoration drawn: {drawn}"
    assert outer == (640, 480 + PANEL_PX - frame), \
        f"outer {outer}, wanted {(640, 480 + PANEL_PX - frame)} with a frame of {frame}"
    assert after.group(5) == " as counted", f"counted{after.group(5)}"
    measured = MEASURED.search(text)
    assert measured and margins(measured) == drawn, "the frame was not measured before show"

if __name__ == "__main__":
    main(sys.argv[1])
