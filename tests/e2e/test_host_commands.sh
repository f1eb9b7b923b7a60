# The stand-in host as a user meets it: help, usage errors, a first start,
# a test mail, and the feed reader.
source "$(dirname "$0")/lib.sh"

out=$("$HOST" --help)
check "program help lists the commands" contains "$out" "read-feed"
for cmd in init start settings check run read-feed outbox; do
  check "$cmd --help" bash -c "\"$HOST\" $cmd --help >/dev/null"
done
set +e
"$HOST" frobnicate 2>"$WORK/err"; rc=$?
set -e
check "unknown command exits 2 with one line" test "$rc" -eq 2 -a "$(wc -l <"$WORK/err")" -eq 1
set +e
"$HOST" --profile "$WORK/none" start 2>"$WORK/err"; rc=$?
set -e
check "missing profile exits 1 naming the cause" test "$rc" -eq 1
check "  ... and says how to create one" grep -q "gridwren-host init" "$WORK/err"

deep="$WORK/new/user/gridwren"
check "init creates the missing folders above the profile" bash -c "\"$HOST\" --profile \"$deep\" init >/dev/null"
check "  ... and the profile works" bash -c "\"$HOST\" --profile \"$deep\" settings TUPause 1"
touch "$WORK/plain"
set +e
"$HOST" --profile "$WORK/plain/profile" init 2>"$WORK/err"; rc=$?
set -e
check "init under a file exits 1 naming it" test "$rc" -eq 1 -a "$(cat "$WORK/err")" = \
  "gridwren-host: init: $WORK/plain: exists and is not a folder"

start_server --usage 3650 --capacity 4000 --hour 14
new_profile taro@example.jp
out=$(host start)
check "start runs the start-up check" contains "$out" "sent: notification queued"
out=$(host settings)
check "start wrote the defaults" contains "$out" "TUInterval REG_SZ 30"
check "  ... and the address" contains "$out" "TUAddress REG_SZ taro@example.jp"
check "  ... and recorded the evaluation" contains "$out" "TULastHour REG_DWORD 14"

out=$(host check)
check "a second check meets the hour gate" contains "$out" "skipped: same hour as the last reading (0x80004004)"
out=$(host check --test)
check "test mail prints the message box text" test "$out" = "電力使用状況を知らせるテストメールを送信しました。"
check "two mails are queued" test "$(ls "$PROFILE/data/MailBox1/outbox/new" | wc -l)" -eq 2
check "every delivery was requested" test "$(grep -c 'command Deliver (main window)' "$PROFILE/host.log")" -eq 2

host settings TUPort 1
set +e
out=$(host check --test); rc=$?
set -e
check "unreachable feed: failure text with the code" test "$out" = "電力情報の取得に失敗しました。エラーコード：0x80072efd"
check "  ... and exit 1" test "$rc" -eq 1

printf '{"usagex": 1, "usage": 3512, "capacity": "4810", "year":2011, "month" : 8, "day": 25 , "hour": 14}' >"$WORK/feed.json"
out=$(host read-feed "$WORK/feed.json")
check "read-feed gives the worked example" test "$out" = "usage=3512 capacity=4810 year=2011 month=8 day=25 hour=14 percent=73"
set +e
host read-feed "$WORK/missing.json" 2>/dev/null; rc=$?
set -e
check "read-feed of a missing file exits 1" test "$rc" -eq 1

host settings TUPassword 'パスワード'
check "password prints decoded with --plain" test "$(host settings TUPassword --plain)" = "パスワード"
check "  ... and is never stored in plain text" bash -c "! grep -q 'パスワード' <(\"$HOST\" --profile \"$PROFILE\" settings)"
finish
