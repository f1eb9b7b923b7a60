#!/usr/bin/env python3
"""Shows a queued notification mail outside a mail client.

Usage: tools/mail_view.py MAIL_FILE [--images DIR] [--png FILE]

  --images DIR  save the two graphs that the HTML part embeds as data URIs,
                as DIR/meter_setsuden.gif and DIR/juyo-j.gif
  --png FILE    render the HTML part with headless Chromium at a mail
                reader's width and crop the picture to its content
                (needs chromium and imagemagick: scripts/install-deps.sh docs)

Nothing is fetched: the images are inside the mail, and Chromium runs with
its background networking off.
"""
import argparse
import base64
import email
import email.policy
import os
import re
import shutil
import subprocess
import sys
import tempfile

# The graphs in the order the mail shows them, named as the plug-in fetched them.
IMAGE_NAMES = ("meter_setsuden.gif", "juyo-j.gif")
DATA_URI = re.compile(r'src="data:image/gif;base64,([A-Za-z0-9+/=\s]*)"')
CHROMIUM_FLAGS = [
    "--headless", "--no-sandbox", "--disable-gpu", "--disable-quic", "--no-first-run",
    "--disable-background-networking", "--disable-component-update", "--disable-sync",
    "--hide-scrollbars", "--window-size=760,1400",
]


class OneLineParser(argparse.ArgumentParser):
    def error(self, message):
        print(f"mail_view: {message}", file=sys.stderr)
        sys.exit(2)


def html_part(path):
    with open(path, "rb") as source:
        message = email.message_from_binary_file(source, policy=email.policy.default)
    part = message.get_body(preferencelist=("html",))
    if part is None:
        sys.exit(f"mail_view: {path} has no HTML part")
    return part.get_content()


def save_images(html, folder):
    found = DATA_URI.findall(html)
    if len(found) != len(IMAGE_NAMES):
        sys.exit(f"mail_view: the HTML part embeds {len(found)} images, not {len(IMAGE_NAMES)}")
    os.makedirs(folder, exist_ok=True)
    for name, text in zip(IMAGE_NAMES, found):
        path = os.path.join(folder, name)
        with open(path, "wb") as target:
            target.write(base64.b64decode("".join(text.split()), validate=True))
        print(path)


def render(html, out):
    browser = shutil.which("chromium") or shutil.which("chromium-browser")
    if not browser:
        sys.exit("mail_view: chromium is not installed (scripts/install-deps.sh docs)")
    with tempfile.TemporaryDirectory() as work:
        page = os.path.join(work, "mail.html")
        with open(page, "w", encoding="utf-8") as target:
            target.write('<meta charset="utf-8">' + html)
        shot = os.path.join(work, "shot.png")
        subprocess.run([browser, *CHROMIUM_FLAGS, f"--user-data-dir={work}/profile",
                        f"--screenshot={shot}", "file://" + page],
                       check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=120)
        subprocess.run(["convert", shot, "-trim", "+repage", "-bordercolor", "white",
                        "-border", "16", out], check=True)
    print(out)


def main():
    parser = OneLineParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("mail", help="a mail file from the outbox")
    parser.add_argument("--images", metavar="DIR", help="save the two embedded graphs here")
    parser.add_argument("--png", metavar="FILE", help="render the HTML part to this picture")
    args = parser.parse_args()
    if not (args.images or args.png):
        parser.error("nothing to do: give --images DIR, --png FILE or both")
    html = html_part(args.mail)
    if args.images:
        save_images(html, args.images)
    if args.png:
        render(html, args.png)
    return 0


if __name__ == "__main__":
    sys.exit(main())
