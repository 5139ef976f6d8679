#!/usr/bin/env python3
"""Holds one VNC connection to wayvnc open (RFB 3.8, no authentication) until
the server closes it or this process ends. wayvnc from 0.9 on gives the seat
its virtual pointer and keyboard only while a client is connected; an idle
client keeps them there, as older versions had them from the start.

Usage: vnc-hold.py PORT   (on 127.0.0.1)"""

import socket
import struct
import sys
import time


def read(sock, count):
    data = b""
    while len(data) < count:
        chunk = sock.recv(count - len(data))
        if not chunk:
            sys.exit("vnc-hold.py: the VNC server closed the connection")
        data += chunk
    return data


# wayvnc may not listen yet.
deadline = time.monotonic() + 30
while True:
    try:
        sock = socket.create_connection(("127.0.0.1", int(sys.argv[1])), timeout=30)
        break
    except OSError:
        if time.monotonic() > deadline:
            raise
        time.sleep(0.1)
if not read(sock, 12).startswith(b"RFB "):
    sys.exit("vnc-hold.py: no VNC server")
sock.sendall(b"RFB 003.008\n")
if 1 not in read(sock, read(sock, 1)[0]):
    sys.exit("vnc-hold.py: the server asks for authentication")
sock.sendall(b"\x01")
if struct.unpack(">I", read(sock, 4))[0] != 0:
    sys.exit("vnc-hold.py: security refused")
sock.sendall(b"\x01")  # shared: the tests' own clients connect beside it
name_length = struct.unpack(">HH16sI", read(sock, 24))[3]
read(sock, name_length)
# A pointer event at the output's corner makes the devices exist at once.
sock.sendall(struct.pack(">BBHH", 5, 0, 0, 0))
sock.settimeout(None)
while sock.recv(65536):
    pass
