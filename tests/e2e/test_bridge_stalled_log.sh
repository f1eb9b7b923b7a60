#!/usr/bin/env bash
# gridwren-bridge with a log reader that never reads (a paused terminal, a
# stalled log shipper): its standard output is a pipe into `sleep`. It must
# go on answering, count the lines it could not write, and end promptly on
# SIGTERM although its log writer is stuck in a write.
#   test_bridge_stalled_log.sh HOST_EXE PLUGIN_SO SOURCE_DIR BRIDGE_EXE
source "$(dirname "$0")/lib.sh"
set +e
bridge_exe=${4:?the gridwren-bridge program}
bridge_pid="" reader_pid=""
trap '[ -n "$bridge_pid" ] && kill -KILL "$bridge_pid" 2>/dev/null; [ -n "$reader_pid" ] && kill "$reader_pid" 2>/dev/null; cleanup' EXIT

python3 "$SRC/tools/operator_csv.py" --output "$WORK/juyo-d1-j.csv" >/dev/null
python3 "$SRC/tools/source_server.py" --file "$WORK/juyo-d1-j.csv" --port-file "$WORK/source.port" &
SERVER_PID=$!
wait_file "$WORK/source.port" || { echo "FAILED  the source server did not start"; exit 1; }

# The bridge's output goes into a pipe whose reader sleeps and never reads.
( "$bridge_exe" --listen 127.0.0.1:0 --port-file "$WORK/bridge.port" \
    --source "http://127.0.0.1:$(cat "$WORK/source.port")/juyo-d1-j.csv" 2>"$WORK/bridge.err" &
  echo $! >"$WORK/bridge.pid"; wait ) | sleep 120 &
reader_pid=$!
wait_file "$WORK/bridge.port" || { echo "FAILED  the bridge did not start"; exit 1; }
bridge_pid=$(cat "$WORK/bridge.pid")
port=$(cat "$WORK/bridge.port")

# Far more request lines than the pipe and the log's queue hold, each
# request with a timeout: a blocked log would leave them unanswered.
load() {
  python3 - "$port" <<'PY'
import http.client, sys
conn = http.client.HTTPConnection("127.0.0.1", int(sys.argv[1]), timeout=5)
statuses = set()
for _ in range(12000):
    conn.request("GET", "/healthz")
    response = conn.getresponse()
    response.read()
    statuses.add(response.status)
sys.exit(0 if statuses <= {200, 503} else 1)
PY
}
check "12,000 requests answered while the log's reader sleeps" load
metric() { curl -s -m 5 "http://127.0.0.1:$port/metrics" | awk -v n="$1" '$1 == n {print $2}'; }
check "/healthz still answers" test "$(curl -s -m 5 -o /dev/null -w '%{http_code}' "http://127.0.0.1:$port/healthz")" != 000
check "the dropped lines are counted in /metrics" test "$(metric gridwren_bridge_log_lines_dropped_total)" -gt 0

kill -TERM "$bridge_pid"
for _ in $(seq 40); do kill -0 "$bridge_pid" 2>/dev/null || break; sleep 0.05; done
check "SIGTERM ends it within 2 s though its log writer is stuck" bash -c "! kill -0 $bridge_pid 2>/dev/null"
bridge_pid=""
finish
