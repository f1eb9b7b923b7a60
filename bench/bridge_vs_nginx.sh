#!/usr/bin/env bash
# gridwren-bridge against nginx on loopback, in one run. The bridge serves all
# ten grid areas from one process (ten local stand-ins for the operators,
# each with its area's file; the plug-in's documents of tokyo on one
# listener, the other nine through the per-area API). wrk with keep-alive
# connections fetches that listener's /latest.json, then the same JSON served
# by nginx as a static file (nginx started by this script, with its own
# config in a temporary folder, in the foreground, on 127.0.0.1). Prints
# requests/s, the p99 latency and errors of both, the bridge's RSS with the
# ten areas loaded and its peak under load, and each goal: at least nginx's
# rate, no errors, a p99 at most 3x nginx's, a peak RSS of 40 MiB at most.
# Nothing leaves the machine. When build/windows holds gridwren-bridge.exe and
# Wine is there, the Windows bridge under Wine (Tokyo only) gets a row too
# (requests/s, p99, its peak working set as the Wine process's peak RSS): a
# figure to watch, no goal.
#
# usage: bench/bridge_vs_nginx.sh [SECONDS] [CONNECTIONS]   (default 10 64;
#        build/native must exist; needs wrk and nginx-light;
#        GW_BENCH_WINDOWS=0 leaves the Windows row out)
set -euo pipefail
cd "$(dirname "$0")/.."
case "${1:-}" in -h|--help) sed -n '2,19p' "$0" | sed 's/^# \{0,1\}//'; exit 0 ;; esac
seconds=${1:-10}
connections=${2:-64}
unset http_proxy https_proxy HTTP_PROXY HTTPS_PROXY all_proxy ALL_PROXY
bridge=build/native/bin/gridwren-bridge
[ -x "$bridge" ] || { echo "bridge_vs_nginx: build first (scripts/build.sh native)" >&2; exit 1; }
for tool in wrk nginx; do
  command -v "$tool" >/dev/null || { echo "bridge_vs_nginx: needs $tool (scripts/install-deps.sh native)" >&2; exit 1; }
done

