#!/usr/bin/env python3
"""Local stand-in for the usage service and the two graph image hosts.

The plug-in's service hosts are constants, so tests and the demo reach this
server through the plug-in's own proxy settings (TUServer 127.0.0.1, TUPort =
this server's port). It therefore answers absolute-URI requests the way a
proxy would, by path, and it can misbehave on demand (fault modes) so that the
download and check code can be exercised against slow, broken and hostile
answers without touching any real host.

Python 3 standard library only; see --help for every option.
"""

import argparse
import base64
import binascii
import datetime
import http
import json
import os
import socket
import socketserver
import struct
import sys
import threading
from http.server import BaseHTTPRequestHandler, ThreadingHTTPServer
from urllib.parse import urlsplit

from serve_until_stopped import serve_until_stopped

HERE = os.path.dirname(os.path.abspath(__file__))
FEED_PATH = "/latest.json"
METER_PATH = "/images/meter/meter_setsuden.gif"
FORECAST_PATH = "/forecast/html/images/juyo-j.gif"
IMAGE_FILES = {
    METER_PATH: os.path.join(HERE, "feed", "meter_setsuden.gif"),
    FORECAST_PATH: os.path.join(HERE, "feed", "juyo-j.gif"),
}
JSON_TYPE = "application/json; charset=utf-8"
GIF_TYPE = "image/gif"
OCTET_TYPE = "application/octet-stream"

# A fault belongs to one of three stages of answering a request. A path may
# carry one fault per stage (an auth gate, then a pause, then the answer).
GATE, PAUSE, ANSWER = "gate", "pause", "answer"
SIZE_SUFFIXES = {"": 1, "K": 1 << 10, "M": 1 << 20, "G": 1 << 30}
FEED_DEFAULTS = {"usage": 3650, "capacity": 4000}
RESET_FALLBACK_BYTES = 4096

# Byte i of a size/huge body is i*7 mod 251. The block holds whole periods of
# 251 bytes, so repeating it keeps the sequence exact across chunk borders and
# a body of any length streams without being built in memory.
PATTERN_BLOCK = bytes((i * 7) % 251 for i in range(251 * 261))


class OptionError(Exception):
    """A command-line value that cannot be used; reported in one line."""


def parse_size(text):
    """BYTES with an optional binary suffix K, M or G (40M = 40 MiB)."""
    text = text.strip()
    suffix = text[-1:].upper() if text[-1:].isalpha() else ""
    digits = text[:-1] if suffix else text
    if suffix not in SIZE_SUFFIXES or not digits.isdigit():
        raise OptionError(f"bad byte count {text!r} (use e.g. 1234567 or 40M)")
    return int(digits) * SIZE_SUFFIXES[suffix]


def parse_seconds(text):
    seconds = float(text) if text.replace(".", "", 1).isdigit() else -1.0
    if not 0.0 <= seconds <= 86400.0:
        raise OptionError(f"bad delay {text!r} (seconds, e.g. 0.5)")
    return seconds


def parse_status(text):
    if not text.isdigit() or not 200 <= int(text) <= 599:
        raise OptionError(f"bad status {text!r} (an HTTP code from 200 to 599)")
    return int(text)


def parse_credentials(text):
    """USER:PASSWORD; the password may itself hold colons, as in Basic auth.

    Accept the pair in UTF-8 and in CP932, because the plug-in sends narrow
    text in the Windows code page, while Linux clients send UTF-8.
    """
    user, colon, password = text.partition(":")
    if not colon or not user:
        raise OptionError(f"bad credentials {text!r} (use USER:PASSWORD)")
    pair = f"{user}:{password}"
    accepted = {pair.encode("utf-8")}
    try:
        accepted.add(pair.encode("cp932"))
    except UnicodeEncodeError:
        pass
    return frozenset(accepted)


# mode: (stage, parser of its argument or None for none, default argument)
MODES = {
    "proxyauth": (GATE, parse_credentials, None), "delay": (PAUSE, parse_seconds, None),
    "hang": (ANSWER, None, None), "reset": (ANSWER, None, None), "empty": (ANSWER, None, None),
    "huge": (ANSWER, parse_size, None), "size": (ANSWER, parse_size, None),
    "status": (ANSWER, parse_status, None), "garbage": (ANSWER, parse_size, 2048),
    "trickle": (ANSWER, parse_seconds, 1.0), "announce": (ANSWER, parse_size, None),
}


