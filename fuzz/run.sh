#!/usr/bin/env bash
# Builds the fuzz targets and runs each for a bounded time on a copy of its
# seed corpus. Exits non-zero when any target finds a crash, a sanitizer
# report, a broken invariant, a leak or a time-out.
#   fuzz/run.sh [build-folder]      (default build-fuzz)
#   FUZZ_SECONDS=60 fuzz/run.sh     (seconds per target, default 30)
# The targets are those listed in GW_FUZZ_TARGETS in fuzz/CMakeLists.txt; a
# new one is added there (source fuzz/<name>.cpp, seeds fuzz/corpus/<name
# without fuzz_>/) and this script picks it up.
set -euo pipefail
case "${1:-}" in -h | --help) sed -n '2,/^[^#]/{/^#/{s/^# \{0,1\}//;p}}' "$0"; exit 0 ;; esac

here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
build="${1:-build-fuzz}"
seconds="${FUZZ_SECONDS:-30}"

generator=()
if command -v ninja >/dev/null 2>&1; then generator=(-G Ninja); fi
CC=clang CXX=clang++ cmake -S "$here" -B "$build" "${generator[@]}" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" -j2
build="$(cd "$build" && pwd)"

failed=()
while read -r target; do
  [[ -n "$target" ]] || continue
  corpus="$build/corpus/${target#fuzz_}"
  artifacts="$build/artifacts/$target"
  mkdir -p "$corpus" "$artifacts"
  seeds="$here/corpus/${target#fuzz_}"
  if [[ -d "$seeds" ]]; then cp -R "$seeds/." "$corpus/"; fi
  echo "== $target: ${seconds}s"
  # libFuzzer reports every new input; keep that in a log and show the
  # summary, or the whole tail when the target found something.
  log="$build/$target.log"
  if "$build/$target" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
      -print_final_stats=1 -artifact_prefix="$artifacts/" "$corpus" >"$log" 2>&1; then
    grep -E '^(Done|stat::number_of_executed_units|stat::peak_rss_mb)' "$log" || true
  else
    tail -n 60 "$log"
    failed+=("$target")
  fi
done < "$build/fuzz_targets.txt"

if ((${#failed[@]})); then
  echo "fuzzing found problems in: ${failed[*]} (inputs under $build/artifacts/)" >&2
  exit 1
fi
echo "fuzzing: no findings"
