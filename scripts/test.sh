#!/usr/bin/env bash
# Builds both builds and runs every test layer: native unit and end-to-end
# tests (ctest), the main job, the real DLL under Wine, the setup program
# under Wine, and the fuzzers for a bounded time.
# Installs what it needs first. Usage: scripts/test.sh [--help]
set -euo pipefail
cd "$(dirname "$0")/.."
case "${1:-}" in -h|--help) sed -n '2,5p' "$0" | sed 's/^# \{0,1\}//'; exit 0 ;; esac

# Tests never reach a real host; a proxy from the environment must not
# redirect their local traffic either.
unset http_proxy https_proxy HTTP_PROXY HTTPS_PROXY all_proxy ALL_PROXY

scripts/install-deps.sh all
scripts/build.sh all

failed=()
run_layer() {
  local name=$1; shift
  echo "=== $name"
  if "$@"; then echo "=== $name: ok"; else echo "=== $name: FAILED"; failed+=("$name"); fi
}

run_layer "native tests" ctest --test-dir build/native --output-on-failure -j2
# The README's main job, as a new user runs it: it must end well and leave
# the mail's two graphs where it says.
demo_runs() { scripts/demo.sh && [ -s build/demo/meter_setsuden.gif ] && [ -s build/demo/juyo-j.gif ]; }
run_layer "main job" demo_runs
[ -x tests/wine/run.sh ] && run_layer "wine tests" tests/wine/run.sh build/windows
# The setup program under Wine: installs, upgrade, a held DLL, uninstall.
[ -x tests/wine/installer.sh ] && run_layer "setup program tests" tests/wine/installer.sh build/windows
[ -x fuzz/run.sh ] && run_layer "fuzzing" fuzz/run.sh build/fuzz

if [ ${#failed[@]} -ne 0 ]; then
  echo "test layers failed: ${failed[*]}"
  exit 1
fi
echo "all test layers passed"
