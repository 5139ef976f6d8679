#!/usr/bin/python3
"""The real window as a screen reader sees it, through AT-SPI.

Usage: accessibility.py QUILLET   (on an X display with a window manager, e.g.
under tools/headless.sh; needs dbus-daemon, at-spi2-core, playerctl and
Debian's python3 with pyatspi)

Starts a private session bus with the accessibility bus on it, runs Quillet
with Qt's AT-SPI bridge on, and walks its accessible tree with pyatspi:
  - idle: the panel's buttons and check box, the named banner strip, the
    player area named "No video";
  - playing a clip that ffmpeg makes here: the player named after the clip's
    title, the bar's parts as its children with their roles, names, states
    and values, checked against the player as the desktop's media controls
    (playerctl) read it; actions and values set through AT-SPI pause, play,
    mute, seek, change the volume and switch to full screen and back, and the
    sliders' Increase and Decrease each move their value its own way;
  - in Spanish (LANGUAGE=es): the captions, the player's names, and the open
    dialog's title.
"""

import os
import re
import shutil
import signal
import subprocess
import sys
import tempfile
import threading
import time

sys.dont_write_bytecode = True  # nothing is written into the source tree
HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "support"))
import xdesktop  # noqa: E402
from xdesktop import tool  # noqa: E402

TITLE = "Quillet accessible clip"
LAUNCHER = "/usr/libexec/at-spi-bus-launcher"


def log(text):
    print(text, flush=True)


def wait_for(what, probe, timeout=60.0):
    return xdesktop.wait_for(what, probe, timeout, interval=0.2)


def make_clip(path, seconds, title):
    subprocess.run(["ffmpeg", "-v", "error", "-y", "-f", "lavfi", "-i",
                    f"testsrc=size=320x240:rate=25:duration={seconds}", "-c:v", "flv1",
                    "-q:v", "6", "-metadata", f"title={title}", path], check=True)


class Desktop:
    """The private session bus, the accessibility bus, and the programs on them."""

    def __init__(self, root):
        self.root = root
        self.processes = []
        self.private = xdesktop.PrivateSession(root)
        self.address = self.private.address
        self.env = dict(self.private.env, QT_LINUX_ACCESSIBILITY_ALWAYS_ON="1", LANGUAGE="en",
                        LANG="C.UTF-8")
        self.env.pop("LC_ALL", None)
        self.env.pop("LC_MESSAGES", None)
        # pyatspi finds the accessibility bus through the session bus it is given.
        os.environ.update(DBUS_SESSION_BUS_ADDRESS=self.address,
                          XDG_RUNTIME_DIR=self.private.dirs["runtime"])
        # In a process group of its own: the bus it launches goes with it.
        self.launcher = self.start([LAUNCHER, "--launch-immediately"], stdout=subprocess.DEVNULL,
                                   stderr=subprocess.DEVNULL, start_new_session=True)
        wait_for("the accessibility bus", lambda: (self.a11y_bus() != "", None))

    def a11y_bus(self):
        return subprocess.run(["dbus-send", "--session", "--print-reply=literal",
                               "--dest=org.a11y.Bus", "/org/a11y/bus", "org.a11y.Bus.GetAddress"],
                              env=self.env, capture_output=True, text=True,
                              timeout=30).stdout.strip()

    def start(self, args, **kwargs):
        env = dict(self.env, **kwargs.pop("extra_env", {}))
        p = subprocess.Popen(args, env=env, **kwargs)
        self.processes.append(p)
        return p

    def quillet(self, program, *args, language="en"):
        errors = open(os.path.join(self.root, f"quillet-{len(self.processes)}.err"), "w")
        return self.start([program, *args], stdout=subprocess.DEVNULL, stderr=errors,
                          extra_env={"LANGUAGE": language})

    def ctl(self, *args):
        return subprocess.run(["playerctl", "--player=quillet", *args], env=self.env,
                              capture_output=True, text=True, timeout=30).stdout.strip()

    def stop(self, program):
        program.send_signal(signal.SIGTERM)
        try:
            program.wait(timeout=30)
        except subprocess.TimeoutExpired:
            program.kill()
            program.wait()

    def close(self):
        try:
            os.killpg(self.launcher.pid, signal.SIGKILL)
        except ProcessLookupError:
            pass
        for p in self.processes:
            if p.poll() is None:
                p.kill()
                p.wait()
        self.private.close()


