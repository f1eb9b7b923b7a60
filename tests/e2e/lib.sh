# Shared by the end-to-end tests: a scratch profile, the local feed server,
# and small assertions. Each test script sources this with the stand-in host,
# the plug-in and the source folder as $1 $2 $3.
set -euo pipefail
HOST=$1
PLUGIN=$2
SRC=$3
export GRIDWREN_PLUGIN=$PLUGIN
unset http_proxy https_proxy HTTP_PROXY HTTPS_PROXY all_proxy ALL_PROXY
WORK=$(mktemp -d)
PROFILE=$WORK/profile
SERVER_PID=
passed=0
failed=0

cleanup() {
  [ -n "$SERVER_PID" ] && kill "$SERVER_PID" 2>/dev/null && wait "$SERVER_PID" 2>/dev/null
  rm -rf "$WORK"
}
trap cleanup EXIT

host() { "$HOST" --profile "$PROFILE" "$@"; }

# Starts the feed server with the given options; sets SERVER_PORT.
start_server() {
  [ -n "$SERVER_PID" ] && kill "$SERVER_PID" 2>/dev/null && wait "$SERVER_PID" 2>/dev/null
  rm -f "$WORK/port"
  python3 "$SRC/tools/feed_server.py" --port 0 --port-file "$WORK/port" --log "$WORK/requests.log" "$@" \
    >/dev/null 2>"$WORK/server.err" &
  SERVER_PID=$!
  for _ in $(seq 100); do [ -s "$WORK/port" ] && break; sleep 0.05; done
  SERVER_PORT=$(cat "$WORK/port")
}

# A new profile whose proxy settings point at the feed server.
new_profile() {
  rm -rf "$PROFILE"
  host init --address "${1:-sender@example.jp}" >/dev/null
  host settings TUServer 127.0.0.1
  host settings TUPort "$SERVER_PORT"
}

check() {  # check NAME COMMAND...: passes when the command succeeds
  local name=$1; shift
  if "$@"; then passed=$((passed + 1)); echo "PASS $name"; else failed=$((failed + 1)); echo "FAIL $name"; fi
}

contains() { grep -qF -- "$2" <<<"$1"; }

# Ends a process started by the test, if any (stop PID).
stop() { [ -n "$1" ] && kill "$1" 2>/dev/null && wait "$1" 2>/dev/null; }
# Waits up to 10 s for a file a started process writes (a port file, say).
wait_file() { for _ in $(seq 100); do [ -s "$1" ] && return 0; sleep 0.1; done; return 1; }

finish() {
  echo "$passed passed, $failed failed"
  [ "$failed" -eq 0 ]
}
