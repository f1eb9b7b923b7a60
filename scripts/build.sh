#!/usr/bin/env bash
# Configures and builds one or both builds into build/.
#   scripts/build.sh native     libgridwren.so, gridwren-host, tests -> build/native
#   scripts/build.sh windows    Gridwren.dll and the Wine test hosts -> build/windows
#   scripts/build.sh all        both
set -euo pipefail
cd "$(dirname "$0")/.."

jobs=$(nproc 2>/dev/null || echo 2)
build_native() {
  cmake -S . -B build/native -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo "$@" >/dev/null
  cmake --build build/native -j"$jobs"
}
build_windows() {
  cmake -S . -B build/windows -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-i686.cmake \
    -DCMAKE_BUILD_TYPE=Release >/dev/null
  cmake --build build/windows -j"$jobs"
}

case "${1:-all}" in
  native) shift || true; build_native "$@" ;;
  windows) build_windows ;;
  all) build_native; build_windows ;;
  -h|--help) sed -n '2,5p' "$0" | sed 's/^# \{0,1\}//' ;;
  *) echo "build: unknown target '$1' (native, windows or all)" >&2; exit 2 ;;
esac
