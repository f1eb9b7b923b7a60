#!/usr/bin/env bash
# A user in Osaka and an office with branches in two areas: local stand-ins
# for two operators (Tokyo's fixed file name, Kansai's dated one) serve
# operator-style files with each area's own figures, one gridwren-bridge
# process reads both, and the real plug-in, whose proxy settings point at
# the bridge's kansai listener, queues a test mail that carries Kansai's
# numbers and Kansai's graphs byte for byte. The plain per-area API serves
# both areas on either listener, and a mistyped area is refused naming all
# ten.
#   test_bridge_areas.sh HOST_EXE PLUGIN_SO SOURCE_DIR BRIDGE_EXE
source "$(dirname "$0")/lib.sh"
set +e
bridge_exe=${4:?the gridwren-bridge program}
bridge_pid=""
kansai_pid=""
trap 'stop "$bridge_pid"; stop "$kansai_pid"; cleanup' EXIT

status_of() { "$@" >/dev/null 2>&1; echo $?; }
field() { python3 -c 'import json,sys; print(json.load(open(sys.argv[1]))[sys.argv[2]])' "$WORK/$1.json" "$2"; }
json_field() { python3 -c 'import json,sys; print(json.load(sys.stdin)[sys.argv[1]])' "$1"; }

# Today's files, up to the current hour in Japan time, each in its area's
# layout and with its area's figures (Kansai's demand is about half Tokyo's).
python3 "$SRC/tools/operator_csv.py" --output "$WORK/tokyo.csv" >"$WORK/tokyo.json"
python3 "$SRC/tools/operator_csv.py" --output "$WORK/kansai.csv" --area kansai \
  >"$WORK/kansai.json"
python3 "$SRC/tools/source_server.py" --file "$WORK/tokyo.csv" --port-file "$WORK/tokyo.port" &
SERVER_PID=$!
python3 "$SRC/tools/source_server.py" --file "$WORK/kansai.csv" --port-file "$WORK/kansai.port" \
  --log "$WORK/kansai.log" &
kansai_pid=$!
wait_file "$WORK/tokyo.port" && wait_file "$WORK/kansai.port" || { echo "FAILED  the source servers did not start"; exit 1; }
tokyo_url="http://127.0.0.1:$(cat "$WORK/tokyo.port")/forecast/html/images/juyo-d1-j.csv"
kansai_url="http://127.0.0.1:$(cat "$WORK/kansai.port")/yamasou/juyo_06_{date}.csv"

printf 'pa:ss 電力\n' >"$WORK/password"
"$bridge_exe" --listen 127.0.0.1:0 --listen 127.0.0.1:0=kansai --port-file "$WORK/bridge.port" \
  --source "$tokyo_url" --source "kansai=$kansai_url" --user office --password-file "$WORK/password" \
  >"$WORK/bridge.log" 2>&1 &
bridge_pid=$!
wait_file "$WORK/bridge.port"
tokyo_port=$(sed -n 1p "$WORK/bridge.port")
kansai_port=$(sed -n 2p "$WORK/bridge.port")
healthy() { [ "$(curl -s -o /dev/null -w '%{http_code}' "http://127.0.0.1:$tokyo_port/healthz")" = 200 ]; }
for _ in $(seq 100); do healthy && break; sleep 0.1; done
check "the bridge holds a reading of both areas" healthy
check "it asked for Kansai's file of today in Japan" grep -q "\"path\": \"/yamasou/juyo_06_$(TZ=Asia/Tokyo date +%Y%m%d).csv\"" \
  "$WORK/kansai.log"

host init --address gridwren@example.jp >/dev/null
host settings TUServer 127.0.0.1 >/dev/null
host settings TUPort "$kansai_port" >/dev/null
host settings TUUser office >/dev/null
host settings TUPassword 'pa:ss 電力' >/dev/null
host settings TUAddress '山田 太郎 <taro@example.jp>, hanako@example.jp' >/dev/null
check "the plug-in's test mail through the kansai listener" host check --test

login=(-U 'office:pa:ss 電力')
curl -s "${login[@]}" -x "127.0.0.1:$kansai_port" -o "$WORK/meter.gif" http://setsuden.yahoo.co.jp/images/meter/meter_setsuden.gif
curl -s "${login[@]}" -x "127.0.0.1:$kansai_port" -o "$WORK/juyo.gif" http://www.tepco.co.jp/forecast/html/images/juyo-j.gif
latest=$(curl -s "${login[@]}" -x "127.0.0.1:$kansai_port" http://tepco-usage-api.appspot.com/latest.json)
check "the kansai listener's /latest.json holds Kansai's reading" python3 - "$latest" "$WORK/kansai.json" <<'PY'
import json, sys
got, want = json.loads(sys.argv[1]), json.load(open(sys.argv[2]))
sys.exit(0 if all(got[k] == want[k] for k in want) and got["area"] == "kansai" else 1)
PY
check "Kansai's figures are not Tokyo's" test "$(field kansai usage)" != "$(field tokyo usage)"
outbox="$PROFILE/data/MailBox1/outbox"
when="$(field kansai year)年$(field kansai month)月$(field kansai day)日 $(field kansai hour)時"
check "the mail shows Kansai's numbers and Kansai's graphs" python3 "$SRC/tests/e2e/check_mail.py" \
  "$outbox" "$WORK/meter.gif" "$WORK/juyo.gif" "$PROFILE/host.log" "$(field kansai usage_percent)" "$when"

# The plain API, on the other listener, with the login.
api() { curl -s -u 'office:pa:ss 電力' "http://127.0.0.1:$tokyo_port$1"; }
code() { curl -s -o /dev/null -w '%{http_code}' "$@"; }
check "the plain API needs the login" test "$(code "http://127.0.0.1:$tokyo_port/areas/kansai/latest.json")" = 401
check "/areas/kansai/latest.json on the tokyo listener" test "$(api /areas/kansai/latest.json)" = "$latest"
check "/areas/kansai/day.gif is the graph the mail carries" cmp -s <(api /areas/kansai/day.gif) "$WORK/juyo.gif"
check "/areas/kansai/meter.gif is the meter the mail carries" cmp -s <(api /areas/kansai/meter.gif) "$WORK/meter.gif"
check "the tokyo listener's own /latest.json is Tokyo's" test "$(api /latest.json | json_field area)" = tokyo
check "/areas.json names both areas with their readings" python3 -c '
import json, sys
areas = json.loads(sys.argv[1])
ok = [areas[a]["status"] for a in ("tokyo", "kansai")] == [200, 200]
sys.exit(0 if ok and areas["kansai"]["display_name"] == "関西" and areas["kansai"]["reading"]["area"] == "kansai" else 1)
' "$(api /areas.json)"
check "an area it does not serve: 404" test "$(code -u 'office:pa:ss 電力' "http://127.0.0.1:$tokyo_port/areas/okinawa/latest.json")" = 404
check "/metrics labels each area" bash -c "curl -s -u 'office:pa:ss 電力' http://127.0.0.1:$tokyo_port/metrics |
  grep -q 'gridwren_bridge_upstream_fetches_total{area=\"kansai\",result=\"ok\"} 1'"

# The command line as a new user in Osaka meets it.
check "--help names --area and the ten" bash -c "'$bridge_exe' --help | grep -q 'kyushu or okinawa'"
check "an unknown area: exit 2" test "$(status_of "$bridge_exe" --area osaka)" = 2
check "and the message lists the ten" bash -c "'$bridge_exe' --area osaka 2>&1 | grep -q 'hokkaido, tohoku, tokyo, chubu, hokuriku, kansai, chugoku, shikoku, kyushu, okinawa'"

finish
