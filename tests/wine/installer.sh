#!/usr/bin/env bash
# Tests the setup program under Wine as an administrator runs it: silent
# installs, an upgrade, an upgrade over a service slow to stop, a mail
# client holding the plug-in, a silent uninstall. Checks with Wine's sc and reg and the file system.
#
#   tests/wine/installer.sh BUILD_WIN_DIR
#
# Takes BUILD_WIN_DIR/bin/Gridwren-Setup-<version>.exe (scripts/build.sh
# windows builds it; GWI_SETUP=FILE tests another). Each case has its own
# copy of a Wine prefix made once under BUILD_WIN_DIR/installer-test.
# Setup installs a service whose default source is the real grid operator,
# so everything runs in a network namespace of its own with only loopback;
# without one (no root, no unshare) the tests refuse to run.
#
# GWI_SCREENSHOT=FILE.png also saves the setup's first page, in Japanese
# (docs/installer.png is made this way), and GWI_PAGES=DIR the pages that
# the guide shows as DIR/setup-*.png. GWI_CASES="name ..." runs only
# those cases. Prints PASS/FAIL per case, then "N passed, N failed".
set -euo pipefail
[ -n "${GWI_SCREENSHOT:-}" ] && export GWI_SCREENSHOT=$(realpath -m "$GWI_SCREENSHOT")
[ -n "${GWI_SETUP:-}" ] && export GWI_SETUP=$(realpath "$GWI_SETUP")
[ -n "${GWI_PAGES:-}" ] && export GWI_PAGES=$(realpath -m "$GWI_PAGES")
case "${1:-}" in -h | --help) sed -n '2,18p' "$0" | sed 's/^# \{0,1\}//'; exit 0 ;; esac
if [ $# -ne 1 ]; then
  echo "usage: $0 BUILD_WIN_DIR" >&2
  exit 2
fi
SELF=$(realpath "${BASH_SOURCE[0]}")
SRC=$(cd "$(dirname "$SELF")/../.." && pwd)
BUILD=$(cd "$1" && pwd)
WORK=$BUILD/installer-test

say() { echo "installer.sh: $*" >&2; }
die() { say "$*"; exit 2; }

if [ -z "${GWI_NETNS:-}" ]; then
  command -v unshare >/dev/null && command -v ip >/dev/null && unshare --net true 2>/dev/null ||
    die "needs a private network namespace (root, unshare, ip): setup starts a service that would read the real operator"
  GWI_NETNS=1 exec unshare --net bash "$SELF" "$BUILD"
fi
ip link set lo up

unset http_proxy https_proxy HTTP_PROXY HTTPS_PROXY all_proxy ALL_PROXY ftp_proxy FTP_PROXY
export WINEARCH=win32 WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"

SETUP=${GWI_SETUP:-$(ls "$BUILD"/bin/Gridwren-Setup-*.exe 2>/dev/null | head -n1 || true)}
[ -f "$SETUP" ] || die "no setup program in $BUILD/bin (scripts/build.sh windows)"
VERSION=$(basename "$SETUP" .exe)
VERSION=${VERSION#Gridwren-Setup-}
DLL=$BUILD/bin/Gridwren.dll
BRIDGE=$BUILD/bin/gridwren-bridge.exe
[ -n "${GWI_SETUP:-}" ] && BRIDGE=$(dirname "$GWI_SETUP")/gridwren-bridge.exe
for f in "$DLL" "$BRIDGE"; do [ -f "$f" ] || die "$f is missing"; done
mkdir -p "$WORK"

# The mail client's stand-in that holds the plug-in loaded.
HOLDER=$WORK/hold_library.exe
if [ ! -f "$HOLDER" ] || [ "$SRC/tests/wine/installer/hold_library.c" -nt "$HOLDER" ]; then
  i686-w64-mingw32-gcc -municode -O2 -static -o "$HOLDER" "$SRC/tests/wine/installer/hold_library.c" ||
    die "cannot build hold_library.exe"
fi
# A service of the bridge's name that takes its time to stop.
SLOW_SERVICE=$WORK/slow_stop_service.exe
if [ ! -f "$SLOW_SERVICE" ] || [ "$SRC/tests/wine/installer/slow_stop_service.c" -nt "$SLOW_SERVICE" ]; then
  i686-w64-mingw32-gcc -municode -O2 -static -o "$SLOW_SERVICE" "$SRC/tests/wine/installer/slow_stop_service.c" ||
    die "cannot build slow_stop_service.exe"
fi

# A Japanese Windows (GetACP 932, Japanese interface) needs a generated
# ja_JP.UTF-8 locale, and a Windows of another language (German here) its
# own; they are made privately, as tests/wine/run.sh does. A case may set
# WINDOWS_LOCALE before begin_case; one prefix never sees two locales.
LOCALES=$WORK/locale
for locale in ja_JP de_DE; do
  [ -e "$LOCALES/$locale.UTF-8/LC_CTYPE" ] && continue
  mkdir -p "$LOCALES"
  LC_ALL=C localedef -i "$locale" -f UTF-8 "$LOCALES/$locale.UTF-8" >/dev/null 2>&1 || true
  [ -e "$LOCALES/$locale.UTF-8/LC_CTYPE" ] || die "localedef could not generate $locale.UTF-8 (package locales?)"
done
WINDOWS_LOCALE=ja_JP.UTF-8
in_locale() { LOCPATH=$LOCALES LC_ALL=$WINDOWS_LOCALE LANGUAGE= "$@"; }
export LC_ALL=C

XVFB_PID=""
PREFIXES=()
HOLD_PIDS=()
cleanup() {
  local p
  for p in "${HOLD_PIDS[@]}"; do kill "$p" 2>/dev/null || true; done
  for p in "${PREFIXES[@]}"; do WINEPREFIX=$p wineserver -k >/dev/null 2>&1 || true; done
  [ -n "$XVFB_PID" ] && { kill "$XVFB_PID" 2>/dev/null || true; wait "$XVFB_PID" 2>/dev/null || true; }
  return 0
}
trap cleanup EXIT
trap 'exit 130' INT
trap 'exit 143' TERM HUP

source "$SRC/tests/wine/installer/harness.sh"
source "$SRC/tests/wine/installer/cases.sh"

START=$(date +%s)
start_display
make_template
run_cases
say "logs in $WORK/run; $(($(date +%s) - START)) s"
echo "$PASSED passed, $FAILED failed"
[ "$FAILED" -eq 0 ] && [ "$PASSED" -gt 0 ]