# ---- Reading the accessible tree -------------------------------------------

def pyatspi():
    import pyatspi as module  # imported once the buses are set up
    return module


def application(pid):
    """Quillet's accessible application, found by its process."""
    a = pyatspi()
    for app in a.Registry.getDesktop(0):
        try:
            if app is not None and app.get_process_id() == pid:
                return app
        except Exception:  # an application that went away meanwhile
            continue
    return None


def walk(node):
    yield node
    for i in range(node.childCount):
        child = node.getChildAtIndex(i)
        if child is not None:
            yield from walk(child)


def find(root, role, name=None):
    a = pyatspi()
    for node in walk(root):
        if node.getRole() == getattr(a, role) and (name is None or node.name == name):
            return node
    return None


def states(node):
    a = pyatspi()
    s = node.getState()
    return {n for n in ("checked", "enabled", "showing", "visible", "focused", "focusable")
            if s.contains(getattr(a, "STATE_" + n.upper()))}


def action(node, name):
    act = node.queryAction()
    names = [act.getName(i) for i in range(act.nActions)]
    assert name in names, f"{node.name!r} offers {names}, not {name!r}"
    act.doAction(names.index(name))


def seek_value_events(while_doing, seconds):
    """How many value changes of the seek slider reach AT-SPI while doing
    runs (in a thread), and until seconds have passed."""
    a = pyatspi()
    from gi.repository import GLib
    times = []

    def heard(event):
        try:
            if event.source.name == "Seek":
                times.append(time.monotonic())
        except Exception:  # gone meanwhile
            pass

    a.Registry.registerEventListener(heard, "object:property-change:accessible-value")
    worker = threading.Thread(target=while_doing)
    GLib.timeout_add(int(seconds * 1000), lambda: a.Registry.stop())
    worker.start()
    a.Registry.start()
    worker.join()
    a.Registry.deregisterEventListener(heard, "object:property-change:accessible-value")
    return len(times)


def window_of(s, pid, language="en"):
    """The application once its main window is in the tree."""
    return wait_for(f"Quillet's window in the accessible tree ({language})",
                    lambda: (lambda app: (app is not None and
                                          find(app, "ROLE_FRAME", "Quillet") is not None, app))(
                        application(pid)))


def player_area(app):
    a = pyatspi()
    for node in walk(app):
        if node.getRole() == a.ROLE_PANEL and any(
                node.getChildAtIndex(i).getRole() == a.ROLE_SLIDER
                for i in range(node.childCount)):
            return node
    return None


def bar(player):
    """The bar's parts by role: the player's children, in order."""
    return [player.getChildAtIndex(i) for i in range(player.childCount)]


# ---- The checks ---------------------------------------------------------------

def check_idle(s, program):
    app = window_of(s, program.pid)
    a = pyatspi()
    for name in ("Open File", "Website"):
        button = find(app, "ROLE_PUSH_BUTTON", name)
        assert button is not None, f"no push button {name!r}"
        assert {"enabled", "showing", "focusable"} <= states(button), states(button)
    # The keyboard starts where the tab order does.
    first = find(app, "ROLE_PUSH_BUTTON", "Open File")
    wait_for("the focus on Open File", lambda: ("focused" in states(first), states(first)))
    box = find(app, "ROLE_CHECK_BOX", "Associate with .flv files")
    assert box is not None and "checked" in states(box), "the check box is missing or unchecked"
    assert any(n.name == "Banner" for n in walk(app)), "the banner strip has no name"
    idle = [n for n in walk(app) if n.name == "No video"]
    assert idle and idle[0].getRole() == a.ROLE_PANEL, "the idle player is not named 'No video'"
    log("idle: panel, banner and player area named")


