#!/usr/bin/env bash
# The notification mail through the stand-in mail client, as a user meets it:
# a test mail from a check against the local feed server, then the outbox
# command that lists and shows it, and the stored file read by Python's mail
# packages (check_mail.py beside this script).
#   test_outbox.sh HOST_EXE PLUGIN_SO SOURCE_DIR
set -uo pipefail
host=$1 plugin=$2 source=$3
work=$(mktemp -d)
server=""
cleanup() {
  [ -n "$server" ] && kill "$server" 2>/dev/null && wait "$server" 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT

passed=0 failed=0
check() {  # check NAME COMMAND...
  local name=$1; shift
  if "$@"; then passed=$((passed + 1)); echo "ok      $name"
  else failed=$((failed + 1)); echo "FAILED  $name"; fi
}
gw() { "$host" --profile "$work/profile" --plugin "$plugin" "$@"; }
status_of() { "$@" >/dev/null 2>&1; echo $?; }

python3 "$source/tools/feed_server.py" --port 0 --port-file "$work/port" \
  --usage 3650 --capacity 4000 --year 2011 --month 6 --day 1 --hour 9 >/dev/null 2>&1 &
server=$!
for _ in $(seq 100); do [ -s "$work/port" ] && break; sleep 0.1; done

gw init --address gridwren@example.jp >/dev/null
gw settings TUServer 127.0.0.1 >/dev/null
gw settings TUPort "$(cat "$work/port")" >/dev/null
gw settings TUAddress '山田 太郎 <taro@example.jp>, hanako@example.jp' >/dev/null
check "test mail sent" gw check --test

outbox="$work/profile/data/MailBox1/outbox"
list=$(gw outbox)
name=$(ls "$outbox/new")
size=$(stat -c %s "$outbox/new/$name")
check "outbox lists the message" test "$list" = \
  "$name"$'\t'"【Gridwren】電力使用率 91%"$'\t'"山田 太郎 <taro@example.jp>, hanako@example.jp"$'\t'"$size bytes"

shown=$(gw outbox show "$name")
check "show decodes the subject" grep -qxF "Subject: 【Gridwren】電力使用率 91%" <<<"$shown"
check "show converts the text part" grep -qxF "更新日時 = 2011年6月1日 9時" <<<"$shown"
check "show sums up the HTML part" grep -q "^--- text/html; charset=ISO-2022-JP: .* 2 of them embedded ---$" <<<"$shown"

check "unknown message: exit 1" test "$(status_of gw outbox show no-such-file)" = 1
check "show without a name: exit 2" test "$(status_of gw outbox show)" = 2
check "stray argument: exit 2" test "$(status_of gw outbox list)" = 2
check "help: exit 0" test "$(status_of gw outbox --help)" = 0

check "mail programs read it" python3 "$source/tests/e2e/check_mail.py" "$outbox" \
  "$source/tools/feed/meter_setsuden.gif" "$source/tools/feed/juyo-j.gif" "$work/profile/host.log"

echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