work=$(mktemp -d)
chmod 755 "$work"  # nginx's workers may run as another user
pids=()
windows_pid=
cleanup() {
  # The Windows bridge stops on Ctrl-C, which Wine makes of SIGINT; its
  # prefix's wineserver goes with it.
  if [ -n "$windows_pid" ]; then
    kill -INT "$windows_pid" 2>/dev/null && wait "$windows_pid" 2>/dev/null
    wineserver -k 2>/dev/null || true
  fi
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null && wait "$pid" 2>/dev/null; done
  rm -rf "$work"
}
trap cleanup EXIT
wait_file() { for _ in $(seq 100); do [ -s "$1" ] && return 0; sleep 0.1; done; echo "bridge_vs_nginx: $2 did not start" >&2; exit 1; }
free_port() { python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1",0)); print(s.getsockname()[1])'; }

# Each area's file of today, in its own layout, behind a stand-in of its own.
areas=(hokkaido tohoku tokyo chubu hokuriku kansai chugoku shikoku kyushu okinawa)
sources=()
for area in "${areas[@]}"; do
  python3 tools/operator_csv.py --area "$area" --output "$work/$area.csv" >/dev/null
  python3 tools/source_server.py --file "$work/$area.csv" --port-file "$work/$area.port" &
  pids+=($!)
done
for area in "${areas[@]}"; do
  wait_file "$work/$area.port" "the source server of $area"
  sources+=(--source "$area=http://127.0.0.1:$(cat "$work/$area.port")/juyo_{date}.csv")
done
"$bridge" --listen 127.0.0.1:0 --port-file "$work/bridge.port" "${sources[@]}" >"$work/bridge.log" &
bridge_pid=$!
pids+=("$bridge_pid")
wait_file "$work/bridge.port" "the bridge"
bridge_port=$(cat "$work/bridge.port")
bridge_url="http://127.0.0.1:$bridge_port/latest.json"
for _ in $(seq 200); do
  [ "$(curl -s -o /dev/null -w '%{http_code}' "http://127.0.0.1:$bridge_port/healthz")" = 200 ] && break
  sleep 0.1
done
curl -s "http://127.0.0.1:$bridge_port/healthz" | grep -c ': ok:' | grep -qx 10 ||
  { echo "bridge_vs_nginx: the bridge does not hold all ten areas' readings" >&2; exit 1; }
loaded_kib=$(awk '/^VmRSS:/ {print $2}' "/proc/$bridge_pid/status")
curl -sf -o "$work/latest.json" "$bridge_url"

mkdir -p "$work/html" "$work/temp"
cp "$work/latest.json" "$work/html/latest.json"
nginx_port=$(free_port)
cat >"$work/nginx.conf" <<CONF
worker_processes auto;
pid $work/nginx.pid;
error_log $work/nginx-error.log;
events { worker_connections 1024; }
http {
  access_log $work/nginx-access.log combined buffer=64k flush=1s;
  client_body_temp_path $work/temp/body;
  proxy_temp_path $work/temp/proxy;
  fastcgi_temp_path $work/temp/fastcgi;
  uwsgi_temp_path $work/temp/uwsgi;
  scgi_temp_path $work/temp/scgi;
  types { application/json json; }
  server {
    listen 127.0.0.1:$nginx_port;
    root $work/html;
  }
}
CONF
nginx -c "$work/nginx.conf" -g 'daemon off;' 2>>"$work/nginx-error.log" &
pids+=($!)
for _ in $(seq 100); do curl -sf -o /dev/null "http://127.0.0.1:$nginx_port/latest.json" && break; sleep 0.1; done
cmp -s "$work/latest.json" <(curl -s "http://127.0.0.1:$nginx_port/latest.json") ||
  { echo "bridge_vs_nginx: nginx does not serve the same JSON" >&2; exit 1; }

run_wrk() {  # run_wrk NAME URL
  echo "== $1: wrk -t2 -c$connections -d${seconds}s --latency $2"
  wrk -t2 -c"$connections" -d"${seconds}s" --latency "$2" | tee "$work/$1.wrk"
}
run_wrk nginx "http://127.0.0.1:$nginx_port/latest.json"
run_wrk bridge "$bridge_url"
rss_kib=$(awk '/^VmHWM:/ {print $2}' "/proc/$bridge_pid/status")

# The Windows bridge under Wine, in a prefix of its own (a copy of the Wine
# layer's template when there is one). `wine` execs into the program's own
# process, so $! is the process whose peak RSS is its working set.
windows_row() {
  local exe=build/windows/bin/gridwren-bridge.exe template=build/windows/wine-test/prefix-template url
  [ "${GW_BENCH_WINDOWS:-1}" != 0 ] && [ -f "$exe" ] && command -v wine >/dev/null || return 1
  export WINEPREFIX=$work/wine WINEARCH=win32 WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
  if [ -e "$template/.gwt-ready" ]; then cp -a "$template" "$WINEPREFIX"; else wineboot -i >/dev/null 2>&1; fi
  wine "$exe" --listen 127.0.0.1:0 --port-file "Z:${work//\//\\}\\windows.port" \
    --source "http://127.0.0.1:$(cat "$work/tokyo.port")/juyo-d1-j.csv" >"$work/windows.log" 2>&1 &
  windows_pid=$!
  wait_file "$work/windows.port" "the Windows bridge"
  url="http://127.0.0.1:$(cat "$work/windows.port")/latest.json"
  for _ in $(seq 100); do curl -sf -o /dev/null "$url" && break; sleep 0.1; done
  run_wrk windows "$url"
  awk '/^VmHWM:/ {print $2}' "/proc/$windows_pid/status" >"$work/windows.rss"
}
windows_row || true

python3 - "$work/nginx.wrk" "$work/bridge.wrk" "$rss_kib" "$loaded_kib" "$work/windows.wrk" "$work/windows.rss" <<'PY'
import os, re, sys
UNITS = {"us": 0.001, "ms": 1.0, "s": 1000.0}
def figures(path):
    text = open(path).read()
    rate = float(re.search(r"Requests/sec:\s+([\d.]+)", text).group(1))
    value, unit = re.search(r"^\s+99%\s+([\d.]+)(us|ms|s)\s*$", text, re.M).groups()
    errors = sum(int(n) for n in re.findall(r"(?:connect|read|write|timeout) (\d+)", text))
    non2xx = re.search(r"Non-2xx or 3xx responses: (\d+)", text)
    return rate, float(value) * UNITS[unit], errors + (int(non2xx.group(1)) if non2xx else 0)
(n_rate, n_p99, n_err), (b_rate, b_p99, b_err) = figures(sys.argv[1]), figures(sys.argv[2])
rss, loaded = int(sys.argv[3]) / 1024, int(sys.argv[4]) / 1024
print()
print(f"nginx:  {n_rate:10.0f} requests/s   p99 {n_p99:7.2f} ms   errors {n_err}")
print(f"bridge: {b_rate:10.0f} requests/s   p99 {b_p99:7.2f} ms   errors {b_err}   "
      f"RSS {loaded:.1f} MiB with ten areas loaded, peak {rss:.1f} MiB")
goals = [
    (b_rate >= n_rate, f"rate {b_rate / n_rate:.2f}x nginx's (goal: at least 1.0x)"),
    (b_err == 0, f"{b_err} errors (goal: none)"),
    (b_p99 <= 3 * n_p99, f"p99 {b_p99 / n_p99:.2f}x nginx's (goal: at most 3x)"),
    (rss <= 40, f"peak RSS {rss:.1f} MiB with ten areas (goal: 40 MiB at most)"),
]
for ok, text in goals:
    print(("met     " if ok else "MISSED  ") + text)
if os.path.exists(sys.argv[5]):
    w_rate, w_p99, w_err = figures(sys.argv[5])
    w_rss = int(open(sys.argv[6]).read()) / 1024
    print(f"windows bridge under Wine: {w_rate:.0f} requests/s   p99 {w_p99:.2f} ms   errors {w_err}   "
          f"peak working set {w_rss:.1f} MiB (a figure to watch)")
PY
