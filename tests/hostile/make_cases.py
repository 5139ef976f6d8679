#!/usr/bin/env python3
"""Writes the hostile inputs into a folder and a manifest of them.

Usage: make_cases.py FOLDER   writes FOLDER/cases/... and FOLDER/manifest.json

Each case has a name, a path (absolute, UTF-8) and what the player may show:
  "plays"  a sound video under a strange name: it must play;
  "error"  nothing to play: the error layer, never a crash;
  "any"    damaged media: playing what can be played or the error layer.
The base clip is made here by ffmpeg (5 s, Sorenson H.263 and MP3, with a
key-frame index).
"""

import json
import os
import random
import struct
import subprocess
import sys


def main():
    root = os.path.abspath(sys.argv[1])
    cases_dir = os.path.join(root, "cases")
    os.makedirs(cases_dir, exist_ok=True)
    base = os.path.join(root, "base.flv")
    subprocess.run(["ffmpeg", "-v", "error", "-y", "-f", "lavfi", "-i",
                    "testsrc=size=160x120:rate=15:duration=5", "-f", "lavfi", "-i",
                    "sine=frequency=440:duration=5:sample_rate=22050", "-shortest",
                    "-c:v", "flv1", "-g", "5", "-c:a", "libmp3lame", "-ar", "22050",
                    "-flvflags", "add_keyframe_index", base], check=True)
    clip = open(base, "rb").read()
    cases = []

    def add(name, kind, data=None, path=None):
        path = path or os.path.join(cases_dir, name)
        if data is not None:
            os.makedirs(os.path.dirname(path), exist_ok=True)
            with open(path, "wb") as f:
                f.write(data)
        cases.append({"name": name, "path": path, "kind": kind})

    tags = list(tag_offsets(clip))
    first_video = next(p for p, kind, _ in tags if kind == 9)

    # Nothing to play.
    add("empty.flv", "error", b"")
    add("text.flv", "error", b"This is a letter, not a video.\n" * 20)
    add("random.flv", "error", bytes(random.Random(7).getrandbits(8) for _ in range(20000)))
    add("missing.flv", "error", path=os.path.join(cases_dir, "no such folder", "missing.flv"))
    folder = os.path.join(cases_dir, "folder.flv")
    os.makedirs(folder, exist_ok=True)
    with open(os.path.join(folder, "inside.flv"), "wb") as f:
        f.write(clip)  # a folder must not play what it holds
    add("folder.flv", "error", path=folder)

    # Truncated: inside the signature, after the header, inside the first tag
    # header, inside the metadata, inside the first video frame, half way.
    for cut in (3, 9, 13 + 5, tags[0][0] + 11 + 40, first_video + 11 + 100, len(clip) // 2):
        add(f"truncated-{cut}.flv", "any", clip[:cut])

    # Bit flips in the body (the header left sound), few and many.
    for seed, share in ((1, 0.0005), (2, 0.005), (3, 0.05)):
        rng = random.Random(seed)
        data = bytearray(clip)
        for _ in range(max(1, int(len(data) * 8 * share))):
            i = rng.randrange(13, len(data))
            data[i] ^= 1 << rng.randrange(8)
        add(f"flipped-{seed}.flv", "any", bytes(data))

    # Absurd header and tag fields.
    data = bytearray(clip)
    data[5:9] = struct.pack(">I", 0xFFFFFFF0)  # header size
    add("absurd-header-size.flv", "any", bytes(data))
    data = bytearray(clip)
    for pos, _, _ in tags:
        data[pos + 1:pos + 4] = b"\xff\xff\xff"  # every tag claims 16 MiB
    add("absurd-tag-sizes.flv", "any", bytes(data))
    data = bytearray(clip)
    for n, (pos, _, _) in enumerate(tags):
        stamp = 0xFFFFFFFF - n * 1000 if n % 2 else n * 0x7FFFFF
        data[pos + 4:pos + 7] = (stamp & 0xFFFFFF).to_bytes(3, "big")
        data[pos + 7] = stamp >> 24  # the extended byte
    add("absurd-timestamps.flv", "any", bytes(data))
    data = bytearray(clip)
    for key, value in ((b"duration", 1e308), (b"width", -1e9), (b"height", float("nan")),
                       (b"framerate", float("inf"))):
        at = data.find(struct.pack(">H", len(key)) + key + b"\x00")
        if at >= 0:
            start = at + 2 + len(key) + 1
            data[start:start + 8] = struct.pack(">d", value)
    add("absurd-metadata.flv", "any", bytes(data))

    # A sound clip under names that trip up encoders, shells and parsers.
    for name in ("vidéo ünïcode 日本語.flv", "  two  blanks .flv", "R&B=1+2.flv", "100% x%41y.flv",
                 "#1 take.flv", "line\nbreak.flv", "quote\"'`$(x);.flv", "-starts-with-dash.flv"):
        add(name, "plays", clip)
    # A path of 4000 characters, in nested folders.
    long_dir = cases_dir
    while len(long_dir) < 4000 - 250:
        long_dir = os.path.join(long_dir, "d" * min(200, 4000 - 250 - len(long_dir)))
    name = "l" * (4000 - len(long_dir) - 1 - len(".flv")) + ".flv"
    path = os.path.join(long_dir, name)
    assert len(path.encode()) == 4000, len(path)
    add("long-path.flv", "plays", clip, path=path)

    with open(os.path.join(root, "manifest.json"), "w") as f:
        json.dump({"clip": base, "cases": cases}, f, ensure_ascii=False, indent=1)


def tag_offsets(data):
    """(offset, type, size) of every whole tag of a sound FLV."""
    pos = struct.unpack(">I", data[5:9])[0] + 4
    while pos + 11 <= len(data):
        kind = data[pos]
        size = int.from_bytes(data[pos + 1:pos + 4], "big")
        if pos + 11 + size > len(data):
            break
        yield pos, kind, size
        pos += 11 + size + 4


if __name__ == "__main__":
    main()
