#!/usr/bin/env bash
# Self-test of the local feed server: every document and every fault mode,
# fetched the way the plug-in fetches them (through the proxy setting
# 127.0.0.1:PORT with absolute URIs), so the e2e tests can trust the server.
# Only loopback traffic; the .invalid host names are never resolved because
# curl hands absolute URIs to the proxy.
set -u
case "${1:-}" in -h | --help) sed -n '2,/^[^#]/{/^#/{s/^# \{0,1\}//;p}}' "$0"; exit 0 ;; esac
HERE=$(cd "$(dirname "$0")" && pwd)
SERVER="$HERE/feed_server.py"
WORK=$(mktemp -d)
PIDS=()
passed=0
failed=0
unset http_proxy HTTP_PROXY https_proxy HTTPS_PROXY all_proxy ALL_PROXY no_proxy NO_PROXY

cleanup() {
    local pid
    for pid in "${PIDS[@]}"; do
        kill -TERM "$pid" 2>/dev/null && wait "$pid" 2>/dev/null
    done
    rm -rf "$WORK"
}
trap cleanup EXIT

check() { # NAME COMMAND...: one case passes when the command succeeds
    local name=$1
    shift
    if "$@"; then
        passed=$((passed + 1))
    else
        failed=$((failed + 1))
        echo "FAIL: $name" >&2
    fi
}

start_server() { # NAME ARGS...: sets PORT and PID
    local name=$1
    shift
    python3 "$SERVER" --port 0 "$@" >"$WORK/$name.out" 2>"$WORK/$name.err" &
    PID=$!
    PIDS+=("$PID")
    for _ in $(seq 50); do
        PORT=$(sed -n '1s/^port=\([0-9][0-9]*\)$/\1/p' "$WORK/$name.out")
        [ -n "$PORT" ] && return 0
        sleep 0.1
    done
    echo "server $name did not start: $(cat "$WORK/$name.err")" >&2
    exit 1
}