def parse_mode(text):
    """MODE or MODE:ARG into (mode, parsed argument)."""
    mode, colon, argument = text.partition(":")
    if mode not in MODES:
        raise OptionError(f"unknown fault mode {mode!r} in {text!r}")
    _, parser, default = MODES[mode]
    if parser is None and colon:
        raise OptionError(f"fault mode {mode!r} takes no argument")
    if parser is not None and not colon and default is None:
        raise OptionError(f"fault mode {mode!r} needs an argument, e.g. {mode}:...")
    return mode, parser(argument) if parser and colon else default


class FaultTable:
    """Faults by scope: None for every path, otherwise one exact path."""

    def __init__(self):
        self._scopes = {}

    def add(self, fault_text):
        scope, mode_text = None, fault_text
        if fault_text.startswith("/"):
            scope, equals, mode_text = fault_text.partition("=")
            if not equals:
                raise OptionError(f"fault {fault_text!r} needs PATH=MODE")
        mode, argument = parse_mode(mode_text)
        stages = self._scopes.setdefault(scope, {})
        stage = MODES[mode][0]
        if stage in stages:
            where = scope or "all paths"
            raise OptionError(f"fault {fault_text!r} conflicts with {stages[stage][0]!r} for {where}")
        stages[stage] = (mode, argument)

    def for_path(self, path):
        """A path's own fault for a stage wins over the global one."""
        merged = dict(self._scopes.get(None, {}))
        merged.update(self._scopes.get(path, {}))
        return merged


def request_path(target):
    """The path of an origin-form or absolute-URI request target."""
    if target.startswith("/") or "://" in target:
        return urlsplit(target).path or "/"
    return target


def feed_document(values):
    """The latest-reading document; date fields left unset follow the clock."""
    now = datetime.datetime.now()
    reading = {
        "usage": values.usage, "capacity": values.capacity,
        "year": now.year if values.year is None else values.year,
        "month": now.month if values.month is None else values.month,
        "day": now.day if values.day is None else values.day,
        "hour": now.hour if values.hour is None else values.hour,
    }
    stamp = "{year:04d}-{month:02d}-{day:02d} {hour:02d}:00:00".format(**reading)
    reading.update({
        "usage_updated": stamp, "capacity_updated": stamp,
        "source": "gridwren local feed",
    })
    return (json.dumps(reading) + "\n").encode("utf-8")


def status_page(code):
    try:
        phrase = http.HTTPStatus(code).phrase
    except ValueError:
        phrase = "Error"
    return (f"<!DOCTYPE html>\n<html><head><title>{code} {phrase}</title></head>"
            f"<body><h1>{code} {phrase}</h1><p>gridwren local feed server</p>"
            f"</body></html>\n").encode("ascii")


