"""What the end-to-end drivers share: running the X tools and waiting."""

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