fetch() { # URL CURL-ARGS...: body in $WORK/body, headers in $WORK/head; sets CODE, TIME, RC
    local url=$1 out
    shift
    out=$(curl -s --noproxy '' --proxy "http://127.0.0.1:$PORT" --max-time 10 \
        -A gridwren-selftest -o "$WORK/body" -D "$WORK/head" \
        -w '%{http_code} %{time_total}' "$@" "$url")
    RC=$?
    CODE=${out% *}
    TIME=${out#* }
}

size_of() { stat -c %s "$1"; }
header_has() { tr -d '\r' <"$WORK/head" | grep -qi "^$1\$"; }
at_least() { python3 -c 'import sys; sys.exit(float(sys.argv[1]) < float(sys.argv[2]))' "$1" "$2"; }

feed_fields_are() { # JSON of the six members expected in $WORK/body
    python3 - "$WORK/body" "$1" <<'EOF'
import json, sys
doc = json.load(open(sys.argv[1], encoding="utf-8"))
want = json.loads(sys.argv[2])
sys.exit(any(doc.get(k) != v for k, v in want.items()))
EOF
}

body_is_pattern() { # SIZE: byte i of $WORK/body is i*7 mod 251
    python3 - "$WORK/body" "$1" <<'EOF'
import sys
data = open(sys.argv[1], "rb").read()
want = bytes((i * 7) % 251 for i in range(251)) * (int(sys.argv[2]) // 251 + 1)
sys.exit(data != want[:int(sys.argv[2])])
EOF
}

body_is_not_json() { ! python3 -c 'import json,sys; json.load(open(sys.argv[1]))' "$WORK/body" 2>/dev/null; }

log_has() { # LOGFILE KEY VALUE: some request line records KEY = VALUE
    python3 - "$@" <<'EOF'
import json, sys
lines = [json.loads(line) for line in open(sys.argv[1], encoding="utf-8")]
sys.exit(not any(entry.get(sys.argv[2]) == sys.argv[3] for entry in lines))
EOF
}

# --- documents, addressed as the plug-in addresses them ---------------------
start_server a --log "$WORK/a.log" --port-file "$WORK/a.port" \
    --usage 3600 --capacity 4000 --year 2011 --month 8 --day 25 --hour 14 \
    --fault /fault/404=status:404 --fault /fault/500=status:500 \
    --fault /fault/garbage=garbage --fault /fault/empty=empty \
    --fault /fault/size=size:1234567 --fault /fault/huge=huge:40M \
    --fault /fault/reset=reset --fault /fault/hang=hang \
    --fault /fault/trickle=trickle:0.5 --fault /fault/trickle-all=trickle:0 \
    --fault /fault/announce=announce:40M
PID_A=$PID
PORT_A=$PORT

check "port file holds the printed port" [ "$(cat "$WORK/a.port")" = "$PORT_A" ]
fetch http://usage.example.invalid/latest.json
check "feed: 200 JSON through the proxy" [ "$CODE" = 200 ]
check "feed: content type" header_has 'Content-Type: application/json; charset=utf-8'
check "feed: the six members as configured" feed_fields_are \
    '{"usage":3600,"capacity":4000,"year":2011,"month":8,"day":25,"hour":14}'
cp "$WORK/body" "$WORK/feed.proxy"
curl -s --noproxy '*' --max-time 10 -o "$WORK/body" "http://127.0.0.1:$PORT_A/latest.json"
check "feed: origin form answers as the absolute URI" cmp -s "$WORK/body" "$WORK/feed.proxy"

for image in images/meter/meter_setsuden.gif forecast/html/images/juyo-j.gif; do
    fetch "http://graph.example.invalid/$image"
    check "$image: 200 image/gif" [ "$CODE" = 200 ]
    check "$image: content type" header_has 'Content-Type: image/gif'
    check "$image: exact bytes" cmp -s "$WORK/body" "$HERE/feed/$(basename "$image")"
done
fetch http://usage.example.invalid/nothing-here
check "unknown path: 404" [ "$CODE" = 404 ]

# --- fault modes --------------------------------------------------------------
for code in 404 500; do
    fetch "http://usage.example.invalid/fault/$code"
    check "status:$code: code" [ "$CODE" = "$code" ]
    check "status:$code: HTML body" grep -q "<h1>$code " "$WORK/body"
done
fetch http://usage.example.invalid/fault/garbage
check "garbage: 200 with 2048 bytes" [ "$CODE:$(size_of "$WORK/body")" = 200:2048 ]
check "garbage: not JSON" body_is_not_json
fetch http://usage.example.invalid/fault/empty
check "empty: 200 with no body" [ "$CODE:$(size_of "$WORK/body")" = 200:0 ]
fetch http://usage.example.invalid/fault/size
check "size: exactly 1234567 bytes" [ "$CODE:$(size_of "$WORK/body")" = 200:1234567 ]
check "size: byte i is i*7 mod 251" body_is_pattern 1234567
HUGE=$(curl -s --noproxy '' --proxy "http://127.0.0.1:$PORT_A" --max-time 20 -o /dev/null \
    -w '%{http_code}:%{size_download}' http://usage.example.invalid/fault/huge)
check "huge: 40 MiB streamed" [ "$HUGE" = 200:41943040 ]
fetch http://usage.example.invalid/fault/reset
check "reset: curl sees the connection reset (rc $RC)" [ "$RC" = 56 ]

out=$(curl -s --noproxy '' --proxy "http://127.0.0.1:$PORT_A" --max-time 2 -o "$WORK/body" -D "$WORK/head" \
    -w '%{size_download}' http://usage.example.invalid/fault/trickle)
RC=$?
check "trickle: only a limit on the whole transfer ends it (rc $RC)" [ "$RC" = 28 ]
check "trickle: the whole length is announced" header_has 'Content-Length: 4096'
check "trickle: a byte at a time kept coming ($out bytes in 2 s)" [ "$out" -ge 2 -a "$out" -le 8 ]
check "trickle: the bytes are the body's first" body_is_pattern "$out"
fetch http://usage.example.invalid/fault/trickle-all
check "trickle:0: the whole body, byte for byte" body_is_pattern 4096
check "trickle:0: exactly 4096 bytes" [ "$CODE:$(size_of "$WORK/body")" = 200:4096 ]
out=$(curl -s --noproxy '' --proxy "http://127.0.0.1:$PORT_A" --max-time 2 -o "$WORK/body" -D "$WORK/head" \
    -w '%{size_download}' http://usage.example.invalid/fault/announce)
RC=$?
check "announce: 40 MiB announced" header_has 'Content-Length: 41943040'
check "announce: no byte of the body comes (rc $RC, $out bytes)" [ "$RC:$out" = 28:0 ]
curl -s --noproxy '' --proxy "http://127.0.0.1:$PORT_A" --max-time 10 --max-filesize 33554432 -o /dev/null \
    http://usage.example.invalid/fault/announce
check "announce: a client can refuse the length at once" [ $? = 63 ]

curl -s --noproxy '' --proxy "http://127.0.0.1:$PORT_A" --max-time 2 -o /dev/null \
    http://usage.example.invalid/fault/hang &
HANG_CURL=$!
sleep 0.2
fetch http://usage.example.invalid/latest.json
check "hang: other requests are still answered meanwhile" [ "$CODE" = 200 ]
wait "$HANG_CURL"
check "hang: curl --max-time 2 times out" [ $? = 28 ]

check "log: absolute target recorded" log_has "$WORK/a.log" target http://usage.example.invalid/latest.json
check "log: Host recorded" log_has "$WORK/a.log" host graph.example.invalid
check "log: User-Agent recorded" log_has "$WORK/a.log" user_agent gridwren-selftest

# --- shutdown while a request hangs -----------------------------------------
curl -s --noproxy '' --proxy "http://127.0.0.1:$PORT_A" --max-time 10 -o /dev/null \
    http://usage.example.invalid/fault/hang &
HANG_CURL=$!
sleep 0.3
kill -TERM "$PID_A"
for _ in $(seq 30); do kill -0 "$PID_A" 2>/dev/null || break; sleep 0.1; done
check "SIGTERM stops the server despite a hung request" bash -c "! kill -0 $PID_A 2>/dev/null"
wait "$PID_A"
check "SIGTERM exit status 0" [ $? = 0 ]
wait "$HANG_CURL"
check "the hung client is released, not left to time out" [ $? != 28 ]
check "port file removed on exit" [ ! -e "$WORK/a.port" ]

# --- proxy credentials, delay and a feed file, applied to every path ---------
printf '{"forecast": {"usage": 4000}, "usage": 3512, "capacity": "4810"}' >"$WORK/feed.json"
start_server b --log "$WORK/b.log" --feed-file "$WORK/feed.json" \
    --fault proxyauth:gw:s3cret:x --fault delay:0.4
fetch http://usage.example.invalid/latest.json
check "proxyauth: 407 without credentials" [ "$CODE" = 407 ]
check "proxyauth: Basic challenge" header_has 'Proxy-Authenticate: Basic realm="gridwren"'
fetch http://usage.example.invalid/latest.json --proxy-user gw:s3cret:y
check "proxyauth: 407 with a wrong password" [ "$CODE" = 407 ]
fetch http://usage.example.invalid/latest.json --proxy-user gw:s3cret:x
check "proxyauth: 200 with the right credentials" [ "$CODE" = 200 ]
check "feed file: served byte for byte" cmp -s "$WORK/body" "$WORK/feed.json"
check "delay: answer took at least 0.4 s ($TIME)" at_least "$TIME" 0.4
check "log: Proxy-Authorization recorded" log_has "$WORK/b.log" proxy_authorization \
    "Basic $(printf gw:s3cret:x | base64)"

# --- bad options: one line on stderr, status 2 -------------------------------
while IFS= read -r options; do
    # shellcheck disable=SC2086 # each row is a list of options
    timeout 5 python3 "$SERVER" $options >/dev/null 2>"$WORK/bad.err"
    status=$?
    check "bad options '$options': status 2, one line" \
        [ "$status:$(wc -l <"$WORK/bad.err")" = 2:1 ]
done <<'EOF'
--port 70000
--usage lots
--fault bogus
--fault delay:soon
--fault status:99
--fault huge:12X
--fault trickle:slow
--fault announce
--fault proxyauth:nocolon
--fault latest.json=hang
--fault hang --fault reset
--feed-file /nonexistent/feed.json
--feed-file /etc/hostname --usage 1
--no-such-option
EOF

echo "$passed passed, $failed failed"
[ "$failed" = 0 ]
