#!/usr/bin/env bash
# Installs the Debian 12 packages that a build needs. Safe to run again: when
# everything is present it returns at once without touching apt.
#   scripts/install-deps.sh native    the native build, its tests and the demo
#   scripts/install-deps.sh all       also the Windows build, Wine, Xvfb, NSIS, fuzzing, Chromium,
#                                     debootstrap for the fresh-root layer
#   scripts/install-deps.sh bench     native, plus wrk and nginx for bench/bridge_vs_nginx.sh, strace for bench/bridge_idle.sh
#   scripts/install-deps.sh docs      native, plus Chromium and ImageMagick for tools/mail_view.py
#   scripts/install-deps.sh SET PACKAGE...   the set and these packages too
# Needs root or sudo when something is missing. When apt fails, it names the
# step (apt-get update or install) and shows apt's messages.
set -euo pipefail
PROG=install-deps
source "$(dirname "$0")/lib/steps.sh"

what=${1:-all}
shift || true
# Every build checks the guide's 「」 texts, setup's standard pages among
# them, against NSIS's own Japanese: nsis-common holds those files (and no
# program), so the native build needs it too.
native=(build-essential cmake ninja-build pkg-config libcurl4-openssl-dev libsqlite3-dev
        libgtest-dev libgmock-dev libbenchmark-dev python3 curl time
        libboost-dev libgd-dev fonts-ipafont-gothic fonts-dejavu-core cmark nsis-common faketime prometheus)
windows=(g++-mingw-w64-i686 wine wine32:i386 wine64 xvfb xauth x11-apps imagemagick
         fonts-ipafont-gothic locales clang libclang-rt-14-dev iproute2 nsis xdotool x11-utils libz-mingw-w64-dev
         debootstrap)
# The bridge's benchmark runs nginx itself, in the foreground; the package's
# own service is not wanted and is not started by this script's installs.
# The idle benchmark counts the bridge's system calls with strace.
bench=(wrk nginx-light strace)
docs=(chromium imagemagick)
# The monitoring test runs Prometheus itself (and promtool), on loopback,
# under a configuration of its own; see the service rules at the install.
# The status page's test drives headless Chromium through its WebDriver.
browser=(chromium chromium-driver)

case "$what" in
  native) wanted=("${native[@]}") ;;
  all) wanted=("${native[@]}" "${windows[@]}" "${browser[@]}") ;;
  bench) wanted=("${native[@]}" "${bench[@]}") ;;
  docs) wanted=("${native[@]}" "${docs[@]}") ;;
  -h|--help) sed -n '2,11p' "$0" | sed 's/^# \{0,1\}//'; exit 0 ;;
  *) echo "install-deps: unknown set '$what' (native, all, bench or docs)" >&2; exit 2 ;;
esac
wanted+=("$@")

missing=()
for p in "${wanted[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

sudo=""
if [ "$(id -u)" -ne 0 ]; then
  command -v sudo >/dev/null || { echo "install-deps: need root (or sudo) to install: ${missing[*]}" >&2; exit 1; }
  sudo=sudo
fi
echo "install-deps: installing ${missing[*]}"
if printf '%s\n' "${missing[@]}" | grep -q ':i386$'; then
  quietly "adding the i386 architecture (dpkg)" $sudo dpkg --add-architecture i386
fi
export DEBIAN_FRONTEND=noninteractive
quietly "apt-get update" $sudo apt-get update -qq
# Packages with a service (nginx, prometheus) must not start it: exit 101 of a
# policy-rc.d tells Debian's maintainer scripts not to, for this install only.
policy=/usr/sbin/policy-rc.d
if [ ! -e "$policy" ]; then
  printf '#!/bin/sh\nexit 101\n' | $sudo tee "$policy" >/dev/null
  $sudo chmod 755 "$policy"
  trap '$sudo rm -f "$policy"' EXIT
fi
# Prometheus's package would also run an exporter it recommends, and enable
# its own service for the next boot: neither is wanted on a build machine.
plain=() services=()
for p in "${missing[@]}"; do
  case "$p" in prometheus) services+=("$p") ;; *) plain+=("$p") ;; esac
done
[ ${#plain[@]} -eq 0 ] || quietly "apt-get install" $sudo apt-get install -y -qq "${plain[@]}"
if [ ${#services[@]} -ne 0 ]; then
  quietly "apt-get install (without recommends)" $sudo apt-get install -y -qq --no-install-recommends "${services[@]}"
  if command -v systemctl >/dev/null; then $sudo systemctl disable "${services[@]}" >/dev/null 2>&1 || true; fi
fi
