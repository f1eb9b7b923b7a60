#!/usr/bin/env bash
# Runs the Wine test layer: the real Gridwren.dll in the test hosts, under
# Wine with the Japanese ANSI code page, on a private display and prefix.
#
#   tests/wine/run.sh BUILD_WIN_DIR
#
# Configures BUILD_WIN_DIR with the mingw toolchain if it has no cache yet and
# builds the plug-in and both test hosts (GWT_NO_BUILD=1 skips that, for the
# wine-tests build target). Everything it makes lives under
# BUILD_WIN_DIR/wine-test: the private ja_JP.UTF-8 locale, a Wine prefix
# template made once, and the current run (prefix copy, binaries, logs).
# Starts two local feed servers (tools/feed_server.py, with python3) for the
# cases that download, and stops them at the end.
# Prints PASS/FAIL per case, then "N passed, N failed"; exits non-zero on any
# failure. Needs no stdin and no network.
#
# GWT_CASES="name ..." runs only those cases (of either host), for quick
# rounds while working on them; the full layer runs every case.
#
# With GWT_SCREENSHOT=FILE.png it also saves a picture of the settings
# dialog, values loaded, as the screen shows it (docs/settings-dialog.png is
# made this way; needs ImageMagick's import); with GWT_STATUS_SCREENSHOT=FILE.png
# a picture of the Windows bridge's status page as Chromium shows it.
#
# GWT_CASES="NAME ..." runs only the named cases (of every host that has
# them; "bridge" for the Windows bridge's cases, tests/wine/bridge.sh), and GWT_REPEAT=N runs each case N times, to bring out a failure
# that shows only now and then, e.g.
#   GWT_CASES=unload_during_check GWT_REPEAT=24 tests/wine/run.sh build/windows
set -euo pipefail
case "${1:-}" in -h | --help) sed -n '2,/^[^#]/{/^#/{s/^# \{0,1\}//;p}}' "$0"; exit 0 ;; esac
[ -n "${GWT_SCREENSHOT:-}" ] && export GWT_SCREENSHOT=$(realpath -m "$GWT_SCREENSHOT")
[ -n "${GWT_STATUS_SCREENSHOT:-}" ] && export GWT_STATUS_SCREENSHOT=$(realpath -m "$GWT_STATUS_SCREENSHOT")

