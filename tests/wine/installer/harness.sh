# The setup tests' harness, sourced by tests/wine/installer.sh: a private
# display, a Wine prefix per case, running setup, and reading back what it
# left (files, Wine's sc and reg).

source "$SRC/tests/wine/display.sh"

# One prefix made with wineboot per build folder; each case copies it.
make_template() {
  local template=$WORK/prefix-template fresh=$WORK/prefix-template.tmp
  [ -e "$template/.gwi-ready" ] && return 0
  rm -rf "$template" "$fresh"
  PREFIXES+=("$fresh")
  say "creating the Wine prefix template (once)"
  WINEPREFIX=$fresh in_locale wineboot -i </dev/null >"$WORK/wineboot.log" 2>&1 || die "wineboot failed, see $WORK/wineboot.log"
  # Without a window manager Wine otherwise waits 2 s at every window close.
  WINEPREFIX=$fresh in_locale wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f </dev/null >/dev/null 2>&1
  WINEPREFIX=$fresh in_locale wine reg add 'HKCU\Software\Wine\Fonts\Replacements' /v 'MS UI Gothic' /d 'IPAPGothic' /f \
    </dev/null >/dev/null 2>&1
  WINEPREFIX=$fresh in_locale wineserver -w
  touch "$fresh/.gwi-ready"
  mv "$fresh" "$template"
}

RUN=$WORK/run
rm -rf "$RUN"
PASSED=0
FAILED=0
PROGRAM='C:\Program Files\Gridwren'
PLUGINS='C:\gw-test\B2\PlugIns'
SETTINGS='HKCU\Software\RimArts\B2\Settings'
UNINSTALL='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\Gridwren'
SERVICE='HKLM\System\CurrentControlSet\Services\GridwrenBridge'

# A case: a fresh prefix copy, with one user process kept alive for its
# length (Wine ends the prefix's services when none is left).
begin_case() {
  CASE=$1
  CASE_DIR=$RUN/$1
  ERRORS=()
  mkdir -p "$CASE_DIR"
  cp -a "$WORK/prefix-template" "$CASE_DIR/prefix"
  export WINEPREFIX=$CASE_DIR/prefix
  PREFIXES+=("$WINEPREFIX")
  C=$WINEPREFIX/drive_c
  in_locale wineserver -p
  mkfifo "$CASE_DIR/keep.in"
  in_locale wine cmd <"$CASE_DIR/keep.in" >"$CASE_DIR/keep.log" 2>&1 &
  KEEP_PID=$!
  exec {KEEP_FD}>"$CASE_DIR/keep.in"
}

end_case() {
  # The prefix's own processes may hold the pipe too: end them all.
  exec {KEEP_FD}>&-
  wineserver -k >/dev/null 2>&1 || true
  wait "$KEEP_PID" 2>/dev/null || true
  if [ ${#ERRORS[@]} -eq 0 ]; then
    echo "PASS $CASE"
    PASSED=$((PASSED + 1))
  else
    echo "FAIL $CASE: ${ERRORS[0]}"
    [ ${#ERRORS[@]} -gt 1 ] && printf '    %s\n' "${ERRORS[@]:1}"
    FAILED=$((FAILED + 1))
  fi
}

fail() { ERRORS+=("$*"); }
expect_eq() { [ "$1" = "$2" ] || fail "$3: got '$1', expected '$2'"; }

# Runs a program of the prefix (a Windows or a Unix path); its exit code in RC.
run_win() {
  RC=0
  in_locale timeout -k 10 180 wine "$@" </dev/null >>"$CASE_DIR/wine.log" 2>&1 || RC=$?
}
run_setup() { run_win "$SETUP" "$@"; }

# "TYPE DATA" of a registry value, or nothing when it or its key is absent.
reg_value() {
  { wine reg query "$1" /v "$2" </dev/null 2>/dev/null || true; } | tr -d '\r' |
    sed -n "s/^    $2    \(REG_[A-Z_]*\)    \{0,1\}\(.*\)\$/\1 \2/p"
}
reg_set() { wine reg add "$1" /v "$2" /t "$3" /d "$4" /f </dev/null >/dev/null 2>&1; }
reg_key_exists() { wine reg query "$1" </dev/null >/dev/null 2>&1; }

# RUNNING, STOPPED, ... as the service manager reports it; nothing when the
# service is not registered.
service_state() {
  wine sc query GridwrenBridge </dev/null 2>/dev/null | tr -d '\r' | sed -n 's/^ *STATE *: *[0-9]* *\([A-Z_]*\).*/\1/p'
}

# The Unix path of a path on the prefix's drive C.
unix_path() {
  local p=${1#C:\\}
  echo "$C/${p//\\//}"
}

# The bridge answers HTTP on 127.0.0.1:$1 (any status: the operator cannot
# be reached from here, so it may have nothing to serve yet).
bridge_answers() {
  local code
  code=$(curl -s -o /dev/null -w '%{http_code}' --max-time 10 "http://127.0.0.1:$1/healthz" || true)
  [ -n "$code" ] && [ "$code" != 000 ]
}

# The mail client's folder: B2.exe in the parent of the plug-in folder.
make_mail_client_folder() {
  mkdir -p "$C/gw-test/B2"
  cp "$HOLDER" "$C/gw-test/B2/B2.exe"
}

# Everything setup may touch, for "nothing changed" comparisons; a key or
# the service that is not there yet is just absent from it.
snapshot() {
  {
    { find "$C/gw-test" "$C/gw test" "$C/gw-program" "$C/Program Files/Gridwren" -printf '%p %s %T@\n' 2>/dev/null ||
      true; } | sort
    local key
    for key in 'HKLM\Software\Gridwren' "$UNINSTALL" "$SERVICE" "$SETTINGS"; do
      wine reg query "$key" /s </dev/null 2>/dev/null | tr -d '\r' || true
    done
    service_state || true
  } >"$1"
}

# Waits (up to 60 s) until PATH is gone: the uninstaller runs from a copy of
# itself that its first process starts and does not wait for.
wait_gone() {
  local i
  for i in $(seq 240); do
    [ -e "$1" ] || return 0
    sleep 0.25
  done
  return 1
}

# The setup's window of the given title appears; its id in WINDOW. When
# none does, the failure names the windows there are and the screen is
# saved beside the case's logs.
wait_window() {
  WINDOW=$(timeout 60 xdotool search --sync --onlyvisible --name "$1" 2>/dev/null | head -n1 || true)
  [ -n "$WINDOW" ] && return 0
  import -window root "$CASE_DIR/screen.png" 2>/dev/null || true
  fail "no window titled '$1' within 60 s; there are: $(xdotool search --onlyvisible --name . getwindowname %@ 2>/dev/null |
    grep -v '^Default IME$' | tr '\n' '|')"
  return 1
}

run_cases() {
  local name
  for name in $CASES; do
    [ -n "${GWI_CASES:-}" ] && [[ " $GWI_CASES " != *" $name "* ]] && continue
    "case_$name"
  done
  return 0
}
