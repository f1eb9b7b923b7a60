#!/usr/bin/env bash
# The whole chain as a user sets it up: a local stand-in for the operator
# serves an operator-style file, gridwren-bridge reads it, and the real
# plug-in, through the stand-in mail client whose proxy settings point at the
# bridge, queues a test mail whose numbers are the file's and whose two images
# are the bridge's GIFs byte for byte. Then the same through the bridge's
# login, and the command line as a new user meets it.
#   test_bridge.sh HOST_EXE PLUGIN_SO SOURCE_DIR BRIDGE_EXE
set -uo pipefail
host=$1 plugin=$2 source=$3 bridge_exe=${4:?the gridwren-bridge program}
unset http_proxy https_proxy HTTP_PROXY HTTPS_PROXY all_proxy ALL_PROXY
work=$(mktemp -d)
source_pid="" bridge_pid=""
stop() { [ -n "$1" ] && kill "$1" 2>/dev/null && wait "$1" 2>/dev/null; }
cleanup() { stop "$bridge_pid"; stop "$source_pid"; rm -rf "$work"; }
trap cleanup EXIT

passed=0 failed=0
check() {  # check NAME COMMAND...
  local name=$1; shift
  if "$@"; then passed=$((passed + 1)); echo "ok      $name"
  else failed=$((failed + 1)); echo "FAILED  $name"; fi
}
gw() { "$host" --profile "$work/profile" --plugin "$plugin" "$@"; }
status_of() { "$@" >/dev/null 2>&1; echo $?; }
wait_file() { for _ in $(seq 100); do [ -s "$1" ] && return 0; sleep 0.1; done; return 1; }
field() { python3 -c 'import json,sys; print(json.load(open(sys.argv[1]))[sys.argv[2]])' "$work/expected.json" "$1"; }

# The operator's file of today, up to the current hour in Japan time.
python3 "$source/tools/operator_csv.py" --output "$work/juyo-d1-j.csv" >"$work/expected.json"
python3 "$source/tools/source_server.py" --file "$work/juyo-d1-j.csv" --port-file "$work/source.port" \
  --log "$work/source.log" &
source_pid=$!
wait_file "$work/source.port" || { echo "FAILED  the source server did not start"; exit 1; }
url="http://127.0.0.1:$(cat "$work/source.port")/forecast/html/images/juyo-d1-j.csv"

start_bridge() {  # start_bridge [OPTIONS...]: sets port
  stop "$bridge_pid"
  rm -f "$work/bridge.port"
  "$bridge_exe" --listen 127.0.0.1:0 --port-file "$work/bridge.port" --source "$url" "$@" \
    >>"$work/bridge.log" 2>&1 &
  bridge_pid=$!
  wait_file "$work/bridge.port" || return 1
  port=$(cat "$work/bridge.port")
  for _ in $(seq 100); do
    [ "$(curl -s -o /dev/null -w '%{http_code}' "http://127.0.0.1:$port/healthz")" = 200 ] && return 0
    sleep 0.1
  done
  return 1
}
check "the bridge starts and holds a reading" start_bridge

gw init --address gridwren@example.jp >/dev/null
gw settings TUServer 127.0.0.1 >/dev/null
gw settings TUPort "$port" >/dev/null
gw settings TUAddress '山田 太郎 <taro@example.jp>, hanako@example.jp' >/dev/null
check "the plug-in's test mail through the bridge" gw check --test

# The bridge's own GIFs, fetched as the plug-in fetches them.
curl -s -x "127.0.0.1:$port" -o "$work/meter.gif" http://setsuden.yahoo.co.jp/images/meter/meter_setsuden.gif
curl -s -x "127.0.0.1:$port" -o "$work/juyo.gif" http://www.tepco.co.jp/forecast/html/images/juyo-j.gif
curl -s -x "127.0.0.1:$port" -o "$work/latest.json" http://tepco-usage-api.appspot.com/latest.json
check "the meter is a GIF" test "$(head -c 4 "$work/meter.gif")" = GIF8
check "/latest.json holds the file's reading" python3 - "$work/latest.json" "$work/expected.json" <<'PY'
import json, sys
got, want = json.load(open(sys.argv[1])), json.load(open(sys.argv[2]))
sys.exit(0 if all(got[k] == want[k] for k in want) else 1)
PY
outbox="$work/profile/data/MailBox1/outbox"
when="$(field year)年$(field month)月$(field day)日 $(field hour)時"
check "the mail shows the file's numbers and the bridge's graphs" python3 "$source/tests/e2e/check_mail.py" \
  "$outbox" "$work/meter.gif" "$work/juyo.gif" "$work/profile/host.log" "$(field usage_percent)" "$when"
check "one upstream request so far" test "$(wc -l <"$work/source.log")" = 1
check "the bridge logged the plug-in's requests" grep -q '"GET http://tepco-usage-api.appspot.com/latest.json" 200' \
  "$work/bridge.log"

# The same through the login, with the plug-in's proxy user and password.
printf 'pa:ss 電力\n' >"$work/password"
check "the bridge starts with a login" start_bridge --user office --password-file "$work/password"
check "without the login: 407" test "$(curl -s -o /dev/null -w '%{http_code}' -x "127.0.0.1:$port" \
  http://example.invalid/latest.json)" = 407
check "a plain request without it: 401" test "$(curl -s -o /dev/null -w '%{http_code}' \
  "http://127.0.0.1:$port/latest.json")" = 401
rm -rf "$outbox"/new/*
gw settings TUPort "$port" >/dev/null
gw settings TUUser office >/dev/null
gw settings TUPassword 'pa:ss 電力' >/dev/null
check "the plug-in's test mail through the login" gw check --test
check "the mail again shows the bridge's graphs" python3 "$source/tests/e2e/check_mail.py" \
  "$outbox" "$work/meter.gif" "$work/juyo.gif" "$work/profile/host.log" "$(field usage_percent)" "$when"
gw settings TUPassword wrong >/dev/null
rm -rf "$outbox"/new/*
gw check --test >/dev/null 2>&1
check "a wrong password queues no mail" test -z "$(ls "$outbox/new")"

# The command line as a new user meets it.
check "--help: exit 0" test "$(status_of "$bridge_exe" --help)" = 0
check "--help names every option" bash -c "'$bridge_exe' --help | grep -q -- --max-connections"
check "an unknown option: exit 2" test "$(status_of "$bridge_exe" --bogus)" = 2
check "one line on bad usage" test "$("$bridge_exe" --refresh 0 2>&1 | wc -l)" = 1
check "a missing password file: exit 1" test "$(status_of "$bridge_exe" --user u --password-file "$work/none")" = 1
check "an unusable font: exit 1" test "$(status_of "$bridge_exe" --font "$work/none.ttf")" = 1
check "a port in use: exit 1" test "$(status_of "$bridge_exe" --listen "127.0.0.1:$port" --source "$url")" = 1

# SIGTERM ends it cleanly.
kill -TERM "$bridge_pid"
for _ in $(seq 40); do kill -0 "$bridge_pid" 2>/dev/null || break; sleep 0.05; done
check "SIGTERM ends it within 2 s" bash -c "! kill -0 $bridge_pid 2>/dev/null"
wait "$bridge_pid"; code=$?
bridge_pid=""
check "and it exits 0" test "$code" = 0
check "and says so" grep -q "stopped" "$work/bridge.log"

echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