def check_playing(s, program):
    app = window_of(s, program.pid)
    a = pyatspi()
    player = wait_for("the player named after the clip",
                      lambda: (lambda p: (p is not None and p.name == TITLE, p))(
                          player_area(app)))
    wait_for("the focus on the picture", lambda: ("focused" in states(player), states(player)))
    parts = bar(player)
    roles = [p.getRole() for p in parts]
    assert roles == [a.ROLE_PUSH_BUTTON, a.ROLE_SLIDER, a.ROLE_LABEL, a.ROLE_PUSH_BUTTON,
                     a.ROLE_SLIDER, a.ROLE_PUSH_BUTTON], [p.getRoleName() for p in parts]
    play, seek, clock, mute, volume, screen = parts
    wait_for("playing", lambda: (s.ctl("status") == "Playing", s.ctl("status")))
    wait_for("the button named Pause", lambda: (play.name == "Pause", play.name))
    assert (seek.name, mute.name, volume.name, screen.name) == (
        "Seek", "Mute", "Volume", "Full screen"), [p.name for p in parts]
    assert "checked" not in states(mute)

    # The sliders against the player as the media controls read it.
    value = seek.queryValue()
    assert abs(value.maximumValue - 30) < 0.5, value.maximumValue
    assert value.minimumValue == 0
    wait_for("the seek slider's value to follow playback",
             lambda: (abs(value.currentValue - float(s.ctl("position"))) < 1.5,
                      (value.currentValue, s.ctl("position"))))
    text = seek.queryText().getText(0, -1)
    assert re.fullmatch(r"0:\d\d of 0:30", text), text
    assert seek.description == "100% loaded", seek.description
    assert re.fullmatch(r"\d\d:\d\d", clock.name), clock.name
    level = volume.queryValue()
    assert level.maximumValue == 100
    assert abs(level.currentValue / 100 - float(s.ctl("volume"))) < 0.01

    # While it plays, the seek slider's value reaches AT-SPI once a second;
    # dragging its handle back and forth does not make it talk faster.
    heard = seek_value_events(lambda: None, 3.5)
    assert 2 <= heard <= 5, f"{heard} value changes in 3.5 s of playback"
    x, y, w, h = seek.queryComponent().getExtents(a.DESKTOP_COORDS)

    def drag():
        tool("xdotool", "mousemove", str(x + 2), str(y + h // 2), "mousedown", "1")
        for i in range(24):
            tool("xdotool", "mousemove", str(x + 2 + (w - 4) * (i % 12) // 11), str(y + h // 2))
            time.sleep(0.05)
        # Let go near the start, so that the clip plays on.
        tool("xdotool", "mousemove", str(x + 2 + (w - 4) // 10), str(y + h // 2), "mouseup", "1")

    started = time.monotonic()
    heard = seek_value_events(drag, 2.0)
    took = time.monotonic() - started
    assert heard <= 2 + took, f"{heard} value changes in {took:.1f} s of dragging"

    # Driving the player through AT-SPI; each action names the player's own
    # key that does the same.
    assert play.queryAction().getKeyBinding(0) == "K"
    assert mute.queryAction().getKeyBinding(0) == "M"
    action(play, "Press")
    wait_for("paused by the button's action", lambda: (s.ctl("status") == "Paused",
                                                       s.ctl("status")))
    wait_for("the button named Play", lambda: (play.name == "Play", play.name))
    action(play, "Press")
    wait_for("playing again", lambda: (s.ctl("status") == "Playing", s.ctl("status")))

    value.currentValue = 20.0
    wait_for("the seek through the slider's value",
             lambda: (19 <= float(s.ctl("position")) < 25, s.ctl("position")))
    level.currentValue = 40.0
    wait_for("the volume through the slider's value",
             lambda: (s.ctl("volume") in ("0.4", "0.400000"), s.ctl("volume")))
    assert level.currentValue == 40

    # The sliders' Increase and Decrease go each its own way, by 5 seconds or
    # 5 percent, as the arrow keys do (paused, so that only the seek moves it).
    action(play, "Press")
    wait_for("paused for the sliders' actions", lambda: (s.ctl("status") == "Paused",
                                                         s.ctl("status")))
    before = float(s.ctl("position"))
    for name, change in (("Increase", 5), ("Decrease", -5)):
        action(seek, name)
        wait_for(f"the seek slider's {name}", lambda: (
            abs(float(s.ctl("position")) - (before + change)) < 0.6, s.ctl("position")))
        wait_for(f"its value after {name}", lambda: (
            abs(value.currentValue - (before + change)) < 0.6, value.currentValue))
        action(seek, "Decrease" if change > 0 else "Increase")
        wait_for(f"the seek slider back after {name}", lambda: (
            abs(float(s.ctl("position")) - before) < 0.6, s.ctl("position")))
    for name, expected in (("Increase", 45), ("Decrease", 40), ("Decrease", 35)):
        action(volume, name)
        wait_for(f"the volume slider's {name} to {expected}", lambda: (
            abs(float(s.ctl("volume")) - expected / 100) < 0.001, s.ctl("volume")))
        assert level.currentValue == expected, (name, level.currentValue)
    action(play, "Press")
    wait_for("playing after the sliders' actions", lambda: (s.ctl("status") == "Playing",
                                                           s.ctl("status")))

    action(mute, "Toggle")
    wait_for("muted", lambda: ("checked" in states(mute), states(mute)))
    # The player itself is muted: its own key now unmutes it.
    tool("xdotool", "search", "--onlyvisible", "--name", "^Quillet$", "windowactivate", "--sync")
    tool("xdotool", "key", "m")
    wait_for("unmuted by the player's own key", lambda: ("checked" not in states(mute),
                                                         states(mute)))

    action(screen, "Press")
    wait_for("full screen", lambda: (screen.name == "Leave full screen", screen.name))
    width, height = player.queryComponent().getSize()
    assert (width, height) == (1920, 1080), (width, height)
    action(screen, "Press")
    wait_for("back from full screen", lambda: (screen.name == "Full screen", screen.name))
    log("playing: bar parts, values and actions")


def check_spanish(s, program):
    app = window_of(s, program.pid, "es")
    for name in ("Abrir archivo", "Sitio web"):
        assert find(app, "ROLE_PUSH_BUTTON", name) is not None, f"no button {name!r}"
    assert find(app, "ROLE_CHECK_BOX", "Asociar con archivos .flv") is not None
    assert any(n.name == "Sin vídeo" for n in walk(app)), "the idle player is not in Spanish"
    action(find(app, "ROLE_PUSH_BUTTON", "Abrir archivo"), "Press")
    dialog = wait_for("the open dialog", lambda: (lambda d: (d is not None, d))(
        find(application(program.pid), "ROLE_DIALOG")))
    assert dialog.name == "Seleccione el archivo que desea abrir", dialog.name
    log("Spanish: captions, player and the dialog's title")


def main():
    quillet = sys.argv[1]
    root = tempfile.mkdtemp(prefix="quillet-a11y-")
    clip = os.path.join(root, "clip.flv")
    make_clip(clip, 30, TITLE)
    s = Desktop(root)
    try:
        idle = s.quillet(quillet)
        check_idle(s, idle)
        s.stop(idle)
        playing = s.quillet(quillet, clip)
        check_playing(s, playing)
        s.stop(playing)
        spanish = s.quillet(quillet, language="es")
        check_spanish(s, spanish)
    except BaseException:
        for name in sorted(os.listdir(root)):
            if name.endswith(".err"):
                sys.stderr.write(open(os.path.join(root, name)).read()[-3000:])
        raise
    finally:
        s.close()
        shutil.rmtree(root, ignore_errors=True)
    log("PASS")


if __name__ == "__main__":
    main()
