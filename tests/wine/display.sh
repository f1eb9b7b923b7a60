# Sourced by the Wine layers (run.sh, installer.sh): a private X display.
# Needs WORK (where Xvfb's log and display number go) and die; sets
# XVFB_PID, which the caller's clean-up ends, and exports DISPLAY.

# Xvfb picks a free display itself and reports it once it accepts clients.
start_display() {
  local number_file=$WORK/xvfb.display i
  : >"$number_file"
  Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$number_file" >"$WORK/xvfb.log" 2>&1 &
  XVFB_PID=$!
  for i in $(seq 100); do
    [ -s "$number_file" ] && break
    kill -0 "$XVFB_PID" 2>/dev/null || die "Xvfb did not start: $(tail -3 "$WORK/xvfb.log")"
    sleep 0.1
  done
  [ -s "$number_file" ] || die "Xvfb did not report a display"
  export DISPLAY=":$(head -n1 "$number_file")"
}
