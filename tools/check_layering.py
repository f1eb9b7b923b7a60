#!/usr/bin/env python3
"""Checks that every folder of the plug-in uses only the folders beneath it.

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
INCLUDE = re.compile(r'^\s*#\s*include\s+"([a-z_]+)/')


def floor_of(folder):
    for level, folders in enumerate(FLOORS):
        if folder in folders:
            return level
    return None


def violations(root):
    for folders in FLOORS:
        for folder in folders:
            path = os.path.join(root, folder)
            for name in sorted(os.listdir(path)):
                if not name.endswith((".h", ".cpp", ".inc")):
                    continue
                with open(os.path.join(path, name), encoding="utf-8") as source:
                    for number, line in enumerate(source, 1):
                        match = INCLUDE.match(line)
                        if not match or match.group(1) == folder:
                            continue
                        used = floor_of(match.group(1))
                        if used is not None and used >= floor_of(folder):
                            yield f"{folder}/{name}:{number}: uses {match.group(1)}/, which is not beneath {folder}/"


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
