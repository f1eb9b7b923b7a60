#!/usr/bin/env bash
# The bridge as an office's Prometheus sees it. One bridge reads Tokyo from a
# calm file and Kansai from a tight one (its reading at 96 % of the supply,
# tomorrow forecast at 98 %), on a fixed afternoon (libfaketime). Its
# /metrics passes promtool's check and names every metric that contrib/'s
# rules and dashboard use; the rules pass promtool's check and their tests. A real Prometheus on loopback, with a temporary
# configuration, data folder and contrib/'s rules evaluated every second,
# scrapes it: its HTTP API gives each area's usage ratio and forecast as the
# files state them, and Kansai's usage alert fires while Tokyo's does not.
#   test_prometheus.sh HOST_EXE PLUGIN_SO SOURCE_DIR BRIDGE_EXE
source "$(dirname "$0")/lib.sh"
set +e
bridge_exe=${4:?the gridwren-bridge program}
faketime_lib=/usr/lib/x86_64-linux-gnu/faketime/libfaketime.so.1
for tool in prometheus promtool; do
  command -v "$tool" >/dev/null || { echo "FAILED  $tool not found: scripts/install-deps.sh native installs it"; exit 1; }
done
[ -e "$faketime_lib" ] || { echo "FAILED  $faketime_lib not found: scripts/install-deps.sh native installs it"; exit 1; }
bridge_pid=""
kansai_pid=""
prometheus_pid=""
trap 'stop "$prometheus_pid"; stop "$bridge_pid"; stop "$kansai_pid"; cleanup' EXIT

day=(--date 2026-12-07 --hours 15 --stamp 14:55)
python3 "$SRC/tools/operator_csv.py" --output "$WORK/tokyo.csv" "${day[@]}" \
  --forecast-json "$WORK/tokyo-forecast.json" >"$WORK/tokyo.json"
python3 "$SRC/tools/operator_csv.py" --output "$WORK/kansai.csv" --area kansai "${day[@]}" --peak-supply 2425 \
  --tomorrow-tight 1900,1862,3 --forecast-json "$WORK/kansai-forecast.json" >"$WORK/kansai.json"
python3 "$SRC/tools/source_server.py" --file "$WORK/tokyo.csv" --port-file "$WORK/tokyo.port" &
SERVER_PID=$!
python3 "$SRC/tools/source_server.py" --file "$WORK/kansai.csv" --port-file "$WORK/kansai.port" &
kansai_pid=$!
wait_file "$WORK/tokyo.port" && wait_file "$WORK/kansai.port" ||
  { echo "FAILED  the source servers did not start"; exit 1; }

# 14:58 in Japan on the files' day; the clock runs on from there. Timers
# keep the real monotonic clock.
TZ=UTC LD_PRELOAD=$faketime_lib FAKETIME="@2026-12-07 05:58:00" FAKETIME_DONT_FAKE_MONOTONIC=1 \
  "$bridge_exe" --listen 127.0.0.1:0 --port-file "$WORK/bridge.port" \
  --source "tokyo=http://127.0.0.1:$(cat "$WORK/tokyo.port")/juyo-d1-j.csv" \
  --source "kansai=http://127.0.0.1:$(cat "$WORK/kansai.port")/juyo_06_{date}.csv" >"$WORK/bridge.log" 2>&1 &