class FeedHandler(BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"
    server_version = "GridwrenFeed/1.0"
    # Headers and body leave in two writes. With Nagle's algorithm the body
    # of every answer after the first on a kept-alive connection waits for
    # the client's delayed acknowledgement of the headers, 40 ms on Linux,
    # which would make connection reuse look slow in tests and benchmarks.
    disable_nagle_algorithm = True
    # Idle keep-alive connections must not pin a thread forever.
    timeout = 60

    def do_GET(self):
        self._serve(with_body=True)

    def do_HEAD(self):
        self._serve(with_body=False)

    def _refuse(self):
        self.server.record(self)
        self.close_connection = True
        self._send_whole(405, "text/html", status_page(405), True, [("Allow", "GET, HEAD")])

    do_POST = do_PUT = do_DELETE = do_PATCH = do_OPTIONS = do_CONNECT = _refuse

    def version_string(self):
        return self.server_version

    def log_message(self, format, *args):
        if self.server.verbose:
            sys.stderr.write("%s %s\n" % (self.log_date_time_string(), format % args))

    @property
    def target(self):
        words = self.requestline.split()
        return words[1] if len(words) > 1 else ""

    def _serve(self, with_body):
        self.server.record(self)
        self._discard_request_body()
        path = request_path(self.target)
        faults = self.server.faults.for_path(path)
        if GATE in faults and not self._proxy_authorized(faults[GATE][1]):
            return self._send_whole(407, "text/html", status_page(407), with_body,
                                    [("Proxy-Authenticate", 'Basic realm="gridwren"')])
        if PAUSE in faults and self.server.stopping.wait(faults[PAUSE][1]):
            self.close_connection = True
            return None
        if ANSWER in faults:
            mode, argument = faults[ANSWER]
            return getattr(self, "_answer_" + mode)(path, argument, with_body)
        return self._answer_document(path, with_body)

    def _discard_request_body(self):
        # GET carries no body, but one that arrives anyway must not be read
        # as the next request on this connection; a large or unframed one
        # just ends the connection after the answer.
        length = self.headers.get("Content-Length", "0")
        if self.headers.get("Transfer-Encoding") or not length.isdigit() or int(length) > 1 << 20:
            self.close_connection = True
        elif int(length) > 0:
            self.rfile.read(int(length))

    def _proxy_authorized(self, accepted):
        scheme, _, token = self.headers.get("Proxy-Authorization", "").strip().partition(" ")
        if scheme.lower() != "basic":
            return False
        try:
            return base64.b64decode(token.strip(), validate=True) in accepted
        except (binascii.Error, ValueError):
            return False

    def _send_whole(self, code, content_type, body, with_body, extra=()):
        self.send_response(code)
        if code not in (204, 304):
            self.send_header("Content-Type", content_type)
            self.send_header("Content-Length", str(len(body)))
        for name, value in extra:
            self.send_header(name, value)
        if self.close_connection:
            self.send_header("Connection", "close")
        self.end_headers()
        if with_body and code not in (204, 304):
            self.wfile.write(body)

    def _answer_document(self, path, with_body):
        document = self.server.document(path)
        if document is None:
            return self._send_whole(404, "text/html", status_page(404), with_body)
        return self._send_whole(200, document[0], document[1], with_body)

    def _answer_status(self, path, code, with_body):
        self._send_whole(code, "text/html", status_page(code), with_body)

    def _answer_empty(self, path, _argument, with_body):
        self._send_whole(200, self.server.content_type(path), b"", with_body)

    def _answer_garbage(self, path, count, with_body):
        # A leading 0xFF is never valid UTF-8, so the body can never parse as JSON.
        body = (b"\xff" + os.urandom(max(count, 1) - 1)) if count else b""
        self._send_whole(200, self.server.content_type(path), body, with_body)

    def _answer_size(self, path, count, with_body):
        self.send_response(200)
        self.send_header("Content-Type", OCTET_TYPE)
        self.send_header("Content-Length", str(count))
        self.end_headers()
        if not with_body:
            return
        view = memoryview(PATTERN_BLOCK)
        try:
            for start in range(0, count, len(PATTERN_BLOCK)):
                self.wfile.write(view[:min(len(PATTERN_BLOCK), count - start)])
        except (BrokenPipeError, ConnectionResetError):
            self.close_connection = True

    _answer_huge = _answer_size

    def _answer_trickle(self, path, seconds, with_body):
        # The whole length is announced, then one byte at a time: never
        # silent for long, so only a limit on the whole transfer ends it.
        document = self.server.document(path)
        content_type, body = document if document else (OCTET_TYPE, PATTERN_BLOCK[:RESET_FALLBACK_BYTES])
        self.send_response(200)
        self.send_header("Content-Type", content_type)
        self.send_header("Content-Length", str(len(body)))
        self.end_headers()
        if not with_body:
            return
        try:
            for at in range(len(body)):
                if at and self.server.stopping.wait(seconds):
                    break
                self.wfile.write(body[at:at + 1])
        except (BrokenPipeError, ConnectionResetError):
            pass
        self.close_connection = True

    def _answer_announce(self, path, count, with_body):
        # Headers that promise a body of COUNT bytes, which never comes: a
        # client can refuse the length before it takes any of the body.
        self.send_response(200)
        self.send_header("Content-Type", self.server.content_type(path))
        self.send_header("Content-Length", str(count))
        self.end_headers()
        if with_body:
            self.server.stopping.wait()
        self.close_connection = True

    def _answer_hang(self, path, _argument, with_body):
        # Hold the connection without a byte of answer; stopping the server
        # wakes this thread, and the connection is then closed.
        self.server.stopping.wait()
        self.close_connection = True

    def _answer_reset(self, path, _argument, with_body):
        document = self.server.document(path)
        body = document[1] if document else PATTERN_BLOCK[:RESET_FALLBACK_BYTES]
        self.send_response(200)
        self.send_header("Content-Type", self.server.content_type(path))
        self.send_header("Content-Length", str(max(len(body), 2)))
        self.end_headers()
        if with_body:
            self.wfile.write(body[:len(body) // 2])
        self.close_connection = True
        # Let the headers and the partial body reach the client first, so it
        # sees a broken body rather than a refused request.
        self.server.stopping.wait(0.05)
        # Linger 0 turns close() into a TCP RST instead of an orderly FIN.
        self.connection.setsockopt(socket.SOL_SOCKET, socket.SO_LINGER, struct.pack("ii", 1, 0))
        self.connection.close()


class FeedServer(ThreadingHTTPServer):
    daemon_threads = True
    request_queue_size = 64

    def __init__(self, port, options, faults, log):
        self.options = options
        self.faults = faults
        self.verbose = options.verbose
        self.stopping = threading.Event()
        self._log = log
        self._log_lock = threading.Lock()
        self._images = {path: read_file(name) for path, name in IMAGE_FILES.items()}
        self._feed_body = read_file(options.feed_file) if options.feed_file else None
        super().__init__(("127.0.0.1", port), FeedHandler)

    def server_bind(self):
        # HTTPServer.server_bind asks the resolver for our name; skip that
        # lookup, which is slow on machines without name service.
        socketserver.TCPServer.server_bind(self)
        self.server_name, self.server_port = self.server_address[:2]

    def document(self, path):
        """(content type, bytes) for a served path, or None."""
        if path == FEED_PATH:
            body = self._feed_body
            return JSON_TYPE, feed_document(self.options) if body is None else body
        if path in self._images:
            return GIF_TYPE, self._images[path]
        return None

    def content_type(self, path):
        document = self.document(path)
        return document[0] if document else OCTET_TYPE

    def record(self, handler):
        """One JSON line per request, written at once so tests can read it live."""
        if self._log is None:
            return
        headers = handler.headers
        entry = {
            "time": datetime.datetime.now().isoformat(timespec="milliseconds"),
            "method": handler.command, "target": handler.target,
            "path": request_path(handler.target), "host": headers.get("Host"),
            "proxy_authorization": headers.get("Proxy-Authorization"),
            "user_agent": headers.get("User-Agent"),
            # Requests from one client address came over one connection.
            "client": "%s:%d" % handler.client_address[:2],
        }
        with self._log_lock:
            self._log.write(json.dumps(entry, ensure_ascii=False) + "\n")
            self._log.flush()

    def handle_error(self, request, client_address):
        # A client that goes away mid-answer is routine here (time-outs, the
        # hang and huge modes); anything else still deserves a traceback.
        if not isinstance(sys.exc_info()[1], (ConnectionError, TimeoutError)):
            super().handle_error(request, client_address)


def read_file(path):
    try:
        with open(path, "rb") as stream:
            return stream.read()
    except OSError as error:
        raise OptionError(f"cannot read {path}: {error.strerror}") from None


class OneLineParser(argparse.ArgumentParser):
    def error(self, message):
        fail(message, 2)


def fail(message, status):
    sys.stderr.write(f"feed_server.py: error: {message}\n")
    sys.exit(status)


EPILOG = """\
documents served (GET or HEAD; origin-form or absolute-URI targets alike):
  /latest.json                      the feed (JSON, usage/capacity/year/month/day/hour)
  /images/meter/meter_setsuden.gif  the usage meter (tools/feed/meter_setsuden.gif)
  /forecast/html/images/juyo-j.gif  the demand forecast graph (tools/feed/juyo-j.gif)
  any other path                    404

fault modes (--fault MODE for every path, --fault /PATH=MODE for one path;
a path's own fault replaces the global one of the same stage, and one path
may combine proxyauth, delay and one answer mode, applied in that order):
  proxyauth:USER:PASSWORD  407 with Proxy-Authenticate: Basic realm="gridwren"
                           unless Proxy-Authorization: Basic matches
  delay:SECONDS            wait before answering            e.g. delay:0.5
  hang                     read the request, never answer until the server stops
  reset                    headers and half the body, then a TCP reset
  huge:BYTES               a streamed body of BYTES bytes   e.g. huge:40M
  size:BYTES               exactly BYTES bytes, byte i = i*7 mod 251  e.g. size:1234567
  status:CODE              that status with a small HTML body  e.g. status:500
  garbage[:BYTES]          200 with random non-JSON bytes (default 2048)
  empty                    200 with a zero-length body
  trickle[:SECONDS]        the whole length announced, then the body one byte
                           every SECONDS (default 1)       e.g. trickle:0.5
  announce:BYTES           headers announcing BYTES of body, then nothing until
                           the server stops                e.g. announce:40M
BYTES takes an optional binary suffix K, M or G.

examples:
  %(prog)s --port 0 --port-file /tmp/feed.port --log /tmp/feed.log
  %(prog)s --usage 3600 --capacity 4000 --year 2011 --month 8 --day 25 --hour 14
  %(prog)s --fault /latest.json=status:500 --fault /images/meter/meter_setsuden.gif=hang
  %(prog)s --fault proxyauth:gw:secret --fault delay:0.2
  %(prog)s --fault /latest.json=trickle --fault /images/meter/meter_setsuden.gif=size:5M
  curl --proxy http://127.0.0.1:PORT http://usage.example.invalid/latest.json

Stops cleanly on SIGTERM or SIGINT. Bad options: one line on stderr, status 2.
"""


def build_parser():
    parser = OneLineParser(
        prog="feed_server.py", epilog=EPILOG,
        formatter_class=argparse.RawDescriptionHelpFormatter,
        description="Local usage feed and graph image server for Gridwren tests "
                    "and demos; listens on 127.0.0.1 only and answers proxy-style requests.")
    add = parser.add_argument
    add("--port", type=int, default=0, metavar="N", help="port to listen on, 0 picks a "
        "free one; the port is printed first as port=N (e.g. --port 0)")
    add("--port-file", metavar="FILE", help="also write the port to this file, removed "
        "again on exit (e.g. --port-file /tmp/feed.port)")
    add("--log", metavar="FILE", help="append one JSON line per request: time, method, "
        "target, path, host, proxy_authorization, user_agent, client (e.g. --log /tmp/feed.log)")
    for name, default in FEED_DEFAULTS.items():
        add("--" + name, type=int, metavar="N", help=f"feed member {name!r}, in 10,000 kW "
            f"(default {default}, e.g. --{name} {default - 50})")
    for name, example in (("year", 2011), ("month", 8), ("day", 25), ("hour", 14)):
        add("--" + name, type=int, metavar="N", help=f"feed member {name!r} (default: the local "
            f"clock at each request, e.g. --{name} {example})")
    add("--feed-file", metavar="FILE", help="serve this file's bytes as /latest.json "
        "instead of the generated document (e.g. --feed-file /tmp/feed.json)")
    add("--fault", action="append", default=[], metavar="[/PATH=]MODE",
        help="misbehave, see fault modes below; repeatable (e.g. --fault /latest.json=reset)")
    add("--verbose", action="store_true", help="print an access line per request on stderr")
    return parser


def parse_options(argv):
    options = build_parser().parse_args(argv)
    if not 0 <= options.port <= 65535:
        raise OptionError(f"bad port {options.port} (0 to 65535)")
    fields = ("usage", "capacity", "year", "month", "day", "hour")
    if options.feed_file and any(getattr(options, n) is not None for n in fields):
        raise OptionError("--feed-file replaces the whole feed; drop the field options")
    for name, default in FEED_DEFAULTS.items():
        if getattr(options, name) is None:
            setattr(options, name, default)
    faults = FaultTable()
    for fault_text in options.fault:
        faults.add(fault_text)
    return options, faults


def open_log(path):
    try:
        return open(path, "a", encoding="utf-8") if path else None
    except OSError as error:
        raise OptionError(f"cannot open log {path}: {error.strerror}") from None


def write_port_file(path, port):
    # Write then rename, so a test polling for the file never reads half of it.
    partial = path + ".partial"
    with open(partial, "w", encoding="ascii") as stream:
        stream.write(f"{port}\n")
    os.replace(partial, path)


def serve(server, port_file):
    # Requests that wait on the server's stopping event end at once.
    try:
        serve_until_stopped(server, on_stop=server.stopping.set)
    finally:
        if port_file and os.path.exists(port_file):
            os.remove(port_file)


def main(argv=None):
    argv = sys.argv[1:] if argv is None else argv
    try:
        options, faults = parse_options(argv)
        log = open_log(options.log)
        server = FeedServer(options.port, options, faults, log)
    except OptionError as error:
        fail(str(error), 2)
    except OSError as error:
        fail(f"cannot listen on 127.0.0.1:{options.port}: {error.strerror}", 1)
    port = server.server_address[1]
    try:
        if options.port_file:
            write_port_file(options.port_file, port)
    except OSError as error:
        server.server_close()
        fail(f"cannot write port file {options.port_file}: {error.strerror}", 2)
    print(f"port={port}", flush=True)
    serve(server, options.port_file)
    return 0


if __name__ == "__main__":
    sys.exit(main())
