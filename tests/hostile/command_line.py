#!/usr/bin/env python3
"""The real program given every hostile input on its command line.

Usage: command_line.py QUILLET MAKE_CASES   (on an X display with a window
manager, e.g. under tools/headless.sh)

For each case of make_cases.py, in a private HOME and TMPDIR: the program
starts, shows its window and its temporary movie; a sound video under a
strange name plays; the window stays responsive (a resize is laid out: the
bottom panel is drawn again at the new bottom); the program then ends with
exit code 0 and leaves nothing behind, whether its window was closed or it
was asked to end by SIGTERM, SIGINT or SIGHUP — also while its open dialog
is up.
"""

import json
import os
import re
import shutil
import signal
import subprocess
import sys
import tempfile
import time

sys.dont_write_bytecode = True  # nothing is written into the source tree
sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))
import xdesktop  # noqa: E402
from xdesktop import differing_share, grab, tool  # noqa: E402


def wait_for(what, probe, timeout=20.0):
    return xdesktop.wait_for(what, probe, timeout, interval=0.05)


PANEL_PX, BANNER_PX = 48, 81


def client(wid):
    """The window's client area on the screen: x, y, width, height."""
    info = tool("xwininfo", "-id", wid)
    value = lambda key: int(re.search(key + r":\s+(-?\d+)", info).group(1))
    return (value("Absolute upper-left X"), value("Absolute upper-left Y"), value("Width"),
            value("Height"))


def movie_files(tmpdir):
    return sorted(n for n in os.listdir(tmpdir) if re.fullmatch(r"TMP[0-9A-F]+\.tmp", n))


class Session:
    """One run of the program in its own private home."""

    def __init__(self, quillet, root, args):
        self.root = root
        self.tmpdir, home, runtime = (os.path.join(root, d) for d in ("tmp", "home", "rt"))
        for d in (self.tmpdir, home, runtime):
            os.makedirs(d, mode=0o700, exist_ok=True)
        env = dict(os.environ, TMPDIR=self.tmpdir, HOME=home, XDG_RUNTIME_DIR=runtime,
                   XDG_CONFIG_HOME=os.path.join(home, ".config"),
                   XDG_DATA_HOME=os.path.join(home, ".local", "share"), QUILLET_AO="null")
        self.err_path = os.path.join(root, "quillet.err")
        self.program = subprocess.Popen([quillet, *args], env=env, stdout=subprocess.DEVNULL,
                                        stderr=open(self.err_path, "w"))

    def window(self):
        def probe():
            assert self.program.poll() is None, f"ended early with {self.program.returncode}"
            for wid in tool("xdotool", "search", "--all", "--onlyvisible", "--pid",
                            str(self.program.pid), "--name", "^Quillet$").split():
                try:
                    geometry = client(wid)
                except AttributeError:
                    continue
                if geometry[2] > 1:
                    return True, (wid, geometry)
            return False, None
        return wait_for("the window", probe, timeout=30)

    def stderr(self):
        return open(self.err_path, errors="replace").read()

    def end(self, how):
        if how != "close":
            self.program.send_signal(how)
            wait_for("the program to end", lambda: (self.program.poll() is not None, None))
            return
        # A key press can fall between two native windows when Qt replaces
        # its window (the banner's arrival does): press again then.
        for _ in range(5):
            try:
                wid, _ = self.window()
            except AssertionError:
                if self.program.poll() is not None:
                    return  # it ended after the previous press
                raise
            tool("xdotool", "windowactivate", "--sync", wid)
            tool("xdotool", "key", "--clearmodifiers", "alt+F4")
            try:
                wait_for("the program to end", lambda: (self.program.poll() is not None, None),
                         timeout=5)
                return
            except AssertionError:
                pass
        raise AssertionError("the program did not end when its window was closed")

    def kill(self):
        if self.program.poll() is None:
            self.program.kill()
            self.program.wait()


