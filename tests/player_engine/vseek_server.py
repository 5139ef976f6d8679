#!/usr/bin/env python3
"""Serves the FLV files of a folder as a streaming web server does: with
?start=N it sends the FLV header and the file from byte N on. As a slow or
broken one does, on request: ?rate=N sends N bytes a tenth of a second, and
?cut=N closes the connection after N bytes, the full length still announced.
Prints its port, then each path it was asked for."""
import http.server
import os
import sys
import time
import urllib.parse

folder = sys.argv[1]


class Handler(http.server.BaseHTTPRequestHandler):
    def do_GET(self):
        url = urllib.parse.urlsplit(self.path)
        print("GET " + self.path, flush=True)
        path = os.path.join(folder, os.path.basename(url.path))
        try:
            with open(path, "rb") as f:
                data = f.read()
        except OSError:
            self.send_error(404)
            return
        query = urllib.parse.parse_qs(url.query)
        start = query.get("start")
        if start:
            data = data[:13] + data[int(start[0]):]
        self.send_response(200)
        self.send_header("Content-Type", "video/x-flv")
        self.send_header("Content-Length", str(len(data)))
        self.end_headers()
        sent = data[:int(query["cut"][0])] if "cut" in query else data
        rate = int(query["rate"][0]) if "rate" in query else len(sent) or 1
        try:
            for at in range(0, len(sent), rate):
                if at:
                    time.sleep(0.1)
                self.wfile.write(sent[at:at + rate])
                self.wfile.flush()
        except OSError:  # the client went away
            pass
        self.close_connection = True

    def log_message(self, *args):
        pass


server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), Handler)
print("port %d" % server.server_address[1], flush=True)
server.serve_forever()