if [ $# -ne 1 ]; then
  echo "usage: $0 BUILD_WIN_DIR" >&2
  exit 2
fi
SELF=$(realpath "${BASH_SOURCE[0]}")
SRC=$(cd "$(dirname "$SELF")/../.." && pwd)
mkdir -p "$1"
BUILD=$(cd "$1" && pwd)
WORK=$BUILD/wine-test
HOSTS=(gwtesthost gwtesthost_nosetstatus)
CASE_TIMEOUT=${GWT_CASE_TIMEOUT:-180}  # seconds per case

say() { echo "run.sh: $*" >&2; }
die() { say "$*"; exit 2; }

# Nothing here may reach a real host. Where the system allows it (root,
# unshare, ip), the whole run moves into a network namespace of its own in
# which only the loopback interface exists.
if [ -z "${GWT_NETNS:-}" ]; then
  if command -v unshare >/dev/null && command -v ip >/dev/null && unshare --net true 2>/dev/null; then
    GWT_NETNS=1 exec unshare --net bash "$SELF" "$BUILD"
  fi
  say "no private network namespace available; running in the system's network"
  export GWT_NETNS=0
fi
if [ "$GWT_NETNS" = 1 ]; then
  ip link set lo up
fi

# Wine would route even 127.0.0.1 through these.
unset http_proxy https_proxy HTTP_PROXY HTTPS_PROXY all_proxy ALL_PROXY ftp_proxy FTP_PROXY
export WINEARCH=win32 WINEDEBUG=-all
# No Mono or Gecko prompts, and no menu entries written into $HOME.
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"

mkdir -p "$WORK"
if [ "${GWT_NO_BUILD:-0}" != 1 ]; then
  {
    [ -f "$BUILD/CMakeCache.txt" ] ||
      cmake -S "$SRC" -B "$BUILD" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$SRC/cmake/mingw-i686.cmake" -DCMAKE_BUILD_TYPE=Release
    cmake --build "$BUILD" -j2 --target gridwren gwtesthost gwtesthost_nosetstatus gridwren_bridge_win
  } >"$WORK/build.log" 2>&1 || { tail -n 30 "$WORK/build.log" >&2; die "build failed, see $WORK/build.log"; }
fi
for f in Gridwren.dll gwtesthost.exe gwtesthost_nosetstatus.exe gridwren-bridge.exe; do
  [ -f "$BUILD/bin/$f" ] || die "$BUILD/bin/$f is missing"
done

# GetACP() is 932 only with a generated ja_JP.UTF-8 locale and LC_ALL; the
# locale is generated privately, so the system's locales stay untouched.
LOCALES=$WORK/locale
if [ ! -e "$LOCALES/ja_JP.UTF-8/LC_CTYPE" ]; then
  rm -rf "$LOCALES" "$LOCALES.tmp"
  mkdir -p "$LOCALES.tmp"
  # localedef exits 1 on mere warnings; the result decides.
  LC_ALL=C localedef -i ja_JP -f UTF-8 "$LOCALES.tmp/ja_JP.UTF-8" >/dev/null 2>&1 || true
  [ -e "$LOCALES.tmp/ja_JP.UTF-8/LC_CTYPE" ] || die "localedef could not generate ja_JP.UTF-8 (package locales?)"
  mv "$LOCALES.tmp" "$LOCALES"
fi
# Only Wine runs in that locale; the shell and its tools stay as they are
# (their messages are parsed here).
wine_ja() { LOCPATH=$LOCALES LC_ALL=ja_JP.UTF-8 LANGUAGE= "$@"; }
export LC_ALL=C

XVFB_PID=""
SERVER_PREFIXES=()
FEED_PIDS=()
cleanup() {
  local prefix pid
  for pid in "${FEED_PIDS[@]}"; do
    kill "$pid" 2>/dev/null || true
    wait "$pid" 2>/dev/null || true
  done
  for prefix in "${SERVER_PREFIXES[@]}"; do
    WINEPREFIX=$prefix wineserver -k >/dev/null 2>&1 || true
  done
  if [ -n "$XVFB_PID" ]; then
    kill "$XVFB_PID" 2>/dev/null || true
    wait "$XVFB_PID" 2>/dev/null || true
  fi
}
trap cleanup EXIT
trap 'exit 130' INT
trap 'exit 143' TERM HUP

source "$SRC/tests/wine/display.sh"

# One prefix made with wineboot per build folder; each run copies it.
make_template() {
  local template=$WORK/prefix-template
  [ -e "$template/.gwt-ready" ] && return 0
  local fresh=$template.tmp
  rm -rf "$template" "$fresh"
  SERVER_PREFIXES+=("$fresh")
  say "creating the Wine prefix template (once)"
  WINEPREFIX=$fresh wine_ja wineboot -i </dev/null >"$WORK/wineboot.log" 2>&1 || die "wineboot failed, see $WORK/wineboot.log"
  # Without a window manager Wine otherwise waits 2 s at every window close.
  WINEPREFIX=$fresh wine_ja wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f </dev/null >/dev/null 2>&1
  # The registry reaches the disk when the server ends.
  WINEPREFIX=$fresh wine_ja wineserver -w
  touch "$fresh/.gwt-ready"
  mv "$fresh" "$template"
}

RUN=$WORK/run
prepare_run() {
  [ -d "$RUN/prefix" ] && { WINEPREFIX=$RUN/prefix wineserver -k >/dev/null 2>&1 || true; }
  rm -rf "$RUN"
  mkdir -p "$RUN/bin" "$RUN/logs"
  cp -a "$WORK/prefix-template" "$RUN/prefix"
  # The hosts load the plug-in from beside themselves, as a mail client
  # loads it from its plug-in folder.
  cp "$BUILD/bin/Gridwren.dll" "$BUILD/bin/gwtesthost.exe" "$BUILD/bin/gwtesthost_nosetstatus.exe" \
    "$BUILD/bin/gridwren-bridge.exe" "$RUN/bin/"
  export WINEPREFIX=$RUN/prefix
  SERVER_PREFIXES+=("$WINEPREFIX")
  wine_ja wineserver -p
  # Japanese Windows shows dialogs in "MS UI Gothic", a proportional font;
  # its closest stand-in here is the proportional IPA font, not the
  # fixed-width one Wine picks by itself.
  wine_ja wine reg add 'HKCU\Software\Wine\Fonts\Replacements' /v 'MS UI Gothic' /d 'IPAPGothic' /f \
    </dev/null >/dev/null 2>&1 || say "could not set the dialog font's stand-in"
}

# The local feed servers that the download cases reach through the
# plug-in's own proxy settings, in this run's network namespace like Wine.
# Both demand the proxy credentials that the cases set (online_check.cpp);
# the case learns a server's port from the variable named here.
start_feed_server() {
  local name=$1 variable=$2 port_file=$RUN/$1.port i
  shift 2
  # UTF-8 mode: the password on the command line is Japanese.
  PYTHONUTF8=1 python3 "$SRC/tools/feed_server.py" --port 0 --port-file "$port_file" --log "$RUN/logs/$name.log" \
    --fault 'proxyauth:gw-proxy:秘密pass' "$@" </dev/null >"$RUN/logs/$name.out" 2>&1 &
  FEED_PIDS+=($!)
  for i in $(seq 100); do
    [ -s "$port_file" ] && break
    kill -0 "${FEED_PIDS[-1]}" 2>/dev/null || break
    sleep 0.1
  done
  if [ -s "$port_file" ]; then
    export "$variable=$(cat "$port_file")"
  else
    say "feed server $name did not start: $(tail -n 2 "$RUN/logs/$name.out")"
  fi
}

PASSED=0
FAILED=0
report() {
  echo "$1"
  case $1 in
    PASS*) PASSED=$((PASSED + 1)) ;;
    *) FAILED=$((FAILED + 1)) ;;
  esac
}

