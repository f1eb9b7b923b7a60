#!/usr/bin/env bash
# The Windows bridge's parts under Wine: its portable unit tests
# (bin/bridge_portable_tests.exe; those of midnight talk to a source and
# the HTTP front of their own on 127.0.0.1) and its graphs (check_charts.sh on
# bin/chart_draw_test.exe). The Wine layer's run.sh calls it; it also runs
# on its own.
#
#   tests/wine/bridge/run_checks.sh BUILD_WIN_DIR [LINUX_DIR]
#
# Both programs come from the bridge's Windows build (scripts/build.sh
# windows copies them into BUILD_WIN_DIR/bin). Uses $WINEPREFIX when set,
# else a prefix of its own under BUILD_WIN_DIR/wine-bridge-checks. LINUX_DIR
# as for check_charts.sh. Prints PASS/FAIL lines and exits 1 on any failure,
# 2 on bad usage or missing programs.
set -uo pipefail
case "${1:-}" in -h | --help) sed -n '2,/^[^#]/{/^#/{s/^# \{0,1\}//;p}}' "$0"; exit 0 ;; esac

if [ $# -lt 1 ] || [ $# -gt 2 ]; then
  echo "usage: $0 BUILD_WIN_DIR [LINUX_DIR]" >&2
  exit 2
fi
HERE=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
BIN=$(cd "$1" && pwd)/bin
WORK=$(cd "$1" && pwd)/wine-bridge-checks
for f in bridge_portable_tests.exe chart_draw_test.exe; do
  [ -f "$BIN/$f" ] || { echo "$0: $BIN/$f is missing (scripts/build.sh windows)" >&2; exit 2; }
done
mkdir -p "$WORK"

source "$(dirname "${BASH_SOURCE[0]}")/wine_env.sh"
wine_env "$WORK"

status=0
if wine "$BIN/bridge_portable_tests.exe" --gtest_brief=1 >"$WORK/unit.log" 2>&1; then
  echo "PASS bridge unit tests under Wine ($(grep -o '[0-9]* tests\? from [0-9]* test suites\? ran' "$WORK/unit.log" | head -1))"
else
  tr -d '\r' <"$WORK/unit.log" | grep -E '^\[  FAILED|Failure|Expected|Actual|Which is' >&2
  echo "FAIL bridge unit tests under Wine (see $WORK/unit.log)"
  status=1
fi
"$HERE/check_charts.sh" "$BIN/chart_draw_test.exe" "$WORK/charts" ${2:+"$2"} || status=1
exit $status
