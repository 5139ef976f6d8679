#!/usr/bin/python3
"""Makes damaged FLV files, of the kinds found in the wild, from intact clips.

Usage:
  make_damaged_flv.py OUTDIR [--seconds N] [--source FAMILY=FILE ...]
      Encodes short clips with ffmpeg (flv1 with MP3, H.264 with AAC), takes
      any further intact FLV given (tests/data's VP6 clips), writes every kind
      of damage for each into OUTDIR, the unplayable files beside them, and
      OUTDIR/manifest.json: for each file its family, kind, true length in
      seconds (from the tags it really holds) and whether it can play.
  make_damaged_flv.py --big BYTES SOURCE OUT
      Loops SOURCE's tags, timestamps continued, until OUT holds BYTES; its
      onMetaData is the first loop's, so only a walk of the whole file tells
      the true length.

Also importable (tests use parse/write/the kinds directly).
"""

import argparse
import json
import os
import random
import struct
import subprocess
import sys

TAG_AUDIO, TAG_VIDEO, TAG_SCRIPT = 8, 9, 18
HEADER_SIZE = 9


class Tag:
    __slots__ = ("type", "time", "data")

    def __init__(self, type_, time, data):
        self.type, self.time, self.data = type_, time, data

    def copy(self, time=None):
        return Tag(self.type, self.time if time is None else time, self.data)


def parse(raw):
    """The header's flags and the tags of an intact FLV, by their DataSize."""
    if len(raw) < HEADER_SIZE + 4 or raw[:3] != b"FLV":
        raise ValueError("not an FLV file")
    flags = raw[4]
    offset = struct.unpack(">I", raw[5:9])[0] + 4
    tags = []
    while offset + 11 <= len(raw):
        type_ = raw[offset] & 0x1F
        size = int.from_bytes(raw[offset + 1:offset + 4], "big")
        time = int.from_bytes(raw[offset + 4:offset + 7], "big") | (raw[offset + 7] << 24)
        end = offset + 11 + size
        if end + 4 > len(raw):
            break
        tags.append(Tag(type_, time, raw[offset + 11:end]))
        offset = end + 4
    return flags, tags


def header(flags):
    return b"FLV\x01" + bytes([flags]) + struct.pack(">I", HEADER_SIZE) + b"\0\0\0\0"


def tag_bytes(tag, previous_size=lambda size: size):
    """One tag and the PreviousTagSize after it (previous_size maps the true one)."""
    body = (bytes([tag.type]) + len(tag.data).to_bytes(3, "big") +
            (tag.time & 0xFFFFFF).to_bytes(3, "big") + bytes([(tag.time >> 24) & 0xFF]) +
            b"\0\0\0" + tag.data)
    return body + struct.pack(">I", previous_size(11 + len(tag.data)) & 0xFFFFFFFF)


def write(flags, tags, previous_size=lambda size: size):
    return header(flags) + b"".join(tag_bytes(t, previous_size) for t in tags)


def media(tags):
    return [t for t in tags if t.type in (TAG_AUDIO, TAG_VIDEO)]


