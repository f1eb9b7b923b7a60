#!/usr/bin/env bash
# Peak memory of the operator-file reader on hostile files of up to 2 MiB
# (the largest file the bridge fetches), natively and, when a Windows build
# is given, for the 32-bit Windows reader under Wine.
#
#   bench/operator_file_memory.sh NATIVE_BUILD [WINDOWS_BRIDGE_BUILD]
#
# NATIVE_BUILD holds bin/operator_file_memory (scripts/build.sh native);
# WINDOWS_BRIDGE_BUILD holds bin/operator_file_memory.exe (the bridge's
# Windows build, build/windows/bridge-posix after scripts/build.sh windows).
# Each file is read by one area and by ten at once (one copy and one thread
# each, as the bridge's pollers do). Prints, per file, the peak resident
# memory and its excess over the same run on a normal day's file, in MiB.
# Then NATIVE_BUILD's gridwren-bridge, when built, serves all ten areas
# from a local stand-in serving some of the files, and its peak is printed.
# The goals: an excess of at most 8 MiB for one area, a peak of at most
# 40 MiB for ten. No test asserts on these figures: the machine's
# allocator and Wine's move them a little.
set -euo pipefail
if [ $# -lt 1 ] || [ $# -gt 2 ] || [ "$1" = --help ] || [ "$1" = -h ]; then
  sed -n '2,18p' "$0" | sed 's/^# \{0,1\}//'
  [ $# -ge 1 ] && [ "$1" != --help ] && [ "$1" != -h ] && exit 2
  exit 0
fi
SRC=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
NATIVE=$(cd "$1" && pwd)/bin/operator_file_memory
WINDOWS=${2:+$(cd "$2" && pwd)/bin/operator_file_memory.exe}
[ -x "$NATIVE" ] || { echo "$0: $NATIVE is missing (scripts/build.sh native)" >&2; exit 2; }
WORK=$(mktemp -d)
trap 'rm -rf "$WORK"' EXIT

# The files: a normal day, then the same day grown to just under 2 MiB in
# the ways an attacker or a broken server would grow it.
python3 "$SRC/tools/operator_csv.py" --output "$WORK/normal.csv" >/dev/null
python3 - "$WORK" <<'PY'
import sys
work = sys.argv[1]
normal = open(f"{work}/normal.csv", "rb").read()
room = 2 * 1024 * 1024 - len(normal)
files = {
    "blank_lines": normal + b"\n" * room,                      # about a million empty lines
    "blank_crlf_lines": normal + b"\r\n" * (room // 2),
    "commas": normal + b"," * room,                            # one line of two million cells
    "short_lines": normal + b"1,2\n" * (room // 4),            # half a million small lines
    "wide_lines": normal + (b"1," * 500 + b"\n") * (room // 1001),
    "one_cell": normal + b"x" * room,                          # one long cell
    "kanji_cell": normal + b"\x88\x9f" * (room // 2),          # CP932 that grows most in decoding
    "within_caps": normal + (b"1," * 120 + b"\n") * (room // 241),  # every line read, none beyond a cap
}
for name, data in files.items():
    open(f"{work}/{name}.csv", "wb").write(data[: 2 * 1024 * 1024])
PY

run_native() { "$NATIVE" --areas "$2" "$1"; }
run_windows() { wine "$WINDOWS" --areas "$2" "$(echo "Z:$1" | tr / '\\')" 2>/dev/null | tr -d '\r'; }

measure() {  # measure RUNNER LABEL
  local runner=$1 label=$2 areas file out peak base
  for areas in 1 10; do
    base=
    for file in normal blank_lines blank_crlf_lines commas short_lines wide_lines one_cell kanji_cell within_caps; do
      out=$("$runner" "$WORK/$file.csv" "$areas")
      peak=$(echo "$out" | awk '{print $4}')
      [ -z "$base" ] && base=$peak
      printf '%-8s %2s area(s) %-17s peak %7.1f MiB  excess %7.1f MiB  %s\n' "$label" "$areas" "$file" \
        "$(echo "$peak / 1024" | bc -l)" "$(echo "($peak - $base) / 1024" | bc -l)" \
        "$(echo "$out" | sed -n 's/.* refused \([0-9]*\) reason \(.*\)/refused by \1: \2/p' | cut -c1-90)"
    done
  done
}

# The native bridge itself with all ten areas fed the same file by one local
# stand-in, fetching every second for five seconds: its high-water mark.
measure_bridge() {
  local bridge=$(dirname "$NATIVE")/gridwren-bridge file area sources pid source_pid
  [ -x "$bridge" ] || return 0
  for file in normal blank_lines commas within_caps; do
    python3 "$SRC/tools/source_server.py" --file "$WORK/$file.csv" --port-file "$WORK/source.port" \
      >/dev/null 2>&1 &
    source_pid=$!
    for _ in $(seq 100); do [ -s "$WORK/source.port" ] && break; sleep 0.1; done
    sources=()
    for area in hokkaido tohoku tokyo chubu hokuriku kansai chugoku shikoku kyushu okinawa; do
      sources+=(--source "$area=http://127.0.0.1:$(cat "$WORK/source.port")/juyo_{date}.csv")
    done
    "$bridge" --listen 127.0.0.1:0 --refresh 1 "${sources[@]}" >"$WORK/bridge.log" 2>&1 &
    pid=$!
    sleep 5
    printf '%-8s 10 areas  %-17s peak %7.1f MiB\n' bridge "$file" \
      "$(echo "$(awk '/^VmHWM:/ {print $2}' "/proc/$pid/status") / 1024" | bc -l)"
    kill "$pid" "$source_pid"
    wait "$pid" "$source_pid" 2>/dev/null || true
    rm -f "$WORK/source.port"
  done
}

measure run_native native
measure_bridge
if [ -n "$WINDOWS" ]; then
  [ -f "$WINDOWS" ] || { echo "$0: $WINDOWS is missing" >&2; exit 2; }
  source "$SRC/tests/wine/bridge/wine_env.sh"
  mkdir -p "$(dirname "$WINDOWS")/../wine-memory"
  wine_env "$(cd "$(dirname "$WINDOWS")/.." && pwd)/wine-memory"
  measure run_windows windows
fi
