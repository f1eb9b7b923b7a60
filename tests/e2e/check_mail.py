#!/usr/bin/env python3
"""Reads an outbox that holds one notification mail, as a mail program
would, and checks the mail: a test mail of test_outbox.sh (reading of
2011-06-01 9h, 91%, sender gridwren@example.jp, two recipients), or of
another reading given as PERCENT and WHEN (e.g. 81 "2026年12月7日 14時").

    check_mail.py MAILDIR METER_GIF FORECAST_GIF HOST_LOG [PERCENT WHEN]
"""
import base64
import email.utils
import mailbox
import re
import sys
from email import policy

results = []


def check(ok, what):
    print(("ok      " if ok else "FAILED  ") + what)
    results.append(ok)


def main(maildir, meter_gif, forecast_gif, host_log, percent="91", when="2011年6月1日 9時"):
    box = mailbox.Maildir(maildir, factory=None, create=False)
    keys = box.keys()
    check(len(keys) == 1, "one message in the outbox")
    raw = box.get_bytes(keys[0])
    check(all(b < 0x80 for b in raw), "the stored message is 7-bit")
    check(b"\r" not in raw, "Maildir file with LF line ends")
    check(max(len(line) for line in raw.split(b"\n")) <= 998, "no line over 998 octets")
    check(b"__VAR__" not in raw, "no placeholder left")

    msg = box.get_message(keys[0])
    parsed = email.message_from_bytes(raw, policy=policy.default)
    check(parsed.get_content_type() == "multipart/alternative", "multipart/alternative")
    parts = list(parsed.iter_parts())
    check([p.get_content_type() for p in parts] == ["text/plain", "text/html"], "a text and an HTML part")
    check(all(p.get_content_charset() == "iso-2022-jp" for p in parts), "both parts ISO-2022-JP")
    check(str(parsed["Subject"]) == f"【Gridwren】電力使用率 {percent}%", "Subject: " + str(parsed["Subject"]))
    sender = parsed["From"].addresses[0]
    check((sender.display_name, sender.addr_spec) == ("Gridwren", "gridwren@example.jp"), "From: " + str(sender))
    to = [(a.display_name, a.addr_spec) for a in parsed["To"].addresses]
    check(to == [("山田 太郎", "taro@example.jp"), ("", "hanako@example.jp")], "To: %r" % to)
    date = email.utils.parsedate_to_datetime(msg["Date"])
    check(date.tzinfo is not None, "Date with a zone: " + msg["Date"])
    check(re.fullmatch(r"<[^<>@\s]+@example\.jp>", msg["Message-ID"]) is not None, "Message-ID " + msg["Message-ID"])

    text = parts[0].get_content().splitlines()
    check(text[7] == f"更新日時 = {when}", "text line 8: " + text[7])
    check(text[6] == f"使用率 = {percent}%", "text line 7: " + text[6])
    html = parts[1].get_content()
    images = re.findall(r'src="data:image/gif;base64,([^"]*)"', html)
    check(len(images) == 2, "two embedded images")
    for data, path in zip(images, (meter_gif, forecast_gif)):
        with open(path, "rb") as f:
            check(base64.b64decode("".join(data.split())) == f.read(), "image is exactly " + path)
    with open(host_log, encoding="utf-8") as f:
        log = f.read()
    check("command Deliver (main window)" in log, "Deliver requested with the main window")
    failed = results.count(False)
    print("%d passed, %d failed" % (len(results) - failed, failed))
    return 1 if failed else 0


if __name__ == "__main__":
    if sys.argv[1:2] in (["-h"], ["--help"]):
        print(__doc__.strip())
        sys.exit(0)
    if len(sys.argv) not in (5, 7):
        print(__doc__, file=sys.stderr)
        sys.exit(2)
    sys.exit(main(*sys.argv[1:]))
