# Minute ticks through the loaded plug-in, and unloading while a check waits
# for a slow feed: the unload must wait for it, and nothing may crash.
source "$(dirname "$0")/lib.sh"

start_server --usage 3000 --capacity 4000
new_profile
host settings TUInterval 2
out=$(host run --ticks 6 --tick-ms 20)
check "start check plus one per second tick" test "$(grep -c '^check ' <<<"$out")" -eq 4
check "  ... the first evaluates the reading" contains "$out" "skipped: below threshold (0x80004004)"
check "  ... the later ones meet the hour gate" contains "$out" "skipped: same hour as the last reading"

start_server --usage 3900 --capacity 4000 --fault /latest.json=delay:2
new_profile
started=$(date +%s.%N)
out=$(host start)
elapsed=$(awk -v a="$started" -v b="$(date +%s.%N)" 'BEGIN { print b - a }')
check "start waits for its slow check before unloading" contains "$out" "sent: notification queued"
check "  ... which took the feed's delay" awk -v e="$elapsed" 'BEGIN { exit !(e >= 2) }'
check "  ... and its mail is in the outbox" test "$(ls "$PROFILE/data/MailBox1/outbox/new" | wc -l)" -eq 1
check "  ... and no temporary file is left" test "$(ls "$PROFILE/temp" | wc -l)" -eq 0

# Ctrl-C while checks are in progress: the run stops at once, as the mail
# client's exit stops the plug-in, and the checks end cancelled.
host settings TUInterval 1
"$HOST" --profile "$PROFILE" run --tick-ms 100 >"$WORK/run.out" 2>&1 &
run_pid=$!
sleep 1
kill -INT "$run_pid"
set +e
wait "$run_pid"; rc=$?
set -e
check "Ctrl-C stops the run cleanly" test "$rc" -eq 0
check "  ... the running check ended cancelled" grep -q '^check 1 .*the mail client is exiting (0x80004004)' "$WORK/run.out"
check "  ... and queued no mail" test "$(ls "$PROFILE/data/MailBox1/outbox/new" | wc -l)" -eq 1
finish
