#!/usr/bin/env bash
# The whole chain as a user sets it up: a local stand-in for the operator
# serves an operator-style file, gridwren-bridge reads it, and the real
# plug-in, through the stand-in mail client whose proxy settings point at the
# bridge, queues a test mail whose numbers are the file's and whose two images
# are the bridge's GIFs byte for byte. Then the same through the bridge's
# login, and the command line as a new user meets it.
#   test_bridge.sh HOST_EXE PLUGIN_SO SOURCE_DIR BRIDGE_EXE
source "$(dirname "$0")/lib.sh"
# Several checks run commands that are meant to fail: each outcome is judged
# by check, not by the shell's exit on the first error.
set +e
bridge_exe=${4:?the gridwren-bridge program}
bridge_pid=""
# The operator's stand-in runs as lib.sh's server, which its clean-up stops.
trap 'stop "$bridge_pid"; cleanup' EXIT

status_of() { "$@" >/dev/null 2>&1; echo $?; }
field() { python3 -c 'import json,sys; print(json.load(open(sys.argv[1]))[sys.argv[2]])' "$WORK/expected.json" "$1"; }

# The operator's file of today, up to the current hour in Japan time.
python3 "$SRC/tools/operator_csv.py" --output "$WORK/juyo-d1-j.csv" >"$WORK/expected.json"
python3 "$SRC/tools/source_server.py" --file "$WORK/juyo-d1-j.csv" --port-file "$WORK/source.port" \
  --log "$WORK/source.log" &
SERVER_PID=$!
wait_file "$WORK/source.port" || { echo "FAILED  the source server did not start"; exit 1; }
url="http://127.0.0.1:$(cat "$WORK/source.port")/forecast/html/images/juyo-d1-j.csv"

start_bridge() {  # start_bridge [OPTIONS...]: sets port
  stop "$bridge_pid"
  rm -f "$WORK/bridge.port"
  "$bridge_exe" --listen 127.0.0.1:0 --port-file "$WORK/bridge.port" --source "$url" "$@" \
    >>"$WORK/bridge.log" 2>&1 &
  bridge_pid=$!
  wait_file "$WORK/bridge.port" || return 1
  port=$(cat "$WORK/bridge.port")
  for _ in $(seq 100); do
    [ "$(curl -s -o /dev/null -w '%{http_code}' "http://127.0.0.1:$port/healthz")" = 200 ] && return 0
    sleep 0.1
  done
  return 1
}
check "the bridge starts and holds a reading" start_bridge

host init --address gridwren@example.jp >/dev/null
host settings TUServer 127.0.0.1 >/dev/null
host settings TUPort "$port" >/dev/null
host settings TUAddress '山田 太郎 <taro@example.jp>, hanako@example.jp' >/dev/null
check "the plug-in's test mail through the bridge" host check --test

# The bridge's own GIFs, fetched as the plug-in fetches them.
curl -s -x "127.0.0.1:$port" -o "$WORK/meter.gif" http://setsuden.yahoo.co.jp/images/meter/meter_setsuden.gif
curl -s -x "127.0.0.1:$port" -o "$WORK/juyo.gif" http://www.tepco.co.jp/forecast/html/images/juyo-j.gif
curl -s -x "127.0.0.1:$port" -o "$WORK/latest.json" http://tepco-usage-api.appspot.com/latest.json
check "the meter is a GIF" test "$(head -c 4 "$WORK/meter.gif")" = GIF8
check "/latest.json holds the file's reading" python3 - "$WORK/latest.json" "$WORK/expected.json" <<'PY'
import json, sys
got, want = json.load(open(sys.argv[1])), json.load(open(sys.argv[2]))
sys.exit(0 if all(got[k] == want[k] for k in want) else 1)
PY
outbox="$PROFILE/data/MailBox1/outbox"
when="$(field year)年$(field month)月$(field day)日 $(field hour)時"
check "the mail shows the file's numbers and the bridge's graphs" python3 "$SRC/tests/e2e/check_mail.py" \
  "$outbox" "$WORK/meter.gif" "$WORK/juyo.gif" "$PROFILE/host.log" "$(field usage_percent)" "$when"
check "one upstream request so far" test "$(wc -l <"$WORK/source.log")" = 1
check "the bridge logged the plug-in's requests" grep -q '"GET http://tepco-usage-api.appspot.com/latest.json" 200' \
  "$WORK/bridge.log"

# The same through the login, with the plug-in's proxy user and password.
printf 'pa:ss 電力\n' >"$WORK/password"
check "the bridge starts with a login" start_bridge --user office --password-file "$WORK/password"
check "without the login: 407" test "$(curl -s -o /dev/null -w '%{http_code}' -x "127.0.0.1:$port" \
  http://example.invalid/latest.json)" = 407
check "a plain request without it: 401" test "$(curl -s -o /dev/null -w '%{http_code}' \
  "http://127.0.0.1:$port/latest.json")" = 401
rm -rf "$outbox"/new/*
host settings TUPort "$port" >/dev/null
host settings TUUser office >/dev/null
host settings TUPassword 'pa:ss 電力' >/dev/null
check "the plug-in's test mail through the login" host check --test
check "the mail again shows the bridge's graphs" python3 "$SRC/tests/e2e/check_mail.py" \
  "$outbox" "$WORK/meter.gif" "$WORK/juyo.gif" "$PROFILE/host.log" "$(field usage_percent)" "$when"
host settings TUPassword wrong >/dev/null
rm -rf "$outbox"/new/*
host check --test >/dev/null 2>&1
check "a wrong password queues no mail" test -z "$(ls "$outbox/new")"

# The command line as a new user meets it.
check "--help: exit 0" test "$(status_of "$bridge_exe" --help)" = 0
check "--help names every option" bash -c "'$bridge_exe' --help | grep -q -- --max-connections"
check "an unknown option: exit 2" test "$(status_of "$bridge_exe" --bogus)" = 2
check "one line on bad usage" test "$("$bridge_exe" --refresh 0 2>&1 | wc -l)" = 1
check "a missing password file: exit 1" test "$(status_of "$bridge_exe" --user u --password-file "$WORK/none")" = 1
check "an unusable font: exit 1" test "$(status_of "$bridge_exe" --font "$WORK/none.ttf")" = 1
check "a port in use: exit 1" test "$(status_of "$bridge_exe" --listen "127.0.0.1:$port" --source "$url")" = 1

# SIGTERM ends it cleanly.
kill -TERM "$bridge_pid"
for _ in $(seq 40); do kill -0 "$bridge_pid" 2>/dev/null || break; sleep 0.05; done
check "SIGTERM ends it within 2 s" bash -c "! kill -0 $bridge_pid 2>/dev/null"
wait "$bridge_pid"; code=$?
bridge_pid=""
check "and it exits 0" test "$code" = 0
check "and says so" grep -q "stopped" "$WORK/bridge.log"

finish
