#!/usr/bin/env bash
# Midnight through the whole chain, on the clocks of a user's night: a local
# stand-in for the operator serves the day's file, gridwren-bridge reads it,
# and the real plug-in, in the stand-in mail client, checks the bridge as it
# does every minute. Both programs run under libfaketime: the bridge's clock
# is moved on step by step while it runs, and each check runs at its own
# time, in Japan's time zone as on the user's PC.
#   - 23:59: 22時 at 92 % is mailed;
#   - 00:00 and 00:31: no new mail (the plug-in's day has changed, and the
#     same reading must not be mailed again);
#   - 00:40, from a bridge restarted at 00:40: no new mail either;
#   - 01:10: the new day's tight 0時 is mailed.
#
#   test_bridge_midnight.sh HOST_EXE PLUGIN_SO SOURCE_DIR BRIDGE_EXE
if [ "${1:-}" = --help ] || [ "${1:-}" = -h ]; then
  sed -n '2,14p' "$0" | sed 's/^# \{0,1\}//'
  exit 0
fi
source "$(dirname "$0")/lib.sh"
set +e
bridge_exe=${4:?the gridwren-bridge program}
bridge_pid=""
trap 'stop "$bridge_pid"; cleanup' EXIT

faketime_lib=/usr/lib/x86_64-linux-gnu/faketime/libfaketime.so.1
if [ ! -f "$faketime_lib" ]; then
  echo "FAILED  libfaketime is missing ($faketime_lib): scripts/install-deps.sh native installs it (package faketime)"
  exit 1
fi

