"""The environment of the program as a native Wayland client in a test."""

import os


def client_env(root, **extra):
    """A private HOME, TMPDIR and runtime folder under root; the session's
    WAYLAND_DISPLAY; no sound; Quillet's Wayland trace on."""
    env = {
        "PATH": os.environ["PATH"],
        "WAYLAND_DISPLAY": os.environ["WAYLAND_DISPLAY"],
        "QT_QPA_PLATFORM": "wayland",
        "QUILLET_AO": "null",
        "LANG": "C.UTF-8",
        "QT_LOGGING_RULES": "quillet.wayland*=true",
        **extra,
    }
    for name, sub in (("TMPDIR", "tmp"), ("HOME", "home"), ("XDG_RUNTIME_DIR", "runtime")):
        env[name] = os.path.join(root, sub)
        os.makedirs(env[name], mode=0o700, exist_ok=True)
    env["XDG_CONFIG_HOME"] = os.path.join(env["HOME"], ".config")
    env["XDG_DATA_HOME"] = os.path.join(env["HOME"], ".local", "share")
    return env
