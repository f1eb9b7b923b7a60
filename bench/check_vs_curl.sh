#!/usr/bin/env bash
# One whole usage check against the local feed server, compared in the same
# run with one curl process fetching the same three documents through the
# same proxy: curl -x PROXY URL1 -o F1 URL2 -o F2 URL3 -o F3.
# The check is `gridwren-host check --test`, process start-up included: it
# fetches the feed and both graphs, converts the graphs to Base64, fills the
# template and queues the mail. The two commands take turns, so that load
# from elsewhere on the machine falls on both alike. Wall times are taken
# around each process (microseconds, from the shell's clock); the peak
# resident memory of each comes from /usr/bin/time in extra runs, because
# its own time figure has only 10 ms steps.
#
# usage: bench/check_vs_curl.sh [RUNS]   (default 30; build/native must exist)
set -euo pipefail
cd "$(dirname "$0")/.."
case "${1:-}" in -h|--help) sed -n '2,13p' "$0" | sed 's/^# \{0,1\}//'; exit 0 ;; esac
runs=${1:-30}
case "$runs" in ''|*[!0-9]*|0) echo "check_vs_curl: RUNS must be a positive number, not '$runs'" >&2; exit 2 ;; esac
unset http_proxy https_proxy HTTP_PROXY HTTPS_PROXY all_proxy ALL_PROXY no_proxy NO_PROXY
host=build/native/bin/gridwren-host
[ -x "$host" ] || { echo "check_vs_curl: build first (scripts/build.sh native)" >&2; exit 1; }
[ -x /usr/bin/time ] || { echo "check_vs_curl: needs /usr/bin/time (apt-get install time)" >&2; exit 1; }
command -v curl >/dev/null || { echo "check_vs_curl: needs curl (apt-get install curl)" >&2; exit 1; }

work=$(mktemp -d)
server=
trap '[ -n "$server" ] && kill "$server" 2>/dev/null; wait 2>/dev/null; rm -rf "$work"' EXIT
python3 tools/feed_server.py --port 0 --port-file "$work/port" >/dev/null &
server=$!
for _ in $(seq 100); do [ -s "$work/port" ] && break; sleep 0.05; done
[ -s "$work/port" ] || { echo "check_vs_curl: the feed server did not start" >&2; exit 1; }
port=$(cat "$work/port")
"$host" --profile "$work/p" init --address bench@example.jp >/dev/null
"$host" --profile "$work/p" settings TUServer 127.0.0.1
"$host" --profile "$work/p" settings TUPort "$port"

check=("$host" --profile "$work/p" check --test)
curl=(curl -s -x "127.0.0.1:$port"
      http://usage.example/latest.json -o "$work/f.json"
      http://yahoo.example/images/meter/meter_setsuden.gif -o "$work/m.gif"
      http://tepco.example/forecast/html/images/juyo-j.gif -o "$work/t.gif")

# Appends "LABEL MICROSECONDS" for one run of the command to FILE; a failing
# run ends the benchmark rather than timing an error path.
timed() {
  local file=$1 label=$2 start end
  shift 2
  start=${EPOCHREALTIME/./}
  "$@" >/dev/null || { echo "check_vs_curl: failed: $*" >&2; exit 1; }
  end=${EPOCHREALTIME/./}
  echo "$label $((end - start))" >>"$file"
}

# One run of each first, so that both start with warm file caches.
timed "$work/warm-up" check "${check[@]}"
timed "$work/warm-up" curl "${curl[@]}"
for _ in $(seq "$runs"); do
  timed "$work/times" check "${check[@]}"
  timed "$work/times" curl "${curl[@]}"
done
for _ in $(seq 5); do
  /usr/bin/time -f "check %M" -a -o "$work/rss" "${check[@]}" >/dev/null
  /usr/bin/time -f "curl %M" -a -o "$work/rss" "${curl[@]}" >/dev/null
done

python3 - "$work/times" "$work/rss" <<'PY'
import statistics, sys
times = [l.split() for l in open(sys.argv[1]) if l.strip()]
rss = [l.split() for l in open(sys.argv[2]) if l.strip() and l.split()[0] in ("check", "curl")]
def col(rows, kind): return [float(r[1]) for r in rows if r[0] == kind]
check_us, curl_us = col(times, "check"), col(times, "curl")
mc, mu = statistics.median(check_us), statistics.median(curl_us)
def spread(v):
    q = statistics.quantiles(v, n=4)
    return f"quartiles {q[0]/1000:.1f} to {q[2]/1000:.1f} ms"
print(f"runs: {len(check_us)} each, taking turns")
print(f"check --test: median {mc/1000:.1f} ms ({spread(check_us)}), peak RSS {max(col(rss, 'check'))/1024:.1f} MiB")
print(f"curl, 3 URLs: median {mu/1000:.1f} ms ({spread(curl_us)}), peak RSS {max(col(rss, 'curl'))/1024:.1f} MiB")
print(f"median ratio check/curl: {mc/mu:.2f}")
PY
