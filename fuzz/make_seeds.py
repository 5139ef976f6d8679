#!/usr/bin/env python3
"""Writes the small seed corpora in fuzz/corpus/ (run again to refresh them).

Usage: make_seeds.py PLAYER_MOVIE   (the movie the build writes, e.g.
build/generated/quillet/player_movie.swf). FLV seeds are cut from clips that
ffmpeg makes here and from the real VP6 clips in tests/data/: only their first
bytes, up to the end of the first script tag, which is all the reader reads.
"""

import os
import struct
import subprocess
import sys
import tempfile
import zlib

top = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
corpus = os.path.join(top, "fuzz", "corpus")


def put(target, name, data):
    d = os.path.join(corpus, target)
    os.makedirs(d, exist_ok=True)
    with open(os.path.join(d, name), "wb") as f:
        f.write(data if isinstance(data, bytes) else data.encode())


def movie_seeds(movie_path):
    cws = open(movie_path, "rb").read()
    body = zlib.decompress(cws[8:])
    fws = b"FWS" + cws[3:4] + struct.pack("<I", 8 + len(body)) + body
    put("movie", "player_cws.swf", cws)
    put("movie", "player_fws.swf", fws)
    # Header of a 400x300 stage, 30 fps, one frame; then only the End tag.
    header = bytes.fromhex("780003e800000bb800") + struct.pack("<HH", 30 << 8, 1)
    tiny = header + b"\x00\x00"
    put("movie", "tiny_fws.swf", b"FWS\x07" + struct.pack("<I", 8 + len(tiny)) + tiny)
    # A sprite holding one named PlaceObject2, then ShowFrame and End.
    name = b"mc_bar\x00"
    place = bytes([0x22]) + struct.pack("<HH", 1, 2) + name  # has character, has name
    place_tag = struct.pack("<H", (26 << 6) | len(place)) + place
    sprite_body = struct.pack("<HH", 2, 1) + place_tag + b"\x40\x00" + b"\x00\x00"
    sprite = struct.pack("<H", (39 << 6) | 0x3F) + struct.pack("<I", len(sprite_body)) + sprite_body
    nested = header + sprite + b"\x40\x00" + b"\x00\x00"
    put("movie", "sprite_fws.swf", b"FWS\x07" + struct.pack("<I", 8 + len(nested)) + nested)


def flashvars_seeds():
    put("flashvars", "idle",
        "fullscreen=false&autoplay=false&frontcolor=000000&backcolor=000000&effect=false")
    put("flashvars", "video",
        "fullscreen=true&autoplay=true&backcolor=000000&frontcolor=ffffff&"
        "flv=/home/me/clip%20R%26B%20100%25%2B%23.flv")
    put("flashvars", "web", "flv=http%3A%2F%2Fexample.com%2Fv.flv&vseek=start&"
        "NumVideoDuracion=12.5&volumen=80&jpg=a.jpg&mp3=&xml")
    put("flashvars", "odd", "=x&&a=%zz%4&b=%C3%A9%E2%82&%00=1&c==d&+=+")


def script_tag_end(data):
    """The length of the FLV's head up to the end of its first script tag."""
    offset = struct.unpack(">I", data[5:9])[0]
    pos = offset + 4
    while pos + 11 <= len(data):
        kind = data[pos]
        size = int.from_bytes(data[pos + 1:pos + 4], "big")
        end = pos + 11 + size
        if kind == 18:
            return end
        pos = end + 4
    return min(len(data), 1024)


def flv_seeds():
    with tempfile.TemporaryDirectory() as tmp:
        clips = {
            "flv1_index.flv": ["-c:v", "flv1", "-g", "10", "-c:a", "libmp3lame",
                               "-flvflags", "add_keyframe_index"],
            "h264_aac.flv": ["-c:v", "libx264", "-preset", "ultrafast", "-c:a", "aac"],
            "video_only.flv": ["-an", "-c:v", "flv1", "-flvflags", "no_metadata"],
        }
        for name, codec in clips.items():
            out = os.path.join(tmp, name)
            subprocess.run(["ffmpeg", "-v", "error", "-y", "-f", "lavfi", "-i",
                            "testsrc=size=64x48:rate=10:duration=3", "-f", "lavfi", "-i",
                            "sine=duration=3:sample_rate=22050", "-shortest", *codec, out],
                           check=True)
            data = open(out, "rb").read()
            put("flv_metadata", name, data[:script_tag_end(data)])
    for name in sorted(os.listdir(os.path.join(top, "tests", "data"))):
        if name.endswith(".flv"):
            data = open(os.path.join(top, "tests", "data", name), "rb").read()
            put("flv_metadata", "vp6_" + name, data[:script_tag_end(data)])


