#!/usr/bin/python3
"""What the banner helper costs and how fast its pixels reach the strip.

    bench/banner_frames.py [HELPER] [seconds]   (default build/quillet-banner, 10 s)

Runs the helper as Quillet does (commands on its standard input, frames back
on a SOCK_SEQPACKET socket as its descriptor 3) against a local HTTP server,
at the strip's size of 633x81, and prints:
- the time from the helper's start to the first frame of the page;
- the latency from a click sent to the helper to the first frame showing the
  page's answer (median and worst of 20 clicks);
- CPU (user + system, the helper and its web engine processes) and frames
  sent while a page stands still, and while it runs a CSS animation;
- the peak resident memory of the helper's process tree.
Needs no display: the helper renders offscreen.
"""
import array
import http.server
import mmap
import os
import socket
import statistics
import struct
import subprocess
import sys
import threading
import time

top = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
helper = sys.argv[1] if len(sys.argv) > 1 else os.path.join(top, "build", "quillet-banner")
seconds = float(sys.argv[2]) if len(sys.argv) > 2 else 10.0
W, H = 633, 81
FRAME = 0x31464251

STILL = (b'<html><body style="margin:0;height:100%;background:#0064c8" '
         b'onclick="document.body.style.background=document.body.style.background'
         b'==&quot;red&quot;?&quot;green&quot;:&quot;red&quot;"></body></html>')
MOVING = (b'<html><head><style>@keyframes m{from{left:0}to{left:560px}}'
          b'div{position:absolute;top:10px;width:60px;height:60px;background:red;'
          b'animation:m 2s linear infinite alternate}</style></head>'
          b'<body style="margin:0;background:#fff"><div></div></body></html>')


class Pages(http.server.BaseHTTPRequestHandler):
    def do_GET(self):
        body = MOVING if self.path == "/moving" else STILL
        self.send_response(200)
        self.send_header("Content-Type", "text/html")
        self.send_header("Content-Length", str(len(body)))
        self.end_headers()
        self.wfile.write(body)

    def log_message(self, *args):
        pass


def tree(pid):
    """The process and all its descendants."""
    found, todo = [], [pid]
    while todo:
        p = todo.pop()
        found.append(p)
        try:
            with open(f"/proc/{p}/task/{p}/children") as f:
                todo += [int(c) for c in f.read().split()]
        except OSError:
            pass
    return found


def cpu(pid):
    total = 0
    for p in tree(pid):
        try:
            with open(f"/proc/{p}/stat") as f:
                fields = f.read().rsplit(")", 1)[1].split()
            total += int(fields[11]) + int(fields[12])
        except OSError:
            pass
    return total / os.sysconf("SC_CLK_TCK")


def rss_mib(pid):
    total = 0
    for p in tree(pid):
        try:
            with open(f"/proc/{p}/status") as f:
                for line in f:
                    if line.startswith("VmRSS:"):
                        total += int(line.split()[1])
        except OSError:
            pass
    return total / 1024


class Frames:
    def __init__(self, sock):
        self.sock, self.count, self.last = sock, 0, None

    def next(self, timeout):
        """The centre pixel of the next frame (B, G, R), or None."""
        self.sock.settimeout(timeout)
        try:
            data, anc, _, _ = self.sock.recvmsg(64, socket.CMSG_SPACE(4 * 8))
        except socket.timeout:
            return None
        fds = array.array("i")
        for level, kind, payload in anc:
            if level == socket.SOL_SOCKET and kind == socket.SCM_RIGHTS:
                fds.frombytes(payload[: len(payload) - len(payload) % 4])
        try:
            if len(data) != 16 or len(fds) != 1:
                return None
            tag, w, h, stride = struct.unpack("<4I", data)
            with mmap.mmap(fds[0], stride * h, prot=mmap.PROT_READ) as m:
                at = (h // 2) * stride + (w // 2) * 4
                self.count += 1
                self.last = tuple(m[at : at + 3])
                return self.last
        finally:
            for fd in fds:
                os.close(fd)

    def drain(self, until):
        while time.monotonic() < until:
            self.next(max(0.01, until - time.monotonic()))


def main():
    server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), Pages)
    threading.Thread(target=server.serve_forever, daemon=True).start()
    base = f"http://127.0.0.1:{server.server_address[1]}"
    ours, theirs = socket.socketpair(socket.AF_UNIX, socket.SOCK_SEQPACKET)
    started = time.monotonic()
    proc = subprocess.Popen([helper, "3"], stdin=subprocess.PIPE, stdout=subprocess.DEVNULL,
                            stderr=subprocess.DEVNULL, pass_fds=[theirs.fileno(), 3],
                            preexec_fn=lambda: os.dup2(theirs.fileno(), 3))
    theirs.close()
    send = lambda line: (proc.stdin.write(line.encode() + b"\n"), proc.stdin.flush())
    send(f"size {W} {H}")
    send(f"navigate {base}/still")
    frames = Frames(ours)
    peak = 0.0
    blue = (0xC8, 0x64, 0x00)
    while frames.next(60) not in (blue, None):
        pass
    print(f"first frame of the page: {(time.monotonic() - started) * 1000:.0f} ms")
    peak = max(peak, rss_mib(proc.pid))

    # A page takes clicks only a moment after its first frame (Chromium);
    # no user is quicker than this.
    frames.drain(time.monotonic() + 1)
    latencies = []
    for i in range(20):
        before = frames.last
        send(f"mouse press {W // 2} {H // 2} 1 1 0")
        clicked = time.monotonic()
        send(f"mouse release {W // 2} {H // 2} 1 0 0")
        while True:
            pixel = frames.next(10)
            if pixel is None or pixel != before:
                break
        if pixel is not None:
            latencies.append((time.monotonic() - clicked) * 1000)
        frames.drain(time.monotonic() + 0.3)
    if latencies:
        print(f"click to changed frame: median {statistics.median(latencies):.0f} ms, "
              f"worst {max(latencies):.0f} ms ({len(latencies)} of 20)")

    frames.drain(time.monotonic() + 1)
    for name in ("still", "moving"):
        if name == "moving":
            send(f"navigate {base}/moving")
            frames.drain(time.monotonic() + 3)
        c0, n0 = cpu(proc.pid), frames.count
        frames.drain(time.monotonic() + seconds)
        peak = max(peak, rss_mib(proc.pid))
        print(f"{name} page, {seconds:.0f} s: CPU {cpu(proc.pid) - c0:.2f} s, "
              f"{(frames.count - n0) / seconds:.1f} frames/s")
    print(f"peak RSS of the helper's processes: {peak:.0f} MiB")
    proc.stdin.close()
    proc.wait(15)
    server.shutdown()


main()
