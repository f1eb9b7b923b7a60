# The scripts a user runs never fail without a word: a failing step is named
# and its own output shown. Planted for real: a build that does not compile,
# in a copy of the tree, and a package apt does not know.
source "$(dirname "$0")/lib.sh"

# The demo in a copy of the tree whose every source file has a syntax error,
# so that whichever the build compiles first fails at once.
tree=$WORK/tree
mkdir -p "$tree"
tar -C "$SRC" --exclude='./build*' --exclude=./.git -cf - . | tar -C "$tree" -xf -
find "$tree" -name '*.cpp' -exec sed -i '1i int gridwren_planted_fault = ;' {} +
set +e
"$tree/scripts/demo.sh" >"$WORK/out" 2>&1; rc=$?
set -e
out=$(cat "$WORK/out")
check "demo with a build that fails exits non-zero" test "$rc" -ne 0
check "  ... names the failing step" contains "$out" "demo: building failed (exit status 1): scripts/build.sh native"
check "  ... and shows the compiler's error" grep -qE '\.cpp:1:[0-9]+: error: ' "$WORK/out"
check "  ... under the build's own words" contains "$out" "build: building build/native failed"

# A package that does not exist, with apt kept to a scratch state of its own
# (APT_CONFIG, apt's own setting): no archive is asked and nothing of the
# machine's apt is touched. Installing needs root.
if [ "$(id -u)" -eq 0 ]; then
  apt=$WORK/apt
  mkdir -p "$apt/lists/partial" "$apt/archives/partial" "$apt/sources.list.d" "$apt/dpkg/updates"
  touch "$apt/sources.list" "$apt/dpkg/status"
  cat >"$apt/apt.conf" <<CONF
Dir::Etc::sourcelist "$apt/sources.list";
Dir::Etc::sourceparts "$apt/sources.list.d";
Dir::State::Lists "$apt/lists";
Dir::State::status "$apt/dpkg/status";
Dir::Cache "$apt/cache";
Dir::Cache::archives "$apt/archives";
CONF
  set +e
  APT_CONFIG=$apt/apt.conf "$SRC/scripts/install-deps.sh" native gridwren-no-such-package >"$WORK/out" 2>&1; rc=$?
  set -e
  out=$(cat "$WORK/out")
  check "install-deps with an unknown package exits non-zero" test "$rc" -ne 0
  check "  ... names the failing step" contains "$out" "install-deps: apt-get install failed"
  check "  ... and shows apt's message" contains "$out" "Unable to locate package gridwren-no-such-package"
else
  echo "SKIP install-deps with an unknown package: needs root"
fi
finish