def tags_of(data):
    """The FLV's tags as (header, body) byte strings, walked by DataSize."""
    pos = struct.unpack(">I", data[5:9])[0] + 4
    tags = []
    while pos + 11 <= len(data):
        size = int.from_bytes(data[pos + 1:pos + 4], "big")
        if pos + 11 + size > len(data):
            break
        tags.append((bytearray(data[pos:pos + 11]), data[pos + 11:pos + 11 + size]))
        pos += 15 + size
    return tags


def flv_of(tags, sizes=lambda n: n + 11):
    out = bytearray(b"FLV\x01\x05\x00\x00\x00\x09\x00\x00\x00\x00")
    for head, body in tags:
        out += head + body + struct.pack(">I", sizes(len(body)))
    return bytes(out)


def retimed(tags, delta):
    out = []
    for head, body in tags:
        h = bytearray(head)
        ms = max(0, (int.from_bytes(h[4:7], "big") | h[7] << 24) + delta)
        h[4:7] = (ms & 0xffffff).to_bytes(3, "big")
        h[7] = ms >> 24
        out.append((h, body))
    return out


def flv_reader_seeds():
    """Small clips with every kind of damage the reader repairs."""
    with tempfile.TemporaryDirectory() as tmp:
        for name, codec in {"flv1": ["-c:v", "flv1", "-g", "5", "-c:a", "libmp3lame"],
                            "h264": ["-c:v", "libx264", "-preset", "ultrafast", "-g", "5",
                                     "-c:a", "aac"]}.items():
            out = os.path.join(tmp, name + ".flv")
            subprocess.run(["ffmpeg", "-v", "error", "-y", "-f", "lavfi", "-i",
                            "testsrc=size=32x24:rate=10:duration=1", "-f", "lavfi", "-i",
                            "sine=duration=1:sample_rate=11025", "-shortest", "-b:v", "20k",
                            "-b:a", "8k", *codec, out], check=True)
            data = open(out, "rb").read()
            tags = tags_of(data)
            put("flv_reader", name + "_healthy.flv", data)
            put("flv_reader", name + "_sizes_plus4.flv", flv_of(tags, lambda n: n + 15))
            put("flv_reader", name + "_sizes_zero.flv", flv_of(tags, lambda n: 0))
            put("flv_reader", name + "_joined.flv", data + data)
            half = len(tags) // 2
            put("flv_reader", name + "_restart.flv",
                flv_of(tags[:half] + retimed(tags[half:], -10**6)))
            put("flv_reader", name + "_gap.flv", flv_of(tags[:half] + retimed(tags[half:], 5000)))
            put("flv_reader", name + "_stray.flv",
                flv_of(tags[:half] + retimed(tags[half:half + 1], 1 << 24) + tags[half + 1:]))
            noisy = bytearray(data)
            mid = len(noisy) // 2
            noisy[mid:mid] = bytes((i * 37) & 0xff for i in range(300))
            put("flv_reader", name + "_noise.flv", bytes(noisy))
            put("flv_reader", name + "_zeros.flv", data[:mid] + bytes(300) + data[mid:])
            put("flv_reader", name + "_cut.flv", data[:len(data) * 3 // 10])


def registry_seeds():
    put("registry", "associated",
        "quillet-registry 1\n"
        "K\tHKCR\\.flv\nD\timage\n"
        "K\tHKCR\\image\\DefaultIcon\nD\t/usr/bin/quillet,0\n"
        "K\tHKCR\\image\\shell\\open\\command\nD\t\"/usr/bin/quillet\" \"%251\"\n"
        "K\tHKCU\\Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\FileExts\\.flv"
        "\\OpenWithList\nV\ta\tquillet\nV\tMRUList\ta\n")
    put("registry", "odd",
        "quillet-registry 1\r\nD\torphan\nK\tHKXX\\bad\nK\tHKCR\\\\e\nK\tHKCR\\a%5Cb\n"
        "K\tHKEY_CLASSES_ROOT\\x\r\nV\tn%09t\tv%0Aw\nV\tonly two\nK\tHKCU\\A\\B\\C\nD\t%zz\n")


def uri_list_seeds():
    put("uri_list", "one", "file:///home/me/My%20Videos/clip%20%231.flv\r\n")
    put("uri_list", "several",
        "# from a file manager\r\nfile:///a.flv\r\nfile://localhost/b%26c.flv\r\n"
        "file://myhost/d%25.flv\r\nfile://otherhost/e.flv\r\nhttp://example.com/f.flv\r\n"
        "FILE:/g%C3%A9.flv?x#y\r\n")
    put("uri_list", "odd", "file:///a%00b\nfile://\nfile:relative\n  file:///%2\t\r\n\n%")


def main():
    movie_seeds(sys.argv[1])
    flashvars_seeds()
    flv_seeds()
    flv_reader_seeds()
    registry_seeds()
    uri_list_seeds()


if __name__ == "__main__":
    main()