def frame_step(tags, type_):
    """The usual gap between two tags of one stream, in milliseconds."""
    times = [t.time for t in tags if t.type == type_]
    gaps = sorted(b - a for a, b in zip(times, times[1:]) if b > a)
    return gaps[len(gaps) // 2] if gaps else 0


def true_length(tags):
    """Seconds of media the tags hold, played in order with restarts continued:
    the last tag of each stream plus one of its frames."""
    end = 0.0
    for type_ in (TAG_AUDIO, TAG_VIDEO):
        own = [t for t in tags if t.type == type_]
        if own:
            end = max(end, (max(t.time for t in own) + frame_step(tags, type_)) / 1000.0)
    return end


def set_duration(tags, seconds):
    """onMetaData's duration set to seconds, in place of the number it holds."""
    key = b"\x00\x08duration\x00"
    out = []
    for t in tags:
        if t.type == TAG_SCRIPT and key in t.data:
            at = t.data.index(key) + len(key)
            t = Tag(t.type, t.time, t.data[:at] + struct.pack(">d", seconds) + t.data[at + 8:])
        out.append(t)
    return out


def metadata_duration(tags):
    key = b"\x00\x08duration\x00"
    for t in tags:
        if t.type == TAG_SCRIPT and key in t.data:
            at = t.data.index(key) + len(key)
            return struct.unpack(">d", t.data[at:at + 8])[0]
    return None


def middle(tags):
    """The index of the first media tag of the second half, by time."""
    items = media(tags)
    half = items[-1].time / 2
    for i, t in enumerate(tags):
        if t.type in (TAG_AUDIO, TAG_VIDEO) and t.time >= half:
            # Start the second half on a key frame where one is near, as a
            # restarted recorder does.
            for j in range(i, len(tags)):
                if tags[j].type == TAG_VIDEO and tags[j].data and tags[j].data[0] >> 4 == 1:
                    return j
            return i
    return len(tags) // 2


def restarted(tags):
    """The second half's timestamps begin again at 0."""
    cut = middle(tags)
    base = tags[cut].time
    return tags[:cut] + [t.copy(max(0, t.time - base)) for t in tags[cut:]]


def stray_times(tags):
    """One picture's time off by its extended byte (+4.66 h), a later sound
    tag's zeroed; the tags around each keep theirs."""
    out = list(tags)
    cut = middle(out)
    v = next(i for i in range(cut, len(out)) if out[i].type == TAG_VIDEO)
    out[v] = out[v].copy(out[v].time + (1 << 24))
    a = next(i for i in range(v + 10, len(out)) if out[i].type == TAG_AUDIO)
    out[a] = out[a].copy(0)
    return out


def cut_at(raw, share):
    return raw[:int(len(raw) * share)]


def insert_in_middle(raw, flags, tags, filler):
    """filler between two tags in the middle of the file (a bad sector)."""
    cut = middle(tags)
    return write(flags, tags[:cut]) + filler + b"".join(tag_bytes(t) for t in tags[cut:])


def noise(count, seed):
    rng = random.Random(seed)
    return bytes(rng.getrandbits(8) for _ in range(count))


def damaged_kinds(raw):
    """Every kind of damage made from one intact clip: name -> (bytes, true seconds)."""
    flags, tags = parse(raw)
    length = true_length(tags)
    no_meta = [t for t in tags if t.type != TAG_SCRIPT]
    restart = restarted(tags)
    kinds = {
        "intact": (raw, length),
        "pts-plus4": (write(flags, tags, lambda s: s + 4), length),
        "pts-zero": (write(flags, tags, lambda s: 0), length),
        "joined": (raw + raw, 2 * length),
        "ts-restart": (write(flags, restart), length),
        "duration-10x": (write(flags, set_duration(tags, 10 * length)), length),
        "stray-times": (write(flags, stray_times(tags)), length),
        "zeros-16k": (insert_in_middle(raw, flags, tags, bytes(16384)), length),
        "noise-4k": (insert_in_middle(raw, flags, tags, noise(4096, 7)), length),
        "no-metadata": (write(flags, no_meta), length),
        # Several at once, as some recordings have them.
        "pts-plus4-restart-no-metadata": (
            write(flags, [t for t in restart if t.type != TAG_SCRIPT], lambda s: s + 4), length),
        "joined-pts-zero-noise": (
            insert_in_middle(write(flags, tags, lambda s: 0), flags, tags, noise(4096, 11)) +
            write(flags, tags, lambda s: 0), 2 * length),
    }
    for share in (0.30, 0.55):
        cut = cut_at(raw, share)
        kinds[f"cut-{round(share * 100)}"] = (cut, true_length(parse(cut)[1]))
    return kinds


def unplayable_kinds(raw):
    """Files that hold nothing to play: name -> bytes."""
    flags, tags = parse(raw)
    meta = [t for t in tags if t.type == TAG_SCRIPT][:1]
    return {
        "header-only": header(flags),
        "metadata-only": write(flags, meta),
        "garbage": noise(65536, 3),
    }


def encode(path, family, seconds):
    video, audio = {"flv1-mp3": (["-c:v", "flv1", "-q:v", "5"], ["-c:a", "libmp3lame", "-b:a", "64k"]),
                    "h264-aac": (["-c:v", "libx264", "-preset", "veryfast", "-g", "25",
                                  "-pix_fmt", "yuv420p"], ["-c:a", "aac", "-b:a", "64k"])}[family]
    subprocess.run(["ffmpeg", "-v", "error", "-y", "-f", "lavfi", "-i",
                    f"testsrc=size=320x240:rate=25:duration={seconds}", "-f", "lavfi", "-i",
                    f"sine=frequency=440:sample_rate=44100:duration={seconds}", *video, *audio,
                    "-ar", "44100", "-shortest", path], check=True)


def make_set(outdir, seconds, sources):
    os.makedirs(outdir, exist_ok=True)
    originals = {}
    for family in ("flv1-mp3", "h264-aac"):
        path = os.path.join(outdir, f"{family}.original.flv")
        encode(path, family, seconds)
        originals[family] = path
    originals.update(sources)
    manifest = []
    for family, path in originals.items():
        with open(path, "rb") as f:
            raw = f.read()
        for kind, (data, length) in damaged_kinds(raw).items():
            name = f"{family}.{kind}.flv"
            with open(os.path.join(outdir, name), "wb") as f:
                f.write(data)
            manifest.append({"file": name, "family": family, "kind": kind,
                             "length": round(length, 3), "playable": True})
        for kind, data in unplayable_kinds(raw).items():
            name = f"{family}.{kind}.flv"
            with open(os.path.join(outdir, name), "wb") as f:
                f.write(data)
            manifest.append({"file": name, "family": family, "kind": kind, "length": 0,
                             "playable": False})
    with open(os.path.join(outdir, "manifest.json"), "w") as f:
        json.dump(manifest, f, indent=1)
    return manifest


def make_big(size, source, out):
    """SOURCE's media looped, timestamps continued, until out holds size bytes."""
    with open(source, "rb") as f:
        flags, tags = parse(f.read())
    items = media(tags)
    step = items[-1].time + max(frame_step(tags, TAG_VIDEO), frame_step(tags, TAG_AUDIO), 1)
    written, loop = 0, 0
    with open(out, "wb") as f:
        first = write(flags, [t for t in tags if t.type == TAG_SCRIPT])
        f.write(first)
        written = len(first)
        while written < size:
            chunk = b"".join(tag_bytes(t.copy(t.time + loop * step)) for t in items)
            f.write(chunk)
            written += len(chunk)
            loop += 1
    return loop * step / 1000.0


def main(argv):
    p = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    p.add_argument("outdir", nargs="?")
    p.add_argument("--seconds", type=float, default=4)
    p.add_argument("--source", action="append", default=[], metavar="FAMILY=FILE")
    p.add_argument("--big", nargs=3, metavar=("BYTES", "SOURCE", "OUT"))
    args = p.parse_args(argv)
    if args.big:
        print(f"{make_big(int(args.big[0]), args.big[1], args.big[2]):.3f}")
        return 0
    if not args.outdir:
        p.error("OUTDIR is needed")
    sources = dict(s.split("=", 1) for s in args.source)
    for entry in make_set(args.outdir, args.seconds, sources):
        print(f"{entry['file']}\t{entry['length']}")
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
