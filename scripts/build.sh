#!/usr/bin/env bash
# Configures and builds one or both builds into build/.
#   scripts/build.sh native     libgridwren.so, gridwren-host, tests -> build/native
#   scripts/build.sh windows    Gridwren.dll and the Wine test hosts -> build/windows
#   scripts/build.sh all        both
# Further arguments after native go to its cmake configuration (-DNAME=VALUE).
# Quiet on success but for the compilers' warnings; when a step fails it
# names the step and shows its output (cmake's, or the compiler's errors).
set -euo pipefail
cd "$(dirname "$0")/.."
PROG=build
source scripts/lib/steps.sh
jobs=$(nproc 2>/dev/null || echo 2)
# Ninja's --quiet leaves out the progress lines: what remains is what the
# compilers and the build's own checks say.
compile() {
  local status=0
  cmake --build "$1" -j"$jobs" -- --quiet || status=$?
  if [ "$status" -ne 0 ]; then
    echo "build: building $1 failed (exit status $status); the errors are above" >&2
    exit "$status"
  fi
}
# cmake's warnings and errors (standard error) are shown as they come; its
# progress (standard output) only when it fails.
configure() {
  local dir=$1 out status=0
  shift
  out=$(mktemp)
  cmake -S . -B "$dir" -G Ninja "$@" >"$out" || status=$?
  if [ "$status" -ne 0 ]; then
    { echo "build: configuring $dir (cmake) failed (exit status $status); its errors are above, its progress:"
      cat "$out"; } >&2
    rm -f "$out"
    exit "$status"
  fi
  rm -f "$out"
}
build_native() {
  configure build/native -DCMAKE_BUILD_TYPE=RelWithDebInfo "$@"
  compile build/native
}
build_windows() {
  configure build/windows -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-i686.cmake -DCMAKE_BUILD_TYPE=Release
  compile build/windows
}

case "${1:-all}" in
  native) shift || true; build_native "$@" ;;
  windows) build_windows ;;
  all) build_native; build_windows ;;
  -h|--help) sed -n '2,8p' "$0" | sed 's/^# \{0,1\}//' ;;
  *) echo "build: unknown target '$1' (native, windows or all)" >&2; exit 2 ;;
esac