bridge_pid=$!
wait_file "$WORK/bridge.port" || { echo "FAILED  the bridge did not start"; cat "$WORK/bridge.log"; exit 1; }
bridge="127.0.0.1:$(cat "$WORK/bridge.port")"
both_fresh() { [ "$(curl -s "http://$bridge/metrics" | grep -c '^gridwren_grid_usage_ratio{')" = 2 ]; }
for _ in $(seq 100); do both_fresh && break; sleep 0.1; done
check "the bridge holds both areas' readings" both_fresh || cat "$WORK/bridge.log"

curl -s "http://$bridge/metrics" >"$WORK/metrics.txt"
check "promtool check metrics finds nothing to fault in /metrics" \
  bash -c "promtool check metrics <'$WORK/metrics.txt' >'$WORK/lint.txt' 2>&1 && ! [ -s '$WORK/lint.txt' ]" ||
  cat "$WORK/lint.txt"
named_metrics_exist() {
  local missing=0 name
  for name in $(grep -oh 'gridwren_[a-z_]*' "$SRC/contrib/prometheus/gridwren-rules.yml" \
                "$SRC/contrib/grafana/gridwren-dashboard.json" | sort -u); do
    grep -q "^# TYPE $name " "$WORK/metrics.txt" || { echo "  $name is not in /metrics"; missing=1; }
  done
  return $missing
}
check "every metric the rules and the dashboard name is in /metrics" named_metrics_exist
check "the dashboard is JSON" python3 -m json.tool "$SRC/contrib/grafana/gridwren-dashboard.json" /dev/null
check "promtool checks the rules" promtool check rules "$SRC/contrib/prometheus/gridwren-rules.yml"
check "and the rules' own unit tests pass" promtool test rules "$SRC/contrib/prometheus/gridwren-rules.test.yml"

# Prometheus on loopback, with the rules evaluated every second.
prometheus_port=$(python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
cat >"$WORK/prometheus.yml" <<EOF
global:
  scrape_interval: 1s
  evaluation_interval: 1s
rule_files:
  - $SRC/contrib/prometheus/gridwren-rules.yml
scrape_configs:
  - job_name: gridwren-bridge
    static_configs:
      - targets: ['$bridge']
EOF
prometheus --config.file="$WORK/prometheus.yml" --storage.tsdb.path="$WORK/data" \
  --web.listen-address="127.0.0.1:$prometheus_port" >"$WORK/prometheus.log" 2>&1 &
prometheus_pid=$!
api="http://127.0.0.1:$prometheus_port/api/v1"

# Prometheus's answers against the files, checked by Python: the usage
# ratio is usage / capacity of the stated reading; the forecasts' ratio and
# hour are the stated usage percent and hour_start.
agrees() {
  python3 - "$api" "$WORK" <<'EOF'
import datetime, json, sys, urllib.parse, urllib.request
api, work = sys.argv[1], sys.argv[2]
def query(q):
    with urllib.request.urlopen(api + "/query?query=" + urllib.parse.quote(q), timeout=5) as answer:
        return {tuple(sorted((k, v) for k, v in r["metric"].items() if k in ("area", "day"))): float(r["value"][1])
                for r in json.load(answer)["data"]["result"]}
ratios = query("gridwren_grid_usage_ratio")
forecasts = query("gridwren_grid_forecast_usage_ratio")
hours = query("gridwren_grid_forecast_hour_timestamp_seconds")
faults = []
for area in ("tokyo", "kansai"):
    reading = json.load(open(f"{work}/{area}.json"))
    got = ratios.get((("area", area),))
    if got is None or abs(got - reading["usage"] / reading["capacity"]) > 1e-5:
        faults.append(f"{area}: usage ratio {got}, the file states {reading['usage']}/{reading['capacity']}")
    for day, stated in json.load(open(f"{work}/{area}-forecast.json")).items():
        key = (("area", area), ("day", day))
        start = datetime.datetime.fromisoformat(stated["hour_start"]).timestamp()
        if forecasts.get(key) != stated["usage_percent"] / 100 or hours.get(key) != start:
            faults.append(f"{area} {day}: forecast {forecasts.get(key)} at {hours.get(key)}, the file states "
                          f"{stated['usage_percent']} % at {stated['hour_start']}")
for fault in faults:
    print("  " + fault)
sys.exit(1 if faults else 0)
EOF
}
for _ in $(seq 150); do agrees >/dev/null 2>&1 && break; sleep 0.2; done
check "Prometheus's usage ratios and forecasts agree with the files" agrees || tail -5 "$WORK/prometheus.log"

firing() {
  curl -s "$api/alerts" | python3 -c '
import json, sys
alerts = json.load(sys.stdin)["data"]["alerts"]
firing = sorted((a["labels"]["alertname"], a["labels"].get("area", "")) for a in alerts if a["state"] == "firing")
print(" ".join(f"{name}:{area}" for name, area in firing))'
}
for _ in $(seq 150); do firing | grep -q GridwrenUsageTight:kansai && break; sleep 0.2; done
alerts=$(firing)
check "Kansai's usage alert fires" contains "$alerts" GridwrenUsageTight:kansai
check "and its tomorrow's forecast alert" contains "$alerts" GridwrenTomorrowVeryTight:kansai
check "Tokyo's calm day raises none (firing: $alerts)" bash -c "! grep -q ':tokyo' <<<'$alerts'"
check "no very-tight alert at 96 %" bash -c "! grep -q GridwrenUsageVeryTight <<<'$alerts'"

stop "$prometheus_pid"
check "Prometheus stopped by its process id" bash -c "! kill -0 $prometheus_pid 2>/dev/null"
prometheus_pid=""
finish