# The plug-in must import system DLLs only: the runtimes are linked in.
check_imports() {
  local dump dll bad=""
  dump=$(i686-w64-mingw32-objdump -p "$RUN/bin/Gridwren.dll") || { report "FAIL imports: objdump failed"; return; }
  grep -q 'file format pei-i386' <<<"$dump" || { report "FAIL imports: not a PE image for i386"; return; }
  grep -Eq '^Magic[[:space:]]+010b[[:space:]]+\(PE32\)' <<<"$dump" || { report "FAIL imports: not PE32"; return; }
  for dll in $(awk '/DLL Name:/ {print tolower($3)}' <<<"$dump"); do
    case $dll in
      kernel32.dll | user32.dll | gdi32.dll | advapi32.dll | msvcrt.dll | ole32.dll | oleaut32.dll | \
        shell32.dll | shlwapi.dll | comctl32.dll | comdlg32.dll | version.dll | uxtheme.dll | ntdll.dll) ;;
      *) bad="$bad $dll" ;;
    esac
  done
  if [ -n "$bad" ]; then report "FAIL imports: non-system DLLs imported:$bad"; else report "PASS imports"; fi
}

# One process per case: a crash, a hang or a loaded plug-in stays with its case.
run_case() {
  local host=$1 name=$2 log=$RUN/logs/$1.$2.log rc=0 line
  wine_ja timeout -k 10 "$CASE_TIMEOUT" wine "$RUN/bin/$host.exe" "$name" </dev/null >"$log" 2>"$log.err" || rc=$?
  line=$(tr -d '\r' <"$log" | grep -E "^(PASS $name\$|FAIL $name: )" | tail -n1 || true)
  if [ -z "$line" ]; then
    line="FAIL $name: no result from $host.exe (exit code $rc$([ "$rc" = 124 ] && echo ', timed out'))"
  elif [[ $line == PASS* && $rc -ne 0 ]]; then
    line="FAIL $name: $host.exe exited with code $rc"
  fi
  report "$line"
  if [[ $line != PASS* ]]; then
    tr -d '\r' <"$log.err" | tail -n 5 | sed 's/^/    /'
  fi
}

run_host() {
  local host=$1 names
  names=$(wine_ja wine "$RUN/bin/$host.exe" --list </dev/null 2>>"$RUN/logs/$host.list.err" | tr -d '\r') ||
    { report "FAIL $host: --list failed"; return; }
  [ -n "$names" ] || { report "FAIL $host: lists no cases"; return; }
  local name round
  for name in $names; do
    [[ $name == bridge_* ]] && continue  # bridge.sh runs these, its bridge serving
    [ -n "${GWT_CASES:-}" ] && [[ " $GWT_CASES " != *" $name "* ]] && continue
    for round in $(seq "${GWT_REPEAT:-1}"); do run_case "$host" "$name"; done
  done
}

# The layout case holds the dialog open while it finds a folder named in
# GWT_SCREENSHOT_DIR: it writes the dialog's geometry to "ready" there and
# waits for "done".
take_screenshot() {
  local out=$1 dir=$RUN/screenshot pid i
  rm -rf "$dir"
  mkdir -p "$dir"
  GWT_SCREENSHOT_DIR="Z:${dir//\//\\}" wine_ja wine "$RUN/bin/gwtesthost.exe" dialog_layout \
    </dev/null >"$RUN/logs/screenshot.log" 2>&1 &
  pid=$!
  for i in $(seq 300); do
    [ -s "$dir/ready" ] && break
    kill -0 "$pid" 2>/dev/null || break
    sleep 0.1
  done
  if [ -s "$dir/ready" ] && import -window root -crop "$(cat "$dir/ready")" +repage "$out"; then
    report "PASS screenshot"
  else
    report "FAIL screenshot: no picture of the dialog (see $RUN/logs/screenshot.log)"
  fi
  touch "$dir/done"
  wait "$pid" || true
}

START=$(date +%s)
start_display
make_template
prepare_run
start_feed_server feed GWT_FEED_PORT
start_feed_server slowfeed GWT_SLOW_FEED_PORT --fault /latest.json=delay:3 \
  --fault /trickle=trickle --fault /announced=announce:40M
check_imports
[ -n "${GWT_SCREENSHOT:-}" ] && take_screenshot "$GWT_SCREENSHOT"
for host in "${HOSTS[@]}"; do run_host "$host"; done
# The Windows bridge (bridge.sh): GWT_CASES=bridge runs only its cases.
if [ -z "${GWT_CASES:-}" ] || [[ " $GWT_CASES " == *" bridge "* ]]; then
  source "$SRC/tests/wine/bridge.sh"
  bridge_cases
fi
say "logs in $RUN/logs; $(($(date +%s) - START)) s"
echo "$PASSED passed, $FAILED failed"
[ "$FAILED" -eq 0 ] && [ "$PASSED" -gt 0 ]
