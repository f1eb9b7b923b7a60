#!/usr/bin/env python3
"""A slowloris flood from loopback addresses against a running
gridwren-bridge, with probe requests from another loopback address.

Each flood socket connects from a FLOOD_FROM address, begins a request's
headers and sends one more byte every 3 s, never ending them (with --silent
it sends nothing at all), and reconnects every 10 s (--reconnect-every) or
as soon as the bridge closes it. Every FLOOD_FROM address holds SOCKETS on
each PORT. Meanwhile one probe GET /latest.json every 0.5 s comes from
PROBE_FROM on a new connection to the first PORT, with a 2 s timeout. Prints
how many probes were answered, their latencies, and how the bridge treated
the flood's sockets. Loopback only: every address and the bridge's must be
in 127.0.0.0/8.

usage: bench/bridge_flood.py --port PORT [--port PORT]... [--sockets 1100]
       [--seconds 30] [--flood-from 127.0.0.1[,ADDR...]] [--silent]
       [--reconnect-every 10] [--probe-from 127.0.0.2] [--bridge 127.0.0.1]

The faults this is for: 64 silent sockets from 127.0.0.9 against
--max-connections 50 (--sockets 64 --flood-from 127.0.0.9 --silent
--probe-from 127.0.0.1); 16 addresses with 64 silent sockets each,
reconnecting every 9 s (--sockets 64 --flood-from 127.0.0.10,...,127.0.0.25
--silent --reconnect-every 9 --seconds 14).
"""
import argparse
import ipaddress
import resource
import selectors
import socket
import statistics
import sys
import threading
import time

BYTE_EVERY = 3.0
PROBE_EVERY = 0.5
PROBE_TIMEOUT = 2.0


def loopback(text):
    if not ipaddress.ip_address(text) in ipaddress.ip_network("127.0.0.0/8"):
        raise argparse.ArgumentTypeError(f"{text} is not a loopback address (127.0.0.0/8)")
    return text


def loopbacks(text):
    return [loopback(a) for a in text.split(",")]


def parse_args():
    p = argparse.ArgumentParser(description=__doc__.split("\n\n")[0],
                                formatter_class=argparse.RawDescriptionHelpFormatter)
    p.add_argument("--port", type=int, action="append", required=True,
                   help="the bridge's port; several: the flood holds SOCKETS on each")
    p.add_argument("--bridge", type=loopback, default="127.0.0.1", help="the bridge's address")
    p.add_argument("--sockets", type=int, default=1100,
                   help="flood sockets each address holds at once on each port (default 1100)")
    p.add_argument("--seconds", type=float, default=30, help="how long the flood lasts (default 30)")
    p.add_argument("--flood-from", type=loopbacks, default=["127.0.0.1"],
                   help="the flood's addresses, separated by commas (default 127.0.0.1)")
    p.add_argument("--silent", action="store_true", help="flood sockets send nothing")
    p.add_argument("--reconnect-every", type=float, default=10.0,
                   help="seconds after which a flood socket is closed and opened again (default 10)")
    p.add_argument("--probe-from", type=loopback, default="127.0.0.2")
    return p.parse_args()


class Flood:
    """The flood's sockets, in one thread, non-blocking."""

    def __init__(self, args):
        self.args = args
        self.sel = selectors.DefaultSelector()
        self.socks = {}  # socket -> [opened, last byte, connected, (address, port)]
        self.held = {(a, p): 0 for a in args.flood_from for p in args.port}
        self.opened = self.ended_by_bridge = self.connect_failures = 0

    def open_one(self, now, target):
        s = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
        s.setblocking(False)
        try:
            s.bind((target[0], 0))
            s.connect_ex((self.args.bridge, target[1]))
        except OSError:
            self.connect_failures += 1
            s.close()
            return False
        self.socks[s] = [now, 0.0, False, target]
        self.held[target] += 1
        self.sel.register(s, selectors.EVENT_READ | selectors.EVENT_WRITE)
        self.opened += 1

    def drop(self, s):
        self.sel.unregister(s)
        self.held[self.socks.pop(s)[3]] -= 1
        s.close()

    def step(self, now):
        for key, events in self.sel.select(timeout=0.05):
            s = key.fileobj
            state = self.socks.get(s)
            if state is None:
                continue
            if events & selectors.EVENT_WRITE and not state[2]:
                state[2] = True
                self.sel.modify(s, selectors.EVENT_READ)
                if not self.args.silent:
                    self.send(s, state, b"GET /latest.json HTTP/1.1\r\nHost: x\r\nX-a: ", now)
            elif events & selectors.EVENT_READ:
                try:
                    data = s.recv(4096)
                except OSError:
                    data = b""
                if not data:  # closed or reset by the bridge
                    self.ended_by_bridge += 1
                    self.drop(s)
        for s, state in list(self.socks.items()):
            if now - state[0] >= self.args.reconnect_every:
                self.drop(s)
            elif state[2] and not self.args.silent and now - state[1] >= BYTE_EVERY:
                self.send(s, state, b"a", now)
        for target, held in self.held.items():
            for _ in range(self.args.sockets - held):
                if not self.open_one(now, target):
                    break

    def send(self, s, state, data, now):
        try:
            s.send(data)
            state[1] = now
        except OSError:
            self.ended_by_bridge += 1
            self.drop(s)

    def run(self, until):
        while time.monotonic() < until:
            self.step(time.monotonic())
        for s in list(self.socks):
            self.drop(s)


def probe(args):
    started = time.monotonic()
    try:
        with socket.create_connection((args.bridge, args.port[0]), timeout=PROBE_TIMEOUT,
                                      source_address=(args.probe_from, 0)) as s:
            s.sendall(b"GET /latest.json HTTP/1.1\r\nHost: x\r\nConnection: close\r\n\r\n")
            data = b""
            while b"\r\n\r\n" not in data:
                chunk = s.recv(4096)
                if not chunk:
                    break
                data += chunk
            ok = data.startswith(b"HTTP/1.1 200")
    except OSError:
        ok = False
    return ok, time.monotonic() - started


def main():
    args = parse_args()
    soft, hard = resource.getrlimit(resource.RLIMIT_NOFILE)
    wanted = args.sockets * len(args.flood_from) * len(args.port) + 256
    resource.setrlimit(resource.RLIMIT_NOFILE, (min(hard, max(soft, wanted)), hard))
    flood = Flood(args)
    until = time.monotonic() + args.seconds
    thread = threading.Thread(target=flood.run, args=(until,))
    thread.start()
    time.sleep(min(2.0, args.seconds / 4))  # let the flood take its places first
    results = []
    while time.monotonic() < until - PROBE_TIMEOUT:
        results.append(probe(args))
        time.sleep(PROBE_EVERY)
    thread.join()
    answered = [t for ok, t in results if ok]
    print(f"flood: {args.sockets} {'silent ' if args.silent else ''}sockets from each of "
          f"{', '.join(args.flood_from)} on each of {len(args.port)} ports, {flood.opened} connections opened in "
          f"{args.seconds:.0f} s, {flood.ended_by_bridge} ended by the bridge, "
          f"{flood.connect_failures} could not connect")
    print(f"probes from {args.probe_from}: {len(answered)} of {len(results)} answered")
    if answered:
        answered.sort()
        print(f"probe latency: median {statistics.median(answered) * 1000:.1f} ms, "
              f"max {answered[-1] * 1000:.1f} ms")
    return 0 if len(answered) == len(results) else 1


if __name__ == "__main__":
    sys.exit(main())
