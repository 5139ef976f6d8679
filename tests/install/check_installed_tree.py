#!/usr/bin/env python3
"""Installs the build into a staging folder with DESTDIR and checks the tree:
every file in its GNU place and nothing else, the desktop entry and AppStream
metadata through their validators, the manual page through man, every icon
size, and the installed quillet: its --help and --version, and the banner
helper it finds from its own installed place.

check_installed_tree.py CMAKE BUILD_DIR APP_ID VERSION "SIZE;SIZE;..."
"""
import os
import signal
import struct
import subprocess
import sys
import tempfile
import threading
import time
import xml.etree.ElementTree as ET

cmake, build, app_id, version, sizes = sys.argv[1:6]
sizes = [int(s) for s in sizes.split(";")]
failures = []


def check(ok, what):
    if not ok:
        failures.append(what)
        print("FAIL:", what, flush=True)


def run(*args, **kw):
    return subprocess.run(list(args), capture_output=True, text=True, timeout=60, **kw)


def png_size(path):
    with open(path, "rb") as f:
        head = f.read(24)
    if head[:8] != b"\x89PNG\r\n\x1a\n":
        return None
    return struct.unpack(">II", head[16:24])


with tempfile.TemporaryDirectory() as staging:
    env = dict(os.environ, DESTDIR=staging)
    done = run(cmake, "--install", build, "--prefix", "/usr", env=env)
    check(done.returncode == 0, "cmake --install: " + done.stdout + done.stderr)
    usr = os.path.join(staging, "usr")

    icons = [f"share/icons/hicolor/{s}x{s}/apps/{app_id}.png" for s in sizes]
    expected = {
        "bin/quillet",
        "libexec/quillet/quillet-banner",
        f"share/applications/{app_id}.desktop",
        f"share/metainfo/{app_id}.metainfo.xml",
        "share/man/man1/quillet.1.gz",
        "share/doc/quillet/copyright",
        "share/doc/quillet/changelog.gz",
        f"share/icons/hicolor/scalable/apps/{app_id}.svg",
        *icons,
    }
    found = set()
    for folder, _, files in os.walk(staging):
        for name in files:
            found.add(os.path.relpath(os.path.join(folder, name), usr))
    check(found == expected,
          f"installed files: missing {sorted(expected - found)}, unexpected {sorted(found - expected)}")
    for program in ("bin/quillet", "libexec/quillet/quillet-banner"):
        check(os.access(os.path.join(usr, program), os.X_OK), program + " is not executable")

    # Every size of the icon theme, each its own size; the scalable one is SVG.
    for size, icon in zip(sizes, icons):
        path = os.path.join(usr, icon)
        check(os.path.exists(path) and png_size(path) == (size, size), f"{icon} is not {size}x{size}")
    svg = os.path.join(usr, f"share/icons/hicolor/scalable/apps/{app_id}.svg")
    if os.path.exists(svg):
        root = ET.parse(svg).getroot()
        check(root.tag == "{http://www.w3.org/2000/svg}svg" and root.get("viewBox") == "0 0 32 32"
              and len(root) >= 3, "the scalable icon is no SVG picture")

    desktop = os.path.join(usr, f"share/applications/{app_id}.desktop")
    result = run("desktop-file-validate", desktop)
    check(result.returncode == 0 and not (result.stdout + result.stderr).strip(),
          "desktop-file-validate: " + result.stdout + result.stderr)
    entry = open(desktop).read() if os.path.exists(desktop) else ""
    for line in ("Exec=quillet %f", f"Icon={app_id}", "MimeType=video/x-flv;", "Terminal=false"):
        check(line in entry.splitlines(), "desktop entry lacks " + line)

    metainfo = os.path.join(usr, f"share/metainfo/{app_id}.metainfo.xml")
    result = run("appstreamcli", "validate", "--no-net", "--pedantic", metainfo)
    issues = [line for line in result.stdout.splitlines() if line[:2] in ("E:", "W:")]
    check(result.returncode == 0 and not issues,
          "appstreamcli validate: " + result.stdout + result.stderr)
    if os.path.exists(metainfo):
        component = ET.parse(metainfo).getroot()
        check(component.findtext("id") == app_id, "metainfo id is not " + app_id)
        check(component.findtext("launchable") == app_id + ".desktop", "metainfo launchable")
        check(component.find("releases/release").get("version") == version, "metainfo release")

    # The page renders without a warning and says what it is.
    page = os.path.join(usr, "share/man/man1/quillet.1.gz")
    result = run("man", "--warnings", "-l", page, env=dict(os.environ, MANWIDTH="80", MANPAGER="cat",
                                                            PAGER="cat", LANG="C.UTF-8"))
    check(result.returncode == 0 and not result.stderr.strip(), "man -l: " + result.stderr)
    text = result.stdout
    for words in ("quillet - play Flash Video files", "EXIT STATUS", "XDG_CONFIG_HOME",
                  "XDG_DATA_HOME", f"{app_id}.desktop", version):
        check(words in " ".join(text.split()), "the manual page lacks " + words)

    quillet = os.path.join(usr, "bin/quillet")
    result = run(quillet, "--version")
    check(result.returncode == 0 and result.stdout == f"quillet {version}\n",
          "quillet --version: " + repr(result.stdout + result.stderr))
    result = run(quillet, "--help")
    check(result.returncode == 0 and result.stdout.startswith("Usage: quillet"),
          "quillet --help: " + repr(result.stdout + result.stderr))

    # The installed program, started as from the menu, names the helper it
    # will start: the installed one.
    home = os.path.join(staging, "home")
    os.makedirs(home)
    env = dict(os.environ, HOME=home, XDG_CONFIG_HOME=home + "/config", XDG_DATA_HOME=home + "/data",
               TMPDIR=home, QUILLET_AO="null", QT_LOGGING_RULES="quillet.banner.debug=true")
    program = subprocess.Popen([quillet], env=env, stdout=subprocess.DEVNULL,
                               stderr=subprocess.PIPE, text=True)
    lines = []
    reader = threading.Thread(target=lambda: lines.extend(program.stderr), daemon=True)
    reader.start()
    deadline = time.monotonic() + 60
    while not any("banner helper:" in line for line in lines) and time.monotonic() < deadline \
            and program.poll() is None:
        time.sleep(0.05)
    program.send_signal(signal.SIGTERM)
    try:
        program.wait(timeout=30)
    except subprocess.TimeoutExpired:
        program.kill()
        program.wait()
    reader.join(timeout=10)
    said = "".join(lines)
    helper = os.path.join(usr, "libexec/quillet/quillet-banner")
    check(f'banner helper: "{helper}" found' in said, "the installed helper was not found: " + said)

if failures:
    print(f"{len(failures)} check(s) failed")
    sys.exit(1)
print("installed tree: all checks passed")
