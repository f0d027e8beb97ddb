#!/usr/bin/python3
"""Serves a folder on 127.0.0.1 at a free port (printed on the first line).

slow_http_server.py <folder> <delay> [<stall-after>]
The answer to the first request is held back for <delay> seconds, or forever when <delay> is
negative. With <stall-after>, every file stops after that many bytes and the connection hangs.
"""
import functools
import http.server
import os
import sys
import threading
import time

directory, delay = sys.argv[1], float(sys.argv[2])
stall_after = int(sys.argv[3]) if len(sys.argv) > 3 else None
first = threading.Lock()


def hang():
    while True:
        time.sleep(60)


class Handler(http.server.SimpleHTTPRequestHandler):
    def do_GET(self):
        if first.acquire(blocking=False):
            if delay < 0:
                hang()
            time.sleep(delay)
        if stall_after is None:
            super().do_GET()
            return
        path = self.translate_path(self.path)
        with open(path, "rb") as f:
            body = f.read()
        self.send_response(200)
        self.send_header("Content-Type", "audio/wav")
        self.send_header("Content-Length", str(len(body)))
        self.end_headers()
        self.wfile.write(body[:stall_after])
        self.wfile.flush()
        hang()

    def log_message(self, *args):
        pass


server = http.server.ThreadingHTTPServer(
    ("127.0.0.1", 0), functools.partial(Handler, directory=directory))
server.daemon_threads = True
print(server.server_address[1], flush=True)
server.serve_forever()
