#!/usr/bin/env bash
# The main job, on this machine: builds the native plug-in and the stand-in
# mail client, creates a demo profile and starts the plug-in in it the way
# the mail client does, then shows the settings the plug-in wrote.
# Usage: scripts/demo.sh [--help]
set -euo pipefail
cd "$(dirname "$0")/.."
case "${1:-}" in -h|--help) sed -n '2,5p' "$0" | sed 's/^# \{0,1\}//'; exit 0 ;; esac
unset http_proxy https_proxy HTTP_PROXY HTTPS_PROXY all_proxy ALL_PROXY

scripts/install-deps.sh native
scripts/build.sh native >/dev/null

host=build/native/bin/gridwren-host
profile=build/demo-profile
rm -rf "$profile"
"$host" --profile "$profile" init --address demo@gridwren.example

# The plug-in starts a usage check at start-up. The demo must never reach the
# real usage service, so monitoring stays paused until a local feed is set.
"$host" --profile "$profile" settings TUPause 1

"$host" --profile "$profile" start
echo "--- settings written by the plug-in:"
"$host" --profile "$profile" settings
