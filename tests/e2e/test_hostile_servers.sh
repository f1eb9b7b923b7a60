# What a hostile server, a read-only settings file or closing the mail
# client does to a check, as a new user would meet them through the
# stand-in host: an oversized graph, counters that cannot be written, and a
# stop signal while a trickling feed holds the check. No mail may go out, no
# temporary file may stay behind, and the stop must come long before the
# two-minute download deadline would have ended the check.
source "$(dirname "$0")/lib.sh"

mails() { ls "$PROFILE/data/MailBox1/outbox/new" 2>/dev/null | wc -l; }
temps() { ls "$PROFILE/temp" | wc -l; }
requests_for() { grep -c "\"path\": \"$1" "$WORK/requests.log" || true; }
# A profile as after the first start: three mails a day from 90 %.
limits() { host settings TUMessages 3; host settings TUPercent 90; }

# File modes bind only ordinary users: as root, the host runs as nobody.
as_user() {
  if [ "$(id -u)" -eq 0 ]; then
    chmod 755 "$WORK"
    chown -R nobody:nogroup "$PROFILE"
    setpriv --reuid=nobody --regid=nogroup --clear-groups -- "$HOST" --profile "$PROFILE" "$@"
  else
    host "$@"
  fi
}

# --- a 5 MiB "GIF" ----------------------------------------------------------
start_server --fault /images/meter/meter_setsuden.gif=size:5M
new_profile
limits
set +e
out=$(host check --test); rc=$?
set -e
check "5 MiB graph: the test mail reports 0x800700df" \
  test "$out" = "電力情報の取得に失敗しました。エラーコード：0x800700df"
check "  ... and exits 1" test "$rc" -eq 1
host settings TULastHour 88
set +e
out=$(host check); rc=$?
set -e
check "  ... a periodic check fails alike" test "$out" = "failed: meter image too large (0x800700df)"
check "  ... no mail is queued" test "$(mails)" -eq 0
check "  ... no delivery requested" bash -c "! grep -qs Deliver '$PROFILE/host.log'"
check "  ... no temporary file is left" test "$(temps)" -eq 0

# --- settings that can be read but not written --------------------------------
start_server
new_profile
limits
host settings TULastDay "$(date +%-d)"
host settings TULastHour 88
chmod 444 "$PROFILE/registry.db"
graphs=$(requests_for /images)$(requests_for /forecast)
for _ in 1 2 3; do
  set +e
  out=$(as_user check); rc=$?
  set -e
done
check "read-only settings: the check fails with the write's code" \
  test "$out" = "failed: settings could not be written (0x80070005)"
check "  ... and exits 1" test "$rc" -eq 1
check "  ... three checks fetch no graph" test "$(requests_for /images)$(requests_for /forecast)" = "$graphs"
check "  ... and queue no mail" test "$(mails)" -eq 0
set +e
out=$(as_user check --test)
set -e
check "  ... the test mail says so too" test "$out" = "電力情報の取得に失敗しました。エラーコード：0x80070005"
check "  ... and queues nothing" test "$(mails)" -eq 0

# --- a stop signal while a trickling feed holds the check -----------------
start_server --fault /latest.json=trickle
new_profile
stop_during_check() {  # SIGNAL COMMAND...: stop the command once it waits for the feed
  local signal=$1 before
  shift
  before=$(requests_for /latest.json)
  "$HOST" --profile "$PROFILE" "$@" >"$WORK/stop.out" 2>&1 &
  local pid=$! i
  for i in $(seq 300); do
    [ "$(requests_for /latest.json)" -gt "$before" ] && break
    sleep 0.1
  done
  kill "-$signal" "$pid"
  # Generous: the check's own deadline is 120 s.
  for i in $(seq 300); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
  if kill -0 "$pid" 2>/dev/null; then
    kill -KILL "$pid"
    wait "$pid" 2>/dev/null || true
    STOP_RC=timeout
  else
    set +e
    wait "$pid"; STOP_RC=$?
    set -e
  fi
}
for command in start check "check --test" "run --tick-ms 100"; do
  signal=TERM
  [ "$command" = check ] && signal=INT
  # shellcheck disable=SC2086 # the command and its options
  stop_during_check "$signal" $command
  check "$command: SIG$signal ends it within 30 s (status $STOP_RC)" test "$STOP_RC" != timeout
  check "  ... it says why" grep -q "stopping; the running check is cancelled" "$WORK/stop.out"
  check "  ... the check ends cancelled (0x80004004)" grep -q "0x80004004" "$WORK/stop.out"
  check "  ... no mail is queued" test "$(mails)" -eq 0
  check "  ... no temporary file is left" test "$(temps)" -eq 0
done
finish
