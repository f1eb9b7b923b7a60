#!/usr/bin/env bash
# The main job, on this machine: a real usage check against the bundled
# local feed server, through the stand-in mail client. It builds the native
# plug-in and gridwren-host, starts the feed server on 127.0.0.1, creates a
# demo profile whose proxy settings point at it, starts the plug-in as the
# mail client does (which runs the start-up check), sends a test mail, and
# shows the reading and the queued mail.
# Usage: scripts/demo.sh [--help]
set -euo pipefail
cd "$(dirname "$0")/.."
case "${1:-}" in -h|--help) sed -n '2,8p' "$0" | sed 's/^# \{0,1\}//'; exit 0 ;; esac
# The plug-in reaches the feed through its own proxy settings only; a proxy
# from the environment must not be used by the tools here either.
unset http_proxy https_proxy HTTP_PROXY HTTPS_PROXY all_proxy ALL_PROXY

scripts/install-deps.sh native
scripts/build.sh native >/dev/null

host=build/native/bin/gridwren-host
profile=build/demo-profile
work=$(mktemp -d)
server_pid=
trap '[ -n "$server_pid" ] && kill "$server_pid" 2>/dev/null; rm -rf "$work"' EXIT

python3 tools/feed_server.py --port 0 --port-file "$work/port" >/dev/null &
server_pid=$!
for _ in $(seq 100); do [ -s "$work/port" ] && break; sleep 0.05; done
port=$(cat "$work/port")
echo "feed server: http://127.0.0.1:$port (the bundled local feed)"

rm -rf "$profile"
"$host" --profile "$profile" init --address demo@gridwren.example >/dev/null
# Every request of the plug-in goes to the local server, as to a proxy.
"$host" --profile "$profile" settings TUServer 127.0.0.1
"$host" --profile "$profile" settings TUPort "$port"

echo "--- the mail client starts the plug-in (it checks the usage at once):"
"$host" --profile "$profile" start
echo "--- the settings' test mail button:"
"$host" --profile "$profile" check --test

curl -s --noproxy '*' "http://127.0.0.1:$port/latest.json" -o "$work/latest.json"
echo "--- the reading:"
"$host" read-feed "$work/latest.json"
echo "--- queued in the outbox ($profile/data/MailBox1/outbox/new):"
"$host" --profile "$profile" outbox | while IFS=$'\t' read -r file subject to size; do
  echo "$profile/data/MailBox1/outbox/new/$file"
  echo "  Subject: $subject"
  echo "  To: $to ($size)"
done
echo "--- see one with: $host --profile $profile outbox show FILE"
