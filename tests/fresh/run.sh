#!/usr/bin/env bash
# The new user's first command on a fresh machine. Bootstraps a minimal
# Debian 12 root (debootstrap --variant=minbase bookworm, from Debian's
# archive), clones this checkout's committed HEAD into /root/gridwren there
# and runs scripts/demo.sh in it as root, as the README tells a new user: it
# installs the native set itself, builds, and must end well and leave the
# mail's two graphs in build/demo/.
#
# The bootstrapped base root is kept between runs, outside the clone, in
# $GRIDWREN_FRESH_CACHE/bookworm-minbase (default /var/cache/gridwren-fresh);
# each run works on a copy of it under /var/tmp and removes the copy. Delete
# the cached base to bootstrap anew.
#
# Needs root, debootstrap (Debian package debootstrap) and access to
# http://deb.debian.org/debian. Where it cannot run it says why in one line
# and exits 77 (skipped). Exit status: 0 passed, 1 failed, 77 skipped.
# Usage: tests/fresh/run.sh [--help]
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
case "${1:-}" in
  -h|--help) sed -n '2,17p' "$0" | sed 's/^# \{0,1\}//'; exit 0 ;;
  "") ;;
  *) echo "fresh root: unknown option '$1' (--help)" >&2; exit 2 ;;
esac

release=bookworm
mirror=http://deb.debian.org/debian
cache=${GRIDWREN_FRESH_CACHE:-/var/cache/gridwren-fresh}
base=$cache/$release-minbase

skip() { echo "fresh root: skipped: $*"; exit 77; }
[ "$(id -u)" -eq 0 ] || skip "needs root (debootstrap, chroot and mounts)"
command -v debootstrap >/dev/null || skip "debootstrap is not installed (Debian package debootstrap; scripts/install-deps.sh all)"
src=$(cd "$here/../.." && pwd)
unshare --mount --pid --fork true 2>/dev/null || skip "this machine does not allow a private mount namespace (unshare --mount --pid)"

minutes() { printf '%d min %02d s' $(($1 / 60)) $(($1 % 60)); }
started=$SECONDS
root=
runner=
log=$(mktemp)
cleanup() {
  # The run's mounts live in its own namespace and end with its last
  # process; the copy is removed only once nothing is mounted inside it.
  if [ -n "$runner" ]; then kill "$runner" 2>/dev/null || true; wait "$runner" 2>/dev/null || true; fi
  if [ -n "$root" ]; then
    if grep -qF " $root/" /proc/self/mounts; then
      echo "fresh root: $root still has mounts; left in place" >&2
    else
      rm -rf --one-file-system "$root"
    fi
  fi
  rm -f "$log"
}
trap cleanup EXIT
trap 'exit 130' INT
trap 'exit 143' TERM

fail() {
  echo "fresh root: FAILED: $1"
  if [ -s "$log" ]; then echo "--- its output:"; cat "$log"; echo "---"; fi
  exit 1
}

# The base root: made once, under a lock, and published by a rename so that
# an interrupted bootstrap never passes for a finished one.
mkdir -p "$cache"
exec 9>"$cache/.lock"
flock 9
if [ ! -d "$base" ]; then
  rm -rf --one-file-system "$base.partial"
  t=$SECONDS
  echo "fresh root: bootstrapping $release (minbase) from $mirror into $base"
  debootstrap --variant=minbase "$release" "$base.partial" "$mirror" >"$log" 2>&1 \
    || fail "debootstrap --variant=minbase $release $base.partial $mirror"
  mv "$base.partial" "$base"
  echo "fresh root: base root made in $(minutes $((SECONDS - t)))"
fi
root=$(mktemp -d /var/tmp/gridwren-fresh.XXXXXX)
cp -a "$base/." "$root/" 2>"$log" || fail "copying the base root $base to $root"
flock -u 9

# The clone holds what is committed: HEAD of this checkout, not its working
# files. A source tree without git (an unpacked archive) is copied instead.
clone=$root/root/gridwren
if head=$(git -C "$src" rev-parse --verify -q HEAD 2>/dev/null); then
  git -C "$src" diff --quiet HEAD -- 2>/dev/null || echo "fresh root: testing commit ${head:0:10}; uncommitted changes are not in it"
  git clone -q "$src" "$clone" >"$log" 2>&1 || fail "git clone $src"
  if [ "$(git -C "$clone" rev-parse HEAD)" != "$head" ]; then
    git -C "$clone" checkout -q --detach "$head" >"$log" 2>&1 || fail "checking out ${head:0:10} in the clone"
  fi
  what="commit ${head:0:10}"
else
  echo "fresh root: $src is not a git checkout; copying its files instead of cloning"
  mkdir -p "$clone"
  tar -C "$src" --exclude='./build*' --exclude=./.git -cf - . 2>"$log" | tar -C "$clone" -xf - 2>>"$log" \
    || fail "copying $src into the fresh root"
  what="the files of $src"
fi
# Name resolution as on this machine; apt reaches the archive directly.
cp /etc/resolv.conf "$root/etc/resolv.conf"

# In a mount and process namespace of its own: every mount and every process
# left by the run ends with it, whatever way it ends.
t=$SECONDS
echo "fresh root: running scripts/demo.sh in a fresh $release root ($what)"
timeout --kill-after=30 60m unshare --mount --pid --fork --kill-child -- bash -c '
  set -e
  r=$1
  mount -t proc proc "$r/proc"
  mount -t sysfs -o ro sysfs "$r/sys"
  mount --rbind /dev "$r/dev"
  exec chroot "$r" /usr/bin/env -i HOME=/root TERM=dumb \
    PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin \
    /bin/bash -c "cd /root/gridwren && scripts/demo.sh"
' fresh-root "$root" >"$log" 2>&1 &
runner=$!
status=0
wait "$runner" || status=$?
runner=
case $status in
  0) ;;
  124|137) fail "scripts/demo.sh did not end within 60 minutes" ;;
  *) fail "scripts/demo.sh in the fresh root (exit status $status)" ;;
esac
for graph in meter_setsuden.gif juyo-j.gif; do
  [ -s "$clone/build/demo/$graph" ] || fail "scripts/demo.sh ended well but left no build/demo/$graph"
done
echo "fresh root: scripts/demo.sh passed in $(minutes $((SECONDS - t))) and left build/demo/meter_setsuden.gif and juyo-j.gif (whole layer $(minutes $((SECONDS - started))))"