# Sets one hour's actual to `percent` of its supply, and the file's own
# 使用率 with it: tighten FILE DATE HOUR PERCENT (DATE as the table writes it).
tighten() {
  python3 - "$@" <<'PY'
import sys
path, date, hour, percent = sys.argv[1], sys.argv[2], int(sys.argv[3]), int(sys.argv[4])
lines = open(path, encoding="cp932", newline="").read().split("\r\n")
head = f"{date},{hour}:00,"
row = next((i for i, line in enumerate(lines) if line.startswith(head)), None)
if row is None:
    sys.exit(f"tighten: no row {head} in {path}")
cells = lines[row].split(",")  # DATE, TIME, 当日実績, 予測値, 使用率, 供給力
supply = int(cells[5])
actual = -(-supply * percent // 100)  # the least figure that is `percent` of the supply
cells[2], cells[4] = str(actual), str(round(actual * 100 / supply))
lines[row] = ",".join(cells)
open(path, "w", encoding="cp932", newline="").write("\r\n".join(lines))
PY
}

# The old day up to 22時, written at 23:55; the new day's first hour, at 1:05.
python3 "$SRC/tools/operator_csv.py" --date 2026-12-07 --hours 23 --stamp 23:55 --output "$WORK/day7.csv" >/dev/null
python3 "$SRC/tools/operator_csv.py" --date 2026-12-08 --hours 1 --stamp 1:05 --output "$WORK/day8.csv" >/dev/null
tighten "$WORK/day7.csv" 2026/12/7 22 92 && tighten "$WORK/day8.csv" 2026/12/8 0 95 ||
  { echo "FAILED  the operator's files could not be written"; exit 1; }
cp "$WORK/day7.csv" "$WORK/juyo-d1-j.csv"
python3 "$SRC/tools/source_server.py" --file "$WORK/juyo-d1-j.csv" --port-file "$WORK/source.port" &
SERVER_PID=$!
wait_file "$WORK/source.port" || { echo "FAILED  the source server did not start"; exit 1; }
url="http://127.0.0.1:$(cat "$WORK/source.port")/forecast/html/images/juyo-d1-j.csv"

# The bridge's clock, read again on every call, so that it can be moved on
# while the bridge runs. Its monotonic clock stays real: the refresh waits
# on it. The times are Japan's (TZ), as the operator's files are.
clock="$WORK/bridge.faketime"
set_clock() { echo "@$1" >"$clock.new" && mv "$clock.new" "$clock"; }
start_bridge() {
  stop "$bridge_pid"
  rm -f "$WORK/bridge.port"
  TZ=Asia/Tokyo LD_PRELOAD=$faketime_lib FAKETIME_TIMESTAMP_FILE=$clock FAKETIME_NO_CACHE=1 \
    FAKETIME_DONT_FAKE_MONOTONIC=1 FAKETIME_DISABLE_SHM=1 \
    "$bridge_exe" --listen 127.0.0.1:0 --port-file "$WORK/bridge.port" --source "$url" --refresh 1 \
    >>"$WORK/bridge.log" 2>&1 &
  bridge_pid=$!
  wait_file "$WORK/bridge.port" && port=$(cat "$WORK/bridge.port")
}
# Waits up to 10 s until the bridge's area, as /areas.json gives it, meets a
# Python condition on `a` (e.g. a["last_fetch"] >= "2026-12-08T00:00:00").
wait_area() {
  for _ in $(seq 100); do
    curl -s "http://127.0.0.1:$port/areas.json" | python3 -c '
import json, sys
try:
    a = json.load(sys.stdin)["tokyo"]
except ValueError:
    sys.exit(1)
sys.exit(0 if eval(sys.argv[1]) else 1)' "$1" 2>/dev/null && return 0
    sleep 0.1
  done
  echo "the bridge never reached: $1 ($(curl -s "http://127.0.0.1:$port/areas.json"))"
  return 1
}
fetched_since() { wait_area "a[\"last_fetch\"] is not None and a[\"last_fetch\"] >= \"$1\""; }

# One periodic check of the plug-in at a time of the user's PC in Japan.
check_at() {
  TZ=Asia/Tokyo LD_PRELOAD=$faketime_lib FAKETIME="@$1" FAKETIME_DISABLE_SHM=1 host check >"$WORK/check.out" 2>&1
  echo "check at $1: $(cat "$WORK/check.out")"
}
outbox="$PROFILE/data/MailBox1/outbox"
mails() { ls "$outbox/new" 2>/dev/null | wc -l; }
mailed() {  # mailed COUNT SUBJECT: COUNT mails, the newest with SUBJECT
  local list
  list=$(host outbox)
  [ "$(mails)" = "$1" ] && grep -qF "$2" <<<"$list" || { echo "outbox: $list"; return 1; }
}

set_clock "2026-12-07 23:59:00"
start_bridge && wait_area 'a["status"] == 200 and a["reading"]["hour"] == 22'
check "the bridge starts at 23:59 and holds 22時" test $? = 0
host init --address gridwren@example.jp >/dev/null
host settings TUServer 127.0.0.1 >/dev/null
host settings TUPort "$port" >/dev/null
host settings TUAddress 'taro@example.jp' >/dev/null
# The plug-in's own start-up defaults: at most 3 mails a day, from 90 %.
host settings TUMessages 3 >/dev/null
host settings TUPercent 90 >/dev/null

check_at "2026-12-07 23:59:30"
check "23:59: 22時 at 92 % is mailed" mailed 1 "【Gridwren】電力使用率 92%"

set_clock "2026-12-08 00:00:00"
fetched_since "2026-12-08T00:00:00"
# No new mail, and not for want of an answer: the bridge answered, without figures.
not_mailed() { [ "$(mails)" = 1 ] && grep -q "no usable usage and capacity" "$WORK/check.out"; }
check_at "2026-12-08 00:00:30"
check "00:00: no new mail" not_mailed

set_clock "2026-12-08 00:31:00"
fetched_since "2026-12-08T00:31:00"
check_at "2026-12-08 00:31:30"
check "00:31: no new mail" not_mailed

stop "$bridge_pid"
set_clock "2026-12-08 00:40:00"
start_bridge && fetched_since "2026-12-08T00:40:00"
host settings TUPort "$port" >/dev/null
check "a bridge restarted at 00:40 holds the old day's 22時" \
  grep -q "reading of 2026-12-07T22:00:00+09:00" <(curl -s "http://127.0.0.1:$port/healthz")
check_at "2026-12-08 00:40:30"
check "00:40, from the restarted bridge: no new mail" not_mailed

cp "$WORK/day8.csv" "$WORK/juyo-d1-j.csv.new" && mv "$WORK/juyo-d1-j.csv.new" "$WORK/juyo-d1-j.csv"
set_clock "2026-12-08 01:10:00"
wait_area 'a["status"] == 200 and a["reading"]["day"] == 8 and a["reading"]["hour"] == 0'
check_at "2026-12-08 01:10:30"
check "01:10: the new day's 0時 at 95 % is mailed" mailed 2 "【Gridwren】電力使用率 95%"

finish