def check_responsive(session):
    """A resize is laid out: the panel is drawn again at the new bottom."""
    def panel_drawn():
        wid, (x, y, w, h) = session.window()
        band = (x, y + h - BANNER_PX - PANEL_PX, min(w, 300), PANEL_PX)
        first = grab(*band)
        time.sleep(0.2)
        again = session.window()
        # The same picture twice on the same window, with the buttons' text in it.
        steady = again == (wid, (x, y, w, h)) and differing_share(first, grab(*band)) < 0.01
        return steady and len(set(first[i:i + 3] for i in range(0, len(first), 3))) > 4, (
            wid, (x, y, w, h), first)

    wid, (x, y, w, h), before = wait_for("the panel drawn", panel_drawn)
    width = min(w, 300)
    tool("xdotool", "windowsize", wid, str(w), str(h + 90))

    def moved():
        wid2, (x2, y2, w2, h2) = session.window()
        if h2 != h + 90:
            # Qt replaces its native window when the banner arrives: ask again.
            tool("xdotool", "windowsize", wid2, str(w), str(h + 90))
            return False, f"height {h2}, not {h} + 90"
        share = differing_share(before, grab(x2, y2 + h2 - BANNER_PX - PANEL_PX, width, PANEL_PX))
        return share < 0.05, f"{share:.0%} of the panel differs"
    wait_for("the panel at the new bottom", moved, timeout=10)


def check_plays(session):
    wid, (x, y, w, h) = session.window()
    area = (x, y, min(w, 320), max(1, h - PANEL_PX - BANNER_PX - 27))

    def moving():
        first = grab(*area)
        time.sleep(0.3)
        return differing_share(first, grab(*area)) > 0.01, None
    wait_for("moving pictures", moving, timeout=10)


def run_case(quillet, root, case, how):
    before = set(os.listdir(os.path.dirname(case["path"]))) if os.path.isdir(
        os.path.dirname(case["path"])) else set()
    session = Session(quillet, root, [case["path"]])
    try:
        session.window()
        wait_for("the temporary movie", lambda: (len(movie_files(session.tmpdir)) == 1, None))
        if case["kind"] == "plays":
            check_plays(session)
        else:
            time.sleep(0.5)  # the player opens, fails or plays what it can
        check_responsive(session)
        session.end(how)
        assert session.program.returncode == 0, f"exit code {session.program.returncode}"
        assert movie_files(session.tmpdir) == [], f"left behind: {movie_files(session.tmpdir)}"
        assert os.listdir(session.tmpdir) == [], f"stray files: {os.listdir(session.tmpdir)}"
        if before:
            after = set(os.listdir(os.path.dirname(case["path"])))
            assert after == before, f"files appeared next to the video: {after - before}"
        for bad in ("runtime error:", "AddressSanitizer", "LeakSanitizer", "Segmentation"):
            assert bad not in session.stderr(), session.stderr()[-3000:]
    except BaseException:
        sys.stderr.write(session.stderr()[-3000:])
        raise
    finally:
        session.kill()


def run_dialog_then_signal(quillet, root):
    """Asked to end while the open dialog is up: the dialog and the window close."""
    session = Session(quillet, root, [])
    try:
        wid, (x, y, w, h) = session.window()
        wait_for("the temporary movie", lambda: (len(movie_files(session.tmpdir)) == 1, None))
        panel_top = y + h - BANNER_PX - PANEL_PX
        tool("xdotool", "mousemove", str(x + 48), str(panel_top + 24), "click", "1")
        wait_for("the open dialog", lambda: (bool(tool(
            "xdotool", "search", "--all", "--onlyvisible", "--pid", str(session.program.pid),
            "--name", "^Select file to open$").split()), None))
        session.end(signal.SIGTERM)
        assert session.program.returncode == 0, f"exit code {session.program.returncode}"
        assert os.listdir(session.tmpdir) == [], f"left behind: {os.listdir(session.tmpdir)}"
    except BaseException:
        sys.stderr.write(session.stderr()[-3000:])
        raise
    finally:
        session.kill()


def main():
    quillet, make_cases = sys.argv[1], sys.argv[2]
    top = tempfile.mkdtemp(prefix="quillet-hostile-")
    try:
        subprocess.run([sys.executable, make_cases, top], check=True)
        cases = json.load(open(os.path.join(top, "manifest.json")))["cases"]
        endings = ["close", signal.SIGTERM, "close", signal.SIGINT, "close", signal.SIGHUP]
        for n, case in enumerate(cases):
            how = endings[n % len(endings)]
            started = time.monotonic()
            run_case(quillet, os.path.join(top, f"run{n}"), case, how)
            print(f"ok  {case['kind']:5} {case['name']!r:45} ended by {how!s:15} "
                  f"{time.monotonic() - started:.1f}s", flush=True)
        run_dialog_then_signal(quillet, os.path.join(top, "dialog"))
        print("ok  SIGTERM while the open dialog is up", flush=True)
    finally:
        shutil.rmtree(top, ignore_errors=True)
    print("PASS")


if __name__ == "__main__":
    main()
