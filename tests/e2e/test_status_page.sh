#!/usr/bin/env bash
# The status page as a person opens it: one bridge reads two areas, Tokyo
# from a sound file whose operator forecasts a very tight hour tomorrow, and
# Kansai from one its operator has changed (no stamp line), behind a login.
# A browser without the login gets 401 and no figure; headless Chromium with
# it gets the page, and the DOM shows Tokyo's figures, today's and
# tomorrow's outlook and graphs, each area's outcome in Japanese and
# Kansai's true reason in the log's words under 詳細, and no English
# elsewhere (status_page_browser.py). Set GW_STATUS_SCREENSHOT=FILE (and
# GW_STATUS_PHONE_SCREENSHOT=FILE, at a phone's width) to keep the page as a
# picture.
#   test_status_page.sh HOST_EXE PLUGIN_SO SOURCE_DIR BRIDGE_EXE
source "$(dirname "$0")/lib.sh"
set +e
bridge_exe=${4:?the gridwren-bridge program}
bridge_pid=""
kansai_pid=""
trap 'stop "$bridge_pid"; stop "$kansai_pid"; cleanup' EXIT

python3 "$SRC/tools/operator_csv.py" --output "$WORK/tokyo.csv" --tomorrow-tight 4900,4790,17 \
  --forecast-json "$WORK/tokyo-forecast.json" >"$WORK/tokyo.json"
python3 "$SRC/tools/operator_csv.py" --output "$WORK/kansai-sound.csv" --area kansai >/dev/null
tail -n +2 "$WORK/kansai-sound.csv" >"$WORK/kansai.csv"
reason="no stamp line 'Y/M/D H:MM UPDATE' before the hourly table"
refused_said="ファイルの形が読めません（更新時刻の行がないか、読めません）"
read_said=$(python3 -c 'import json, sys
print("新しい値を読みました（{month}月{day}日 {hour}時台、使用率 {usage_percent}%）".format(**json.load(open(sys.argv[1]))))' \
  "$WORK/tokyo.json")
python3 "$SRC/tools/source_server.py" --file "$WORK/tokyo.csv" --port-file "$WORK/tokyo.port" &
SERVER_PID=$!
python3 "$SRC/tools/source_server.py" --file "$WORK/kansai.csv" --port-file "$WORK/kansai.port" &
kansai_pid=$!
wait_file "$WORK/tokyo.port" && wait_file "$WORK/kansai.port" ||
  { echo "FAILED  the source servers did not start"; exit 1; }

printf 'page secret\n' >"$WORK/password"
"$bridge_exe" --listen 127.0.0.1:0 --port-file "$WORK/bridge.port" --user office --password-file "$WORK/password" \
  --source "tokyo=http://127.0.0.1:$(cat "$WORK/tokyo.port")/juyo-d1-j.csv" \
  --source "kansai=http://127.0.0.1:$(cat "$WORK/kansai.port")/juyo_06_{date}.csv" >"$WORK/bridge.log" 2>&1 &
bridge_pid=$!
wait_file "$WORK/bridge.port" || { echo "FAILED  the bridge did not start"; cat "$WORK/bridge.log"; exit 1; }
base="http://127.0.0.1:$(cat "$WORK/bridge.port")"
# Both areas' first fetches have ended once /areas.json has Tokyo's reading
# and Kansai's refusal.
both_fetched() {
  curl -s -u 'office:page secret' "$base/areas.json" | python3 -c '
import json, sys
areas = json.load(sys.stdin)
sys.exit(0 if areas["tokyo"]["status"] == 200 and "refused" in json.dumps(areas["kansai"]) else 1)'
}
for _ in $(seq 100); do both_fetched && break; sleep 0.1; done
check "the bridge has fetched both areas" both_fetched

# Without the login: asked for in the realm "Gridwren", and no figure shown.
curl -s -D "$WORK/refused.head" -o "$WORK/refused.body" "$base/"
usage=$(python3 -c 'import json, sys; print(json.load(open(sys.argv[1]))["usage"])' "$WORK/tokyo.json")
check "a browser without the login gets 401" grep -q '^HTTP/1.1 401' "$WORK/refused.head"
check "with WWW-Authenticate: Basic realm=\"Gridwren\"" \
  grep -qi '^WWW-Authenticate: Basic realm="Gridwren"' "$WORK/refused.head"
check "and no figure" bash -c "! grep -q -e 万kW -e '$usage' '$WORK/refused.body'"
plugin_code=$(curl -s -o /dev/null -w '%{http_code}' -x "${base#http://}" http://tepco-usage-api.appspot.com/latest.json)
check "the plug-in's proxy-style request still gets 407" test "$plugin_code" = 407

shot=${GW_STATUS_SCREENSHOT:-$WORK/status-page.png}
phone=${GW_STATUS_PHONE_SCREENSHOT:-$WORK/status-page-phone.png}
check "Chromium shows each area's figures, outlook, graphs and state" \
  python3 "$SRC/tests/e2e/status_page_browser.py" "$base/" --user office --password 'page secret' \
  --area "tokyo=$WORK/tokyo.json" --forecast "tokyo=$WORK/tokyo-forecast.json" --refused "kansai=$reason" \
  --said "tokyo=$read_said" --said "kansai=$refused_said" --screenshot "$shot" --phone-screenshot "$phone"
check "the picture of the page is a PNG" bash -c "head -c 8 '$shot' | od -An -c | grep -q 'P   N   G'"

finish
