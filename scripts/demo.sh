#!/usr/bin/env bash
# The main job, on this machine: the whole chain, hermetically. A local
# server stands in for the grid operator and serves an operator-style file
# of today (tools/operator_csv.py); gridwren-bridge reads it; the real
# plug-in, through the stand-in mail client whose proxy settings point at
# the bridge, starts as the mail client starts it (which checks the usage)
# and sends a test mail. It shows the reading and the queued mail, and saves
# the mail's two graphs as files you can open.
# Installs the native set first (scripts/install-deps.sh native, as root or
# with sudo) and builds build/native. When a step fails it names the step and
# shows its output: apt's messages, the compiler's errors, a server's log.
# Usage: scripts/demo.sh [--live] [--help]
#   --live  read the real operator's file instead (needs internet access;
#           tests never use it)
set -euo pipefail
cd "$(dirname "$0")/.."
PROG=demo
source scripts/lib/steps.sh
live=0
case "${1:-}" in
  -h|--help) sed -n '2,14p' "$0" | sed 's/^# \{0,1\}//'; exit 0 ;;
  --live) live=1 ;;
  "") ;;
  *) echo "demo: unknown option '$1' (--live or --help)" >&2; exit 2 ;;
esac
# The plug-in reaches its documents through its own proxy settings only; a
# proxy from the environment must not be used by the local tools here either.
# (With --live, the bridge's own fetch still honours https_proxy.)
[ $live = 1 ] || unset http_proxy https_proxy HTTP_PROXY HTTPS_PROXY all_proxy ALL_PROXY

scripts/install-deps.sh native
if [ ! -x build/native/bin/gridwren-bridge ]; then
  echo "demo: building the plug-in, gridwren-host and gridwren-bridge (scripts/build.sh native; a few minutes)"
fi
quietly "building" scripts/build.sh native

bin=build/native/bin
profile=build/demo-profile
output=build/demo
work=$(mktemp -d)
pids=()
cleanup() {
  # Some may have ended already; a cleanup that finds nothing to do is no failure.
  for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done
  wait 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

# wait_file FILE WHAT [LOG]: waits for a started server's port file.
wait_file() {
  for _ in $(seq 100); do [ -s "$1" ] && return 0; sleep 0.05; done
  echo "demo: $2 did not start" >&2
  if [ -n "${3:-}" ]; then echo "--- its log:" >&2; cat "$3" >&2; fi
  exit 1
}

source_args=()
if [ $live = 0 ]; then
  # A tight winter day: the midday hours run into the upper bands.
  python3 tools/operator_csv.py --output "$work/juyo-d1-j.csv" --peak-supply 4650 --forecast-peak 4600 >/dev/null
  python3 tools/source_server.py --file "$work/juyo-d1-j.csv" --port-file "$work/source.port" &
  pids+=($!)
  wait_file "$work/source.port" "the operator's stand-in"
  source_args=(--source "http://127.0.0.1:$(cat "$work/source.port")/forecast/html/images/juyo-d1-j.csv")
  echo "operator's stand-in: ${source_args[1]} (today's operator-style file)"
fi

"$bin/gridwren-bridge" --listen 127.0.0.1:0 --port-file "$work/bridge.port" "${source_args[@]}" \
  >"$work/bridge.log" 2>&1 &
bridge_pid=$!
pids+=($bridge_pid)
wait_file "$work/bridge.port" "gridwren-bridge" "$work/bridge.log"
port=$(cat "$work/bridge.port")
healthy() { [ "$(curl -s --noproxy '*' -o /dev/null -w '%{http_code}' "http://127.0.0.1:$port/healthz")" = 200 ]; }
for _ in $(seq 200); do healthy && break; sleep 0.05; done
if ! healthy; then
  echo "demo: the bridge holds no reading; its log:" >&2; cat "$work/bridge.log" >&2; exit 1
fi
echo "gridwren-bridge: 127.0.0.1:$port"
echo "--- the reading the bridge serves (/latest.json):"
curl -s --noproxy '*' "http://127.0.0.1:$port/latest.json"; echo

rm -rf "$profile" "$output"
"$bin/gridwren-host" --profile "$profile" init --address demo@gridwren.example >/dev/null
# Every request of the plug-in goes to the bridge, as to a proxy.
"$bin/gridwren-host" --profile "$profile" settings TUServer 127.0.0.1
"$bin/gridwren-host" --profile "$profile" settings TUPort "$port"

echo "--- the mail client starts the plug-in (it checks the usage at once):"
"$bin/gridwren-host" --profile "$profile" start
echo "--- the settings' test mail button:"
"$bin/gridwren-host" --profile "$profile" check --test

outbox=$profile/data/MailBox1/outbox/new
echo "--- queued in the outbox ($outbox):"
newest=
while IFS=$'\t' read -r file subject to size; do
  echo "$outbox/$file"
  echo "  Subject: $subject"
  echo "  To: $to ($size)"
  newest=$outbox/$file
done < <("$bin/gridwren-host" --profile "$profile" outbox)
echo "--- the newest mail's two graphs, as the mail carries them:"
python3 tools/mail_view.py "$newest" --images "$output"
echo "--- the bridge's log (one line per request and per upstream fetch):"
kill "$bridge_pid"; wait "$bridge_pid" 2>/dev/null || true
sed 's/^/  /' "$work/bridge.log"
echo "--- see a mail with: $bin/gridwren-host --profile $profile outbox show FILE"
