#!/usr/bin/env python3
"""libmpv's headers stay inside the engine's room: no source of the program
outside player/engine/ reaches one, directly or through the project's own
headers. Prints each chain that does and fails.

    mpv_headers.py TOP
"""
import re
import sys
from pathlib import Path

INCLUDE = re.compile(r'^\s*#\s*include\s*([<"])([^>"]+)[>"]', re.M)
FOLDERS = ["startup", "window", "playback", "shell", "platform", "player"]


def includes(path):
    return INCLUDE.findall(path.read_text(errors="replace"))


def leak(top, path, seen):
    """The chain from path to an mpv header, or None."""
    for kind, name in includes(path):
        if name.startswith("mpv/"):
            return [name]
        header = top / name
        if kind == '"' and header.is_file() and header not in seen:
            seen.add(header)
            rest = leak(top, header, seen)
            if rest:
                return [name] + rest
    return None


def main():
    top = Path(sys.argv[1]).resolve()
    engine = top / "player" / "engine"
    sources = [top / "main.cpp"] if (top / "main.cpp").is_file() else []
    for folder in FOLDERS:
        sources += sorted(p for p in (top / folder).rglob("*") if p.suffix in (".cpp", ".h"))
    bad = 0
    for source in sources:
        if engine in source.parents:
            continue
        chain = leak(top, source, set())
        if chain:
            bad += 1
            print(f"{source.relative_to(top)} reaches libmpv: {' -> '.join(chain)}")
    print(f"{len(sources)} files checked, {bad} reach libmpv's headers")
    return 1 if bad else 0


if __name__ == "__main__":
    sys.exit(main())
