#!/usr/bin/env bash
# How often an idle gridwren-bridge wakes up: one bridge with --refresh 300
# and no client, against a local stand-in for the operator, after its first
# fetch. Counts the system calls of all its threads with `strace -f -c` over
# SECONDS (a thread that sleeps makes none), and the context switches of all
# its threads over the same span without strace. The goal: at most one
# wake-up per second.
#
# usage: bench/bridge_idle.sh [--windows] [--bridge EXE] [SECONDS]
#   SECONDS    how long each count runs (default 60)
#   --windows  build/windows/bin/gridwren-bridge.exe under Wine, in a
#              private prefix; strace then follows the exe's own process, and
#              Wine's own processes (wineserver, services.exe, ...) are
#              counted apart for comparison
#   --bridge   another program to measure (default build/native/bin/gridwren-bridge)
# Needs strace, python3, and for --windows wine and wine32.
set -euo pipefail
export LC_ALL=C  # join and sort agree on the order
cd "$(dirname "$0")/.."

windows=0 seconds=60 bridge=""
while [ $# -gt 0 ]; do
  case $1 in
    --windows) windows=1 ;;
    --bridge) bridge=$2; shift ;;
    -h|--help) sed -n '2,17p' "$0" | sed 's/^# \{0,1\}//'; exit 0 ;;
    *) seconds=$1 ;;
  esac
  shift
done
if [ -z "$bridge" ]; then
  if [ $windows = 1 ]; then bridge=build/windows/bin/gridwren-bridge.exe; else bridge=build/native/bin/gridwren-bridge; fi
fi
[ -f "$bridge" ] || { echo "bridge_idle: $bridge is missing: build it first (scripts/build.sh)" >&2; exit 1; }
bridge=$(realpath "$bridge")
command -v strace >/dev/null || { echo "bridge_idle: strace is missing" >&2; exit 1; }

WORK=$(mktemp -d)
PIDS=()
cleanup() {
  local pid
  for pid in "${PIDS[@]}"; do kill "$pid" 2>/dev/null || true; done
  for pid in "${PIDS[@]}"; do wait "$pid" 2>/dev/null || true; done
  [ $windows = 1 ] && WINEPREFIX=$WORK/prefix wineserver -k >/dev/null 2>&1 || true
  rm -rf "$WORK"
}
trap cleanup EXIT

await_file() {  # await_file FILE TENTHS
  local i
  for i in $(seq "$2"); do [ -s "$1" ] && return 0; sleep 0.1; done
  echo "bridge_idle: $1 never came" >&2
  return 1
}

# The operator's stand-in, on 127.0.0.1.
python3 tools/operator_csv.py --output "$WORK/source.csv" >/dev/null
python3 tools/source_server.py --file "$WORK/source.csv" --port-file "$WORK/source.port" >/dev/null 2>&1 &
PIDS+=($!)
await_file "$WORK/source.port" 100
source_url="http://127.0.0.1:$(cat "$WORK/source.port")/juyo-d1-j.csv"

start_bridge() {
  if [ $windows = 1 ]; then
    export WINEPREFIX=$WORK/prefix WINEARCH=win32 WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
    unset DISPLAY http_proxy https_proxy
    wineboot -i >/dev/null 2>&1
    wineserver -w
    wineserver -p
    wine "$bridge" --listen 127.0.0.1:0 --port-file "Z:${WORK//\//\\}\\bridge.port" --source "$source_url" \
      --refresh 300 </dev/null >"$WORK/bridge.log" 2>&1 &
  else
    "$bridge" --listen 127.0.0.1:0 --port-file "$WORK/bridge.port" --source "$source_url" --refresh 300 \
      </dev/null >"$WORK/bridge.log" 2>&1 &
  fi
  BRIDGE_PID=$!
  PIDS+=("$BRIDGE_PID")
  await_file "$WORK/bridge.port" 600
  local i
  for i in $(seq 100); do grep -q "upstream GET" "$WORK/bridge.log" && break; sleep 0.1; done
  sleep 2  # the first fetch's graphs drawn and its log line written
}

# Every thread's context switches so far, one "PID/TID COUNT" a line.
switches() {
  local pid task
  for pid in "$@"; do
    for task in /proc/"$pid"/task/*; do
      awk -v t="$pid/${task##*/}" '/ctxt_switches/ {s += $2} END {if (NR) print t, s}' "$task/status" 2>/dev/null
    done
  done | sort
}

# The switches between two of those lists: threads that ended in between
# are left out (their last count is gone), threads that began are counted
# from their start.
switched() {
  join -a 2 -e 0 -o 1.2,2.2 "$1" "$2" | awk '{s += $2 - $1} END {print s + 0}'
}

# strace -f -c on the processes given, for SECONDS; prints the total calls.
syscalls() {
  local args=() pid
  for pid in "$@"; do args+=(-p "$pid"); done
  timeout -s INT "$seconds" strace -f -c -o "$WORK/strace.$1" "${args[@]}" >/dev/null 2>&1 || true
  # One table per word size (a 32-bit Windows program under Wine has its own).
  awk '$NF == "total" {s += $4} END {print s + 0}' "$WORK/strace.$1"
}

report() {  # report WHAT PIDS...
  local what=$1 calls sw
  shift
  switches "$@" >"$WORK/before"
  sleep "$seconds"
  switches "$@" >"$WORK/after"
  sw=$(switched "$WORK/before" "$WORK/after")
  calls=$(syscalls "$@")
  awk -v what="$what" -v s="$seconds" -v sw="$sw" -v calls="${calls:-0}" 'BEGIN {
    printf "%s: %d context switches in %d s without strace (%.2f/s); %d system calls in %d s under strace -f -c (%.2f/s)\n",
      what, sw, s, sw / s, calls, s, calls / s }'
  echo "${calls:-0}" >"$WORK/calls"
  sed -n '/^-----/,$p' "$WORK/strace.$1" | sed '1d;/^-----/,$d' | sed 's/^/    /'
}

start_bridge
threads=$(ls /proc/"$BRIDGE_PID"/task | wc -l)
echo "bridge: $bridge, $threads threads, --refresh 300, no client"
report "the bridge" "$BRIDGE_PID"
calls=$(cat "$WORK/calls")
if [ $windows = 1 ]; then
  # Wine's own processes of this prefix: what Windows itself would be.
  wine_pids=()
  for dir in /proc/[0-9]*; do
    pid=${dir#/proc/}
    [ "$pid" = "$BRIDGE_PID" ] && continue
    case $(readlink "$dir/exe" 2>/dev/null) in */wine/*) ;; *) continue ;; esac
    tr '\0' '\n' <"$dir/environ" 2>/dev/null | grep -qx "WINEPREFIX=$WINEPREFIX" && wine_pids+=("$pid")
  done
  [ ${#wine_pids[@]} -gt 0 ] && report "Wine's own processes (${#wine_pids[@]})" "${wine_pids[@]}"
fi
if [ "$calls" -le "$seconds" ]; then
  echo "goal (at most one wake-up per second): met"
else
  echo "goal (at most one wake-up per second): not met"
fi
