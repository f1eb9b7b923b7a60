# Sourced by the bridge's Wine checks: Wine quiet, never through a proxy
# (Wine routes even 127.0.0.1 through one), in the caller's WINEPREFIX or,
# run on their own, in a prefix made once under the folder given.
#   wine_env WORK
wine_env() {
  unset http_proxy https_proxy HTTP_PROXY HTTPS_PROXY all_proxy ALL_PROXY DISPLAY
  export WINEARCH=win32 WINEDEBUG=-all
  export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
  [ -n "${WINEPREFIX:-}" ] && return 0
  export WINEPREFIX=$1/prefix
  if [ ! -f "$WINEPREFIX/system.reg" ]; then
    wineboot -i >"$1/wineboot.log" 2>&1 || { echo "$0: wineboot failed, see $1/wineboot.log" >&2; exit 2; }
    wineserver -w
  fi
}
