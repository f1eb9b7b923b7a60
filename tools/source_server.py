#!/usr/bin/env python3
"""Local stand-in for the grid operator's web server: serves one file (an
operator-style CSV made by operator_csv.py) at every path, on 127.0.0.1.

The file is read again on every request, so a test can replace it while the
server runs. Answers carry an ETag and a Last-Modified, and a conditional
request for an unchanged file gets 304, as the operator's server does. Every
request is logged as one JSON line (--log), so tests can count them.

Python 3 standard library only; see --help.
"""

import argparse
import datetime
import email.utils
import hashlib
import json
import os
import socketserver
import sys
import threading
from http.server import BaseHTTPRequestHandler, ThreadingHTTPServer

from serve_until_stopped import serve_until_stopped

CSV_TYPE = "text/csv"


class OneLineParser(argparse.ArgumentParser):
    def error(self, message):
        sys.stderr.write(f"source_server.py: error: {message}\n")
        sys.exit(2)


class SourceHandler(BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"
    server_version = "GridwrenSource/1.0"
    timeout = 30

    def log_message(self, format, *args):
        pass

    def do_GET(self):
        self.server.record(self)
        try:
            with open(self.server.file, "rb") as stream:
                body = stream.read()
            modified = os.stat(self.server.file).st_mtime
        except OSError:
            return self._send(404, b"no such file\n", {})
        etag = '"%s"' % hashlib.sha1(body).hexdigest()[:16]
        headers = {"ETag": etag, "Last-Modified": email.utils.formatdate(modified, usegmt=True)}
        if self.headers.get("If-None-Match") == etag:
            return self._send(304, b"", headers)
        self._send(200, body, headers)

    def _send(self, code, body, headers):
        self.send_response(code)
        if code != 304:
            self.send_header("Content-Type", CSV_TYPE)
            self.send_header("Content-Length", str(len(body)))
        for name, value in headers.items():
            self.send_header(name, value)
        self.end_headers()
        if code != 304:
            self.wfile.write(body)


class SourceServer(ThreadingHTTPServer):
    daemon_threads = True

    def __init__(self, port, file, log):
        self.file = file
        self._log = log
        self._lock = threading.Lock()
        super().__init__(("127.0.0.1", port), SourceHandler)

    def server_bind(self):
        # Skip HTTPServer's lookup of our own name, slow without name service.
        socketserver.TCPServer.server_bind(self)
        self.server_name, self.server_port = self.server_address[:2]

    def record(self, handler):
        if self._log is None:
            return
        entry = {
            "time": datetime.datetime.now().isoformat(timespec="milliseconds"),
            "method": handler.command, "path": handler.path,
            "user_agent": handler.headers.get("User-Agent"),
            "if_none_match": handler.headers.get("If-None-Match"),
            "if_modified_since": handler.headers.get("If-Modified-Since"),
        }
        with self._lock:
            self._log.write(json.dumps(entry) + "\n")
            self._log.flush()


def main():
    parser = OneLineParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--file", required=True, help="the file to serve")
    parser.add_argument("--port", type=int, default=0, help="port on 127.0.0.1 (default 0: a free one)")
    parser.add_argument("--port-file", help="write the port there once listening")
    parser.add_argument("--log", help="append one JSON line per request to this file")
    args = parser.parse_args()
    log = open(args.log, "a", encoding="utf-8") if args.log else None
    server = SourceServer(args.port, args.file, log)
    if args.port_file:
        with open(args.port_file + ".partial", "w") as out:
            out.write(f"{server.server_port}\n")
        os.replace(args.port_file + ".partial", args.port_file)
    serve_until_stopped(server)


if __name__ == "__main__":
    main()
