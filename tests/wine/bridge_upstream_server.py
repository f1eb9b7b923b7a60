#!/usr/bin/env python3
"""Answers every GET on 127.0.0.1 with one fault, for the Windows bridge's
upstream cases, and logs each request as one line of JSON.

  bridge_upstream_server.py PORT_FILE LOG_FILE redirect|large|gzip|unasked304 [FILE]

redirect: 302 to another path of itself (a bridge must not follow it);
large: a 200 with a 3 MiB body (over the bridge's 2 MiB cap);
gzip: FILE gzip-encoded (Content-Encoding: gzip), asked for or not;
unasked304: 304 Not Modified to every request, validators or not (a
fresh bridge sent none, so it is no good read).
"""

import gzip
import json
import sys
from http.server import BaseHTTPRequestHandler, ThreadingHTTPServer


class Handler(BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"

    def log_message(self, format, *args):
        pass

    def do_GET(self):
        with open(sys.argv[2], "a") as log:
            log.write(json.dumps({"path": self.path, "accept_encoding": self.headers.get("Accept-Encoding")}) + "\n")
        if sys.argv[3] == "redirect":
            self.send_response(302)
            self.send_header("Location", "/moved.csv")
            self.send_header("Content-Length", "0")
            self.end_headers()
            return
        if sys.argv[3] == "unasked304":
            self.send_response(304)
            self.end_headers()
            return
        if sys.argv[3] == "gzip":
            with open(sys.argv[4], "rb") as f:
                body = gzip.compress(f.read())
        else:
            body = b"x" * (3 << 20)
        self.send_response(200)
        self.send_header("Content-Type", "text/csv")
        if sys.argv[3] == "gzip":
            self.send_header("Content-Encoding", "gzip")
        self.send_header("Content-Length", str(len(body)))
        self.end_headers()
        self.wfile.write(body)


def main():
    if sys.argv[1:2] in (["-h"], ["--help"]):
        print(__doc__.strip())
        return
    faults = ("redirect", "large", "gzip", "unasked304")
    if len(sys.argv) < 4 or sys.argv[3] not in faults or len(sys.argv) != (5 if sys.argv[3] == "gzip" else 4):
        sys.exit(__doc__)
    server = ThreadingHTTPServer(("127.0.0.1", 0), Handler)
    with open(sys.argv[1], "w") as out:
        out.write(str(server.server_address[1]))
    server.serve_forever()


if __name__ == "__main__":
    main()
