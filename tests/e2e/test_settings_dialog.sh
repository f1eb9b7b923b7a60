# The settings dialog and the menu item through the loaded plug-in: natively
# the dialog is a form on standard input, driven here as a user types it.
source "$(dirname "$0")/lib.sh"

start_server --usage 3900 --capacity 4000
new_profile
host start >/dev/null

for cmd in setup menu; do check "$cmd --help" bash -c "\"\$1\" \"\$2\" --help >/dev/null" _ "$HOST" "$cmd"; done

out=$(host menu)
tools=$(sed -n '/ツール(&T)/,/ヘルプ(&H)/p' <<<"$out")
check "menu: the item ends the fifth submenu, after a separator" \
  test "$(tail -n 3 <<<"$tools" | head -n 2 | tr -d ' ')" = "$(printf -- '----\n[40000]Gridwrenを設定する(&9)...')"
check "  ... with the command registered for it" contains "$out" '[40000] kind 0 "Gridwrenを設定する", state 0'
out=$(host menu --kind 1)
check "menu kind 1 adds nothing" contains "$out" "registered commands: none"
check "  ... and no item" bash -c "! grep -q Gridwren <<<\"\$1\"" _ "$out"

# The daily maximum is reached and the hour already evaluated: OK resets both,
# so the check it starts sends at once.
host settings TUMessages 1
host settings TUCount 1
host settings TULastHour "$(date +%-H)"
out=$(printf 'percent=95\naddress=a@example.jp, b@example.jp\nok\n' | host setup)
check "setup: OK ends the form and the callback returns 1" contains "$out" "BKC_OnPlugInSetup returned 1"
check "  ... the check after OK is not held back" contains "$out" "sent: notification queued"
settings=$(host settings)
check "  ... the edits are stored" contains "$settings" "TUPercent REG_SZ 95"
check "  ... the recipients too" contains "$settings" "TUAddress REG_SZ a@example.jp, b@example.jp"

# The end of the input cancels: nothing is stored but the count is reset.
host settings TUCount 1
out=$(printf 'percent=80\n' | host setup)
settings=$(host settings)
check "setup: end of input cancels" contains "$settings" "TUPercent REG_SZ 95"
check "  ... and the count is reset all the same" contains "$settings" "TUCount REG_DWORD 0"

# The menu's command opens the same form; its test mail goes out at once.
host settings TUPause 1
before=$(ls "$PROFILE/data/MailBox1/outbox/new" | wc -l)
out=$(printf 'user=tester\ntest\ncancel\n' | host menu --invoke 2>"$WORK/err")
check "menu --invoke: the test mail is sent though paused" \
  grep -qx "Gridwren: 電力使用状況を知らせるテストメールを送信しました。" "$WORK/err"
check "  ... into the outbox" test "$(ls "$PROFILE/data/MailBox1/outbox/new" | wc -l)" -eq $((before + 1))
check "  ... and its entries were stored before it" contains "$(host settings TUUser)" "TUUser REG_SZ tester"
finish
