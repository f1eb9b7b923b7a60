#!/usr/bin/env python3
"""Checks that every folder of the plug-in, and of the bridge, uses only the
folders beneath it.

The floors, lowest first. A file may include headers of its own folder and of
any lower floor; an include that reaches up (or sideways, between two folders
of one floor) is reported with its file and line, and the exit status is 1.
Usage: tools/check_layering.py [SOURCE_DIR]
"""
import os
import re
import sys

FLOORS = [
    ["base"],
    ["hostapi", "text"],
    ["settings"],
    ["core", "net"],
    ["monitor"],
    ["dialog"],
    ["plugin"],
]
# The bridge's own folders, under bridge/. Its top (main.cpp, options, and
# the service room bridge/service/, which sets the service up with them) may
# use any of them; they may use the plug-in's portable floors, never the
# stand-in host.
BRIDGE_FLOORS = [
    ["bridge/reading"],
    ["bridge/log", "bridge/charts"],
    ["bridge/cache"],
    ["bridge/upstream", "bridge/serving"],
]
# The top, which no floor may use.
BRIDGE_TOP = ["bridge", "bridge/service"]
INCLUDE = re.compile(r'^\s*#\s*include\s+"((?:bridge/)?[a-z_]+)/')


def floor_of(floors, folder):
    for level, folders in enumerate(floors):
        if folder in folders:
            return level
    return None


def includes(root, folder):
    path = os.path.join(root, folder)
    for name in sorted(os.listdir(path)):
        if not name.endswith((".h", ".cpp", ".inc")):
            continue
        with open(os.path.join(path, name), encoding="utf-8") as source:
            for number, line in enumerate(source, 1):
                match = INCLUDE.match(line)
                if match and match.group(1) != folder:
                    yield f"{folder}/{name}:{number}", match.group(1)


def violations(root):
    for folders in FLOORS:
        for folder in folders:
            for where, used in includes(root, folder):
                level = floor_of(FLOORS, used)
                if used.startswith("bridge") or (level is not None and level >= floor_of(FLOORS, folder)):
                    yield f"{where}: uses {used}/, which is not beneath {folder}/"
    for folders in BRIDGE_FLOORS:
        for folder in folders:
            for where, used in includes(root, folder):
                if used == "host":
                    yield f"{where}: uses host/, the stand-in mail client"
                    continue
                level = floor_of(BRIDGE_FLOORS, used)
                if used in BRIDGE_TOP or (level is not None and level >= floor_of(BRIDGE_FLOORS, folder)):
                    yield f"{where}: uses {used}/, which is not beneath {folder}/"


def main():
    if len(sys.argv) > 1 and sys.argv[1] in ("-h", "--help"):
        print(__doc__.strip())
        return 0
    root = sys.argv[1] if len(sys.argv) > 1 else os.path.join(os.path.dirname(__file__), "..")
    found = list(violations(root))
    for line in found:
        print(line)
    return 1 if found else 0


if __name__ == "__main__":
    sys.exit(main())
