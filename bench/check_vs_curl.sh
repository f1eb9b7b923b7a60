#!/usr/bin/env bash
# One whole usage check against the local feed server, compared in the same
# run with curl fetching the same three documents through the same proxy.
# The check is `gridwren-host check --test`, process start-up included: it
# fetches the feed and both graphs, converts the graphs to Base64, fills the
# template and queues the mail. Times and peak memory come from /usr/bin/time.
#
# usage: bench/check_vs_curl.sh [RUNS]   (default 30; build/native must exist)
set -euo pipefail
cd "$(dirname "$0")/.."
case "${1:-}" in -h|--help) sed -n '2,8p' "$0" | sed 's/^# \{0,1\}//'; exit 0 ;; esac
runs=${1:-30}
unset http_proxy https_proxy HTTP_PROXY HTTPS_PROXY all_proxy ALL_PROXY
host=build/native/bin/gridwren-host
[ -x "$host" ] || { echo "check_vs_curl: build first (scripts/build.sh native)" >&2; exit 1; }
[ -x /usr/bin/time ] || { echo "check_vs_curl: needs /usr/bin/time (apt-get install time)" >&2; exit 1; }

work=$(mktemp -d)
trap 'kill $server 2>/dev/null; rm -rf "$work"' EXIT
python3 tools/feed_server.py --port 0 --port-file "$work/port" >/dev/null &
server=$!
for _ in $(seq 100); do [ -s "$work/port" ] && break; sleep 0.05; done
port=$(cat "$work/port")
"$host" --profile "$work/p" init --address bench@example.jp >/dev/null
"$host" --profile "$work/p" settings TUServer 127.0.0.1
"$host" --profile "$work/p" settings TUPort "$port"

curl_three() {
  curl -s -x "127.0.0.1:$port" -o "$work/f.json" http://usage.example/latest.json \
       -o "$work/m.gif" http://yahoo.example/images/meter/meter_setsuden.gif \
       -o "$work/t.gif" http://tepco.example/forecast/html/images/juyo-j.gif
}
export -f curl_three
export port work

for i in $(seq "$runs"); do
  /usr/bin/time -f "check %e %M" -a -o "$work/times" "$host" --profile "$work/p" check --test >/dev/null
  /usr/bin/time -f "curl %e %M" -a -o "$work/times" bash -c curl_three
done

python3 - "$work/times" <<'PY'
import statistics, sys
rows = [l.split() for l in open(sys.argv[1]) if l.strip()]
def col(kind, i): return [float(r[i]) for r in rows if r[0] == kind]
check_s, curl_s = col("check", 1), col("curl", 1)
check_kb, curl_kb = col("check", 2), col("curl", 2)
mc, mu = statistics.median(check_s), statistics.median(curl_s)
print(f"runs: {len(check_s)} each")
print(f"check --test: median {mc*1000:.0f} ms, peak RSS {max(check_kb)/1024:.1f} MiB")
print(f"curl x3:      median {mu*1000:.0f} ms, peak RSS {max(curl_kb)/1024:.1f} MiB (curl under bash)")
print(f"median ratio check/curl: {mc/mu:.2f}")
PY
