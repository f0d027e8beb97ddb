#!/usr/bin/python3
"""Serves a folder on 127.0.0.1 at a free port (printed on the first line) and holds back the
answer to the first request: for <delay> seconds, or forever when <delay> is negative."""
import functools
import http.server
import sys
import threading
import time

directory, delay = sys.argv[1], float(sys.argv[2])
first = threading.Lock()


class Handler(http.server.SimpleHTTPRequestHandler):
    def do_GET(self):
        if first.acquire(blocking=False):
            if delay < 0:
                while True:
                    time.sleep(60)
            time.sleep(delay)
        super().do_GET()

    def log_message(self, *args):
        pass


server = http.server.ThreadingHTTPServer(
    ("127.0.0.1", 0), functools.partial(Handler, directory=directory))
server.daemon_threads = True
print(server.server_address[1], flush=True)
server.serve_forever()
